// Index stream reader (pgx_index.h). The stream is held in memory while it is read;
// every length, count and offset taken from it is checked against its size, and a
// record that runs past the end of the stream is dropped with everything after it in
// its item.
#include "pagedoc/pgx_index.h"

#include <algorithm>
#include <new>

#include "pagedoc/pack_stream.h"
#include "pagedoc/pgx_io.h"
#include "platform/le.h"

namespace qm::pgx {
namespace {

// Reads fields one after another from a stream in memory. Reading past the end marks
// the cursor bad; later reads then give zeros and empty texts.
class Cursor {
 public:
  Cursor(std::string_view s, uint64_t at) : s_(s), at_(size_t(std::min<uint64_t>(at, s.size()))), ok_(at <= s.size()) {}
  bool ok() const { return ok_; }
  size_t at() const { return at_; }
  const unsigned char* take(size_t n) {
    if (!ok_ || n > s_.size() - at_) {
      ok_ = false;
      return nullptr;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(s_.data()) + at_;
    at_ += n;
    return p;
  }
  void skip(size_t n) { take(n); }
  uint16_t u16() {
    const unsigned char* p = take(2);
    return p ? le::get16(p) : 0;
  }
  uint32_t u32() {
    const unsigned char* p = take(4);
    return p ? le::get32(p) : 0;
  }
  std::string text() {
    size_t n = u16();
    const unsigned char* p = take(n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
  }

 private:
  std::string_view s_;
  size_t at_;
  bool ok_;
};

PgxObjectBlock read_block(Cursor& c) {
  PgxObjectBlock b;
  for (uint32_t& w : b.words) w = c.u16();
  b.value = c.u32();
  return b;
}

template <size_t N>
std::array<uint32_t, N> read_words(Cursor& c) {
  std::array<uint32_t, N> words{};
  for (uint32_t& w : words) w = c.u16();
  return words;
}

// Replaces `list` with the records of the item at `offset`, read by `read_one`; each
// record is followed by the trailer that is stepped over.
template <class T, class ReadOne>
void read_item(std::string_view stream, uint32_t offset, std::vector<T>& list, ReadOne read_one) {
  list.clear();
  Cursor c(stream, offset);
  const unsigned char* header = c.take(kItemHeaderSize);
  if (!header) return;
  size_t count = le::get16(header + kItemRecordCountAt);
  for (size_t i = 0; i < count; ++i) {
    T record = read_one(c);
    c.skip(kObjectTrailerSize);
    if (!c.ok()) break;
    list.push_back(std::move(record));
  }
}

// Calls `on_entry(tag, offset)` for each entry of the stream's header, in order, as far
// as the entries lie within the stream.
template <class OnEntry>
void walk_entries(std::string_view stream, OnEntry on_entry) {
  Cursor hc(stream, 0);
  const unsigned char* header = hc.take(kIndexHeaderSize);
  if (!header) return;
  size_t count = le::get16(header + kIndexEntryCountAt);
  for (size_t i = 0; i < count; ++i) {
    Cursor ec(stream, kIndexHeaderSize + i * kIndexEntrySize);
    const unsigned char* e = ec.take(kIndexEntrySize);
    if (!e) return;
    std::string_view tag(reinterpret_cast<const char*>(e), kIndexTagSize);
    if (!on_entry(tag, le::get32(e + kIndexOffsetAt))) return;
  }
}

}  // namespace

void PgxPageObjects::load_stream(std::string_view stream) {
  release();
  walk_entries(stream, [&](std::string_view tag, uint32_t offset) {
    if (tag == kItemBookmarks) {
      read_item(stream, offset, bookmarks_, [](Cursor& c) {
        PgxBookmark r;
        r.text1 = c.text();
        r.text2 = c.text();
        r.block = read_block(c);
        return r;
      });
    } else if (tag == kItemHighlights) {
      read_item(stream, offset, highlights_, [](Cursor& c) { return PgxHighlight{read_block(c)}; });
    } else if (tag == kItemHyperlinks) {
      read_item(stream, offset, hyperlinks_, [](Cursor& c) {
        PgxHyperlink r;
        r.text1 = c.text();
        r.block = read_block(c);
        r.text2 = c.text();
        return r;
      });
    } else if (tag == kItemHypertexts) {
      read_item(stream, offset, hypertexts_, [](Cursor& c) {
        PgxHypertext r;
        r.text = c.text();
        r.block = read_block(c);
        r.words = read_words<kObjectTailWords>(c);
        return r;
      });
    } else if (tag == kItemIndexEntries) {
      read_item(stream, offset, index_terms_, [](Cursor& c) {
        PgxIndexTerm r;
        r.text = c.text();
        r.words = read_words<kObjectTailWords>(c);
        return r;
      });
    } else if (tag == kItemNotes) {
      read_item(stream, offset, notes_, [](Cursor& c) {
        PgxNote r;
        r.title = c.text();
        r.text = c.text();
        r.page = int16_t(c.u16());
        r.words = read_words<kNoteWords>(c);
        r.last = c.u16();
        return r;
      });
      for (size_t i = 0; i < notes_.size(); ++i) notes_[i].position = int(i);
    }
    return true;
  });
}

void PgxPageObjects::load_thumbs(const PgxDocument& doc) {
  const PgxDirEntry* thum = nullptr;
  for (const PgxDirEntry& e : doc.directory())
    if (e.tag == kTagThumbs) thum = &e;
  if (!thum || thum->offset == 0 || thum->length == 0) return;
  int fd = doc.document_fd();
  int64_t size = fd < 0 ? -1 : io_file_size(fd);
  if (size < 0) return;
  uint64_t end = std::min<uint64_t>(uint64_t(thum->offset) + thum->length, uint64_t(size));
  unsigned char count_bytes[2];
  if (uint64_t(thum->offset) + 2 > end || io_read_at(fd, thum->offset, count_bytes, 2) != 2) return;
  size_t bytes = size_t(le::get16(count_bytes)) * kThumbEntrySize;
  if (uint64_t(thum->offset) + 2 + bytes > end) return;
  std::string table(bytes, '\0');
  if (io_read_at(fd, uint64_t(thum->offset) + 2, table.data(), bytes) != bytes) return;
  thumbs_ = std::move(table);
}

void PgxPageObjects::load(const PgxDocument& doc) {
  release();
  try {
    load_thumbs(doc);
    std::string stream;
    if (read_index_stream(doc, "mkp", stream)) load_stream(stream);
  } catch (const std::bad_alloc&) {
    release();  // a stream too large to hold leaves the document without page objects
  }
}

void PgxPageObjects::release() {
  bookmarks_.clear();
  highlights_.clear();
  hyperlinks_.clear();
  hypertexts_.clear();
  index_terms_.clear();
  notes_.clear();
  thumbs_.clear();
}

std::vector<const PgxNote*> PgxPageObjects::notes_of_page(int page) const {
  std::vector<const PgxNote*> out;
  for (const PgxNote& n : notes_)
    if (n.page == page) out.push_back(&n);
  return out;
}

bool read_index_stream(const PgxDocument& doc, const char* prefix, std::string& out) {
  out.clear();
  const PgxDirEntry* indx = doc.find_stream(kTagIndex);
  int fd = doc.document_fd();
  if (!indx || indx->offset == 0 || indx->length == 0 || fd < 0) return false;
  if (indx->packed) {
    TempFile copy;
    if (!copy.create(prefix)) return false;
    if (pack_run(fd, indx->offset, 0, copy.fd(), 0, PackDirection::Unpack) != kPackOk) return false;
    int64_t size = io_file_size(copy.fd());
    if (size < 0) return false;
    out.resize(size_t(size));
    return io_read_at(copy.fd(), 0, out.data(), out.size()) == out.size();
  }
  int64_t size = io_file_size(fd);
  if (size < 0 || indx->offset >= uint64_t(size)) return false;
  out.resize(size_t(std::min<uint64_t>(indx->length, uint64_t(size) - indx->offset)));
  return io_read_at(fd, indx->offset, out.data(), out.size()) == out.size();
}

bool find_keyword_record(std::string_view stream, std::string& record) {
  bool found = false;
  uint32_t item = 0;
  walk_entries(stream, [&](std::string_view tag, uint32_t offset) {
    if (tag != kItemExtra) return true;
    found = true;
    item = offset;
    return false;  // the first "XITEM " only
  });
  if (!found) return false;
  Cursor c(stream, item);
  const unsigned char* header = c.take(kItemHeaderSize);
  if (!header) return false;
  size_t count = le::get16(header + kItemRecordCountAt);
  const unsigned char* entries = c.take(count * kItemEntrySize);
  if (!entries) return false;
  uint64_t at = c.at();
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* e = entries + i * kItemEntrySize;
    uint32_t length = le::get32(e + kItemEntryLengthAt);
    if (std::string_view(reinterpret_cast<const char*>(e), kIndexTagSize) == kItemKeywords) {
      if (at + length > stream.size()) return false;
      record.assign(stream.substr(size_t(at), length));
      return true;
    }
    at += length;
  }
  return false;
}

bool parse_keyword_record(std::string_view record, KeywordLayout& out) {
  out = {};
  Cursor c(record, 0);
  out.id.length = c.u16();
  out.id.at = c.at();
  c.skip(out.id.length);
  c.skip(kKeywordGapSize);
  size_t count = c.u16();
  for (size_t i = 0; i < count && c.ok(); ++i) {
    KeywordLayout::Span k;
    k.length = c.u16();
    k.at = c.at();
    c.skip(k.length);
    out.keywords.push_back(k);
  }
  if (!c.ok()) out = {};
  return c.ok();
}

bool load_keyword_record(const PgxDocument& doc, std::string& record, KeywordLayout& layout) {
  std::string stream;
  record.clear();
  layout = {};
  if (!read_index_stream(doc, "pak", stream) || !find_keyword_record(stream, record) ||
      !parse_keyword_record(record, layout)) {
    record.clear();
    return false;
  }
  return true;
}

}  // namespace qm::pgx
