// The reduced page-template reader and the rewriting of the two home pages. See
// setup_home_page.h.
#include "setup/setup_home_page.h"

#include <sys/stat.h>

#include "common/files.h"
#include "common/strings.h"
#include "platform/atomic_file.h"
#include "setup/setup_config.h"
#include "setup/setup_messages.h"

namespace qm {
namespace {

constexpr std::string_view kOpen = "<!%";
constexpr std::string_view kClose = "%!>";
constexpr size_t kMaxPageBytes = size_t(64) << 20;
// T_Loop copies stop once the page's texts reach this many bytes.
constexpr size_t kMaxExpandedBytes = size_t(64) << 20;
constexpr size_t kMaxExpandedItems = size_t(1) << 22;
// Texts of this many bytes or more (their NUL counted) are written untrimmed.
constexpr size_t kTrimLimit = 4000;


bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool starts_case_blind(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && string_nicmp(text, prefix, prefix.size()) == 0;
}

std::string_view trim_blanks_tabs(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return text.substr(b, e - b);
}

// One tag's text into an item; kind None for a dropped tag.
HomeItem parse_tag(std::string_view raw) {
  HomeItem item;
  std::string_view tag = trim_blanks_tabs(raw);
  if (!starts_case_blind(tag, "T_") && !starts_case_blind(tag, "/T_") &&
      !starts_case_blind(tag, "SQL")) {
    item.kind = HomeItemKind::Value;
    item.name = std::string(tag.substr(0, kHomeNameMax));
    return item;
  }
  size_t i = 0;
  if (tag[0] == '/') {
    item.end = true;
    i = 1;
  }
  size_t b = i;
  while (i < tag.size() && tag[i] != ' ' && tag[i] != '\t' && !is_digit(tag[i])) ++i;
  std::string_view keyword = tag.substr(b, std::min(i - b, kHomeNameMax));
  size_t after_keyword = i;
  while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t')) ++i;
  int64_t count = 0;
  for (; i < tag.size() && is_digit(tag[i]); ++i)
    if (count <= INT32_MAX) count = count * 10 + (tag[i] - '0');
  item.count = static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));

  const PageKeyword* found = page_keyword_find(keyword);
  if (!found) {
    item.kind = HomeItemKind::Value;  // a named value no name reaches
    return item;
  }
  item.kind = found->kind;
  item.name = std::string(found->name);
  if (item.kind == HomeItemKind::Const) {
    if (tag.find('=') == std::string_view::npos) item.kind = HomeItemKind::None;
    else item.text = std::string(trim_blanks_tabs(tag.substr(after_keyword)));
  } else if (item.kind == HomeItemKind::SqlCmd) {
    size_t select = string_find(tag, "SELECT");
    if (select == std::string_view::npos) item.kind = HomeItemKind::None;
    else item.text = std::string(tag.substr(select));
  }
  return item;
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

HomePageTemplate HomePageTemplate::parse(std::string_view text) {
  HomePageTemplate tmpl;
  auto& items = tmpl.items_;
  int prev = -1;
  size_t bytes = 0;
  auto append = [&](HomeItem item) {
    if (item.text) bytes += item.text->size();
    int index = static_cast<int>(items.size());
    items.push_back(std::move(item));
    if (prev >= 0) {
      HomeItem& p = items[prev];
      if (p.kind == HomeItemKind::Loop && !p.end && p.child < 0)
        p.child = index;
      else
        p.next = index;
    }
    prev = index;
    return index;
  };

  struct OpenLoop {
    int opening;
    size_t resume;
    int64_t remaining;
  };
  std::vector<OpenLoop> open;
  int copies = 0;
  int dropped_loops = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t tag = text.find(kOpen, pos);
    size_t close = tag == std::string_view::npos ? tag : text.find(kClose, tag + kOpen.size());
    // An unclosed "<!%" is literal text to the end.
    size_t literal_end = close == std::string_view::npos ? text.size() : tag;
    if (literal_end > pos) {
      std::string_view run = trim_blanks_tabs(text.substr(pos, literal_end - pos));
      if (!run.empty()) {
        HomeItem literal;
        literal.kind = HomeItemKind::Literal;
        literal.text = std::string(run);
        append(std::move(literal));
      }
    }
    if (close == std::string_view::npos) break;
    std::string_view tag_text = text.substr(tag + kOpen.size(), close - tag - kOpen.size());
    pos = close + kClose.size();
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\r')) ++pos;

    HomeItem item = parse_tag(tag_text);
    if (item.kind == HomeItemKind::None) continue;
    if (item.kind != HomeItemKind::Loop) {
      append(std::move(item));
      continue;
    }
    if (!item.end) {
      // Blocks nested deeper than the limit are not followed: their tags are dropped and
      // their bodies read as plain items.
      if (open.size() >= kHomeMaxNesting) {
        ++dropped_loops;
        continue;
      }
      int64_t count = item.count;
      int opening = append(std::move(item));
      open.push_back({opening, pos, count});
      ++copies;
      continue;
    }
    if (dropped_loops > 0) {
      --dropped_loops;
      continue;
    }
    if (open.empty()) continue;  // a closing T_Loop without its opening is ignored
    append(std::move(item));
    OpenLoop& loop = open.back();
    if (--loop.remaining > 0 && copies < kHomeMaxLoopCopies && bytes < kMaxExpandedBytes &&
        items.size() < kMaxExpandedItems) {
      ++copies;
      pos = loop.resume;
    } else {
      prev = loop.opening;
      open.pop_back();
    }
  }
  return tmpl;
}

