// End-to-end tests of the program `indexer`: it runs from a folder of its own (a link to
// the built program beside a vesprin.ini), with stand-in converters where a failure or a
// time-out is wanted; its progress stream is checked line by line and the database it
// writes is read back with the index readers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "index/index_format.h"
#include "index/index_reader.h"
#include "platform/process.h"
#include "indexer/tests/live_indexer.h"
#include "testsupport/test_files.h"


namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct Output {
  std::string raw;
  Lines lines;  // without their CR
  bool end_mark = false;

  Lines with_code(char code) const {
    Lines out;
    for (const std::string& l : lines)
      if (!l.empty() && l[0] == code) out.push_back(l.substr(2));
    return out;
  }
};

Output parse(std::string raw) {
  Output r;
  r.raw = raw;
  if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\x1A\x1A") == 0) {
    r.end_mark = true;
    raw.resize(raw.size() - 2);
  }
  size_t pos = 0;
  while (pos < raw.size()) {
    size_t cr = raw.find('\r', pos);
    if (cr == std::string::npos) {
      r.lines.push_back("UNTERMINATED:" + raw.substr(pos));
      break;
    }
    r.lines.push_back(raw.substr(pos, cr - pos));
    pos = cr + 1;
  }
  return r;
}

bool process_stopped(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  if (!in) return true;
  std::string line;
  std::getline(in, line);
  size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

class IndexerProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = tmp_.path();
    bin_ = root_ + "bin/";
    docs_ = root_ + "docs/";
    work_ = root_ + "db/";
    tools_ = root_ + "tools/";
    for (const std::string& d : {bin_, docs_, tools_}) fs::create_directories(d);
    fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin_ + "indexer");
  }

  void ini(const std::string& db_keys, const std::string& vesprin = "", long id = 1) {
    std::ofstream(bin_ + "vesprin.ini")
        << "[VESPRIN]\n" << vesprin << "[INDEX]\n" << id << "=1\n[DB-" << id << "]\n"
        << db_keys;
  }
  void doc(const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(docs_ + name).parent_path());
    std::ofstream(docs_ + name, std::ios::binary) << text;
  }
  void tool(const std::string& name, const std::string& script) {
    std::ofstream(tools_ + name) << "#!/bin/sh\n" << script << "\n";
    chmod((tools_ + name).c_str(), 0755);
  }
  std::vector<std::string> command(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/env", "QM_INDEXER_CONVERTER_DIR=" + tools_,
                                     "QM_INDEXER_CONVERTER_TIMEOUT_MS=" + std::to_string(timeout_ms_),
                                     bin_ + "indexer"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  Output run(const std::vector<std::string>& args = {"-w1234", "-f10", "-x1"}) {
    qm::ProcessOptions o;
    o.argv = command(args);
    o.timeout_ms = 120000;
    o.stderr_mode = qm::ProcessStderr::Merge;
    qm::ProcessResult r = qm::process_run(o);
    EXPECT_TRUE(r.exited) << r.error;
    EXPECT_FALSE(r.timed_out);
    Output out = parse(r.output);
    for (const std::string& l : out.lines) {
      EXPECT_LT(l.size() + 1, 255u) << l;
      EXPECT_EQ(l.find('\n'), std::string::npos) << l;
      EXPECT_FALSE(l.rfind("UNTERMINATED:", 0) == 0) << l;
    }
    return out;
  }
  std::string std_db(const std::string& extra = "") {
    return "HtmlDir=" + docs_ + "\nWorkDir=" + work_ + "\n" + extra;
  }
  std::vector<std::string> temporaries() {
    std::vector<std::string> out;
    if (!fs::exists(work_)) return out;
    for (const auto& e : fs::directory_iterator(work_))
      if (e.path().extension() == ".tmp") out.push_back(e.path().filename());
    return out;
  }

  qm::test::TempDir tmp_{"qm-indexer-"};
  std::string root_, bin_, docs_, work_, tools_;
  int timeout_ms_ = 10000;
};

