// Readers of the index file set; see index_reader.h for the contract and
// index_format.h for the layouts.
#include "index/index_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "index/index_lock.h"
#include "index/index_replace.h"
#include "platform/le.h"
#include "platform/paths.h"

namespace qm {

namespace fmt = index_format;

namespace {

const unsigned char* bytes(std::string_view v) {
  return reinterpret_cast<const unsigned char*>(v.data());
}

const char* file_name(IndexFile f) {
  switch (f) {
    case IndexFile::Cross: return fmt::kCrossFile;
    case IndexFile::Path: return fmt::kPathFile;
    case IndexFile::Fulltext: return fmt::kFulltextFile;
    case IndexFile::CharHash: return fmt::kCharHashFile;
    case IndexFile::CharPair: return fmt::kCharPairFile;
    case IndexFile::CharIndex: return fmt::kCharIndexFile;
    case IndexFile::WordHash: return fmt::kWordHashFile;
    case IndexFile::WordSign: return fmt::kWordSignFile;
    case IndexFile::WordIndex: return fmt::kWordIndexFile;
    case IndexFile::Property: return fmt::kPropertyFile;
    case IndexFile::Prefix: return fmt::kPrefixFile;
    case IndexFile::Count: break;
  }
  return "";
}

// Reads exactly n bytes at offset; false when the file is shorter or unreadable.
bool pread_exact(int fd, void* buf, size_t n, uint64_t offset) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, off_t(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= size_t(r);
    offset += uint64_t(r);
  }
  return true;
}

// Takes the shared lock of directory for mapping its set. A replacement left half done by
// a killed writer is undone first, under the exclusive lock. false when the lock is not
// had in time or the half-done replacement cannot be undone.
bool lock_for_reading(const std::string& directory, IndexLock& lock) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    lock = IndexLock::acquire(directory, IndexLock::Mode::Shared, kIndexReaderWaitMs);
    if (lock.state() == IndexLock::State::NoLockFile) return !index_replacement_pending(directory);
    if (!lock.held()) return false;
    if (!index_replacement_pending(directory)) return true;
    lock.release();
    IndexLock repair = IndexLock::acquire(directory, IndexLock::Mode::Exclusive, kIndexReaderWaitMs);
    std::string error;
    if (!repair.held() || !index_recover(directory, error)) return false;
  }
  return false;
}

}  // namespace

// One read-only mapped file. Empty files are present but have no mapping.
struct IndexFileSet::Mapping {
  const unsigned char* data = nullptr;
  size_t size = 0;
  dev_t device = 0;  // the file's identity, to tell it from a file put in its place later
  ino_t inode = 0;

  ~Mapping() {
    if (data) ::munmap(const_cast<unsigned char*>(data), size);
  }

  static std::unique_ptr<Mapping> open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    auto m = std::make_unique<Mapping>();
    m->size = size_t(st.st_size);
    m->device = st.st_dev;
    m->inode = st.st_ino;
    if (m->size > 0) {
      void* p = ::mmap(nullptr, m->size, PROT_READ, MAP_SHARED, fd, 0);
      if (p == MAP_FAILED) {
        ::close(fd);
        return nullptr;
      }
      m->data = static_cast<const unsigned char*>(p);
    }
    ::close(fd);
    return m;
  }

  std::string_view view() const {
    return {reinterpret_cast<const char*>(data), size};
  }
};

void IndexFileSet::release_posting_pages() {
  for (IndexFile file : {IndexFile::CharIndex, IndexFile::WordIndex}) {
    const auto& m = files_[size_t(file)];
    if (m && m->data) ::madvise(const_cast<unsigned char*>(m->data), m->size, MADV_DONTNEED);
  }
}

IndexFileSet::IndexFileSet() = default;
IndexFileSet::~IndexFileSet() { close(); }

void IndexFileSet::close() {
  for (auto& f : files_) f.reset();
  directory_.clear();
  open_ = false;
  failed_ = false;
  property_layout_ = PropertyLayout::None;
}

