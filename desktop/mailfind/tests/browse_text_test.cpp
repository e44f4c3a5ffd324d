// Tests of the folder browser's path texts: splitting and status-line compression.
#include "desktop/mailfind/browse_text.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(BreakApart, Pieces) {
  struct Case {
    const char* text;
    const char* sep;
    std::vector<std::string> want;
  } cases[] = {
      {"a/b/c", "/", {"a", "b", "c"}},
      {"abc", "/", {"abc"}},
      {"", "/", {""}},
      {"/a//b/", "/", {"", "a", "", "b", ""}},
      {"a::b", "::", {"a", "b"}},
      {"a/b", "", {"a/b"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> list{"stale"};
    EXPECT_EQ(BreakApart(c.text, c.sep, list), static_cast<int>(c.want.size())) << c.text;
    EXPECT_EQ(list, c.want) << c.text;
  }
}

TEST(CompressString, Table) {
  // 50 characters in six parts.
  const std::string fifty = "/home/quillmere/documents/archive2001/mailboxes/x1";
  ASSERT_EQ(fifty.size(), 50u);
  struct Case {
    std::string text;
    int max;
    std::string want;
  } cases[] = {
      // "...", then the parts after it dropped one by one until it fits.
      {fifty, 35, "/.../archive2001/mailboxes/x1"},
      // Dropping stops when only three parts remain, even when still too long.
      {fifty, 5, "/.../x1"},
      {"/abcdefghij/klmnopqrstu/vwxyz012345/6789", 35, "/.../klmnopqrstu/vwxyz012345/6789"},
      // Texts at and under the limit stay.
      {std::string(35, 'a'), 35, std::string(35, 'a')},
      {"/a/b", 35, "/a/b"},
      // Negative limit: unchanged.
      {fifty, -1, fifty},
      // Two parts or fewer: unchanged even when long.
      {"/" + std::string(40, 'b'), 35, "/" + std::string(40, 'b')},
      {std::string(40, 'c'), 35, std::string(40, 'c')},
      // Three parts: only the replacement.
      {"/" + std::string(20, 'd') + "/" + std::string(20, 'e'), 35, "/.../" + std::string(20, 'e')},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CompressString(c.text, "/", "...", c.max), c.want) << c.text << " " << c.max;
}

}  // namespace
}  // namespace qm
