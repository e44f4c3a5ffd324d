// Evaluation of the boolean expression over the per-term hit lists of search_database
// (database_search.h): operators apply left to right as soon as their right operand is
// complete, all with the same precedence, parentheses group. The result is collapsed to
// one record per document and handed to the property step (search_options.h).
#pragma once
#include "searcher/database_search.h"
#include "searcher/hits.h"
#include "searcher/query_parser.h"
#include "searcher/search_options.h"

namespace qm {

// Consumes the term lists; gives one HitRecord per document, scored by its hits.
HitList query_evaluate(const QueryTermTable& table, TermHits lists, const SearchHooks& hooks = {});

// Search of every database and evaluation: search_database and query_evaluate, or for a
// query of several words the same run by run of documents (search_database_runs), which
// gives the same records while holding one run's hits at a time.
HitList search_evaluate(const SearchContext& context);

// The keyword road after parsing: term table, plain or given homophone slots, search of
// every database and evaluation. expression is a normalised expression (query_parse).
HitList search_expression(const std::string& expression, const std::vector<SearchDatabase>& databases,
                          const SearchOptions& options, const SearchHooks& hooks = {},
                          SearchStats* stats = nullptr);

}  // namespace qm
