// Search options from the loaded configuration, and the default homophone slots: each
// character of a Chinese word alone (see search_options.h).
#include "searcher/search_options.h"

#include <algorithm>

#include "common/config.h"
#include "common/strings.h"
#include "index/index_reader.h"

namespace qm {
namespace {

CharacterSlots plain_slots(std::string_view text) {
  CharacterSlots slots;
  for (size_t i = 0; i + 1 < text.size() && slots.size() < kChineseWordCharacters; i += 2) {
    auto lead = static_cast<unsigned char>(text[i]);
    auto trail = static_cast<unsigned char>(text[i + 1]);
    if (!big5_is_pair(lead, trail)) break;
    slots.push_back({uint16_t(lead << 8 | trail)});
  }
  return slots;
}

}  // namespace

std::vector<SearchDatabase> search_databases_from_table(const DatabaseTable& table) {
  std::vector<SearchDatabase> databases;
  for (const DatabaseEntry& e : table.entries) {
    if (e.Id == 0) continue;
    SearchDatabase db;
    db.id = e.Id;
    db.work_dir = e.WorkDir;
    db.index_type = e.IndexType;
    db.save_file = e.SaveFile != 0;
    databases.push_back(std::move(db));
  }
  return databases;
}

int search_index_type(const SearchDatabase& database) {
  return database.save_file ? std::max(database.index_type, 1) : database.index_type;
}

void search_open_databases(std::vector<SearchDatabase>& databases) {
  for (SearchDatabase& db : databases) {
    db.set = std::make_shared<IndexFileSet>();
    db.set->open(db.work_dir, search_index_type(db), true);
  }
}

bool search_databases_failed(const std::vector<SearchDatabase>& databases) {
  for (const SearchDatabase& db : databases)
    if (db.set && db.set->failed()) return true;
  return false;
}

SearchOptions search_options_from_settings(const SearchSettings& settings, const QueryFlags& flags,
                                           std::string_view paragraphs) {
  SearchOptions options;
  options.flags = flags;
  options.paragraphs = std::string(paragraphs);
  options.cache_enabled = settings.CacheFile;
  options.cache_dir = settings.CacheDir;
  options.match_rate = settings.MatchRate;
  options.precision = settings.Precision;
  return options;
}

HomophoneSlots homophone_slots_plain(const QueryTermTable& table) {
  HomophoneSlots slots;
  for (const QueryTerm& term : table.terms)
    if (term.is_chinese()) slots.push_back(plain_slots(term.text));
  return slots;
}

}  // namespace qm
