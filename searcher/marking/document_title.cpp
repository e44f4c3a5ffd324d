// The title of a document (document_title.h).
#include "searcher/marking/document_title.h"

#include <string_view>

#include "common/strings.h"

namespace qm {
namespace {

// A paragraph text as a title candidate: leading bytes below "0" dropped, cut at a word
// end within 50 bytes.
std::string title_candidate(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) < '0') ++i;
  std::string title(text.substr(i));
  string_cut_words(title, kTitleBytes);
  return title;
}

}  // namespace

std::string document_title(IndexFileSet& set, uint32_t fulltext_offset, long long title_paragraph,
                           uint32_t fallback_paragraph) {
  uint16_t count = 0;
  set.read_paragraph_count(fulltext_offset, count);
  if (count == 0) return {};
  long long first = title_paragraph - 1;
  if (first < 0) first = 0;
  if (first > count - 1) first = count - 1;
  std::string title;
  size_t stored = 0;
  bool found = false;
  for (uint32_t p = static_cast<uint32_t>(first); p < count && !found; ++p) {
    const Paragraph paragraph = set.read_paragraph(fulltext_offset, p);
    std::string candidate = title_candidate(paragraph.text);
    if (candidate.size() < 3) continue;
    title = std::move(candidate);
    stored = paragraph.text.size();
    found = true;
  }
  if (!found) {
    const Paragraph paragraph = set.read_paragraph(fulltext_offset, fallback_paragraph);
    title = title_candidate(paragraph.text);
    stored = paragraph.text.size();
  }
  if (stored > kTitleBytes) title += "...";
  return title;
}

}  // namespace qm
