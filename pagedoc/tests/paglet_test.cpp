// libpaglet.so as an outside program uses it: loaded with dlopen from the dist
// folder, documents opened by path, page texts and info read through the PGLT_
// functions, every result code reached; and the pgxdump tool run on a document.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <sys/wait.h>

#include "pagedoc/paglet.h"
#include "pagedoc/pgx_format.h"
#include "pagedoc/tests/fixtures.h"
#include "pagedoc/tests/pgx_writer.h"
#include "pagedoc/tests/test_dir.h"

namespace qm::pgx {
namespace {

struct Paglet {
  void* lib = nullptr;
  decltype(&PGLT_StartUp) StartUp = nullptr;
  decltype(&PGLT_End) End = nullptr;
  decltype(&PGLT_OpenPGX) OpenPGX = nullptr;
  decltype(&PGLT_ClosePGX) ClosePGX = nullptr;
  decltype(&PGLT_GetPageCount) GetPageCount = nullptr;
  decltype(&PGLT_GetTextInPage) GetTextInPage = nullptr;
  decltype(&PGLT_GetTextLengthInPage) GetTextLengthInPage = nullptr;
  decltype(&PGLT_GetAuthorTitleDescription) GetAuthorTitleDescription = nullptr;

  template <class F>
  void bind(F& f, const char* name) {
    f = reinterpret_cast<F>(::dlsym(lib, name));
    if (!f) ADD_FAILURE() << "missing export " << name;
  }
  Paglet() {
    std::string path = std::string(QM_DIST_DIR) + "/libpaglet.so";
    lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      ADD_FAILURE() << "dlopen " << path << ": " << ::dlerror();
      return;
    }
    bind(StartUp, "PGLT_StartUp");
    bind(End, "PGLT_End");
    bind(OpenPGX, "PGLT_OpenPGX");
    bind(ClosePGX, "PGLT_ClosePGX");
    bind(GetPageCount, "PGLT_GetPageCount");
    bind(GetTextInPage, "PGLT_GetTextInPage");
    bind(GetTextLengthInPage, "PGLT_GetTextLengthInPage");
    bind(GetAuthorTitleDescription, "PGLT_GetAuthorTitleDescription");
  }
};

Paglet& paglet() {
  static Paglet p;  // stays loaded for the whole run
  return p;
}

class PagedocPaglet : public ::testing::Test {
 protected:
  test::ScratchDir dir;
  Paglet& pg = paglet();

  void SetUp() override {
    ASSERT_NE(pg.lib, nullptr);
    ASSERT_EQ(pg.StartUp(), 0);
  }
  void TearDown() override {
    if (pg.lib) pg.End();
    EXPECT_TRUE(dir.temp_files().empty()) << "temporary files left behind";
  }
  std::string write(const std::string& name, const std::string& bytes) {
    std::string p = dir.path(name);
    EXPECT_TRUE(test::write_file(p, bytes));
    return p;
  }
  std::string write(const std::string& name, const std::vector<unsigned char>& bytes) {
    return write(name, std::string(bytes.begin(), bytes.end()));
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

// ---- pgxdump ----------------------------------------------------------------------------

struct Output {
  int status;
  std::string out;
};

Output run(const std::string& args) {
  std::string cmd = std::string(QM_DIST_DIR) + "/pgxdump " + args + " 2>/dev/null";
  Output o{-1, ""};
  FILE* f = ::popen(cmd.c_str(), "r");
  if (!f) return o;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) o.out.append(buf, n);
  int st = ::pclose(f);
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return o;
}

TEST_F(PagedocPaglet, PgxdumpPrintsInfoAndPages) {
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

  EXPECT_EQ(run(plain + " 3").status, 1);
  EXPECT_EQ(run(dir.path("missing.pgx")).status, 1);
  EXPECT_EQ(run("").status, 1);
}

}  // namespace
}  // namespace qm::pgx