bool IndexFileSet::is_current() const {
  const auto& m = files_[size_t(IndexFile::CharIndex)];
  if (!open_ || !m) return false;
  struct stat st {};
  return ::stat((directory_ + file_name(IndexFile::CharIndex)).c_str(), &st) == 0 &&
         st.st_dev == m->device && st.st_ino == m->inode;
}

bool IndexFileSet::fail() {
  failed_ = true;
  return false;
}

bool IndexFileSet::in_file(IndexFile file, uint64_t offset, uint64_t length) const {
  const auto& m = files_[size_t(file)];
  return m && offset <= m->size && length <= m->size - offset;
}

std::string_view IndexFileSet::file_bytes(IndexFile file) const {
  const auto& m = files_[size_t(file)];
  return m ? m->view() : std::string_view();
}

// Opens the listed files and checks the sizes the layouts fix; on failure closes the
// set and, when report is set, reports the read error.
bool IndexFileSet::open_files(const std::string& directory, const IndexFile* list, size_t n,
                              bool report) {
  close();
  for (size_t i = 0; i < n; ++i) {
    auto m = Mapping::open(directory + file_name(list[i]));
    if (!m) {
      close();
      return report ? fail() : false;
    }
    files_[size_t(list[i])] = std::move(m);
  }
  auto size = [&](IndexFile f) -> uint64_t { return files_[size_t(f)] ? files_[size_t(f)]->size : 0; };
  auto has = [&](IndexFile f) { return bool(files_[size_t(f)]); };
  bool sound = size(IndexFile::Cross) % fmt::kCrossRecordSize == 0 &&
               (!has(IndexFile::CharHash) || size(IndexFile::CharHash) == fmt::kCharHashFileSize) &&
               size(IndexFile::CharPair) % fmt::kCharPairRecordSize == 0 &&
               size(IndexFile::CharIndex) % fmt::kPostingSize == 0 &&
               size(IndexFile::WordIndex) % fmt::kPostingSize == 0 &&
               size(IndexFile::WordHash) % fmt::kWordHashRecordSize == 0 &&
               size(IndexFile::WordSign) ==
                   size(IndexFile::WordHash) / fmt::kWordHashRecordSize * fmt::kWordSignatureSize &&
               (size(IndexFile::Cross) / fmt::kCrossRecordSize) <= UINT32_MAX;
  if (!sound) {
    close();
    return report ? fail() : false;
  }
  // rehash.db is optional: without it English words are matched against every word.
  files_[size_t(IndexFile::Prefix)] = Mapping::open(directory + fmt::kPrefixFile);
  directory_ = directory;
  open_ = true;
  return true;
}

bool IndexFileSet::open(const std::string& directory, int index_type, bool with_property) {
  static constexpr IndexFile kWithPairs[] = {
      IndexFile::Cross,    IndexFile::Path,      IndexFile::Fulltext,
      IndexFile::CharHash, IndexFile::CharPair,  IndexFile::CharIndex,
      IndexFile::WordHash, IndexFile::WordSign,  IndexFile::WordIndex};
  static constexpr IndexFile kWithoutPairs[] = {
      IndexFile::Cross,     IndexFile::Path,     IndexFile::Fulltext,
      IndexFile::CharHash,  IndexFile::CharIndex, IndexFile::WordHash,
      IndexFile::WordSign,  IndexFile::WordIndex};
  close();
  IndexLock lock;
  if (!lock_for_reading(directory, lock)) return fail();
  bool ok = index_type != 0
                ? open_files(directory, kWithPairs, std::size(kWithPairs), true)
                : open_files(directory, kWithoutPairs, std::size(kWithoutPairs), true);
  if (!ok) return false;
  if (with_property) {
    auto m = Mapping::open(path_find_case_blind(directory, fmt::kPropertyFile));
    uint64_t n = document_count();
    if (m && n > 0) {
      if (m->size == n * fmt::kPropertyValueSize)
        property_layout_ = PropertyLayout::Value;
      else if (m->size == n * fmt::kDocPropertyRecordSize)
        property_layout_ = PropertyLayout::Record;
    }
    if (property_layout_ != PropertyLayout::None) files_[size_t(IndexFile::Property)] = std::move(m);
  }
  return true;
}

