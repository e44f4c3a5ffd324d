// The note block (note_struct.h), written and read field by field with platform/le.h.
#include "pagedoc/note_struct.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "platform/le.h"

namespace qm::pgx {
namespace {

constexpr size_t kTitleLengthAt = 0;
constexpr size_t kTitleOffsetAt = 4;
constexpr size_t kTextLengthAt = 8;
constexpr size_t kTextOffsetAt = 12;

}  // namespace

bool NoteStruct::build(const std::vector<const PgxNote*>& notes) {
  release();
  uint64_t size = kCountSize + uint64_t(kEntrySize) * notes.size();
  for (const PgxNote* n : notes) size += n->title.size() + n->text.size() + 2;
  if (notes.empty() || size > uint64_t(INT32_MAX)) return false;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[size_t(size)]);
  if (!block) return false;

  unsigned char* b = block.get();
  le::put32(b, uint32_t(notes.size()));
  size_t free_at = kCountSize + kEntrySize * notes.size();
  auto put_string = [&](const std::string& s) {
    size_t at = free_at;
    std::memcpy(b + at, s.data(), s.size());
    b[at + s.size()] = 0;
    free_at += s.size() + 1;
    return uint32_t(at);
  };
  for (size_t i = 0; i < notes.size(); ++i) {
    unsigned char* e = b + kCountSize + i * kEntrySize;
    le::put32(e + kTitleLengthAt, uint32_t(notes[i]->title.size()));
    le::put32(e + kTitleOffsetAt, put_string(notes[i]->title));
    le::put32(e + kTextLengthAt, uint32_t(notes[i]->text.size()));
    le::put32(e + kTextOffsetAt, put_string(notes[i]->text));
  }
  block_ = std::move(block);
  size_ = size_t(size);
  return true;
}

void NoteStruct::release() {
  block_.reset();
  size_ = 0;
}

int NoteStruct::count() const { return block_ ? int(le::get32(block_.get())) : 0; }

std::string_view NoteStruct::field(int i, size_t length_at) const {
  const unsigned char* e = block_.get() + kCountSize + size_t(i) * kEntrySize;
  size_t length = le::get32(e + length_at);
  size_t offset = le::get32(e + length_at + 4);
  return {reinterpret_cast<const char*>(block_.get()) + offset, length};
}

std::string_view NoteStruct::title(int i) const { return field(i, kTitleLengthAt); }
std::string_view NoteStruct::text(int i) const { return field(i, kTextLengthAt); }

}  // namespace qm::pgx
