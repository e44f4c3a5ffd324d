// The note block that PGLT_GetNoteStructInPage builds for one page (paglet_table.cpp):
// one allocation holding an int32 count, then a 16-byte entry per note (int32 title
// length, u32 title offset, int32 text length, u32 text offset; offsets from the start
// of the block), then each title and text with a NUL. The caller reaches it only
// through the note functions.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "pagedoc/pgx_index.h"

namespace qm::pgx {

class NoteStruct {
 public:
  static constexpr size_t kCountSize = 4;
  static constexpr size_t kEntrySize = 16;

  // Builds the block for `notes` (at least one). False, with nothing held, when the
  // block cannot be allocated or would exceed 2^31 - 1 bytes.
  bool build(const std::vector<const PgxNote*>& notes);
  void release();
  bool loaded() const { return block_ != nullptr; }
  size_t size() const { return size_; }

  int count() const;
  // Entry i (0 <= i < count()).
  std::string_view title(int i) const;
  std::string_view text(int i) const;

 private:
  std::string_view field(int i, size_t length_at) const;

  std::unique_ptr<unsigned char[]> block_;
  size_t size_ = 0;
};

}  // namespace qm::pgx
