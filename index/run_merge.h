// Sorted runs of postings and their merge, for the index writer (index_writer.cpp).
// A run file holds, key by key in byte order of the keys, "u8 key length, key bytes,
// u32 count, count coded postings"; the in-memory arena codes postings the same way.
// merge_sources() walks several key-sorted sources at once and writes each key's
// postings, concatenated in source order, to a sink: the posting files' 8-byte
// entries, or (compact_runs) a bigger run file when there are too many runs to open.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <vector>

#include "index/buffered_file.h"

namespace qm::index_build {

constexpr uint64_t kMaxOffset = UINT32_MAX;  // every stored offset is a u32

// ---- Posting coding -------------------------------------------------------------------
// A posting is coded against its list's previous one as varints:
//   document delta; if > 0: paragraph, position
//                   else:   paragraph delta; if > 0: position else position delta.

inline size_t put_varint(unsigned char* p, uint32_t v) {
  size_t n = 0;
  while (v >= 0x80) {
    p[n++] = uint8_t(v | 0x80);
    v >>= 7;
  }
  p[n++] = uint8_t(v);
  return n;
}

// Codes one posting against the previous one of its list (all zero before the first);
// buf holds 16 bytes, at most 11 are used. Gives the byte count.
inline size_t encode_posting(unsigned char* buf, uint32_t last_document, uint16_t last_paragraph,
                             uint16_t last_position, uint32_t document, uint16_t paragraph,
                             uint16_t position) {
  size_t n;
  uint32_t dd = document - last_document;
  if (dd > 0) {
    n = put_varint(buf, dd);
    n += put_varint(buf + n, paragraph);
    n += put_varint(buf + n, position);
  } else {
    uint32_t pd = uint32_t(paragraph - last_paragraph);
    buf[0] = 0;
    n = 1 + put_varint(buf + 1, pd);
    n += put_varint(buf + n, pd > 0 ? position : uint32_t(position - last_position));
  }
  return n;
}

// Where merged postings go: a posting file of 8-byte entries, or a run file in the
// arena's delta coding (when many runs are merged into one before the last merge).
class PostingSink {
 public:
  PostingSink(OutFile& out, bool coded) : out_(out), coded_(coded) {}
  OutFile& file() { return out_; }
  void start_list() { last_document_ = last_paragraph_ = last_position_ = 0; }
  void posting(uint32_t document, uint16_t paragraph, uint16_t position) {
    if (!coded_) {
      out_.posting(document, paragraph, position);
      return;
    }
    unsigned char buf[16] = {};
    out_.write(buf, encode_posting(buf, last_document_, last_paragraph_, last_position_, document,
                                   paragraph, position));
    last_document_ = document;
    last_paragraph_ = paragraph;
    last_position_ = position;
  }

 private:
  OutFile& out_;
  bool coded_;
  uint32_t last_document_ = 0;
  uint16_t last_paragraph_ = 0, last_position_ = 0;
};

// Decodes count postings from a reader (run file or arena chain) into a sink.
template <class Reader>
void decode_postings(Reader& r, uint32_t count, PostingSink& out) {
  uint32_t document = 0, paragraph = 0, position = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t dd = r.varint();
    if (dd > 0) {
      document += dd;
      paragraph = r.varint();
      position = r.varint();
    } else {
      uint32_t pd = r.varint();
      if (pd > 0) {
        paragraph += pd;
        position = r.varint();
      } else {
        position += r.varint();
      }
    }
    if (paragraph > 0xFFFF || position > 0xFFFF) throw WriterFailure("temporary postings are damaged");
    out.posting(document, uint16_t(paragraph), uint16_t(position));
  }
}

// ---- Merge sources ----------------------------------------------------------------------
//
// Run file record: u8 key length, key bytes, u32 count, count coded postings.
// Chinese keys are 4 bytes big-endian (slot << 16 | following character code), so byte
// order is numeric order; English keys are the stored word.

struct Source {
  virtual ~Source() = default;
  virtual bool next() = 0;                 // the next key; false at the end
  virtual void emit(PostingSink& out) = 0;  // the current key's postings
  std::string key;
  uint32_t count = 0;
};

class RunSource : public Source {
 public:
  explicit RunSource(const std::string& path) { in_.open(path); }
  bool next() override {
    if (in_.at_end()) return false;
    size_t n = in_.get();
    key.resize(n);
    for (size_t i = 0; i < n; ++i) key[i] = char(in_.get());
    count = in_.get32();
    return true;
  }
  void emit(PostingSink& out) override { decode_postings(in_, count, out); }

 private:
  InFile in_;
};

// Merges the sources key by key; postings of one key are concatenated in source order
// (runs are in the order documents were added). before(key, count) runs before a key's
// list is written, after(key, count, list offset) after it.
template <class Before, class After>
void merge_sources(std::vector<std::unique_ptr<Source>>& sources, PostingSink& sink,
                   Before before, After after) {
  auto later = [&](size_t a, size_t b) {
    int c = sources[a]->key.compare(sources[b]->key);
    return c != 0 ? c > 0 : a > b;
  };
  std::priority_queue<size_t, std::vector<size_t>, decltype(later)> heap(later);
  for (size_t i = 0; i < sources.size(); ++i)
    if (sources[i]->next()) heap.push(i);
  std::vector<size_t> group;
  std::string key;
  OutFile& out = sink.file();
  while (!heap.empty()) {
    group.clear();
    key = sources[heap.top()]->key;
    uint64_t count = 0;
    while (!heap.empty() && sources[heap.top()]->key == key) {
      group.push_back(heap.top());
      count += sources[heap.top()]->count;
      heap.pop();
    }
    if (count > UINT32_MAX) throw WriterFailure("index too large: a list passes 2^32 entries");
    before(key, uint32_t(count));
    uint64_t offset = out.size();
    sink.start_list();
    for (size_t i : group) sources[i]->emit(sink);
    if (out.size() > kMaxOffset)
      throw WriterFailure("index too large: " + out.path() + " passes 4 GB");
    after(key, uint32_t(count), uint32_t(offset));
    for (size_t i : group)
      if (sources[i]->next()) heap.push(i);
  }
}

// At most this many runs are merged at once (open files, read buffers); more are first
// merged in consecutive groups into bigger runs.
constexpr size_t kMergeWays = 64;

// Merges runs in consecutive groups of kMergeWays until at most kMergeWays are left;
// new_run() names each merged run (the writer keeps the names for cleanup). The merged
// inputs are removed.
void compact_runs(std::vector<std::string>& runs, const std::function<std::string()>& new_run);

}  // namespace qm::index_build
