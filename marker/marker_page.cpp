// The marker's page and run (marker_page.h).
#include "marker/marker_page.h"

#include <algorithm>
#include <charconv>

#include "common/dbid.h"
#include "common/files.h"
#include "common/html.h"
#include "common/strings.h"
#include "langdata/homophone.h"
#include "platform/fatal.h"
#include "platform/paths.h"
#include "searcher/english_match.h"
#include "searcher/lexicon/lexicon.h"
#include "searcher/marking/document_title.h"
#include "searcher/page/page_escape.h"
#include "searcher/query_parser.h"

namespace qm {

namespace {

// A decimal number of digits only, within [low, high].
template <typename T>
bool parse_number(const std::string& text, T low, T high, T& out) {
  unsigned long long value = 0;
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  if (value < low || value > high) return false;
  out = T(value);
  return true;
}

// Every LF that the wrapping wrote becomes CR LF, so each line of the page ends alike.
void lf_to_crlf(const std::string& in, std::string& out) {
  for (char c : in) {
    if (c == '\n') out += '\r';
    out += c;
  }
}

}  // namespace

std::vector<std::string> marker_keywords(const std::string& keywords, const LexiconUse* lexicon) {
  std::vector<std::string> words;
  std::string text = keywords;
  if (text == "NULL") return words;  // the result page's "no keywords"
  if (!query_parse(text)) return words;
  if (lexicon != nullptr) {
    text = lexicon_expand_query(lexicon->program_dir, text, lexicon->options);
    query_parse(text);
  }
  for (const QueryTerm& term : term_table_build(text).terms)
    if (term.is_word()) words.push_back(term.text);
  return words;
}

bool marker_page(IndexFileSet& set, uint32_t document, const HitQuery& query,
                 const MarkTexts& marks, std::string& page, const MarkerFrame& frame) {
  page.clear();
  CrossRecord cross;
  uint16_t count = 0;
  if (document >= set.document_count() || !set.read_cross(document, cross) ||
      !set.read_paragraph_count(cross.fulltext_offset, count))
    return false;
  std::string title = document_title(set, cross.fulltext_offset, frame.title_paragraph, 0);
  if (title.empty()) {
    set.read_path(document, title);
    title = path_backslash_to_slash(title);
  }

  std::string body;
  body += "<HTML>\r\n<HEAD>\r\n";
  body += "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=big5\">\r\n";
  body += "<TITLE>" + html_escape_value(title) + "</TITLE>\r\n</HEAD>\r\n<BODY>\r\n";
  if (!frame.back_link.empty())
    body += "<P><A HREF=\"" + html_escape_value(frame.back_link) + "\">Back to the result list</A>\r\n";
  std::string encoded;
  const uint32_t last = std::min<uint32_t>(frame.last_paragraph, uint32_t(count) - (count > 0 ? 1 : 0));
  for (uint32_t i = frame.first_paragraph; count > 0 && i <= last; ++i) {
    uint16_t kind = 0;
    std::string_view text;
    if (!set.view_paragraph(cross.fulltext_offset, i, kind, text)) return false;
    html_encode(text, encoded);
    body += "<P>";
    lf_to_crlf(hits_mark(query, encoded, true, marks), body);
    body += "\r\n";
  }
  body += "</BODY>\r\n</html>\r\n";
  page = std::move(body);
  return true;
}

bool marker_parse_range(const std::string& k, uint32_t& first, uint32_t& last) {
  const size_t comma = k.find(',');
  if (!parse_number<uint32_t>(k.substr(0, comma), 0, 65535, first)) return false;
  if (comma == std::string::npos) {
    last = 0xFFFFFFFFu;
    return true;
  }
  return parse_number<uint32_t>(k.substr(comma + 1), first, 65535, last);
}

std::string marker_back_link(const SearchRequest& request, const std::string& searcher) {
  const std::string keywords = request.keywords.value_or("");
  if (keywords.empty() || keywords == "NULL") return {};
  std::string link = searcher + "?s=" + url_escape_value(request.value('s')) + "&p=" + url_escape_value(keywords);
  if (request.is('h', "1")) link += "&h=1";
  if (request.is('f', "1")) link += "&f=1";
  if (request.is('l', "1")) {
    link += "&l=1";
    const std::string c = url_decode(request.value('c'));
    if (!c.empty()) link += "&c=" + url_escape_value(c);
  }
  if (request.present('d')) link += "&d=" + url_escape_value(request.config_path);
  return link;
}

std::optional<MarkerFailure> marker_run(const SearchRequest& request, const std::string& program_dir) {
  uint16_t id = 0;
  uint32_t document = 0;
  if (!parse_number<uint16_t>(request.value('s'), 1, 65535, id)) return MarkerFailure{kMsgBadDatabase};
  if (!parse_number<uint32_t>(request.value('i'), 0, 0xFFFFFFFFu, document))
    return MarkerFailure{kMsgBadDocument};

  // Only the requested database, active or not: the viewer shows what a list offered.
  DatabaseIdSet ids;
  ids.reset(true);
  ids.add(id, true);
  Config config(ids);
  config.set_program_dir(program_dir);
  if (!config.load(request.config_path) || config.table.entries.empty())
    return MarkerFailure{config.error().empty() ? kMsgBadDatabase : config.error()};
  const DatabaseEntry& database = config.table.entries[0];

  IndexFileSet set;
  if (!set.open(database.WorkDir, database.IndexType, false)) return MarkerFailure{kIndexReadError, true};

  const QueryFlags flags = query_flags_from_request(request.value('h'), request.value('f'),
                                                    request.value('c'), request.value('l'));
  HitQuery query;
  // With l "1" the search looked for the lexicon's related words too: mark them as well.
  const LexiconUse lexicon{program_dir, search_options_from_settings(config.settings, flags, "")};
  query.words = marker_keywords(request.keywords.value_or(""), flags.lexicon ? &lexicon : nullptr);
  query.fault_tolerant = flags.fault_tolerant;
  query.homophone = flags.homophone;
  query.match_rate = config.settings.MatchRate;
  query.similarity = word_similarity;
  std::vector<std::string> chinese;
  for (const std::string& w : query.words)
    if (!w.empty() && static_cast<unsigned char>(w[0]) >= 0x80) chinese.push_back(w);
  HomophoneTables tables;
  tables.set_paths(program_dir);
  tables.table_build(chinese, flags.homophone);
  if (!tables.error().empty()) return MarkerFailure{tables.error()};
  query.homophones = &tables;

  std::string page;
  MarkerFrame frame{database.TitleParagraph, marker_back_link(request, config.settings.Searcher)};
  const std::string k = url_decode(request.value('k'));
  if (!k.empty() && !marker_parse_range(k, frame.first_paragraph, frame.last_paragraph))
    return MarkerFailure{kMsgBadRange};
  const bool built = marker_page(set, document, query,
                                 {config.settings.MarkBeginText, config.settings.MarkEndText}, page, frame);
  if (set.failed()) return MarkerFailure{kIndexReadError, true};
  if (!built) return MarkerFailure{kMsgBadDocument};
  html_content_type();
  html_put_text(page);
  return std::nullopt;
}

void marker_end_run(const MarkerFailure& failure) {
  if (failure.page)
    fatal(failure.message);
  else
    fatal_text(failure.message);
}

int marker_main(int argc, char** argv) {
  static constexpr const char* kErrorHead = "<HTML><BODY>\r\n";
  static constexpr const char* kErrorTail = "</BODY>\r\n</html>\r\n";
  fatal_set_profile(FatalProfile::Cgi);
  fatal_set_frame(kErrorHead, kErrorTail);
  fatal_set_writer([](const std::string& message) {
    if (!html_header_written()) html_content_type();
    std::string text;
    html_encode(message, text);
    html_put_text(kErrorHead + text + "\r\n" + kErrorTail);
  });
  const std::string program_dir = program_dir_from_argv0(argc > 0 ? argv[0] : "");
  SearchRequest request;
  std::string error;
  if (!cgi_read_input(request, cgi_process_environment(), program_dir, error)) {
    marker_end_run({error, true});
    return 255;
  }
  if (auto failure = marker_run(request, program_dir)) {
    marker_end_run(*failure);
    return 255;
  }
  return 0;
}

}  // namespace qm
