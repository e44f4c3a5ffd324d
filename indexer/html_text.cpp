// HTML text extraction (see html_text.h): one pass over the page, tags read only far
// enough to know their name and where they end.
#include "indexer/html_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "common/charset.h"
#include "common/html.h"

namespace qm {
namespace {

#include "indexer/html_entities.inc"

// What an element does to the text around it.
enum class TagKind : uint8_t {
  Inline,        // nothing: the text runs on (unknown elements too)
  Raw,           // script, style, template, noembed: the content is not text
  Title,         // the page's title
  Break,         // br
  Preformatted,  // pre, xmp, listing: line breaks are kept
  Block,         // begins and ends a paragraph
};

struct KnownTag {
  std::string_view name;  // lower case
  TagKind kind;
};

constexpr KnownTag kKnownTags[] = {
    {"script", TagKind::Raw},     {"style", TagKind::Raw},          {"template", TagKind::Raw},
    {"noembed", TagKind::Raw},    {"title", TagKind::Title},        {"br", TagKind::Break},
    {"pre", TagKind::Preformatted}, {"xmp", TagKind::Preformatted},
    {"listing", TagKind::Preformatted},
    {"address", TagKind::Block},  {"article", TagKind::Block},      {"aside", TagKind::Block},
    {"blockquote", TagKind::Block}, {"body", TagKind::Block},       {"caption", TagKind::Block},
    {"center", TagKind::Block},   {"dd", TagKind::Block},           {"details", TagKind::Block},
    {"dialog", TagKind::Block},   {"dir", TagKind::Block},          {"div", TagKind::Block},
    {"dl", TagKind::Block},       {"dt", TagKind::Block},           {"fieldset", TagKind::Block},
    {"figcaption", TagKind::Block}, {"figure", TagKind::Block},     {"footer", TagKind::Block},
    {"form", TagKind::Block},     {"frame", TagKind::Block},        {"frameset", TagKind::Block},
    {"h1", TagKind::Block},       {"h2", TagKind::Block},           {"h3", TagKind::Block},
    {"h4", TagKind::Block},       {"h5", TagKind::Block},           {"h6", TagKind::Block},
    {"head", TagKind::Block},     {"header", TagKind::Block},       {"hgroup", TagKind::Block},
    {"hr", TagKind::Block},       {"html", TagKind::Block},         {"iframe", TagKind::Block},
    {"legend", TagKind::Block},   {"li", TagKind::Block},           {"main", TagKind::Block},
    {"menu", TagKind::Block},     {"nav", TagKind::Block},          {"noframes", TagKind::Block},
    {"ol", TagKind::Block},       {"optgroup", TagKind::Block},     {"option", TagKind::Block},
    {"p", TagKind::Block},        {"section", TagKind::Block},      {"select", TagKind::Block},
    {"summary", TagKind::Block},  {"table", TagKind::Block},        {"tbody", TagKind::Block},
    {"td", TagKind::Block},       {"textarea", TagKind::Block},     {"tfoot", TagKind::Block},
    {"th", TagKind::Block},       {"thead", TagKind::Block},        {"tr", TagKind::Block},
    {"ul", TagKind::Block},
};

// No known name is longer; a longer one is an unknown (inline) element.
constexpr size_t kMaxKnownTagName = 10;

// Hash of a lower-case tag name, taken byte by byte as the name is read.
constexpr uint32_t tag_hash_step(uint32_t h, char c) { return (h ^ uint8_t(c)) * 16777619u; }
constexpr uint32_t kTagHashStart = 2166136261u;

// The known tags in an open-addressing table, so that a tag is classified by one hash
// and, mostly, one comparison.
class KnownTagTable {
 public:
  KnownTagTable() {
    for (const KnownTag& tag : kKnownTags) {
      uint32_t h = kTagHashStart;
      for (char c : tag.name) h = tag_hash_step(h, c);
      size_t i = h & kMask;
      while (slots_[i] != nullptr) i = (i + 1) & kMask;
      slots_[i] = &tag;
    }
  }
  const KnownTag* find(std::string_view name, uint32_t hash) const {
    for (size_t i = hash & kMask; slots_[i] != nullptr; i = (i + 1) & kMask)
      if (slots_[i]->name == name) return slots_[i];
    return nullptr;
  }

