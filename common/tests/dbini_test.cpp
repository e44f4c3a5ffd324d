// Tests of the database entry writers: numbering, writing, activating, deactivating and
// removing databases and editing their excluded-path lists, checked against golden files
// under data/dbini/, the loaded table kept in step, and the failure endings.
#include "common/dbini.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/config.h"
#include "common/dbid.h"
#include "common/html.h"
#include "common/ini.h"
#include "platform/fatal.h"
#include "testsupport/test_files.h"

namespace fs = std::filesystem;

namespace {

using qm::test::read_file;

std::string golden(const std::string& name) {
  return read_file(std::string(QM_SOURCE_DIR) + "/common/tests/data/dbini/" + name);
}

const std::string kVesprin =
    "[VESPRIN]\nSearcher=http://host/cgi-bin/searcher\nHomePage=http://host/\nSystemAdm=a\n";

class DbiniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ini_ = dir_ + "vesprin.ini";
    reset();
    qm::dbini_set_ini_path(ini_);
    // Keep the fatal texts of the failure tests off the test's output.
    sink_ = std::tmpfile();
    qm::prog_set_output(sink_);
  }
  void TearDown() override {
    reset();
    qm::dbini_set_ini_path("");
    std::fclose(sink_);
  }
  void reset() {
    config_.free();
    ids_.reset(false);
    qm::ini_free();
    qm::html_reset();
    qm::fatal_reset();
    qm::common_set_desktop_profile(false);
    qm::prog_set_output(nullptr);
  }
  void start(const std::string& text) {
    std::ofstream(ini_, std::ios::binary) << text;
    ASSERT_TRUE(config_.reload(ini_));
  }
  std::string file() const { return read_file(ini_); }
  std::vector<std::string> stop_paths(uint16_t id) const {
    std::vector<std::string> out;
    std::string p;
    for (int n = 1; qm::dbini_stoppath_get(config_, id, n, p); ++n) out.push_back(p);
    return out;
  }
  // The failure message a writer leaves in the configuration ("" for none).
  std::string fatal_of(const std::function<void()>& f) {
    config_.set_error("");
    f();
    return config_.error();
  }
  qm::DatabaseIdSet ids_;
  qm::Config config_{ids_};
  qm::test::TempDir tmp_{"qm_dbini_"};
  std::string dir_ = tmp_.path(), ini_;
  std::FILE* sink_ = nullptr;
};

}  // namespace

TEST_F(DbiniTest, LifeOfDatabasesMatchesGoldenFiles) {
  start(golden("start.ini"));
  EXPECT_EQ(ids_.ids(), (std::vector<uint16_t>{1, 2}));

  EXPECT_EQ(qm::dbini_next_id(config_, "F:\\new", "D:\\idx\\3\\", "", "three", ""), 3);
  EXPECT_EQ(qm::dbini_next_id(config_, "http://www.example.com/", "D:\\idx\\5\\", "http://www.example.com/", "web",
                              "index.htm"),
            5);  // 4 is taken although inactive
  EXPECT_EQ(file(), golden("added.ini"));
  // The loaded table follows the file.
  ASSERT_EQ(ids_.ids(), (std::vector<uint16_t>{1, 2, 3, 5}));
  EXPECT_EQ(config_.table.entries[2].WorkDir, "D:/idx/3/");
  EXPECT_EQ(config_.table.entries[3].DefaultHTML, "index.htm");

  EXPECT_EQ(qm::dbini_set_inactive(config_, "3"), 1);
  EXPECT_EQ(qm::dbini_set_active(config_, "4"), 1);
  EXPECT_EQ(file(), golden("activated.ini"));
  EXPECT_EQ(ids_.ids(), (std::vector<uint16_t>{1, 2, 4, 5}));

  EXPECT_EQ(stop_paths(2), (std::vector<std::string>{"E:\\data\\tmp\\", "E:\\data\\old\\", "E:\\data\\bak\\"}));
  EXPECT_EQ(qm::dbini_stoppath_delete(config_, 2, 0), 1);
  EXPECT_EQ(stop_paths(2), (std::vector<std::string>{"E:\\data\\old\\", "E:\\data\\bak\\"}));
  EXPECT_EQ(qm::dbini_stoppath_add(config_, 2, "E:\\data\\new\\"), 1);
  EXPECT_EQ(qm::dbini_stoppath_set(config_, 2, 0, "E:\\data\\x\\"), 1);
  EXPECT_EQ(file(), golden("stoppaths.ini"));
  EXPECT_EQ(stop_paths(2), (std::vector<std::string>{"E:\\data\\x\\", "E:\\data\\bak\\", "E:\\data\\new\\"}));

  EXPECT_EQ(qm::dbini_remove_entry(config_, "2"), 1);
  EXPECT_EQ(file(), golden("removed.ini"));
  EXPECT_EQ(ids_.ids(), (std::vector<uint16_t>{1, 4, 5}));
  EXPECT_TRUE(stop_paths(2).empty());
  EXPECT_EQ(qm::dbini_remove_entry(config_, "2"), 0);  // already gone
  EXPECT_EQ(file(), golden("removed.ini"));
}

