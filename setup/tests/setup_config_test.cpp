// Tests of the default configuration keys, the home page read back and the uninstall
// entry: the derivation of the seven keys from the ini path and the template directory
// (plain and backslash forms), the file written over the common ini engine and read back
// by the search engine's loader, and failed writes that leave the old file whole.
#include "setup/setup_config.h"

#include <gtest/gtest.h>

#include "common/config.h"
#include "common/dbid.h"
#include "common/ini.h"
#include "platform/paths.h"
#include "setup/tests/setup_test_util.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;

std::string key_of(const std::vector<std::pair<std::string, std::string>>& keys, const std::string& k) {
  for (const auto& [name, value] : keys)
    if (name == k) return value;
  return "<absent>";
}

TEST(SetupDefaultKeys, DerivedFromIniPathAndTemplateDirectory) {
  struct Case {
    const char* ini;
    const char* templates;
    bool exe;
    const char* cache;
    const char* error;
    const char* home;
    const char* searcher;
    const char* admin;
    const char* eng;
  };
  const Case cases[] = {
      {"/srv/vesprin.ini", "/web/search", false, "/srv/Cache/", "/web/search/error.htm",
       "http://h/search/index.htm", "/srv/searcher", "/srv/sysadm", "/srv/engfile.txt"},
      {"\\srv\\vesprin.ini", "\\web\\search", false, "/srv/Cache/", "/web/search/error.htm",
       "http://h/search/index.htm", "/srv/searcher", "/srv/sysadm", "/srv/engfile.txt"},
      // "Scripts" in the middle of the path: the script path begins there.
      {"/inetpub/Scripts/qm/vesprin.ini", "/web/search/", false, "/inetpub/Scripts/qm/Cache/",
       "/web/search/error.htm", "http://h/search/index.htm", "/Scripts/qm/searcher",
       "/Scripts/qm/sysadm", "/Scripts/qm/engfile.txt"},
      {"\\inetpub\\Scripts\\qm\\vesprin.ini", "\\web\\search", true, "/inetpub/Scripts/qm/Cache/",
       "/web/search/error.htm", "http://h/search/index.htm", "/Scripts/qm/searcher.exe",
       "/Scripts/qm/sysadm.exe", "/Scripts/qm/engfile.txt"},
      // Debian serves /usr/lib/cgi-bin under "/cgi-bin/".
      {"/usr/lib/cgi-bin/qm/vesprin.ini", "/var/www/html/search", false,
       "/usr/lib/cgi-bin/qm/Cache/", "/var/www/html/search/error.htm",
       "http://h/search/index.htm", "/cgi-bin/qm/searcher", "/cgi-bin/qm/sysadm",
       "/cgi-bin/qm/engfile.txt"},
      {"/srv/vesprin.ini", "/web/search", true, "/srv/Cache/", "/web/search/error.htm",
       "http://h/search/index.htm", "/srv/searcher.exe", "/srv/sysadm.exe", "/srv/engfile.txt"},
      // A Big5 folder name whose trail byte is 0x5C (功) keeps it; only separators turn.
      {"\\srv\\\xa5\x5c\\vesprin.ini", "\\web\\\xa5\x5c", false, "/srv/\xa5\x5c/Cache/",
       "/web/\xa5\x5c/error.htm", "http://h/\xa5\x5c/index.htm", "/\xa5\x5c/searcher",
       "/\xa5\x5c/sysadm", "/\xa5\x5c/engfile.txt"},
      // A file in the root directory.
      {"/vesprin.ini", "/search", false, "/Cache/", "/search/error.htm",
       "http://h/search/index.htm", "/searcher", "/sysadm", "/engfile.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ini) + " , " + c.templates);
    auto keys = setup_default_keys(c.ini, c.templates, c.exe, "h");
    ASSERT_EQ(keys.size(), 7u);
    const char* order[] = {"TmplFirstQuery", "TmplError", "HomePage", "CacheDir",
                           "Searcher",       "SystemAdm", "EngFile"};
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(keys[i].first, order[i]);
    EXPECT_EQ(key_of(keys, "CacheDir"), c.cache);
    EXPECT_EQ(key_of(keys, "TmplError"), c.error);
    EXPECT_EQ(key_of(keys, "TmplFirstQuery"),
              std::string(c.error).replace(std::string(c.error).rfind('/') + 1, 9, "search_result.htm"));
    EXPECT_EQ(key_of(keys, "HomePage"), c.home);
    EXPECT_EQ(key_of(keys, "Searcher"), c.searcher);
    EXPECT_EQ(key_of(keys, "SystemAdm"), c.admin);
    EXPECT_EQ(key_of(keys, "EngFile"), c.eng);
  }
}

TEST(SetupDefaultKeys, RelativePathsAreTakenFromTheCurrentDirectory) {
  TempDir dir;
  std::string old = platform_current_dir();
  ASSERT_EQ(::chdir(dir.dir().c_str()), 0);
  auto keys = setup_default_keys("vesprin.ini", "search", false, "h");
  ASSERT_EQ(::chdir(old.c_str()), 0);
  EXPECT_EQ(key_of(keys, "CacheDir"), dir.path() + "Cache/");
  EXPECT_EQ(key_of(keys, "TmplError"), dir.path() + "search/error.htm");
  // A bare directory name no longer loses its "/" in the address.
  EXPECT_EQ(key_of(keys, "HomePage"), "http://h/search/index.htm");
}

TEST(SetupDefaultKeys, SplitAndHost) {
  EXPECT_FALSE(setup_split_pair("no comma"));
  auto p = setup_split_pair("/a/v.ini,/b,c");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->first, "/a/v.ini");
  EXPECT_EQ(p->second, "/b,c");
  EXPECT_FALSE(setup_host_name().empty());
}