 private:
  static constexpr size_t kSlots = 256;  // well over twice the tags: short probes
  static constexpr size_t kMask = kSlots - 1;
  static_assert(std::size(kKnownTags) * 2 < kSlots);
  std::array<const KnownTag*, kSlots> slots_{};
};

const KnownTagTable& known_tags() {
  static const KnownTagTable table;
  return table;
}

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Case-blind search for a lower-case key.
size_t ifind(std::string_view text, std::string_view key, size_t pos) {
  if (key.empty()) return pos;
  for (size_t i = pos; i + key.size() <= text.size(); ++i) {
    if (lower(text[i]) != key[0]) continue;
    size_t k = 1;
    while (k < key.size() && lower(text[i + k]) == key[k]) ++k;
    if (k == key.size()) return i;
  }
  return std::string_view::npos;
}

struct Tag {
  std::string_view name;  // the known tag's name; empty for an unknown one
  TagKind kind = TagKind::Inline;
  bool closing = false;
  bool self_closing = false;
  size_t end = 0;  // position after '>'
};

// Reads the tag at s[i] == '<' whose name starts at a letter (after an optional '/').
// Quotes are honoured only where an attribute value begins; a quote left open falls back
// to the first '>'.
bool read_tag(std::string_view s, size_t i, Tag& tag) {
  size_t j = i + 1;
  if (j < s.size() && s[j] == '/') {
    tag.closing = true;
    ++j;
  }
  char name[kMaxKnownTagName];
  size_t length = 0;
  uint32_t hash = kTagHashStart;
  while (j < s.size() && (is_letter(s[j]) || is_digit(s[j]) || s[j] == '-' || s[j] == ':')) {
    const char c = lower(s[j++]);
    if (length < kMaxKnownTagName) {
      name[length] = c;
      hash = tag_hash_step(hash, c);
    }
    ++length;
  }
  if (length <= kMaxKnownTagName) {
    if (const KnownTag* known = known_tags().find(std::string_view(name, length), hash)) {
      tag.name = known->name;
      tag.kind = known->kind;
    }
  }
  char quote = 0;
  char last = 0;
  size_t k = j;
  for (; k < s.size(); ++k) {
    const char c = s[k];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if ((c == '"' || c == '\'') && last == '=') {
      quote = c;
      continue;
    }
    if (c == '>') break;
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') last = c;
  }
  if (k >= s.size()) {
    k = s.find('>', j);
    if (k == std::string_view::npos) return false;
  }
  tag.self_closing = k > j && s[k - 1] == '/';
  tag.end = k + 1;
  return true;
}

class HtmlWalker {
 public:
  HtmlWalker(std::string_view s, const HtmlOptions& options) : s_(s), options_(options) {}

  ExtractedText run() {
    size_t i = 0;
    while (i < s_.size()) {
      const char c = s_[i];
      if (c == '<') {
        i = markup(i);
      } else if (c == '&') {
        std::string decoded;
        size_t used = html_decode_reference(s_, i, decoded);
        if (used == 0) {
          text("&");
          ++i;
        } else {
          text(decoded);
          i += used;
        }
      } else {
        size_t end = s_.find_first_of("<&", i);
        if (end == std::string_view::npos) end = s_.size();
        text(s_.substr(i, end - i));
        i = end;
      }
    }
    if (pre_depth_ > 0) feeder_.finish();
    out_.blocks = builder_.take();
    return std::move(out_);
  }

 private:
  void text(std::string_view t) {
    if (pre_depth_ > 0) {
      feeder_.feed(t);
    } else {
      builder_.text(t);
    }
  }

  void end_block() {
    if (pre_depth_ > 0) feeder_.finish();
    builder_.end_block();
    last_was_br_ = false;
  }

  // Skips to the end of the element whose content is not markup; gives the position
  // after its closing tag (the end of the page when it is missing).
  size_t skip_raw(size_t from, std::string_view name) {
    std::string close = "</" + std::string(name);
    size_t at = ifind(s_, close, from);
    if (at == std::string_view::npos) return s_.size();
    size_t gt = s_.find('>', at);
    return gt == std::string_view::npos ? s_.size() : gt + 1;
  }

