// The hit-document viewer `marker`: for one hit of a result list it writes the whole text
// of the document, paragraph by paragraph from fulltext.db, as one HTML page with the
// request's keywords marked the way the search matched them.
//
// Request (CGI, as the searcher's result page and the desktop build it): s database id,
// i document number, p keywords ("NULL" for none), h homophones, f fault tolerance,
// d configuration file, l "1" for the lexicon's related words (c "1": same category);
// k "first[,last]" the 0-based paragraphs shown (the desktop's view of a mail: its body,
// without the header paragraphs and attachments, or one range of them); an empty or
// missing k shows the whole document. The database's WorkDir
// comes from section DB-<s> of the configuration file (vesprin.ini in the program
// directory unless d names another one there).
//
// Builds on searcher/page/cgi_input.h (request), common/config.h (configuration),
// index/index_reader.h (index files), searcher/query_parser.h (keywords),
// searcher/english_match.h (English similarity), searcher/marking/hit_marking.h and
// searcher/marking/document_title.h.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "common/config.h"
#include "index/index_reader.h"
#include "searcher/marking/hit_marking.h"
#include "searcher/page/cgi_input.h"
#include "searcher/search_options.h"

namespace qm {

// Messages of a request that names no document.
inline constexpr const char* kMsgBadDatabase = "Invalid database !";
inline constexpr const char* kMsgBadDocument = "Invalid document !";
inline constexpr const char* kMsgBadRange = "Invalid paragraph range !";

// Near-concept marking: the LexDB of program_dir expands the keywords as the search did.
struct LexiconUse {
  std::string program_dir;
  SearchOptions options;
};

// The search words of a keyword text (a request's decoded p): the words of its term
// table in order, English upper-cased; with lexicon, of its expansion. "NULL" and a text
// without words give none.
std::vector<std::string> marker_keywords(const std::string& keywords, const LexiconUse* lexicon = nullptr);

// What the page shows around the text: the paragraph the title is sought from (the
// database's TitleParagraph) and the address of the result list ("" for no link).
struct MarkerFrame {
  long long title_paragraph = 1;
  std::string back_link;
  // The paragraphs shown, first to last inclusive, cut to the document's.
  uint32_t first_paragraph = 0;
  uint32_t last_paragraph = 0xFFFFFFFFu;
};

// k as paragraph numbers: "first" (to the end) or "first,last". False for a text that is
// not one of these (first and last each 0..65535, last not below first).
bool marker_parse_range(const std::string& k, uint32_t& first, uint32_t& last);

// The page body for one document of an open index set: the head with the document's
// title (its path when it has none) and the charset, a link back to the result list, one
// "<P>" line per paragraph with its text escaped, marked and wrapped, and the closing
// lines, every line ended by CR LF, the last "</html>". The Content-Type header is not
// part of it. false, with page empty, when the document is not in the set.
bool marker_page(IndexFileSet& set, uint32_t document, const HitQuery& query,
                 const MarkTexts& marks, std::string& page, const MarkerFrame& frame = {});

// The address of the result list a hit came from: the Searcher setting with the
// request's database, keywords and search modes (h, f, l with c, d), so the list is
// searched again from its first hit. "" when the request has no keywords ("NULL").
std::string marker_back_link(const SearchRequest& request, const std::string& searcher);

// Why a run wrote no page: the message, and whether it goes out as the framed error page
// (the program's fatal writer, HTML-escaped) or as plain text (fatal_text).
struct MarkerFailure {
  std::string message;
  bool page = false;
};

// One run over a parsed request: reads the configuration, opens the database, builds the
// query (homophone tables from program_dir) and writes header and page on the program's
// output. A failure writes nothing and comes back to the entry.
std::optional<MarkerFailure> marker_run(const SearchRequest& request, const std::string& program_dir);
// The entry's end of a failed run: the error page or text, then the exit (CGI profile).
void marker_end_run(const MarkerFailure& failure);

// The program: CGI profile, error page frame, CGI input, marker_run. Gives the exit code.
int marker_main(int argc, char** argv);

}  // namespace qm
