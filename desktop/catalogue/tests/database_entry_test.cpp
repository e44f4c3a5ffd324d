// Tests of a database's entry for the add/edit form: LocalFileType read into the type
// boxes and written back, the checks and their message numbers in order, the index
// folder in use, document and mail entries written, each file read back by Python's
// configparser as an independent reader.
#include "desktop/catalogue/database_entry.h"

#include <cstdio>

#include "desktop/catalogue/tests/catalogue_fixture.h"

namespace qm::test {
namespace {

class DatabaseEntryTest : public CatalogueTest {
 protected:
  // The value of section/key as Python's configparser reads the file ("<none>" when
  // absent).
  std::string py_value(const std::string& section, const std::string& key) {
    const std::string cmd =
        "python3 -c \"import configparser,sys; c=configparser.ConfigParser(interpolation=None, "
        "strict=False); c.optionxform=str; c.read(sys.argv[1], encoding='latin-1'); "
        "print(c.get(sys.argv[2], sys.argv[3], fallback='<none>'), end='')\" '" +
        (dir_ / "vesprin.ini") + "' '" + section + "' '" + key + "'";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char buf[512];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
      pclose(p);
    }
    return out;
  }
  DatabaseEntryFields docs() {
    DatabaseEntryFields f;
    f.name = "Docs";
    f.doc_folder = dir_.sub("docs");
    f.index_folder = dir_.path() + "DB/new";
    return f;
  }
};

TEST_F(DatabaseEntryTest, DocumentTypesWrittenInOrder) {
  write_config({});
  DatabaseCatalog cat(dir_.path());
  DatabaseEntryFields f = docs();
  f.pgx = f.doc = f.xls = f.ppt = f.pdf = f.rtf = false;
  ASSERT_EQ(SaveDatabaseEntry(cat, 1, f, true), 0);
  EXPECT_EQ(py_value("DB-1", "LocalFileType"), "txt,htm,html");
  EXPECT_EQ(py_value("INDEX", "1"), "1");
  EXPECT_EQ(py_value("DB-1", "Description"), "Docs");
  EXPECT_EQ(py_value("DB-1", "WorkDir"), dir_.path() + "DB/new/");
  EXPECT_EQ(py_value("DB-1", "HtmlDir"), dir_.path() + "docs/");
  EXPECT_EQ(py_value("DB-1", "Mail"), "<none>");
}

TEST_F(DatabaseEntryTest, OtherExtensionsLoadedAndSavedBack) {
  write_config({{1, "Old", true, "LocalFileType=txt,log,htm\n"}});
  DatabaseCatalog cat(dir_.path());
  DatabaseEntryFields f;
  ASSERT_TRUE(LoadDatabaseEntry(cat, 1, f));
  EXPECT_TRUE(f.txt && f.htm);
  EXPECT_FALSE(f.pgx || f.doc || f.xls || f.ppt || f.pdf || f.rtf);
  EXPECT_EQ(f.other_ext, "log");
  f.doc_folder = dir_.sub("docs");
  ASSERT_EQ(SaveDatabaseEntry(cat, 1, f, false), 0);
  EXPECT_EQ(py_value("DB-1", "LocalFileType"), "txt,htm,html,log");
  f.txt = false;
  ASSERT_EQ(SaveDatabaseEntry(cat, 1, f, false), 0);
  EXPECT_EQ(py_value("DB-1", "LocalFileType"), "htm,html");
}

TEST_F(DatabaseEntryTest, ChecksInOrder) {
  write_config({{1, "Taken"}});
  DatabaseCatalog cat(dir_.path());
  struct Case {
    const char* what;
    void (*change)(DatabaseEntryFields&);
    int want;
  } cases[] = {
      {"no folder", [](DatabaseEntryFields& f) { f.doc_folder = "/no/such/dir"; f.name = ""; }, 9016},
      {"name 0", [](DatabaseEntryFields& f) { f.name = " 0 "; f.index_folder = ""; }, 9011},
      {"no index", [](DatabaseEntryFields& f) { f.index_folder = "0"; }, 9013},
      {"no types",
       [](DatabaseEntryFields& f) { f.txt = f.htm = f.pgx = f.doc = f.xls = f.ppt = f.pdf = f.rtf = false; },
       9014},
      {"mail name", [](DatabaseEntryFields& f) { f.mail = true; f.name = ""; f.mail_file = ""; }, 9011},
      {"mail file", [](DatabaseEntryFields& f) { f.mail = true; f.mail_file = " "; f.index_folder = ""; }, 9028},
      {"mail index", [](DatabaseEntryFields& f) { f.mail = true; f.mail_file = "/m"; f.index_folder = ""; }, 9013},
      // Another database's name: the tree would show two of it.
      {"name in use", [](DatabaseEntryFields& f) { f.name = " Taken "; }, 1423},
      {"mail name in use", [](DatabaseEntryFields& f) { f.mail = true; f.mail_file = "/m"; f.name = "Taken"; }, 1423},
      {"passes", [](DatabaseEntryFields&) {}, 0},
  };
  for (const auto& c : cases) {
    DatabaseEntryFields f = docs();
    c.change(f);
    EXPECT_EQ(CheckDatabaseEntry(cat, f, true, "", 2), c.want) << c.what;
    if (c.want == 9016) {
      EXPECT_EQ(f.doc_folder, "");
    }
  }
}

TEST_F(DatabaseEntryTest, IndexFolderInUseComparesNormalPaths) {
  write_config({{1, "One"}});
  DatabaseCatalog cat(dir_.path());
  DatabaseEntryFields f = docs();
  f.index_folder = work_dir(1);
  f.index_folder.pop_back();  // without the trailing "/"
  EXPECT_EQ(SaveDatabaseEntry(cat, 2, f, true), 9018);
  EXPECT_EQ(py_value("DB-2", "Description"), "<none>");
  // Editing database 1 with its own folder in another spelling is no move.
  EXPECT_EQ(SaveDatabaseEntry(cat, 1, f, false), 0);
}

TEST_F(DatabaseEntryTest, MailEntries) {
  write_config({});
  DatabaseCatalog cat(dir_.path());
  DatabaseEntryFields f;
  f.mail = true;
  f.name = "Store";
  f.mail_file = "Inbox";
  f.index_folder = dir_.path() + "DB/store";
  f.mail_type = 4;
  f.mail_key = std::string(kMailKeyPrefix) + "k/inbox";
  f.attach = true;
  ASSERT_EQ(SaveDatabaseEntry(cat, 3, f, true), 0);
  const std::string work = dir_.path() + "DB/store/";
  EXPECT_EQ(py_value("DB-3", "DataInputPort"),
            dir_.path() + "libpostbridge.so;outlook:k/inbox;" + work + ";Inbox");
  EXPECT_EQ(py_value("DB-3", "MailKey"), "outlook:k/inbox");
  EXPECT_EQ(py_value("DB-3", "Mail"), "1");
  EXPECT_EQ(py_value("DB-3", "MailType"), "4");
  EXPECT_EQ(py_value("DB-3", "Attach"), "1");
  EXPECT_EQ(py_value("DB-3", "Group"), "<none>");

  DatabaseEntryFields g;
  ASSERT_TRUE(LoadDatabaseEntry(cat, 3, g));
  EXPECT_TRUE(g.mail && g.attach);
  EXPECT_EQ(g.mail_key, "outlook:k/inbox");
  g.mail_type = 0;
  g.mail_file = "/mail/in.mbx";
  ASSERT_EQ(SaveDatabaseEntry(cat, 3, g, false), 0);
  EXPECT_EQ(py_value("DB-3", "DataInputPort"), dir_.path() + "libpostbridge.so;/mail/in.mbx;" + work);
}

TEST_F(DatabaseEntryTest, ConsecutiveIdsForSeveralStores) {
  write_config({{1, "One"}});
  DatabaseCatalog cat(dir_.path());
  std::vector<int> ids;
  for (const char* name : {"a", "b", "c"}) {
    cat.OpenConfig();
    const int id = cat.NextFreeDatabaseId();
    cat.CloseConfig();
    DatabaseEntryFields f;
    f.mail = true;
    f.name = name;
    f.mail_file = std::string("/m/") + name;
    f.index_folder = dir_.path() + "DB/" + name;
    ASSERT_EQ(SaveDatabaseEntry(cat, id, f, true), 0) << name;
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(py_value("DB-4", "Description"), "c");
}

}  // namespace
}  // namespace qm::test
