// Edge conversion of separators, program directory and case-blind name lookup.
#include "platform/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "testsupport/test_files.h"

namespace fs = std::filesystem;

namespace {

TEST(BackslashToSlash, NeverTouchesBig5TrailBytes) {
  // 許 B3 5C, 功 A5 5C, 蓋 BB 5C: each ends in the byte of "\".
  struct Case {
    std::string in, out;
  } cases[] = {
      {"C:\\data\\docs\\", "C:/data/docs/"},
      {"\\\\host\\share\\x", "//host/share/x"},
      {"\xB3\x5C\\a", "\xB3\x5C/a"},
      {"d\\\xA5\x5C\xBB\x5C\\", "d/\xA5\x5C\xBB\x5C/"},
      {"\xA5\x5C\\\\", "\xA5\x5C//"},
      // a lead byte at the end, or before a byte that is no trail, is a single byte
      {"a\xA4\\b", "a\xA4\x5C" "b"},  // A4 5C is a pair: the "\" is its trail
      {"a\xA4", "a\xA4"},
      {"\x80\\x", "\x80/x"},
      {"already/fine", "already/fine"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(qm::path_backslash_to_slash(c.in), c.out) << c.in;
}

TEST(ProgramDir, FromArgv0) {
  std::string cwd = qm::platform_current_dir();
  ASSERT_FALSE(cwd.empty());
  struct Case {
    std::string argv0, dir;
  } cases[] = {{"/opt/qm/dist/searcher", "/opt/qm/dist/"},
               {"searcher", cwd},
               {"./searcher", cwd},
               {"../dist/searcher", "../dist/"},
               {".hidden/searcher", cwd}};
  for (const auto& c : cases) EXPECT_EQ(qm::program_dir_from_argv0(c.argv0), c.dir) << c.argv0;
  EXPECT_EQ(qm::path_join("/a/", "/b"), "/a/b");
  EXPECT_EQ(qm::path_join("/a", "b"), "/a/b");
}

TEST(CaseBlindLookup, ExactFirstThenCaseBlindElseCanonical) {
  qm::test::TempDir tmp("qm-paths-");
  std::string dir = tmp.dir();
  std::ofstream(dir + "/VESPRIN.INI") << "x";
  std::ofstream(dir + "/Folder.dat") << "x";
  std::ofstream(dir + "/folder.dat") << "x";
  fs::create_directory(dir + "/lexdb");

  struct Case {
    std::string name, found;
  } cases[] = {{"vesprin.ini", "VESPRIN.INI"},
               {"Folder.dat", "Folder.dat"},  // the exact name wins
               {"FOLDER.DAT", "Folder.dat"},  // first in byte order
               {"LexDB", "lexdb"},
               {"Bookmark.dat", "Bookmark.dat"}};
  for (const auto& c : cases) EXPECT_EQ(qm::path_find_case_blind(dir, c.name), dir + "/" + c.found) << c.name;
  EXPECT_EQ(qm::path_find_case_blind(dir + "/absent", "x.ini"), dir + "/absent/x.ini");
}

}  // namespace
