// The search of Chinese words with hits decided by a plain scan of each paragraph's
// characters instead of joining posting lists, kept as the oracle of the tests
// (reference_join.cpp). The boolean evaluation and the English words are the current
// ones; only the character joins differ.
#pragma once
#include <random>
#include <string>
#include <vector>

#include "searcher/database_search.h"
#include "searcher/postings.h"
#include "searcher/query_evaluate.h"

namespace qm::reference {

// The hits of a word from the lists of its characters, as postings_join_characters gives
// them for lists that real texts give (no two characters overlapping; two characters'
// alternatives all or none the same). No restriction to the shortest list is needed
// beforehand.
PostingList postings_join_characters(const std::vector<PostingList>& lists, bool fault_tolerant);

// The lists of a word of n characters in random paragraphs of a few documents: characters
// drawn from a small set (so a word may hold one twice), each with its alternatives or
// none, at any byte position or, with even, at even ones only, now and
// then up to the last position; most often the word is copied from the text, so that it
// is found. Lists as the index gives them: ordered, no two characters overlapping.
std::vector<PostingList> random_text_lists(std::mt19937& rng, size_t n, bool even);

HitList search_chinese_word(IndexFileSet& set, uint16_t database, const CharacterSlots& word,
                            const SearchOptions& options, const SearchHooks& hooks = {});
TermHits search_database(const QueryTermTable& table, const HomophoneSlots& slots,
                         const std::vector<SearchDatabase>& databases, const SearchOptions& options,
                         const SearchHooks& hooks = {});
// A whole expression (already parsed), without keyword cache; slots empty: plain words.
HitList search_expression(const std::string& expression, const std::vector<SearchDatabase>& databases,
                          const SearchOptions& options, const HomophoneSlots& slots = {});

}  // namespace qm::reference