bool IndexFileSet::open_lexicon(const std::string& directory) {
  static constexpr IndexFile kLexicon[] = {IndexFile::Fulltext, IndexFile::CharHash,
                                           IndexFile::CharIndex, IndexFile::WordHash,
                                           IndexFile::WordSign, IndexFile::WordIndex};
  return open_files(directory, kLexicon, std::size(kLexicon), false);
}

uint32_t IndexFileSet::document_count() const {
  return uint32_t(file_bytes(IndexFile::Cross).size() / fmt::kCrossRecordSize);
}

bool IndexFileSet::has_char_pairs() const { return bool(files_[size_t(IndexFile::CharPair)]); }

uint32_t IndexFileSet::word_count() const {
  return uint32_t(file_bytes(IndexFile::WordHash).size() / fmt::kWordHashRecordSize);
}

bool IndexFileSet::read_cross(uint32_t document, CrossRecord& out) {
  uint64_t at = uint64_t(document) * fmt::kCrossRecordSize;
  if (!in_file(IndexFile::Cross, at, fmt::kCrossRecordSize)) return fail();
  const unsigned char* p = files_[size_t(IndexFile::Cross)]->data + at;
  out.fulltext_offset = le::get32(p);
  out.path_offset = le::get32(p + 4);
  return true;
}

bool IndexFileSet::read_char_hash(uint32_t slot, CharHashRecord& out) {
  uint64_t at = uint64_t(slot) * fmt::kCharHashRecordSize;
  if (!in_file(IndexFile::CharHash, at, fmt::kCharHashRecordSize)) return fail();
  const unsigned char* p = files_[size_t(IndexFile::CharHash)]->data + at;
  out.count = le::get32(p);
  out.offset = le::get32(p + 4);
  return true;
}

bool IndexFileSet::read_char_hash_table(std::vector<CharHashRecord>& out) {
  std::string_view all = file_bytes(IndexFile::CharHash);
  if (all.size() != fmt::kCharHashFileSize) return fail();
  out.resize(fmt::kCharSlots);
  for (uint32_t i = 0; i < fmt::kCharSlots; ++i) {
    const unsigned char* p = bytes(all) + size_t(i) * fmt::kCharHashRecordSize;
    out[i].count = le::get32(p);
    out[i].offset = le::get32(p + 4);
  }
  return true;
}

bool IndexFileSet::read_property(uint32_t document, PropertyValue& out) {
  if (document >= document_count()) return false;
  const auto& m = files_[size_t(IndexFile::Property)];
  if (!m) return false;
  switch (property_layout_) {
    case PropertyLayout::Value:
      out = le::get32s(m->data + size_t(document) * fmt::kPropertyValueSize);
      return true;
    case PropertyLayout::Record: {
      const unsigned char* r = m->data + size_t(document) * fmt::kDocPropertyRecordSize;
      int64_t year = le::get32s(r + fmt::kDocPropertyYear);
      int64_t month = le::get32s(r + fmt::kDocPropertyMonth);
      int64_t day = le::get32s(r + fmt::kDocPropertyDay);
      // The fields of a sound record are small; anything else is kept from overflowing.
      if (year < 0 || year > 9999 || month < 0 || month > 99 || day < 0 || day > 99)
        out = 0;
      else
        out = PropertyValue(year * 10000 + month * 100 + day);
      return true;
    }
    case PropertyLayout::None:
      break;
  }
  return false;
}

