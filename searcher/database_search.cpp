// Per-database search of the words of a query (see database_search.h).
#include "searcher/database_search.h"

#include <algorithm>
#include <iterator>
#include <malloc.h>
#include <new>
#include <utility>

#include "common/files.h"
#include "common/strings.h"
#include "index/index_format.h"
#include "searcher/english_match.h"
#include "searcher/expression_walk.h"
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
  // Every record made at once from one pattern, then the fields of each hit written in.
  HitList hits(postings.size(), hit_of(PostingEntry{}, database, english));
  HitRecord* h = hits.data();
  if (english) {
    for (const PostingEntry& e : postings) {
      h->document = e.document;
      h->paragraph = e.paragraph;
      ++h;
    }
  } else {
    for (const PostingEntry& e : postings) {
      h->document = e.document;
      h->paragraph = e.paragraph;
      h->position = e.position;
      ++h;
    }
  }
  return hits;
}

// One record per document, made from postings in order: what hits_collapse_documents
// makes of their hits (the last posting's paragraph and position, the number of hits as
// the score, stopping at its largest value). Saves a record per hit when nothing but the
// documents is wanted.
class DocumentRecords {
 public:
  DocumentRecords(uint16_t database, bool english) : database_(database), english_(english) {}
  void add(const PostingEntry& e) {
    if (count_ > 0 && e.document != last_.document) flush();
    last_ = e;
    ++count_;
  }
  HitList take() {
    flush();
    return std::move(hits_);
  }

 private:
  void flush() {
    if (count_ == 0) return;
    HitRecord h = hit_of(last_, database_, english_);
    h.score = count_ > 0xFFFF ? uint16_t(0xFFFF) : uint16_t(count_);
    hits_.push_back(h);
    count_ = 0;
  }
  uint16_t database_;
  bool english_;
  PostingEntry last_{};
  uint64_t count_ = 0;
  HitList hits_;
};

// The records DocumentRecords makes of the entries of a list read in place whose
// paragraph passes the filter. Without a filter each document's entries are skipped
// over in one go (galloping): its record is its last entry, scored by their number.
HitList documents_from_span(PostingSpan list, uint16_t database, bool english, const ParagraphFilter& filter) {
  if (filter.active()) {
    DocumentRecords records(database, english);
    for (size_t e = 0; e < list.size(); ++e) {
      const PostingEntry entry = list.entry(e);
      if (filter.passes(entry.paragraph)) records.add(entry);
    }
    return records.take();
  }
  HitList hits;
  for (size_t at = 0; at < list.size();) {
    const size_t end = postings_document_end(list, at);
    HitRecord h = hit_of(list.entry(end - 1), database, english);
    h.score = end - at > 0xFFFF ? uint16_t(0xFFFF) : uint16_t(end - at);
    hits.push_back(h);
    at = end;
  }
  return hits;
}

// The same for a join's hits, whose documents mostly hold one or two: one by one.
HitList documents_from_postings(const PostingList& postings, uint16_t database, bool english) {
  DocumentRecords records(database, english);
  for (const PostingEntry& e : postings) records.add(e);
  return records.take();
}

}  // namespace

