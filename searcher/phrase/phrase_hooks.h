// The language steps of a keyword search, joined to the search core (database_search.h)
// through its SearchHooks: the homophone slots of the query's Chinese words (big5.ref and
// big5.dat, langdata/homophone.h), the word-boundary check of request value c "9"
// (phrase-2/3/4.txt, langdata/dictionary.h) and the phrase search of phrase databases
// (phrase_search.h).
//
// The request driver's keyword step, after query_parse:
//
//   QueryTermTable table = term_table_build(expression);
//   HomophoneSlots slots = phrase_prepare_query(table, options.flags, program_dir);
//   SearchHooks hooks;
//   install_phrase_hooks(hooks, program_dir, table, options);
//   hooks.property_step = ...;
//   TermHits lists = search_database({table, slots, databases, options, hooks});
//   HitList hits = query_evaluate(table, std::move(lists), hooks);
//
// homophone_set_paths(program_dir) belongs at the start of the run; phrase_prepare_query
// sets the paths itself when nobody has. The homophone slots stay in homophone_tables()
// for the result page's hit marking until homophone_table_free().
#pragma once
#include <string>

#include "searcher/query_parser.h"
#include "searcher/search_options.h"

namespace qm {

// Builds the homophone slots of the table's Chinese words (homophone_table_build: with
// the homophone flag on, every character gets its homophones until the first character
// of the query that has none) and returns them in the search core's form. Without the
// flag each character stands alone and no table file is read. A table file that cannot
// be read ends the run through the fatal sink.
HomophoneSlots phrase_prepare_query(const QueryTermTable& table, const QueryFlags& flags,
                                    const std::string& program_dir);

// Sets hooks.phrase_search, hooks.word_boundary and hooks.word_boundary_done (other hooks
// are left as they are). The word-boundary check loads the phrase files of program_dir on
// its first use and finds the hit's first span with the words of `table` (as hit marking
// does); word_boundary_done frees the phrase lists and whatever the phrase search kept
// open. A phrase database opened without clist.db (IndexType 0) gets clist.db opened all
// the same; when it is missing the run ends with "Fail to read index file !".
void install_phrase_hooks(SearchHooks& hooks, const std::string& program_dir, const QueryTermTable& table,
                          const SearchOptions& options);

}  // namespace qm
