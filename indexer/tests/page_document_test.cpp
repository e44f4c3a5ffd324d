// Page documents in the index builder: PGX documents made with the test writer are
// indexed by the real program `indexer` in a -corvdoc build, reading them through the
// built libpaglet.so, and the database is searched with the search core: a word of a
// page finds that page's document, stored as "<file>??p=<page>"; keywords, document ID,
// title, description and author find the first page; notes find their page. Damaged,
// restricted and unloadable cases are skipped with status lines while the build goes on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "index/index_reader.h"
#include "indexer/page_documents.h"
#include "pagedoc/pgx_format.h"
#include "pagedoc/tests/pgx_writer.h"
#include "platform/process.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"
#include "testsupport/test_files.h"

namespace {

namespace fs = std::filesystem;
namespace pt = qm::pgx::test;
using Lines = std::vector<std::string>;

const std::string kZhText = "\xA4\xA4\xA4\xE5";  // 中文
const std::string kTea = "\xAF\xF9";             // 茶

// The desktop's reading of a hit's name: "name.pgx??p=3" is listed as "name.pgx(3)" (the
// text after the last "=" goes in parentheses in place of everything from the character
// before the last "?").
std::string listed_name(const std::string& stored) {
  const size_t q = stored.rfind('?');
  if (q == std::string::npos || q == 0) return stored;
  const size_t eq = stored.rfind('=');
  return stored.substr(0, q - 1) + "(" + stored.substr(eq + 1) + ")";
}

pt::TextRun run(const std::string& text) {
  pt::TextRun r;
  r.text = text;
  return r;
}

qm::pgx::PgxNote note(const std::string& title, const std::string& text, int page) {
  qm::pgx::PgxNote n;
  n.title = title;
  n.text = text;
  n.page = page;
  return n;
}

// A document whose pages hold these text records (one record per string; an empty list
// is a page without text).
std::string pgx(const std::vector<std::vector<std::string>>& pages,
                const std::vector<std::pair<uint16_t, std::string>>& info,
                const pt::IndexSpec* index = nullptr, bool packed = false,
                int broken_page = 0) {
  pt::DocSpec spec;
  spec.packed = packed;
  spec.info = info;
  for (const auto& records : pages) {
    pt::PageWriter w;
    for (const std::string& r : records) w.text({run(r)});
    spec.pages.push_back(w.end().bytes());
  }
  if (index) spec.extra = {{"indx", pt::index_stream(*index), packed}};
  pt::Written w = pt::write_pgx(spec);
  if (broken_page > 0) w.bytes.replace(w.page_offsets[size_t(broken_page - 1)], 4, "XXXX");
  return w.bytes;
}

struct Output {
  std::string raw;
  Lines lines;
  bool end_mark = false;
  Lines with_code(char code) const {
    Lines out;
    for (const std::string& l : lines)
      if (l.size() >= 2 && l[0] == code) out.push_back(l.substr(2));
    return out;
  }
  bool has_status(const std::string& part) const {
    for (const std::string& l : with_code('1'))
      if (l.find(part) != std::string::npos) return true;
    return false;
  }
};

class IndexerPageDocuments : public testing::Test {
 protected:
  void SetUp() override {
    root_ = tmp_.path();
    bin_ = root_ + "bin/";
    docs_ = root_ + "docs/";
    work_ = root_ + "db/";
    fs::create_directories(bin_);
    fs::create_directories(docs_);
    fs::create_symlink(std::string(QM_DIST_DIR) + "/indexer", bin_ + "indexer");
  }