HitList search_chinese_word(IndexFileSet& set, uint16_t database, const CharacterSlots& word,
                            const SearchOptions& options, const SearchHooks& hooks, SearchStats* stats,
                            const DocumentSet* documents, bool per_document, DocumentRange range) {
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
      const PostingSpan span =
          postings_within(PostingSpan{reinterpret_cast<const unsigned char*>(bytes.data()), record.count}, range);
      if (stats) stats->postings_read += span.size();
      if (span.empty()) continue;
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

  // Kept to the given documents: a word is found within one paragraph, so the hits in
  // those documents are the same. Worth it only when the documents are few against the
  // shortest list: copying many costs more than joining the lists whole.
  std::vector<PostingList> kept;
  if (documents) {
    size_t shortest = SIZE_MAX;
    for (const PostingSpan& l : lists)
      if (!l.empty()) shortest = std::min(shortest, l.size());
    if (documents->size() * 256 < shortest) {
      kept.resize(n);
      for (size_t i = 0; i < n; ++i) {
        postings_append_documents(lists[i], *documents, kept[i]);
        lists[i] = PostingSpan::of(kept[i]);
      }
    }
  }

  const bool tolerant = options.flags.fault_tolerant;
  size_t empty = 0;
  for (const PostingSpan& l : lists) empty += l.empty() ? 1 : 0;
  if (empty > size_t(tolerant ? character_tolerance(n) : 0)) return {};

  const ParagraphFilter filter = options.paragraphs.empty() ? ParagraphFilter() : ParagraphFilter(options.paragraphs);
  if (n == 1 && per_document) return documents_from_span(lists[0], database, false, filter);
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
  if (!tolerant) {
    // An exact hit takes one entry of every list: room for the shortest list's entries
    // saves growing the vector hit by hit (pages not written to are never touched).
    size_t shortest = SIZE_MAX;
    for (const PostingSpan& l : lists) shortest = std::min(shortest, l.size());
    found.reserve(shortest);
  }
  postings_join_spans(lists, tolerant, found);
  if (filter.active()) postings_filter_paragraphs(found, filter);
  if (!tolerant && options.flags.word_boundary && hooks.word_boundary) hooks.word_boundary(set, n, found);
  return per_document ? documents_from_postings(found, database, false) : hits_from_postings(found, database, false);
}

HitList search_english_word(IndexFileSet& set, uint16_t database, std::string_view word,
                            const SearchOptions& options, SearchStats* stats, const DocumentSet* documents,
                            bool per_document, DocumentRange range, EnglishLookups* lookups) {
  PostingSpan span;
  if (per_document && !documents && range.whole() &&
      english_lone_word_span(set, word, options.flags.fault_tolerant, options.match_rate, span,
                             stats ? &stats->postings_read : nullptr)) {
    // One word's list read in place, straight into document records.
    const ParagraphFilter filter =
        options.paragraphs.empty() ? ParagraphFilter() : ParagraphFilter(options.paragraphs);
    return documents_from_span(span, database, true, filter);
  }
  PostingList found = english_phrase_postings(set, word, options.flags.fault_tolerant,
                                              options.match_rate, options.precision,
                                              stats ? &stats->postings_read : nullptr, documents, range, lookups);
  if (!options.paragraphs.empty()) postings_filter_paragraphs(found, ParagraphFilter(options.paragraphs));
  return per_document ? documents_from_postings(found, database, true) : hits_from_postings(found, database, true);
}

