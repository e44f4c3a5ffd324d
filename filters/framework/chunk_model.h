// The chunk model: a document as the framework's chunker hands it to the export filters,
// a set of ranges (kvx_abi.h, KVXRANGE_*): range 0 the main item stream with ids
// chunk << 16 | index, range 1 one record per section, the others arrays of fixed-size
// units. A model is built only through ChunkBuilder (by the chunk-script reader and by
// document readers) and read by the CH calls (kvx_chunker.cpp) and kvxdump.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filters/common/kvx_abi.h"

namespace kvx {

// Bytes per unit of each range.
uint32_t range_unit_size(uint32_t range);

struct SectionSpan {
  uint32_t type = 0;
  uint32_t first_index = 0;  // range-0 index of the first item
  uint32_t end_index = 0;    // one past the last
  uint32_t charset = 0;      // set of the first text run, 0 when none
};

class ChunkModel {
 public:
  uint32_t unit_count(uint32_t range) const;
  const std::vector<uint8_t>& bytes(uint32_t range) const { return ranges_[range]; }
  // Range 0 ids and indexes; other ranges: id = index.
  bool index_of(uint32_t range, uint32_t id, uint32_t& index) const;
  uint32_t id_at(uint32_t range, uint32_t index) const;
  const std::vector<SectionSpan>& sections() const { return sections_; }
  // Why the reader cut the document (a limit it reached), "" when it is whole.
  const std::string& cut() const { return cut_; }
  // Reads unit index of a word range as 32-bit words (little-endian).
  uint32_t word(uint32_t range, uint32_t index, uint32_t word) const;

 private:
  friend class ChunkBuilder;
  std::array<std::vector<uint8_t>, KVXRANGE_COUNT> ranges_;
  std::vector<uint32_t> item_ids_;  // range-0 id of each index, ascending
  // Index of the first item of each chunk (an empty chunk holds the next chunk's first
  // index): ids are chunk << 16 | place, so an id finds its index without a search.
  std::vector<uint32_t> chunk_first_;
  std::vector<SectionSpan> sections_;
  std::string cut_;
};

// Builds a model call by call. Every call checks its arguments; a refused call returns
// false and leaves the model as it was, with the reason in error().
class ChunkBuilder {
 public:
  ChunkBuilder();

  // Starts a section: a range-1 record and a new chunk of range-0 ids. The name is
  // 16-bit text stored in range 9; a sheet's date base and flags go in the record.
  bool section(uint32_t type, const std::vector<uint16_t>& name, uint32_t date_base = 0, uint32_t date_flags = 0);
  // One main-stream item; its id in *id when id is given.
  bool item(uint32_t kind, uint32_t a, uint32_t b, uint32_t c, uint32_t* id = nullptr);
  // A text run: the units go to range 2, a kind-7 item {7, charset, first unit, count}.
  bool text(uint32_t charset, const std::vector<uint16_t>& units);
  // Units appended to a range other than 0, 1 and 16; *first gets the first unit index.
  bool append(uint32_t range, const std::vector<uint8_t>& bytes, uint32_t* first = nullptr);
  // A group open {0x43, code, id word, c}; styles and pictures are also indexed in
  // range 16 as {item id, code, id word}. Closes must match opens.
  bool group_open(uint32_t code, uint32_t id_word, uint32_t c = 0);
  bool group_close();
  uint32_t open_groups() const { return uint32_t(group_stack_.size()); }

  // Notes that a limit made the reader drop part of the source (the first reason is kept;
  // the model says it with cut()).
  void note_cut(const std::string& why) {
    if (model_ && model_->cut_.empty()) model_->cut_ = why;
  }
  const std::string& cut() const;

  // The finished model, or null (error() says why) when groups are left open.
  std::unique_ptr<ChunkModel> finish();
  const std::string& error() const { return error_; }
  // Items so far in range 0.
  uint32_t item_count() const { return uint32_t(model_->item_ids_.size()); }
  // The id the next range-0 item will get (an embedded object names its own item).
  uint32_t next_item_id() const { return in_chunk_ == 0x10000 ? (chunk_ + 1) << 16 : chunk_ << 16 | in_chunk_; }

 private:
  bool fail(const std::string& why);
  std::unique_ptr<ChunkModel> model_;
  std::vector<uint32_t> group_stack_;  // codes
  uint32_t chunk_ = 0;
  uint32_t in_chunk_ = 0;
  bool started_ = false;
  std::string error_;
};

// Little-endian helpers for building units.
void put_u32(std::vector<uint8_t>& out, uint32_t v);
void put_u16(std::vector<uint8_t>& out, uint16_t v);

}  // namespace kvx
