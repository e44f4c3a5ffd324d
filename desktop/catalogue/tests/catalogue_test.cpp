// Tests of DatabaseCatalog's configuration choice, table and lookups: free ids, the
// index of an unknown id, nested holders, separate instances, folder comparison, file
// times on the local 12-hour clock, hit links, list rows, hit dates and the mail
// side-file lookups by database.
#include "desktop/catalogue/catalogue.h"

#include <stdlib.h>
#include <time.h>
#include <utime.h>

#include "desktop/catalogue/tests/catalogue_fixture.h"

namespace {

using qm::DatabaseCatalog;
using qm::test::FixtureDatabase;
using qm::test::write_file;
namespace ms = qm::mail_side;

const std::string kUnknownDate = "?\?\?\?/?\?/?\?";  // "????/??/??"

class Catalogue : public qm::test::CatalogueTest {};

TEST_F(Catalogue, ChoosesTheConfigurationFile) {
  {
    DatabaseCatalog none(dir_.path());
    EXPECT_EQ(none.ConfigPath(), dir_ / "vesprin.ini");
    EXPECT_FALSE(none.ConfigReadable());
    EXPECT_EQ(none.DatabaseCount(), 0);
  }
  // Only the second name present: it is read and written.
  write_file(dir_ / "vespNlm.ini", "[INDEX]\n3=1\n[DB-3]\nDescription=Three\n");
  DatabaseCatalog second(dir_.path());
  EXPECT_EQ(second.ConfigPath(), dir_ / "vespNlm.ini");
  EXPECT_TRUE(second.ConfigReadable());
  EXPECT_EQ(second.DatabaseDescription(3), "Three");
  ASSERT_TRUE(second.RenameDatabase(3, "Drei"));
  EXPECT_NE(qm::test::read_file(dir_ / "vespNlm.ini").find("Description=Drei"), std::string::npos);

  // The first name, spelt in another case, wins over the second.
  write_file(dir_ / "VESPRIN.INI", "[INDEX]\n4=1\n");
  DatabaseCatalog first(dir_.path());
  EXPECT_EQ(first.ConfigPath(), dir_ / "VESPRIN.INI");
  EXPECT_TRUE(first.HasDatabase(4));
}

TEST_F(Catalogue, NextFreeDatabaseId) {
  struct Case {
    std::vector<int> ids;
    int expected;
  } cases[] = {{{1, 2, 4}, 3}, {{}, 1}, {{2, 3}, 1}, {{1, 2, 3}, 4}, {{1, 2, 1000}, 3}};
  for (const Case& c : cases) {
    std::vector<FixtureDatabase> dbs;
    for (int id : c.ids) dbs.push_back({id, "db", false, "", id == 2 ? "0" : "1"});  // inactive counts
    write_config(dbs);
    DatabaseCatalog catalog(dir_.path());
    EXPECT_EQ(catalog.NextFreeDatabaseId(), c.expected) << c.ids.size();
  }
  std::string ini = "[INDEX]\n";
  for (int id = 1; id <= 998; ++id) ini += std::to_string(id) + "=1\n";
  write_file(dir_ / "vesprin.ini", ini);
  DatabaseCatalog full(dir_.path());
  EXPECT_EQ(full.NextFreeDatabaseId(), 0);
  EXPECT_EQ(full.DefaultDatabaseName(), "DB0");
}

TEST_F(Catalogue, LookupsReadTheFileAfreshAndUnknownIdsAreMinusOne) {
  write_config({{2, "Two"}, {5, "Five", false}});
  DatabaseCatalog catalog(dir_.path());
  EXPECT_EQ(catalog.DatabaseIndexOf(5), 1);
  EXPECT_EQ(catalog.DatabaseIndexOf(7), -1);
  EXPECT_EQ(catalog.DatabaseIndexOf(0), -1);
  EXPECT_EQ(catalog.DatabaseIdAt(0), 2);
  EXPECT_EQ(catalog.DatabaseIdAt(2), -1);
  EXPECT_EQ(catalog.DatabaseEntryField(1, qm::kFieldDescription), "Five");
  EXPECT_EQ(catalog.DatabaseEntryField(1, qm::kFieldWorkDir), work_dir(5));
  EXPECT_GT(catalog.FulltextSize(0), 0);
  EXPECT_EQ(catalog.FulltextSize(1), 0);
  EXPECT_EQ(catalog.FulltextSize(-1), 0);
  EXPECT_FALSE(catalog.TableLoaded());

  // Another writer changes the file: the next lookup sees it.
  write_config({{2, "Zwei"}});
  EXPECT_EQ(catalog.DatabaseDescription(2), "Zwei");
  EXPECT_FALSE(catalog.HasDatabase(5));
}

TEST_F(Catalogue, NestedHoldersAndSeparateInstancesShareNothing) {
  write_config({{1, "One"}});
  DatabaseCatalog outer(dir_.path());
  DatabaseCatalog other(dir_.path());
  ASSERT_TRUE(outer.OpenConfig());
  ASSERT_TRUE(outer.OpenConfig());
  outer.CloseConfig();
  EXPECT_TRUE(outer.TableLoaded());  // the inner close frees nothing under the outer user
  EXPECT_EQ(outer.DatabaseDescription(1), "One");
  // Another instance opening and closing leaves this one's table alone.
  other.OpenConfig();
  other.CloseConfig();
  EXPECT_EQ(outer.DatabaseCount(), 1);
  // A new id marked in the held table is seen until the table is freed.
  ASSERT_TRUE(outer.MarkDatabaseActive(9));
  EXPECT_EQ(outer.DatabaseIndexOf(9), 1);
  EXPECT_EQ(outer.NextFreeDatabaseId(), 2);
  outer.CloseConfig();
  EXPECT_FALSE(outer.TableLoaded());
  EXPECT_FALSE(outer.HasDatabase(9));
  EXPECT_FALSE(outer.MarkDatabaseActive(9));  // only in a held table
}

TEST_F(Catalogue, IndexDirectoriesCompareAsNormalisedAbsolutePaths) {
  write_config({{1, "One"}});
  DatabaseCatalog catalog(dir_.path());
  const std::string w = work_dir(1);
  for (std::string same : {w, w.substr(0, w.size() - 1), dir_.path() + "DB/x/../db-1//",
                           std::string("DB/db-1/"), std::string("DB\\db-1")})
    EXPECT_TRUE(catalog.IsIndexDirectoryUsed(same)) << same;
  for (std::string other : {dir_.path() + "DB/db-10/", dir_.path() + "DB/", std::string()})
    EXPECT_FALSE(catalog.IsIndexDirectoryUsed(other)) << other;
}

TEST_F(Catalogue, FileTimeTextUsesTheLocal12HourClock) {
  const char* old_tz = getenv("TZ");
  std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "Asia/Taipei", 1);
  tzset();
  const time_t midnight_local = 1772640000;  // 2026-03-05 00:00 in Taipei (16:00 UTC the day before)
  struct Case {
    int minutes;
    const char* text;
  } cases[] = {{30, "2026/03/05 AM 12:30"}, {12 * 60, "2026/03/05 PM 12:00"},
               {13 * 60 + 30, "2026/03/05 PM 01:30"}, {23 * 60 + 59, "2026/03/05 PM 11:59"},
               {3 * 60 + 10, "2026/03/05 AM 03:10"}};
  const std::string file = dir_ / "stamp.txt";
  write_file(file, "x");
  for (const Case& c : cases) {
    utimbuf times{midnight_local + c.minutes * 60, midnight_local + c.minutes * 60};
    ASSERT_EQ(utime(file.c_str(), &times), 0);
    EXPECT_EQ(DatabaseCatalog::FileTimeText(file), c.text);
  }
  EXPECT_EQ(DatabaseCatalog::FileTimeText(dir_ / "missing"), "");
  if (old_tz)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST_F(Catalogue, ParseHitLink) {
  struct Case {
    std::string text;
    int db, doc;
  } cases[] = {
      {"s=12&i=34", 12, 34},
      {"s=12&i=34&h=1&f=1&l=1", 12, 34},
      {"i=7&s=3&h=1", 3, 7},
      {"s=1&s=2&i=5&i=6", 2, 6},  // the last of each counts
      {"h=1&f=1&l=1", 0, 0},
      {"", 0, 0},
      {"s=&i=x", 0, 0},
      {"s=99999999999&i=-4", 0, 0},
      {"k=s=4&s=5", 5, 0},
  };
  for (const Case& c : cases) {
    qm::HitLink link = DatabaseCatalog::ParseHitLink(c.text);
    EXPECT_EQ(link.database_id, c.db) << c.text;
    EXPECT_EQ(link.document, c.doc) << c.text;
  }
}

TEST_F(Catalogue, ListRowsAndBuildEvents) {
  write_config({{1, "One"}, {4, "Four", false}, {6, "Six"}});
  DatabaseCatalog catalog(dir_.path());
  auto rows = catalog.DatabaseRows({6});
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].text, "1.One");
  EXPECT_EQ(rows[0].status_text, qm::kTextIndexed);
  EXPECT_FALSE(rows[0].time_text.empty());
  EXPECT_EQ(rows[1].status_text, qm::kTextNotIndexed);
  EXPECT_TRUE(rows[2].checked);
  EXPECT_EQ(rows[2].status_text, 0);
  struct {
    int code, text;
  } events[] = {{1, 8005}, {2, 8006}, {9, 8002}, {8, 9027}, {0, 8003}, {3, 8003}};
  for (auto e : events) EXPECT_EQ(DatabaseCatalog::StatusTextForCode(e.code), e.text) << e.code;
  auto row = catalog.UpdatedDatabaseRow(4, 2);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->status_text, 8006);
  EXPECT_FALSE(row->checked);
  EXPECT_FALSE(catalog.UpdatedDatabaseRow(5, 2));
}

