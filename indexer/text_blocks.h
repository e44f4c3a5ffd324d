// Paragraph building for the index builder: collapses white space, joins a word that a
// line break cut between two Chinese characters, cuts plain text into paragraphs at
// blank lines, splits blocks that are too long at sentence ends, and assembles a
// document's paragraph list (paragraph 0 is the title). Text here is already Big5
// (common/charset.h); html_text.h feeds the same builder.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Longest paragraph text kept in the index (its length is a 16-bit field, and so are the
// byte positions within it) and the most paragraphs one document may have.
inline constexpr size_t kParagraphLimit = 65000;
inline constexpr size_t kParagraphCountLimit = 65535;
// Longest title taken from a first line or a file name.
inline constexpr size_t kTitleLimit = 250;

struct ExtractedText {
  std::string title;                // empty: none found
  std::vector<std::string> blocks;  // paragraphs of the body, any length
};

// Collects text into blocks. White space (blanks, tabs, line breaks, the full-width
// space) collapses to one blank, but a line break between two Chinese characters
// vanishes: a word wrapped across lines stays one word. A control byte or a stray high
// byte counts as a blank.
class BlockBuilder {
 public:
  void text(std::string_view big5);
  void line_break();  // a break inside the block (<br>, a new line)
  void space();
  void end_block();
  // Bytes of non-blank text emitted so far (lets callers see whether text came since).
  size_t emitted() const { return emitted_; }
  bool block_empty() const { return current_.empty(); }
  std::vector<std::string> take();

 private:
  void emit(const char* p, size_t n, bool pair);
  std::vector<std::string> blocks_;
  std::string current_;
  int pending_ = 0;  // 0 none, 1 blank, 2 line break
  bool last_pair_ = false;
  size_t emitted_ = 0;
};

// Feeds plain text lines: a blank line or a form feed ends a paragraph, as does a line
// that begins with the full-width space (the indent of Chinese prose); other line
// breaks stay within the paragraph.
class PlainTextFeeder {
 public:
  explicit PlainTextFeeder(BlockBuilder& builder) : builder_(builder) {}
  void feed(std::string_view big5);  // may be called with pieces; lines may span calls
  void finish();

 private:
  void line(std::string_view text);
  BlockBuilder& builder_;
  std::string partial_;
  bool last_cr_ = false;
};

// Plain text: paragraphs at blank lines; the title is the first non-blank line, which
// the body then leaves out (only what lies past the title's limit stays in it).
ExtractedText text_extract(std::string_view big5);
// Text with one paragraph per line (the framework's text of a document): every line is
// a paragraph. The title is title_big5 (a document's own title property) when it is not
// blank, else the first line that is not blank, which the body then leaves out.
ExtractedText lines_extract(std::string_view title_big5, std::string_view big5);

// Splits a block longer than limit into pieces of at most limit bytes: after the last
// sentence end (.!?; and their full-width forms) that fits, else at the last blank,
// else at a character boundary. A Big5 pair is never cut.
std::vector<std::string> split_long_block(std::string_view block, size_t limit = kParagraphLimit);

// text cut to at most n bytes, at the last blank when there is one in the second half,
// else at a character boundary; blanks trimmed.
std::string cut_text(std::string_view text, size_t n);

struct ExtractedDocument {
  std::vector<std::string> paragraphs;  // [0] the title, then the body
  bool cut = false;  // more paragraphs than a document may have: the rest was left out
};

// Paragraph 0 := the title, else the first block's start, else the file name (its bytes
// read as UTF-8 or Big5); then every block, long ones split, empty ones dropped.
ExtractedDocument document_from_text(ExtractedText text, std::string_view file_name);

}  // namespace qm