// Documents whose '0' lines name them, in order.
TEST_F(IndexerProgramTest, SamplesBuildIntoASearchableDatabase) {
  const std::string samples = std::string(QM_SOURCE_DIR) + "/samples/";
  ini("HtmlDir=" + samples + "\nWorkDir=" + work_ + "\nLocalFileType=txt,htm,html\n");
  Output r = run();
  ASSERT_TRUE(r.end_mark) << r.raw;
  ASSERT_GE(r.lines.size(), 4u);
  EXPECT_EQ(r.lines[0].substr(0, 2), "1 ");
  EXPECT_EQ(r.lines[1], "1 12 documents to index");
  EXPECT_EQ(r.lines[2], "2 0");
  const Lines names = {"library-en.htm", "library-zh.htm", "notes-zh-en.htm", "recipe-en.txt",
                       "recipe-zh.txt",  "river-en.htm",   "river-zh.htm",    "tea-en.txt",
                       "tea-zh.txt",     "weather-en.txt", "weather-zh.txt",  "words-en.txt"};
  EXPECT_EQ(r.with_code('0'), names);
  Lines percents = r.with_code('2');
  EXPECT_EQ(percents.back(), "100");
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end(),
                             [](const std::string& a, const std::string& b) {
                               return std::stoi(a) < std::stoi(b);
                             }));
  EXPECT_EQ(r.lines.back(), "1 12 documents indexed, 0 skipped");
  EXPECT_TRUE(r.with_code('3').empty());

  qm::IndexFileSet set;
  ASSERT_TRUE(set.open(work_, 0, true));
  ASSERT_EQ(set.document_count(), 12u);
  std::string path;
  ASSERT_TRUE(set.read_path(6, path));
  EXPECT_EQ(path, "river-zh.htm");  // relative to the document folder
  qm::CrossRecord cross;
  ASSERT_TRUE(set.read_cross(6, cross));
  qm::Paragraph title = set.read_paragraph(cross.fulltext_offset, 0);
  EXPECT_EQ(title.kind, 1);
  EXPECT_EQ(title.text, "\xB2\x48\xA4\xF4\xAA\x65\xB4\xB2\xA8\x42");  // 淡水河散步

  // 茶 (AF F9) is found in the Chinese tea note and the river walk.
  qm::CharHashRecord tea;
  ASSERT_TRUE(set.read_char_hash(qm::index_format::char_slot(0xAF, 0xF9), tea));
  std::vector<qm::PostingEntry> postings;
  ASSERT_TRUE(set.append_char_postings(tea.offset, tea.count, postings));
  std::set<uint32_t> docs;
  for (const auto& p : postings) docs.insert(p.document);
  EXPECT_TRUE(docs.count(8));  // tea-zh.txt
  EXPECT_TRUE(docs.count(6));  // river-zh.htm
  // The English word TEA is in tea-en.txt.
  bool found = false;
  for (uint32_t i = 0; i < set.word_count(); ++i) {
    qm::WordHashRecord w;
    ASSERT_TRUE(set.read_word_hash(i, w));
    if (w.word != "TEA") continue;
    uint32_t offset, count;
    ASSERT_TRUE(set.word_list_range(i, offset, count));
    std::vector<qm::PostingEntry> list;
    ASSERT_TRUE(set.append_word_postings(offset, count, list));
    found = std::any_of(list.begin(), list.end(), [](const auto& p) { return p.document == 7; });
  }
  EXPECT_TRUE(found);
  // Nothing from the script block of library-en.htm was indexed as a word.
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(IndexerProgramTest, PhraseDatabases) {
  doc("a.txt", "\xA4\xA4\xA4\xE5 text");  // 中文
  ini(std_db("SaveFile=1\nIndexType=1\n"));
  Output r = run();
  ASSERT_TRUE(r.end_mark) << r.raw;
  EXPECT_TRUE(fs::exists(work_ + "clist.db"));
  qm::IndexFileSet set;
  ASSERT_TRUE(set.open(work_, 1, false));
  EXPECT_TRUE(set.has_char_pairs());

  // A phrase database needs IndexType: the build ends at once and writes nothing.
  fs::remove_all(work_);
  ini(std_db("SaveFile=1\n"));
  r = run();
  EXPECT_FALSE(r.end_mark);
  ASSERT_EQ(r.lines.size(), 1u) << r.raw;
  EXPECT_EQ(r.lines[0].substr(0, 2), "3 ");
  EXPECT_FALSE(fs::exists(work_ + "cross.db"));
}

