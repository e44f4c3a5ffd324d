// The page-template engine; see page_template.h.
//
// Items live in one vector and link to each other by index. A T_Loop block is expanded
// while parsing: the first item after an opening T_Loop tag is its child, the items of
// the block follow through "next", and each further copy hangs as the child of the
// closing tag of the copy before it. The walks are iterative, so a long chain of copies
// costs no stack depth.
#include "searcher/page/page_template.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "common/files.h"
#include "common/strings.h"

namespace qm {
namespace {

constexpr std::string_view kTagOpen = "<!%";
constexpr std::string_view kTagClose = "%!>";
constexpr size_t kKeywordMax = 512;
// Open T_Loop blocks remembered while parsing; an opening tag beyond them is kept as an
// item but its block is not repeated, and its closing tag counts for the block around it.
constexpr size_t kMaxOpenLoops = 100;


bool starts_case_blind(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && string_nicmp(text, prefix, prefix.size()) == 0;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

size_t skip_blanks(std::string_view text, size_t i) {
  while (i < text.size() && text[i] == ' ') ++i;
  return i;
}

std::string trim_blanks_tabs(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return std::string(text.substr(b, e - b));
}

// Reads one tag's text (between "<!%" and "%!>") into an item; nullopt for a dropped
// tag (T_CONST without "=", SQL_CMD without "SELECT").
std::optional<TemplateItem> parse_tag(std::string_view tag) {
  tag = tag.substr(skip_blanks(tag, 0));
  TemplateItem item;
  if (!starts_case_blind(tag, "T_") && !starts_case_blind(tag, "/T_") &&
      !starts_case_blind(tag, "SQL")) {
    item.kind = TemplateItemKind::Value;
    item.name = std::string(tag);
    return item;
  }

  size_t i = 0;
  if (tag[0] == '/') {
    item.end = true;
    i = 1;
  }
  size_t keyword_begin = i;
  while (i < tag.size() && tag[i] != ' ' && !is_digit(tag[i])) ++i;
  std::string_view keyword = tag.substr(keyword_begin, std::min(i - keyword_begin, kKeywordMax));
  size_t after_keyword = i;

  i = skip_blanks(tag, i);
  int64_t count = 0;
  for (; i < tag.size() && is_digit(tag[i]); ++i)
    if (count <= INT32_MAX) count = count * 10 + (tag[i] - '0');
  item.count = static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
  i = skip_blanks(tag, i);
  bool not_skip_all = starts_case_blind(tag.substr(i), "NOT_SKIP_ALL");

  const PageKeyword* found = page_keyword_find(keyword);
  if (!found) {
    // A "T_" or "SQL" word outside the table: a value item no name can reach.
    item.kind = TemplateItemKind::Value;
    item.name.clear();
    return item;
  }
  item.kind = found->kind;
  item.name = std::string(found->name);
  switch (item.kind) {
    case TemplateItemKind::Loop:
      item.not_skip_all = !item.end && not_skip_all;
      break;
    case TemplateItemKind::Const:
      if (tag.find('=') == std::string_view::npos) return std::nullopt;
      item.value = trim_blanks_tabs(tag.substr(after_keyword));
      break;
    case TemplateItemKind::SqlCmd: {
      size_t select = string_find(tag, "SELECT");
      if (select == std::string_view::npos) return std::nullopt;
      item.value = std::string(tag.substr(select));
      break;
    }
    default:
      break;
  }
  return item;
}

bool is_loop_close(const TemplateItem& item) {
  return item.kind == TemplateItemKind::Loop && item.end;
}

}  // namespace

PageTemplate PageTemplate::parse(std::string_view text) {
  PageTemplate tmpl;
  auto& items = tmpl.items_;
  int prev = -1;

  auto append = [&](TemplateItem item) {
    int index = static_cast<int>(items.size());
    items.push_back(std::move(item));
    if (prev >= 0) {
      TemplateItem& p = items[prev];
      if (p.kind == TemplateItemKind::Loop && p.child < 0)
        p.child = index;
      else
        p.next = index;
    }
    prev = index;
    return index;
  };

  struct OpenBlock {
    int opening;     // index of the opening item
    size_t resume;   // text position just after the opening tag
    int64_t remaining;
  };
  std::vector<OpenBlock> open;
  int copies = 0;

  size_t pos = 0;
  while (pos < text.size()) {
    size_t tag = text.find(kTagOpen, pos);
    if (tag != pos) {
      size_t end = tag == std::string_view::npos ? text.size() : tag;
      TemplateItem literal;
      literal.value = std::string(text.substr(pos, end - pos));
      append(std::move(literal));
      pos = end;
      continue;
    }
    size_t close = text.find(kTagClose, pos + kTagOpen.size());
    if (close == std::string_view::npos) break;  // an unclosed tag ends the template
    std::string_view tag_text = text.substr(pos + kTagOpen.size(), close - pos - kTagOpen.size());
    pos = close + kTagClose.size();
    while (pos < text.size() && text[pos] == '\r') ++pos;

    std::optional<TemplateItem> item = parse_tag(tag_text);
    if (!item) continue;
    if (item->kind != TemplateItemKind::Loop) {
      append(std::move(*item));
      continue;
    }
    if (!item->end) {
      int count = item->count;
      int opening = append(std::move(*item));
      if (open.size() < kMaxOpenLoops) {
        open.push_back({opening, pos, count});
        ++copies;
      }
      continue;
    }
    if (open.empty()) continue;  // a closing T_Loop without an open block is ignored
    OpenBlock& block = open.back();
    // The closing item carries its own block's flag, so the decision for the next copy
    // does not depend on blocks nested inside.
    item->not_skip_all = items[block.opening].not_skip_all;
    const int closing = append(std::move(*item));
    if (--block.remaining > 0 && copies < kTemplateMaxLoopCopies) {
      // A block with no T_Loop inside parses to the same items every time: its further
      // copies are copied from the first one, linked as parsing them would link them.
      const int first = block.opening + 1;
      bool flat = true;
      for (int j = first; j < closing && flat; ++j) flat = items[j].kind != TemplateItemKind::Loop;
      if (!flat) {
        ++copies;
        pos = block.resume;
        continue;
      }
      do {
        ++copies;
        for (int j = first; j <= closing; ++j) {
          TemplateItem copy = items[j];
          copy.next = -1;
          copy.child = -1;
          append(std::move(copy));
        }
      } while (--block.remaining > 0 && copies < kTemplateMaxLoopCopies);
      prev = block.opening;
      open.pop_back();
    } else {
      prev = block.opening;
      open.pop_back();
    }
  }
  return tmpl;
}

template <typename Visit>
void PageTemplate::walk(bool render_mode, Visit visit) const {
  if (items_.empty()) return;
  std::vector<int> pending;  // "next" items waiting while a child chain is walked
  int i = 0;
  for (;;) {
    if (i < 0) {
      if (pending.empty()) return;
      i = pending.back();
      pending.pop_back();
      continue;
    }
    const TemplateItem& item = items_[i];
    if (item.kind == TemplateItemKind::Declare && !item.end) {
      int j = item.next;
      while (j >= 0 && !(items_[j].kind == TemplateItemKind::Declare && items_[j].end))
        j = items_[j].next;
      if (j < 0) return;  // an unclosed declaration block reaches to the end
      i = items_[j].next;
      continue;
    }
    if (!visit(i)) return;
    if (item.kind == TemplateItemKind::Loop && item.child >= 0 &&
        !(render_mode && block_skipped(item.not_skip_all, item.child))) {
      if (item.next >= 0) pending.push_back(item.next);
      i = item.child;
    } else {
      i = item.next;
    }
  }
}

bool PageTemplate::block_skipped(bool not_skip_all, int first) const {
  bool any = false, any_filled = false, any_unfilled = false;
  for (int j = first; j >= 0 && !is_loop_close(items_[j]); j = items_[j].next) {
    const TemplateItem& item = items_[j];
    if (item.kind != TemplateItemKind::Value) continue;
    any = true;
    (item.value ? any_filled : any_unfilled) = true;
  }
  return not_skip_all ? (any && !any_filled) : any_unfilled;
}

namespace {

// Names compare without regard to letter case; a name of another length differs at once.
bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && string_icmp(a, b) == 0;
}

}  // namespace

PageTemplate::NameFills* PageTemplate::fills_of(std::string_view name) {
  // Names are mostly spelled the same way each time: the same bytes give the same name
  // at once (no other name is case-blind equal to it, or the group would not exist).
  auto find = [&](std::string_view n) -> NameFills* {
    for (NameFills& f : fills_)
      if (f.name == n) return &f;
    for (NameFills& f : fills_)
      if (same_name(f.name, n)) return &f;
    return nullptr;
  };
  if (!indexed_) {
    walk(false, [&](int i) {
      const TemplateItem& item = items_[i];
      if (item.kind != TemplateItemKind::Value) return true;
      NameFills* f = find(item.name);
      if (!f) f = &fills_.emplace_back(NameFills{item.name, {}, 0});
      f->items.push_back(i);
      return true;
    });
    indexed_ = true;
  }
  return find(name);
}

bool PageTemplate::set_value(std::string_view name, std::string_view text) {
  if (name.empty()) return false;
  NameFills* f = fills_of(name);
  if (!f) return false;
  for (; f->next < f->items.size(); ++f->next) {
    TemplateItem& item = items_[f->items[f->next]];
    if (!item.value) {
      item.value = std::string(text);
      ++f->next;
      return true;
    }
  }
  return false;
}

int PageTemplate::set_all(std::string_view name, std::string_view text) {
  if (name.empty()) return 0;
  NameFills* f = fills_of(name);
  if (!f) return 0;
  int filled = 0;
  for (; f->next < f->items.size(); ++f->next) {
    TemplateItem& item = items_[f->items[f->next]];
    if (!item.value) {
      item.value = std::string(text);
      ++filled;
    }
  }
  return filled;
}

std::optional<std::string> PageTemplate::get_const(std::string_view name) const {
  for (const TemplateItem& item : items_) {
    if (item.kind != TemplateItemKind::Const || !item.value) continue;
    size_t eq = item.value->find('=');
    if (eq == std::string::npos) continue;
    if (string_icmp(std::string_view(*item.value).substr(0, eq), name) == 0)
      return item.value->substr(eq + 1);
  }
  return std::nullopt;
}

void PageTemplate::render() {
  std::string page;
  walk(true, [&](int i) {
    const TemplateItem& item = items_[i];
    if (item.value) page += *item.value;
    return true;
  });
  page_ = std::move(page);
}

bool PageTemplate::write(const std::string* path) {
  if (!page_) render();
  if (page_->empty()) return true;
  if (path) return file_write_all(*path, *page_, true) == 1;
  std::FILE* out = prog_output();
  bool ok = std::fwrite(page_->data(), 1, page_->size(), out) == page_->size();
  return std::fflush(out) == 0 && ok;
}

PageTemplate PageTemplate::clone() const {
  PageTemplate copy;
  copy.items_ = items_;
  return copy;
}

void PageTemplate::clear() {
  items_.clear();
  page_.reset();
  indexed_ = false;
  fills_.clear();
}

std::optional<PageTemplate> tmpl_load(const std::string& path,
                                      std::optional<std::string_view> text) {
  std::string file_text;
  if (!text) {
    if (path.empty() || !file_read_all(path, file_text)) return std::nullopt;
    text = file_text;
  }
  if (text->empty()) return std::nullopt;
  PageTemplate tmpl = PageTemplate::parse(*text);
  if (tmpl.empty()) return std::nullopt;
  return tmpl;
}

PageTemplate tmpl_parse(std::string_view text) { return PageTemplate::parse(text); }

int tmpl_set_value(PageTemplate& tmpl, std::string_view name, std::string_view text) {
  return tmpl.set_value(name, text) ? 1 : 0;
}

int tmpl_set_value_number(PageTemplate& tmpl, std::string_view name, int32_t number) {
  return tmpl_set_value(tmpl, name, std::to_string(number));
}

int tmpl_set_text(PageTemplate& tmpl, std::string_view name, std::string_view text) {
  return tmpl.set_all(name, text);
}

int tmpl_set_number(PageTemplate& tmpl, std::string_view name, int32_t number) {
  return tmpl.set_all(name, std::to_string(number));
}

int tmpl_get_const(const PageTemplate& tmpl, std::string_view name, std::string& out) {
  auto value = tmpl.get_const(name);
  if (!value) return 0;
  out = std::move(*value);
  return 1;
}

void tmpl_render(PageTemplate& tmpl) { tmpl.render(); }

bool tmpl_render_file(PageTemplate& tmpl, const std::string* file) { return tmpl.write(file); }

void tmpl_free(PageTemplate& tmpl) { tmpl.clear(); }

PageTemplate tmpl_clone(const PageTemplate& tmpl) { return tmpl.clone(); }

}  // namespace qm
