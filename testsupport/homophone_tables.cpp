// Fixture homophone tables for the tests; see homophone_tables.h.
#include "testsupport/homophone_tables.h"

#include <filesystem>

#include "langdata/homophone_format.h"
#include "platform/le.h"
#include "testsupport/test_files.h"

namespace qm::test {

namespace hf = homophone_format;

void write_homophone_tables(const std::string& dir, const std::vector<std::vector<uint16_t>>& groups,
                            const std::map<uint16_t, std::vector<int>>& entries) {
  std::string dat;
  std::vector<uint16_t> group_offsets;
  for (const auto& g : groups) {
    group_offsets.push_back(uint16_t(dat.size()));
    for (uint16_t code : g) {  // lead byte, then trail byte
      dat.push_back(char(code >> 8));
      dat.push_back(char(code & 0xFF));
    }
    dat.push_back('\0');
  }
  std::string ref(hf::kRefEntryBase, '\0');
  std::string body(1, '\0');  // entry offsets start at 1: 0 means "none"
  for (const auto& [code, indexes] : entries) {
    const size_t at = hf::big5_ref_index(static_cast<unsigned char>(code >> 8),
                                         static_cast<unsigned char>(code & 0xFF)) * 2;
    const uint16_t value = uint16_t(body.size());
    ref[at] = char(value & 0xFF);
    ref[at + 1] = char(value >> 8);
    body.push_back(char(indexes.size()));
    for (int g : indexes) le::append16(body, group_offsets.at(size_t(g)));
  }
  const std::filesystem::path d(dir);
  write_file(d / "big5.ref", ref + body);
  write_file(d / "big5.dat", dat);
}

void write_homophone_groups(const std::string& dir, const std::vector<std::string>& groups) {
  std::vector<std::vector<uint16_t>> codes;
  std::map<uint16_t, std::vector<int>> entries;
  for (const std::string& group : groups) {
    codes.emplace_back();
    for (size_t i = 0; i + 1 < group.size(); i += 2) {
      const uint16_t code = uint16_t(uint8_t(group[i]) << 8 | uint8_t(group[i + 1]));
      codes.back().push_back(code);
      entries[code] = {int(codes.size()) - 1};
    }
  }
  write_homophone_tables(dir, codes, entries);
}

}  // namespace qm::test