TEST_F(IndexerProgramTest, UnreadableDocumentsAreSkippedAndTheBuildGoesOn) {
  doc("a-good.txt", "alpha text");
  doc("b-report.doc", "binary");
  doc("c-broken.xls", "binary");
  doc("d-slow.pdf", "binary");
  doc("e-page.pgx", "binary");
  doc("f-no-tool.ppt", "binary");
  doc("g-last.htm", "<title>Last</title><p>omega</p>");
  const bool root = geteuid() == 0;
  if (!root) {
    doc("h-locked.txt", "secret");
    chmod((docs_ + "h-locked.txt").c_str(), 0);
  }
  tool("catdoc", "printf 'Report\\n\\nbody text\\n'");
  tool("xls2csv", "exit 2");
  // Slow, and it leaves a grandchild: both must go when the limit passes.
  tool("pdftotext", "sleep 30 & echo $! > " + root_ + "grandchild; sleep 30");
  timeout_ms_ = 500;
  ini(std_db("LocalFileType=txt,doc,xls,pdf,pgx,ppt,htm\n"));
  Output r = run();
  ASSERT_TRUE(r.end_mark) << r.raw;
  EXPECT_EQ(r.with_code('0'), (Lines{"a-good.txt", "b-report.doc", "g-last.htm"}));
  Lines skipped;
  for (const std::string& s : r.with_code('1'))
    if (s.rfind("Skipped ", 0) == 0) skipped.push_back(s);
  ASSERT_EQ(skipped.size(), root ? 4u : 5u) << r.raw;
  EXPECT_NE(skipped[0].find("c-broken.xls: xls2csv failed (exit code 2)"), std::string::npos);
  EXPECT_NE(skipped[1].find("d-slow.pdf: pdftotext ran past"), std::string::npos);
  EXPECT_NE(skipped[2].find("e-page.pgx: page documents"), std::string::npos);
  EXPECT_NE(skipped[3].find("f-no-tool.ppt: "), std::string::npos);
  EXPECT_NE(skipped[3].find("catppt is not installed"), std::string::npos);
  if (!root) {
    EXPECT_NE(skipped[4].find("h-locked.txt"), std::string::npos);
  }
  EXPECT_EQ(r.lines.back(), root ? "1 3 documents indexed, 4 skipped"
                                 : "1 3 documents indexed, 5 skipped");

  // Every converter run was announced by its process id and then cleared with 0.
  Lines helpers = r.with_code('4');
  ASSERT_EQ(helpers.size(), 6u) << r.raw;
  for (size_t i = 0; i < helpers.size(); i += 2) {
    EXPECT_GT(std::stol(helpers[i]), 0);
    EXPECT_EQ(helpers[i + 1], "0");
  }
  std::ifstream in(root_ + "grandchild");
  long grandchild = 0;
  in >> grandchild;
  ASSERT_GT(grandchild, 0);
  for (int i = 0; i < 200 && !process_stopped(pid_t(grandchild)); ++i) usleep(10000);
  EXPECT_TRUE(process_stopped(pid_t(grandchild)));

  qm::IndexFileSet set;
  ASSERT_TRUE(set.open(work_, 0, false));
  EXPECT_EQ(set.document_count(), 3u);
}

// The documents that hold an English word (as the index keeps it, in capitals).
std::set<uint32_t> documents_with_word(qm::IndexFileSet& set, const std::string& word) {
  std::set<uint32_t> docs;
  for (uint32_t i = 0; i < set.word_count(); ++i) {
    qm::WordHashRecord w;
    if (!set.read_word_hash(i, w) || w.word != word) continue;
    uint32_t offset, count;
    std::vector<qm::PostingEntry> list;
    if (set.word_list_range(i, offset, count) && set.append_word_postings(offset, count, list))
      for (const auto& p : list) docs.insert(p.document);
  }
  return docs;
}