  void with_library() {
    fs::create_symlink(std::string(QM_DIST_DIR) + "/libpaglet.so", bin_ + "libpaglet.so");
  }
  void ini(const std::string& types) {
    std::ofstream(bin_ + "vesprin.ini") << "[VESPRIN]\n[INDEX]\n1=1\n[DB-1]\nHtmlDir=" << docs_
                                        << "\nWorkDir=" << work_ << "\nLocalFileType=" << types
                                        << "\n";
  }
  void doc(const std::string& name, const std::string& bytes) {
    pt::write_file(docs_ + name, bytes);
  }
  Output run_indexer(const std::vector<std::string>& options) {
    qm::ProcessOptions o;
    o.argv = {bin_ + "indexer"};
    o.argv.insert(o.argv.end(), options.begin(), options.end());
    o.argv.insert(o.argv.end(), {"-w1", "-f10", "-x1"});
    o.timeout_ms = 120000;
    o.stderr_mode = qm::ProcessStderr::Merge;
    qm::ProcessResult r = qm::process_run(o);
    EXPECT_TRUE(r.exited) << r.error;
    Output out;
    out.raw = r.output;
    std::string s = r.output;
    if (s.size() >= 2 && s.compare(s.size() - 2, 2, "\x1A\x1A") == 0) {
      out.end_mark = true;
      s.resize(s.size() - 2);
    }
    for (size_t pos = 0; pos < s.size();) {
      size_t cr = s.find('\r', pos);
      if (cr == std::string::npos) cr = s.size();
      out.lines.push_back(s.substr(pos, cr - pos));
      EXPECT_LT(cr - pos + 1, 255u);
      pos = cr + 1;
    }
    return out;
  }
  // The stored paths of the documents the words find, relative to the document folder.
  std::set<std::string> find(std::string words) {
    EXPECT_TRUE(qm::query_parse(words)) << words;
    qm::SearchDatabase db;
    db.id = 1;
    db.work_dir = work_;
    qm::HitList hits = qm::search_expression(words, {db}, qm::SearchOptions{});
    qm::IndexFileSet set;
    EXPECT_TRUE(set.open(work_, 0, false));
    std::set<std::string> out;
    for (const qm::HitRecord& h : hits) {
      std::string path;
      EXPECT_TRUE(set.read_path(h.document, path));
      out.insert(path);
    }
    return out;
  }
  // Stored path (relative) -> title paragraph.
  std::map<std::string, std::string> titles() {
    qm::IndexFileSet set;
    EXPECT_TRUE(set.open(work_, 0, false));
    std::map<std::string, std::string> out;
    for (uint32_t d = 0; d < set.document_count(); ++d) {
      std::string path;
      qm::CrossRecord cross;
      EXPECT_TRUE(set.read_path(d, path));
      EXPECT_TRUE(set.read_cross(d, cross));
      qm::Paragraph title = set.read_paragraph(cross.fulltext_offset, 0);
      EXPECT_EQ(title.kind, 1);
      out[path] = title.text;
    }
    return out;
  }