bool IndexFileSet::read_paragraph_count(uint32_t fulltext_offset, uint16_t& out) {
  if (!in_file(IndexFile::Fulltext, fulltext_offset, fmt::kFulltextEntryHeaderSize))
    return fail();
  out = le::get16(files_[size_t(IndexFile::Fulltext)]->data + fulltext_offset);
  return true;
}

bool IndexFileSet::view_paragraph(uint32_t fulltext_offset, uint32_t paragraph, uint16_t& kind,
                                  std::string_view& text) {
  kind = 0;
  text = {};
  uint16_t count = 0;
  if (!read_paragraph_count(fulltext_offset, count)) return false;
  if (paragraph >= count) return true;
  uint64_t slot = uint64_t(fulltext_offset) + fmt::kFulltextEntryHeaderSize + 4ull * paragraph;
  if (!in_file(IndexFile::Fulltext, slot, 4)) return fail();
  const unsigned char* base = files_[size_t(IndexFile::Fulltext)]->data;
  uint32_t at = le::get32(base + slot);
  if (!in_file(IndexFile::Fulltext, at, fmt::kParagraphHeaderSize)) return fail();
  uint16_t length = le::get16(base + at + 2);
  if (!in_file(IndexFile::Fulltext, uint64_t(at) + fmt::kParagraphHeaderSize, length))
    return fail();
  kind = le::get16(base + at);
  text = {reinterpret_cast<const char*>(base) + at + fmt::kParagraphHeaderSize, length};
  return true;
}

Paragraph IndexFileSet::read_paragraph(uint32_t fulltext_offset, uint32_t paragraph) {
  Paragraph out;
  std::string_view text;
  if (view_paragraph(fulltext_offset, paragraph, out.kind, text)) out.text.assign(text);
  return out;
}

bool IndexFileSet::read_path(uint32_t document, std::string& out) {
  out.clear();
  CrossRecord cross;
  if (!read_cross(document, cross)) return false;
  std::string_view all = file_bytes(IndexFile::Path);
  if (cross.path_offset >= all.size()) return fail();
  std::string_view rest = all.substr(cross.path_offset, fmt::kMaxPathBytes);
  size_t nul = rest.find('\0');
  if (nul == std::string_view::npos) return fail();
  out.assign(rest.substr(0, nul));
  return true;
}

namespace {
void append_postings(const unsigned char* p, uint32_t count, std::vector<PostingEntry>& out) {
  size_t base = out.size();
  out.resize(base + count);
  for (uint32_t i = 0; i < count; ++i, p += fmt::kPostingSize) {
    PostingEntry& e = out[base + i];
    e.document = le::get32(p);
    e.paragraph = le::get16(p + 4);
    e.position = le::get16(p + 6);
  }
}
}  // namespace

bool IndexFileSet::append_char_postings(uint32_t offset, uint32_t count,
                                        std::vector<PostingEntry>& out) {
  if (offset % fmt::kPostingSize != 0 ||
      !in_file(IndexFile::CharIndex, offset, uint64_t(count) * fmt::kPostingSize))
    return fail();
  if (count > 0) append_postings(files_[size_t(IndexFile::CharIndex)]->data + offset, count, out);
  return true;
}

bool IndexFileSet::view_postings(IndexFile file, uint32_t offset, uint32_t count, std::string_view& out) {
  if (offset % fmt::kPostingSize != 0 || !in_file(file, offset, uint64_t(count) * fmt::kPostingSize))
    return fail();
  out = count > 0 ? std::string_view(reinterpret_cast<const char*>(files_[size_t(file)]->data) + offset,
                                     size_t(count) * fmt::kPostingSize)
                  : std::string_view();
  return true;
}

bool IndexFileSet::view_char_postings(uint32_t offset, uint32_t count, std::string_view& out) {
  return view_postings(IndexFile::CharIndex, offset, count, out);
}

bool IndexFileSet::view_word_postings(uint32_t offset, uint32_t count, std::string_view& out) {
  return view_postings(IndexFile::WordIndex, offset, count, out);
}