std::optional<HomePageTemplate> HomePageTemplate::load(const std::string& path) {
  std::string text;
  if (!file_read_regular(path, text, kMaxPageBytes) || text.empty()) return std::nullopt;
  return parse(text);
}

// Visits every item outside T_Declare blocks, depth first (a loop's body before what
// follows it), with an explicit stack bounded like the parser's nesting.
template <typename Visit>
void HomePageTemplate::walk(Visit visit) const {
  if (items_.empty()) return;
  std::vector<int> pending;  // where to go on after a loop body
  int declare_depth = 0;
  int i = 0;
  while (i >= 0 || !pending.empty()) {
    if (i < 0) {
      i = pending.back();
      pending.pop_back();
      continue;
    }
    const HomeItem& item = items_[i];
    if (item.kind == HomeItemKind::Declare) {
      declare_depth += item.end ? (declare_depth > 0 ? -1 : 0) : 1;
    } else if (declare_depth == 0) {
      visit(item, static_cast<size_t>(i));
    }
    if (item.kind == HomeItemKind::Loop && !item.end && item.child >= 0 &&
        pending.size() < kHomeMaxNesting) {
      pending.push_back(item.next);
      i = item.child;
    } else {
      i = item.next;
    }
  }
}

int HomePageTemplate::set_value(std::string_view name, std::string_view text) {
  std::vector<size_t> targets;
  walk([&](const HomeItem& item, size_t index) {
    if (item.kind == HomeItemKind::Value && !item.text && string_icmp(item.name, name) == 0)
      targets.push_back(index);
  });
  for (size_t index : targets) items_[index].text = std::string(text);
  return static_cast<int>(targets.size());
}

std::string HomePageTemplate::render() const {
  std::string page;
  walk([&](const HomeItem& item, size_t) {
    if (!item.text || item.text->empty()) return;
    if (item.text->size() + 1 < kTrimLimit) page += trim_blanks_tabs(*item.text);
    else page += *item.text;
  });
  return page;
}

bool HomePageTemplate::write(const std::string& path) const {
  return atomic_replace(path, render());
}

bool setup_modify_home_pages(std::string_view ini_path, std::string_view directory) {
  const std::string dir = setup_absolute_path(directory);
  if (!is_directory(dir.empty() ? "/" : dir)) {
    setup_message(kCapSetupError, kMsgNoHomeDir);
    return false;
  }
  const std::string admin = setup_read_key(ini_path, "SystemAdm");
  const std::string searcher = setup_read_key(ini_path, "Searcher");
  struct Page {
    const char* name;
    const char* message;
  };
  for (const Page& page : {Page{"/index.htm", kMsgNoSearchPage}, Page{"/sysadm.htm", kMsgNoAdminPage}}) {
    const std::string path = dir + page.name;
    auto tmpl = HomePageTemplate::load(path);
    if (!tmpl) {
      setup_message(kCapError, setup_format(page.message, path));
      continue;
    }
    tmpl->set_value("SearcherURL", searcher);
    tmpl->set_value("SysadmURL", admin);
    tmpl->write(path);  // a page that cannot be written stays as it was
  }
  return true;
}

}  // namespace qm
