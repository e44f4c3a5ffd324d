// The page-template engine of the searcher: result, zero-hit and error pages are HTML
// files with tags between "<!%" and "%!>" that the program fills. A template is parsed
// into a tree of items (T_Loop blocks expanded while parsing), values are set by name in
// document order, and the page is rendered into one text and written in one piece.
// Builds on common/page_tags.h (item kinds, keywords), common/strings.h (case-blind comparison), common/files.h (reading the
// template, writing a page file) and common/html.h (writing to the program's output).
//
// Tag language:
//   <!% NAME %!>                    value tag; the name is the tag text after the leading
//                                   blanks, unchanged (a blank before "%!>" belongs to it)
//   <!% T_Loop 3 NOT_SKIP_ALL %!>   repeated block, closed by <!% /T_Loop %!>
//   <!% T_Declare %!>               hidden block, closed by <!% /T_Declare %!>
//   <!% T_CONST NAME=value %!>      named constant
//   <!% SQL_RECNO %!>, SQL_RESULT, SQL_RECCOUNT: inert; <!% SQL_CMD Select ... %!>
// Keywords are matched without regard to case; CR characters right after "%!>" are
// dropped.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/page_tags.h"

namespace qm {

using TemplateItemKind = PageItemKind;

// Copies of T_Loop blocks that one template may expand to; further repeats are dropped.
inline constexpr int kTemplateMaxLoopCopies = 10000;

// One literal text or tag.
struct TemplateItem {
  std::string name;  // keyword as spelled in the table, value tag text, empty for literals
  TemplateItemKind kind = TemplateItemKind::Literal;
  bool end = false;           // closing tag ("/" before the keyword)
  bool not_skip_all = false;  // T_Loop: the block's NOT_SKIP_ALL flag (opening and closing)
  int32_t count = 0;          // the number after the keyword
  // Literal text, a set value, the T_CONST text ("NAME=value") or the SQL_CMD text.
  std::optional<std::string> value;
  int next = -1;   // index of the following item
  int child = -1;  // T_Loop items: first item of the copy that starts here
};

class PageTemplate {
 public:
  PageTemplate() = default;

  // Parses a template text. An unclosed "<!%" ends the text.
  static PageTemplate parse(std::string_view text);

  bool empty() const { return items_.empty(); }
  const std::vector<TemplateItem>& items() const { return items_; }

  // Gives the first value item of that name without a value a copy of text; false when
  // there is none. Items inside T_Declare blocks are never filled.
  bool set_value(std::string_view name, std::string_view text);
  // Fills every value item of that name that has no value yet; gives how many.
  int set_all(std::string_view name, std::string_view text);
  // The text after "=" of the first T_CONST item whose text before "=" equals name
  // (case-blind), declaration blocks included.
  std::optional<std::string> get_const(std::string_view name) const;

  // Builds the page text, discarding an earlier one.
  void render();
  // The rendered page; nullopt before render().
  const std::optional<std::string>& page() const { return page_; }
  // Renders unless a page exists, then writes it to path (replaced safely), or to the
  // program's output when path is null. A page of no bytes writes nothing. false when
  // the write failed.
  bool write(const std::string* path);

  // A deep copy of the items, without the page text.
  PageTemplate clone() const;
  void clear();

 private:
  template <typename Visit>
  void walk(bool render_mode, Visit visit) const;
  bool block_skipped(bool not_skip_all, int first) const;
  // The value items of one name (case-blind) in the order the fills walk them
  // (declaration blocks left out), and where filling goes on: every item before it has
  // a value (values are only ever given, never taken back).
  struct NameFills {
    std::string name;
    std::vector<int> items;
    size_t next = 0;
  };
  // The fills of name, made for every name on the first fill; null for a name no value
  // item has.
  NameFills* fills_of(std::string_view name);

  std::vector<TemplateItem> items_;
  std::optional<std::string> page_;
  bool indexed_ = false;
  std::vector<NameFills> fills_;
};

// The engine under the names the searcher's other steps use. Names compare case-blind.
// tmpl_load: parses text when given, otherwise the whole file; nullopt when the text or
// file is missing or empty, or holds no item.
std::optional<PageTemplate> tmpl_load(const std::string& path,
                                      std::optional<std::string_view> text = std::nullopt);
PageTemplate tmpl_parse(std::string_view text);
int tmpl_set_value(PageTemplate& tmpl, std::string_view name, std::string_view text);
int tmpl_set_value_number(PageTemplate& tmpl, std::string_view name, int32_t number);
int tmpl_set_text(PageTemplate& tmpl, std::string_view name, std::string_view text);
int tmpl_set_number(PageTemplate& tmpl, std::string_view name, int32_t number);
int tmpl_get_const(const PageTemplate& tmpl, std::string_view name, std::string& out);
void tmpl_render(PageTemplate& tmpl);
// file null: the program's output.
bool tmpl_render_file(PageTemplate& tmpl, const std::string* file);
void tmpl_free(PageTemplate& tmpl);
PageTemplate tmpl_clone(const PageTemplate& tmpl);

}  // namespace qm