bool IndexFileSet::append_word_postings(uint32_t offset, uint32_t count,
                                        std::vector<PostingEntry>& out) {
  if (offset % fmt::kPostingSize != 0 ||
      !in_file(IndexFile::WordIndex, offset, uint64_t(count) * fmt::kPostingSize))
    return fail();
  if (count > 0) append_postings(files_[size_t(IndexFile::WordIndex)]->data + offset, count, out);
  return true;
}

bool IndexFileSet::read_char_pairs(uint32_t offset, uint32_t count,
                                   std::vector<CharPairRecord>& out) {
  out.clear();
  if (!in_file(IndexFile::CharPair, offset, uint64_t(count) * fmt::kCharPairRecordSize))
    return fail();
  out.resize(count);
  const unsigned char* p = count ? files_[size_t(IndexFile::CharPair)]->data + offset : nullptr;
  for (uint32_t i = 0; i < count; ++i, p += fmt::kCharPairRecordSize) {
    out[i].code = le::get16(p);
    out[i].count = le::get32(p + 4);
    out[i].offset = le::get32(p + 8);
  }
  return true;
}

bool IndexFileSet::read_word_hash(uint32_t index, WordHashRecord& out) {
  uint64_t at = uint64_t(index) * fmt::kWordHashRecordSize;
  if (!in_file(IndexFile::WordHash, at, fmt::kWordHashRecordSize)) return fail();
  const unsigned char* p = files_[size_t(IndexFile::WordHash)]->data + at;
  size_t n = 0;
  while (n < fmt::kWordTextSize && p[n] != 0) ++n;
  out.word.assign(reinterpret_cast<const char*>(p), n);
  out.offset = le::get32(p + fmt::kWordTextSize);
  return true;
}

bool IndexFileSet::word_list_range(uint32_t index, uint32_t& offset, uint32_t& count) {
  uint64_t at = uint64_t(index) * fmt::kWordHashRecordSize;
  if (!in_file(IndexFile::WordHash, at, fmt::kWordHashRecordSize)) return fail();
  const unsigned char* p = files_[size_t(IndexFile::WordHash)]->data + at;
  uint64_t begin = le::get32(p + fmt::kWordTextSize);
  uint64_t end = file_bytes(IndexFile::WordIndex).size();
  if (in_file(IndexFile::WordHash, at + fmt::kWordHashRecordSize, fmt::kWordHashRecordSize))
    end = le::get32(p + fmt::kWordHashRecordSize + fmt::kWordTextSize);
  if (begin > end || begin % fmt::kPostingSize != 0 || end % fmt::kPostingSize != 0 ||
      !in_file(IndexFile::WordIndex, begin, end - begin))
    return fail();
  offset = uint32_t(begin);
  count = uint32_t((end - begin) / fmt::kPostingSize);
  return true;
}

bool IndexFileSet::read_word_signatures(uint32_t first, uint32_t count,
                                        std::vector<WordSignature>& out) {
  out.clear();
  uint64_t at = uint64_t(first) * fmt::kWordSignatureSize;
  if (!in_file(IndexFile::WordSign, at, uint64_t(count) * fmt::kWordSignatureSize)) return fail();
  out.resize(count);
  const unsigned char* p = count ? files_[size_t(IndexFile::WordSign)]->data + at : nullptr;
  for (uint32_t i = 0; i < count; ++i, p += fmt::kWordSignatureSize)
    out[i] = {le::get32(p), le::get32(p + 4)};
  return true;
}

// ---- The process-wide set -------------------------------------------------------------

namespace {
std::unique_ptr<IndexFileSet>& global_set() {
  static std::unique_ptr<IndexFileSet> set = std::make_unique<IndexFileSet>();
  return set;
}
}  // namespace

IndexFileSet& index_set() { return *global_set(); }
void index_reset() { global_set() = std::make_unique<IndexFileSet>(); }