TEST_F(DbiniTest, ExcludedPathEdits) {
  struct Case {
    const char* what;
    std::string before;  // StopPath-1 keys
    int mode;
    int index;
    int result;
    std::string after;
  };
  std::string full;
  for (int n = 1; n <= 100; ++n) full += std::to_string(n) + "=p" + std::to_string(n) + "\n";
  const Case cases[] = {
      {"add after a gap fills the gap", "1=a\n2=b\n4=d\n", 0, 0, 1, "1=a\n2=b\n4=d\n3=n\n"},
      {"add to an empty list", "", 0, 0, 1, "1=n\n"},
      {"add to a full list refused", full, 0, 0, 0, full},
      {"set past the end", "1=a\n", 1, 2, 1, "1=a\n3=n\n"},
      {"delete the last", "1=a\n2=b\n", 2, 1, 1, "1=a\n"},
      {"delete the middle", "1=a\n2=b\n3=c\n", 2, 1, 1, "1=a\n2=c\n"},
      {"delete past the end", "1=a\n2=b\n", 2, 4, 0, "1=a\n2=b\n"},
      {"delete the missing entry before a gap", "1=a\n2=b\n4=d\n", 2, 2, 0, "1=a\n2=b\n4=d\n"},
      {"delete before a gap", "1=a\n2=b\n4=d\n", 2, 0, 1, "1=b\n4=d\n"},
      {"negative index refused", "1=a\n", 2, -1, 0, "1=a\n"},
  };
  for (const Case& c : cases) {
    start(kVesprin + "[INDEX]\n1=1\n[DB-1]\nDescription=d\n[StopPath-1]\n" + c.before);
    EXPECT_EQ(qm::dbini_stoppath_edit(config_, 1, c.index, "n", c.mode), c.result) << c.what;
    qm::IniTree t;
    ASSERT_TRUE(t.load(ini_));
    std::string after;
    for (const auto& s : t.sections())
      if (s.name == "StopPath-1")
        for (const auto& k : s.keys) after += k.name + "=" + k.value + "\n";
    EXPECT_EQ(after, c.after) << c.what;
  }
  // An id without a slot in the loaded table is refused and nothing is written.
  const std::string before = file();
  EXPECT_EQ(qm::dbini_stoppath_add(config_, 7, "x"), 0);
  std::string path;
  EXPECT_EQ(qm::dbini_stoppath_get(config_, 7, 1, path), 0);
  EXPECT_EQ(file(), before);
}

TEST_F(DbiniTest, WriteKeyOnlyForDatabasesOfTheSet) {
  start(kVesprin + "[INDEX]\n1=1\n[DB-1]\nDescription=d\n");
  const std::string before = file();
  EXPECT_EQ(qm::dbini_write_key(config_, "2", "AutoIndex", "1"), 0);
  EXPECT_EQ(file(), before);
  EXPECT_EQ(qm::dbini_write_key(config_, "1", "AutoIndex", "1"), 1);
  EXPECT_EQ(file(), "\n[VESPRIN]\nSearcher=http://host/cgi-bin/searcher\nHomePage=http://host/\nSystemAdm=a\n"
                    "\n[INDEX]\n1=1\n\n[DB-1]\nDescription=d\nAutoIndex=1\n");
}

TEST_F(DbiniTest, NextIdNeedsTheFileAndAFreeId) {
  EXPECT_EQ(qm::dbini_next_id(config_, "a", "b", "", "c", ""), 0);
  EXPECT_FALSE(fs::exists(ini_));  // nothing written under an unknown id

  std::string all = kVesprin + "[INDEX]\n";
  for (int id = 1; id <= 1000; ++id) all += std::to_string(id) + "=0\n";
  start(all);
  EXPECT_EQ(qm::dbini_next_id(config_, "a", "b", "", "c", ""), 0);
  EXPECT_EQ(file(), all);  // untouched byte for byte
}

