// Tests of the database entries: a document and a mail database (three- and four-field
// DataInputPort) written into vesprin.ini and read back by Python's configparser, keys
// in order; the file-type list; the names and folders of mail databases.
#include "desktop/catalogue/entries.h"

#include "desktop/catalogue/catalogue.h"
#include "desktop/catalogue/tests/catalogue_fixture.h"

namespace {

using qm::DatabaseCatalog;

class Entries : public qm::test::CatalogueTest {
 protected:
  // "section|key=value" lines of every section as configparser reads the file (keys
  // keep their case, bytes kept through Latin-1, no interpolation).
  std::string configparser_dump() {
    std::string script =
        "import configparser,sys\n"
        "p=configparser.ConfigParser(interpolation=None,strict=True)\n"
        "p.optionxform=str\n"
        "p.read(sys.argv[1],encoding='latin-1')\n"
        "sys.stdout.buffer.write(''.join(s+'|'+k+'='+v+'\\n' for s in p.sections()\n"
        "  for k,v in p[s].items()).encode('latin-1'))\n";
    qm::test::write_file(dir_ / "dump.py", script);
    std::string out;
    int status = qm::test::command_output("python3 " + (dir_ / "dump.py") + " " + (dir_ / "vesprin.ini"), out);
    EXPECT_EQ(status, 0) << out;
    return out;
  }
};

TEST_F(Entries, DocumentDatabaseEntryInKeyOrder) {
  qm::test::write_file(dir_ / "vesprin.ini", "[VESPRIN]\nCacheDir=/c/\n[INDEX]\n1=1\n[DB-2]\nGroup=stale\n");
  DatabaseCatalog catalog(dir_.path());
  ASSERT_EQ(catalog.NextFreeDatabaseId(), 2);
  qm::DocumentDatabaseEntry e;
  e.Description = "\xA4\xA4\xA4\xE5 docs";  // Big5 kept as typed
  e.HtmlDir = "/srv/docs/";
  e.WorkDir = catalog.IndexDirectoryFor(e.Description, 2);
  e.types = qm::kTypeText | qm::kTypeWeb | qm::kTypeWord;
  e.extra_text_extensions = "log,ini";
  ASSERT_TRUE(qm::WriteDocumentDatabaseEntry(catalog, 2, e));
  EXPECT_EQ(configparser_dump(),
            "VESPRIN|CacheDir=/c/\n"
            "INDEX|1=1\n"
            "INDEX|2=1\n"
            "DB-2|Description=\xA4\xA4\xA4\xE5 docs\n"
            "DB-2|HtmlDir=/srv/docs/\n"
            "DB-2|WorkDir=" + dir_.path() + "DB/\xE4\xB8\xAD\xE6\x96\x87 docs/\n"
            "DB-2|LocalFileType=txt,htm,html,doc,log,ini\n");
  EXPECT_EQ(catalog.NextFreeDatabaseId(), 3);
  EXPECT_FALSE(qm::WriteDocumentDatabaseEntry(catalog, 999, e));
  EXPECT_FALSE(qm::WriteDocumentDatabaseEntry(catalog, 0, e));
}

TEST_F(Entries, MailDatabaseEntriesWithThreeAndFourFieldPorts) {
  DatabaseCatalog catalog(dir_.path());  // no file yet: it is started
  const std::string gateway = catalog.GatewayPath();
  EXPECT_EQ(gateway, dir_.path() + "libpostbridge.so");

  qm::MailNames names = qm::mail_names_from_row(qm::kMailNetscape, "Inbox.snm", "/home/u/mail");
  qm::mail_names_place(catalog, names, 1);
  qm::MailDatabaseEntry mbox{names.Description, names.MailKey, gateway, names.WorkDir,
                             names.mail_source, "Mail", qm::kMailNetscape, true};
  ASSERT_TRUE(qm::WriteMailDatabaseEntry(catalog, 1, mbox));

  names = qm::mail_names_from_row(qm::kMailOutlook, "Personal\\Inbox", "00AB12");
  qm::mail_names_place(catalog, names, 2);
  qm::MailDatabaseEntry outlook{names.Description, names.MailKey, gateway, names.WorkDir,
                                names.mail_source, "", qm::kMailOutlook, false};
  ASSERT_TRUE(qm::WriteMailDatabaseEntry(catalog, 2, outlook));

  const std::string db = dir_.path() + "DB/";
  // The second Inbox finds its folder taken: both names get (2). No group: no key.
  EXPECT_EQ(configparser_dump(),
            "INDEX|1=1\n"
            "INDEX|2=1\n"
            "DB-1|Description=Inbox\n"
            "DB-1|HtmlDir=/home/u/mail/Inbox\n"
            "DB-1|WorkDir=" + db + "Inbox/\n"
            "DB-1|DataInputPort=" + gateway + ";/home/u/mail/Inbox;" + db + "Inbox/\n"
            "DB-1|Group=Mail\n"
            "DB-1|Mail=1\n"
            "DB-1|MailType=2\n"
            "DB-1|Attach=1\n"
            "DB-2|MailKey=outlook:00AB12\n"
            "DB-2|Description=Inbox(2)\n"
            "DB-2|HtmlDir=Personal\\Inbox\n"
            "DB-2|WorkDir=" + db + "Inbox(2)/\n"
            "DB-2|DataInputPort=" + gateway + ";outlook:00AB12;" + db + "Inbox(2)/;Personal\\Inbox\n"
            "DB-2|Mail=1\n"
            "DB-2|MailType=4\n"
            "DB-2|Attach=0\n");
  EXPECT_TRUE(catalog.IsMailDatabase(2));
  EXPECT_FALSE(catalog.HasAttachments(2));
}

TEST_F(Entries, NumberedNamesAreMadeFromTheBaseName) {
  qm::test::write_file(dir_ / "vesprin.ini", "[INDEX]\n1=1\n2=1\n[DB-1]\nWorkDir=" + dir_.path() +
                                                 "DB/Box/\n[DB-2]\nWorkDir=" + dir_.path() + "DB/Box(2)/\n");
  DatabaseCatalog catalog(dir_.path());
  qm::MailNames names = qm::mail_names_from_row(qm::kMailEudora, "Box.mbx", "/m/");
  qm::mail_names_place(catalog, names, 3);
  EXPECT_EQ(names.Description, "Box(3)");
  EXPECT_EQ(names.WorkDir, dir_.path() + "DB/Box(3)/");
  EXPECT_EQ(names.mail_source, "/m/Box.mbx");

  // A database that has the name already counts as well, whatever its folder.
  qm::test::write_file(dir_ / "vesprin.ini", "[INDEX]\n1=1\n[DB-1]\nDescription=Box\nWorkDir=/elsewhere/\n");
  DatabaseCatalog named(dir_.path());
  names = qm::mail_names_from_row(qm::kMailEudora, "Box.mbx", "/m/");
  qm::mail_names_place(named, names, 2);
  EXPECT_EQ(names.Description, "Box(2)");
  EXPECT_TRUE(named.IsDatabaseNameUsed(" Box "));
  EXPECT_FALSE(named.IsDatabaseNameUsed("Box", 1));  // its own name is no clash
  EXPECT_FALSE(named.IsDatabaseNameUsed("box"));
  qm::test::write_file(dir_ / "vesprin.ini", "[INDEX]\n1=1\n2=1\n[DB-1]\nWorkDir=" + dir_.path() +
                                                 "DB/Box/\n[DB-2]\nWorkDir=" + dir_.path() + "DB/Box(2)/\n");

  // The wizard holds the table over several mail files: each sees the ones before.
  ASSERT_TRUE(catalog.OpenConfig());
  for (int expected : {3, 4}) {
    int id = catalog.NextFreeDatabaseId();
    ASSERT_EQ(id, expected);
    qm::MailNames row = qm::mail_names_from_row(qm::kMailEudora, "Box.mbx", "/m/");
    qm::mail_names_place(catalog, row, id);
    EXPECT_EQ(row.Description, "Box(" + std::to_string(expected) + ")");
    ASSERT_TRUE(qm::WriteMailDatabaseEntry(
        catalog, id, {row.Description, row.MailKey, "g", row.WorkDir, row.mail_source, "", 3, false}));
  }
  catalog.CloseConfig();
}

TEST_F(Entries, ValuesOfTheEntries) {
  struct {
    unsigned types;
    const char* extra;
    const char* value;
  } types[] = {
      {qm::kTypeText | qm::kTypeWeb | qm::kTypeWord, "", "txt,htm,html,doc"},
      {qm::kTypeWeb | qm::kTypeRtf, "log", "htm,html,rtf"},
      {qm::kTypeText, "0", "txt"},
      {0xFF, "", "txt,htm,html,pgx,doc,xls,ppt,pdf,rtf"},
      {0, "log", ""},
  };
  for (auto& t : types) EXPECT_EQ(qm::local_file_type_value(t.types, t.extra), t.value) << t.value;

  struct {
    int kind;
    const char *caption, *detail, *description, *source, *key;
  } rows[] = {
      {qm::kMailOutlook, "Inbox", "K1", "Inbox", "Inbox", "outlook:K1"},  // no "\": whole caption
      {qm::kMailOutlook, "A\\B\\C", "K2", "C", "A\\B\\C", "outlook:K2"},
      {qm::kMailOutlook, "\xB3\x5C\xA5\x69", "K3", "\xB3\x5C\xA5\x69", "\xB3\x5C\xA5\x69", "outlook:K3"},
      {qm::kMailOutlookExpress5, "Inbox.dbx", "/m", "Inbox", "/m/Inbox.dbx", ""},
      {qm::kMailNetscape, "Sent.snm", "/m/", "Sent", "/m/Sent", ""},
      {qm::kMailEudora, "In", "/m/", "In", "/m/In", ""},
      // A file's name is the file system's bytes in the source, Big5 text in the name:
      // UTF-8 converted, Big5 kept, a character without a Big5 form left out.
      {qm::kMailOutlookExpress4, "\xE6\x94\xB6.mbx", "/\xE9\x83\xB5/", "\xA6\xAC", "/\xE9\x83\xB5/\xE6\x94\xB6.mbx", ""},
      {qm::kMailOutlookExpress4, "\xA6\xAC.mbx", "/\xB6\x6C/", "\xA6\xAC", "/\xB6\x6C/\xA6\xAC.mbx", ""},
      {qm::kMailNetscape, "jos\xC3\xA9.snm", "/m/", "jos", "/m/jos\xC3\xA9", ""},
  };
  for (auto& r : rows) {
    qm::MailNames n = qm::mail_names_from_row(r.kind, r.caption, r.detail);
    EXPECT_EQ(n.Description, r.description) << r.caption;
    EXPECT_EQ(n.mail_source, r.source) << r.caption;
    EXPECT_EQ(n.MailKey, r.key) << r.caption;
  }
}

}  // namespace