  qm::test::TempDir tmp_{"qm-pgxindex-"};
  std::string root_, bin_, docs_, work_;
};

TEST_F(IndexerPageDocuments, EachPageIsADocumentFoundByItsWordsKeywordsAndNotes) {
  pt::IndexSpec index;
  index.with_keywords = true;
  index.id = "DOC-77";
  index.keywords = {"kwone", kTea, "green leaf"};
  index.notes = {note("memo", "quokka sighted", 3), note("n2", "walrus", 2)};
  using namespace qm::pgx;
  const std::vector<std::pair<uint16_t, std::string>> info = {
      {kInfoTitle, "Annual Report"}, {kInfoAuthor, "Alice"}, {kInfoDescription, "yearly figures"}};
  for (bool packed : {false, true}) {
    SCOPED_TRACE(packed ? "packed" : "plain");
    fs::remove_all(docs_);
    fs::remove_all(work_);
    fs::create_directories(docs_);
    doc("report.pgx", pgx({{"alpha tea"}, {"bravo"}, {"charlie zebra", kZhText}, {}}, info,
                          &index, packed));
    doc("Upper.PGX", pgx({{"yankee"}}, {}, nullptr, packed));
    doc("plain.txt", "plain words only");
    ini("txt,pgx");
    if (!fs::exists(bin_ + "libpaglet.so")) with_library();

    Output r = run_indexer({"-corvdoc"});
    ASSERT_TRUE(r.end_mark) << r.raw;
    EXPECT_TRUE(r.with_code('3').empty());
    EXPECT_EQ(r.with_code('0'), (Lines{"Upper.PGX", "plain.txt", "report.pgx"}));
    EXPECT_EQ(r.lines.back(), "1 3 documents indexed, 0 skipped");

    // One document per page that has text or notes; the empty page 4 has neither.
    const std::map<std::string, std::string> expected_titles = {
        {"Upper.PGX??p=1", "Upper.PGX"},
        {"plain.txt", "plain words only"},
        {"report.pgx??p=1", "Annual Report"},
        {"report.pgx??p=2", "bravo"},
        {"report.pgx??p=3", "charlie zebra " + kZhText},
    };
    EXPECT_EQ(titles(), expected_titles);
    EXPECT_EQ(listed_name("report.pgx??p=3"), "report.pgx(3)");

    struct Case {
      const char* words;
      std::set<std::string> found;
    } cases[] = {
        {"zebra", {"report.pgx??p=3"}},                // page text
        {"charlie", {"report.pgx??p=3"}},              // the record after it joins the line
        {"alpha", {"report.pgx??p=1"}},
        {"yankee", {"Upper.PGX??p=1"}},                // extension of any case
        {"quokka", {"report.pgx??p=3"}},               // a note's text ...
        {"memo", {"report.pgx??p=3"}},                 // ... and its title, on their page
        {"walrus", {"report.pgx??p=2"}},
        {"kwone", {"report.pgx??p=1"}},                // keywords, ID, title, description
        {"green leaf", {"report.pgx??p=1"}},           // and author: the document, once
        {"DOC", {"report.pgx??p=1"}},
        {"annual", {"report.pgx??p=1"}},
        {"yearly", {"report.pgx??p=1"}},
        {"alice", {"report.pgx??p=1"}},
        {"pgx", {"Upper.PGX??p=1"}},                   // a file name stands in for no title
        {"plain", {"plain.txt"}},
    };
    for (const Case& c : cases) EXPECT_EQ(find(c.words), c.found) << c.words;
    EXPECT_EQ(find(kZhText), (std::set<std::string>{"report.pgx??p=3"}));
    EXPECT_EQ(find(kTea), (std::set<std::string>{"report.pgx??p=1"}));
  }
}

TEST_F(IndexerPageDocuments, UnreadableDocumentsAndPagesAreSkippedWithStatusLines) {
  using namespace qm::pgx;
  doc("a-broken.pgx", std::string("QDOC") + std::string(60, '\0'));
  doc("b-halfbroken.pgx", pgx({{"first page"}, {"lost page"}, {"third page"}}, {}, nullptr, true, 2));
  doc("c-restricted.pgx", pgx({{"secret"}}, {{kInfoRestricted, "no"}}));
  doc("d-allbroken.pgx", pgx({{"gone"}}, {}, nullptr, true, 1));
  doc("e-good.txt", "good text");
  ini("txt,pgx");
  with_library();
  Output r = run_indexer({"-corvdoc"});
  ASSERT_TRUE(r.end_mark) << r.raw;
  EXPECT_EQ(r.with_code('0'), (Lines{"b-halfbroken.pgx", "e-good.txt"}));
  EXPECT_TRUE(r.has_status("Skipped a-broken.pgx: not a PGX document")) << r.raw;
  EXPECT_TRUE(r.has_status("1 of 3 pages of b-halfbroken.pgx cannot be read")) << r.raw;
  EXPECT_TRUE(r.has_status("Skipped c-restricted.pgx: the document is restricted")) << r.raw;
  EXPECT_TRUE(r.has_status("Skipped d-allbroken.pgx: the text of its pages cannot be read"))
      << r.raw;
  EXPECT_EQ(r.lines.back(), "1 2 documents indexed, 3 skipped");
  EXPECT_EQ(find("page"),
            (std::set<std::string>{"b-halfbroken.pgx??p=1", "b-halfbroken.pgx??p=3"}));
  EXPECT_TRUE(find("secret").empty());
}

TEST_F(IndexerPageDocuments, WithoutTheLibraryOrCorvdocPageDocumentsAreSkipped) {
  doc("a.pgx", pgx({{"pageword"}}, {}));
  doc("b.PGX", pgx({{"pageword"}}, {}));
  doc("c.txt", "textword");
  struct Case {
    const char* what;
    bool library;
    std::vector<std::string> options;
    std::string once;         // a status line written once, or empty
    std::string per_document;  // the reason on each page document's line
  } cases[] = {
      {"library missing", false, {"-corvdoc"}, "Page documents are skipped: libpaglet.so cannot be loaded",
       "libpaglet.so is not loaded"},
      {"build without -corvdoc", true, {}, "", "page documents are indexed only by a -corvdoc build"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(bin_ + "libpaglet.so");
    if (c.library) with_library();
    ini("pgx,txt");
    Output r = run_indexer(c.options);
    ASSERT_TRUE(r.end_mark) << r.raw;
    EXPECT_EQ(r.with_code('0'), Lines{"c.txt"});
    if (!c.once.empty()) {
      size_t n = 0;
      for (const std::string& l : r.with_code('1')) n += l.find(c.once) != std::string::npos;
      EXPECT_EQ(n, 1u) << r.raw;
    }
    EXPECT_TRUE(r.has_status("Skipped a.pgx: " + c.per_document)) << r.raw;
    EXPECT_TRUE(r.has_status("Skipped b.PGX: " + c.per_document)) << r.raw;
    EXPECT_EQ(r.lines.back(), "1 1 documents indexed, 2 skipped");
    EXPECT_TRUE(find("pageword").empty());
    EXPECT_EQ(find("textword"), std::set<std::string>{"c.txt"});
  }
}

// The paragraphs of one page, as the builder stores them.
TEST(PageDocumentParagraphs, TitlesAndDocumentTextsGoWhereTheyBelong) {
  qm::PageDocumentInfo info;
  info.title = "  \r\n";  // nothing visible: the file name stands in
  info.id = "ID9";
  info.keywords = {"k1", "k2"};
  qm::PageContent page;
  page.text = "line one\r\nline two\r\n\r\nnext paragraph\r\n";
  page.notes = {{"note title", "note text"}};
  qm::PageContent empty;

  struct Case {
    const char* what;
    const qm::PageContent* page;
    bool first;
    Lines paragraphs;
  } cases[] = {
      {"first page", &page, true,
       {"x.pgx", "line one line two", "next paragraph", "note title", "note text", "ID9", "k1", "k2"}},
      {"later page", &page, false,
       {"line one line two", "next paragraph", "note title", "note text"}},
      {"empty first page", &empty, true, {"x.pgx", "ID9", "k1", "k2"}},
      {"empty later page", &empty, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(qm::page_document_paragraphs(info, *c.page, "x.pgx", c.first).paragraphs, c.paragraphs);
  }
  EXPECT_EQ(qm::page_document_path("/d/x.pgx", 12), "/d/x.pgx??p=12");
}

}  // namespace
