// The reader of folder files of blocks (".dbx"; layout in block_folder_format.h). It
// finds messages by scanning the file for blocks whose first data line is a header
// line, follows each block chain and hands out the chains whose header has a sender
// (From: or Sender:) and a recipient (To: or CC:). Every offset and length is checked
// against the file: a chain that runs past the file or comes back to a block ends, and
// no message is longer than the file. Each block is walked at most once, so a chain is
// never read again from one of its later blocks and a damaged file costs time in
// proportion to its size. Used by the source dispatcher (sources.cpp).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace qm::mail {

class BlockFolderReader {
 public:
  BlockFolderReader() = default;
  ~BlockFolderReader();
  BlockFolderReader(const BlockFolderReader&) = delete;
  BlockFolderReader& operator=(const BlockFolderReader&) = delete;

  // Opens the file; false when it cannot be opened.
  bool open(const std::string& path);
  // The next accepted message's raw text; false at the end of the file (then closed).
  bool next(std::string& message);

 private:
  struct Block {
    uint32_t self = 0, kind = 0, length = 0, next = 0;
  };
  bool read_at(uint64_t offset, void* buffer, size_t bytes) const;
  bool read_block(uint64_t offset, Block& block) const;
  bool find_candidate(uint64_t& found);
  bool look_ahead(uint64_t from, uint64_t& found);
  bool read_chain(uint64_t start, std::string& message);
  // Marks of the blocks walked so far: a bit per 4-byte step, a set for odd offsets.
  bool walked(uint64_t offset) const;
  void mark(uint64_t offset);
  void close();

  int fd_ = -1;
  uint64_t size_ = 0;
  uint64_t offset_ = 0;  // the last candidate
  bool started_ = false;
  // The last look-ahead: started at from, gave found (or nothing up to the file's end).
  uint64_t ahead_from_ = UINT64_MAX;
  uint64_t ahead_found_ = 0;
  bool ahead_any_ = false;
  // Blocks of chains already walked, never the start of another message.
  std::vector<bool> walked_;
  std::unordered_set<uint64_t> walked_odd_;
};

// A header line: a capital letter A-Z, then letters, digits and "-", then ": ".
bool is_header_line(std::string_view bytes);
// The message's header (to its first blank line) has a From: or Sender: line and a To:
// or CC: line (compared case-blind), and the text does not begin with ":".
bool is_acceptable_message(std::string_view text);

}  // namespace qm::mail
