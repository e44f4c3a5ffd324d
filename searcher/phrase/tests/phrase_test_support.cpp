// Helpers of the phrase tests (see phrase_test_support.h).
#include "searcher/phrase/tests/phrase_test_support.h"

#include <stdexcept>

#include "langdata/dictionary.h"
#include "index/index_reader.h"
#include "langdata/homophone.h"
#include "searcher/database_search.h"
#include "searcher/phrase/phrase_hooks.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "platform/fatal.h"

namespace qm::test {

HitList phrase_run_query(const std::string& keywords, const std::vector<SearchDatabase>& databases,
                         const SearchOptions& options, const std::string& program_dir) {
  homophone_reset();
  phrase_reset();
  std::string expression = keywords;
  if (!query_parse(expression)) throw std::runtime_error("invalid keywords: " + keywords);
  QueryTermTable table = term_table_build(expression);
  HomophoneSlots slots = phrase_prepare_query(table, options.flags, program_dir);
  SearchHooks hooks;
  install_phrase_hooks(hooks, program_dir, table, options);
  SearchStats stats;
  TermHits lists = search_database({table, slots, databases, options, hooks, &stats});
  // The read error ends the search here, as the searcher's entry ends its run with it.
  if (stats.read_failures > 0) throw FatalError(kIndexReadError);
  return query_evaluate(table, std::move(lists), hooks);
}

std::vector<uint32_t> hit_documents(const HitList& hits) {
  std::vector<uint32_t> out;
  for (const HitRecord& h : hits) out.push_back(h.document);
  return out;
}

void write_phrase_file(const std::string& dir, int n, const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += w + "\r\n";
  write_file(dir + "phrase-" + std::to_string(n) + ".txt", text);
}

}  // namespace qm::test
