// File reading, paths, directory trees, listings, HTTP dates and the plain-text fatal exit.
#include "common/files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "common/html.h"
#include "common/strings.h"
#include "platform/fatal.h"
#include "testsupport/test_files.h"

namespace fs = std::filesystem;

namespace {

class TempDir : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const {
    fs::create_directories(fs::path(path(name)).parent_path());
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  qm::test::TempDir tmp_{"qm-files-"};
  std::string dir_ = tmp_.dir();
};

using FileRead = TempDir;

TEST_F(FileRead, TextModeFoldsCrLfAndStopsAtCtrlZ) {
  struct Case {
    std::string bytes, text;
  } cases[] = {
      {"a\r\nb\r\n", "a\nb\n"},
      {"a\rb\n", "a\rb\n"},                  // a lone CR stays
      {"[VESPRIN]\r\nx=1\x1Ajunk", "[VESPRIN]\nx=1"},
      {"\x1A" "after", ""},
      {"\xB3\x5C\r\n", "\xB3\x5C\n"},        // 許 then a line end
      {"", ""},
  };
  for (const auto& c : cases) {
    write("t.txt", c.bytes);
    std::string text, raw;
    ASSERT_TRUE(qm::file_read_all(path("t.txt"), text));
    EXPECT_EQ(text, c.text);
    ASSERT_TRUE(qm::file_read_all_binary(path("t.txt"), raw));
    EXPECT_EQ(raw, c.bytes);
    EXPECT_EQ(qm::file_size(path("t.txt")), (long long)c.bytes.size());
  }
  std::string out = "x";
  EXPECT_FALSE(qm::file_read_all(path("absent"), out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(qm::file_read_all(dir_, out));  // a directory is not a file
}

// A template, configuration or language file named as a device or a FIFO is refused at
// once (never read without end, never waited on); a regular file is read up to a limit.
TEST_F(FileRead, OnlyRegularFilesOfSaneSizeAreRead) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);  // no writer: an open would wait
  write("small", "12345");
  write("large", std::string(100, 'x'));
  struct Case {
    std::string name;
    size_t limit;
    bool ok;
    const char* why;
  } cases[] = {
      {"/dev/zero", qm::kFileReadLimit, false, "not a regular file"},
      {"/dev/null", qm::kFileReadLimit, false, "not a regular file"},
      {path("fifo"), qm::kFileReadLimit, false, "not a regular file"},
      {dir_, qm::kFileReadLimit, false, "not a regular file"},
      {path("absent"), qm::kFileReadLimit, false, "No such file"},
      {path("small"), 5, true, ""},
      {path("large"), 99, false, "larger than 99 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "old", why;
    EXPECT_EQ(qm::file_read_regular(c.name, out, c.limit, &why), c.ok);
    EXPECT_EQ(out, c.ok ? "12345" : "");
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
  }
  // The readers built on it refuse the same.
  std::string out;
  EXPECT_FALSE(qm::file_read_all("/dev/zero", out));
  EXPECT_FALSE(qm::file_read_all(path("fifo"), out));
  EXPECT_FALSE(qm::file_read_all_binary("/dev/zero", out));
}

TEST_F(FileRead, StreamsLengthLastByteAndCopy) {
  write("s.bin", "0123456789");
  std::FILE* f = qm::file_open(path("s.bin"), "rb");
  ASSERT_NE(f, nullptr);
  char buf[4];
  ASSERT_TRUE(qm::file_read_exact(f, buf, 3));
  EXPECT_EQ(qm::file_length(f), 10);
  EXPECT_EQ(qm::file_last_byte(f), '9');
  EXPECT_EQ(std::fgetc(f), '3');  // positions restored
  EXPECT_FALSE(qm::file_read_exact(f, buf, 4) && qm::file_read_exact(f, buf, 4));
  std::fclose(f);

  EXPECT_EQ(qm::file_copy(path("copy.bin"), path("s.bin")), 1);
  std::string copied;
  qm::file_read_all_binary(path("copy.bin"), copied);
  EXPECT_EQ(copied, "0123456789");
  EXPECT_EQ(qm::file_copy(path("copy2.bin"), path("absent")), 0);
  EXPECT_FALSE(qm::file_exists(path("copy2.bin")));

  EXPECT_EQ(qm::file_write_all(path("w.txt"), "line\n", true), 1);
  EXPECT_EQ(qm::file_write_all(path("no/such/dir/w.txt"), "x", false), 0);
  EXPECT_TRUE(qm::file_exists(path("w.txt")));
  qm::common_set_desktop_profile(true);
  EXPECT_TRUE(qm::file_exists(path("w.txt")));
  EXPECT_FALSE(qm::file_exists(path("absent")));
  qm::common_set_desktop_profile(false);
}

using Paths = TempDir;

TEST_F(Paths, SplitAddSlashProgramAndParent) {
  std::string cwd;
  ASSERT_EQ(qm::dir_current(cwd), 1);
  ASSERT_EQ(cwd.back(), '/');
  struct Split {
    const char* program;
    std::string dir;
  } splits[] = {{"/opt/qm/searcher", "/opt/qm/"},
                {"searcher", cwd},
                {"./searcher", cwd},
                {"../bin/searcher", "../bin/"},
                {"/searcher", "/"}};
  for (const auto& s : splits) {
    std::string out;
    EXPECT_EQ(qm::path_split(s.program, out), 1);
    EXPECT_EQ(out, s.dir) << s.program;
  }

  struct Slash {
    std::string in, out;
  } slashes[] = {
      {"C:\\data\\cache", "C:/data/cache/"},
      {"/srv/cache/", "/srv/cache/"},
      {"/srv/\xB3\x5C", "/srv/\xB3\x5C/"},            // 許's trail byte is not a separator
      {"d\\\xA5\x5C\\x\\", "d/\xA5\x5C/x/"},           // 功
      {"", ""},                                        // unset stays unset
  };
  for (auto s : slashes) {
    qm::path_add_slash(s.in);
    EXPECT_EQ(s.in, s.out);
  }

  std::string exe;
  qm::path_program_exe("C:\\old\\indexer.exe", "/opt/qm/", exe);
  EXPECT_EQ(exe, "/opt/qm/indexer.exe");
  qm::path_program_exe("/x/indexer", "/opt/qm/", exe);
  EXPECT_EQ(exe, "/opt/qm/indexer");

  struct Parent {
    std::string path, parent;
  } parents[] = {{"/a/b/c", "/a/b"}, {"/a/b/", "/a"}, {"/a", "/"}, {"name", "/"}};
  for (const auto& p : parents) {
    std::string out;
    qm::path_parent(p.path, out, 260);
    EXPECT_EQ(out, p.parent) << p.path;
  }
}

TEST_F(Paths, MakeAllCreatesOnlyComponentsFollowedBySlash) {
  EXPECT_EQ(qm::dir_make_all(path("a/b/c/")), 1);
  EXPECT_TRUE(qm::dir_is_directory(path("a/b/c")));
  EXPECT_TRUE(qm::dir_is_directory(path("a/b/c/")));
  EXPECT_EQ(qm::dir_make_path(path("x/y")), 1);
  EXPECT_TRUE(qm::dir_is_directory(path("x")));
  EXPECT_FALSE(qm::dir_is_directory(path("x/y")));
  write("file", "f");
  EXPECT_EQ(qm::dir_make_all(path("file/sub/")), 0);  // a file stands in the way
}

using RemoveTree = TempDir;

TEST_F(RemoveTree, CacheOnlyRemovesNosAndNumFiles) {
  write("cache/nos1.dat", "x");
  write("cache/NUM2.dat", "x");
  write("cache/keep.txt", "x");
  write("cache/q/nosq", "x");
  write("cache/q/r/Numr", "x");
  write("cache/e/numx", "x");
  EXPECT_NE(qm::dir_remove_tree(path("cache/"), true), 0);  // keep.txt holds the top
  EXPECT_FALSE(fs::exists(path("cache/nos1.dat")));
  EXPECT_FALSE(fs::exists(path("cache/NUM2.dat")));
  EXPECT_TRUE(fs::exists(path("cache/keep.txt")));
  EXPECT_FALSE(fs::exists(path("cache/q")));
  EXPECT_FALSE(fs::exists(path("cache/e")));

  EXPECT_EQ(qm::dir_remove_tree(path("cache"), false), 0);
  EXPECT_FALSE(fs::exists(path("cache")));
}

TEST_F(RemoveTree, RefusesRootEmptyAndNeverFollowsLinks) {
  for (const char* bad : {"", "/", "//", "/."}) EXPECT_EQ(qm::dir_remove_tree(bad, false), -1) << bad;

  write("precious/nos-keep.txt", "x");
  write("tree/nosa", "x");
  fs::create_directory_symlink(path("precious"), path("tree/link"));
  fs::create_symlink(path("precious/nos-keep.txt"), path("tree/nosfile"));
  EXPECT_EQ(qm::dir_remove_tree(path("tree"), false), 0);
  EXPECT_FALSE(fs::exists(path("tree")));
  EXPECT_TRUE(fs::exists(path("precious/nos-keep.txt")));

  fs::create_directory_symlink(path("precious"), path("alias"));
  EXPECT_EQ(qm::dir_remove_tree(path("alias"), false), -1);
  EXPECT_TRUE(fs::exists(path("precious/nos-keep.txt")));
}

using Listing = TempDir;

TEST_F(Listing, SortedListsDetailsAndPrune) {
  write("b.HTM", "x");
  write("a.txt", std::string(1025, 'x'));
  write("c.doc", "x");
  write(".hidden", "x");
  fs::create_directory(path("Zdir"));
  fs::create_directory(path("adir"));
  qm::dir_list_set_pattern("*");
  qm::DirList all = qm::dir_list(dir_, qm::DIR_LIST_DIRS | qm::DIR_LIST_FILES);
  std::vector<std::string> names;
  for (const auto& e : all) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"adir", "Zdir", "a.txt", "b.HTM", "c.doc"}));
  qm::DirList web = qm::dir_list(dir_, qm::DIR_LIST_FILES | qm::DIR_LIST_WEB_TEXT);
  EXPECT_EQ(web.size(), 2u);
  EXPECT_EQ(qm::dir_has_subdirs(dir_ + "/*"), 1);
  EXPECT_EQ(qm::dir_has_subdirs(dir_ + "/Zdir/*"), 0);

  qm::dir_list_set_details(true);
  ASSERT_TRUE(qm::dir_list_begin(dir_, "A.TXT"));
  qm::DirEntry e;
  ASSERT_EQ(qm::dir_list_next(e, 260), 1);
  EXPECT_EQ(e.name, "a.txt");
  EXPECT_EQ(e.kind, 1);
  EXPECT_EQ(e.size_text, "2KB");
  EXPECT_EQ(e.seconds % 2, 0);
  EXPECT_EQ(qm::dir_list_next(e, 260), 0);
  qm::dir_list_end();
  qm::dir_list_set_details(false);

  // The date text of a listing: a 12-hour dial where 12 o'clock stays 12 and 0 stays 0.
  struct Stamp {
    int hour, minute, second;
    const char* text;
  } stamps[] = {{0, 7, 37, "2005/02/01 AM 00:07"},  {11, 59, 0, "2005/02/01 AM 11:59"},
                {12, 30, 59, "2005/02/01 PM 12:30"}, {13, 5, 1, "2005/02/01 PM 01:05"},
                {23, 45, 10, "2005/02/01 PM 11:45"}};
  qm::dir_list_set_details(true);
  for (const Stamp& st : stamps) {
    struct tm tm {};
    tm.tm_year = 2005 - 1900;
    tm.tm_mon = 1;
    tm.tm_mday = 1;
    tm.tm_hour = st.hour;
    tm.tm_min = st.minute;
    tm.tm_sec = st.second;
    tm.tm_isdst = -1;
    struct timespec times[2] = {{0, UTIME_OMIT}, {mktime(&tm), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path("a.txt").c_str(), times, 0), 0);
    ASSERT_TRUE(qm::dir_list_begin(dir_, "a.txt"));
    ASSERT_EQ(qm::dir_list_next(e, 260), 1);
    qm::dir_list_end();
    EXPECT_EQ(e.date_text, st.text);
    EXPECT_EQ(e.date, 20050201);
    EXPECT_EQ(e.seconds, st.second & ~1);
  }
  qm::dir_list_set_details(false);

  for (const char* n : {"r3.log", "r1.log", "r2.log"}) write(n, "x");
  EXPECT_EQ(qm::dir_prune(dir_, "r*.log", 1, false), 3);
  EXPECT_FALSE(fs::exists(path("r1.log")));
  EXPECT_FALSE(fs::exists(path("r2.log")));
  EXPECT_TRUE(fs::exists(path("r3.log")));
}

