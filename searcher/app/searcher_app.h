// The searcher program: one CGI request from the environment to one HTML page. The
// request driver (request_driver.cpp) reads the request (searcher/page/cgi_input.h),
// loads the configuration of the requested databases (common/config.h), runs the
// keyword step (keyword_step.cpp, over the search core of searcher/) and either
// forwards the query (searcher/forward) or renders the result page (result_page.cpp,
// with the template engine of searcher/page/page_template.h). Every step returns its
// failure to searcher_main, which alone ends the run: through the error page
// (cgi_error_page, the writer of the fatal sink) or the plain text of fatal_text.
//
// One request is one SearchRun value, made by searcher_main and handed to every step:
// the parameters, the database id set, the configuration loaded for it and the state of
// the run. Nothing below searcher_main keeps or reaches a request of its own, so a test
// makes as many runs as it likes. The keyword step opens each requested database once
// (SearcherState::databases); the search, the property step, the forwarding and the
// result page all read that one open set, so a rebuild during the request is not seen.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/config.h"
#include "common/dbid.h"
#include "index/index_reader.h"
#include "searcher/hits.h"
#include "searcher/page/cgi_input.h"
#include "searcher/search_options.h"

namespace qm {

// Messages of the request road.
inline constexpr const char* kMsgNoDatabase = "No database for query !!";
inline constexpr const char* kMsgNoKeyword = "No keyword is input !!";
inline constexpr const char* kMsgBadDatabaseId = "Invalid database ID !";
inline constexpr const char* kMsgBadKeyword = "Invalid keyword !";
inline constexpr const char* kMsgOutsideBig5 =
    "Only characters in Big5 (traditional Chinese) can be searched !";
// The one-line page of a result template that cannot be loaded.
inline constexpr const char* kMsgNoTemplate = "Template file is not found !";

// The state of one run.
struct SearcherState {
  std::string program_dir;  // ends with "/"
  int rows = 15;            // hits per page after rows_per_page_setup
  HitList hits;             // the request's hits in rank order
  // The requested databases, each with the set it was searched in (keyword step).
  std::vector<SearchDatabase> databases;
  // The error template path once it is known (read from the file or the loaded
  // configuration); nullopt while the CGI input is read.
  std::optional<std::string> tmpl_error;
  bool config_loaded = false;
  // The word entries of the searched expression's term table, for marking abstracts.
  std::vector<std::string> search_words;
};

// One request of the searcher: what the CGI input asked (params), the databases it
// names (ids), their configuration (config, loaded over ids) and the run's state.
struct SearchRun {
  SearchRequest params;
  DatabaseIdSet ids;
  Config config{ids};
  SearcherState state;

  SearchRun() = default;
  SearchRun(const SearchRun&) = delete;  // config refers to this run's ids
  SearchRun& operator=(const SearchRun&) = delete;
};

// The open set of the run's database id; null when the keyword step did not open it.
IndexFileSet* searcher_database_set(const SearcherState& state, uint16_t id);

// The road of one request; returns the exit code of an ordinary end (0). Fatal errors
// end the process with 255 (CGI profile).
int searcher_main(int argc, char** argv);

// Fills the run's database id set from s and checks that the request can be searched;
// true, or false with the message (kMsgNoDatabase, kMsgNoKeyword) in error and the
// error template of the configuration file settled.
bool request_database_set(SearchRun& run, std::string& error);
// Settles and returns the rows per page: ParaPerPage, 50 for t "1", a's value when a
// is given, clamped to 5..100.
int rows_per_page_setup(SearchRun& run);
// The template for the page of this request (b, UseOtherSearcher, g).
std::string template_choice(const SearchRun& run);
// Why a step ends the run: the message, written as the error page, or (plain_text) as
// the bare text of fatal_text (common/files.h).
struct StepFailure {
  std::string message;
  bool plain_text = false;
};
// The keyword step: 1 when the search ran (the hits may be empty); 0 when the keyword
// expression is invalid (failure's message empty), or when a file it needs cannot be
// read: an index file (kIndexReadError) or a homophone table (its message, plain text).
int search_keywords(SearchRun& run, StepFailure& failure);
// Whether the keyword text holds a character reference ("&#23398;", "&#x5B66;") of a
// character that Big5 has no code for: a Big5 form sends such a character that way, and
// searched as it stands the reference would only match its own digits.
bool keywords_outside_big5(std::string_view keywords);
// Writes the error page for message (header first when none was written; the TmplError
// template when known and loadable, else the message and "\n" as plain text) and ends
// the run through the fatal sink.
[[noreturn]] void cgi_error_page(const std::string& message);
// The error page text without the header, or the plain-text form ("message\n") when no
// template can be loaded; what cgi_error_page writes.
std::string error_page_text(const SearchRun& run, const std::string& message);
// Releases the request's texts, hits and open databases.
void request_free(SearchRun& run);
// Writes text as it is on the program's output (prog_output) and flushes it.
void searcher_write(const std::string& text);

// A template path of the configuration: relative paths are taken from the program
// directory (ending in "/").
std::string template_path(const std::string& program_dir, const std::string& configured);

// ---- The result page ----------------------------------------------------------------

// Fills the chosen template with the hits of the requested page and writes it to the
// program's output; consumes the hits. false, with nothing written and the message in
// error, when a hit of the page names a database the configuration does not hold
// (kDatabaseIdError) or cannot be read (kIndexReadError).
bool result_render_page(SearchRun& run, const std::string& template_path, std::string& error);

// The request carried on: HTML hidden inputs, the query string (without address) and the
// Searcher address with its query. The page pass adds m.
enum class RequestTextMode { Record, Page };
struct RequestTexts {
  std::string hidden;
  std::string query;
  std::string searcher_link;
};
RequestTexts result_request_texts(const SearchRun& run, RequestTextMode mode);

// The texts of one hit, read from the hit's database's open set (a database the
// configuration does not hold reads as one with every key at its default).
struct RecordTexts {
  uint32_t fulltext_offset = 0;
  std::string title;         // plain text (escaped where it goes into the page)
  std::string marker_query;  // "s=..&p=..&i=.." and the carried flags
  std::string source;        // address of the document
  std::string link;          // the hit's link (the source address)
};
RecordTexts result_record_link(const SearchRun& run, IndexFileSet& set, const HitRecord& hit);

// The abstract of a hit: the window of its paragraph around the first keyword, escaped
// for HTML and marked; sets the hit's position to that keyword's offset.
std::string result_abstract(const SearchRun& run, IndexFileSet& set, HitRecord& hit,
                            uint32_t fulltext_offset);

// Helpers of the result page, exposed for tests.
// Source address of a stored path for a database whose HomeUrl is home_url.
std::string result_source_address(std::string path, const std::string& home_url);
// First and last item of the page (both 0 without hits).
struct PagingRange {
  int start = 0;
  int end = 0;
};
PagingRange result_paging(int total, int rows, const std::optional<std::string>& b);

}  // namespace qm