// Office documents that LibreOffice made from system texts are indexed by their words
// through the framework's kvxdump in the program directory, whatever their names say;
// none of their packages' member names is a word of the index. A binary file under a
// text name and a format without a reader are skipped with a line naming them.
TEST_F(IndexerProgramTest, OfficeDocumentsAreFoundByTheirWords) {
  for (const char* f : {"kvxdump", "libkvxzip.so", "libkvxpdf.so"})
    fs::create_symlink(std::string(QM_DIST_DIR) + "/" + f, bin_ + f);
  const std::string data = std::string(QM_SOURCE_DIR) + "/indexer/tests/data/office/";
  const std::pair<const char*, const char*> files[] = {
      {"a-bsd.docx", "bsd.docx"},         {"b-bsd.odt", "bsd.odt"},
      {"c-debian.xlsx", "debian.xlsx"},   {"d-debian.ods", "debian.ods"},
      {"e-renamed.txt", "bsd.docx"},      {"f-gnupg-help.rtf", "gnupg-help.rtf"},
      {"h-slides.pptx", "slides.pptx"}};
  for (const auto& [name, fixture] : files) doc(name, qm::test::read_file(data + fixture));
  doc("g-program.txt", qm::test::read_file("/bin/true"));
  ini(std_db("LocalFileType=txt,docx,xlsx,odt,ods,rtf,pptx\n"));
  Output r = run();
  ASSERT_TRUE(r.end_mark) << r.raw;
  EXPECT_EQ(r.with_code('0'), (Lines{"a-bsd.docx", "b-bsd.odt", "c-debian.xlsx", "d-debian.ods",
                                     "e-renamed.txt", "f-gnupg-help.rtf"}));
  Lines skipped;
  for (const std::string& s : r.with_code('1'))
    if (s.rfind("Skipped ", 0) == 0) skipped.push_back(s);
  ASSERT_EQ(skipped.size(), 2u) << r.raw;
  EXPECT_NE(skipped[0].find("g-program.txt: binary content"), std::string::npos) << skipped[0];
  EXPECT_NE(skipped[1].find("h-slides.pptx: no reader"), std::string::npos) << skipped[1];
  EXPECT_EQ(r.lines.back(), "1 6 documents indexed, 2 skipped");

  qm::IndexFileSet set;
  ASSERT_TRUE(set.open(work_, 0, false));
  ASSERT_EQ(set.document_count(), 6u);
  EXPECT_EQ(documents_with_word(set, "REDISTRIBUTION"), (std::set<uint32_t>{0, 1, 4}));
  EXPECT_EQ(documents_with_word(set, "BOOKWORM"), (std::set<uint32_t>{2, 3}));
  for (const char* member : {"XML", "RELS", "CONTENT", "TYPES", "MIMETYPE", "MANIFEST", "PK"})
    EXPECT_TRUE(documents_with_word(set, member).empty()) << member;
  // The RTF's title is its Unicode form: "GnuPG 線上說明".
  qm::CrossRecord cross;
  ASSERT_TRUE(set.read_cross(5, cross));
  EXPECT_EQ(set.read_paragraph(cross.fulltext_offset, 0).text,
            "GnuPG \xBD\x75\xA4\x57\xBB\xA1\xA9\xFA");
}

TEST_F(IndexerProgramTest, RefusedJobsEndWithALineOfCodeThree) {
  doc("a.txt", "alpha");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string db;
    const char* text_part;
  } cases[] = {
      {"mail database without DataInputPort", {"-ncl", "-w1", "-f10", "-x1"}, std_db(),
       "lacks DataInputPort"},
      {"mail with attachments", {"-mail", "-ncl", "-w1", "-f10", "-x1"}, std_db(),
       "lacks DataInputPort"},
      {"attachments alone", {"-mail", "-w1", "-f10", "-x1"}, std_db(), "lacks DataInputPort"},
      {"no id", {"-w1", "-f10"}, std_db(), "id"},
      {"unknown database", {"-w1", "-f10", "-x2"}, std_db(), "DB-2"},
      {"missing document folder", {"-w1", "-f10", "-x1"},
       "HtmlDir=" + root_ + "nowhere\nWorkDir=" + work_ + "\n", "folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ini(c.db);
    Output r = run(c.args);
    EXPECT_FALSE(r.end_mark);
    ASSERT_EQ(r.lines.size(), 1u) << r.raw;
    EXPECT_EQ(r.lines[0].substr(0, 2), "3 ");
    EXPECT_NE(r.lines[0].find(c.text_part), std::string::npos) << r.lines[0];
  }
  // A document database rebuilt from the environment form carries -corvdoc.
  ini(std_db());
  Output r = run({"-corvdoc", "-w1", "-f10", "-x1"});
  EXPECT_TRUE(r.end_mark) << r.raw;
  EXPECT_EQ(r.with_code('0'), Lines{"a.txt"});
}

