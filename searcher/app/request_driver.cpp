// The request driver of the searcher: the road of one request from the CGI input to
// the page, in a fixed order, and the error page that ends every failed run. Works with
// keyword_step.cpp (the search) and result_page.cpp (the page); see searcher_app.h.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "common/config.h"
#include "common/dbid.h"
#include "common/files.h"
#include "common/html.h"
#include "common/ini.h"
#include "common/strings.h"
#include "index/index_reader.h"
#include "langdata/homophone.h"
#include "platform/fatal.h"
#include "platform/paths.h"
#include "searcher/app/searcher_app.h"
#include "searcher/forward/forward.h"
#include "searcher/page/cgi_input.h"
#include "searcher/page/page_escape.h"
#include "searcher/page/page_template.h"

namespace qm {
namespace {

// A key of section VESPRIN read from the configuration file itself (the configuration
// is not loaded, or the error page needs a value the loader does not keep); "" when the
// file or the key is missing.
std::string vesprin_value_from_file(const std::string& path, std::string_view key) {
  if (path.empty()) return {};
  IniTree tree;
  if (!tree.load(path)) return {};
  return tree.get("VESPRIN", key).value_or(std::string());
}

// The message as the error page shows it: Big5 pairs kept whole, every other "\" made
// "/", CR and LF made blanks.
std::string clean_message(std::string message) {
  for (size_t i = 0; i < message.size(); ++i) {
    auto c = static_cast<unsigned char>(message[i]);
    if (i + 1 < message.size() && big5_is_pair(c, static_cast<unsigned char>(message[i + 1]))) {
      ++i;
      continue;
    }
    if (c == '\\') message[i] = '/';
    if (c == '\r' || c == '\n') message[i] = ' ';
  }
  return message;
}

// Forwards the query to ActivePage with the hits of the requested page; false, with
// nothing sent, when a hit's path cannot be read.
bool forward_request(SearchRun& run) {
  const SearchSettings& settings = run.config.settings;
  const SearchRequest& request = run.params;
  SearcherState& state = run.state;
  ForwardInput input;
  input.active_page = settings.ActivePage;
  input.use_proxy = settings.UseProxy;
  input.proxy_ip = settings.ProxyIP;
  input.proxy_port = settings.ProxyPort;
  input.s = request.value('s');
  input.p = request.value('p');
  input.o = request.value('o');
  input.h = request.value('h');
  input.f = request.value('f');
  input.z = request.value('z');
  input.g = request.value('g');
  input.rows = state.rows;
  input.total = static_cast<int>(state.hits.size());
  const ForwardPage page = forward_page_range(request.slot('b') ? &*request.slot('b') : nullptr,
                                              input.total, input.rows);
  input.first_item = page.first;
  for (int i = page.first; i <= page.last; ++i) {
    const HitRecord& hit = state.hits[static_cast<size_t>(i - 1)];
    const int slot = run.config.table.slot_of(hit.database);
    if (slot < 0) break;
    const DatabaseEntry& db = run.config.table.entries[static_cast<size_t>(slot)];
    IndexFileSet* set = searcher_database_set(state, hit.database);
    if (!set || !set->is_open()) break;
    ForwardHit fh;
    fh.db_table = db.DB_Table;
    set->read_path(hit.document, fh.path);
    fh.score = hit.score;
    input.hits.push_back(std::move(fh));
  }
  state.hits.clear();
  if (search_databases_failed(state.databases)) return false;
  forward_build_request(input);
  return true;
}

}  // namespace

IndexFileSet* searcher_database_set(const SearcherState& state, uint16_t id) {
  for (const SearchDatabase& db : state.databases)
    if (db.id == id) return db.set.get();
  return nullptr;
}

std::string template_path(const std::string& program_dir, const std::string& configured) {
  if (configured.empty()) return {};
  std::string path = path_backslash_to_slash(configured);
  if (path.front() == '/') return path;
  return path_join(program_dir, path);
}

std::string error_page_text(const SearchRun& run, const std::string& message) {
  const SearcherState& state = run.state;
  std::optional<PageTemplate> tmpl;
  if (state.tmpl_error && !state.tmpl_error->empty())
    tmpl = tmpl_load(template_path(state.program_dir, *state.tmpl_error));
  if (!tmpl) return message + "\n";
  tmpl_set_text(*tmpl, "ERR_MSG", html_escape_value(clean_message(message)));
  tmpl_set_text(*tmpl, "HOME_URL", vesprin_value_from_file(run.params.config_path, "HomePage"));
  tmpl_render(*tmpl);
  return tmpl->page().value_or(std::string());
}

void cgi_error_page(const std::string& message) { fatal(message); }

bool request_database_set(SearchRun& run, std::string& error) {
  const SearchRequest& request = run.params;
  DatabaseIdSet& ids = run.ids;
  ids.reset(false);
  ids.add(0, true);  // ends the "all" state: an empty explicit set
  if (const auto& s = request.slot('s')) {
    size_t pos = 0;
    while (pos <= s->size()) {
      size_t comma = s->find(',', pos);
      if (comma == std::string::npos) comma = s->size();
      const long long id = string_leading_number(std::string_view(*s).substr(pos, comma - pos));
      // Ids outside 1..65535 are no database (they are not wrapped into one).
      if (id > 0 && id <= 0xFFFF) ids.add(static_cast<uint16_t>(id), true);
      pos = comma + 1;
    }
  }
  if (ids.count() == 0) error = kMsgNoDatabase;
  else if (request.keywords.value_or(std::string()).empty() && request.value('z').empty()) error = kMsgNoKeyword;
  else return true;
  // The error page's template is named by the file, the configuration not being loaded.
  run.state.tmpl_error = vesprin_value_from_file(request.config_path, "TmplError");
  return false;
}

int rows_per_page_setup(SearchRun& run) {
  const SearchRequest& request = run.params;
  long long rows = run.config.settings.ParaPerPage;
  if (request.is('t', "1")) rows = 50;
  if (const auto& a = request.slot('a')) rows = string_leading_number(*a);
  if (rows < 5) rows = 5;
  if (rows > 100) rows = 100;
  run.state.rows = static_cast<int>(rows);
  return run.state.rows;
}

std::string template_choice(const SearchRun& run) {
  const SearchRequest& request = run.params;
  const SearchSettings& settings = run.config.settings;
  if (request.present('b')) return settings.TmplNextQuery;
  if (!settings.UseOtherSearcher.empty()) return settings.TmplFirstQuery;
  if (request.present('g')) return settings.TmplNextQuery;
  return settings.TmplFirstQuery;
}

void searcher_write(const std::string& text) {
  std::FILE* out = prog_output();
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

void request_free(SearchRun& run) {
  run.params.clear();
  SearcherState& state = run.state;
  state.hits.clear();
  state.search_words.clear();
  state.databases.clear();
  homophone_table_free();
}

namespace {

// Steps 2 to 14 of the road, over the run that searcher_main made.
int searcher_steps(SearchRun& run, int argc, char** argv) {
  SearcherState& state = run.state;
  SearchRequest& request = run.params;

  // 2. Program directory.
  state.program_dir = program_dir_from_argv0(argc > 0 && argv[0] ? argv[0] : "");
  if (state.program_dir.empty()) state.program_dir = "./";
  run.config.set_program_dir(state.program_dir);
  // 3. Homophone tables' paths (read in the keyword step when needed).
  homophone_set_paths(state.program_dir);

  // 4, 5. Configuration path and the request.
  std::string error;
  if (!cgi_read_input(request, cgi_process_environment(), state.program_dir, error)) cgi_error_page(error);

  // 6. Database set.
  if (!request_database_set(run, error)) cgi_error_page(error);

  // 7. Configuration of the requested databases.
  const bool loaded = run.config.load(request.config_path);
  // The file or a required key missing: the message as plain text, not the error page.
  if (!loaded && !run.config.error().empty()) fatal_text(run.config.error());
  state.config_loaded = true;
  state.tmpl_error = run.config.settings.TmplError;
  if (!loaded) cgi_error_page(kMsgBadDatabaseId);

  // 8, 9. Rows per page and the template.
  rows_per_page_setup(run);
  std::string chosen = template_choice(run);

  // 10. Header.
  html_content_type();

  // 11. Keywords.
  if (keywords_outside_big5(run.params.keywords.value_or(std::string()))) cgi_error_page(kMsgOutsideBig5);
  StepFailure failure;
  if (!search_keywords(run, failure)) {
    if (failure.plain_text) fatal_text(failure.message);
    cgi_error_page(failure.message.empty() ? kMsgBadKeyword : failure.message);
  }

  // 12. Forwarding.
  const SearchSettings& settings = run.config.settings;
  if (!settings.ActivePage.empty()) {
    if (!forward_request(run)) cgi_error_page(kIndexReadError);
    run.config.free();
    request_free(run);
    return 0;
  }

  // 13. The page.
  if (state.hits.empty() && !settings.TmplZeroHit.empty()) chosen = settings.TmplZeroHit;
  if (!result_render_page(run, template_path(state.program_dir, chosen), error)) cgi_error_page(error);

  // 14. Release.
  run.config.free();
  request_free(run);
  return 0;
}

}  // namespace

int searcher_main(int argc, char** argv) {
  // The request of this run, handed to every step.
  SearchRun run;

  // 1. Output and the fatal sink: every failure from here on ends in the error page.
  prog_set_output(stdout);
  fatal_set_profile(FatalProfile::Cgi);
  fatal_set_writer([&run](const std::string& message) {
    html_content_type();
    searcher_write(error_page_text(run, message));
  });
  try {
    return searcher_steps(run, argc, argv);
  } catch (const std::bad_alloc&) {
    fatal_text("Out of memory !");
    return 255;
  }
}

}  // namespace qm
