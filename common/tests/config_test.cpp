// Tests of the configuration loader: every VESPRIN and DB-<id> key missing, out of bounds
// and present, the fatal endings of the search engine, the desktop's rules, and the
// database table built for the id set.
#include "common/config.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "common/dbid.h"
#include "common/files.h"
#include "common/html.h"
#include "common/ini.h"
#include "platform/fatal.h"
#include "testsupport/test_files.h"

namespace fs = std::filesystem;
using qm::DatabaseEntry;
using qm::SearchSettings;

namespace {

const std::string kRequiredKeys =
    "Searcher=http://host/cgi-bin/searcher\n"
    "HomePage=http://host/search/index.htm\n"
    "SystemAdm=admin@host\n";
const std::string kRequired = "[VESPRIN]\n" + kRequiredKeys;

std::string list_text(const qm::StringList& list) {
  std::vector<std::string> v(list.begin(), list.end());
  std::sort(v.begin(), v.end());
  std::string out;
  for (const std::string& s : v) out += (out.empty() ? "" : ",") + s;
  return out;
}

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  void reset() {
    config_.free();
    config_.set_program_dir("");
    ids_.reset(false);
    qm::ini_free();
    qm::html_reset();
    qm::fatal_reset();
    qm::common_set_desktop_profile(false);
    qm::prog_set_output(nullptr);
  }
  std::string write(const std::string& text, const std::string& name = "vesprin.ini") {
    std::ofstream(dir_ + name, std::ios::binary) << text;
    return dir_ + name;
  }
  // Loads text as the search engine's entry does (a load that fails with a message ends
  // the run through fatal_text) and gives that message (empty when the load did not end
  // the run) and what was written on the program's output.
  std::string load_fatal(const std::string& path, std::string* output = nullptr) {
    std::FILE* out = std::tmpfile();
    qm::prog_set_output(out);
    std::string message;
    try {
      if (!config_.load(path) && !config_.error().empty()) qm::fatal_text(config_.error());
    } catch (const qm::FatalError& e) {
      message = e.what();
    }
    qm::prog_set_output(nullptr);
    if (output) {
      std::rewind(out);
      char buf[4096];
      size_t n = std::fread(buf, 1, sizeof buf, out);
      output->assign(buf, n);
    }
    std::fclose(out);
    return message;
  }
  qm::DatabaseIdSet ids_;
  qm::Config config_{ids_};
  qm::test::TempDir tmp_{"qm_cfg_"};
  std::string dir_ = tmp_.path();
};

}  // namespace

