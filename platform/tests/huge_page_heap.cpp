// The heap set-up of the one-document programs. Built without the sanitizers (whose
// allocator has no brk heap), as the release programs that call it are.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/heap.h"

namespace {

// The flags of the mapping that holds address, from /proc/self/smaps ("" when none).
std::string mapping_flags(const void* address) {
  auto at = reinterpret_cast<uintptr_t>(address);
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    uintptr_t from = 0, to = 0;
    char dash = 0;
    std::istringstream head(line);
    if (head >> std::hex >> from >> dash >> to && dash == '-') {
      inside = from <= at && at < to;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line;
    }
  }
  return "";
}

TEST(HugePageHeap, LaterBlocksComeFromTheAdvisedPartAndStayIntact) {
  bool advised = qm::use_huge_page_heap();
  EXPECT_FALSE(qm::use_huge_page_heap());  // once only
  if (!advised) GTEST_SKIP() << "the kernel takes no huge-page advice here";

  // A block larger than anything freed so far comes from the top of the heap.
  std::unique_ptr<char[]> large(new char[256 * 1024]);
  EXPECT_NE(mapping_flags(large.get()).find(" hg"), std::string::npos) << mapping_flags(large.get());

  // Blocks of every size class, written, partly freed and reallocated, read back whole.
  const size_t sizes[] = {1, 24, 100, 4096, 70000, 300000, size_t(3) << 20};
  std::vector<std::vector<unsigned char>> blocks;
  for (int round = 0; round < 3; ++round) {
    for (size_t n : sizes) blocks.emplace_back(n, static_cast<unsigned char>(blocks.size()));
    for (size_t i = 0; i < blocks.size(); i += 2) blocks[i].clear(), blocks[i].shrink_to_fit();
  }
  for (size_t i = 0; i < blocks.size(); ++i)
    for (unsigned char c : blocks[i]) ASSERT_EQ(c, static_cast<unsigned char>(i)) << "block " << i;
}

}  // namespace
