// The search of Chinese words with joins that walk the posting lists one entry at a time
// as the join rules say, kept as the reference for the tests (reference_join.cpp). The boolean evaluation and
// the English words are the current ones; only the character joins differ.
#pragma once
#include <string>
#include <vector>

#include "searcher/database_search.h"
#include "searcher/postings.h"
#include "searcher/query_evaluate.h"

namespace qm::reference {

PostingList postings_union(PostingList a, PostingList b);
void postings_restrict_to_shortest(std::vector<PostingList>& lists);
PostingList postings_join_characters(const std::vector<PostingList>& lists, bool fault_tolerant);

HitList search_chinese_word(IndexFileSet& set, uint16_t database, const CharacterSlots& word,
                            const SearchOptions& options, const SearchHooks& hooks = {});
TermHits search_database(const QueryTermTable& table, const HomophoneSlots& slots,
                         const std::vector<SearchDatabase>& databases, const SearchOptions& options,
                         const SearchHooks& hooks = {});
// A whole expression (already parsed), without keyword cache; slots empty: plain words.
HitList search_expression(const std::string& expression, const std::vector<SearchDatabase>& databases,
                          const SearchOptions& options, const HomophoneSlots& slots = {});

}  // namespace qm::reference