TEST_F(ConfigTest, GlobalSettingsDefaultsBoundsAndRules) {
  using Get = std::function<std::string(const SearchSettings&)>;
  auto num = [](int SearchSettings::*f) -> Get { return [f](const SearchSettings& s) { return std::to_string(s.*f); }; };
  auto flag = [](bool SearchSettings::*f) -> Get { return [f](const SearchSettings& s) { return std::string(s.*f ? "1" : "0"); }; };
  auto text = [](std::string SearchSettings::*f) -> Get { return [f](const SearchSettings& s) { return s.*f; }; };
  struct Case {
    std::string lines;  // VESPRIN lines before the required keys (the first match counts)
    Get get;
    std::string expected;
  };
  const std::string big5_dir = "D:\\\xb3\x5c\\\xa5\x5c";  // D:\許\功: trail bytes 0x5C stay
  const std::string s259(300, 'x');
  const Case cases[] = {
      {"", text(&SearchSettings::CacheDir), ""},
      {"CacheDir=C:\\Cache", text(&SearchSettings::CacheDir), "C:/Cache/"},
      {"CacheDir=/var/cache/qm/", text(&SearchSettings::CacheDir), "/var/cache/qm/"},
      {"CacheDir=" + big5_dir, text(&SearchSettings::CacheDir), "D:/\xb3\x5c/\xa5\x5c/"},
      {"CacheDir=", text(&SearchSettings::CacheDir), ""},  // never the root
      // A folder cut at 259 characters still ends in "/".
      {"CacheDir=/" + s259, [](const SearchSettings& s) { return std::to_string(s.CacheDir.size()) + s.CacheDir.back(); },
       "260/"},
      {"", flag(&SearchSettings::CacheFile), "0"},
      {"CacheFile=1", flag(&SearchSettings::CacheFile), "1"},
      {"CacheFile=yes", flag(&SearchSettings::CacheFile), "0"},
      {"", num(&SearchSettings::MatchRate), "70"},
      {"MatchRate=30", num(&SearchSettings::MatchRate), "50"},
      {"MatchRate=120", num(&SearchSettings::MatchRate), "100"},
      {"MatchRate=85%", num(&SearchSettings::MatchRate), "85"},
      {"MatchRate=abc", num(&SearchSettings::MatchRate), "50"},
      {"MatchRate=99999999999999", num(&SearchSettings::MatchRate), "100"},
      {"", num(&SearchSettings::Precision), "100"},
      {"Precision=-150", num(&SearchSettings::Precision), "-100"},
      {"Precision=150", num(&SearchSettings::Precision), "100"},
      {"Precision=-20", num(&SearchSettings::Precision), "-20"},
      {"", text(&SearchSettings::ActivePage), ""},
      {"ActivePage=http://other/cgi-bin/searcher", text(&SearchSettings::ActivePage),
       "http://other/cgi-bin/searcher"},
      {"ActivePage=" + std::string(1100, 'a'), [](const SearchSettings& s) { return std::to_string(s.ActivePage.size()); }, "1023"},
      {"UseOtherSearcher=x", text(&SearchSettings::UseOtherSearcher), "x"},
      {"", text(&SearchSettings::Searcher), "http://host/cgi-bin/searcher"},
      {"", text(&SearchSettings::Marker), "http://host/cgi-bin/marker"},
      {"", flag(&SearchSettings::MarkerGiven), "0"},
      {"Marker=http://host/view/marker", text(&SearchSettings::Marker), "http://host/view/marker"},
      {"Marker=http://host/view/marker", flag(&SearchSettings::MarkerGiven), "1"},
      {"Marker=", text(&SearchSettings::Marker), "http://host/cgi-bin/marker"},
      {"Searcher=searcher", text(&SearchSettings::Marker), "marker"},
      {"HomePage=index.htm", text(&SearchSettings::HomePageBase), ""},
      {"", text(&SearchSettings::HomePageBase), "http://host/search/"},
      {"", text(&SearchSettings::SystemAdm), "admin@host"},
      {"", text(&SearchSettings::TmplFirstQuery), ""},
      {"", text(&SearchSettings::TmplNextQuery), ""},
      {"TmplFirstQuery=tmpl\\first.htm", text(&SearchSettings::TmplFirstQuery), "tmpl/first.htm"},
      {"TmplFirstQuery=tmpl\\first.htm", text(&SearchSettings::TmplNextQuery), "tmpl/first.htm"},
      {"TmplFirstQuery=a.htm\nTmplNextQuery=", text(&SearchSettings::TmplNextQuery), ""},
      {"TmplNextQuery=next.htm", text(&SearchSettings::TmplNextQuery), "next.htm"},
      {"TmplZeroHit=z\\" + big5_dir, text(&SearchSettings::TmplZeroHit), "z/D:/\xb3\x5c/\xa5\x5c"},
      {"TmplError=C:\\err.htm", text(&SearchSettings::TmplError), "C:/err.htm"},
      {"TmplError=" + s259, [](const SearchSettings& s) { return std::to_string(s.TmplError.size()); }, "259"},
      {"", num(&SearchSettings::ParaPerPage), "15"},
      {"ParaPerPage=500", num(&SearchSettings::ParaPerPage), "500"},
      {"", text(&SearchSettings::MarkBeginText), "<FONT COLOR=#FF0000>"},
      {"", text(&SearchSettings::MarkEndText), "</FONT>"},
      {"MarkBeginText=<B>\nMarkEndText=</B>", [](const SearchSettings& s) { return s.MarkBeginText + s.MarkEndText; }, "<B></B>"},
      {"", text(&SearchSettings::PageSavePath), "/opt/qm/WebPages/"},
      {"PageSavePath=E:\\pages", text(&SearchSettings::PageSavePath), "E:/pages/"},
      {"", num(&SearchSettings::MaxParsingTime), "60"},
      {"MaxParsingTime=5", num(&SearchSettings::MaxParsingTime), "60"},
      {"MaxParsingTime=1000", num(&SearchSettings::MaxParsingTime), "600"},
      {"MaxParsingTime=10", num(&SearchSettings::MaxParsingTime), "10"},
      {"", text(&SearchSettings::ContentType), "text/html"},
      {"ContentType=text/html; charset=big5", text(&SearchSettings::ContentType), "text/html; charset=big5"},
      {"UseProxy=1\nProxyIP=10.0.0.1\nProxyPort=8080",
       [](const SearchSettings& s) { return std::to_string(s.UseProxy) + s.ProxyIP + ":" + std::to_string(s.ProxyPort); },
       "110.0.0.1:8080"},
      {"", [](const SearchSettings& s) { return std::to_string(s.UseProxy) + s.ProxyIP + std::to_string(s.ProxyPort); }, "00"},
      {"", num(&SearchSettings::DirDepth), "10"},
      {"DirDepth=0", num(&SearchSettings::DirDepth), "1"},
      {"", num(&SearchSettings::DownToDepth), "1"},
      {"DownToDepth=-4", num(&SearchSettings::DownToDepth), "1"},
      {"DownToDepth=3", num(&SearchSettings::DownToDepth), "3"},
      {"", num(&SearchSettings::TraverseOpt), "0"},
      {"TraverseOpt=4", num(&SearchSettings::TraverseOpt), "4"},
      {"TraverseOpt=5", num(&SearchSettings::TraverseOpt), "0"},
      {"TraverseOpt=-1", num(&SearchSettings::TraverseOpt), "0"},
      {"ShutdownModem=1\nConnection=0\nDialupEntry=Office",
       [](const SearchSettings& s) { return std::to_string(s.ShutdownModem) + std::to_string(s.Connection) + s.DialupEntry; },
       "10Office"},
  };
  config_.set_program_dir("/opt/qm/");
  for (const Case& c : cases) {
    std::string path = write("[VESPRIN]\n" + c.lines + "\n" + kRequiredKeys);
    config_.free();
    ids_.reset(false);
    ASSERT_TRUE(config_.load(path)) << c.lines;
    EXPECT_EQ(c.get(config_.settings), c.expected) << c.lines;
  }
}

