// The reader of the searcher's hit lines and the rules of each line (see hit_lines.h).
#include "desktop/search/hit_lines.h"

#include <algorithm>
#include <cctype>

#include "common/html.h"
#include "common/strings.h"
#include "desktop/catalogue/catalogue.h"

namespace qm {
namespace {

constexpr std::string_view kEndTag = "</HTML>";
constexpr std::string_view kNoKeyword = "No keyword";

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The value of a line: the text from position at on (empty when the line is shorter).
std::string_view value_from(std::string_view line, size_t at) {
  return line.size() > at ? line.substr(at) : std::string_view();
}

// "S1" .. "S6" followed by at least the separator: the number, else 0.
int s_line_number(std::string_view line) {
  if (line.size() < 2 || line[0] != 'S' || line[1] < '1' || line[1] > '6') return 0;
  return line[1] - '0';
}

}  // namespace

std::string HitTextDecoded(std::string_view text) {
  std::string out;
  html_decode_entities(text, out);
  return out;
}

// The page part a page document's source ends with: one letter, "=" and digits.
bool is_page_part(std::string_view tail) {
  if (tail.size() < 3 || !std::isalpha(static_cast<unsigned char>(tail[0])) || tail[1] != '=')
    return false;
  return std::all_of(tail.begin() + 2, tail.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::string HitNameFromSource(std::string_view s2) {
  const size_t question = s2.rfind('?');
  // A "?" that does not start the page part is the name's own (a mail subject may ask).
  if (question == std::string_view::npos || !is_page_part(s2.substr(question + 1)))
    return HitTextDecoded(s2);
  const std::string_view number = s2.substr(question + 3, 9);
  const size_t keep = question == 0 ? 0 : question - 1;
  std::string name = HitTextDecoded(s2.substr(0, keep));
  return name + "(" + std::string(number) + ")";
}

std::string HitBriefFromScript(std::string_view s5) {
  if (ends_with(s5, "<BR>")) return std::string(s5.substr(0, s5.size() - 4));
  return std::string(s5.substr(0, s5.size() > 3 ? s5.size() - 3 : 0));
}

void HitApplyMarkerLink(HitRow& row, std::string_view s6) {
  const size_t question = s6.find('?');
  const std::string_view query = question == std::string_view::npos ? s6 : s6.substr(question + 1);
  row.sub[kSubMarker] = std::string(query);
  const HitLink link = DatabaseCatalog::ParseHitLink(query);
  row.database_id = link.database_id;
  row.sub[kSubNumber] = std::to_string(link.document);
}

bool HitLineParser::feed(std::string_view bytes) {
  if (ended_) return true;
  lines_.clear();
  reader_.feed(bytes, lines_);
  for (const std::string& line : lines_) {
    handle(line);
    if (ended_) return true;
  }
  check_end_tag();
  return ended_;
}

void HitLineParser::finish() {
  if (ended_) return;
  lines_.clear();
  check_end_tag();
  if (ended_) return;
  reader_.finish(lines_);
  for (const std::string& line : lines_) {
    handle(line);
    if (ended_) return;
  }
  ended_ = true;
}

void HitLineParser::check_end_tag() {
  if (ends_with(reader_.pending(), kEndTag)) ended_ = complete_ = true;
}

void HitLineParser::handle(const std::string& line) {
  const std::string_view l(line);
  switch (s_line_number(l)) {
    case 1:
      rows_.emplace_back();
      rows_.back().caption = std::string(value_from(l, 3));
      return;
    case 0:
      break;
    default: {
      if (rows_.empty()) return;  // a hit line before the first hit has no row
      HitRow& row = rows_.back();
      const std::string_view v = value_from(l, 3);
      switch (l[1]) {
        case '2': row.sub[kSubName] = HitNameFromSource(v); break;
        case '3': row.sub[kSubTitle] = HitTextDecoded(v); break;
        case '4': row.sub[kSubTimes] = std::string(v); break;
        case '5': row.sub[kSubBrief] = HitBriefFromScript(v); break;
        case '6': HitApplyMarkerLink(row, v); break;
      }
      return;
    }
  }
  if (starts_with(l, "HIT_NUMBER")) {
    hit_number_ = std::string(value_from(l, 11));
  } else if (starts_with(l, "START_ITEM")) {
    page_start_ = static_cast<int>(std::clamp<long long>(string_leading_number(value_from(l, 11)),
                                                         0, 1 << 30));
  } else if (l.find(kNoKeyword) != std::string_view::npos) {
    ended_ = no_keyword_ = true;
  } else if (ends_with(l, kEndTag)) {
    ended_ = complete_ = true;
  }
}

void FillHitDates(DatabaseCatalog& catalog, std::vector<HitRow>& rows) {
  catalog.OpenConfig();  // one table for every row
  for (HitRow& row : rows)
    row.sub[kSubDate] = catalog.HitDateText(row.database_id, row.sub[kSubName], row.sub[kSubNumber]);
  catalog.CloseConfig();
}

}  // namespace qm
