// Phrase search: the Chinese word search of a phrase database (SaveFile on), whose index
// holds posting lists of adjacent character pairs (chash.db -> clist.db -> cindex.db,
// index/index_reader.h) instead of single characters. A word of n characters is found
// from the lists of its pairs (0,1), (2,3), ... (and (n-2, n-1) when n is odd), exactly
// or, with fault tolerance, with the second character of every pair left open; each
// character stands for its homophone alternatives (the word's CharacterSlots).
// Used by phrase_hooks.cpp as the search core's phrase_search hook.
#pragma once
#include <cstdint>
#include <vector>

#include "index/index_reader.h"
#include "searcher/hits.h"
#include "searcher/postings.h"
#include "searcher/search_options.h"

namespace qm {

// One pair of a word: the index of its first character and the expected position step
// from the previous pair's entry (0 for the first pair).
struct PhrasePair {
  size_t first = 0;
  uint16_t step = 0;
  bool operator==(const PhrasePair&) const = default;
};

// The pairs of a word of n characters (none for n < 2): (0,1), (2,3), ... 4 bytes apart,
// and for odd n a last pair (n-2, n-1) 2 bytes after the one before it.
std::vector<PhrasePair> phrase_word_pairs(size_t n);

// The posting list of the pair (first, second), codes lead * 256 + trail. Fault-tolerant:
// every pair that starts with `first`, whatever follows it, in posting order. hash_table:
// the whole of chash.db when loaded, else nullptr (records are read one at a time).
// A damaged index reports the read error and gives an empty list.
PostingList pair_postings(IndexFileSet& set, uint16_t first, uint16_t second, bool fault_tolerant,
                          const std::vector<CharHashRecord>* hash_table = nullptr);

// The entries of lists[0] whose occurrence continues in every later list at the expected
// steps (list k's entry lies steps[1] + ... + steps[k] bytes after list 0's, in the same
// document and paragraph). One entry per occurrence, in posting order.
PostingList pairs_join(const std::vector<PostingList>& lists, const std::vector<uint16_t>& steps);

// The hits of a Chinese word in an open phrase database (clist.db open): one record per
// document (paragraph and position of its first hit; score and hit count its number of
// hits). A word of one character finds nothing. database is the id put in the records.
HitList search_phrase_word(IndexFileSet& set, uint16_t database, const CharacterSlots& word,
                           const SearchOptions& options);

}  // namespace qm
