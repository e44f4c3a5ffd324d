// What one keyword search needs besides the term table: the databases to search, the
// request values and settings that shape the search, the homophone slots of the Chinese
// words, and the hooks through which the phrase search, the word-boundary check and the
// property step join in. The request driver fills these from its SearchSettings,
// DatabaseTable and request; defaults search without any of the optional steps.
// Used by database_search.h and query_evaluate.h.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/posting.h"
#include "searcher/hits.h"
#include "searcher/query_parser.h"

namespace qm {

class IndexFileSet;
struct SearchSettings;
struct DatabaseTable;

// One database to search (from its DatabaseEntry).
struct SearchDatabase {
  uint16_t id = 0;
  std::string work_dir;     // ends with "/"
  int index_type = 0;       // not 0: clist.db is part of the set
  bool save_file = false;   // phrase database: Chinese words go to the phrase search
  // The request's open set of the database (search_open_databases), shared by the
  // search, the property step and the page so that all read one build. Null: each step
  // opens the set itself.
  std::shared_ptr<IndexFileSet> set = nullptr;
};

// The IndexType a database is opened with: a phrase database always needs its pair
// lists, whatever IndexType says.
int search_index_type(const SearchDatabase& database);

// Opens the set of every database once (property.db included) and keeps it in the
// entry. A set that cannot be opened is marked failed (index_reader.h) and stays closed.
void search_open_databases(std::vector<SearchDatabase>& databases);
// Whether an open set of the databases met the read error (IndexFileSet::failed).
bool search_databases_failed(const std::vector<SearchDatabase>& databases);

inline constexpr int kDefaultMatchRate = 70;   // 50..100
inline constexpr int kDefaultPrecision = 100;  // -100..100

struct SearchOptions {
  QueryFlags flags;
  std::string paragraphs;               // request value k: the paragraph filter, empty for none
  bool cache_enabled = false;           // CacheFile "1"
  std::string cache_dir;                // CacheDir, ending with "/"
  int match_rate = kDefaultMatchRate;   // MatchRate
  int precision = kDefaultPrecision;    // Precision
  // A query of several words is searched a run of documents at a time, each run holding
  // about this many postings of its largest word list (search_database_runs).
  uint64_t run_postings = 16384;
};

// The databases of the loaded table in slot order (a zero record is skipped).
std::vector<SearchDatabase> search_databases_from_table(const DatabaseTable& table);

// Options from the loaded settings (CacheFile, CacheDir, MatchRate, Precision) and the
// request's flags and paragraph filter (value k).
SearchOptions search_options_from_settings(const SearchSettings& settings, const QueryFlags& flags,
                                           std::string_view paragraphs);

// Counters for measuring a search.
struct SearchStats {
  uint64_t postings_read = 0;  // PostingEntries read from cindex.db and eindex.db
  uint64_t cache_reads = 0;    // word lists taken from cache files
  uint64_t cache_writes = 0;   // cache files written
  uint64_t read_failures = 0;  // databases opened by the search that met the read error
};

// The alternatives of each character of one Chinese word, as codes lead * 256 + trail:
// slot i holds character i and, with homophones on, the characters pronounced alike.
using CharacterSlots = std::vector<std::vector<uint16_t>>;
// One CharacterSlots per Chinese word of the term table, in table order.
using HomophoneSlots = std::vector<CharacterSlots>;

// Slots holding each character alone (at most 10 per word): the search without
// homophones.
HomophoneSlots homophone_slots_plain(const QueryTermTable& table);

// Optional steps; an empty function leaves the step out.
struct SearchHooks {
  // A Chinese word in a phrase database (SaveFile on): its hits, one record per document.
  // Without it such a word finds nothing.
  std::function<HitList(IndexFileSet& set, const SearchDatabase& database, const CharacterSlots& word,
                        const SearchOptions& options)>
      phrase_search;
  // Word-boundary check (c "9", no fault tolerance, words of 2 characters or more):
  // drops the postings of hits that cut a dictionary word apart.
  std::function<void(IndexFileSet& set, size_t characters, std::vector<PostingEntry>& hits)> word_boundary;
  // Called once after the last database has been searched (frees the dictionary).
  std::function<void()> word_boundary_done;
  // Property values, grouping, range filter and sort after the collapse per document.
  std::function<void(HitList& hits)> property_step;
};

// What one search runs over, made by the caller and handed to the search core
// (database_search.h, query_evaluate.h) as one value instead of the same arguments on
// every call: the term table, the homophone slots of its Chinese words (empty: each
// character alone), the databases, the options, the optional layers and where the
// figures go (none when null). The parts belong to the caller; the context refers to
// them and lives no longer than they do.
struct SearchContext {
  const QueryTermTable& table;
  const HomophoneSlots& slots;
  const std::vector<SearchDatabase>& databases;
  const SearchOptions& options;
  const SearchHooks& hooks;
  SearchStats* stats = nullptr;
};

}  // namespace qm
