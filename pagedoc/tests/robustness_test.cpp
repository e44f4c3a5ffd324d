// Robustness of the page-document reader against damaged files: seeded random
// corruptions of valid documents (byte flips, truncations, extreme u16/u32 fields,
// appended garbage) are read in full through libpaglet.so, and corrupted packed streams
// are unpacked. Nothing may crash or read out of bounds (the sanitizers watch), every
// result must be one the interface documents, no temporary file may stay behind, and
// damage to bytes the reader steps over must change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "pagedoc/pack_stream.h"
#include "pagedoc/pgx_format.h"
#include "testsupport/corrupt.h"
#include "pagedoc/tests/fixtures.h"
#include "pagedoc/tests/paglet_loader.h"
#include "pagedoc/tests/pgx_writer.h"
#include "pagedoc/tests/test_dir.h"

namespace qm::pgx {
namespace {

using qm::test::apply_edits;
using qm::test::Corruptor;
using qm::test::describe;
using qm::test::Edit;
using qm::test::Edits;
using qm::test::Ranges;
using qm::test::VariantTrace;


// Reads everything the interface hands out for one document and describes it; each
// result outside the documented ones is added to `faults`.
std::string read_document(Paglet& pg, const std::string& path, std::vector<std::string>& faults) {
  auto fault = [&](const std::string& what, int rc) { faults.push_back(what + " gave " + std::to_string(rc)); };
  std::string out;
  int h = pg.OpenPGX(path.c_str());
  if (h < 0) {
    if (h != PGLT_ERR_OPEN && h != PGLT_ERR_REFUSED) fault("PGLT_OpenPGX", h);
    return "open " + std::to_string(h);
  }
  int pages = pg.GetPageCount(h);
  if (pages < 0 || pages > 0xFFFF) fault("PGLT_GetPageCount", pages);
  out += "pages " + std::to_string(pages) + "\n";
  for (int page : {0, -1, pages + 1})
    if (int rc = pg.GetTextLengthInPage(h, page); rc != PGLT_ERR_PAGE) fault("length of page " + std::to_string(page), rc);

  for (int p = 1; p <= pages; ++p) {
    int length = pg.GetTextLengthInPage(h, p);
    out += "page " + std::to_string(p) + ": " + std::to_string(length);
    if (length == PGLT_ERR_EXTRACT) {
      out += "\n";
      continue;
    }
    if (length < 0) {
      fault("PGLT_GetTextLengthInPage", length);
      continue;
    }
    // A buffer of exactly the text's length, so a copy past it is caught.
    std::unique_ptr<char[]> text(new char[size_t(std::max(length, 1))]);
    int copied = pg.GetTextInPage(h, p, text.get(), length);
    if (copied != length) fault("PGLT_GetTextInPage", copied);
    out += " [" + std::string(text.get(), size_t(std::max(copied, 0))) + "]\n";
  }

  char author[300], title[300], description[300];
  int info = pg.GetAuthorTitleDescription(h, author, 300, title, 300, description, 300);
  if (info != 1) fault("PGLT_GetAuthorTitleDescription", info);
  else out += std::string("info [") + author + "] [" + title + "] [" + description + "]\n";

  int keywords = pg.GetKeywordStruct(h);
  if (keywords != 0 && keywords != 1) fault("PGLT_GetKeywordStruct", keywords);
  if (keywords == 1) {
    // u16 lengths: 65,535 bytes and the NUL hold any ID or keyword.
    std::unique_ptr<char[]> buf(new char[0x10000]);
    int rc = pg.GetDocumentID(h, buf.get(), 0xFFFF);
    if (rc != 1) fault("PGLT_GetDocumentID", rc);
    out += "id [" + std::string(buf.get()) + "]";
    int count = pg.GetKeywordCount(h);
    if (count < 0) fault("PGLT_GetKeywordCount", count);
    for (int i = 0; i < count; ++i) {
      rc = pg.GetKeyword(h, i, buf.get(), 0xFFFF);
      if (rc != 1) fault("PGLT_GetKeyword", rc);
      out += " [" + std::string(buf.get()) + "]";
    }
    if (rc = pg.GetKeyword(h, count, buf.get(), 0xFFFF); rc != 0) fault("keyword past the count", rc);
    if (rc = pg.ReleaseKeywordStruct(h); rc != 1) fault("PGLT_ReleaseKeywordStruct", rc);
    out += "\n";
  }

  for (int p = 1; p <= pages; ++p) {
    int notes = pg.GetNoteStructInPage(h, p);
    if (notes == PGLT_ERR_NONOTES) continue;
    if (notes <= 0) {
      if (notes != PGLT_ERR_BUFFER) fault("PGLT_GetNoteStructInPage", notes);
      continue;
    }
    out += "notes on " + std::to_string(p) + ":";
    for (int i = 0; i < notes; ++i) {
      for (bool is_title : {true, false}) {
        int length = is_title ? pg.GetNoteTitleLengthInPage(h, p, i) : pg.GetNoteTextLengthInPage(h, p, i);
        if (length < 0) {
          fault("note length", length);
          continue;
        }
        std::unique_ptr<char[]> buf(new char[size_t(length) + 1]);
        int copied = is_title ? pg.GetNoteTitleInPage(h, p, i, buf.get(), length + 1)
                              : pg.GetNoteTextInPage(h, p, i, buf.get(), length + 1);
        if (copied != length) fault("note copy", copied);
        out += " [" + std::string(buf.get(), size_t(std::max(copied, 0))) + "]";
      }
    }
    if (int rc = pg.GetNoteTitleLengthInPage(h, p, notes); rc != PGLT_ERR_INDEX) fault("note past the count", rc);
    if (int rc = pg.ReleaseNoteStructInPage(h, p); rc != 0) fault("PGLT_ReleaseNoteStructInPage", rc);
    out += "\n";
  }
  if (int rc = pg.ClosePGX(h); rc != 1) fault("PGLT_ClosePGX", rc);
  return out;
}

struct Fixture {
  const char* name;
  std::string bytes;
  Ranges unread;  // bytes the reader steps over or never hands out
};

std::string bytes_of(const std::vector<unsigned char>& v) { return {v.begin(), v.end()}; }

// A packed document written by the test writer whose index stream is packed too.
std::string packed_index_document() {
  test::DocSpec spec;
  spec.packed = true;
  spec.pages = {test::PageWriter().text({{0, 3, "Leaf tea"}, {9, 3, "\xAF\xF9"}}).end().bytes(),
                test::PageWriter().sized("CA", "abc").text({{1, 0, "two", true, {5, 0, 9, 0}}}).end().bytes()};
  spec.info = {{kInfoTitle, "T"}, {kInfoAuthor, "A"}, {kInfoRestricted, ""}};
  test::IndexSpec index = test::index_fixture_objects();
  index.notes[0].page = 2;
  spec.extra = {{std::string(kTagIndex), test::index_stream(index), true}};
  return test::write_pgx(spec).bytes;
}

class PagedocRobustness : public test::ScratchTest {
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
};

// Damage at the very end of a record or stream, which the random variants reach only
// by chance: read on every run. `shows` is a piece of the result that proves the case
// reached its place ("!" first: a piece that must be missing).
struct BoundaryCase {
  const char* fixture;
  Edits edits;
  const char* shows;
};
const BoundaryCase kBoundaryCases[] = {
    // page 2's data ends inside its last run: the text read so far, no line end
    {"plain", {{Edit::Set32, 82, 224}}, "page 2: 8 [ \xA4\xA4 abc ]"},
    // "EU" total length far beyond its runs: the runs, then the data ends
    {"plain", {{Edit::Set16, 297, 0xFFFF}}, "page 2: 10 [ \xA4\xA4 abc de]"},
    {"plain", {{Edit::Truncate, 403, 0}}, "[Te]"},        // the description cut short
    {"packed", {{Edit::Set32, 102, 35}}, "open -3"},      // the packed page table one byte short
    {"packed", {{Edit::Set32, 102, 0}}, "open -3"},       // the packed page table of length 0
    {"index", {{Edit::Truncate, 1044, 0}}, "!id ["},      // the last keyword cut short
    {"index", {{Edit::Set16, 990, 0x2020}}, "!id ["},     // no "KEYWOD" entry
    {"index", {{Edit::Truncate, 760, 0}}, "!notes on"},   // inside the first note's trailer
    // 65,535 notes announced: the four that are there
    {"index", {{Edit::Set16, 703, 0xFFFF}}, "notes on 3: [Second]"},
};

TEST_F(PagedocRobustness, CorruptDocumentsReadSafely) {
  const Fixture fixtures[] = {
      {"plain", bytes_of(test::kPlainFixture),
       // header bytes 4-5; the 18 unread bytes of each page entry; the x of each run;
       // the bodies of "BC", both images (but their bit counts) and "ZZ"; the extents'
       // second and fourth values; the per-character data; the info table's first 2 bytes
       {{4, 6}, {42, 52}, {60, 78}, {86, 94}, {98, 100}, {110, 112}, {126, 130}, {138, 172},
        {174, 198}, {202, 206}, {210, 244}, {246, 270}, {270, 278}, {282, 284}, {292, 295},
        {299, 301}, {310, 312}, {314, 316}, {316, 318}, {328, 330}, {332, 334}, {334, 340},
        {340, 342}, {351, 353}}},
      {"packed", bytes_of(test::kPackedFixture),
       // header bytes 4-5; reserved word, unpacked length and CRC of both pack headers;
       // the info table's first 2 bytes
       {{4, 6}, {48, 56}, {60, 64}, {94, 102}, {106, 110}, {146, 148}}},
      {"index", bytes_of(test::kIndexFixture),
       // header bytes 4-5; unread page-entry bytes; the x of the run; the info table's
       // first 2 bytes; index stream header fillers, the entries' further words, the
       // item headers' first 8 bytes, the record trailers, the records before "KEYWOD"
       // and the keyword record's 8 unread bytes
       {{4, 6}, {58, 68}, {76, 94}, {102, 120}, {128, 136}, {140, 142}, {154, 156}, {172, 178},
        {180, 198}, {208, 212}, {222, 226}, {236, 240}, {250, 254}, {264, 268}, {278, 282},
        {292, 296}, {306, 310}, {310, 318}, {366, 398}, {398, 406}, {436, 468}, {468, 476},
        {521, 553}, {553, 561}, {606, 638}, {638, 646}, {663, 695}, {695, 703}, {741, 773},
        {803, 835}, {863, 895}, {928, 960}, {960, 968}, {1000, 1005}, {1014, 1022}}},
      {"packed index", packed_index_document(), {{4, 6}}},
  };
  constexpr int kVariants = 400;  // per fixture; a few harmless ones among them

  VariantTrace trace;
  Corruptor corrupt(20240611);
  int failed_variants = 0;
  auto run = [&](const Fixture& f, const std::string& baseline, const Edits& edits, bool harmless,
                 std::string_view shows = {}) {
    std::string bytes = f.bytes;
    apply_edits(bytes, edits);
    trace.set(f.name, edits);
    std::string path = write("doc.pgx", bytes);
    std::vector<std::string> faults;
    std::string got = read_document(pg, path, faults);
    if (harmless && got != baseline) faults.push_back("a change to unread bytes changed the result:\n" + got);
    bool missing = !shows.empty() && shows[0] == '!';
    if (!shows.empty() && (got.find(shows.substr(missing ? 1 : 0)) == std::string::npos) != missing)
      faults.push_back("the result does not show \"" + std::string(shows) + "\":\n" + got);
    if (!dir.temp_files().empty()) faults.push_back("temporary files left behind");
    if (faults.empty() || ++failed_variants > 5) return;
    std::string all;
    for (const auto& s : faults) all += "\n  " + s;
    ADD_FAILURE() << f.name << " {" << describe(edits) << "}:" << all;
  };

  for (const Fixture& f : fixtures) {
    std::vector<std::string> faults;
    std::string baseline = read_document(pg, write("doc.pgx", f.bytes), faults);
    ASSERT_TRUE(faults.empty()) << f.name << ": " << faults[0];
    ASSERT_NE(baseline.rfind("open", 0), 0u) << f.name << " does not open";
    for (const BoundaryCase& c : kBoundaryCases)
      if (std::string_view(c.fixture) == f.name) run(f, baseline, c.edits, false, c.shows);
    for (int i = 0; i < kVariants; ++i) {
      bool harmless = i % 8 == 0;
      run(f, baseline, harmless ? corrupt.harmless(f.unread) : corrupt.any(f.bytes.size()), harmless);
    }
  }
}

// Corrupted packed streams unpack to a documented result code, and damage to the
// header's reserved word, unpacked length or CRC, or bytes after the compressed data,
// changes nothing.
TEST(PagedocRobustnessCodec, CorruptPackedStreamsDecodeSafely) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "Page " + std::to_string(i * 7919 % 1000) + " of the tea leaf. ";
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary += char((i * i) ^ (i >> 3));
  const std::string inputs[] = {"", "x", test::PageWriter().text({{0, 1, "Hello"}}).end().bytes(),
                                text.substr(0, 4096), text, binary};
  constexpr int kVariants = 500;  // per input

