// libpaglet.so as an outside program uses it: loaded with dlopen from the dist
// folder, documents opened by path, page texts, info, document IDs, keywords and
// notes read through the PGLT_ functions, every result code reached; and the pgxdump
// tool run on documents.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <new>
#include <sys/wait.h>

#include "pagedoc/pgx_format.h"
#include "pagedoc/tests/fixtures.h"
#include "pagedoc/tests/paglet_loader.h"
#include "pagedoc/tests/pgx_writer.h"
#include "pagedoc/tests/test_dir.h"

// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about string concatenations that it
// inlines in this file.
#pragma GCC diagnostic ignored "-Wrestrict"

// The note block is the library's one array allocation (new (std::nothrow) char[]).
// Array allocation is replaced in this program, so that it reaches the library too,
// to make that allocation fail on request; the other forms go with it so every
// array block is taken and given back the same way.
namespace {
size_t g_fail_array_from = 0;  // when non-zero: nothrow array requests this large fail
}  // namespace

void* operator new[](std::size_t n) {
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  if (g_fail_array_from != 0 && n >= g_fail_array_from) return nullptr;
  return std::malloc(n ? n : 1);
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace qm::pgx {
namespace {


class PagedocPaglet : public test::ScratchTest {
 protected:
  Paglet& pg = paglet();

  void SetUp() override {
    ASSERT_NE(pg.lib, nullptr);
    ASSERT_EQ(pg.StartUp(), 0);
  }
  void TearDown() override {
    if (pg.lib) pg.End();
    ScratchTest::TearDown();
  }
  std::string page_text(int h, int page) {
    std::string buf(4096, '\0');
    int n = pg.GetTextInPage(h, page, buf.data(), int(buf.size()));
    EXPECT_GE(n, 0);
    return buf.substr(0, size_t(std::max(n, 0)));
  }
};

TEST_F(PagedocPaglet, ReadsFixtureDocuments) {
  struct Case {
    const char* name;
    const std::vector<unsigned char>* bytes;
    std::vector<std::string> pages;
    std::string author, title, description;
  } cases[] = {
      {"plain.pgx", &test::kPlainFixture, {test::kPlainPage1, test::kPlainPage2}, test::kPlainAuthor,
       test::kPlainTitle, test::kPlainDescription},
      {"packed.pgx", &test::kPackedFixture, {test::kPackedPage1}, "", test::kPackedTitle, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int h = pg.OpenPGX(write(c.name, *c.bytes).c_str());
    ASSERT_GE(h, 0);
    ASSERT_EQ(pg.GetPageCount(h), int(c.pages.size()));
    for (int p = 1; p <= int(c.pages.size()); ++p) {
      // The text call first, before any length query, extracts the page.
      EXPECT_EQ(page_text(h, p), c.pages[size_t(p - 1)]);
      EXPECT_EQ(pg.GetTextLengthInPage(h, p), int(c.pages[size_t(p - 1)].size()));
    }
    char author[64], title[64], description[64];
    ASSERT_EQ(pg.GetAuthorTitleDescription(h, author, 64, title, 64, description, 64), 1);
    EXPECT_EQ(std::string(author), c.author);
    EXPECT_EQ(std::string(title), c.title);
    EXPECT_EQ(std::string(description), c.description);
    EXPECT_EQ(pg.ClosePGX(h), 1);
  }
}

TEST_F(PagedocPaglet, EveryResultCode) {
  using test::DocSpec;
  using test::PageWriter;
  DocSpec plain_spec;
  plain_spec.pages = {PageWriter().end().bytes(), PageWriter().end().bytes()};
  std::string plain = write("plain.pgx", test::kPlainFixture);
  std::string bad_magic = write("bad.pgx", std::string("QDOC") + std::string(40, '\0'));
  DocSpec no_pages = plain_spec;
  no_pages.with_page_table = false;
  std::string no_page_table = write("nopape.pgx", test::write_pgx(no_pages).bytes);
  std::string broken_table = test::read_file(write("p.pgx", test::kPackedFixture));
  broken_table[86 + 24] = 9;  // the packed page table's dictionary byte
  std::string broken_table_path = write("brokentable.pgx", broken_table);
  std::string broken_page = broken_table;
  broken_page[86 + 24] = 0;
  broken_page[40 + 24 + 1] = 9;  // the packed page's dictionary byte
  std::string broken_page_path = write("brokenpage.pgx", broken_page);
  DocSpec restricted_spec = plain_spec;
  restricted_spec.info = {{kInfoRestricted, "restricted"}};
  std::string restricted = write("restricted.pgx", test::write_pgx(restricted_spec).bytes);

  int closed = pg.OpenPGX(plain.c_str());
  ASSERT_GE(closed, 0);
  ASSERT_EQ(pg.ClosePGX(closed), 1);
  int h = pg.OpenPGX(plain.c_str());
  ASSERT_GE(h, 0);
  char buf[16];

  struct Case {
    const char* name;
    std::function<int()> call;
    int expect;
  } cases[] = {
      {"open before start-up", [&] { pg.End(); int r = pg.OpenPGX(plain.c_str()); pg.StartUp();
                                      h = pg.OpenPGX(plain.c_str()); return r; }, PGLT_ERR_NOMEMORY},
      {"129th open", [&] {
         for (int i = 0; i < PGLT_MAX_DOCUMENTS - 1; ++i)
           if (pg.OpenPGX(plain.c_str()) < 0) return 999;
         int r = pg.OpenPGX(plain.c_str());
         for (int i = 0; i < PGLT_MAX_DOCUMENTS; ++i)
           if (i != h) pg.ClosePGX(i);
         return r; }, PGLT_ERR_NOSLOT},
      {"missing file", [&] { return pg.OpenPGX(dir.path("missing.pgx").c_str()); }, PGLT_ERR_OPEN},
      {"null path", [&] { return pg.OpenPGX(nullptr); }, PGLT_ERR_OPEN},
      {"wrong magic", [&] { return pg.OpenPGX(bad_magic.c_str()); }, PGLT_ERR_OPEN},
      {"no page table", [&] { return pg.OpenPGX(no_page_table.c_str()); }, PGLT_ERR_OPEN},
      {"page table cannot be unpacked", [&] { return pg.OpenPGX(broken_table_path.c_str()); }, PGLT_ERR_OPEN},
      {"page count of handle -1", [&] { return pg.GetPageCount(-1); }, PGLT_ERR_HANDLE},
      {"page count of handle 128", [&] { return pg.GetPageCount(128); }, PGLT_ERR_HANDLE},
      {"page count of a closed handle", [&] { return pg.GetPageCount(closed == h ? 127 : closed); }, PGLT_ERR_HANDLE},
      {"page count", [&] { return pg.GetPageCount(h); }, 2},
      {"page 0", [&] { return pg.GetTextLengthInPage(h, 0); }, PGLT_ERR_PAGE},
      {"page -1", [&] { return pg.GetTextInPage(h, -1, buf, 16); }, PGLT_ERR_PAGE},
      {"page count + 1", [&] { return pg.GetTextLengthInPage(h, 3); }, PGLT_ERR_PAGE},
      {"text of handle 128", [&] { return pg.GetTextInPage(128, 1, buf, 16); }, PGLT_ERR_PAGE},
      {"text of a closed handle", [&] { return pg.GetTextLengthInPage(127, 1); }, PGLT_ERR_PAGE},
      {"page that cannot be unpacked", [&] {
         int b = pg.OpenPGX(broken_page_path.c_str());
         int r = b < 0 ? 999 : pg.GetTextLengthInPage(b, 1);
         int r2 = b < 0 ? 999 : pg.GetTextInPage(b, 1, buf, 16);
         pg.ClosePGX(b);
         return r == r2 ? r : 998; }, PGLT_ERR_EXTRACT},
      {"restricted document", [&] { return pg.OpenPGX(restricted.c_str()); }, PGLT_ERR_REFUSED},
      {"close of a closed handle", [&] { return pg.ClosePGX(127); }, 0},
      {"close of handle -1", [&] { return pg.ClosePGX(-1); }, 0},
      {"info of a closed handle", [&] { return pg.GetAuthorTitleDescription(127, buf, 16, buf, 16, buf, 16); }, 0},
      {"text into size 0", [&] { return pg.GetTextInPage(h, 1, buf, 0); }, 0},
      {"text into a negative size", [&] { return pg.GetTextInPage(h, 1, buf, -4); }, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(), c.expect) << c.name;
  EXPECT_EQ(pg.ClosePGX(h), 1);
}

TEST_F(PagedocPaglet, LowestFreeSlotIsReused) {
  std::string path = write("packed.pgx", test::kPackedFixture);
  for (int i = 0; i < PGLT_MAX_DOCUMENTS; ++i) ASSERT_EQ(pg.OpenPGX(path.c_str()), i);
  EXPECT_EQ(dir.temp_files().size(), size_t(PGLT_MAX_DOCUMENTS));  // one working copy each
  EXPECT_EQ(pg.OpenPGX(path.c_str()), PGLT_ERR_NOSLOT);
  EXPECT_EQ(pg.ClosePGX(40), 1);
  EXPECT_EQ(pg.ClosePGX(7), 1);
  EXPECT_EQ(pg.OpenPGX(path.c_str()), 7);
  EXPECT_EQ(pg.OpenPGX(path.c_str()), 40);
  EXPECT_EQ(page_text(7, 1), test::kPackedPage1);
  // PGLT_End (in TearDown) closes them all and removes every working copy.
}

TEST_F(PagedocPaglet, StartingAgainDiscardsOpenDocuments) {
  int h = pg.OpenPGX(write("packed.pgx", test::kPackedFixture).c_str());
  ASSERT_EQ(h, 0);
  EXPECT_EQ(dir.temp_files().size(), 1u);
  ASSERT_EQ(pg.StartUp(), 0);
  EXPECT_TRUE(dir.temp_files().empty());
  EXPECT_EQ(pg.GetPageCount(h), PGLT_ERR_HANDLE);
  EXPECT_EQ(pg.OpenPGX(dir.path("packed.pgx").c_str()), 0);
}

TEST_F(PagedocPaglet, TextIsCopiedWithoutTerminator) {
  int h = pg.OpenPGX(write("plain.pgx", test::kPlainFixture).c_str());
  ASSERT_GE(h, 0);
  char buf[32];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_EQ(pg.GetTextInPage(h, 1, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 6), " HelXX");
  std::memset(buf, 'X', sizeof buf);
  EXPECT_EQ(pg.GetTextInPage(h, 1, buf, 0), 0);
  EXPECT_EQ(pg.GetTextInPage(h, 1, buf, -1), 0);
  EXPECT_EQ(buf[0], 'X');
  EXPECT_EQ(pg.GetTextInPage(h, 1, buf, 32), int(test::kPlainPage1.size()));
  EXPECT_EQ(buf[test::kPlainPage1.size()], 'X');
}

TEST_F(PagedocPaglet, AuthorTitleDescriptionBuffers) {
  int h = pg.OpenPGX(write("plain.pgx", test::kPlainFixture).c_str());
  ASSERT_GE(h, 0);
  char a[32], t[32], d[32];
  auto reset = [&] {
    std::memset(a, 'X', 32);
    std::memset(t, 'X', 32);
    std::memset(d, 'X', 32);
  };
  reset();
  // Only a title buffer: only item 0 is copied.
  EXPECT_EQ(pg.GetAuthorTitleDescription(h, nullptr, 0, t, 32, nullptr, 0), 1);
  EXPECT_STREQ(t, "Quill Title");
  // A text as long as size - 1 or longer is cut to size - 1 bytes and terminated.
  EXPECT_EQ(pg.GetAuthorTitleDescription(h, a, 5, t, 6, d, 5), 1);
  EXPECT_STREQ(a, "Alic");
  EXPECT_STREQ(t, "Quill");
  EXPECT_STREQ(d, "Test");
  EXPECT_EQ(pg.GetAuthorTitleDescription(h, a, 1, nullptr, 0, nullptr, 0), 1);
  EXPECT_STREQ(a, "");
  // A description size of 0 ends the call after author and title are filled.
  reset();
  EXPECT_EQ(pg.GetAuthorTitleDescription(h, a, 32, t, 32, d, 0), 0);
  EXPECT_STREQ(a, "Alice");
  EXPECT_STREQ(t, "Quill Title");
  EXPECT_EQ(d[0], 'X');
  // A missing item gives an empty string.
  int p = pg.OpenPGX(write("packed.pgx", test::kPackedFixture).c_str());
  ASSERT_GE(p, 0);
  reset();
  EXPECT_EQ(pg.GetAuthorTitleDescription(p, a, 32, t, 32, d, 32), 1);
  EXPECT_STREQ(a, "");
  EXPECT_STREQ(t, "Packed");
  EXPECT_STREQ(d, "");
}

// ---- Keywords and notes ------------------------------------------------------------------

using NoteList = std::vector<std::pair<std::string, std::string>>;  // title, text

class PagedocPagletIndex : public PagedocPaglet {
 protected:
  // A document of `pages` pages ("p1", "p2", ...) with this index stream.
  std::string write_index_doc(const std::string& name, int pages, const test::IndexSpec& index, bool packed) {
    test::DocSpec spec;
    spec.packed = packed;
    for (int i = 1; i <= pages; ++i) {
      test::TextRun r;
      r.text = "p" + std::to_string(i);
      spec.pages.push_back(test::PageWriter().text({r}).end().bytes());
    }
    spec.extra = {{"indx", test::index_stream(index), packed}};
    return write(name, test::write_pgx(spec).bytes);
  }

  // The keyword record as an indexing program reads it: load, ID, count, each
  // keyword, release. False when none could be loaded.
  bool read_keywords(int h, std::string& id, std::vector<std::string>& keywords) {
    id.clear();
    keywords.clear();
    if (pg.GetKeywordStruct(h) != 1) return false;
    std::vector<char> buf(65536);
    const int size = int(buf.size()) - 1;  // room for the NUL after size bytes
    EXPECT_EQ(pg.GetDocumentID(h, buf.data(), size), 1);
    id = buf.data();
    int count = pg.GetKeywordCount(h);
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(pg.GetKeyword(h, i, buf.data(), size), 1);
      keywords.push_back(buf.data());
    }
    EXPECT_EQ(pg.ReleaseKeywordStruct(h), 1);
    return true;
  }

  // The notes of one page: load, each title and text sized by its length, release.
  // *code receives the load's result.
  NoteList read_notes(int h, int page, int* code) {
    NoteList out;
    *code = pg.GetNoteStructInPage(h, page);
    for (int i = 0; i < *code; ++i) {
      int tl = pg.GetNoteTitleLengthInPage(h, page, i);
      int xl = pg.GetNoteTextLengthInPage(h, page, i);
      std::string title(size_t(tl) + 1, 'X'), text(size_t(xl) + 1, 'X');
      EXPECT_EQ(pg.GetNoteTitleInPage(h, page, i, title.data(), tl + 1), tl);
      EXPECT_EQ(pg.GetNoteTextInPage(h, page, i, text.data(), xl + 1), xl);
      EXPECT_EQ(title.back(), '\0');
      EXPECT_EQ(text.back(), '\0');
      title.pop_back();
      text.pop_back();
      out.emplace_back(title, text);
    }
    if (*code > 0) {
      EXPECT_EQ(pg.ReleaseNoteStructInPage(h, page), 0);
    }
    return out;
  }
};

PgxNote make_note(const std::string& title, const std::string& text, int page) {
  PgxNote n;
  n.title = title;
  n.text = text;
  n.page = page;
  return n;
}

TEST_F(PagedocPagletIndex, KeywordsAndNotesOfDocuments) {
  // Written: four packed pages; IDs and keywords longer than 127 bytes, more than 127
  // keywords; notes on pages 1, 2 (three) and 4, and on pages 0, -1 and 5, which the
  // document lacks.
  test::IndexSpec written;
  written.with_keywords = true;
  written.id = std::string(200, 'D') + "\xA4\xA4";  // ends in Big5 中
  for (int i = 0; i < 130; ++i) written.keywords.push_back("kw" + std::to_string(i));
  written.keywords.push_back(std::string(300, 'L'));
  written.notes = {make_note("n1", "on one", 1),   make_note("a", "first on two", 2),
                   make_note("zero", "none", 0),   make_note("b", std::string(400, 'B'), 2),
                   make_note("neg", "none", -1),   make_note("", "", 2),
                   make_note("n4", "on four", 4),  make_note("five", "none", 5)};
  test::IndexSpec notes_only;
  notes_only.notes = {make_note("only", "note", 2)};

  struct Case {
    const char* name;
    std::string path;
    bool has_keywords;
    std::string id;
    std::vector<std::string> keywords;
    std::vector<NoteList> notes;  // per page
  } cases[] = {
      {"typed fixture", write("typed.pgx", test::kIndexFixture), true, test::kIndexId, test::kIndexKeywords,
       {{{"First", "On page one"}}, {}, {{"Second", "\xA4\xA4\xA4\xE5"}, {"", "untitled"}}}},
      {"written, packed", write_index_doc("written.pgx", 4, written, true), true, written.id, written.keywords,
       {{{"n1", "on one"}}, {{"a", "first on two"}, {"b", std::string(400, 'B')}, {"", ""}}, {}, {{"n4", "on four"}}}},
      {"notes without keywords", write_index_doc("notes.pgx", 2, notes_only, false), false, "", {},
       {{}, {{"only", "note"}}}},
      {"no index stream", write("plain.pgx", test::kPlainFixture), false, "", {}, {{}, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int h = pg.OpenPGX(c.path.c_str());
    ASSERT_GE(h, 0);
    ASSERT_EQ(pg.GetPageCount(h), int(c.notes.size()));
    std::string id;
    std::vector<std::string> keywords;
    EXPECT_EQ(read_keywords(h, id, keywords), c.has_keywords);
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(keywords, c.keywords);
    for (int p = 1; p <= int(c.notes.size()); ++p) {
      int code = 0;
      NoteList got = read_notes(h, p, &code);
      const NoteList& want = c.notes[size_t(p - 1)];
      EXPECT_EQ(code, want.empty() ? PGLT_ERR_NONOTES : int(want.size())) << "page " << p;
      EXPECT_EQ(got, want) << "page " << p;
    }
    EXPECT_EQ(pg.ClosePGX(h), 1);
  }
}

TEST_F(PagedocPagletIndex, EveryKeywordAndNoteResultCode) {
  int h = pg.OpenPGX(write("typed.pgx", test::kIndexFixture).c_str());  // notes on pages 1 and 3
  test::IndexSpec other;
  other.with_keywords = true;
  other.id = "other";
  other.keywords = {"x"};
  other.notes = {make_note("o", "other", 1), make_note("p", "other", 3)};
  int g = pg.OpenPGX(write_index_doc("other.pgx", 3, other, false).c_str());
  int n = pg.OpenPGX(write("plain.pgx", test::kPlainFixture).c_str());  // no index stream
  test::IndexSpec bad = other;
  std::string bad_stream = test::index_stream(bad);
  // The keyword record's last keyword runs past the record: its length says 2, 1 byte follows.
  std::string record = test::keyword_record("other", {"x"});
  size_t at = bad_stream.rfind(record);
  ASSERT_NE(at, std::string::npos);
  bad_stream[at + record.size() - 3] = 2;
  test::DocSpec bad_spec;
  bad_spec.pages = {test::PageWriter().end().bytes()};
  bad_spec.extra = {{"indx", bad_stream, false}};
  int b = pg.OpenPGX(write("bad.pgx", test::write_pgx(bad_spec).bytes).c_str());
  ASSERT_TRUE(h >= 0 && g >= 0 && n >= 0 && b >= 0);
  char buf[64];

  struct Case {
    const char* name;
    std::function<int()> call;
    int expect;
  } cases[] = {
      // Keyword record
      {"load for handle -1", [&] { return pg.GetKeywordStruct(-1); }, 0},
      {"load for a closed handle", [&] { return pg.GetKeywordStruct(127); }, 0},
      {"load without an index stream", [&] { return pg.GetKeywordStruct(n); }, 0},
      {"load of a record shorter than its lengths", [&] { return pg.GetKeywordStruct(b); }, 0},
      {"ID with none loaded", [&] { return pg.GetDocumentID(h, buf, 16); }, 0},
      {"count with none loaded", [&] { return pg.GetKeywordCount(h); }, 0},
      {"keyword with none loaded", [&] { return pg.GetKeyword(h, 0, buf, 16); }, 0},
      {"release with none loaded", [&] { return pg.ReleaseKeywordStruct(h); }, 0},
      {"load", [&] { return pg.GetKeywordStruct(h); }, 1},
      {"second load, same handle", [&] { return pg.GetKeywordStruct(h); }, 0},
      {"second load, another document", [&] { return pg.GetKeywordStruct(g); }, 0},
      {"ID", [&] { return pg.GetDocumentID(h, buf, 16); }, 1},
      {"ID of another handle", [&] { return pg.GetDocumentID(g, buf, 16); }, 0},
      {"ID into a negative size", [&] { return pg.GetDocumentID(h, buf, -1); }, 0},
      {"ID into no buffer", [&] { return pg.GetDocumentID(h, nullptr, 16); }, 0},
      {"count", [&] { return pg.GetKeywordCount(h); }, 3},
      {"count of another handle", [&] { return pg.GetKeywordCount(g); }, 0},
      {"last keyword", [&] { return pg.GetKeyword(h, 2, buf, 16); }, 1},
      {"keyword index = count", [&] { return pg.GetKeyword(h, 3, buf, 16); }, 0},
      {"keyword index -1", [&] { return pg.GetKeyword(h, -1, buf, 16); }, 0},
      {"keyword of another handle", [&] { return pg.GetKeyword(g, 0, buf, 16); }, 0},
      {"release by another handle", [&] { return pg.ReleaseKeywordStruct(g); }, 0},
      {"release", [&] { return pg.ReleaseKeywordStruct(h); }, 1},
      {"release again", [&] { return pg.ReleaseKeywordStruct(h); }, 0},
      {"another document loads after the release", [&] { return pg.GetKeywordStruct(g) + pg.ReleaseKeywordStruct(g); }, 2},
      // Note block
      {"title length with none loaded", [&] { return pg.GetNoteTitleLengthInPage(h, 3, 0); }, PGLT_ERR_NOSTRUCT},
      {"text length with none loaded", [&] { return pg.GetNoteTextLengthInPage(h, 3, 0); }, PGLT_ERR_NOSTRUCT},
      {"title with none loaded", [&] { return pg.GetNoteTitleInPage(h, 3, 0, buf, 16); }, PGLT_ERR_NOSTRUCT},
      {"text with none loaded", [&] { return pg.GetNoteTextInPage(h, 3, 0, buf, 16); }, PGLT_ERR_NOSTRUCT},
      {"release with none loaded", [&] { return pg.ReleaseNoteStructInPage(-1, -1); }, PGLT_ERR_OTHERPAGE},
      {"notes of page 0", [&] { return pg.GetNoteStructInPage(h, 0); }, PGLT_ERR_PAGE},
      {"notes of page -1", [&] { return pg.GetNoteStructInPage(h, -1); }, PGLT_ERR_PAGE},
      {"notes of page count + 1", [&] { return pg.GetNoteStructInPage(h, 4); }, PGLT_ERR_PAGE},
      {"notes of page 9, which only a note names", [&] { return pg.GetNoteStructInPage(h, 9); }, PGLT_ERR_PAGE},
      {"notes of a closed handle", [&] { return pg.GetNoteStructInPage(127, 1); }, PGLT_ERR_PAGE},
      {"page without notes", [&] { return pg.GetNoteStructInPage(h, 2); }, PGLT_ERR_NONOTES},
      {"document without an index stream", [&] { return pg.GetNoteStructInPage(n, 1); }, PGLT_ERR_NONOTES},
      {"block cannot be allocated", [&] {
         g_fail_array_from = 1;
         int r = pg.GetNoteStructInPage(h, 3);
         g_fail_array_from = 0;
         return r; }, PGLT_ERR_BUFFER},
      {"nothing stays loaded after it", [&] { return pg.GetNoteTitleLengthInPage(h, 3, 0); }, PGLT_ERR_NOSTRUCT},
      {"load", [&] { return pg.GetNoteStructInPage(h, 3); }, 2},
      {"second load", [&] { return pg.GetNoteStructInPage(h, 3); }, PGLT_ERR_BUSY},
      {"second load, another document", [&] { return pg.GetNoteStructInPage(g, 1); }, PGLT_ERR_BUSY},
      {"second load, bad page", [&] { return pg.GetNoteStructInPage(h, 0); }, PGLT_ERR_BUSY},
      {"title length", [&] { return pg.GetNoteTitleLengthInPage(h, 3, 0); }, 6},
      {"text length", [&] { return pg.GetNoteTextLengthInPage(h, 3, 1); }, 8},
      {"empty title", [&] { return pg.GetNoteTitleInPage(h, 3, 1, buf, 16); }, 0},
      {"text", [&] { return pg.GetNoteTextInPage(h, 3, 0, buf, 16); }, 4},
      {"title length, another page", [&] { return pg.GetNoteTitleLengthInPage(h, 1, 0); }, PGLT_ERR_OTHERPAGE},
      {"text length, another handle", [&] { return pg.GetNoteTextLengthInPage(g, 3, 0); }, PGLT_ERR_OTHERPAGE},
      {"title, another page", [&] { return pg.GetNoteTitleInPage(h, 2, 0, buf, 16); }, PGLT_ERR_OTHERPAGE},
      {"text, another handle", [&] { return pg.GetNoteTextInPage(g, 3, 0, buf, 16); }, PGLT_ERR_OTHERPAGE},
      {"title length, index = count", [&] { return pg.GetNoteTitleLengthInPage(h, 3, 2); }, PGLT_ERR_INDEX},
      {"text length, index = count", [&] { return pg.GetNoteTextLengthInPage(h, 3, 2); }, PGLT_ERR_INDEX},
      {"title, index = count", [&] { return pg.GetNoteTitleInPage(h, 3, 2, buf, 16); }, PGLT_ERR_INDEX},
      {"text, index = count", [&] { return pg.GetNoteTextInPage(h, 3, 2, buf, 16); }, PGLT_ERR_INDEX},
      {"title, index -1", [&] { return pg.GetNoteTitleInPage(h, 3, -1, buf, 16); }, PGLT_ERR_INDEX},
      {"release, another page", [&] { return pg.ReleaseNoteStructInPage(h, 1); }, PGLT_ERR_OTHERPAGE},
      {"release, another handle", [&] { return pg.ReleaseNoteStructInPage(g, 3); }, PGLT_ERR_OTHERPAGE},
      {"still loaded after refused releases", [&] { return pg.GetNoteTitleLengthInPage(h, 3, 0); }, 6},
      {"release", [&] { return pg.ReleaseNoteStructInPage(h, 3); }, 0},
      {"release again", [&] { return pg.ReleaseNoteStructInPage(h, 3); }, PGLT_ERR_OTHERPAGE},
      {"another document loads after the release", [&] { return pg.GetNoteStructInPage(g, 3); }, 1},
      {"and releases", [&] { return pg.ReleaseNoteStructInPage(g, 3); }, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(), c.expect) << c.name;
}

TEST_F(PagedocPagletIndex, CopiesAreCutToTheBufferSize) {
  int h = pg.OpenPGX(write("typed.pgx", test::kIndexFixture).c_str());
  ASSERT_GE(h, 0);
  char buf[32];
  auto reset = [&] { std::memset(buf, 'X', sizeof buf); };
  ASSERT_EQ(pg.GetKeywordStruct(h), 1);
  // ID and keywords: min(length, size) bytes, then a NUL at buffer[n].
  reset();
  EXPECT_EQ(pg.GetDocumentID(h, buf, 3), 1);
  EXPECT_EQ(std::string(buf, 5), std::string("QM-\0X", 5));
  reset();
  EXPECT_EQ(pg.GetDocumentID(h, buf, 0), 1);
  EXPECT_EQ(std::string(buf, 2), std::string("\0X", 2));
  reset();
  EXPECT_EQ(pg.GetKeyword(h, 2, buf, 5), 1);
  EXPECT_EQ(std::string(buf, 7), std::string("green\0X", 7));
  reset();
  EXPECT_EQ(pg.GetKeyword(h, 1, buf, 31), 1);
  EXPECT_STREQ(buf, "\xAF\xF9");  // Big5 茶
  EXPECT_EQ(pg.ReleaseKeywordStruct(h), 1);

  // Notes: min(size - 1, length) bytes, then a NUL; the count is returned.
  ASSERT_EQ(pg.GetNoteStructInPage(h, 1), 1);
  reset();
  EXPECT_EQ(pg.GetNoteTextInPage(h, 1, 0, buf, 3), 2);
  EXPECT_EQ(std::string(buf, 4), std::string("On\0X", 4));
  reset();
  EXPECT_EQ(pg.GetNoteTitleInPage(h, 1, 0, buf, 1), 0);
  EXPECT_EQ(std::string(buf, 2), std::string("\0X", 2));
  reset();
  EXPECT_EQ(pg.GetNoteTitleInPage(h, 1, 0, buf, 0), 0);
  EXPECT_EQ(pg.GetNoteTitleInPage(h, 1, 0, buf, -5), 0);
  EXPECT_EQ(pg.GetNoteTitleInPage(h, 1, 0, nullptr, 8), 0);
  EXPECT_EQ(buf[0], 'X');
  EXPECT_EQ(pg.GetNoteTitleInPage(h, 1, 0, buf, 6), 5);
  EXPECT_STREQ(buf, "First");
  EXPECT_EQ(pg.ReleaseNoteStructInPage(h, 1), 0);
}

TEST_F(PagedocPagletIndex, LoadedStructsBelongToTheirOpening) {
  std::string typed = write("typed.pgx", test::kIndexFixture);
  test::IndexSpec next;
  next.with_keywords = true;
  next.id = "NEXT";
  next.keywords = {"n"};
  next.notes = {make_note("next", "note", 3)};
  std::string next_path = write_index_doc("next.pgx", 3, next, false);

  int h = pg.OpenPGX(typed.c_str());
  int other = pg.OpenPGX(next_path.c_str());
  ASSERT_TRUE(h >= 0 && other >= 0);
  ASSERT_EQ(pg.GetKeywordStruct(h), 1);
  ASSERT_EQ(pg.GetNoteStructInPage(h, 3), 2);
  EXPECT_EQ(pg.ClosePGX(h), 1);
  // Closing does not release them: they still answer for the closed handle, and
  // still keep other documents from loading.
  char buf[32];
  EXPECT_EQ(pg.GetDocumentID(h, buf, 31), 1);
  EXPECT_STREQ(buf, "QM-0042");
  EXPECT_EQ(pg.GetNoteTitleLengthInPage(h, 3, 0), 6);
  EXPECT_EQ(pg.GetKeywordStruct(other), 0);
  EXPECT_EQ(pg.GetNoteStructInPage(other, 3), PGLT_ERR_BUSY);

  // A new document in the same slot starts with nothing loaded.
  ASSERT_EQ(pg.OpenPGX(next_path.c_str()), h);
  EXPECT_EQ(pg.GetDocumentID(h, buf, 31), 0);
  EXPECT_EQ(pg.GetKeywordCount(h), 0);
  EXPECT_EQ(pg.GetKeyword(h, 0, buf, 31), 0);
  EXPECT_EQ(pg.GetNoteTitleLengthInPage(h, 3, 0), PGLT_ERR_NOSTRUCT);
  EXPECT_EQ(pg.GetNoteTextInPage(h, 3, 1, buf, 31), PGLT_ERR_NOSTRUCT);
  EXPECT_EQ(pg.ReleaseKeywordStruct(h), 0);
  EXPECT_EQ(pg.ReleaseNoteStructInPage(h, 3), PGLT_ERR_OTHERPAGE);
  ASSERT_EQ(pg.GetKeywordStruct(h), 1);
  EXPECT_EQ(pg.GetDocumentID(h, buf, 31), 1);
  EXPECT_STREQ(buf, "NEXT");
  EXPECT_EQ(pg.ReleaseKeywordStruct(h), 1);
  ASSERT_EQ(pg.GetNoteStructInPage(h, 3), 1);
  EXPECT_EQ(pg.GetNoteTitleInPage(h, 3, 0, buf, 31), 4);
  EXPECT_STREQ(buf, "next");
  EXPECT_EQ(pg.ReleaseNoteStructInPage(h, 3), 0);

  // Released after the close, before any new open: that works as for an open handle.
  EXPECT_EQ(pg.GetKeywordStruct(other), 1);
  EXPECT_EQ(pg.ClosePGX(other), 1);
  EXPECT_EQ(pg.ReleaseKeywordStruct(other), 1);
  // PGLT_End (in TearDown) frees whatever is still loaded.
  ASSERT_EQ(pg.GetNoteStructInPage(h, 3), 1);
  ASSERT_EQ(pg.GetKeywordStruct(h), 1);
}

// ---- pgxdump ----------------------------------------------------------------------------

struct Output {
  int status;
  std::string out;
};

Output run(const std::string& args) {
  std::string cmd = std::string(QM_DIST_DIR) + "/pgxdump " + args + " 2>/dev/null";
  Output o{-1, ""};
  const int st = qm::test::command_output(cmd, o.out);
  o.status = st != -1 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return o;
}

TEST_F(PagedocPaglet, PgxdumpPrintsInfoKeywordsPagesAndNotes) {
  std::string plain = write("plain.pgx", test::kPlainFixture);
  Output all = run(plain);
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.out, "pages: 2\ntitle: Quill Title\nauthor: Alice\ndescription: Test\n"
                     "--- page 1 (13 bytes) ---\n" + test::kPlainPage1 +
                     "--- page 2 (12 bytes) ---\n" + test::kPlainPage2);
  Output one = run(plain + " 2");
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.out, test::kPlainPage2);
  Output packed = run(write("packed.pgx", test::kPackedFixture) + " 1");
  EXPECT_EQ(packed.out, test::kPackedPage1);

  Output index = run(write("typed.pgx", test::kIndexFixture));
  EXPECT_EQ(index.status, 0);
  EXPECT_EQ(index.out, "pages: 3\ntitle: Leaf\nauthor: \ndescription: \n"
                       "id: QM-0042\nkeywords: 3\nkeyword: tea\nkeyword: \xAF\xF9\nkeyword: green leaf\n"
                       "--- page 1 (5 bytes) ---\nTea\r\n"
                       "--- page 1 notes: 1 ---\ntitle: First\ntext: On page one\n"
                       "--- page 2 (0 bytes) ---\n"
                       "--- page 3 (0 bytes) ---\n"
                       "--- page 3 notes: 2 ---\ntitle: Second\ntext: \xA4\xA4\xA4\xE5\ntitle: \ntext: untitled\n");

  EXPECT_EQ(run(plain + " 3").status, 1);
  EXPECT_EQ(run(dir.path("missing.pgx")).status, 1);
  EXPECT_EQ(run("").status, 1);
}

}  // namespace
}  // namespace qm::pgx
