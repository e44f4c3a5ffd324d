// The PGX reader through libpaglet.so, loaded with dlopen from the directory of the module
// that holds this code (the program directory of the installed layout) and started once
// per process. libpaglet opens documents by path, so the source is written to a private
// temporary file that is removed again at once. One wp section: each page's Big5 text a
// paragraph per line, a page break after every page but the last; the document gets the
// Big5 character-set item; its title, author, description (the comment) and keywords
// (joined by blanks) are properties. A missing library is KVXERR_NOTOOL; a source that libpaglet
// refuses is KVXERR_BADFORMAT.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/reader.h"
#include "filters/framework/readers/text_decode.h"
#include "pagedoc/paglet_functions.h"

namespace kvx::readers {

namespace {

constexpr int kMaxPages = 100000;
constexpr int kMaxPageBytes = 16 << 20;

// The bound library, or null when it cannot be loaded; tried once.
const qm::PagletFunctions* paglet() {
  static qm::PagletFunctions f;
  static bool tried = false, ok = false;
  if (tried) return ok ? &f : nullptr;
  tried = true;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&read_pgx), &info) == 0 || info.dli_fname == nullptr) return nullptr;
  std::string dir = info.dli_fname;
  size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : dir.substr(0, slash);
  void* lib = dlopen((dir + "/libpaglet.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) return nullptr;
  if (!qm::paglet_bind(lib, f).empty() || f.StartUp() != 0) {
    dlclose(lib);
    return nullptr;
  }
  ok = true;
  return &f;
}

// A temporary copy of the source, removed when this goes.
struct TempCopy {
  std::string path;
  explicit TempCopy(std::string_view bytes) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/kvx-pgx-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) return;
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += size_t(n);
    }
    close(fd);
    if (done == bytes.size()) path = pattern;
    else unlink(pattern.c_str());
  }
  ~TempCopy() {
    if (!path.empty()) unlink(path.c_str());
  }
};

}  // namespace

KVXSTATUS read_pgx(std::string_view bytes, ChunkBuilder& out) {
  const qm::PagletFunctions* f = paglet();
  if (f == nullptr) return KVXERR_NOTOOL;
  TempCopy copy(bytes);
  if (copy.path.empty()) return KVXERR_OPENFAILED;
  int handle = f->OpenPGX(copy.path.c_str());
  if (handle < 0) return KVXERR_BADFORMAT;
  DocWriter w(out);
  w.section();
  w.document_charset(KVXCS_BIG5);
  {
    std::string author(1024, '\0'), title(1024, '\0'), description(4096, '\0'), keywords;
    if (f->GetAuthorTitleDescription(handle, author.data(), int(author.size()), title.data(), int(title.size()),
                                     description.data(), int(description.size())) != 1)
      author[0] = title[0] = description[0] = '\0';
    if (f->GetKeywordStruct(handle) == 1) {
      int count = std::min(f->GetKeywordCount(handle), 1000);
      std::string one(1025, '\0');
      for (int k = 0; k < count; ++k)
        if (f->GetKeyword(handle, k, one.data(), 1024) == 1 && one[0]) {
          if (!keywords.empty()) keywords += ' ';
          keywords.append(one.c_str());
        }
      f->ReleaseKeywordStruct(handle);
    }
    for (auto [number, value] : {std::pair<uint32_t, const char*>{6, title.c_str()}, {4, author.c_str()},
                                 {2, keywords.c_str()}, {1, description.c_str()}})
      w.property(number, decode(value, SourceEncoding::Big5));
  }
  int pages = std::min(f->GetPageCount(handle), kMaxPages);
  for (int page = 1; page <= pages && !w.failed(); ++page) {
    int length = f->GetTextLengthInPage(handle, page);
    if (length > 0) {
      std::string text(size_t(std::min(length, kMaxPageBytes)), '\0');
      int got = f->GetTextInPage(handle, page, text.data(), int(text.size()));
      text.resize(size_t(std::max(got, 0)));
      std::vector<uint16_t> units = decode(text, SourceEncoding::Big5);
      size_t start = 0;
      for (size_t k = 0; k <= units.size(); ++k) {
        if (k < units.size() && units[k] != '\n' && units[k] != '\r') continue;
        if (k > start) {
          w.text(std::vector<uint16_t>(units.begin() + long(start), units.begin() + long(k)));
          w.paragraph();
        }
        start = k + 1;
      }
    }
    if (page < pages) w.page_break();
  }
  f->ClosePGX(handle);
  if (!w.finish() && w.written() == 0) return KVXERR_BADFORMAT;
  return KVX_OK;
}

}  // namespace kvx::readers
