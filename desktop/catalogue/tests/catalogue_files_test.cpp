// Tests of the catalogue's changes on disk: deleting a database removes exactly its
// files (sentinels, links, attachments, shared folders) and its entry; clearing the
// cache never touches an empty, root or home folder and removes only cache files;
// renaming; default names and the UTF-8 index folder of a Big5 name.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "desktop/catalogue/catalogue.h"
#include "desktop/catalogue/tests/catalogue_fixture.h"

namespace {

namespace fs = std::filesystem;
using qm::DatabaseCatalog;
using qm::test::write_file;

class CatalogueFiles : public qm::test::CatalogueTest {
 protected:
  // Every file an index build leaves, in mixed spellings, plus writer leftovers.
  void fill_index_folder(const std::string& w) {
    for (const char* name :
         {"chash.db", "ehash.db", "cindex.db", "cross.db", "eindex.db", "esign.db", "fulltext.db",
          "path.db", "chash.db.tmp", "fulltext.db.tmp", "corvdoc.pi", "corvdoc.map", "property.db",
          "MailProperty.db", "ATTACHIDX.DB", "AttachInfo.db", "history.db", "clist.db", "rehash.db",
          "cross.db.4242-0.tmp", "run-c-3.4242-0.tmp", ".property.db.tmp123456"})
      write_file(w + name, "x");
  }
  std::vector<std::string> listing(const std::string& dir) {
    std::vector<std::string> names;
    if (!fs::exists(dir)) return names;
    for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(CatalogueFiles, DeletingADatabaseRemovesExactlyItsFiles) {
  write_config({{1, "Docs"}, {2, "Mail", true, "Mail=1\nAttach=1\n"}, {3, "Keep"}});
  // Entries and lists of database 1 in the file.
  std::string ini = qm::test::read_file(dir_ / "vesprin.ini");
  write_file(dir_ / "vesprin.ini", ini + "[StopPath-1]\n1=/x\n[Alias-1]\n1=a\n");

  qm::test::TempDir outside;
  write_file(outside / "precious.txt", "keep me");
  // Document database: a sentinel of the user's, an Attach/ folder and a link outside.
  const std::string w1 = work_dir(1);
  fill_index_folder(w1);
  write_file(w1 + "notes.txt", "sentinel");
  dir_.sub("DB/db-1/Attach");
  write_file(w1 + "Attach/1~a.doc", "x");
  ASSERT_EQ(symlink(outside.dir().c_str(), (w1 + "cross.db.link").c_str()), 0);
  std::remove((w1 + "path.db").c_str());
  ASSERT_EQ(symlink((outside / "precious.txt").c_str(), (w1 + "path.db").c_str()), 0);

  DatabaseCatalog catalog(dir_.path());
  ASSERT_TRUE(catalog.DeleteDatabase(1));
  EXPECT_EQ(listing(w1), (std::vector<std::string>{"Attach", "cross.db.link", "notes.txt"}));
  EXPECT_EQ(qm::test::read_file(outside / "precious.txt"), "keep me");  // a link went as a link
  EXPECT_FALSE(catalog.HasDatabase(1));
  EXPECT_FALSE(ini_value("INDEX", "1"));
  EXPECT_FALSE(ini_value("DB-1", "Description"));
  EXPECT_FALSE(ini_value("StopPath-1", "1"));
  EXPECT_TRUE(ini_value("DB-3", "Description"));
  EXPECT_FALSE(catalog.DeleteDatabase(1));  // gone already

  // Mail database: its Attach/ goes (a link inside it as a link), then the empty folder.
  const std::string w2 = work_dir(2);
  fill_index_folder(w2);
  dir_.sub("DB/db-2/attach/sub");
  write_file(w2 + "attach/sub/2~b.txt", "x");
  ASSERT_EQ(symlink(outside.dir().c_str(), (w2 + "attach/out").c_str()), 0);
  ASSERT_TRUE(catalog.DeleteDatabase(2));
  EXPECT_FALSE(fs::exists(w2));
  EXPECT_EQ(qm::test::read_file(outside / "precious.txt"), "keep me");
  EXPECT_TRUE(catalog.HasDatabase(3));
  EXPECT_TRUE(fs::exists(work_dir(3) + "fulltext.db"));
}

TEST_F(CatalogueFiles, ASharedOrLinkedIndexFolderIsLeftWhole) {
  write_config({{1, "One"}, {2, "Two"}});
  // Database 2 names database 1's folder in another spelling.
  std::string ini = qm::test::read_file(dir_ / "vesprin.ini");
  size_t at = ini.find("WorkDir=" + work_dir(2));
  ini.replace(at, 8 + work_dir(2).size(), "WorkDir=" + dir_.path() + "DB/./db-1//");
  write_file(dir_ / "vesprin.ini", ini);
  DatabaseCatalog catalog(dir_.path());
  ASSERT_TRUE(catalog.DeleteDatabase(2));
  EXPECT_TRUE(fs::exists(work_dir(1) + "fulltext.db"));

  // A WorkDir that is itself a link to an outside folder: nothing is removed through it.
  qm::test::TempDir outside;
  write_file(outside / "fulltext.db", "other index");
  write_config({{4, "Linked"}});
  fs::remove_all(work_dir(4));
  ASSERT_EQ(symlink(outside.dir().c_str(), work_dir(4).substr(0, work_dir(4).size() - 1).c_str()), 0);
  DatabaseCatalog linked(dir_.path());
  ASSERT_TRUE(linked.DeleteDatabase(4));
  EXPECT_EQ(qm::test::read_file(outside / "fulltext.db"), "other index");
}

TEST_F(CatalogueFiles, ClearCacheRemovesOnlyCacheFilesAndNeverGuardedFolders) {
  qm::test::TempDir home;
  const char* old_home = getenv("HOME");
  std::string saved = old_home ? old_home : "";
  setenv("HOME", home.dir().c_str(), 1);
  write_file(home / "nos_keyword", "x");
  write_file(dir_ / "nosfile", "x");  // in the program folder, reached by an empty value

  for (std::string value : {std::string(), std::string("/"), home.path(), home.dir() + "/sub/..",
                            std::string("/.")}) {
    write_config({}, "CacheDir=" + value + "\n");
    DatabaseCatalog catalog(dir_.path());
    EXPECT_FALSE(catalog.ClearCache()) << value;
  }
  EXPECT_TRUE(fs::exists(home / "nos_keyword"));
  EXPECT_TRUE(fs::exists(dir_ / "nosfile"));

  const std::string cache = dir_.sub("Cache");
  write_file(cache + "nos123", "x");
  write_file(cache + "NUM9", "x");
  write_file(cache + "readme.txt", "keep");
  write_config({}, "CacheDir=" + cache + "\n");
  DatabaseCatalog catalog(dir_.path());
  EXPECT_TRUE(catalog.ClearCache());
  EXPECT_EQ(listing(cache), (std::vector<std::string>{"readme.txt"}));
  fs::remove(cache + "readme.txt");
  EXPECT_TRUE(catalog.ClearCache());
  EXPECT_FALSE(fs::exists(cache));

  if (old_home)
    setenv("HOME", saved.c_str(), 1);
  else
    unsetenv("HOME");
}

TEST_F(CatalogueFiles, RenameAndNewDatabaseNames) {
  write_config({{1, "One"}, {2, "Two"}});
  DatabaseCatalog catalog(dir_.path());
  ASSERT_TRUE(catalog.RenameDatabase(2, "\xA4\xA4\xA4\xE5"));
  EXPECT_EQ(ini_value("DB-2", "Description"), "\xA4\xA4\xA4\xE5");  // stays Big5
  EXPECT_FALSE(catalog.RenameDatabase(7, "x"));
  EXPECT_FALSE(ini_value("DB-7", "Description"));
  EXPECT_EQ(catalog.DefaultDatabaseName(), "DB3");
  EXPECT_EQ(catalog.DefaultIndexDirectory(), dir_.path() + "DB/db-3/");

  struct Case {
    std::string name;
    std::string folder;
  } cases[] = {
      {"Mail box", "Mail box"},
      {"\xA4\xA4\xA4\xE5", "\xE4\xB8\xAD\xE6\x96\x87"},       // 中文 in UTF-8
      {"\xB3\x5C\xA5\x69", "\xE8\xA8\xB1\xE5\x8F\xAF"},       // 許可: 0x5C as a trail byte
      {"a/b\\c", "a_b\\c"},
      {"tab\there\x01", "tab_here_"},
      {"  padded  ", "padded"},
      {"", "db-7"},
      {"..", "db-7"},
      {"   ", "db-7"},
      {"\xFF", "_"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(catalog.IndexDirectoryFor(c.name, 7), dir_.path() + "DB/" + c.folder + "/") << c.name;
  std::string long_name;
  for (int i = 0; i < 100; ++i) long_name += "\xA4\xA4";
  std::string folder = catalog.IndexDirectoryFor(long_name, 7);
  EXPECT_EQ(folder.size(), dir_.path().size() + 3 + 255 + 1);  // 85 characters of 3 bytes
}

}  // namespace
