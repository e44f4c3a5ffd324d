// Boolean evaluation of the term lists (see query_evaluate.h).
#include "searcher/query_evaluate.h"

#include <utility>

#include "searcher/expression_walk.h"

namespace qm {

HitList query_evaluate(const QueryTermTable& table, TermHits lists, const SearchHooks& hooks) {
  HitList result = expression_walk<HitList>(
      table, [&](size_t k) { return k < lists.size() ? std::move(lists[k]) : HitList{}; },
      [](HitList left, HitList right, char op) { return hits_combine(std::move(left), std::move(right), op); });
  lists.clear();

  hits_collapse_documents(result);
  if (hooks.property_step) hooks.property_step(result);
  return result;
}

HitList search_expression(const std::string& expression, const std::vector<SearchDatabase>& databases,
                          const SearchOptions& options, const SearchHooks& hooks, SearchStats* stats) {
  QueryTermTable table = term_table_build(expression);
  TermHits lists = search_database(table, homophone_slots_plain(table), databases, options, hooks, stats, true);
  return query_evaluate(table, std::move(lists), hooks);
}

}  // namespace qm