namespace {

uint64_t chinese_word_size(IndexFileSet& set, const CharacterSlots& word) {
  uint64_t smallest = UINT64_MAX;
  for (size_t i = 0; i < word.size() && i < kChineseWordCharacters && !word[i].empty(); ++i) {
    uint64_t size = 0;
    for (uint16_t code : word[i]) {
      auto lead = static_cast<unsigned char>(code >> 8);
      auto trail = static_cast<unsigned char>(code & 0xFF);
      CharHashRecord record;
      if (big5_is_pair(lead, trail) && set.read_char_hash(index_format::char_slot(lead, trail), record))
        size += record.count;
    }
    smallest = std::min(smallest, size);
  }
  return smallest == UINT64_MAX ? 0 : smallest;
}

// The documents of one database that a term's hits can reach the result from: the
// expression walked over document sets, a term not searched yet standing for every
// document. "&" and "*" keep documents on both sides, "-" its left side's, "+" either's.
struct ReachableDocuments {
  bool every = false;
  DocumentSet documents;
};

ReachableDocuments reachable_combine(ReachableDocuments left, ReachableDocuments right, char op) {
  if (op == '-') return left;
  if (op == '&' || op == '*') {
    if (left.every) return right;
    if (right.every) return left;
    DocumentSet both;
    std::set_intersection(left.documents.begin(), left.documents.end(), right.documents.begin(),
                          right.documents.end(), std::back_inserter(both));
    return {false, std::move(both)};
  }
  if (left.every || right.every) return {true, {}};
  DocumentSet either;
  std::set_union(left.documents.begin(), left.documents.end(), right.documents.begin(), right.documents.end(),
                 std::back_inserter(either));
  return {false, std::move(either)};
}

DocumentSet documents_of(const HitList& hits) {
  DocumentSet documents;
  for (const HitRecord& h : hits)
    if (documents.empty() || documents.back() != h.document) documents.push_back(h.document);
  return documents;
}

// The words of a term table and how each database is searched for them.
class WordSearch {
 public:
  WordSearch(const QueryTermTable& table, const HomophoneSlots& slots, const SearchOptions& options,
             const SearchHooks& hooks, SearchStats* stats, bool for_evaluation)
      : table_(table), options_(options), hooks_(hooks), stats_(stats), word_of_(table.terms.size(), nullptr) {
    if (slots.empty()) plain_ = homophone_slots_plain(table);
    const HomophoneSlots& word_slots = slots.empty() ? plain_ : slots;
    // The words to search, in table order, with their homophone slots (every Chinese word
    // moves the slot cursor, searched or not).
    size_t chinese = 0;
    for (size_t k = 0; k < table.terms.size(); ++k) {
      const QueryTerm& term = table.terms[k];
      narrowing_ = narrowing_ || term.type == '&' || term.type == '*' || term.type == '-';
      if (!term.is_word() || term.text.empty()) continue;
      words_.push_back(k);
      if (term.is_chinese()) {
        if (chinese < word_slots.size()) word_of_[k] = &word_slots[chinese];
        ++chinese;
      }
    }
    // A lone word (brackets aside) becomes one record per document in the evaluation, so
    // with nothing to combine it is searched straight into those records. Cached hits are
    // whole lists.
    lone_word_ = for_evaluation && words_.size() == 1 && !options.cache_enabled;
    for (const QueryTerm& term : table.terms)
      if (!term.is_word() && term.type != '(' && term.type != ')') lone_word_ = false;
    // A word that is the right side of "-" and nothing else only takes documents away:
    // one record per document gives the evaluation the same result.
    documents_only_.assign(table.terms.size(), 0);
    if (for_evaluation && !options.cache_enabled) {
      struct Operand {
        long term = -1;  // the word term this operand is, or -1 for a combination
      };
      expression_walk<Operand>(
          table, [](size_t k) { return Operand{long(k)}; },
          [&](Operand, Operand right, char op) {
            if (op == '-' && right.term >= 0) documents_only_[size_t(right.term)] = 1;
            return Operand{};
          });
    }
  }

  size_t word_count() const { return words_.size(); }

  // What searching each word costs in the open set (the list its search starts from),
  // by term index.
  std::vector<uint64_t> sizes(IndexFileSet& set) {
    std::vector<uint64_t> size(table_.terms.size(), 0);
    for (size_t k : words_) {
      const QueryTerm& term = table_.terms[k];
      if (term.is_chinese()) {
        size[k] = word_of_[k] ? chinese_word_size(set, *word_of_[k]) : 0;
      } else if (is_alnum_ascii(static_cast<unsigned char>(term.text[0]))) {
        size[k] = english_phrase_size(set, term.text, options_.flags.fault_tolerant, options_.match_rate,
                                      &lookups_);
      }
    }
    return size;
  }

  // Every operator works document by document, so a term needs searching only in the
  // documents the rest of the expression leaves reachable. The cheapest words go first
  // and keep the others to their documents; the hits that reach the result are the
  // same. Cached hits are whole lists, and phrase databases have their own search.
  bool narrows(const SearchDatabase& db) const { return narrowing_ && !options_.cache_enabled && !db.save_file; }