TEST_F(ConfigTest, ContentTypeReachesTheHeader) {
  ASSERT_TRUE(config_.load(write(kRequired + "ContentType=text/plain\n")));
  EXPECT_EQ(qm::html_get_content_type(), "text/plain");
  EXPECT_TRUE(config_.cache_enabled() == false);
  ASSERT_TRUE(config_.reload(write(kRequired + "CacheFile=1\n")));
  EXPECT_TRUE(config_.cache_enabled());
}

TEST_F(ConfigTest, PageSavePathDefaultsBesideTheFile) {
  // A load that ends the run must not leave its folder behind for the next load.
  fs::create_directories(dir_ + "a");
  fs::create_directories(dir_ + "b");
  EXPECT_NE(load_fatal(write("[VESPRIN]\nHomePage=h\n", "a/vesprin.ini")), "");
  config_.free();
  ids_.reset(false);
  ASSERT_TRUE(config_.load(write(kRequired, "b/vesprin.ini")));
  EXPECT_EQ(config_.settings.PageSavePath, dir_ + "b/WebPages/");
}

TEST_F(ConfigTest, MissingRequiredKeyEndsTheSearchEngine) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"[VESPRIN]\nHomePage=h\nSystemAdm=a\n", "Fail to read INI file: [VESPRIN], Searcher\r\n"},
      {"[VESPRIN]\nSearcher=s\nSystemAdm=a\n", "Fail to read INI file: [VESPRIN], HomePage\r\n"},
      {"[VESPRIN]\nSearcher=s\nHomePage=h\n", "Fail to read INI file: [VESPRIN], SystemAdm\r\n"},
      {"[OTHER]\nSearcher=s\n", "Fail to read INI file: [VESPRIN], Searcher\r\n"},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(load_fatal(write(c.text), &output), c.message);
    EXPECT_NE(output.find(c.message + "\n"), std::string::npos) << output;
  }
  // An empty value is present: nothing ends.
  EXPECT_EQ(load_fatal(write("[VESPRIN]\nSearcher=s\nHomePage=\nSystemAdm=a\n")), "");
}

TEST_F(ConfigTest, MissingFileEndsTheSearchEngine) {
  const std::string path = dir_ + "none.ini";
  EXPECT_EQ(load_fatal(path), "Fail to open INI file! " + path);
  EXPECT_EQ(load_fatal(write("", "empty.ini")), "Fail to open INI file! " + dir_ + "empty.ini");
}

