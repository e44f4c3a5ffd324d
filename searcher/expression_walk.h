// The walk of a term table's boolean expression: operators apply left to right as soon as
// their right operand is complete, all with the same precedence, parentheses group. The
// walk is generic over the operand: query_evaluate.cpp walks hit lists, database_search.cpp
// walks document sets to know which documents a term's search may be kept to.
#pragma once
#include <utility>
#include <vector>

#include "searcher/query_parser.h"

namespace qm {

// leaf(k) gives the operand of word term k; combine(left, right, op) joins two operands.
// An operator without a left operand gets a default-made one.
template <typename Operand, typename Leaf, typename Combine>
Operand expression_walk(const QueryTermTable& table, Leaf&& leaf, Combine&& combine) {
  std::vector<char> operators;
  std::vector<Operand> operands(1);  // the current operand is the last slot

  // Combines the operand below the current one with it by op; the result replaces both.
  auto reduce = [&](char op) {
    if (operands.size() < 2) return;
    Operand right = std::move(operands.back());
    operands.pop_back();
    operands.back() = combine(std::move(operands.back()), std::move(right), op);
  };

  for (size_t k = 0; k < table.terms.size(); ++k) {
    const char type = table.terms[k].type;
    if (type == 'a') {
      Operand value = leaf(k);
      if (operators.empty() || operators.back() == '(') {
        operands.back() = std::move(value);
      } else {
        const char op = operators.back();
        operators.pop_back();
        operands.back() = std::move(value);
        reduce(op);
      }
    } else if (type == '(') {
      operators.push_back('(');
      operands.emplace_back();
    } else if (type == ')') {
      if (!operators.empty() && operators.back() == '(') {
        operators.pop_back();
        Operand inner = std::move(operands.back());
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
  return std::move(operands.front());
}

}  // namespace qm
