// The keyword step of the searcher: parses the request's keywords, searches every
// requested database through the search core (searcher/query_parser.h,
// database_search.h, query_evaluate.h), and gives the hits their property values, range
// filter, grouping and order (property.db through index/index_reader.h). A request
// without keywords lists the documents whose property value lies in the range z.
// Called by the request driver (request_driver.cpp); fills SearcherState::hits.
#include <algorithm>
#include <climits>
#include <string>

#include "common/config.h"
#include "index/index_reader.h"
#include "langdata/homophone.h"
#include "platform/fatal.h"
#include "searcher/app/searcher_app.h"
#include "searcher/database_search.h"
#include "searcher/page/cgi_input.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "searcher/search_options.h"

namespace qm {
namespace {

constexpr int32_t kOpenRangeEnd = 100000000;

long long leading_number(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
  if (value > INT_MAX) value = INT_MAX;
  return negative ? -value : value;
}

struct PropertyRange {
  int32_t from = 0;
  int32_t to = 0;
};

// z as a range: "a,b" (b 0 or missing: open), swapped when b < a; "a" alone: a..a.
PropertyRange property_range(const std::string& z) {
  PropertyRange r;
  const size_t comma = z.find(',');
  if (comma == std::string::npos) {
    r.from = r.to = static_cast<int32_t>(leading_number(z));
    return r;
  }
  r.from = static_cast<int32_t>(leading_number(std::string_view(z).substr(0, comma)));
  r.to = static_cast<int32_t>(leading_number(std::string_view(z).substr(comma + 1)));
  if (r.to == 0) r.to = kOpenRangeEnd;
  if (r.to < r.from) std::swap(r.from, r.to);
  return r;
}

// Opens the database's set with its property.db; the slot's entry or nullptr when the
// id is not in the loaded table ("Database ID error !!").
const DatabaseEntry* open_with_property(IndexFileSet& set, uint16_t id) {
  const int slot = cfg_table().slot_of(id);
  if (slot < 0) {
    fatal("Database ID error !!");
    return nullptr;
  }
  const DatabaseEntry& db = cfg_table().entries[static_cast<size_t>(slot)];
  if (!set.open(db.WorkDir, db.IndexType, true)) return nullptr;
  return &db;
}

// The homophone slots of the query's Chinese words, as the word search walks them.
HomophoneSlots homophone_slots(const QueryTermTable& table) {
  HomophoneSlots slots;
  const HomophoneTables& tables = homophone_tables();
  size_t word = 0;
  for (const QueryTerm& term : table.terms) {
    if (!term.is_chinese()) continue;
    CharacterSlots characters;
    for (size_t position = 0;; ++position) {
      const std::string_view slot = tables.slot(word, position);
      if (slot.empty()) break;
      std::vector<uint16_t> codes;
      for (size_t i = 0; i + 1 < slot.size(); i += 2)
        codes.push_back(static_cast<uint16_t>(static_cast<unsigned char>(slot[i]) << 8 |
                                              static_cast<unsigned char>(slot[i + 1])));
      characters.push_back(std::move(codes));
    }
    slots.push_back(std::move(characters));
    ++word;
  }
  return slots;
}

}  // namespace

// Orders the hits by o (m "1": score descending). Equal keys keep their order.
void hits_sort(HitList& hits) {
  const SearchRequest& request = search_request();
  char order = request.value('o').empty() ? '0' : request.value('o')[0];
  if (request.is('m', "1")) order = '2';
  auto sort_by = [&hits](auto less) { std::stable_sort(hits.begin(), hits.end(), less); };
  switch (order) {
    case '1': sort_by([](const HitRecord& a, const HitRecord& b) { return a.score < b.score; }); break;
    case '2': sort_by([](const HitRecord& a, const HitRecord& b) { return a.score > b.score; }); break;
    case '3': sort_by([](const HitRecord& a, const HitRecord& b) { return a.hit_count < b.hit_count; }); break;
    case '4': sort_by([](const HitRecord& a, const HitRecord& b) { return a.hit_count > b.hit_count; }); break;
    case '5': sort_by([](const HitRecord& a, const HitRecord& b) { return a.paragraph < b.paragraph; }); break;
    default: break;
  }
}

// Property values, grouping (m "1"), range filter (z) and order, after the collapse to
// one record per document.
void hits_property_step(HitList& hits) {
  const SearchRequest& request = search_request();
  const std::string& z = request.value('z');
  const char order = request.value('o').empty() ? '0' : request.value('o')[0];
  const bool group = request.is('m', "1");
  if (group || !z.empty() || order == '3' || order == '4') {
    IndexFileSet set;
    uint32_t values = 0;  // documents with a value in the last property.db read
    for (size_t i = 0; i < hits.size(); ++i) {
      HitRecord& hit = hits[i];
      if (i == 0 || hit.database != hits[i - 1].database) {
        values = 0;
        if (open_with_property(set, hit.database) && set.property_layout() != PropertyLayout::None)
          values = set.document_count();
      }
      PropertyValue value = 0;
      if (hit.document < values && set.read_property(hit.document, value)) hit.hit_count = value;
    }
    set.close();
    if (group && values > 0 && !hits.empty()) {
      std::stable_sort(hits.begin(), hits.end(),
                       [](const HitRecord& a, const HitRecord& b) { return a.hit_count < b.hit_count; });
      HitList groups;
      for (const HitRecord& hit : hits) {
        if (groups.empty() || groups.back().hit_count != hit.hit_count) {
          groups.push_back(hit);
          groups.back().score = 1;
          continue;
        }
        HitRecord& g = groups.back();
        const uint16_t score = score_add(g.score, 1);
        if (hit.document < g.document) g = hit;
        g.score = score;
      }
      hits = std::move(groups);
    }
    if (!z.empty() && values > 0) {
      const PropertyRange range = property_range(z);
      std::erase_if(hits, [&range](const HitRecord& hit) {
        return hit.hit_count < range.from || hit.hit_count > range.to;
      });
    }
  }
  hits_sort(hits);
}

// The documents of every requested database whose property value lies in the range z.
HitList search_by_property(const std::string& z) {
  const PropertyRange range = property_range(z);
  HitList hits;
  IndexFileSet set;
  for (const DatabaseEntry& db : cfg_table().entries) {
    if (db.Id == 0) continue;
    if (!open_with_property(set, db.Id)) continue;
    const uint32_t n = set.property_layout() == PropertyLayout::None ? 0 : set.document_count();
    for (uint32_t doc = 0; doc < n; ++doc) {
      PropertyValue value = 0;
      if (!set.read_property(doc, value)) break;
      if (value < range.from || value > range.to) continue;
      HitRecord hit;
      hit.database = db.Id;
      hit.document = doc;
      hit.hit_count = value;
      hits.push_back(hit);
    }
    set.close();
  }
  hits_sort(hits);
  return hits;
}

int search_keywords() {
  SearchRequest& request = search_request();
  SearcherState& state = searcher_state();
  state.search_words.clear();
  std::string keywords = request.keywords.value_or(std::string());
  if (keywords.empty()) {
    state.hits = search_by_property(request.value('z'));
    return 1;
  }
  // The parser rewrites its text; the request keeps the keywords as the user gave them.
  std::string expression = keywords;
  if (!query_parse(expression)) return 0;
  // Lexicon expansion (l "1") has no implementation yet: the parsed text is searched.

  const QueryFlags flags = query_flags_from_request(request.value('h'), request.value('f'),
                                                    request.value('c'), request.value('l'));
  const SearchOptions options = search_options_from_settings(cfg_settings(), flags, request.value('k'));
  const std::vector<SearchDatabase> databases = search_databases_from_table(cfg_table());
  const QueryTermTable table = term_table_build(expression);

  std::vector<std::string> chinese;
  for (const QueryTerm& term : table.terms) {
    if (term.is_word()) state.search_words.push_back(term.text);
    if (term.is_chinese()) chinese.push_back(term.text);
  }
  homophone_table_build(chinese, flags.homophone);
  const HomophoneSlots slots = flags.homophone ? homophone_slots(table) : homophone_slots_plain(table);

  SearchHooks hooks;
  hooks.property_step = [](HitList& hits) { hits_property_step(hits); };
  TermHits lists = search_database(table, slots, databases, options, hooks);
  state.hits = query_evaluate(table, std::move(lists), hooks);
  return 1;
}

}  // namespace qm