bool index_open(const std::string& directory, int index_type, bool with_property) {
  return index_set().open(directory, index_type, with_property);
}
void index_close() { index_set().close(); }
bool index_read_cross(uint32_t document, CrossRecord& out) {
  return index_set().read_cross(document, out);
}
bool index_read_char_hash(uint32_t slot, CharHashRecord& out) {
  return index_set().read_char_hash(slot, out);
}
bool index_read_property(uint32_t document, PropertyValue& out) {
  return index_set().read_property(document, out);
}
Paragraph index_read_paragraph(uint32_t fulltext_offset, uint32_t paragraph) {
  return index_set().read_paragraph(fulltext_offset, paragraph);
}

bool index_check_files(const std::string& directory) {
  static constexpr const char* kRequired[] = {
      fmt::kCrossFile,     fmt::kPathFile,     fmt::kFulltextFile, fmt::kCharHashFile,
      fmt::kCharIndexFile, fmt::kWordHashFile, fmt::kWordSignFile, fmt::kWordIndexFile};
  for (const char* name : kRequired) {
    struct stat st {};
    if (::stat((directory + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  }
  return true;
}

std::optional<PrefixSignatures> index_load_prefix_signatures(const std::string& directory,
                                                             std::string_view word) {
  int slot = fmt::prefix_slot(word);
  if (slot < 0) return std::nullopt;
  int fd = ::open((directory + fmt::kPrefixFile).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  unsigned char rec[fmt::kPrefixRangeRecordSize];
  bool ok = pread_exact(fd, rec, sizeof rec, uint64_t(slot) * fmt::kPrefixRangeRecordSize);
  ::close(fd);
  if (!ok) return std::nullopt;
  PrefixSignatures out;
  out.first = le::get32(rec);
  out.count = le::get32(rec + 4);
  fd = ::open((directory + fmt::kWordSignFile).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  uint64_t need = uint64_t(out.count) * fmt::kWordSignatureSize;
  uint64_t at = uint64_t(out.first) * fmt::kWordSignatureSize;
  if (::fstat(fd, &st) != 0 || at > uint64_t(st.st_size) || need > uint64_t(st.st_size) - at) {
    ::close(fd);
    return std::nullopt;
  }
  std::string raw(size_t(need), '\0');
  ok = need == 0 || pread_exact(fd, raw.data(), raw.size(), at);
  ::close(fd);
  if (!ok) return std::nullopt;
  out.signatures.resize(out.count);
  for (uint32_t i = 0; i < out.count; ++i) {
    const unsigned char* p = bytes(raw) + size_t(i) * fmt::kWordSignatureSize;
    out.signatures[i] = {le::get32(p), le::get32(p + 4)};
  }
  return out;
}

std::optional<PrefixSignatures> index_load_prefix_signatures(const IndexFileSet& set,
                                                             std::string_view word) {
  int slot = fmt::prefix_slot(word);
  std::string_view table = set.file_bytes(IndexFile::Prefix);
  uint64_t at = uint64_t(slot) * fmt::kPrefixRangeRecordSize;
  if (slot < 0 || at + fmt::kPrefixRangeRecordSize > table.size()) return std::nullopt;
  PrefixSignatures out;
  out.first = le::get32(bytes(table) + at);
  out.count = le::get32(bytes(table) + at + 4);
  std::string_view signs = set.file_bytes(IndexFile::WordSign);
  uint64_t from = uint64_t(out.first) * fmt::kWordSignatureSize;
  uint64_t need = uint64_t(out.count) * fmt::kWordSignatureSize;
  if (from > signs.size() || need > signs.size() - from) return std::nullopt;
  out.signatures.resize(out.count);
  for (uint32_t i = 0; i < out.count; ++i) {
    const unsigned char* p = bytes(signs) + from + size_t(i) * fmt::kWordSignatureSize;
    out.signatures[i] = {le::get32(p), le::get32(p + 4)};
  }
  return out;
}

int u32_compare(uint32_t a, uint32_t b) { return a > b ? 1 : a < b ? -1 : 0; }

}  // namespace qm
