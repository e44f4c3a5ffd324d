// Boolean evaluation of the term lists (see query_evaluate.h).
#include "searcher/query_evaluate.h"

#include <utility>

#include "searcher/expression_walk.h"

namespace qm {

namespace {

// The expression over the lists, collapsed to one record per document.
HitList combine_collapse(const QueryTermTable& table, TermHits& lists) {
  HitList result = expression_walk<HitList>(
      table, [&](size_t k) { return k < lists.size() ? std::move(lists[k]) : HitList{}; },
      [](HitList left, HitList right, char op) { return hits_combine(std::move(left), std::move(right), op); });
  lists.clear();
  hits_collapse_documents(result);
  return result;
}

}  // namespace

HitList query_evaluate(const QueryTermTable& table, TermHits lists, const SearchHooks& hooks) {
  HitList result = combine_collapse(table, lists);
  if (hooks.property_step) hooks.property_step(result);
  return result;
}

HitList search_evaluate(const SearchContext& context) {
  const QueryTermTable& table = context.table;
  const SearchHooks& hooks = context.hooks;
  HitList result;
  const bool by_runs = search_database_runs(context, [&](TermHits& lists) {
    const HitList part = combine_collapse(table, lists);
    result.insert(result.end(), part.begin(), part.end());
  });
  if (!by_runs) return query_evaluate(table, search_database(context, true), hooks);
  if (hooks.property_step) hooks.property_step(result);
  return result;
}

HitList search_expression(const std::string& expression, const std::vector<SearchDatabase>& databases,
                          const SearchOptions& options, const SearchHooks& hooks, SearchStats* stats) {
  const QueryTermTable table = term_table_build(expression);
  const HomophoneSlots slots = homophone_slots_plain(table);
  return search_evaluate({table, slots, databases, options, hooks, stats});
}

}  // namespace qm