TEST_F(IndexerProgramTest, RemovesTheDatabaseKeywordCacheAfterABuild) {
  doc("a.txt", "alpha");
  const std::string cache = root_ + "cache/";
  fs::create_directories(cache + "1A/41/42");
  std::ofstream(cache + "1A/41/42/nos") << "stale";
  fs::create_directories(cache + "1B/41");
  std::ofstream(cache + "1B/41/nos") << "other database";
  ini(std_db(), "CacheDir=" + cache + "\n", 26);  // 26 is 1A
  Output r = run({"-w1", "-f10", "-x26"});
  ASSERT_TRUE(r.end_mark) << r.raw;
  EXPECT_FALSE(fs::exists(cache + "1A"));
  EXPECT_TRUE(fs::exists(cache + "1B/41/nos"));
}

TEST_F(IndexerProgramTest, InterruptedBuildsLeaveThePreviousDatabase) {
  doc("a.txt", "alpha");
  ini(std_db("LocalFileType=txt,doc\n"));
  ASSERT_TRUE(run().end_mark);

  // The second build hangs in a converter; the desktop terminates it and its helper.
  doc("b.doc", "binary");
  tool("catdoc", "sleep 60");
  timeout_ms_ = 60000;
  {
    qm::test::LiveIndexer live(command({"-w1", "-f10", "-x1"}), 30000);
    std::string helper = live.wait_for("4 ");
    ASSERT_FALSE(helper.empty());
    live.signal(SIGKILL);
    live.reap();
    kill(-pid_t(std::stol(helper)), SIGKILL);
  }
  {
    qm::IndexFileSet set;
    ASSERT_TRUE(set.open(work_, 0, false));
    ASSERT_EQ(set.document_count(), 1u);
    std::string path;
    ASSERT_TRUE(set.read_path(0, path));
    EXPECT_EQ(path, "a.txt");
  }
  EXPECT_FALSE(temporaries().empty());  // what the killed build left

  // A stop request ends the build between documents, kills the converter and cleans up.
  {
    qm::test::LiveIndexer live(command({"-w1", "-f10", "-x1"}), 30000);
    std::string helper = live.wait_for("4 ");
    ASSERT_FALSE(helper.empty());
    live.signal(SIGTERM);
    // By the time the job's end is announced, its temporary files (and the killed
    // build's, cleared at its start) are gone: the desktop may kill it right away.
    EXPECT_NE(live.wait_for("3 "), "");
    EXPECT_TRUE(temporaries().empty());
    Output r = parse(live.rest());
    live.reap();
    EXPECT_FALSE(r.end_mark);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_EQ(r.lines.back().substr(0, 2), "3 ");
    for (int i = 0; i < 200 && !process_stopped(pid_t(std::stol(helper))); ++i) usleep(10000);
    EXPECT_TRUE(process_stopped(pid_t(std::stol(helper))));
  }
  {
    qm::IndexFileSet set;
    ASSERT_TRUE(set.open(work_, 0, false));
    EXPECT_EQ(set.document_count(), 1u);
  }

  // The next good build replaces the set and clears the leftovers.
  tool("catdoc", "echo converted");
  Output r = run();
  ASSERT_TRUE(r.end_mark) << r.raw;
  EXPECT_EQ(r.with_code('0'), (Lines{"a.txt", "b.doc"}));
  EXPECT_TRUE(temporaries().empty());
  qm::IndexFileSet set;
  ASSERT_TRUE(set.open(work_, 0, false));
  EXPECT_EQ(set.document_count(), 2u);
}

}  // namespace
