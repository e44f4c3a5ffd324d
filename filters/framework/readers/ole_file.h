// A reader of OLE2 compound files held in memory, for the PowerPoint reader's own text
// walk: the directory's streams by name, read through the FAT (or the mini FAT for small
// streams). Every sector number, chain and size is checked against the file: a chain that
// leaves the file, loops or runs longer than the file has sectors ends the read.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::readers {

// True when the bytes begin with the compound file signature.
bool is_compound_file(std::string_view bytes);

class OleFile {
 public:
  static constexpr uint64_t kMaxStreamBytes = uint64_t(64) << 20;

  // False when the bytes are no compound file or its header is damaged.
  bool open(std::string_view bytes);
  // The stream's bytes (names compared without case); false when there is no such
  // stream or its chain is damaged before its end.
  bool read(std::string_view name, std::string& out) const;

 private:
  struct Entry {
    std::u16string name;
    uint8_t type = 0;
    uint32_t start = 0;
    uint64_t size = 0;
  };
  bool chain(const std::vector<uint32_t>& fat, uint32_t start, uint64_t size, size_t unit,
             const std::string_view& area, size_t area_offset, std::string& out) const;

  std::string_view s_;
  size_t sector_ = 512, mini_sector_ = 64;
  uint32_t cutoff_ = 4096;
  std::vector<uint32_t> fat_, mini_fat_;
  std::vector<Entry> entries_;
  std::string mini_stream_;
};

}  // namespace kvx::readers
