// Paragraph building: white-space folding, line joining between Chinese characters,
// plain-text paragraphs, long-block splitting and the document's paragraph list.
#include "indexer/text_blocks.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/charset.h"

namespace qm {
namespace {

bool is_pair_at(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0xA1 || c == 0xFF || i + 1 >= s.size()) return false;
  const unsigned char t = static_cast<unsigned char>(s[i + 1]);
  return t >= 0x40 && t <= 0xFE;
}

bool is_wide_space(std::string_view s, size_t i) {
  return s[i] == '\xA1' && i + 1 < s.size() && s[i + 1] == '\x40';
}

bool is_ascii_blank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

// True when the line holds nothing but blanks and full-width spaces.
bool line_is_blank(std::string_view line) {
  for (size_t i = 0; i < line.size();) {
    if (is_ascii_blank(line[i])) {
      ++i;
    } else if (is_wide_space(line, i)) {
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Folds white space of a short text (a title) the way blocks are folded.
std::string fold(std::string_view big5) {
  BlockBuilder b;
  b.text(big5);
  b.end_block();
  std::vector<std::string> blocks = b.take();
  return blocks.empty() ? std::string() : std::move(blocks.front());
}

// Sentence ends: ASCII . ! ? ; before a blank or the end, and the full-width forms
// 。(A1 43) ．(A1 44) ；(A1 46) ？(A1 48) ！(A1 49).
bool ends_sentence(std::string_view s, size_t start, size_t len) {
  if (len == 2) {
    if (s[start] != '\xA1') return false;
    const unsigned char t = static_cast<unsigned char>(s[start + 1]);
    return t == 0x43 || t == 0x44 || t == 0x46 || t == 0x48 || t == 0x49;
  }
  const char c = s[start];
  if (c != '.' && c != '!' && c != '?' && c != ';') return false;
  return start + 1 == s.size() || s[start + 1] == ' ';
}

}  // namespace

// ---- BlockBuilder --------------------------------------------------------------------

void BlockBuilder::emit(const char* p, size_t n, bool pair) {
  if (pending_ != 0 && !current_.empty()) {
    if (!(pending_ == 2 && last_pair_ && pair)) current_.push_back(' ');
  }
  pending_ = 0;
  current_.append(p, n);
  last_pair_ = pair;
  emitted_ += n;
}

void BlockBuilder::text(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      if (!is_pair_at(s, i)) {
        pending_ = std::max(pending_, 1);  // a stray byte parts words, as a blank does
        ++i;
        continue;
      }
      if (is_wide_space(s, i)) {
        pending_ = std::max(pending_, 1);
      } else {
        emit(s.data() + i, 2, true);
      }
      i += 2;
    } else if (c == ' ' || c == '\t' || c == '\v') {
      pending_ = std::max(pending_, 1);
      ++i;
    } else if (c == '\n' || c == '\r' || c == '\f') {
      pending_ = 2;
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      pending_ = std::max(pending_, 1);  // so does a control byte
      ++i;
    } else {
      // A run of ordinary ASCII goes in at once.
      size_t j = i + 1;
      while (j < s.size()) {
        const unsigned char d = static_cast<unsigned char>(s[j]);
        if (d <= 0x20 || d >= 0x7F) break;
        ++j;
      }
      emit(s.data() + i, j - i, false);
      i = j;
    }
  }
}

void BlockBuilder::line_break() { pending_ = 2; }

void BlockBuilder::space() { pending_ = std::max(pending_, 1); }

void BlockBuilder::end_block() {
  if (!current_.empty()) blocks_.push_back(std::move(current_));
  current_.clear();
  pending_ = 0;
  last_pair_ = false;
}

std::vector<std::string> BlockBuilder::take() {
  end_block();
  return std::move(blocks_);
}

// ---- PlainTextFeeder -----------------------------------------------------------------

void PlainTextFeeder::line(std::string_view text) {
  if (line_is_blank(text)) {
    builder_.end_block();
    return;
  }
  size_t lead = 0;
  while (lead < text.size() && is_ascii_blank(text[lead])) ++lead;
  if (is_wide_space(text, lead)) {
    builder_.end_block();
  } else {
    builder_.line_break();
  }
  builder_.text(text);
}

void PlainTextFeeder::feed(std::string_view s) {
  size_t i = 0;
  if (last_cr_ && !s.empty() && s[0] == '\n') i = 1;
  last_cr_ = false;
  while (i < s.size()) {
    size_t end = s.find_first_of("\r\n\f", i);
    if (end == std::string_view::npos) {
      partial_.append(s.substr(i));
      return;
    }
    if (partial_.empty()) {
      line(s.substr(i, end - i));
    } else {
      partial_.append(s.substr(i, end - i));
      line(partial_);
      partial_.clear();
    }
    const char c = s[end];
    i = end + 1;
    if (c == '\f') {
      builder_.end_block();
    } else if (c == '\r') {
      if (i < s.size()) {
        if (s[i] == '\n') ++i;
      } else {
        last_cr_ = true;
      }
    }
  }
}

void PlainTextFeeder::finish() {
  if (!partial_.empty()) line(partial_);
  partial_.clear();
  builder_.end_block();
}

// ---- Extraction and assembly ---------------------------------------------------------

ExtractedText text_extract(std::string_view big5) {
  ExtractedText out;
  BlockBuilder builder;
  PlainTextFeeder feeder(builder);
  // The title: the first line that is not blank. It is the title paragraph and not body
  // text as well, so its words count once; what a long line has past the title's limit
  // stays at the start of the body.
  std::string_view rest = big5;
  for (size_t pos = 0; pos < big5.size();) {
    size_t end = big5.find_first_of("\r\n\f", pos);
    if (end == std::string_view::npos) end = big5.size();
    std::string_view line = big5.substr(pos, end - pos);
    if (!line_is_blank(line)) {
      const std::string folded = fold(line);
      out.title = cut_text(folded, kTitleLimit);
      feeder.feed(std::string_view(folded).substr(out.title.size()));
      rest = big5.substr(end);
      break;
    }
    pos = end + 1;
  }
  feeder.feed(rest);
  feeder.finish();
  out.blocks = builder.take();
  return out;
}

ExtractedText lines_extract(std::string_view title_big5, std::string_view big5) {
  ExtractedText out;
  out.title = fold(title_big5);
  BlockBuilder builder;
  for (size_t pos = 0; pos < big5.size();) {
    size_t end = big5.find_first_of("\r\n\f", pos);
    if (end == std::string_view::npos) end = big5.size();
    const std::string_view line = big5.substr(pos, end - pos);
    pos = end + 1;
    if (out.title.empty() && !line_is_blank(line)) {
      out.title = fold(line);
      continue;
    }
    builder.text(line);
    builder.end_block();
  }
  out.blocks = builder.take();
  return out;
}

std::vector<std::string> split_long_block(std::string_view block, size_t limit) {
  std::vector<std::string> pieces;
  if (limit < 2) limit = 2;
  std::string_view rest = trim_blanks(block);
  while (rest.size() > limit) {
    size_t i = 0, sentence = 0, blank = 0, boundary = 0;
    while (i < rest.size()) {
      const size_t len = is_pair_at(rest, i) ? 2 : 1;
      if (i + len > limit) break;
      if (len == 1 && rest[i] == ' ') blank = i;
      if (ends_sentence(rest, i, len)) sentence = i + len;
      i += len;
      boundary = i;
    }
    size_t cut = sentence > limit / 4 ? sentence : blank > 0 ? blank : boundary;
    std::string_view piece = trim_blanks(rest.substr(0, cut));
    if (!piece.empty()) pieces.emplace_back(piece);
    rest = trim_blanks(rest.substr(cut));
  }
  if (!rest.empty()) pieces.emplace_back(rest);
  return pieces;
}

std::string cut_text(std::string_view text, size_t n) {
  text = trim_blanks(text);
  if (text.size() <= n) return std::string(text);
  size_t i = 0, blank = 0;
  while (i < text.size()) {
    const size_t len = is_pair_at(text, i) ? 2 : 1;
    if (i + len > n) break;
    if (len == 1 && text[i] == ' ') blank = i;
    i += len;
  }
  size_t cut = blank > n / 2 ? blank : i;
  return std::string(trim_blanks(text.substr(0, cut)));
}

ExtractedDocument document_from_text(ExtractedText text, std::string_view file_name) {
  ExtractedDocument doc;
  std::string title = cut_text(fold(text.title), kTitleLimit);
  if (title.empty() && !text.blocks.empty()) title = cut_text(text.blocks.front(), kTitleLimit);
  if (title.empty()) title = cut_text(fold(text_to_big5(file_name, {})), kTitleLimit);
  doc.paragraphs.push_back(std::move(title));
  // A heading line that stands alone as the first block is the title itself: it is kept
  // once, as paragraph 0, so the document's text holds it once.
  bool first = true;
  for (std::string& block : text.blocks) {
    if (std::exchange(first, false) && block == doc.paragraphs[0]) continue;
    if (block.empty()) continue;
    if (block.size() <= kParagraphLimit) {
      if (doc.paragraphs.size() >= kParagraphCountLimit) {
        doc.cut = true;
        break;
      }
      doc.paragraphs.push_back(std::move(block));
      continue;
    }
    for (std::string& piece : split_long_block(block, kParagraphLimit)) {
      if (doc.paragraphs.size() >= kParagraphCountLimit) {
        doc.cut = true;
        break;
      }
      doc.paragraphs.push_back(std::move(piece));
    }
    if (doc.cut) break;
  }
  return doc;
}

}  // namespace qm
