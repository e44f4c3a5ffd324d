// Phrase search over character-pair posting lists (see phrase_search.h).
#include "searcher/phrase/phrase_search.h"

#include <algorithm>

#include "common/strings.h"
#include "index/index_format.h"
#include "searcher/query_parser.h"

namespace qm {
namespace {

bool code_is_pair(uint16_t code) {
  return big5_is_pair(static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF));
}

bool char_hash(IndexFileSet& set, uint16_t code, const std::vector<CharHashRecord>* table,
               CharHashRecord& out) {
  const uint32_t slot =
      index_format::char_slot(static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF));
  if (table) {
    if (slot >= table->size()) return false;
    out = (*table)[slot];
    return true;
  }
  return set.read_char_hash(slot, out);
}

bool posting_less(const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) < 0; }
bool posting_equal(const PostingEntry& a, const PostingEntry& b) { return posting_compare(a, b) == 0; }

// A pair entry moved back to where the word would start: the same document and
// paragraph, the position less the pair's offset in the word (negative: no start).
struct Aligned {
  uint32_t document;
  uint16_t paragraph;
  int32_t start;
};

int aligned_compare(const Aligned& a, const Aligned& b) {
  const auto da = static_cast<int32_t>(a.document), db = static_cast<int32_t>(b.document);
  if (da != db) return da < db ? -1 : 1;
  if (a.paragraph != b.paragraph) return a.paragraph < b.paragraph ? -1 : 1;
  if (a.start != b.start) return a.start < b.start ? -1 : 1;
  return 0;
}

}  // namespace

std::vector<PhrasePair> phrase_word_pairs(size_t n) {
  std::vector<PhrasePair> pairs;
  for (size_t k = 0; 2 * k + 1 < n; ++k) pairs.push_back({2 * k, uint16_t(k == 0 ? 0 : 4)});
  if (n >= 3 && n % 2 == 1) pairs.push_back({n - 2, 2});
  return pairs;
}

PostingList pair_postings(IndexFileSet& set, uint16_t first, uint16_t second, bool fault_tolerant,
                          const std::vector<CharHashRecord>* hash_table) {
  if (!code_is_pair(first)) return {};
  CharHashRecord hash;
  if (!char_hash(set, first, hash_table, hash) || hash.count == 0) return {};
  std::vector<CharPairRecord> records;
  if (!set.read_char_pairs(hash.offset, hash.count, records)) return {};

  PostingList list;
  if (!fault_tolerant) {
    // Binary search of the following character among the run's ascending codes.
    size_t low = 0, high = records.size();
    while (low < high) {
      const size_t middle = low + (high - low) / 2;
      if (records[middle].code == second) {
        if (!set.append_char_postings(records[middle].offset, records[middle].count, list)) return {};
        return list;
      }
      if (records[middle].code > second)
        high = middle;
      else
        low = middle + 1;
    }
    return {};
  }

  // Every pair that starts with the first character; the second one does not matter.
  for (const CharPairRecord& r : records)
    if (!set.append_char_postings(r.offset, r.count, list)) return {};
  if (records.size() > 1) std::sort(list.begin(), list.end(), posting_less);
  return list;
}

PostingList pairs_join(const std::vector<PostingList>& lists, const std::vector<uint16_t>& steps) {
  PostingList out;
  if (lists.empty()) return out;
  for (const PostingList& l : lists)
    if (l.empty()) return out;

  // Each list is compared by where its entry puts the word's start, so a pair entry that
  // cannot begin an occurrence yet (the same pair repeated, as in a word ABBB) never
  // makes another list skip one that does.
  std::vector<int32_t> offsets(lists.size(), 0);
  for (size_t k = 1; k < lists.size(); ++k) offsets[k] = offsets[k - 1] + (k < steps.size() ? steps[k] : 0);
  auto aligned = [&](size_t k, size_t i) {
    const PostingEntry& e = lists[k][i];
    return Aligned{e.document, e.paragraph, int32_t(e.position) - offsets[k]};
  };

  std::vector<size_t> cursor(lists.size(), 0);
  out.reserve(lists[0].size());
  for (;;) {
    size_t smallest = 0;
    bool all_equal = true;
    Aligned low = aligned(0, cursor[0]);
    for (size_t k = 1; k < lists.size(); ++k) {
      const Aligned a = aligned(k, cursor[k]);
      const int c = aligned_compare(a, low);
      if (c != 0) all_equal = false;
      if (c <= 0) {  // last on ties
        low = a;
        smallest = k;
      }
    }
    if (all_equal) {
      out.push_back(lists[0][cursor[0]]);
      for (size_t k = 0; k < lists.size(); ++k)
        if (++cursor[k] == lists[k].size()) return out;
    } else if (++cursor[smallest] == lists[smallest].size()) {
      return out;
    }
  }
}

HitList search_phrase_word(IndexFileSet& set, uint16_t database, const CharacterSlots& word,
                           const SearchOptions& options) {
  size_t n = 0;
  while (n < word.size() && n < kChineseWordCharacters && !word[n].empty()) ++n;
  if (n < 2) return {};

  const bool tolerant = options.flags.fault_tolerant;
  std::vector<CharHashRecord> table;
  const std::vector<CharHashRecord>* table_ptr = nullptr;
  if (options.flags.homophone) {
    // Many alternatives share one word search: read the character table once.
    if (!set.read_char_hash_table(table)) return {};
    table_ptr = &table;
  }

  const std::vector<PhrasePair> pairs = phrase_word_pairs(n);
  std::vector<PostingList> lists(pairs.size());
  std::vector<uint16_t> steps(pairs.size());
  for (size_t k = 0; k < pairs.size(); ++k) {
    steps[k] = pairs[k].step;
    if (k > 0 && lists[k - 1].empty()) break;  // the word cannot be found any more
    const std::vector<uint16_t>& firsts = word[pairs[k].first];
    const std::vector<uint16_t>& seconds = word[pairs[k].first + 1];
    for (uint16_t a : firsts) {
      if (tolerant) {
        // The second character does not matter: one list per first alternative.
        lists[k] = postings_union(std::move(lists[k]), pair_postings(set, a, 0, true, table_ptr));
        continue;
      }
      for (uint16_t b : seconds)
        lists[k] = postings_union(std::move(lists[k]), pair_postings(set, a, b, false, table_ptr));
    }
    // An alternative listed twice would count its occurrences twice.
    lists[k].erase(std::unique(lists[k].begin(), lists[k].end(), posting_equal), lists[k].end());
  }

  PostingList found = lists.size() == 1 ? std::move(lists[0]) : pairs_join(lists, steps);
  lists.clear();
  if (!options.paragraphs.empty()) postings_filter_paragraphs(found, ParagraphFilter(options.paragraphs));

  HitList hits;
  for (size_t i = 0; i < found.size();) {
    size_t j = i;
    while (j < found.size() && found[j].document == found[i].document) ++j;
    HitRecord h;
    h.database = database;
    h.document = found[i].document;
    h.paragraph = found[i].paragraph;
    h.position = found[i].position;
    h.score = score_add(0, uint32_t(j - i));
    h.hit_count = hit_count_add(0, int32_t(std::min<size_t>(j - i, 0x7FFFFFFF)));
    hits.push_back(h);
    i = j;
  }
  return hits;
}

}  // namespace qm