TEST_F(Catalogue, HitPathsAndDates) {
  write_config({{1, "Docs"}, {2, "Mail", true, "Mail=1\n"}});
  qm::test::TempDir other;
  DatabaseCatalog catalog(dir_.path());
  EXPECT_EQ(catalog.HitDocumentPath(1, "sub\\a.htm"), dir_.path() + "docs/sub/a.htm");
  EXPECT_EQ(catalog.HitDocumentPath(2, "anything"), dir_.path() + "docs/");
  EXPECT_EQ(catalog.HitDocumentPath(3, "a"), "");

  // A page document's hit names its page in brackets: the date is the file's.
  dir_.sub("docs");
  write_file(dir_.path() + "docs/book.pgx", "x");
  EXPECT_FALSE(catalog.HitDateText(1, "book.pgx(12)", "5").empty());
  EXPECT_EQ(catalog.HitDateText(1, "book.pgx(12)", "5"),
            DatabaseCatalog::FileTimeText(dir_.path() + "docs/book.pgx"));
  EXPECT_EQ(catalog.HitDateText(1, "gone.htm", "5"), "");

  std::string props = ms::encode(ms::MailPropertyRecord{20000312, "Hello", "<a@b>"}) +
                      ms::encode(ms::MailPropertyRecord{0, "No date", "c"});
  write_file(work_dir(2) + "mailproperty.DB", props);  // found case-blind
  EXPECT_EQ(catalog.HitDateText(2, "", "0"), "2000/03/12");  // "0..." reads record 0
  EXPECT_EQ(catalog.HitDateText(2, "", "1"), kUnknownDate);
  EXPECT_EQ(catalog.HitDateText(2, "", "9"), kUnknownDate);
}

