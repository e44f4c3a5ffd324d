// The result page of the searcher: fills the chosen page template with the page
// figures, one group of record values per hit of the requested page (title, links,
// score, marked abstract, property value), the paging links and the hidden fields that
// carry the request to the next form. Reads the hits' documents through
// index/index_reader.h, marks abstracts with searcher/marking, escapes reflected values
// with searcher/page/page_escape.h. Called by the request driver (request_driver.cpp).
#include <algorithm>
#include <cstdio>
#include <string>

#include "common/config.h"
#include "common/html.h"
#include "common/strings.h"
#include "index/index_reader.h"
#include "platform/paths.h"
#include "searcher/app/searcher_app.h"
#include "searcher/page/cgi_input.h"
#include "searcher/page/page_escape.h"
#include "searcher/page/page_template.h"
#include "searcher/english_match.h"
#include "searcher/marking/document_title.h"
#include "searcher/marking/hit_marking.h"
#include "searcher/property/property_step.h"

namespace qm {
namespace {

// The configuration of a hit's database; result_render_page checks beforehand that
// every hit it shows has one.
const DatabaseEntry& database_of(const DatabaseTable& table, uint16_t id) {
  const int slot = table.slot_of(id);
  if (slot < 0) {
    static const DatabaseEntry none;
    return none;
  }
  return table.entries[static_cast<size_t>(slot)];
}

// A parameter that the request keeps as it came (not URL-decoded), decoded once, so
// that a value carried in a form or link comes back unchanged in the next request.
std::string carried(const SearchRequest& request, char letter) { return url_decode(request.value(letter)); }

// The first character start at or after target (bytes with the high bit set begin a
// two-byte character), at most the text's length.
size_t character_start_from(std::string_view text, size_t target) {
  size_t i = 0;
  while (i < target && i < text.size())
    i += (static_cast<unsigned char>(text[i]) & 0x80) && i + 1 < text.size() ? 2 : 1;
  return std::min(i, text.size());
}

HitQuery marking_query(const SearchRun& run) {
  const SearchRequest& request = run.params;
  HitQuery query;
  query.words = run.state.search_words;
  query.fault_tolerant = request.is('f', "1");
  query.homophone = request.is('h', "1");
  query.match_rate = run.config.settings.MatchRate;
  query.similarity = [](std::string_view a, std::string_view b) { return word_similarity(a, b); };
  return query;
}

// Offset of the first keyword occurrence in a paragraph text (0 when there is none).
size_t first_keyword_offset(const SearchRun& run, const std::string& text) {
  if (run.state.search_words.empty()) return 0;
  const std::vector<HitSpan> spans = hits_find(marking_query(run), text, true);
  return spans.empty() ? 0 : spans.front().start;
}

// The escaped text with the keywords wrapped in MarkBeginText / MarkEndText.
std::string mark_keywords(const SearchRun& run, const std::string& escaped) {
  if (run.state.search_words.empty()) return escaped;
  MarkTexts marks;
  marks.begin = run.config.settings.MarkBeginText;
  marks.end = run.config.settings.MarkEndText;
  return hits_mark(marking_query(run), escaped, false, marks);
}

}  // namespace

PagingRange result_paging(int total, int rows, const std::optional<std::string>& b) {
  PagingRange r;
  if (total < 1) return r;
  long long start = b ? string_leading_number(*b) : 1;
  if (start < 1 || start > total) start = 1;
  long long end = start + rows - 1;
  if (end > total) end = total;
  r.start = static_cast<int>(start);
  r.end = static_cast<int>(end);
  return r;
}

RequestTexts result_request_texts(const SearchRun& run, RequestTextMode mode) {
  const SearchRequest& request = run.params;
  RequestTexts t;
  auto hidden = [&t](std::string_view name, std::string_view value) {
    t.hidden += "<INPUT TYPE=HIDDEN NAME=";
    t.hidden += name;
    t.hidden += " VALUE=\"";
    t.hidden += html_escape_value(value);
    t.hidden += "\">\n";
  };
  // Appends "&name=value" to the query text, and to the searcher link when both.
  auto query = [&t](std::string_view name, std::string_view value, bool both) {
// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about the string copies it inlines here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
    std::string piece = "&" + std::string(name) + "=" + url_escape_value(value);
#pragma GCC diagnostic pop
    t.query += piece;
    if (both) t.searcher_link += piece;
  };

  const std::string& s = request.value('s');
  hidden("s", s);
  t.query = "s=" + url_escape_value(s);
  t.searcher_link = run.config.settings.Searcher + "?s=" + url_escape_value(s);

  if (request.is('l', "1")) {
    hidden("l", "1");
    hidden("c", carried(request, 'c'));
    query("l", "1", false);
    query("c", carried(request, 'c'), false);
  }
  const std::string o = carried(request, 'o');
  if (!o.empty() && o[0] != '0') {
    hidden("o", o.substr(0, 1));
    query("o", o.substr(0, 1), false);
  }
  for (char flag : {'h', 'f', 't'}) {
    if (!request.is(flag, "1")) continue;
    const std::string name(1, flag);
    hidden(name, "1");
    query(name, "1", true);
  }
  if (request.present('d')) {
    hidden("d", request.config_path);
    query("d", request.config_path, true);
  }
  for (char letter : {'a', 'g'}) {
    if (!request.present(letter)) continue;
    const std::string name(1, letter);
    hidden(name, carried(request, letter));
    query(name, carried(request, letter), true);
  }
  if (!request.value('z').empty()) {
    hidden("z", request.value('z'));
    query("z", request.value('z'), true);
  }
  hidden("k", request.value('k'));
  query("k", request.value('k'), true);
  if (mode == RequestTextMode::Page && request.present('m')) {
    hidden("m", carried(request, 'm'));
    query("m", carried(request, 'm'), true);
  }
  query("p", request.keywords.value_or(std::string()), true);
  return t;
}

std::string result_source_address(std::string path, const std::string& home_url) {
  if (string_nicmp(path, "http:/", 6) == 0 || string_nicmp(path, "https:/", 7) == 0) return path;
  if (home_url == "http://") {
    bool done = false;
    for (std::string_view kind : {".exe_", ".asp_", ".cgi_", ".dll_", ".pl_"}) {
      const size_t at = string_find(path, kind);
      if (at == std::string::npos) continue;
      const size_t mark = at + kind.size() - 1;
      path[mark] = '?';
      for (size_t i = mark + 1; i < path.size(); ++i)
        if (path[i] == '$') path[i] = '/';
      const size_t dot = path.rfind('.');
      if (dot != std::string::npos && path.compare(dot, std::string::npos, ".htm") == 0)
        path.erase(dot);
      done = true;
      break;
    }
    if (!done && path.size() > 8) {
      for (std::string_view end : {".asp.htm", ".exe.htm", ".dll.htm", ".cgi.htm", ".pl.htm"}) {
        if (path.size() < end.size() ||
            string_icmp(std::string_view(path).substr(path.size() - end.size()), end) != 0)
          continue;
        path.erase(path.rfind('.'));
        break;
      }
    }
  }
  return home_url + path;
}

RecordTexts result_record_link(const SearchRun& run, IndexFileSet& set, const HitRecord& hit) {
  const SearchRequest& request = run.params;
  const DatabaseEntry& db = database_of(run.config.table, hit.database);
  RecordTexts r;

  CrossRecord cross;
  if (set.read_cross(hit.document, cross)) r.fulltext_offset = cross.fulltext_offset;
  std::string path;
  set.read_path(hit.document, path);
  path = path_backslash_to_slash(path);

  r.title = document_title(set, r.fulltext_offset, db.TitleParagraph, hit.paragraph);

  const std::string keywords = url_escape_value(request.keywords.value_or(std::string()));
  r.marker_query = "s=" + std::to_string(hit.database) + "&p=" + keywords + "&i=";
  r.marker_query += db_is_odbc(db.DB_Kind) ? url_escape_value(path) : std::to_string(hit.document);
  if (request.is('l', "1")) {
    r.marker_query += "&l=1";
    if (!request.value('c').empty()) r.marker_query += "&c=" + url_escape_value(carried(request, 'c'));
  }
  if (request.is('h', "1")) r.marker_query += "&h=1";
  if (request.is('f', "1")) r.marker_query += "&f=1";
  if (!request.value('d').empty()) r.marker_query += "&d=" + url_escape_value(carried(request, 'd'));

  r.source = result_source_address(path, db.HomeUrl);
  r.link = r.source;
  // A message of a mail database has no file: its hit opens the marked text instead.
  if (db.Mail) {
    r.link = run.config.settings.Marker + "?" + r.marker_query;
    if (request.keywords.value_or(std::string()).empty()) r.link += "&p=NULL";
  }
  return r;
}

std::string result_abstract(const SearchRun& run, IndexFileSet& set, HitRecord& hit,
                            uint32_t fulltext_offset) {
  const DatabaseEntry& db = database_of(run.config.table, hit.database);
  std::string text = set.read_paragraph(fulltext_offset, hit.paragraph).text;
  const size_t length = text.size();
  const size_t window = static_cast<size_t>(std::clamp(db.MaxDisplayRows, 1, 6)) * 60;

  const size_t first = first_keyword_offset(run, text);
  hit.position = static_cast<uint16_t>(first);
  if (length > window) {
    size_t start = 0, end = length;
    if (first > window / 2) start = character_start_from(text, first - window / 2);
    if (length - first > window / 2) end = character_start_from(text, first + window / 2);
    if (end < start) end = start;
    text = text.substr(start, end - start);
  }

  // Trailing blanks go (one byte always stays), CR goes, LF becomes a blank.
  while (text.size() > 1 && text.back() == ' ') text.pop_back();
  std::string plain;
  plain.reserve(text.size());
  for (char c : text) {
    if (c == '\r') continue;
    plain += c == '\n' ? ' ' : c;
  }

  std::string escaped;
  html_encode(plain, escaped);
  std::string marked = mark_keywords(run, escaped);
  if (marked.empty() || marked.back() != '\n') marked += "<BR>\n";
  return marked;
}

bool result_render_page(SearchRun& run, const std::string& path, std::string& error) {
  SearcherState& state = run.state;
  const SearchRequest& request = run.params;
  const SearchSettings& settings = run.config.settings;
  const int total = static_cast<int>(state.hits.size());
  const int rows = state.rows;
  const PagingRange range = result_paging(total, rows, request.slot('b'));

  std::optional<PageTemplate> loaded = path.empty() ? std::nullopt : tmpl_load(path);
  if (!loaded) {
    searcher_write(kMsgNoTemplate);
    state.hits.clear();
    return true;
  }
  PageTemplate& tmpl = *loaded;
  for (int i = range.start; i >= 1 && i <= range.end; ++i) {
    if (run.config.table.slot_of(state.hits[static_cast<size_t>(i - 1)].database) >= 0) continue;
    error = kDatabaseIdError;
    return false;
  }

  tmpl_set_text(tmpl, "HOME_URL", settings.HomePage);
  std::string names;
  for (const DatabaseEntry& db : run.config.table.entries) {
    if (db.Id == 0) continue;
    if (!names.empty()) names += ", ";
    names += db.Description;
  }
  tmpl_set_text(tmpl, "DATABASE_NAME", names);
  tmpl_set_text(tmpl, "KEYWORDS", html_escape_value(request.keywords.value_or(std::string())));
  tmpl_set_number(tmpl, "HIT_NUMBER", total);
  tmpl_set_number(tmpl, "START_ITEM", range.start);
  tmpl_set_number(tmpl, "END_ITEM", range.end);

  const RequestTexts record_texts = result_request_texts(run, RequestTextMode::Record);
  std::string property_format;
  tmpl_get_const(tmpl, "PROPERTY_FORMAT", property_format);

  IndexFileSet closed;  // a hit of a database the keyword step did not open reads nothing
  for (int i = range.start; i >= 1 && i <= range.end; ++i) {
    HitRecord& hit = state.hits[static_cast<size_t>(i - 1)];
    tmpl_set_value_number(tmpl, "REC_NO", i);
    const DatabaseEntry& db = database_of(run.config.table, hit.database);
    IndexFileSet* open_set = searcher_database_set(state, hit.database);
    IndexFileSet& set = open_set ? *open_set : closed;

    const RecordTexts texts = result_record_link(run, set, hit);
    std::string link;
    if (db_is_odbc(db.DB_Kind) && !db.ASP.empty())
      link = db.ASP + "?" + texts.marker_query;
    else if (request.is('m', "1") && hit.score >= 2)
      link = record_texts.searcher_link + "&z=" + std::to_string(hit.hit_count);
    else
      link = texts.link;
    tmpl_set_value(tmpl, "REC_LINK", html_escape_value(link));
    tmpl_set_value_number(tmpl, "REC_SCORE", request.value('z').empty() ? hit.score : 1);
    tmpl_set_value(tmpl, "REC_TITLE", html_escape_value(texts.title));
    std::string marker = settings.Marker + "?" + texts.marker_query;
    if (request.keywords.value_or(std::string()).empty()) marker += "&p=NULL";
    // Every variable part of the marker address is percent-escaped already; it stays
    // free of entities so that readers of the page can take its query apart.
    tmpl_set_value(tmpl, "REC_MARKER", marker);
    tmpl_set_value(tmpl, "REC_SOURCE_URL", html_escape_value(texts.source));
    if (!request.is('t', "1")) tmpl_set_value(tmpl, "REC_SCRIPT", result_abstract(run, set, hit, texts.fulltext_offset));
    std::string property;
    PropertyValue value = 0;
    if (!property_format.empty() && set.read_property(hit.document, value))
      property = format_property_value(property_format, value);
    tmpl_set_value(tmpl, "REC_PROPERTY", property);
  }
  // A hit that could not be read ends the run before the page is written.
  if (closed.failed() || search_databases_failed(state.databases)) {
    error = kIndexReadError;
    return false;
  }

  const RequestTexts page_texts = result_request_texts(run, RequestTextMode::Page);
  tmpl_set_text(tmpl, "SEARCHER_URL", settings.Searcher);
  const std::string base = settings.Searcher + "?" + page_texts.query + "&b=";
  if (range.start > rows) {
    tmpl_set_text(tmpl, "SEARCH_PREV_PAGE", base + std::to_string(range.start - rows));
  } else if (range.start > 1) {
    tmpl_set_text(tmpl, "SEARCH_PREV_PAGE", base + "1");
  } else {
    tmpl_set_text(tmpl, "START_SKIP_PREV_PAGE_FORM", "<!--");
    tmpl_set_text(tmpl, "END_SKIP_PREV_PAGE_FORM", "-->");
  }
  if (range.end < total) {
    tmpl_set_text(tmpl, "SEARCH_NEXT_PAGE", base + std::to_string(range.end + 1));
  } else {
    tmpl_set_text(tmpl, "START_SKIP_NEXT_PAGE_FORM", "<!--");
    tmpl_set_text(tmpl, "END_SKIP_NEXT_PAGE_FORM", "-->");
  }
  tmpl_set_text(tmpl, "OTHER_COMMAND", page_texts.hidden);
  if (total < 1) {
    tmpl_set_text(tmpl, "START_SKIP_ZERO_HIT_FORM", "<!--");
    tmpl_set_text(tmpl, "END_SKIP_ZERO_HIT_FORM", "-->");
  } else {
    tmpl_set_number(tmpl, "NEXT_ITEM", total > range.end ? range.end + 1 : 1);
  }
  state.hits.clear();
  if (total == 0) {
    tmpl_set_text(tmpl, "START_SKIP_ZERO_HIT", "<!--");
    tmpl_set_text(tmpl, "END_SKIP_ZERO_HIT", "-->");
  }
  tmpl_render_file(tmpl, nullptr);
  return true;
}

}  // namespace qm