TEST_F(DbiniTest, WriteEntryCreatesAMissingFile) {
  // The entry is written; reloading the new file then finds no search-engine settings.
  EXPECT_EQ(fatal_of([this] { qm::dbini_write_entry(config_, "8", "D:\\d", "D:\\w\\", "", "eight", "x.htm"); }),
            "Fail to read INI file: [VESPRIN], Searcher\r\n");
  EXPECT_EQ(file(), "\n[DB-8]\nHtmlDir=D:\\d\nWorkDir=D:\\w\\\nDescription=eight\nLocalFileType=htm,html,txt\n");
}

TEST_F(DbiniTest, DesktopBuildWritesNoFileTypesAndGoesOnAfterFailures) {
  qm::common_set_desktop_profile(true);
  ids_.reset(true);
  std::ofstream(ini_, std::ios::binary) << "[INDEX]\n1=0\n";
  ASSERT_TRUE(config_.reload(ini_));
  EXPECT_EQ(qm::dbini_write_entry(config_, "1", "http://w/", "D:\\w\\", "", "one", "home.htm"), 1);
  EXPECT_EQ(qm::dbini_write_entry(config_, "2", "D:\\d\\", "D:\\w2\\", "", "two", ""), 1);
  EXPECT_EQ(file(), "\n[INDEX]\n1=0\n\n[DB-1]\nHtmlDir=http://w/\nWorkDir=D:\\w\\\nDescription=one\n"
                    "DefaultHTML=home.htm\n\n[DB-2]\nHtmlDir=D:\\d\\\nWorkDir=D:\\w2\\\nDescription=two\n");
  EXPECT_EQ(ids_.ids(), (std::vector<uint16_t>{1}));  // inactive ones included

  // A file that cannot be rewritten: 0, no fatal ending.
  qm::dbini_set_ini_path("/proc/version");
  EXPECT_EQ(qm::dbini_remove_entry(config_, "1"), 0);
  EXPECT_EQ(qm::dbini_write_key(config_, "1", "k", "v"), 0);
  EXPECT_EQ(qm::dbini_set_active(config_, "1"), 0);
  qm::dbini_set_ini_path(dir_ + "missing.ini");
  EXPECT_EQ(qm::dbini_stoppath_add(config_, 1, "x"), 0);
}

TEST_F(DbiniTest, WriteFailuresGiveTheirMessage) {
  start(kVesprin + "[INDEX]\n1=1\n[DB-1]\nDescription=d\n");
  // /proc/version reads as a file but can never be replaced.
  qm::dbini_set_ini_path("/proc/version");
  EXPECT_EQ(fatal_of([this] { qm::dbini_remove_entry(config_, "1"); }), "Fail to restore the INI file !");
  EXPECT_EQ(fatal_of([this] { qm::dbini_write_key(config_, "1", "k", "v"); }), "Fail to write INI file");
  EXPECT_EQ(fatal_of([this] { qm::dbini_stoppath_add(config_, 1, "x"); }), "Fail to restore the INI file !");
  EXPECT_EQ(qm::dbini_next_id(config_, "a", "b", "", "c", ""), 0);  // an unwritable file gives no id
  qm::dbini_set_ini_path(dir_ + "missing.ini");
  EXPECT_EQ(fatal_of([this] { qm::dbini_stoppath_add(config_, 1, "x"); }), "Fail to read the INI file!");
  EXPECT_FALSE(fs::exists(dir_ + "missing.ini"));
}

TEST_F(DbiniTest, ListsReloadFromTheFile) {
  start(kVesprin + "[INDEX]\n1=1\n[DB-1]\n[StopPath-1]\n1=a\n[Alias-1]\n1=x\n2=y\n");
  std::ofstream(ini_, std::ios::binary) << kVesprin + "[INDEX]\n1=1\n[StopPath-1]\n1=b\n";
  EXPECT_EQ(stop_paths(1), (std::vector<std::string>{"a"}));
  qm::dbini_load_lists(config_);
  EXPECT_EQ(stop_paths(1), (std::vector<std::string>{"b"}));
  EXPECT_TRUE(config_.table.AliasLists[0].empty());
  qm::dbini_free_lists(config_);
  EXPECT_TRUE(stop_paths(1).empty());
}
