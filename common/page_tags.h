// The tags of page templates ("<!% ... %!>"): the kinds of template items and the keyword
// table that names the block and SQL tags. Shared by the searcher's template engine
// (searcher/page/page_template.cpp) and setup's home-page reader
// (setup/setup_home_page.cpp), which otherwise read templates by rules of their own
// (blanks, unclosed tags, loop limits). Builds on common/strings.h.
#pragma once
#include <cstdint>
#include <string_view>

#include "common/strings.h"

namespace qm {

enum class PageItemKind : int32_t {
  None = 0,  // a tag that is dropped
  Literal = 1,
  Declare = 2,
  Loop = 3,
  Value = 5,
  Const = 6,
  SqlRecno = 7,
  SqlResult = 8,
  SqlReccount = 9,
  SqlCmd = 10,
};

struct PageKeyword {
  std::string_view name;  // as spelled in the table
  PageItemKind kind;
};

inline constexpr PageKeyword kPageKeywords[] = {
    {"T_Declare", PageItemKind::Declare},    {"T_Loop", PageItemKind::Loop},
    {"T_CONST", PageItemKind::Const},        {"SQL_RECNO", PageItemKind::SqlRecno},
    {"SQL_RESULT", PageItemKind::SqlResult}, {"SQL_RECCOUNT", PageItemKind::SqlReccount},
    {"SQL_CMD", PageItemKind::SqlCmd},
};

// The table's entry for keyword (compared case-blind); null when it names none.
inline const PageKeyword* page_keyword_find(std::string_view keyword) {
  for (const PageKeyword& k : kPageKeywords)
    if (string_icmp(keyword, k.name) == 0) return &k;
  return nullptr;
}

}  // namespace qm