// The load itself returns in every program; the CGI program's entry then exits with 255.
TEST_F(ConfigTest, CgiProfileExitsOnAMissingKey) {
  const std::string path = write("[VESPRIN]\nHomePage=h\n");
  EXPECT_EXIT(
      {
        qm::fatal_set_profile(qm::FatalProfile::Cgi);
        if (!config_.load(path)) qm::fatal_text(config_.error());
        std::exit(0);
      },
      ::testing::ExitedWithCode(255), "");
}

TEST_F(ConfigTest, DatabaseEntryDefaultsBoundsAndRules) {
  using Get = std::function<std::string(const DatabaseEntry&)>;
  auto num = [](int DatabaseEntry::*f) -> Get { return [f](const DatabaseEntry& e) { return std::to_string(e.*f); }; };
  auto text = [](std::string DatabaseEntry::*f) -> Get { return [f](const DatabaseEntry& e) { return e.*f; }; };
  auto list = [](qm::StringList DatabaseEntry::*f) -> Get { return [f](const DatabaseEntry& e) { return list_text(e.*f); }; };
  struct Case {
    std::string lines;  // section DB-1
    Get get;
    std::string expected;
  };
  const Case cases[] = {
      {"", num(&DatabaseEntry::TitleParagraph), "1"},
      {"TitleParagraph=3", num(&DatabaseEntry::TitleParagraph), "3"},
      {"", num(&DatabaseEntry::MaxDisplayRows), "6"},
      {"MaxDisplayRows=0", num(&DatabaseEntry::MaxDisplayRows), "1"},
      {"MaxDisplayRows=9", num(&DatabaseEntry::MaxDisplayRows), "6"},
      {"MaxDisplayRows=4", num(&DatabaseEntry::MaxDisplayRows), "4"},
      {"", num(&DatabaseEntry::TraverseAll), "1"},
      {"TraverseAll=no", num(&DatabaseEntry::TraverseAll), "1"},
      {"TraverseAll=0", num(&DatabaseEntry::TraverseAll), "0"},
      {"", num(&DatabaseEntry::CgiEnabled), "1"},
      {"CgiEnabled=0", num(&DatabaseEntry::CgiEnabled), "0"},
      {"", num(&DatabaseEntry::UrlKeepCase), "1"},
      {"UrlIgnoreCase=1", num(&DatabaseEntry::UrlKeepCase), "0"},
      {"UrlIgnoreCase=0", num(&DatabaseEntry::UrlKeepCase), "1"},
      {"", num(&DatabaseEntry::SaveFile), "0"},
      {"SaveFile=1", num(&DatabaseEntry::SaveFile), "1"},
      {"TitleOnly=1", num(&DatabaseEntry::TitleOnly), "1"},
      {"", num(&DatabaseEntry::TitleOnly), "0"},
      {"IndexType=2", num(&DatabaseEntry::IndexType), "2"},
      {"", num(&DatabaseEntry::IndexType), "0"},
      {"", text(&DatabaseEntry::HtmlDir), ""},
      {"HtmlDir=D:\\docs", text(&DatabaseEntry::HtmlDir), "D:/docs/"},
      {"HtmlDir=D:\\\xb3\x5c", text(&DatabaseEntry::HtmlDir), "D:/\xb3\x5c/"},  // D:\許
      {"HtmlDir=HTTP://www.example.com/a\\b", text(&DatabaseEntry::HtmlDir), "http://www.example.com/a\\b"},
      {"HtmlDir=Https://x/", text(&DatabaseEntry::HtmlDir), "https://x/"},
      {"WorkDir=D:\\idx\\db1\\", text(&DatabaseEntry::WorkDir), "D:/idx/db1/"},
      {"WorkDir=", text(&DatabaseEntry::WorkDir), ""},
      {"HomeUrl=http://h/\nDescription=\xb8\xea\xae\xc6\xae\x77",
       [](const DatabaseEntry& e) { return e.HomeUrl + "|" + e.Description; }, "http://h/|\xb8\xea\xae\xc6\xae\x77"},
      {"", text(&DatabaseEntry::DefaultHTML), "index.htm"},
      {"DefaultHTML=default.asp", text(&DatabaseEntry::DefaultHTML), "default.asp"},
      {"", text(&DatabaseEntry::HomePageURL), "http://host/search/index.htm"},
      {"HomePageURL=http://db/", text(&DatabaseEntry::HomePageURL), "http://db/"},
      {"CodeConvert=gb\nNotesDomino=n\nTitleTag=H1",
       [](const DatabaseEntry& e) { return e.CodeConvert + e.NotesDomino + e.TitleTag; }, "gbnH1"},
      {"DataInputPort=/opt/qm/libpostbridge.so;mbox;/idx/",
       text(&DatabaseEntry::DataInputPort), "/opt/qm/libpostbridge.so;mbox;/idx/"},
      {"", text(&DatabaseEntry::ODBC_DSN), ""},
      {"DB_Kind=ODBC\nODBC_DSN=dsn\nDB_User=u\nDB_Passwd=p\nDB_Table=t\nTable_Key=k\nTable_Doc=d\nKey_Data_Type=int\nASP=http://a/q.asp",
       [](const DatabaseEntry& e) {
         return e.DB_Kind + e.ODBC_DSN + e.DB_User + e.DB_Passwd + e.DB_Table + e.Table_Key + e.Table_Doc +
                e.Key_Data_Type + e.ASP;
       },
       "ODBCdsnuptkdinthttp://a/q.asp"},
      {"", list(&DatabaseEntry::MetaTag), ""},
      {"MetaTag=author, keywords", list(&DatabaseEntry::MetaTag), "author,keywords"},
      {"", list(&DatabaseEntry::LocalFileType), "htm,html,txt"},
      {"LocalFileType=", list(&DatabaseEntry::LocalFileType), "htm,html,txt"},
      {"LocalFileType=*.htm; *.txt", list(&DatabaseEntry::LocalFileType), "htm,txt"},
      {"LocalFileType=*.,doc,,;pdf", list(&DatabaseEntry::LocalFileType), "*.,doc,pdf"},
      {"", list(&DatabaseEntry::RemoteFileType), "htm,html,txt"},
      {"RemoteFileType=txt,asp,cgi", list(&DatabaseEntry::RemoteFileType), "asp,cgi,txt"},
  };
  for (const Case& c : cases) {
    std::string path = write(kRequired + "[INDEX]\n1=1\n[DB-1]\n" + c.lines + "\n");
    config_.free();
    ids_.reset(false);
    ASSERT_TRUE(config_.load(path)) << c.lines;
    ASSERT_EQ(config_.table.entries.size(), 1u);
    EXPECT_EQ(config_.table.entries[0].Id, 1);
    EXPECT_EQ(c.get(config_.table.entries[0]), c.expected) << c.lines;
  }
}

