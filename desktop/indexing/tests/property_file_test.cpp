// property.db as the desktop builds it: records of documents (paths through the index,
// sizes, local 12-hour times) and of mail, the safe replacement, and the real indexer
// run through the job queue over samples/, whose property.db the searcher then reads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "desktop/indexing/command_line.h"
#include "desktop/indexing/property_file.h"
#include "desktop/indexing/schedule.h"
#include "desktop/indexing/window_queue.h"
#include "index/doc_property_format.h"
#include "index/index_reader.h"
#include "index/index_writer.h"
#include "mail/side_files_format.h"
#include "searcher/property/property_file.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::time_t local_time(int y, int mo, int d, int h, int mi) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

void set_mtime(const std::string& path, std::time_t when) {
  struct timeval tv[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimes(path.c_str(), tv), 0);
}

void write_index(const std::string& dir, const std::vector<std::string>& paths) {
  IndexWriterOptions options;
  options.sync = false;
  IndexWriter writer(dir, options);
  for (const std::string& p : paths) {
    IndexDocument doc;
    doc.path = p;
    doc.paragraphs.push_back({0, "text of " + p});
    ASSERT_TRUE(writer.add_document(doc)) << writer.error();
  }
  ASSERT_TRUE(writer.finish()) << writer.error();
}

std::vector<DocPropertyRecord> load(const std::string& dir) {
  std::vector<DocPropertyRecord> out;
  LoadPropertyTable(dir, out);
  return out;
}

TEST(DocPropertyTime, TwelveHourClockAndSizes) {
  struct Case {
    int hour, minute;
    long long bytes;
    int want_hour;
    const char* ampm;
    int want_kb;
  } cases[] = {
      {0, 15, 0, 12, "AM", 1},       {3, 10, 1023, 3, "AM", 1},    {5, 0, 1024, 5, "AM", 2},
      {12, 0, 9216, 12, "PM", 10},   {20, 30, 10240, 8, "PM", 11}, {23, 59, 100LL << 20, 11, "PM", 65535},
  };
  for (const Case& c : cases) {
    DocPropertyRecord r;
    doc_property_fill_time(c.bytes, local_time(2000, 1, 5, c.hour, c.minute), r);
    EXPECT_EQ(r.year, 2000);
    EXPECT_EQ(r.month, 1);
    EXPECT_EQ(r.day, 5);  // the date is never moved
    EXPECT_EQ(r.hour, c.want_hour) << c.hour;
    EXPECT_EQ(r.minute, c.minute);
    EXPECT_EQ(r.ampm, c.ampm);
    EXPECT_EQ(r.size_kb, c.want_kb) << c.bytes;
  }
}

TEST(DocPropertyRecord, EncodeCutsPathOnACharacterBoundary) {
  DocPropertyRecord r;
  r.path = std::string(198, 'a') + "\xA4\x40" "tail";
  r.size_kb = 7;
  r.year = 2001;
  r.ampm = "PM";
  unsigned char bytes[doc_property_format::kRecordSize];
  doc_property_encode(r, bytes);
  const DocPropertyRecord back = doc_property_decode(bytes);
  EXPECT_EQ(back.path, std::string(198, 'a'));
  EXPECT_EQ(bytes[doc_property_format::kPath + 198], 0);
  EXPECT_EQ(back.size_kb, 7);
  EXPECT_EQ(back.year, 2001);
  EXPECT_EQ(back.ampm, "PM");
}

TEST(BuildPropertyFile, DocumentsInDocumentOrder) {
  test::TempDir tmp("qm-prop-");
  const std::string docs = tmp.sub("docs"), work = tmp.sub("work");
  test::write_file(docs + "a.htm", "");
  test::write_file(docs + "b.htm", std::string(1024, 'b'));
  fs::create_directories(docs + "sub");
  test::write_file(docs + "sub/c.htm", "c");
  test::write_file(docs + "p.pgx", std::string(3000, 'p'));
  set_mtime(docs + "a.htm", local_time(2000, 1, 5, 3, 10));
  set_mtime(docs + "b.htm", local_time(2000, 12, 31, 20, 30));
  write_index(work, {"a.htm", "b.htm", "sub\\c.htm", "p.pgx??p=2", "gone.htm"});
  ASSERT_TRUE(BuildPropertyFile(work, docs));

  EXPECT_EQ(fs::file_size(work + "property.db"), 5u * 232);
  const std::vector<DocPropertyRecord> t = load(work);
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(t[0].path, docs + "a.htm");
  EXPECT_EQ(t[0].size_kb, 1);
  EXPECT_EQ(t[0].hour, 3);
  EXPECT_EQ(t[0].minute, 10);
  EXPECT_EQ(t[0].ampm, "AM");
  EXPECT_EQ(t[1].size_kb, 2);
  EXPECT_EQ(t[1].year, 2000);
  EXPECT_EQ(t[1].month, 12);
  EXPECT_EQ(t[1].day, 31);
  EXPECT_EQ(t[1].hour, 8);
  EXPECT_EQ(t[1].ampm, "PM");
  EXPECT_EQ(t[2].path, docs + "sub/c.htm");
  EXPECT_EQ(t[2].size_kb, 1);
  EXPECT_EQ(t[3].path, docs + "p.pgx");
  EXPECT_EQ(t[3].size_kb, 3);
  EXPECT_EQ(t[4].path, docs + "gone.htm");
  EXPECT_EQ(t[4].size_kb, 0);
  EXPECT_EQ(t[4].year, 0);
  EXPECT_EQ(t[4].ampm, "");

  // The searcher tells the layout by size and reads the dates.
  const PropertyTable values = property_table_load(work);
  EXPECT_EQ(values.layout, PropertyLayout::Record);
  EXPECT_EQ(values.value(0), 20000105);
  EXPECT_EQ(values.value(1), 20001231);
  EXPECT_EQ(values.value(4), 0);
}

