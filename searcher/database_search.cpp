// Per-database search of the words of a query (see database_search.h).
#include "searcher/database_search.h"

#include <algorithm>

#include <new>
#include <utility>

#include "common/files.h"
#include "common/strings.h"
#include "index/index_format.h"
#include "searcher/english_match.h"
#include "searcher/keyword_cache.h"
#include "searcher/postings.h"

namespace qm {
namespace {

HitRecord hit_of(const PostingEntry& e, uint16_t database, bool english) {
  HitRecord h;
  h.database = database;
  h.document = e.document;
  h.paragraph = e.paragraph;
  h.position = english ? kNoPosition : e.position;
  h.score = 1;
  h.hit_count = 1;
  return h;
}

HitList hits_from_postings(const PostingList& postings, uint16_t database, bool english) {
  HitList hits;
  hits.reserve(postings.size());
  for (const PostingEntry& e : postings) hits.push_back(hit_of(e, database, english));
  return hits;
}

}  // namespace

HitList search_chinese_word(IndexFileSet& set, uint16_t database, const CharacterSlots& word,
                            const SearchOptions& options, const SearchHooks& hooks, SearchStats* stats) {
  size_t n = 0;
  while (n < word.size() && n < kChineseWordCharacters && !word[n].empty()) ++n;
  if (n == 0) return {};

  // One list per character position, read in place in cindex.db; a position with several
  // alternatives found gets the union of their lists, decoded into a buffer.
  std::vector<PostingSpan> lists(n);
  std::vector<PostingList> unions(n);
  for (size_t i = 0; i < n; ++i) {
    for (uint16_t code : word[i]) {
      auto lead = static_cast<unsigned char>(code >> 8);
      auto trail = static_cast<unsigned char>(code & 0xFF);
      if (!big5_is_pair(lead, trail)) continue;
      CharHashRecord record;
      if (!set.read_char_hash(index_format::char_slot(lead, trail), record)) return {};
      if (record.count == 0) continue;
      std::string_view bytes;
      if (!set.view_char_postings(record.offset, record.count, bytes)) return {};
      if (stats) stats->postings_read += record.count;
      const PostingSpan span{reinterpret_cast<const unsigned char*>(bytes.data()), record.count};
      if (lists[i].empty()) {
        lists[i] = span;
        continue;
      }
      if (unions[i].empty()) {
        unions[i].reserve(lists[i].size() + span.size());
        for (size_t e = 0; e < lists[i].size(); ++e) unions[i].push_back(lists[i].entry(e));
      }
      PostingList alternative(span.size());
      for (size_t e = 0; e < span.size(); ++e) alternative[e] = span.entry(e);
      unions[i] = postings_union(std::move(unions[i]), std::move(alternative));
      lists[i] = PostingSpan::of(unions[i]);
    }
  }

  const bool tolerant = options.flags.fault_tolerant;
  size_t empty = 0;
  for (const PostingSpan& l : lists) empty += l.empty() ? 1 : 0;
  if (empty > size_t(tolerant ? character_tolerance(n) : 0)) return {};

  const ParagraphFilter filter = options.paragraphs.empty() ? ParagraphFilter() : ParagraphFilter(options.paragraphs);
  if (n == 1) {
    // Every entry is a hit: straight into records.
    HitList hits;
    hits.reserve(lists[0].size());
    for (size_t e = 0; e < lists[0].size(); ++e) {
      const PostingEntry entry = lists[0].entry(e);
      if (filter.passes(entry.paragraph)) hits.push_back(hit_of(entry, database, false));
    }
    return hits;
  }
  PostingList found;
  postings_join_spans(lists, tolerant, found);
  if (filter.active()) postings_filter_paragraphs(found, filter);
  if (!tolerant && options.flags.word_boundary && hooks.word_boundary) hooks.word_boundary(set, n, found);
  return hits_from_postings(found, database, false);
}

HitList search_english_word(IndexFileSet& set, uint16_t database, std::string_view word,
                            const SearchOptions& options, SearchStats* stats) {
  PostingList found = english_phrase_postings(set, word, options.flags.fault_tolerant,
                                              options.match_rate, options.precision,
                                              stats ? &stats->postings_read : nullptr);
  if (!options.paragraphs.empty()) postings_filter_paragraphs(found, ParagraphFilter(options.paragraphs));
  return hits_from_postings(found, database, true);
}

namespace {

TermHits search_all(const QueryTermTable& table, const HomophoneSlots& slots,
                    const std::vector<SearchDatabase>& databases, const SearchOptions& options,
                    const SearchHooks& hooks, SearchStats* stats) {
  TermHits hits(table.terms.size());
  const HomophoneSlots plain = slots.empty() ? homophone_slots_plain(table) : HomophoneSlots{};
  const HomophoneSlots& word_slots = slots.empty() ? plain : slots;
  IndexFileSet own;
  for (const SearchDatabase& db : databases) {
    // The request's open set, else one opened here. A failure is reported by the reader;
    // a sink that returns skips the database.
    IndexFileSet& set = db.set ? *db.set : own;
    if (!db.set && !own.open(db.work_dir, search_index_type(db), false)) continue;
    if (!set.is_open()) continue;
    size_t chinese = 0;
    for (size_t k = 0; k < table.terms.size(); ++k) {
      const QueryTerm& term = table.terms[k];
      if (!term.is_word() || term.text.empty()) continue;
      const CharacterSlots* word = nullptr;
      if (term.is_chinese()) {
        if (chinese < word_slots.size()) word = &word_slots[chinese];
        ++chinese;  // every Chinese word moves the slot cursor, searched or not
      }

      std::string cache_path;
      if (options.cache_enabled) {
        cache_path = keyword_cache_path(options.cache_dir, db.id, term.text, CacheKind::Plain, options.flags);
        HitList cached;
        if (keyword_cache_read(cache_path, cached)) {
          if (stats) ++stats->cache_reads;
          hits[k].insert(hits[k].end(), cached.begin(), cached.end());
          continue;
        }
      }

      HitList found;
      if (term.is_chinese()) {
        if (db.save_file) {
          if (hooks.phrase_search && word) found = hooks.phrase_search(set, db, *word, options);
        } else if (word) {
          found = search_chinese_word(set, db.id, *word, options, hooks, stats);
        }
      } else if (is_alnum_ascii(static_cast<unsigned char>(term.text[0]))) {
        found = search_english_word(set, db.id, term.text, options, stats);
      }

      // A cache file that cannot be written leaves the hits in memory only.
      if (options.cache_enabled && keyword_cache_write(cache_path, found) && stats) ++stats->cache_writes;
      if (hits[k].empty()) {
        hits[k] = std::move(found);
      } else {
        hits[k].insert(hits[k].end(), found.begin(), found.end());
      }
    }
    own.close();
  }
  if (hooks.word_boundary_done) hooks.word_boundary_done();
  return hits;
}

}  // namespace

TermHits search_database(const QueryTermTable& table, const HomophoneSlots& slots,
                         const std::vector<SearchDatabase>& databases, const SearchOptions& options,
                         const SearchHooks& hooks, SearchStats* stats) {
  try {
    return search_all(table, slots, databases, options, hooks, stats);
  } catch (const std::bad_alloc&) {
    fatal_text("Out of memory !");
    return TermHits(table.terms.size());
  }
}

}  // namespace qm