  VariantTrace trace;
  Corruptor corrupt(7);
  int failed_variants = 0;
  for (const std::string& input : inputs) {
    const std::string packed = test::pack_bytes(input);
    int code = -1;
    ASSERT_EQ(test::unpack_bytes(packed, &code), input);
    ASSERT_EQ(code, kPackOk);
    // Reserved word, unpacked length and CRC of the header.
    const Ranges unread = {{kPackReservedAt, kPackPackedLengthAt}, {kPackCrcAt, kPackHeaderSize}};
    for (int i = 0; i < kVariants; ++i) {
      bool harmless = i % 8 == 0;
      Edits edits = harmless ? corrupt.harmless(unread) : corrupt.any(packed.size());
      std::string bytes = packed;
      apply_edits(bytes, edits);
      trace.set("packed stream of " + std::to_string(input.size()) + " bytes", edits);
      std::string out = test::unpack_bytes(bytes, &code);
      bool documented = code == kPackOk || code == dcl::kBadDictSize || code == dcl::kBadMode ||
                        code == dcl::kShortData || code == dcl::kAborted || code == kPackBadMagic;
      bool unchanged = !harmless || (code == kPackOk && out == input);
      if ((documented && unchanged) || ++failed_variants > 5) continue;
      ADD_FAILURE() << "input of " << input.size() << " bytes {" << describe(edits) << "}: code "
                    << code << (unchanged ? "" : ", harmless damage changed the result");
    }
  }
}

}  // namespace
}  // namespace qm::pgx
