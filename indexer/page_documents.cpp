// Page documents through libpaglet.so (see page_documents.h): loading the library,
// reading one document's info, keywords, page texts and notes with the library's own
// buffer rules, and the paragraphs of one page's indexed document.
#include "indexer/page_documents.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "common/charset.h"

namespace qm {
namespace {

// Buffers of the document-level texts. The keyword calls write a NUL after `size`
// bytes, so their buffer is one byte longer than the size passed.
constexpr int kInfoBufferSize = 65536;
constexpr int kKeywordSize = 65535;

// The most bytes one call may copy: the library's sizes are ints.
int size_cap(std::size_t max_bytes) {
  return int(std::min<std::size_t>(max_bytes, std::size_t(INT_MAX - 1)));
}

}  // namespace

std::string page_document_path(const std::string& path, int page) {
  return path + "??p=" + std::to_string(page);
}

PagletLibrary::~PagletLibrary() { unload(); }

void PagletLibrary::unload() {
  if (started_ && f_.End) f_.End();
  started_ = false;
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
  f_ = Functions{};
}

bool PagletLibrary::load(const std::string& library_path, std::string& error) {
  unload();
  dlerror();
  handle_ = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error = why ? why : "cannot be loaded";
    return false;
  }
  const std::vector<std::string> missing = paglet_bind(handle_, f_);
  if (!missing.empty()) {
    error = "it lacks the function " + missing.front();
    unload();
    return false;
  }
  if (f_.StartUp() != 0) {
    error = "it cannot start (out of memory)";
    unload();
    return false;
  }
  started_ = true;
  return true;
}

std::string page_document_open_error(int code) {
  switch (code) {
    case PGLT_ERR_OPEN:
      return "not a PGX document, or it cannot be read";
    case PGLT_ERR_REFUSED:
      return "the document is restricted and may not be indexed";
    case PGLT_ERR_NOSLOT:
      return "no free document handle in libpaglet.so";
    case PGLT_ERR_NOMEMORY:
      return "out of memory";
    default:
      return "libpaglet.so gave the error " + std::to_string(code);
  }
}

PageDocumentReader::~PageDocumentReader() {
  if (handle_ >= 0) lib_.fn().ClosePGX(handle_);
}

bool PageDocumentReader::open(const std::string& path, std::string& error) {
  if (!lib_.ready()) {
    error = "libpaglet.so is not loaded";
    return false;
  }
  if (handle_ >= 0) lib_.fn().ClosePGX(handle_);
  handle_ = -1;
  info_ = PageDocumentInfo{};
  const int h = lib_.fn().OpenPGX(path.c_str());
  if (h < 0) {
    error = page_document_open_error(h);
    return false;
  }
  handle_ = h;
  const int pages = lib_.fn().GetPageCount(h);
  info_.page_count = std::max(pages, 0);
  read_info();
  read_keywords();
  return true;
}

void PageDocumentReader::read_info() {
  std::vector<char> author(kInfoBufferSize, '\0'), title(kInfoBufferSize, '\0'),
      description(kInfoBufferSize, '\0');
  if (lib_.fn().GetAuthorTitleDescription(handle_, author.data(), kInfoBufferSize, title.data(),
                                          kInfoBufferSize, description.data(),
                                          kInfoBufferSize) != 1)
    return;
  // Each buffer holds at most size - 1 bytes and a NUL.
  info_.author = author.data();
  info_.title = title.data();
  info_.description = description.data();
}

void PageDocumentReader::read_keywords() {
  const auto& f = lib_.fn();
  if (f.GetKeywordStruct(handle_) != 1) return;  // no keywords: not an error
  std::vector<char> buffer(size_t(kKeywordSize) + 1, '\0');
  if (f.GetDocumentID(handle_, buffer.data(), kKeywordSize) == 1) info_.id = buffer.data();
  const int count = f.GetKeywordCount(handle_);
  for (int i = 0; i < count; ++i) {
    buffer[0] = '\0';
    if (f.GetKeyword(handle_, i, buffer.data(), kKeywordSize) != 1) continue;
    std::string keyword = buffer.data();
    if (!keyword.empty()) info_.keywords.push_back(std::move(keyword));
  }
  f.ReleaseKeywordStruct(handle_);
}

bool PageDocumentReader::read_page(int page, PageContent& out, std::size_t max_text_bytes) {
  const auto& f = lib_.fn();
  out = PageContent{};
  out.number = page;
  if (handle_ < 0) return false;
  const int cap = size_cap(max_text_bytes);

  const int length = f.GetTextLengthInPage(handle_, page);
  if (length < 0) return false;
  const int take = std::min(length, cap);
  out.cut = take < length;
  out.text.assign(size_t(take), '\0');
  if (take > 0) {
    // Copies `take` bytes, no terminator.
    const int n = f.GetTextInPage(handle_, page, out.text.data(), take);
    if (n < 0) return false;
    out.text.resize(size_t(std::min(n, take)));
  }

  const int notes = f.GetNoteStructInPage(handle_, page);
  if (notes <= 0) return true;  // PGLT_ERR_NONOTES: none on this page
  // A note string: its length, then a copy of length + 1 bytes with the NUL.
  auto note_string = [&](int index, bool title, std::string& into) {
    const int len = title ? f.GetNoteTitleLengthInPage(handle_, page, index)
                          : f.GetNoteTextLengthInPage(handle_, page, index);
    if (len <= 0) return;
    const int keep = std::min(len, cap - 1);
    if (keep < len) out.cut = true;
    std::vector<char> buffer(size_t(keep) + 1, '\0');
    const int n = title ? f.GetNoteTitleInPage(handle_, page, index, buffer.data(), keep + 1)
                        : f.GetNoteTextInPage(handle_, page, index, buffer.data(), keep + 1);
    if (n > 0) into.assign(buffer.data(), size_t(std::min(n, keep)));
  };
  for (int i = 0; i < notes; ++i) {
    PageNote note;
    note_string(i, true, note.title);
    note_string(i, false, note.text);
    if (!note.title.empty() || !note.text.empty()) out.notes.push_back(std::move(note));
  }
  f.ReleaseNoteStructInPage(handle_, page);
  return true;
}

namespace {

// A text of the document as blocks: cleaned to ASCII and Big5 pairs, then cut into
// paragraphs as plain text is (line breaks within a paragraph fold to blanks, or vanish
// between two Chinese characters).
void add_text(BlockBuilder& builder, std::string_view text) {
  if (text.empty()) return;
  PlainTextFeeder feeder(builder);
  feeder.feed(big5_clean(text));
  feeder.finish();
  builder.end_block();
}

}  // namespace

ExtractedDocument page_document_paragraphs(const PageDocumentInfo& info, const PageContent& page,
                                           std::string_view file_name, bool first_page) {
  BlockBuilder builder;
  add_text(builder, page.text);
  for (const PageNote& note : page.notes) {
    add_text(builder, note.title);
    add_text(builder, note.text);
  }
  ExtractedText text;
  if (first_page) {
    add_text(builder, info.description);
    add_text(builder, info.author);
    add_text(builder, info.id);
    for (const std::string& keyword : info.keywords) add_text(builder, keyword);
    text.title = big5_clean(info.title);
    const bool visible = std::any_of(text.title.begin(), text.title.end(),
                                     [](char c) { return static_cast<unsigned char>(c) > 0x20; });
    if (!visible) text.title = text_to_big5(file_name, {});
  }
  text.blocks = builder.take();
  if (!first_page && text.blocks.empty()) return {};
  return document_from_text(std::move(text), file_name);
}

}  // namespace qm