TEST_F(ConfigTest, TableFollowsTheIdSet) {
  const std::string path = write(kRequired +
                                 "[INDEX]\n3=1\n5=0\n9=1\n"
                                 "[DB-3]\nDescription=three\n[DB-5]\nDescription=five\n[DB-9]\nDescription=nine\n"
                                 "[StopPath-9]\n1=/a/\n2=/b/\n4=/d/\n[Alias-9]\n1=nine\n"
                                 "[StopPath-3]\n2=/x/\n");
  // All: the active databases of INDEX.
  ASSERT_TRUE(config_.load(path));
  const qm::DatabaseTable& t = config_.table;
  ASSERT_EQ(t.entries.size(), 2u);
  EXPECT_EQ(t.entries[0].Description, "three");
  EXPECT_EQ(t.entries[1].Description, "nine");
  EXPECT_EQ(t.slot_of(9), 1);
  ASSERT_EQ(t.StopPathLists.size(), 2u);
  EXPECT_TRUE(t.StopPathLists[0].empty());  // the list ends at its first missing number
  EXPECT_EQ(std::vector<std::string>(t.StopPathLists[1].begin(), t.StopPathLists[1].end()),
            (std::vector<std::string>{"/a/", "/b/"}));
  EXPECT_EQ(std::vector<std::string>(t.AliasLists[1].begin(), t.AliasLists[1].end()),
            (std::vector<std::string>{"nine"}));

  // A requested set: 3 and 7, 7 missing from INDEX.
  config_.free();
  ids_.reset(false);
  ids_.add(0, true);
  ids_.add(7, true);
  ids_.add(3, true);
  EXPECT_FALSE(config_.load(path));
  EXPECT_EQ(config_.table.entries[0].Description, "three");  // slot 0 was read
  EXPECT_EQ(config_.table.entries[1].Description, "");

  // An inactive database requested: refused unless inactive ones are included.
  config_.free();
  ids_.reset(false);
  ids_.add(5, true);
  EXPECT_FALSE(config_.load(path));
  config_.free();
  ids_.reset(true);
  ids_.add(5, true);
  ASSERT_TRUE(config_.load(path));
  EXPECT_EQ(config_.table.entries[0].Description, "five");

  // Reloading takes all of INDEX again, inactive ones included now.
  ASSERT_TRUE(config_.reload(path));
  EXPECT_EQ(ids_.ids(), (std::vector<uint16_t>{3, 5, 9}));
  EXPECT_EQ(config_.table.entries.size(), 3u);

  config_.free();
  EXPECT_TRUE(config_.table.entries.empty());
  EXPECT_TRUE(config_.table.StopPathLists.empty());
  EXPECT_EQ(ids_.count(), 3u);  // the set itself stays
}