TEST_F(Catalogue, MailSideFilesByDatabase) {
  write_config({{2, "Mail", true, "Mail=1\nAttach=1\n"}, {3, "Other", true, "Mail=1\n"}});
  const std::string w = work_dir(2);
  std::string subject(100, 's');
  write_file(w + "MailProperty.db", ms::encode(ms::MailPropertyRecord{20010203, subject, "<x@y>"}) +
                                        ms::encode(ms::MailPropertyRecord{20010204, "Two", "Bob"}));
  write_file(work_dir(3) + "MailProperty.db", ms::encode(ms::MailPropertyRecord{1, "", "Carol"}));
  // Message 0 has two attachments, message 1 none, message 2 claims a billion.
  write_file(w + "AttachIdx.db", ms::encode(ms::AttachIndexRecord{2, 0}) +
                                     ms::encode(ms::AttachIndexRecord{0, 532}) +
                                     ms::encode(ms::AttachIndexRecord{1000000000, 266}) +
                                     ms::encode(ms::AttachIndexRecord{3, -266}));
  write_file(w + "AttachInfo.db", ms::encode(ms::AttachInfoRecord{1, 9, "a.doc"}) +
                                      ms::encode(ms::AttachInfoRecord{10, 20, std::string(300, 'n')}));

  DatabaseCatalog catalog(dir_.path());
  EXPECT_TRUE(catalog.IsMailDatabase(2));
  EXPECT_TRUE(catalog.HasAttachments(2));
  EXPECT_FALSE(catalog.HasAttachments(3));
  std::string date, subj, sender;
  ASSERT_TRUE(catalog.ReadMailRecord(2, 0, date, subj, sender));
  EXPECT_EQ(date, "20010203");
  EXPECT_EQ(subj, std::string(80, 's'));
  EXPECT_EQ(sender, "<x@y>");
  EXPECT_FALSE(catalog.ReadMailRecord(2, 2, date, subj, sender));
  EXPECT_FALSE(catalog.ReadMailRecord(2, -1, date, subj, sender));

  std::vector<ms::AttachInfoRecord> att;
  ASSERT_TRUE(catalog.ReadAttachInfo(2, 0, att));
  ASSERT_EQ(att.size(), 2u);
  EXPECT_EQ(att[0].name, "a.doc");
  EXPECT_EQ(att[1].first, 10);
  EXPECT_EQ(att[1].name, std::string(260, 'n'));  // bounded by its field
  ASSERT_TRUE(catalog.ReadAttachInfo(2, 1, att));
  EXPECT_TRUE(att.empty());
  ASSERT_TRUE(catalog.ReadAttachInfo(2, 2, att));
  EXPECT_EQ(att.size(), 1u);  // the count is bounded by the file
  ASSERT_TRUE(catalog.ReadAttachInfo(2, 3, att));
  EXPECT_TRUE(att.empty());  // a negative offset reads nothing
  EXPECT_FALSE(catalog.ReadAttachInfo(2, 4, att));
  EXPECT_FALSE(catalog.ReadAttachInfo(3, 0, att));  // no AttachIdx.db
  EXPECT_EQ(catalog.ListMailsWithAttachments(2), (std::vector<int>{0, 2, 3}));

  // The sender file stays open for one database and follows a change of database.
  ASSERT_TRUE(catalog.ReadMailSender(2, 1, sender));
  EXPECT_EQ(sender, "Bob");
  ASSERT_TRUE(catalog.ReadMailSender(3, 0, sender));
  EXPECT_EQ(sender, "Carol");
  ASSERT_TRUE(catalog.ReadMailSender(2, 0, sender));
  EXPECT_EQ(sender, "<x@y>");
  catalog.CloseMailSenderFile();
  EXPECT_FALSE(catalog.ReadMailSender(9, 0, sender));
}

}  // namespace
