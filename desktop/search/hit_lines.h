// The rows of the desktop's result list and the reader of the searcher's output that makes
// them. The searcher's desktop template (searcher/app/templates/desktop_hits.htm) writes a
// page of lines: "HIT_NUMBER <total>", "START_ITEM <first>", and per hit "S1 <number>",
// "S2 <source>", "S3 <title>", "S4 <score>", "S5 <abstract>", "S6 <marker address>",
// then "</HTML>" with no line end. HitLineParser takes that output in pieces of any size
// as the child writes it (lines end at LF, CR LF, CR or CR CR LF) and fills one HitRow per
// hit. Plain C++ over platform/process.h's line cutter and the catalogue's hit-link parser;
// used by searcher_run.h and the main window; tests in tests/hit_lines_test.cpp.
#pragma once
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

namespace qm {

class DatabaseCatalog;

// Sub-items of a row, by position (the old list view's numbering).
enum HitSubItem : int {
  kSubName = 0,     // file name (with "(page)") or mail subject
  kSubTimes = 1,    // occurrences
  kSubTitle = 2,    // title
  kSubDate = 3,     // date
  kSubSender = 4,   // sender of a mail
  kSubBrief = 5,    // brief HTML
  kSubNumber = 6,   // document number
  kSubMarker = 7,   // marker query
};

// One hit of the result list. Texts are the system's bytes (Big5, or file-name bytes for
// a document's name); every sub-item starts as one blank, as the list always had them.
struct HitRow {
  std::string caption;  // the hit number as the searcher wrote it
  std::array<std::string, 8> sub{" ", " ", " ", " ", " ", " ", " ", " "};
  int database_id = 0;  // the database that holds the hit
  int image = -1;       // 2: a mail that has attachments
  bool mail = false;    // the hit is in a mail database
};

// Longest line kept; the rest of a longer line is dropped.
inline constexpr std::size_t kHitLineMax = 8191;

class HitLineParser {
 public:
  // Handles every line the bytes complete. true once the reading has ended ("</HTML>" or
  // "No keyword"); later bytes are ignored.
  bool feed(std::string_view bytes);
  // The output has ended: an unfinished last line is handled as well.
  void finish();

  bool ended() const { return ended_; }
  // "</HTML>" closed the output.
  bool complete() const { return complete_; }
  // The searcher found no usable keyword ("No keyword" outside the hit lines).
  bool no_keyword() const { return no_keyword_; }
  // The text of the HIT_NUMBER line (status panel 1), as written.
  const std::string& hit_number() const { return hit_number_; }
  // The START_ITEM line's number, when there was one.
  std::optional<int> page_start() const { return page_start_; }
  std::vector<HitRow>& rows() { return rows_; }
  std::size_t lines_cut() const { return reader_.truncated(); }

 private:
  void handle(const std::string& line);
  void check_end_tag();
  ChildLineReader reader_{kHitLineMax};
  std::vector<std::string> lines_;
  std::vector<HitRow> rows_;
  std::string hit_number_;
  std::optional<int> page_start_;
  bool ended_ = false;
  bool complete_ = false;
  bool no_keyword_ = false;
};

// The single line rules, for the parser and its tests.
// S2: a text that ends in a page part ("?", a letter, "=" and digits) keeps what stands
// before the character ahead of that "?", followed by "(" + the digits (at most 9) + ")";
// any other text is taken whole. Entities are decoded.
std::string HitNameFromSource(std::string_view s2);
// S5: the abstract less its closing "<BR>", or less its last 3 characters when it does not
// end so.
std::string HitBriefFromScript(std::string_view s5);
// The HTML entities the searcher writes (&amp; &lt; &gt; &quot;, and &nbsp;) decoded.
std::string HitTextDecoded(std::string_view text);
// S6: sub-items 7 (the address's text after its first "?") and 6 (document number) and the
// database id, from the query by the catalogue's hit-link rules.
void HitApplyMarkerLink(HitRow& row, std::string_view s6);

// The date column of every row: a mail's received date, else the document file's last
// write time (DatabaseCatalog::HitDateText).
void FillHitDates(DatabaseCatalog& catalog, std::vector<HitRow>& rows);

}  // namespace qm
