// HtmlTagTable and its lookup (html_tag.h).
#include "common/html_tag.h"

#include <cstring>

#include "common/strings.h"

namespace qm {

const std::array<HtmlTagEntry, 22> HtmlTagTable = {{
    {"A", 1, 0},         {"BR", 2, 0},       {"P", 3, 1},          {"HR", 11, 1},
    {"H1", 4, 1},        {"H2", 5, 1},       {"H3", 6, 1},         {"H4", 7, 1},
    {"H5", 8, 1},        {"H6", 9, 1},       {"HTML", 13, 1},      {"HEAD", 14, 1},
    {"TITLE", 0, 1},     {"BODY", 12, 1},    {"TABLE", 10, 1},     {"TEXTAREA", 16, 1},
    {"SCRIPT", 15, 1},   {"!--", 15, 1},     {"--", 15, 1},        {"JAVASCRIPT", 15, 1},
    {"VBSCRIPT", 15, 1}, {"", -1, 0},
}};

void html_tag_lookup(HtmlTagRecord& tag) {
  constexpr size_t kUpperLimit = 80;
  std::string head = tag.name.substr(0, kUpperLimit);
  string_upper_big5(head);
  tag.name.replace(0, head.size(), head);
  for (const HtmlTagEntry& entry : HtmlTagTable) {
    if (entry.id == -1) break;
    if (tag.name == entry.name) {
      tag.id = entry.id;
      tag.flag = entry.flag;
      return;
    }
  }
  tag.id = -1;
  tag.flag = 0;
}

}  // namespace qm