using Dates = TempDir;

TEST_F(Dates, HttpDateRoundTripAndRejects) {
  write("d", "x");
  struct Case {
    const char* text;
    int result;
    const char* expect;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37", 1, "Sun, 06 Nov 1994 08:49:38 GMT"},  // odd second up
      {"Fri, 31 Dec 1999 23:59:59", 1, "Sat, 01 Jan 2000 00:00:00 GMT"},  // and carried
      {"Tue, 01 feb 2005 10:00:00 GMT", 1, "Tue, 01 Feb 2005 10:00:00 GMT"},
      {"Tue, 01 Foo 2005 10:00:00", 0, nullptr},
      {"garbage", 0, nullptr},
      {"Tue, 01 Feb 2005 25:00:00", 0, nullptr},
      {"Tue, 001 Feb 2005 10:00:00", 0, nullptr},  // the day has two digits at most
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qm::file_set_time_from_http_date(path("d"), c.text), c.result) << c.text;
    if (c.expect) {
      std::string out;
      EXPECT_EQ(qm::http_date(path("d"), out), 1);
      EXPECT_EQ(out, c.expect);
    }
  }
  std::string out = "x";
  EXPECT_EQ(qm::http_date(path("absent"), out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(qm::http_date("", out), 1);  // now
  EXPECT_TRUE(::testing::internal::RE::FullMatch(out, "[A-Z][a-z][a-z], [0-9][0-9] [A-Z][a-z][a-z] [0-9][0-9][0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] GMT"))
      << out;
}

TEST(DiskFree, TextForPathAndNoDrives) {
  std::string out;
  EXPECT_EQ(qm::disk_free_text("/tmp", &out), 1);
  EXPECT_TRUE(::testing::internal::RE::FullMatch(out, " [0-9]+(KB|\\.[0-9]MB|\\.[0-9]GB)")) << out;
  EXPECT_EQ(qm::disk_free_text("/no/such/path", &out), -1);
  EXPECT_EQ(out, " 0KB");
  EXPECT_EQ(qm::drive_letters(out), 0);
}

class FatalText : public ::testing::Test {
 protected:
  void SetUp() override {
    qm::fatal_reset();
    qm::html_reset();
    out_ = std::tmpfile();
    qm::prog_set_output(out_);
  }
  void TearDown() override {
    qm::prog_set_output(nullptr);
    std::fclose(out_);
    qm::fatal_set_frame("", "");
    qm::fatal_reset();
    qm::html_reset();
  }
  std::string written() { return qm::test::file_contents(out_); }
  std::FILE* out_ = nullptr;
};

TEST_F(FatalText, HeaderOnceThenFramedText) {
  qm::fatal_set_frame("<P>", "</P>");
  EXPECT_THROW(qm::fatal_text("Fail to open INI file! /x/vesprin.ini"), qm::FatalError);
  EXPECT_EQ(written(), "Content-Type: text/html\r\n\r\n<P>Fail to open INI file! /x/vesprin.ini\n</P>");

  qm::html_reset();
  qm::html_set_content_type("text/html; charset=big5");
  std::rewind(out_);
  qm::html_content_type();
  qm::fatal_set_frame(std::string(2000, 'p'), "");
  EXPECT_THROW(qm::fatal_text("m"), qm::FatalError);
  std::string text = written();
  EXPECT_EQ(text, "Content-Type: text/html; charset=big5\r\n\r\n" + std::string(1023, 'p') + "m\n");
}

TEST(FatalTextDeath, CgiProfileExits255AfterHeaderAndText) {
  EXPECT_EXIT(
      {
        qm::prog_set_output(stderr);
        qm::fatal_set_profile(qm::FatalProfile::Cgi);
        qm::fatal_set_writer([](const std::string&) { std::fputs("error page", stderr); });
        qm::fatal_set_frame("pre:", ":post");
        qm::fatal_text("Fail to read INI file");
      },
      ::testing::ExitedWithCode(255), "^Content-Type: text/html\r\n\r\npre:Fail to read INI file\n:post$");
}

}  // namespace
