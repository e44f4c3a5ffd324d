// The keyword step of the searcher: parses the request's keywords, searches every
// requested database through the search core (searcher/query_parser.h,
// database_search.h, query_evaluate.h), and gives the hits their property values, range
// filter, grouping and order (searcher/property), with the lexicon expansion of
// searcher/lexicon and the homophone, word-boundary and phrase steps of searcher/phrase.
// A request without keywords lists the documents whose property value lies in the range z.
// Called by the request driver (request_driver.cpp) with the run; fills its state's hits. The
// driver first refuses keywords with characters outside Big5 (keywords_outside_big5).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/charset.h"
#include "common/html.h"
#include "langdata/homophone.h"
#include "searcher/app/searcher_app.h"
#include "searcher/database_search.h"
#include "searcher/lexicon/lexicon.h"
#include "searcher/phrase/phrase_hooks.h"
#include "searcher/property/property_step.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "searcher/search_options.h"

namespace qm {

bool keywords_outside_big5(std::string_view keywords) {
  for (size_t at = keywords.find("&#"); at != std::string_view::npos; at = keywords.find("&#", at + 2)) {
    uint32_t code = 0;
    const size_t taken = html_numeric_reference(keywords, at, code);
    const size_t end = at + taken;
    // The keyword text has lost a last ";" to the trimming of its ends.
    if (taken == 0 || (end < keywords.size() && keywords[end] != ';')) continue;  // no reference
    std::string big5;
    if (code > 0x10FFFF || !big5_append_code_point(big5, char32_t(code))) return true;
  }
  return false;
}

int search_keywords(SearchRun& run, StepFailure& failure) {
  const SearchRequest& request = run.params;
  SearcherState& state = run.state;
  state.search_words.clear();
  std::string keywords = request.keywords.value_or(std::string());
  const PropertyRequest property = property_request(request.value('z'), request.value('m'), request.value('o'));
  // The parser rewrites its text; the request keeps the keywords as the user gave them.
  std::string expression = keywords;
  if (!keywords.empty() && !query_parse(expression)) return 0;
  // Every database is opened once, here, for the whole request.
  state.databases = search_databases_from_table(run.config.table);
  search_open_databases(state.databases);
  const std::vector<SearchDatabase>& databases = state.databases;
  // A database that cannot be read ends the run before anything is searched (or cached).
  auto read_failed = [&] {
    if (!search_databases_failed(databases)) return false;
    failure = {kIndexReadError, false};
    return true;
  };
  if (read_failed()) return 0;
  if (keywords.empty()) {
    state.hits = search_by_property(databases, property);
    return read_failed() ? 0 : 1;
  }

  const QueryFlags flags = query_flags_from_request(request.value('h'), request.value('f'),
                                                    request.value('c'), request.value('l'));
  const SearchOptions options = search_options_from_settings(run.config.settings, flags, request.value('k'));
  if (request.is('l', "1")) {
    // Near-concept search: every word becomes the or-group the lexicon lists for it. The
    // expansion is parsed again for its normal form; its verdict is not used.
    expression = lexicon_expand_query(state.program_dir, expression, options);
    query_parse(expression);
  }
  const QueryTermTable table = term_table_build(expression);

  for (const QueryTerm& term : table.terms)
    if (term.is_word()) state.search_words.push_back(term.text);
  // The slots stay in homophone_tables() for the abstracts' hit marking.
  const HomophoneSlots slots = phrase_prepare_query(table, flags, state.program_dir);
  // Tables that cannot be read end the run before anything is searched (or cached).
  if (!homophone_tables().error().empty()) {
    failure = {homophone_tables().error(), true};
    return 0;
  }

  SearchHooks hooks;
  install_phrase_hooks(hooks, state.program_dir, table, options);
  hooks.property_step = property_step_hook(databases, property);
  state.hits = search_evaluate({table, slots, databases, options, hooks});
  return read_failed() ? 0 : 1;
}

}  // namespace qm