TEST(BuildPropertyFile, FailedBuildKeepsTheOldFile) {
  test::TempDir tmp("qm-prop-");
  const std::string work = tmp.sub("work");
  test::write_file(work + "property.db", "old");
  EXPECT_FALSE(BuildPropertyFile(work, tmp.path()));
  EXPECT_FALSE(BuildMailPropertyFile(work));
  EXPECT_FALSE(BuildPropertyFile("", tmp.path()));
  EXPECT_EQ(test::read_file(work + "property.db"), "old");
}

TEST(BuildMailPropertyFile, SubjectsAndDates) {
  test::TempDir tmp("qm-prop-");
  const std::string work = tmp.sub("work");
  test::write_file(work + "cross.db", std::string(3 * 8, '\0'));
  mail_side::MailPropertyRecord a, b;
  a.date = 20001231;
  a.subject = "Hello";
  b.date = 0;
  b.subject = "\xA4\x40 no date";
  test::write_file(work + "MailProperty.db", mail_side::encode(a) + mail_side::encode(b));
  ASSERT_TRUE(BuildMailPropertyFile(work));
  const std::vector<DocPropertyRecord> t = load(work);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].path, "Hello");
  EXPECT_EQ(t[0].year, 2000);
  EXPECT_EQ(t[0].month, 12);
  EXPECT_EQ(t[0].day, 31);
  EXPECT_EQ(t[0].size_kb, 0);
  EXPECT_EQ(t[0].hour, 0);
  EXPECT_EQ(t[0].ampm, "");
  EXPECT_EQ(t[1].path, "\xA4\x40 no date");
  EXPECT_EQ(t[1].year, 0);
  EXPECT_EQ(t[2].path, "");  // beyond MailProperty.db: date 0
  EXPECT_EQ(t[2].year, 0);
}

TEST(RealIndexer, QueueBuildsAndPropertyFileFollows) {
  test::TempDir tmp("qm-realidx-");
  const std::string bin = tmp.sub("bin"), work = tmp.sub("work");
  fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin + "indexer");
  const std::string samples = std::string(QM_SOURCE_DIR) + "/samples/";
  std::ofstream(bin + "vesprin.ini") << "[VESPRIN]\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=" << samples
                                     << "\nWorkDir=" << work << "\nLocalFileType=txt,htm,html\n";
  WindowQueue window;
  IndexSchedule schedule(window);
  std::vector<std::pair<int, int>> events;
  bool built = false;
  schedule.Reset(1);
  schedule.AddJob(indexer_command_line(bin, IndexerKind::DocumentRebuild, 1, 1), 1,
                  [&](int id, int code) { events.emplace_back(id, code); });
  schedule.job_work = [&](int) { built = BuildPropertyFile(work, samples); };
  schedule.status_bar = [](const ProgressView&) {};
  schedule.Start();
  schedule.WaitFinished();
  EXPECT_EQ(events, (std::vector<std::pair<int, int>>{{1, 9}, {1, 0}}));
  ASSERT_TRUE(built);

  IndexFileSet set;
  ASSERT_TRUE(set.open(work, 0, false));
  const uint32_t n = set.document_count();
  ASSERT_GT(n, 0u);
  EXPECT_EQ(fs::file_size(work + "property.db"), size_t(n) * 232);
  const std::vector<DocPropertyRecord> t = load(work);
  const PropertyTable values = property_table_load(work);
  ASSERT_EQ(values.layout, PropertyLayout::Record);
  for (uint32_t i = 0; i < n; ++i) {
    std::string entry;
    ASSERT_TRUE(set.read_path(i, entry));
    EXPECT_EQ(t[i].path, samples + entry.substr(0, entry.find("??")));
    EXPECT_GT(t[i].year, 1999);
    EXPECT_EQ(values.value(i), t[i].year * 10000 + t[i].month * 100 + t[i].day);
  }
}

}  // namespace
}  // namespace qm
