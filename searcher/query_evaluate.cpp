// Boolean evaluation of the term lists (see query_evaluate.h).
#include "searcher/query_evaluate.h"

#include <utility>

namespace qm {

HitList query_evaluate(const QueryTermTable& table, TermHits lists, const SearchHooks& hooks) {
  std::vector<char> operators;
  std::vector<HitList> operands(1);  // the current operand is the last slot

  // Combines the operand below the current one with it by op; the result replaces both.
  auto reduce = [&](char op) {
    if (operands.size() < 2) return;
    HitList right = std::move(operands.back());
    operands.pop_back();
    operands.back() = hits_combine(std::move(operands.back()), std::move(right), op);
  };

  for (size_t k = 0; k < table.terms.size(); ++k) {
    const char type = table.terms[k].type;
    if (type == 'a') {
      HitList list = k < lists.size() ? std::move(lists[k]) : HitList{};
      if (operators.empty() || operators.back() == '(') {
        operands.back() = std::move(list);
      } else {
        const char op = operators.back();
        operators.pop_back();
        operands.back() = std::move(list);
        reduce(op);
      }
    } else if (type == '(') {
      operators.push_back('(');
      operands.emplace_back();
    } else if (type == ')') {
      if (!operators.empty() && operators.back() == '(') {
        operators.pop_back();
        HitList inner = std::move(operands.back());
        if (operands.size() > 1) operands.pop_back();
        operands.back() = std::move(inner);
        if (!operators.empty() && operators.back() != '(') {
          const char op = operators.back();
          operators.pop_back();
          reduce(op);
        }
      }
    } else {
      operators.push_back(type);
      operands.emplace_back();
    }
  }
  lists.clear();

  HitList result = std::move(operands.front());
  hits_collapse_documents(result);
  if (hooks.property_step) hooks.property_step(result);
  return result;
}

HitList search_expression(const std::string& expression, const std::vector<SearchDatabase>& databases,
                          const SearchOptions& options, const SearchHooks& hooks, SearchStats* stats) {
  QueryTermTable table = term_table_build(expression);
  TermHits lists = search_database(table, homophone_slots_plain(table), databases, options, hooks, stats);
  return query_evaluate(table, std::move(lists), hooks);
}

}  // namespace qm
