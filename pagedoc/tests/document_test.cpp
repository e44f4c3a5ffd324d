// The PGX reader in-process: the page-text walk over every kind of record, opening
// and its failures, bounds on lengths read from the file, info items, working copies
// of packed documents and the unpacking of one page at a time.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

#include "pagedoc/paglet.h"
#include "pagedoc/paglet_table.h"
#include "pagedoc/pgx_document.h"
#include "pagedoc/pgx_format.h"
#include "pagedoc/pgx_pagetext.h"
#include "pagedoc/tests/fixtures.h"
#include "pagedoc/tests/pgx_writer.h"
#include "pagedoc/tests/test_dir.h"
#include "platform/le.h"

namespace qm::pgx {
namespace {

using test::DocSpec;
using test::PageWriter;
using test::TextRun;

TextRun run(uint16_t y, const std::string& text) {
  TextRun r;
  r.x = 3;
  r.y = y;
  r.text = text;
  return r;
}

TextRun run_extent(uint16_t y, const std::string& text, int16_t start, int16_t end, bool char_data = false) {
  TextRun r = run(y, text);
  r.has_extent = true;
  r.extent[0] = start;
  r.extent[1] = 111;
  r.extent[2] = end;
  r.extent[3] = 222;
  r.char_data = char_data;
  return r;
}

std::string u16(uint16_t v) {
  std::string s;
  le::append16(s, v);
  return s;
}
std::string u32(uint32_t v) {
  std::string s;
  le::append32(s, v);
  return s;
}

using PagedocReader = test::ScratchTest;

// ---- Fixtures -------------------------------------------------------------------------

TEST_F(PagedocReader, WriterRecordsMatchTheTypedFixture) {
  // The writer's page records are byte for byte those typed into the plain fixture.
  std::string fixture(test::kPlainFixture.begin(), test::kPlainFixture.end());
  TextRun hello = run(20, "Hello"), world = run(20, "World");
  hello.x = 10;
  world.x = 60;
  EXPECT_EQ(PageWriter().text({hello, world}).end().bytes(), fixture.substr(94, 30));

  TextRun r1 = run_extent(0, "\xA4\xA4", 0, 100), r2 = run_extent(0, "abc", 100, 150, true), r3 = run(40, "de");
  r1.x = r2.x = r3.x = 0;
  r1.extent[1] = r1.extent[3] = r2.extent[1] = r2.extent[3] = 0;
  std::string page2 = fixture.substr(124, 227);
  std::string eu = PageWriter().text({r1, r2, r3}, true).end().bytes();
  // The typed per-character data differs from the writer's filler; compare around it.
  ASSERT_EQ(eu.size(), 4 + 50 + 2u);
  EXPECT_EQ(eu.substr(0, 4 + 17 + 18), page2.substr(171, 4 + 17 + 18));
  EXPECT_EQ(eu.substr(4 + 17 + 24), page2.substr(171 + 4 + 17 + 24));
}

TEST_F(PagedocReader, ReadsTypedFixtures) {
  struct Case {
    const char* name;
    const std::vector<unsigned char>* bytes;
    bool packed;
    std::vector<std::string> pages;
    std::string title, author, description;
  } cases[] = {
      {"plain", &test::kPlainFixture, false, {test::kPlainPage1, test::kPlainPage2}, test::kPlainTitle,
       test::kPlainAuthor, test::kPlainDescription},
      {"packed", &test::kPackedFixture, true, {test::kPackedPage1}, test::kPackedTitle, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PgxDocument doc;
    ASSERT_TRUE(doc.open(write(c.name, *c.bytes))) << doc.error();
    EXPECT_EQ(doc.packed(), c.packed);
    EXPECT_EQ(doc.working_copy_path().empty(), !c.packed);
    ASSERT_EQ(doc.page_count(), int(c.pages.size()));
    PageUnpackState st;
    for (int p = 1; p <= doc.page_count(); ++p) {
      std::string text;
      ASSERT_TRUE(page_text(doc, p, st, text));
      EXPECT_EQ(text, c.pages[size_t(p - 1)]) << "page " << p;
    }
    EXPECT_EQ(doc.info_item(kInfoTitle), c.title);
    EXPECT_EQ(doc.info_item(kInfoAuthor), c.author);
    EXPECT_EQ(doc.info_item(kInfoDescription), c.description);
    EXPECT_EQ(doc.info_item(kInfoRestricted), "");
  }
}

// ---- The page-text walk -----------------------------------------------------------------

TEST_F(PagedocReader, PageWalkTable) {
  std::string sd_block(kImageBlockSize, '\0');
  struct Case {
    const char* name;
    std::string records;
    std::string text;
  } cases[] = {
      {"only the end record", PageWriter().end().bytes(), ""},
      {"two runs on one line", PageWriter().text({run(7, "ab"), run(7, "cd")}).end().bytes(), " abcd\r\n"},
      {"first run at y 0 gets no space", PageWriter().text({run(0, "ab")}).end().bytes(), "ab\r\n"},
      {"a new line gets a space", PageWriter().text({run(7, "ab"), run(9, "cd")}).end().bytes(), " ab cd\r\n"},
      {"y starts afresh for each record", PageWriter().text({run(7, "ab")}).text({run(7, "cd")}).end().bytes(),
       " ab\r\n cd\r\n"},
      {"EU like ET", PageWriter().text({run(0, "\xB0\xAA")}, true).end().bytes(), "\xB0\xAA\r\n"},
      {"extent start equal to the previous end",
       PageWriter().text({run_extent(0, "ab", 0, 50), run_extent(0, "cd", 50, 90)}).end().bytes(), " ab cd\r\n"},
      {"extent start before the previous end",
       PageWriter().text({run_extent(0, "ab", 0, 50), run_extent(0, "cd", 49, 90)}).end().bytes(), " abcd\r\n"},
      {"extents compare signed",
       PageWriter().text({run_extent(0, "ab", -30, -10), run_extent(0, "cd", -5, 0)}).end().bytes(), "ab cd\r\n"},
      {"negative start after end 0",
       PageWriter().text({run_extent(0, "ab", -30, 0)}).end().bytes(), "ab\r\n"},
      {"per-character data is stepped over",
       PageWriter().text({run_extent(5, "ab", 0, 10, true), run(5, "cd")}).end().bytes(), "  abcd\r\n"},
      {"a run without characters",
       PageWriter().text({run_extent(0, "", 0, 10), run(0, "x")}).end().bytes(), " x\r\n"},
      {"fixed-size records",
       PageWriter().record("BC", "1234").record("TC", "1234").record("BH", "1234").record("PN", "1234")
           .record("FT", "1234").record("CR", "12345678").record("R2", "12").record("BM", "12")
           .text({run(0, "ok")}).end().bytes(), "ok\r\n"},
      {"records with a u16 length",
       PageWriter().sized("CA", "ET").sized("CH", "").sized("CI", "x").sized("PI", "xx").sized("PL", "CT")
           .sized("AP", "1").sized("CP", "1").sized("EP", "1").sized("WP", "1").sized("AQ", "1")
           .sized("WQ", "1").sized("AR", "1").sized("FR", "1").sized("RR", "1").sized("RT", "1")
           .text({run(0, "ok")}).end().bytes(), "ok\r\n"},
      {"length 0 of a known code has no u32 after it",
       PageWriter().record("CA", u16(0)).text({run(0, "ok")}).end().bytes(), "ok\r\n"},
      {"unknown code with a u16 length", PageWriter().sized("QQ", "CTCT").text({run(0, "ok")}).end().bytes(),
       "ok\r\n"},
      {"unknown code with a u32 length",
       PageWriter().record("QQ", u16(0) + u32(5) + "CTCTC").text({run(0, "ok")}).end().bytes(), "ok\r\n"},
      {"images of every bit count",
       PageWriter().image(1, "pp").image(4, "pppp").image(8, "p").image(24, "ppp").image(32, "")
           .sized("SD", "CTCT").text({run(0, "ok")}).end().bytes(), "ok\r\n"},
      {"nothing after the end record is read",
       PageWriter().text({run(0, "a")}).end().text({run(0, "b")}).bytes(), "a\r\n"},
      {"no end record keeps the text", PageWriter().text({run(0, "a")}).text({run(0, "b")}).bytes(),
       "a\r\nb\r\n"},
      {"data breaking off inside a run keeps the earlier text",
       PageWriter().text({run(0, "a")}).text({run(0, "bcdef")}).bytes().substr(0, 2 + 2 + 7 + 1 + 2 + 2 + 7 + 2),
       "a\r\n"},
      {"a run overshooting the total ends its record",
       PageWriter().text({run(0, std::string(65535, 'a'))}, false, 65535).text({run(0, "b")}).end().bytes(),
       std::string(65535, 'a') + "\r\nb\r\n"},
      {"a huge u32 length stops the walk",
       PageWriter().text({run(0, "a")}).record("QQ", u16(0) + u32(0xFFFFFFF0u)).text({run(0, "b")}).end().bytes(),
       "a\r\n"},
  };
  for (bool packed : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (packed ? " (packed)" : " (plain)"));
      DocSpec spec;
      spec.packed = packed;
      spec.pages = {PageWriter().text({run(0, "first")}).end().bytes(), c.records};
      PgxDocument doc;
      ASSERT_TRUE(doc.open(write("walk.pgx", test::write_pgx(spec).bytes))) << doc.error();
      PageUnpackState st;
      std::string text;
      ASSERT_TRUE(page_text(doc, 2, st, text));
      EXPECT_EQ(text, c.text);
    }
  }
}

TEST_F(PagedocReader, PlainPageIsBoundedByItsLength) {
  // Page 1's stored length ends before its end record; the walk does not run on into
  // page 2's records.
  DocSpec spec;
  spec.pages = {PageWriter().text({run(0, "one")}).end().bytes(), PageWriter().text({run(0, "two")}).end().bytes()};
  test::Written w = test::write_pgx(spec);
  auto* entry = reinterpret_cast<unsigned char*>(w.bytes.data()) + w.page_table_offset + kPageCountSize;
  le::put32(entry + kPageDataLengthAt, 2 + 2 + 7 + 3 + 2 - 2);  // without "CT"
  PgxDocument doc;
  ASSERT_TRUE(doc.open(write("bounded.pgx", w.bytes)));
  PageUnpackState st;
  std::string text;
  ASSERT_TRUE(page_text(doc, 1, st, text));
  EXPECT_EQ(text, "one\r\n");
}

// ---- Opening --------------------------------------------------------------------------

TEST_F(PagedocReader, OpenFailures) {
  DocSpec base;
  base.pages = {PageWriter().text({run(0, "x")}).end().bytes()};
  base.info = {{kInfoTitle, "T"}};
  auto doc_with = [&](auto change) {
    DocSpec s = base;
    change(s);
    return test::write_pgx(s);
  };
  std::string plain = test::write_pgx(base).bytes;
  DocSpec packed_spec = base;
  packed_spec.packed = true;
  test::Written packed = test::write_pgx(packed_spec);

  auto patched = [](std::string bytes, size_t at, const std::string& with) { return bytes.replace(at, with.size(), with); };
  test::Written w = test::write_pgx(base);

  struct Case {
    const char* name;
    std::string bytes;
    bool opens;
  } cases[] = {
      {"plain document", plain, true},
      {"packed document", packed.bytes, true},
      {"empty file", "", false},
      {"wrong magic", patched(plain, 0, "QDOC"), false},
      {"header only", plain.substr(0, 6), false},
      {"directory cut short", plain.substr(0, kHeaderSize + kDirEntrySize + 3), false},
      {"no page table", doc_with([](DocSpec& s) { s.with_page_table = false; }).bytes, false},
      {"no info table", doc_with([](DocSpec& s) { s.with_info = false; }).bytes, false},
      {"page count beyond the page table",
       patched(plain, w.page_table_offset, u16(2)), false},
      {"page count beyond the file", patched(plain, w.page_table_offset, u16(60000)), false},
      {"info count beyond the info stream", patched(plain, w.info_offset + kInfoCountAt, u16(2)), false},
      {"packed page table with a wrong magic",
       patched(packed.bytes, packed.page_table_offset, "XXXX"), false},
      {"packed page table cut short",
       packed.bytes.substr(0, packed.page_table_offset + kPackHeaderSize + 4), false},
      {"info stream of 4 bytes with no entries at the end of the file",
       doc_with([](DocSpec& s) { s.info.clear(); }).bytes, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PgxDocument doc;
    EXPECT_EQ(doc.open(write("open.pgx", c.bytes)), c.opens) << doc.error();
    if (!c.opens) {
      EXPECT_TRUE(dir.temp_files().empty());
    }
  }
  // Only regular files are documents: a folder is refused, and a FIFO is refused at
  // once instead of blocking the open until some writer comes.
  std::string fifo = dir.path("fifo.pgx");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {dir.path("no-such-file.pgx"), dir.tmp(), fifo}) {
    SCOPED_TRACE(path);
    PgxDocument doc;
    EXPECT_FALSE(doc.open(path));
  }
}

TEST_F(PagedocReader, InfoStreamAtTheEndOfTheFileWithNoEntries) {
  DocSpec spec;
  spec.pages = {PageWriter().end().bytes()};
  test::Written w = test::write_pgx(spec);
  ASSERT_EQ(w.bytes.size(), w.info_offset + kInfoHeaderSize);  // the info stream is last and 4 bytes long
  PgxDocument doc;
  ASSERT_TRUE(doc.open(write("noinfo.pgx", w.bytes))) << doc.error();
  EXPECT_EQ(doc.info_item(kInfoTitle), "");
}

TEST_F(PagedocReader, FirstOfTwoPageTablesIsUsed) {
  DocSpec spec;
  spec.pages = {PageWriter().end().bytes(), PageWriter().end().bytes()};
  std::string one_page = u16(1) + std::string(kPageEntrySize, '\0');
  spec.extra = {{"pape", one_page, false}};
  PgxDocument doc;
  ASSERT_TRUE(doc.open(write("two.pgx", test::write_pgx(spec).bytes)));
  EXPECT_EQ(doc.page_count(), 2);
}

TEST_F(PagedocReader, InfoItemsAreBoundedByTheirStream) {
  DocSpec spec;
  spec.pages = {PageWriter().end().bytes()};
  spec.info = {{kInfoTitle, "Title"}, {kInfoAuthor, "Author"}, {kInfoTitle, "Second title"}, {7, "seven"}};
  spec.extra = {{"zzzz", "AFTER THE INFO STREAM", false}};
  test::Written w = test::write_pgx(spec);
  unsigned char* entries = reinterpret_cast<unsigned char*>(w.bytes.data()) + w.info_offset + kInfoHeaderSize;
  // Author: length far beyond the stream; item 7: offset beyond the stream.
  le::put32(entries + kInfoEntrySize + kInfoLengthAt, 1000);
  le::put32(entries + 3 * kInfoEntrySize + kInfoOffsetAt, 5000);
  PgxDocument doc;
  ASSERT_TRUE(doc.open(write("info.pgx", w.bytes)));
  EXPECT_EQ(doc.info_item(kInfoTitle), "Title");               // the first entry with the id
  EXPECT_EQ(doc.info_item(kInfoAuthor), "AuthorSecond titleseven");  // cut at the stream's end
  EXPECT_EQ(doc.info_item(7), "");
  EXPECT_EQ(doc.info_item(kInfoDescription), "");
}

TEST_F(PagedocReader, PlainDocumentMakesNoWorkingCopyWhateverElseIsPacked) {
  DocSpec spec;
  spec.pages = {PageWriter().text({run(0, "plain")}).end().bytes()};
  spec.extra = {{"stru", "structure", true}, {"indx", "index", true}};
  test::Written w = test::write_pgx(spec);
  // Mark the info stream packed too: it is still read as stored.
  std::string info_entry_flag = u32(1);
  w.bytes.replace(kHeaderSize + kDirEntrySize + kDirPackedAt, 4, info_entry_flag);
  PgxDocument doc;
  ASSERT_TRUE(doc.open(write("mixed.pgx", w.bytes))) << doc.error();
  EXPECT_FALSE(doc.packed());
  EXPECT_TRUE(dir.temp_files().empty());
  EXPECT_NE(doc.structure_offset(), 0u);
  PageUnpackState st;
  std::string text;
  ASSERT_TRUE(page_text(doc, 1, st, text));
  EXPECT_EQ(text, "plain\r\n");
}

TEST_F(PagedocReader, WorkingCopiesLiveFromOpenToDestroy) {
  DocSpec spec;
  spec.packed = true;
  spec.pages = {PageWriter().text({run(0, "p")}).end().bytes()};
  std::string path = write("packed.pgx", test::write_pgx(spec).bytes);
  {
    PgxDocument a, b;
    ASSERT_TRUE(a.open(path));
    ASSERT_TRUE(b.open(path));
    EXPECT_NE(a.working_copy_path(), b.working_copy_path());
    auto files = dir.temp_files();
    ASSERT_EQ(files.size(), 2u);
    for (const auto& f : files) EXPECT_EQ(f.substr(0, 3), "tst");
    EXPECT_EQ(a.working_copy_path().substr(0, dir.tmp().size()), dir.tmp());
    a.close();  // closing keeps the copy until the document is destroyed
    EXPECT_EQ(dir.temp_files().size(), 2u);
    a.destroy();
    EXPECT_EQ(dir.temp_files().size(), 1u);
  }
  EXPECT_TRUE(dir.temp_files().empty());
}

TEST_F(PagedocReader, PagesAreUnpackedOneAtATimeToOnePlace) {
  DocSpec spec;
  spec.packed = true;
  for (int i = 1; i <= 5; ++i) {
    std::string big(200 * i, char('a' + i));
    spec.pages.push_back(PageWriter().text({run(0, big)}).end().bytes());
  }
  PgxDocument doc;
  ASSERT_TRUE(doc.open(write("pages.pgx", test::write_pgx(spec).bytes)));
  PageUnpackState st;
  std::vector<uint64_t> offsets;
  for (int page : {3, 5, 3}) {
    std::string text;
    ASSERT_TRUE(page_text(doc, page, st, text));
    EXPECT_EQ(text, std::string(200 * page, char('a' + page)) + "\r\n");
    EXPECT_EQ(st.current_page, page);
    EXPECT_EQ(doc.page_span(page).length, 2 + 2 + 7 + 200u * page + 2);  // exactly the unpacked bytes
    offsets.push_back(doc.page_span(page).offset);
    for (int other = 1; other <= 5; ++other)
      if (other != page) {
        EXPECT_EQ(doc.page_span(other).offset, 0u);
      }
  }
  EXPECT_EQ(offsets[0], offsets[1]);
  EXPECT_EQ(offsets[1], offsets[2]);
}

// ---- The document table ---------------------------------------------------------------

TEST_F(PagedocReader, FailedExtractionIsRetriedAndOtherPagesStillRead) {
  DocSpec spec;
  spec.packed = true;
  spec.pages = {PageWriter().text({run(0, "one")}).end().bytes(), PageWriter().text({run(0, "two")}).end().bytes()};
  test::Written w = test::write_pgx(spec);
  w.bytes.replace(w.page_offsets[0], 4, "XXXX");  // page 1's pack header
  DocumentTable table;
  int h = table.open(write("broken.pgx", w.bytes));
  ASSERT_GE(h, 0);
  EXPECT_EQ(table.text_length(h, 1), PGLT_ERR_EXTRACT);
  EXPECT_EQ(table.text_length(h, 1), PGLT_ERR_EXTRACT);
  EXPECT_EQ(table.text_length(h, 2), 5);
  EXPECT_EQ(table.text_length(h, 1), PGLT_ERR_EXTRACT);
  char buf[8];
  EXPECT_EQ(table.text(h, 2, buf, 8), 5);
  EXPECT_EQ(std::string(buf, 5), "two\r\n");
  EXPECT_EQ(table.close(h), 1);
}

TEST_F(PagedocReader, PlainPagePastTheEndOfTheFileCannotBeExtracted) {
  DocSpec spec;
  spec.pages = {PageWriter().text({run(0, "x")}).end().bytes()};
  test::Written w = test::write_pgx(spec);
  auto* entry = reinterpret_cast<unsigned char*>(w.bytes.data()) + w.page_table_offset + kPageCountSize;
  le::put32(entry + kPageDataOffsetAt, 1u << 30);
  DocumentTable table;
  int h = table.open(write("past.pgx", w.bytes));
  ASSERT_GE(h, 0);
  EXPECT_EQ(table.text_length(h, 1), PGLT_ERR_EXTRACT);
}

TEST_F(PagedocReader, RestrictedDocumentIsRefusedAndLeavesNothing) {
  struct Case {
    const char* name;
    bool packed;
    std::string item3;
    int expect_handle;
  } cases[] = {
      {"plain, restricted", false, "no", PGLT_ERR_REFUSED},
      {"packed, restricted", true, "no", PGLT_ERR_REFUSED},
      {"empty restricted item", true, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DocSpec spec;
    spec.packed = c.packed;
    spec.pages = {PageWriter().end().bytes()};
    spec.info = {{kInfoRestricted, c.item3}};
    DocumentTable table;
    EXPECT_EQ(table.open(write("r.pgx", test::write_pgx(spec).bytes)), c.expect_handle);
    table.close_all();
    EXPECT_TRUE(dir.temp_files().empty());
  }
}

}  // namespace
}  // namespace qm::pgx
