// HTML tag lookup of the common library: the table of tag names the library knows, with
// an id and a flag per name (flag 1: the tag starts a block of its own), and the lookup of
// a tag record's name in it. Works beside the markup scanner of common/html.h.
#pragma once
#include <array>
#include <string>

namespace qm {

struct HtmlTagEntry {
  const char* name;
  int id;
  int flag;
};

// 21 names, then the end entry (empty name, id -1, flag 0).
extern const std::array<HtmlTagEntry, 22> HtmlTagTable;

// A tag as a scanner hands it on: its name and, after html_tag_lookup, its id and flag.
struct HtmlTagRecord {
  std::string name;
  int id = -1;
  int flag = 0;
};

// Upper-cases the first 80 bytes of the record's name (ASCII letters only, Big5 pairs
// untouched), looks the name up in HtmlTagTable by exact comparison and sets the record's
// id and flag; -1 and 0 when the name is not in the table.
void html_tag_lookup(HtmlTagRecord& tag);

}  // namespace qm