TEST_F(ConfigTest, ReadDatabaseFromTheSharedTree) {
  qm::ini_tree().parse("[INDEX]\n4=1\n[DB-4]\nWorkDir=C:\\w\n");
  ASSERT_TRUE(config_.read_database(qm::ini_tree(), 0, 4));
  EXPECT_EQ(config_.table.entries[0].WorkDir, "C:/w/");
  EXPECT_FALSE(config_.read_database(qm::ini_tree(), 1, 5));
  EXPECT_EQ(config_.table.entries[1].Id, 5);
}

TEST_F(ConfigTest, DesktopRules) {
  qm::common_set_desktop_profile(true);
  config_.set_program_dir("/opt/qm/");
  // No file: 0, and the run goes on.
  EXPECT_FALSE(config_.load(dir_ + "none.ini"));

  const std::string path = write(
      "[VESPRIN]\nTextExtName=log, ini,,me\nMatchRate=10\n"
      "[INDEX]\n1=1\n2=0\n"
      "[DB-1]\nDataInputPort=12;x\nTitleTag=H1\nLocalFileType=doc\nHtmlDir=D:\\mail\n"
      "[DB-2]\nDefaultHTML=home.htm\n");
  ids_.reset(true);
  ids_.add(1, true);
  ids_.add(2, false);
  ids_.add(3, true);  // no INDEX entry: an empty slot, loading goes on
  ASSERT_TRUE(config_.load(path));
  const SearchSettings& s = config_.settings;
  EXPECT_EQ(list_text(s.TextExtName), "ini,log,me");
  EXPECT_EQ(s.PageSavePath, "/opt/qm/WebPages/");
  EXPECT_EQ(s.MatchRate, 0);  // not read by the desktop
  const auto& e = config_.table.entries;
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].DataInputPortValue, 12);
  EXPECT_EQ(e[0].TitleTag, "");
  EXPECT_TRUE(e[0].LocalFileType.empty());
  EXPECT_EQ(e[0].DefaultHTML, "index.html");
  EXPECT_EQ(e[0].HtmlDir, "D:/mail/");
  EXPECT_EQ(e[1].DefaultHTML, "home.htm");
  EXPECT_EQ(e[2].Id, 3);
  EXPECT_EQ(e[2].Description, "");

  // Missing required search-engine keys do not matter to the desktop.
  EXPECT_TRUE(config_.reload(write("[VESPRIN]\nPageSavePath=" + std::string(1100, 'p') + "\n")));
  EXPECT_EQ(config_.settings.PageSavePath.size(), 1024u);  // 1023 and the slash
}

TEST(ConfigHelpers, ListsAndKinds) {
  struct Case {
    const char* list;
    const char* name;
    int expected;
  };
  const Case cases[] = {
      {"htm,html,txt", "a.HTM", 1},      {"htm,html,txt", "a.doc", 0},
      {"htm,html,txt", "README", 0},     {"*.,txt", "README", 1},
      {"*.htm;*.txt", "x.txt", 1},       {"*.htm;*.txt", "x.tar.htm", 1},
      {"", "a.htm", 0},                  {"a b;c", "x.b", 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qm::db_has_extension(qm::string_split_list(c.list), c.name), c.expected) << c.list << " " << c.name;
  EXPECT_TRUE(qm::string_split_list(" ,; ").empty());
  // Only the first 1,024 bytes are split.
  std::string long_list(1020, ',');
  long_list += "abcdefgh";
  EXPECT_EQ(list_text(qm::string_split_list(long_list)), "abcd");
  EXPECT_EQ(qm::db_is_odbc("odbc"), 1);
  EXPECT_EQ(qm::db_is_odbc("OtherDB"), 1);
  EXPECT_EQ(qm::db_is_odbc(""), 0);
  EXPECT_EQ(qm::db_is_odbc("ODBC2"), 0);
}