  std::vector<size_t> order(const std::vector<uint64_t>& size) const {
    std::vector<size_t> order = words_;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return size[a] < size[b]; });
    return order;
  }

  // The words in the order they are searched in the open set of db, the cheapest first
  // where they narrow each other. Starts the set's search: lookups of another set go.
  // size, when given, receives what each word costs (sizes), worked out once for both.
  std::vector<size_t> start_set(IndexFileSet& set, const SearchDatabase& db,
                                std::vector<uint64_t>* size = nullptr) {
    lookups_.clear();
    if (!size) return narrows(db) ? order(sizes(set)) : words_;
    *size = sizes(set);
    return narrows(db) ? order(*size) : words_;
  }

  // Searches the open set of db for every word in order (start_set's), within range,
  // appending to hits.
  void search_set(IndexFileSet& set, const SearchDatabase& db, const std::vector<size_t>& order,
                  DocumentRange range, TermHits& hits) {
    const bool narrow = narrows(db);
    std::vector<char> searched(table_.terms.size(), 0);
    std::vector<DocumentSet> found_documents(table_.terms.size());

    for (size_t at = 0; at < order.size(); ++at) {
      const size_t k = order[at];
      const QueryTerm& term = table_.terms[k];
      const CharacterSlots* word = word_of_[k];

      std::string cache_path;
      if (options_.cache_enabled) {
        cache_path = keyword_cache_path(options_.cache_dir, db.id, term.text, CacheKind::Plain, options_.flags);
        HitList cached;
        if (keyword_cache_read_for(set, cache_path, cached)) {
          if (stats_) ++stats_->cache_reads;
          hits[k].insert(hits[k].end(), cached.begin(), cached.end());
          continue;
        }
      }

      ReachableDocuments reachable{true, {}};
      if (narrow) {
        reachable = expression_walk<ReachableDocuments>(
            table_,
            [&](size_t t) {
              if (table_.terms[t].is_word() && !table_.terms[t].text.empty() && !searched[t])
                return ReachableDocuments{true, {}};
              return ReachableDocuments{false, found_documents[t]};
            },
            reachable_combine);
      }
      const DocumentSet* documents = reachable.every ? nullptr : &reachable.documents;

      HitList found;
      const bool per_document = lone_word_ || documents_only_[k];
      if (term.is_chinese()) {
        if (db.save_file) {
          if (hooks_.phrase_search && word) found = hooks_.phrase_search(set, db, *word, options_);
        } else if (word) {
          found = search_chinese_word(set, db.id, *word, options_, hooks_, stats_, documents, per_document, range);
        }
      } else if (is_alnum_ascii(static_cast<unsigned char>(term.text[0]))) {
        found = search_english_word(set, db.id, term.text, options_, stats_, documents, per_document, range,
                                    &lookups_);
      }
      if (narrow && at + 1 < order.size()) {  // the last word's documents narrow nothing
        searched[k] = 1;
        found_documents[k] = documents_of(found);
      }

      // A cache file that cannot be written, or hits of a set replaced meanwhile, stay in
      // memory only.
      if (options_.cache_enabled && keyword_cache_write_for(set, cache_path, found) && stats_)
        ++stats_->cache_writes;
      if (hits[k].empty()) {
        hits[k] = std::move(found);
      } else {
        hits[k].insert(hits[k].end(), found.begin(), found.end());
      }
    }
  }

 private:
  const QueryTermTable& table_;
  const SearchOptions& options_;
  const SearchHooks& hooks_;
  SearchStats* stats_;
  HomophoneSlots plain_;
  std::vector<size_t> words_;
  std::vector<const CharacterSlots*> word_of_;
  bool narrowing_ = false;  // an operator that can keep a side to the other's documents
  bool lone_word_ = false;
  std::vector<char> documents_only_;  // by term index: searched into one record per document
  EnglishLookups lookups_;  // of the set being searched
};

// Calls search(set, db) for each database in order with its open index set: the
// request's, else one opened here and closed after. A set that cannot be opened is
// skipped; the request's sets keep their read errors (IndexFileSet::failed), those of
// the sets opened here are counted in stats.
template <class Search>
void for_each_open_set(const std::vector<SearchDatabase>& databases, SearchStats* stats, Search&& search) {
  IndexFileSet own;
  for (const SearchDatabase& db : databases) {
    IndexFileSet& set = db.set ? *db.set : own;
    if (!db.set) own.open(db.work_dir, search_index_type(db), false);
    if (set.is_open()) search(set, db);
    if (!db.set && own.failed() && stats) ++stats->read_failures;
    own.close();
  }
}