  size_t markup(size_t i) {
    const size_t n = s_.size();
    if (i + 1 >= n) {
      text("<");
      return i + 1;
    }
    const char next = s_[i + 1];
    if (next == '!') {
      if (s_.compare(i, 4, "<!--") == 0) {
        size_t end = s_.find("-->", i + 4);
        return end == std::string_view::npos ? n : end + 3;
      }
      size_t end = s_.find('>', i);
      return end == std::string_view::npos ? n : end + 1;
    }
    if (next == '?') {
      size_t end = s_.find('>', i);
      return end == std::string_view::npos ? n : end + 1;
    }
    if (next == '/' && (i + 2 >= n || !is_letter(s_[i + 2]))) {
      size_t end = s_.find('>', i);  // "</" without a name: a bogus comment
      return end == std::string_view::npos ? n : end + 1;
    }
    if (next != '/' && !is_letter(next)) {
      text("<");
      return i + 1;
    }
    Tag tag;
    if (!read_tag(s_, i, tag)) return n;  // a tag never closed: the rest is lost

    switch (tag.kind) {
      case TagKind::Raw:
        return tag.closing || tag.self_closing ? tag.end : skip_raw(tag.end, tag.name);
      case TagKind::Title:
        if (!tag.closing) return title(tag.end);
        end_block();
        return tag.end;
      case TagKind::Break:
        if (options_.br_ends_paragraph ||
            (last_was_br_ && builder_.emitted() == emitted_at_br_ && pre_depth_ == 0)) {
          end_block();
        } else if (pre_depth_ > 0) {
          feeder_.feed("\n");
        } else {
          builder_.line_break();
        }
        last_was_br_ = true;
        emitted_at_br_ = builder_.emitted();
        return tag.end;
      case TagKind::Preformatted:
        end_block();
        if (tag.closing) {
          if (pre_depth_ > 0) --pre_depth_;
        } else if (!tag.self_closing) {
          ++pre_depth_;
        }
        return tag.end;
      case TagKind::Block:
        end_block();
        return tag.end;
      case TagKind::Inline:
        break;
    }
    return tag.end;
  }

  // The title element whose start tag ends at from: the first one is the page's title.
  // Gives the position after its closing tag (the end of the page when it is missing).
  size_t title(size_t from) {
    const size_t n = s_.size();
    size_t close = ifind(s_, "</title", from);
    size_t stop = close == std::string_view::npos ? n : close;
    if (!have_title_) {
      have_title_ = true;
      BlockBuilder title;
      std::string_view raw = s_.substr(from, stop - from);
      for (size_t k = 0; k < raw.size();) {
        if (raw[k] == '&') {
          std::string decoded;
          size_t used = html_decode_reference(raw, k, decoded);
          if (used > 0) {
            title.text(decoded);
            k += used;
            continue;
          }
        }
        size_t end = raw.find('&', k + 1);
        if (end == std::string_view::npos) end = raw.size();
        title.text(raw.substr(k, end - k));
        k = end;
      }
      std::vector<std::string> t = title.take();
      if (!t.empty()) out_.title = std::move(t.front());
    }
    if (close == std::string_view::npos) return n;
    size_t gt = s_.find('>', close);
    return gt == std::string_view::npos ? n : gt + 1;
  }

  std::string_view s_;
  HtmlOptions options_;
  BlockBuilder builder_;
  PlainTextFeeder feeder_{builder_};
  ExtractedText out_;
  bool have_title_ = false;
  int pre_depth_ = 0;
  bool last_was_br_ = false;
  size_t emitted_at_br_ = 0;
};

}  // namespace

size_t html_decode_reference(std::string_view text, size_t pos, std::string& out) {
  const size_t n = text.size();
  if (pos + 1 >= n || text[pos] != '&') return 0;
  size_t k = pos + 1;
  uint32_t value = 0;
  if (const size_t taken = html_numeric_reference(text, pos, value)) {
    k = pos + taken;
    if (k < n && text[k] == ';') ++k;
    // A reference to no character (NUL, a surrogate, past U+10FFFF) parts words too.
    const bool character = value > 0 && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
    big5_append_or_blank(out, character ? char32_t(value) : 0);
    return k - pos;
  }
  while (k < n && k - pos <= 32 && (is_letter(text[k]) || is_digit(text[k]))) ++k;
  std::string_view name = text.substr(pos + 1, k - pos - 1);
  if (name.empty()) return 0;
  const HtmlEntity* begin = std::begin(kHtmlEntities);
  const HtmlEntity* end = std::end(kHtmlEntities);
  const HtmlEntity* found = std::lower_bound(
      begin, end, name, [](const HtmlEntity& e, std::string_view v) { return e.name < v; });
  if (found == end || found->name != name) return 0;
  if (k < n && text[k] == ';') ++k;
  big5_append_or_blank(out, found->code);
  return k - pos;
}

ExtractedText html_extract(std::string_view big5, const HtmlOptions& options) {
  return HtmlWalker(big5, options).run();
}

ExtractedText html_extract_raw(std::string_view bytes, const HtmlOptions& options) {
  // A byte order mark outranks the declaration.
  const bool bom = bytes.starts_with("\xEF\xBB\xBF") || bytes.starts_with("\xFF\xFE") ||
                   bytes.starts_with("\xFE\xFF");
  CharsetChoice choice = bom ? CharsetChoice{} : html_choose_charset(bytes);
  return html_extract(text_to_big5(bytes, choice), options);
}

}  // namespace qm
