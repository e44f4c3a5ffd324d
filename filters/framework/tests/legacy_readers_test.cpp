// The readers of Word, Excel and PowerPoint binaries, and the fixtures that LibreOffice
// wrote from the flat ODF sources (make-fixtures.sh): Word text against catdoc, Excel text
// cells against xls2csv, PowerPoint text against the flat ODF's own paragraphs, the
// LibreOffice DOCX, ODT, XLSX and ODS against office_text.py, PDF text against pdftotext
// and mutool; Chinese titles of LibreOffice's Word and RTF files; the children's statuses
// (missing program, time limit, failure), Word files marked encrypted, and seeded
// corruptions of the binaries read in full.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "filters/framework/chunk_script.h"
#include "filters/framework/readers/child_tools.h"
#include "filters/framework/readers/doc_notes.h"
#include "filters/framework/readers/reader.h"
#include "platform/process.h"
#include "testsupport/corrupt.h"
#include "testsupport/test_files.h"
#include "filters/framework/tests/reader_helpers.h"

namespace kvx::test {
namespace {

const std::string kData = QM_READERS_DATA;

std::vector<std::string> word_list(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::string run(const std::vector<std::string>& argv) {
  qm::ProcessOptions opt;
  opt.argv = argv;
  opt.timeout_ms = 60000;
  qm::ProcessResult r = qm::process_run(opt);
  EXPECT_TRUE(r.exited && r.exit_code == 0) << argv[0] << " " << r.error;
  return r.output;
}

// Restores the children's settings after a test changed them.
struct ToolsGuard {
  readers::ChildTools saved = readers::child_tools();
  ~ToolsGuard() { readers::child_tools() = saved; }
};

// antiword marks notes "[?]" and gives no footnote text; our notes (read from the file's
// own tables) stand at those marks, while catdoc prints the notes' texts after the body.
// With the notes' texts of the flat ODF source moved to the end (and full stops and
// catdoc's field codes set aside), every word of ours stands in catdoc's text in the
// same order, and none of catdoc's is left over.
TEST(LegacyReadersTest, WordTextAgreesWithCatdoc) {
  std::string path = kData + "/office.doc";
  std::string bytes = qm::test::read_file(path);
  ASSERT_EQ(readers::detect_format(bytes, ""), uint32_t(KVXFI_DOC));
  auto m = read(KVXFI_DOC, bytes);
  ASSERT_TRUE(m);
  std::string ours = model_text(*m);
  EXPECT_EQ(ours.find("[?]"), std::string::npos) << ours;
  EXPECT_EQ(ours.find("[i]"), std::string::npos) << ours;
  for (const char* note : {"A footnote's text", "An endnote"}) {
    size_t at = ours.find(note);
    ASSERT_NE(at, std::string::npos) << note << "\n" << ours;
    ours.erase(at, std::strlen(note));
    ours += std::string(" ") + note;
  }
  ours = std::regex_replace(ours, std::regex(R"(\.)"), " ");
  std::string oracle = std::regex_replace(run({"catdoc", "-d", "utf-8", path}),
                                          std::regex(R"(HYPERLINK\s+(\\l\s+)?"[^"]*"|\.)"), " ");
  std::vector<std::string> a = word_list(ours), b = word_list(oracle), left;
  size_t j = 0;
  for (const std::string& w : a) {
    while (j < b.size() && b[j] != w) left.push_back(b[j++]);
    ASSERT_LT(j, b.size()) << "\"" << w << "\" is not in catdoc's text in order\n" << ours << "\n" << oracle;
    ++j;
  }
  left.insert(left.end(), b.begin() + long(j), b.end());
  EXPECT_EQ(left, std::vector<std::string>{});
  std::string s = script_of(*m);
  for (const char* piece : {"group 0xA0010004 6 254\ntext unicode \"Sample document\"\nend\n",
                            "group 0xA0010004 4 254\ntext unicode \"Ada Lovelace\"\nend\n",
                            "text unicode \"Plain \"\nitem 8 2 1 0\ntext unicode \"bold\"\nitem 8 2 0 0\n",
                            "table 2 3\ncell\ntext unicode \"a1\"\nendcell\n",
                            // The footnote and the endnote at their marks.
                            "text unicode \" text\"\nitem 44 1 1 0\ngroup 0xA00A0000 1 1\n"
                            "text unicode \"A footnote's text\"\npara\nend\ntext unicode \".\"\npara\n",
                            "text unicode \"After the table\"\nitem 44 2 2 0\ngroup 0xA00A0000 2 2\n"
                            "text unicode \"An endnote\"\npara\nend\ntext unicode \"Second page\"\npara\n"})
    EXPECT_NE(s.find(piece), std::string::npos) << piece << "\n" << s;
}

// The notes from the file's own tables: the footnote and the endnote of the source with
// their texts (the mark and the tab before the text left out), in the order of their
// references; compound files that are no Word documents and cut Word files give none.
TEST(LegacyReadersTest, WordNotesFromTheFileTables) {
  std::string doc = qm::test::read_file(kData + "/office.doc");
  std::vector<readers::WordNote> notes = readers::word_notes(doc);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].type, 1u);
  EXPECT_EQ(notes[1].type, 2u);
  EXPECT_LT(notes[0].position, notes[1].position);
  auto ascii = [](const std::vector<uint16_t>& units) { return std::string(units.begin(), units.end()); };
  EXPECT_EQ(ascii(notes[0].text), "A footnote's text\n");
  EXPECT_EQ(ascii(notes[1].text), "An endnote\n");
  for (const char* other : {"office.xls", "office.ppt"})
    EXPECT_TRUE(readers::word_notes(qm::test::read_file(kData + "/" + other)).empty()) << other;
  for (size_t cut : {size_t(512), doc.size() / 2, doc.size() - 1})
    EXPECT_LE(readers::word_notes(doc.substr(0, cut)).size(), 2u) << cut;
}

// A footnote with a mark of its own (antiword shows the mark, no "[?]") is set at the
// end; the automatically numbered endnote still takes its "[?]".
TEST(LegacyReadersTest, WordFootnoteWithItsOwnMark) {
  std::string doc = qm::test::read_file(kData + "/office.doc");
  const std::string numbered("t\0e\0x\0t\0\x02\0", 10);
  size_t at = doc.find(numbered);
  ASSERT_NE(at, std::string::npos);
  doc[at + 8] = '*';
  auto m = read(KVXFI_DOC, doc);
  ASSERT_TRUE(m);
  std::string s = script_of(*m);
  for (const char* piece : {"text unicode \" text*.\"\npara\n",
                            "text unicode \"After the table\"\nitem 44 2 1 0\ngroup 0xA00A0000 1 2\n"
                            "text unicode \"An endnote\"\npara\nend\n",
                            "text unicode \"Second page\"\npara\nitem 44 1 2 0\ngroup 0xA00A0000 2 1\n"
                            "text unicode \"A footnote's text\"\npara\nend\n"})
    EXPECT_NE(s.find(piece), std::string::npos) << piece << "\n" << s;
}

// The text cells, row by row, equal xls2csv's fields that are no numbers.
TEST(LegacyReadersTest, ExcelTextCellsAgreeWithXls2csv) {
  std::string path = kData + "/office.xls";
  std::string bytes = qm::test::read_file(path);
  ASSERT_EQ(readers::detect_format(bytes, ""), uint32_t(KVXFI_XLS));
  auto m = read(KVXFI_XLS, bytes);
  ASSERT_TRUE(m);
  std::vector<std::string> ours, theirs;
  std::string cell;
  // Text cells only: numbers, dates and times, which xls2csv gives as serials, are
  // checked in SheetCellsReadAsLibreOfficeShowsThem.
  const std::regex value(R"(-?[0-9.]+(e[-+][0-9]+)?|\d{4}-\d\d-\d\d|\d\d:\d\d(:\d\d)?)");
  for (char c : model_text(*m) + "\n") {
    if (c == '\t' || c == '\n') {
      if (!cell.empty() && !std::regex_match(cell, value)) ours.push_back(cell);
      cell.clear();
    } else {
      cell += c;
    }
  }
  for (char c : run({"xls2csv", "-d", "utf-8", "-c", "\t", "-q", "0", path}) + "\n") {
    if (c == '\t' || c == '\n' || c == '\f') {
      char* end = nullptr;
      std::strtod(cell.c_str(), &end);
      if (!cell.empty() && *end != '\0') theirs.push_back(cell);
      cell.clear();
    } else {
      cell += c;
    }
  }
  EXPECT_EQ(ours, theirs);
  std::string s = script_of(*m);
  // Dates and times (the CSV's 2024-01-15 and 10:30:00 AM) in the date and the time display
  // types: the locale's short date with a four-digit year; the 24-hour time with seconds.
  for (const char* piece : {"section ss \"Data\" date 0x24D9AC 1\n", "cell\nvalue 1234.5\n",
                            "cell\nitem 83 0x60688 0x20C000 0\nvalue 45306\n",
                            "cell\nvalue -12.5\ncell\nitem 83 0x71000 0x40000 0\nvalue 0.4375\n",
                            "section ss \"\xE4\xB8\xAD\xE6\x96\x87\" date 0x24D9AC 1\nitem 84 1 2 0\ncolumns 2\n"})
    EXPECT_NE(s.find(piece), std::string::npos) << piece << "\n" << s;
}

// The numbers, decimals, percentages, dates and times of cells.csv in the workbooks that
// LibreOffice made of it read as LibreOffice shows them (its CSV of the sheet as shown,
// cells.shown.csv). libfreexl gives the .xls reader no format codes: its percentages stay
// plain numbers and its times have 24 hours.
TEST(LegacyReadersTest, SheetCellsReadAsLibreOfficeShowsThem) {
  auto grid = [](const std::string& text, char separator) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      rows.emplace_back();
      std::istringstream cells(line + separator);
      for (std::string cell; std::getline(cells, cell, separator);) rows.back().push_back(cell);
    }
    return rows;
  };
  const auto shown = grid(qm::test::read_file(kData + "/cells.shown.csv"), ',');
  ASSERT_EQ(shown.size(), 4u);
  struct Difference {
    size_t row, column;
    const char* text;
  };
  struct Case {
    const char* name;
    uint32_t format;
    std::vector<Difference> differences;
  } cases[] = {
      {"cells.xlsx", KVXFI_XLSX, {}},
      {"cells.ods", KVXFI_ODS, {}},  // percent and date styles are the columns' default cell styles
      {"cells.xls",
       KVXFI_XLS,
       {{1, 3, "0.25"}, {2, 3, "0.125"}, {3, 3, "1"}, {1, 5, "10:30:00"}, {2, 5, "23:59:59"}, {3, 5, "00:00:01"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = qm::test::read_file(kData + "/" + c.name);
    ASSERT_EQ(readers::detect_format(bytes, ""), c.format);
    auto m = read(c.format, bytes);
    ASSERT_TRUE(m);
    auto expected = shown;
    for (const Difference& d : c.differences) expected[d.row][d.column] = d.text;
    EXPECT_EQ(grid(model_text(*m), '\t'), expected);
  }
}

// The slides' words equal the text paragraphs of the flat ODF they were written from.
TEST(LegacyReadersTest, PowerPointTextAgreesWithItsSource) {
  std::string bytes = qm::test::read_file(kData + "/office.ppt");
  ASSERT_EQ(readers::detect_format(bytes, ""), uint32_t(KVXFI_PPT));
  auto m = read(KVXFI_PPT, bytes);
  ASSERT_TRUE(m);
  std::string source = qm::test::read_file(kData + "/office.fodp"), expected;
  std::regex para("<text:p>([^<]*)</text:p>");
  for (auto it = std::sregex_iterator(source.begin(), source.end(), para); it != std::sregex_iterator(); ++it)
    expected += (*it)[1].str() + "\n";
  EXPECT_EQ(model_text(*m), expected);
}

// What LibreOffice wrote of the same sources reads as office_text.py reads it.
TEST(LegacyReadersTest, LibreOfficePackagesAgreeWithPythonZipfile) {
  for (std::string name : {"office.docx", "office.odt", "office.xlsx", "office.ods"}) {
    std::string path = kData + "/" + name;
    std::string bytes = qm::test::read_file(path);
    auto m = read(readers::detect_format(bytes, ""), bytes);
    ASSERT_TRUE(m) << name;
    std::vector<std::string> ours = word_list(model_text(*m));
    EXPECT_EQ(ours, word_list(run({"python3", kData + "/office_text.py", path}))) << name;
  }
}

// The PDF that LibreOffice wrote keeps the document's properties in its info dictionary.
TEST(LegacyReadersTest, PdfInfoDictionaryGivesProperties) {
  auto m = read(KVXFI_PDF, qm::test::read_file(kData + "/office.pdf"));
  ASSERT_TRUE(m);
  EXPECT_EQ(script_of(*m).find("section wp\n"
                               "group 0xA0010004 6 254\ntext unicode \"Sample document\"\nend\n"
                               "group 0xA0010004 5 254\ntext unicode \"Testing\"\nend\n"
                               "group 0xA0010004 4 254\ntext unicode \"Ada Lovelace\"\nend\n"),
            std::string("kvx-chunks 1\n").size());
}

// Two PDF text extractors apart from poppler, pdftotext and mupdf's mutool, agree with
// the reader: word for word on the plain sample; on LibreOffice's PDF, whose footnote and
// table cells each tool places in its own order, as the same words (pdftotext) or the
// same characters (mutool).
TEST(LegacyReadersTest, PdfTextAgreesWithPdftotextAndMutool) {
  for (std::string name : {"sample.pdf", "office.pdf"}) {
    std::string path = kData + "/" + name;
    auto m = read(KVXFI_PDF, qm::test::read_file(path));
    ASSERT_TRUE(m) << name;
    std::vector<std::string> ours = word_list(model_text(*m));
    std::vector<std::string> poppler = word_list(run({"pdftotext", "-enc", "UTF-8", path, "-"}));
    std::vector<std::string> mupdf = word_list(run({"mutool", "draw", "-q", "-F", "txt", "-o", "-", path}));
    if (name == "sample.pdf") {
      EXPECT_EQ(ours, poppler);
      EXPECT_EQ(ours, mupdf);
      continue;
    }
    for (auto* v : {&ours, &poppler}) std::sort(v->begin(), v->end());
    EXPECT_EQ(ours, poppler) << name;
    // mutool sets the raised endnote mark against the word before it ("tablei"), so
    // against it the characters count, whitespace aside.
    auto letters = [](const std::vector<std::string>& v) {
      std::string all;
      for (const std::string& w : v) all += w;
      std::sort(all.begin(), all.end());
      return all;
    };
    EXPECT_EQ(letters(ours), letters(mupdf)) << name;
  }
}

// LibreOffice's RTF: \info properties, both notes (the endnote marked \ftnalt) at their
// places, the HYPERLINK fields' results in hyperlink groups; its words equal those of the
// ODT that LibreOffice wrote of the same source.
TEST(LegacyReadersTest, LibreOfficeRtf) {
  auto m = read(KVXFI_RTF, qm::test::read_file(kData + "/office.rtf"));
  ASSERT_TRUE(m);
  std::string s = script_of(*m);
  for (const char* piece : {"group 0xA0010004 6 254\ntext unicode \"Sample document\"\nend\n",
                            "item 44 1 1 0\ngroup 0xA00A0000 1 1\n", "item 44 2 2 0\ngroup 0xA00A0000 2 2\n",
                            // LibreOffice underlines its links in navy (\cf over its colour table).
                            "group 0x20000001 22 21\nitem 60 0 0x800000 0\nitem 8 4 1 0\ntext unicode \"the site\"\n"
                            "item 8 4 0 0\nitem 60 0 0 0\nend\n",
                            "group 0x20000001 43 11\nitem 60 0 0x800000 0\nitem 8 4 1 0\ntext unicode \"back\"\n"})
    EXPECT_NE(s.find(piece), std::string::npos) << piece << "\n" << s;
  auto odt = read(KVXFI_ODT, qm::test::read_file(kData + "/office.odt"));
  ASSERT_TRUE(odt);
  EXPECT_EQ(word_list(model_text(*m)), word_list(model_text(*odt)));
}

// A Chinese title as LibreOffice writes it: in UTF-8 in the Word file's summary
// information (antiword reads it byte by byte), and in the RTF's \upr both as "?" for each
// Chinese character and as Unicode (\*\ud). The title property holds the characters.
TEST(LegacyReadersTest, LibreOfficeChineseTitlesKeepTheirCharacters) {
  const struct {
    uint32_t format;
    const char* file;
  } cases[] = {{KVXFI_DOC, "zh-title.doc"}, {KVXFI_RTF, "zh-title.rtf"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto m = read(c.format, qm::test::read_file(kData + "/" + c.file));
    ASSERT_TRUE(m);
    EXPECT_EQ(model_property(*m, 6), "\xE7\xAC\xAC 1 \xE7\xAB\xA0 GnuPG \xE7\xB7\x9A\xE4\xB8\x8A\xE8\xAA\xAA\xE6\x98\x8E");
    EXPECT_NE(model_text(*m).find(".gpg.edit_ownertrust.value"), std::string::npos);
  }
}

TEST(LegacyReadersTest, ChildrenStatuses) {
  ToolsGuard guard;
  std::string doc = qm::test::read_file(kData + "/office.doc"), ppt = qm::test::read_file(kData + "/office.ppt");
  KVXSTATUS st = KVX_OK;
  readers::child_tools().antiword = "/nonexistent/antiword";
  readers::child_tools().catppt = "/nonexistent/catppt";
  EXPECT_FALSE(read(KVXFI_DOC, doc, &st));
  EXPECT_EQ(st, KVXERR_NOTOOL);
  EXPECT_FALSE(read(KVXFI_PPT, ppt, &st));
  EXPECT_EQ(st, KVXERR_NOTOOL);
  // A child that outlives its limit is killed with its group; one that fails is a bad
  // source.
  std::string dir = ::testing::TempDir() + "/legacy_tools";
  std::filesystem::create_directories(dir);
  qm::test::write_file(dir + "/slow", "#!/bin/sh\nsleep 60 &\nsleep 60\n");
  qm::test::write_file(dir + "/fails", "#!/bin/sh\necho partial\nexit 3\n");
  std::filesystem::permissions(dir + "/slow", std::filesystem::perms::owner_all);
  std::filesystem::permissions(dir + "/fails", std::filesystem::perms::owner_all);
  readers::child_tools().timeout_ms = 300;
  readers::child_tools().antiword = dir + "/slow";
  EXPECT_FALSE(read(KVXFI_DOC, doc, &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
  readers::child_tools().catppt = dir + "/fails";
  EXPECT_FALSE(read(KVXFI_PPT, ppt, &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
}

// A compound file whose WordDocument stream starts with a file-information block that
// carries fEncrypted; no Excel workbook or presentation at all; an unreadable compound
// file; a workbook that breaks libfreexl.
TEST(LegacyReadersTest, EncryptedAndBrokenBinaries) {
  std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  ole.resize(1536, '\0');
  ole[0x1E] = 9;
  ole[0x20] = 6;
  const std::string name = "WordDocument";
  for (size_t k = 0; k < name.size(); ++k) ole[512 + 2 * k] = name[k];
  ole[512 + 0x40] = char((name.size() + 1) * 2);
  ole[512 + 0x42] = 2;
  ole[512 + 0x74] = 1;  // its first sector: 1, at byte 1024
  ole[1024] = char(0xEC);
  ole[1025] = char(0xA5);
  ole[1024 + 0x0B] = 0x01;  // flags 0x0100: fEncrypted
  KVXSTATUS st = KVX_OK;
  EXPECT_FALSE(read(KVXFI_DOC, ole, &st));
  EXPECT_EQ(st, KVXERR_ENCRYPTED);
  ole[1024 + 0x0B] = 0;
  EXPECT_FALSE(read(KVXFI_DOC, ole, &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);  // antiword finds no document in it
  EXPECT_FALSE(read(KVXFI_XLS, ole, &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
  EXPECT_FALSE(read(KVXFI_XLS, "not a workbook", &st));
  EXPECT_EQ(st, KVXERR_BADFORMAT);
  // catppt exits 0 on anything: no compound file, or one without a presentation, is no
  // presentation (and no empty one).
  for (const std::string& not_ppt : {std::string("not a presentation\n"), std::string(2048, '\0'), ole}) {
    EXPECT_FALSE(read(KVXFI_PPT, not_ppt, &st));
    EXPECT_EQ(st, KVXERR_BADFORMAT);
  }
  // A workbook on which libfreexl reads past its own buffers: its worker dies, this
  // process does not.
  std::string xls = qm::test::read_file(kData + "/office.xls");
  qm::test::apply_edits(xls, {{qm::test::Edit::Set16, 1528, 0xFFFF},
                              {qm::test::Edit::Set32, 2486, 0xFFFFFFFF},
                              {qm::test::Edit::Flip, 3303, 0x11}});
  read(KVXFI_XLS, xls, &st);
  EXPECT_TRUE(st == KVX_OK || st == KVXERR_BADFORMAT) << st;
}

// libfreexl allocates the grid that a sheet's dimensions record declares: its worker runs
// with a cap on the memory it may add and with the time limit, and either ends it as a bad
// source while this process goes on.
TEST(LegacyReadersTest, ExcelWorkerRunsWithinLimits) {
  ToolsGuard guard;
  std::string xls = qm::test::read_file(kData + "/office.xls");
  // The first sheet's dimensions record: 65,536 rows of 256 columns.
  ASSERT_EQ(xls.substr(3902, 4), std::string("\x00\x02\x0e\x00", 4));
  std::string huge = xls;
  qm::test::apply_edits(huge, {{qm::test::Edit::Set32, 3902 + 8, 65536}, {qm::test::Edit::Set16, 3902 + 14, 256}});
  KVXSTATUS st = KVX_OK;
  struct Case {
    const std::string* source;
    size_t memory;
    int timeout_ms;
    KVXSTATUS status;
  } cases[] = {
      {&xls, size_t(1) << 30, 30000, KVX_OK},
      {&huge, size_t(1) << 30, 30000, KVX_OK},              // a full BIFF8 sheet fits the cap
      {&xls, size_t(64) << 20, 30000, KVX_OK},
      {&huge, size_t(64) << 20, 30000, KVXERR_BADFORMAT},  // its grid does not fit this one
      {&xls, size_t(1) << 30, 0, KVXERR_BADFORMAT},         // killed at once
  };
  for (const Case& c : cases) {
    readers::child_tools().worker_memory = c.memory;
    readers::child_tools().timeout_ms = c.timeout_ms;
    read(KVXFI_XLS, *c.source, &st);
    EXPECT_EQ(st, c.status) << c.memory << " " << c.timeout_ms;
  }
}

TEST(LegacyReadersTest, SeededCorruptionsReadCleanly) {
  qm::test::VariantTrace trace;
  struct Source {
    std::string name;
    uint32_t format;
    int variants;
  } sources[] = {{"office.doc", KVXFI_DOC, 40}, {"office.xls", KVXFI_XLS, 150}, {"office.ppt", KVXFI_PPT, 40},
                 {"office.docx", KVXFI_DOCX, 100}, {"office.xlsx", KVXFI_XLSX, 100}, {"office.ods", KVXFI_ODS, 100},
                 {"office.odt", KVXFI_ODT, 100}};
  for (const Source& src : sources) {
    std::string original = qm::test::read_file(kData + "/" + src.name);
    qm::test::Corruptor corrupt(29);
    for (int v = 0; v < src.variants; ++v) {
      qm::test::Edits edits = corrupt.any(original.size());
      std::string bytes = original;
      qm::test::apply_edits(bytes, edits);
      trace.set(src.name, edits);
      readers::detect_format(bytes, src.name);
      KVXSTATUS st = KVX_OK;
      auto m = read(src.format, bytes, &st);
      ASSERT_TRUE(st == KVX_OK || st == KVXERR_BADFORMAT || st == KVXERR_ENCRYPTED)
          << src.name << " " << st << qm::test::describe(edits);
      if (m) {
        model_text(*m);
        std::string s;
        write_chunk_script(*m, s, nullptr);
      }
    }
  }
}

}  // namespace
}  // namespace kvx::test