TermHits search_all(const QueryTermTable& table, const HomophoneSlots& slots,
                    const std::vector<SearchDatabase>& databases, const SearchOptions& options,
                    const SearchHooks& hooks, SearchStats* stats, bool for_evaluation) {
  TermHits hits(table.terms.size());
  WordSearch search(table, slots, options, hooks, stats, for_evaluation);
  for_each_open_set(databases, stats, [&](IndexFileSet& set, const SearchDatabase& db) {
    search.search_set(set, db, search.start_set(set, db), DocumentRange{}, hits);
  });
  if (hooks.word_boundary_done) hooks.word_boundary_done();
  return hits;
}

// A run holds about options.run_postings postings of the query's largest word list, so
// a boolean query over frequent words keeps about that many hit records, not one per hit
// of the database. Runs are few enough that looking the Chinese words up again for each
// costs little; English words are looked up once per database.
constexpr uint64_t kMostRuns = 64;

// Runs allocate and free buffers of about the same sizes one run after another. The heap
// keeps them between runs: large buffers come from the heap rather than mappings of
// their own, and freed memory is not handed back to the kernel, which would fault the
// same pages in again in the next run (about half the page faults of a boolean query
// over frequent words). Peak memory stays that of one run.
void keep_heap_between_runs() {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

void search_runs(const QueryTermTable& table, const HomophoneSlots& slots,
                 const std::vector<SearchDatabase>& databases, const SearchOptions& options,
                 const SearchHooks& hooks, SearchStats* stats, const std::function<void(TermHits&)>& block) {
  keep_heap_between_runs();
  WordSearch search(table, slots, options, hooks, stats, true);
  for_each_open_set(databases, stats, [&](IndexFileSet& set, const SearchDatabase& db) {
    std::vector<uint64_t> size;
    const std::vector<size_t> order = search.start_set(set, db, &size);
    const uint64_t largest = *std::max_element(size.begin(), size.end());
    const uint64_t per_run = std::max<uint64_t>(options.run_postings, 1);
    const uint64_t runs = std::clamp<uint64_t>((largest + per_run - 1) / per_run, 1, kMostRuns);
    const uint64_t width = (uint64_t(set.document_count()) + runs) / runs;
    for (uint64_t r = 0; r < runs; ++r) {
      DocumentRange range;
      range.first = uint32_t(std::min<uint64_t>(r * width, UINT32_MAX));
      if (r + 1 < runs) range.end = (r + 1) * width;  // the last run takes every document left
      TermHits hits(table.terms.size());
      search.search_set(set, db, order, range, hits);
      block(hits);
      // The run's posting pages are done with; the next run reads other pages.
      if (runs > 1) set.release_posting_pages();
    }
  });
  if (hooks.word_boundary_done) hooks.word_boundary_done();
}

}  // namespace

TermHits search_database(const SearchContext& context, bool for_evaluation) {
  return search_all(context.table, context.slots, context.databases, context.options, context.hooks,
                    context.stats, for_evaluation);
}

bool search_database_runs(const SearchContext& context, const std::function<void(TermHits& lists)>& block) {
  const QueryTermTable& table = context.table;
  const std::vector<SearchDatabase>& databases = context.databases;
  const SearchOptions& options = context.options;
  size_t words = 0;
  for (const QueryTerm& term : table.terms) words += term.is_word() && !term.text.empty() ? 1 : 0;
  if (words < 2 || options.cache_enabled) return false;
  for (size_t d = 0; d < databases.size(); ++d) {
    if (databases[d].save_file) return false;
    if (d > 0 && databases[d - 1].id >= databases[d].id) return false;
  }
  search_runs(table, context.slots, databases, options, context.hooks, context.stats, block);
  return true;
}

}  // namespace qm