TEST(SetupWriteDefaultIni, KeepsOtherSectionsAndTheLoaderReadsTheKeys) {
  TempDir dir;
  const std::string ini = dir / "vesprin.ini";
  write_file(ini, "[VESPRIN]\nParaPerPage=7\nSearcher=/old\n\n[INDEX]\n1=1\n\n[DB-1]\nHtmlDir=/docs\n"
                  "WorkDir=" + dir.path() + "db\n");
  ASSERT_TRUE(setup_write_default_ini(ini, dir / "www/search", false));

  IniTree tree;
  ASSERT_TRUE(tree.load(ini));
  EXPECT_EQ(tree.get("VESPRIN", "ParaPerPage").value_or(""), "7");
  EXPECT_EQ(tree.get("DB-1", "HtmlDir").value_or(""), "/docs");
  EXPECT_EQ(tree.get("INDEX", "1").value_or(""), "1");
  EXPECT_EQ(tree.get("VESPRIN", "EngFile").value_or(""), setup_script_path(dir.dir()) + "/engfile.txt");
  // The new keys follow the old ones in the order written; Searcher keeps its place.
  std::vector<std::string> names;
  for (const auto& k : tree.sections()[0].keys) names.push_back(k.name);
  EXPECT_EQ(names, (std::vector<std::string>{"ParaPerPage", "Searcher", "TmplFirstQuery", "TmplError",
                                             "HomePage", "CacheDir", "SystemAdm", "EngFile"}));

  DatabaseIdSet ids;
  Config config(ids);
  ASSERT_TRUE(config.load(ini));
  const SearchSettings& s = config.settings;
  EXPECT_EQ(s.TmplFirstQuery, dir.path() + "www/search/search_result.htm");
  EXPECT_EQ(s.TmplError, dir.path() + "www/search/error.htm");
  EXPECT_EQ(s.HomePage, "http://" + setup_host_name() + "/search/index.htm");
  EXPECT_EQ(s.HomePageBase, "http://" + setup_host_name() + "/search/");
  EXPECT_EQ(s.CacheDir, dir.path() + "Cache/");
  EXPECT_EQ(s.Searcher, setup_script_path(dir.dir()) + "/searcher");
  EXPECT_EQ(s.SystemAdm, setup_script_path(dir.dir()) + "/sysadm");
  EXPECT_EQ(setup_read_key(ini, "HomePage"), s.HomePage);
}

TEST(SetupWriteDefaultIni, FailuresLeaveTheOldFileWhole) {
  TempDir dir;
  const std::string ini = dir / "vesprin.ini";
  const std::string old = "[VESPRIN]\nSearcher=/old\n";
  write_file(ini, old);
  // No write can get past a few bytes, so the replacement fails.
  EXPECT_EQ(test::run_with_file_limit(8, [&] { return setup_write_default_ini(ini, "/web/search", false); }), 0);
  EXPECT_EQ(read_file(ini), old);
  // A path that names a directory is not a file to replace.
  const std::string sub = dir.sub("dir.ini");
  EXPECT_FALSE(setup_write_default_ini(sub.substr(0, sub.size() - 1), "/web/search", false));
  // A new file in a missing directory cannot be written.
  EXPECT_FALSE(setup_write_default_ini(dir / "missing/vesprin.ini", "/web/search", false));
}

TEST(SetupWriteDefaultIni, NewFileAndHomePageReadBack) {
  TempDir dir;
  const std::string ini = dir / "vesprin.ini";
  EXPECT_EQ(setup_read_key(ini, "HomePage"), "");
  EXPECT_FALSE(setup_sysadm_url(ini));
  ASSERT_TRUE(setup_write_default_ini(ini, "/web/search", true));
  EXPECT_EQ(setup_read_key(ini, "Searcher"), setup_script_path(dir.dir()) + "/searcher.exe");
  auto admin = setup_sysadm_url(ini);
  ASSERT_TRUE(admin);
  EXPECT_EQ(*admin, "http://" + setup_host_name() + "/search/sysadm.htm");
  write_file(ini, "[VESPRIN]\nHomePage=nothing\n");
  EXPECT_FALSE(setup_sysadm_url(ini));
}

TEST(SetupUninstall, KeepsTheOldCommandOnlyWhenThereIsOne) {
  TempDir dir;
  const std::string file = dir / "uninstall.ini";
  ASSERT_TRUE(setup_keep_uninstall(file, "/opt/qm/uninstall one"));
  IniTree tree;
  ASSERT_TRUE(tree.load(file));
  EXPECT_EQ(tree.get("Uninstall", "UninstallString").value_or(""), "/opt/qm/uninstall one");
  EXPECT_FALSE(tree.get("Uninstall", "UninstallString2"));

  write_file(file, "[Other]\nx=1\n[Uninstall]\nUninstallString=old command\n");
  ASSERT_TRUE(setup_keep_uninstall(file, "new command"));
  ASSERT_TRUE(tree.load(file));
  EXPECT_EQ(tree.get("Uninstall", "UninstallString").value_or(""), "new command");
  EXPECT_EQ(tree.get("Uninstall", "UninstallString2").value_or(""), "old command");
  EXPECT_EQ(tree.get("Other", "x").value_or(""), "1");

  EXPECT_FALSE(setup_keep_uninstall(dir / "missing/uninstall.ini", "x"));
  const std::string before = read_file(file);
  EXPECT_EQ(test::run_with_file_limit(8, [&] { return setup_keep_uninstall(file, "third"); }), 0);
  EXPECT_EQ(read_file(file), before);
}

}  // namespace
}  // namespace qm
