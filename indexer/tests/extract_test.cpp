// Tests of document extraction: kinds by extension, native files, converter runs
// (fake converters for failures and time-outs, the real ones on documents made here), and
// the office documents that LibreOffice made from system texts (data/office/), read
// through the framework's kvxdump of the build by what their content is.
#include "indexer/extract.h"
#include "testsupport/test_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using Blocks = std::vector<std::string>;

const std::string kZhong = "\xA4\xA4";  // 中 in Big5
const std::string kWen = "\xA4\xE5";    // 文 in Big5

class ExtractTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = tmp_.dir();
    tools_ = dir_ + "/tools";
    fs::create_directory(tools_);
    options_.converter_dir = tools_;
    options_.converter_timeout_ms = 10000;
  }

  std::string write(const std::string& name, const std::string& bytes) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  // A stand-in converter: a shell script under the converter's name.
  void fake_tool(const std::string& name, const std::string& script) {
    std::string path = tools_ + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
    chmod(path.c_str(), 0755);
  }

  qm::test::TempDir tmp_{"qm-extract-"};
  std::string dir_, tools_;
  qm::ExtractOptions options_;
};

TEST(ExtractDocumentKind, ByExtensionCaseBlind) {
  struct Case {
    const char* name;
    qm::DocumentKind kind;
  } cases[] = {
      {"a.htm", qm::DocumentKind::Html},      {"A.HTML", qm::DocumentKind::Html},
      {"a.txt", qm::DocumentKind::PlainText}, {"noext", qm::DocumentKind::PlainText},
      {"a.Doc", qm::DocumentKind::Word},      {"a.xls", qm::DocumentKind::Excel},
      {"a.PPT", qm::DocumentKind::PowerPoint}, {"a.pdf", qm::DocumentKind::Pdf},
      {"a.rtf", qm::DocumentKind::Rtf},       {"a.pgx", qm::DocumentKind::PageDocument},
      {"dir.pdf/readme", qm::DocumentKind::PlainText}, {"x.c", qm::DocumentKind::PlainText},
      {"a.DOCX", qm::DocumentKind::Package},  {"a.xlsx", qm::DocumentKind::Package},
      {"a.odt", qm::DocumentKind::Package},   {"a.ods", qm::DocumentKind::Package},
      {"a.pptx", qm::DocumentKind::Package},  {"a.docx.txt", qm::DocumentKind::PlainText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qm::document_kind(c.name), c.kind);
  }
}

TEST_F(ExtractTest, NativeTextAndHtml) {
  std::string txt = write("notes.txt", "Notes\n\nfirst " + kZhong + "\n" + kWen + "\n\nsecond\n");
  qm::ExtractOutcome t = qm::extract_document(txt, qm::DocumentKind::PlainText, options_);
  ASSERT_EQ(t.status, qm::ExtractStatus::Ok);
  EXPECT_EQ(t.document.paragraphs, (Blocks{"Notes", "first " + kZhong + kWen, "second"}));

  std::string html = write("page.htm", "<meta charset=utf-8><title>T</title><p>\xE4\xB8\xAD</p>");
  qm::ExtractOutcome h = qm::extract_document(html, qm::DocumentKind::Html, options_);
  ASSERT_EQ(h.status, qm::ExtractStatus::Ok);
  EXPECT_EQ(h.document.paragraphs, (Blocks{"T", kZhong}));

  // An empty file is a document whose title is its name.
  std::string empty = write("empty.txt", "");
  qm::ExtractOutcome e = qm::extract_document(empty, qm::DocumentKind::PlainText, options_);
  ASSERT_EQ(e.status, qm::ExtractStatus::Ok);
  EXPECT_EQ(e.document.paragraphs, (Blocks{"empty.txt"}));
}

TEST_F(ExtractTest, LongFilesAreCutAtTheLimit) {
  std::string path = write("big.txt", std::string(5000, 'a') + " tail");
  options_.max_text_bytes = 1000;
  qm::ExtractOutcome o = qm::extract_document(path, qm::DocumentKind::PlainText, options_);
  ASSERT_EQ(o.status, qm::ExtractStatus::Ok);
  EXPECT_TRUE(o.cut);
  // The one long line: its start is the title, the rest of what was read the body.
  ASSERT_EQ(o.document.paragraphs.size(), 2u);
  EXPECT_EQ(o.document.paragraphs[0], std::string(qm::kTitleLimit, 'a'));
  EXPECT_EQ(o.document.paragraphs[1], std::string(1000 - qm::kTitleLimit, 'a'));
}

TEST_F(ExtractTest, UnreadableFiles) {
  EXPECT_EQ(qm::extract_document(dir_ + "/missing.txt", qm::DocumentKind::PlainText, options_)
                .status,
            qm::ExtractStatus::Unreadable);
  EXPECT_EQ(qm::extract_document(dir_ + "/missing.doc", qm::DocumentKind::Word, options_).status,
            qm::ExtractStatus::Unreadable);
  fs::create_directory(dir_ + "/folder.txt");
  EXPECT_EQ(qm::extract_document(dir_ + "/folder.txt", qm::DocumentKind::PlainText, options_)
                .status,
            qm::ExtractStatus::Unreadable);
  if (geteuid() != 0) {  // the super-user reads everything
    std::string locked = write("locked.txt", "secret");
    chmod(locked.c_str(), 0);
    EXPECT_EQ(qm::extract_document(locked, qm::DocumentKind::PlainText, options_).status,
              qm::ExtractStatus::Unreadable);
  }
  qm::ExtractOutcome pgx =
      qm::extract_document(write("a.pgx", "x"), qm::DocumentKind::PageDocument, options_);
  EXPECT_EQ(pgx.status, qm::ExtractStatus::Unsupported);
}

TEST_F(ExtractTest, ConverterOutputBecomesParagraphs) {
  // The converter is given the file and asked for UTF-8; its output is plain text.
  fake_tool("catdoc",
            "[ \"$1 $2\" = \"-d utf-8\" ] || exit 9\n"
            "printf 'Report\\n\\nBody \\344\\270\\255\\n\\346\\226\\207 ok\\n'; cat \"$3\" >/dev/null");
  std::string doc = write("report.doc", "binary");
  std::vector<pid_t> announced;
  options_.on_converter = [&](pid_t pid) { announced.push_back(pid); };
  qm::ExtractOutcome o = qm::extract_document(doc, qm::DocumentKind::Word, options_);
  ASSERT_EQ(o.status, qm::ExtractStatus::Ok) << o.message;
  EXPECT_EQ(o.document.paragraphs, (Blocks{"Report", "Body " + kZhong + kWen + " ok"}));
  ASSERT_EQ(announced.size(), 2u);
  EXPECT_GT(announced[0], 0);
  EXPECT_EQ(announced[1], 0);
}

TEST_F(ExtractTest, ConverterFailures) {
  std::string doc = write("a.xls", "x");
  struct Case {
    const char* what;
    const char* script;  // nullptr: no converter installed
    qm::ExtractStatus status;
    const char* message_part;
  } cases[] = {
      {"missing", nullptr, qm::ExtractStatus::ConverterMissing, "xls2csv"},
      {"error exit", "echo partial; exit 3", qm::ExtractStatus::ConverterFailed, "exit code 3"},
      {"killed", "kill -SEGV $$", qm::ExtractStatus::ConverterFailed, "signal"},
      {"late", "sleep 30 & sleep 30", qm::ExtractStatus::TimedOut, "stopped"},
  };
  options_.converter_timeout_ms = 300;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(tools_ + "/xls2csv");
    if (c.script) fake_tool("xls2csv", c.script);
    qm::ExtractOutcome o = qm::extract_document(doc, qm::DocumentKind::Excel, options_);
    EXPECT_EQ(o.status, c.status);
    EXPECT_NE(o.message.find(c.message_part), std::string::npos) << o.message;
  }
}

TEST_F(ExtractTest, RealRtfConverter) {
  options_.framework_dir = QM_DIST_DIR;
  // Chinese as Big5 escapes (code page 950) and as Unicode escapes; "中" and "文".
  std::string rtf = write("memo.rtf",
                          "{\\rtf1\\ansi\\ansicpg950\\deff0{\\fonttbl{\\f0 Times;}}\n"
                          "{\\info{\\title Memo Title}}\n"
                          "\\pard First paragraph.\\par\n"
                          "\\pard Second \\'a4\\'a4\\u25991? & <x>\\par\n"
                          "{\\pict\\wmetafile8\\picw10\\pich10 0100090000030c00000000000000}\n}\n");
  // The converter runs in the indexer's own folder: a picture must not be left there.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  qm::ExtractOutcome o = qm::extract_document(rtf, qm::DocumentKind::Rtf, options_);
  fs::current_path(cwd);
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_NE(entry.path().extension(), ".wmf") << entry.path();
  ASSERT_EQ(o.status, qm::ExtractStatus::Ok) << o.message;
  EXPECT_EQ(o.document.paragraphs,
            (Blocks{"Memo Title", "First paragraph.", "Second " + kZhong + kWen + " & <x>"}));
}

TEST_F(ExtractTest, RealPdfConverter) {
  if (access("/usr/bin/pdftotext", X_OK) != 0) GTEST_SKIP() << "pdftotext is not installed";
  options_.converter_dir = "/usr/bin";
  // A one-page PDF written by hand: two lines, a gap, a third line.
  std::string stream =
      "BT /F1 12 Tf 72 720 Td (Quarterly figures) Tj 0 -16 Td (rose by 5 percent) Tj "
      "0 -60 Td (Closing remark.) Tj ET";
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
  };
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t off : offsets) {
    char line[32];
    snprintf(line, sizeof line, "%010zu 00000 n \n", off);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  qm::ExtractOutcome o =
      qm::extract_document(write("figures.pdf", pdf), qm::DocumentKind::Pdf, options_);
  ASSERT_EQ(o.status, qm::ExtractStatus::Ok) << o.message;
  ASSERT_GE(o.document.paragraphs.size(), 2u);
  EXPECT_EQ(o.document.paragraphs[0], "Quarterly figures");
  std::string body;
  for (size_t i = 1; i < o.document.paragraphs.size(); ++i) body += o.document.paragraphs[i] + "|";
  // The first line is the title, and only the title.
  EXPECT_EQ(body.find("Quarterly"), std::string::npos) << body;
  EXPECT_NE(body.find("rose by 5 percent"), std::string::npos) << body;
  EXPECT_NE(body.find("Closing remark."), std::string::npos) << body;
}

// Every office document is read by its words, never as the bytes of its package: none of
// the ZIP's member names or its signature reach the text.
std::string all_text(const qm::ExtractOutcome& o) {
  std::string all;
  for (const std::string& p : o.document.paragraphs) all += p + "\n";
  return all;
}

TEST_F(ExtractTest, OfficeDocumentsAreReadByTheirWords) {
  options_.framework_dir = QM_DIST_DIR;
  const std::string data = std::string(QM_SOURCE_DIR) + "/indexer/tests/data/office/";
  const std::string bsd_title = "Copyright (c) The Regents of the University of California.";
  const std::string sheet_title = "version codename series created release eol eol-lts eol-elts";
  struct Case {
    const char* fixture;
    const char* name;  // as the document folder holds it
    std::string title;
    std::vector<std::string> words;
  } cases[] = {
      {"bsd.docx", "bsd.docx", bsd_title, {"Redistribution and use", "NEGLIGENCE"}},
      {"bsd.odt", "bsd.odt", bsd_title, {"Redistribution and use", "NEGLIGENCE"}},
      // Numeric cells too: the version 1.1 and the dates as the sheet shows them.
      {"debian.xlsx", "debian.xlsx", sheet_title, {"Buzz", "bookworm", "1.1", "1993-08-16"}},
      {"debian.ods", "debian.ods", sheet_title, {"Buzz", "bookworm", "1.1", "1993-08-16"}},
      // LibreOffice's RTF gives the title twice, as "?" for each Chinese character and as
      // Unicode: the Unicode form is taken. "GnuPG 線上說明", "信任", "金鑰".
      {"gnupg-help.rtf", "gnupg-help.rtf", "GnuPG \xBD\x75\xA4\x57\xBB\xA1\xA9\xFA",
       {"\xAB\x48\xA5\xF4", "\xAA\xF7\xC6\x5F", ".gpg.edit_ownertrust.value"}},
      // The content decides where the name says otherwise.
      {"bsd.docx", "licence.txt", bsd_title, {"Redistribution and use"}},
      {"debian.ods", "table.doc", sheet_title, {"Buzz"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = write(c.name, qm::test::read_file(data + c.fixture));
    qm::ExtractOutcome o = qm::extract_document(path, qm::document_kind(c.name), options_);
    ASSERT_EQ(o.status, qm::ExtractStatus::Ok) << o.message;
    ASSERT_FALSE(o.document.paragraphs.empty());
    EXPECT_EQ(o.document.paragraphs[0], c.title);
    const std::string all = all_text(o);
    for (const std::string& w : c.words) EXPECT_NE(all.find(w), std::string::npos) << w << "\n" << all;
    for (const char* member : {"Content_Types", "_rels", ".xml", "mimetype", "PK", "rtf1"})
      EXPECT_EQ(all.find(member), std::string::npos) << member << "\n" << all;
  }
}

// What no reader takes and is no text is refused with a message naming why; text that
// only looks unusual (UTF-16 with its mark, ISO-2022 escapes, a quoted signature) stays
// text.
TEST_F(ExtractTest, BinaryContentAndFormatsWithoutAReaderAreRefused) {
  options_.framework_dir = QM_DIST_DIR;
  const std::string data = std::string(QM_SOURCE_DIR) + "/indexer/tests/data/office/";
  std::string zip = qm::test::read_file(data + "bsd.docx");
  // The package's own parts renamed: a ZIP archive that is no document.
  for (size_t at = 0; (at = zip.find("word/document.xml", at)) != std::string::npos;) zip[at++] = 'W';
  for (size_t at = 0; (at = zip.find("[Content_Types].xml", at)) != std::string::npos;) zip[at++] = '{';
  struct Case {
    const char* name;
    std::string bytes;
    qm::ExtractStatus status;
    const char* message_part;
  } cases[] = {
      {"program.txt", qm::test::read_file("/bin/true"), qm::ExtractStatus::Unsupported, "binary content"},
      {"page.htm", qm::test::read_file("/bin/true"), qm::ExtractStatus::Unsupported, "binary content"},
      {"archive.txt", zip, qm::ExtractStatus::Unsupported, "no reader"},
      // Compressed data without its archive's signature.
      {"deflated.txt", zip.substr(64), qm::ExtractStatus::Unsupported, "binary content"},
      {"slides.pptx", qm::test::read_file(data + "slides.pptx"), qm::ExtractStatus::Unsupported, "no reader"},
      {"utf16.txt", std::string("\xFF\xFEh\0i\0\n\0", 8), qm::ExtractStatus::Ok, ""},
      {"jis.txt", "\x1B$B$3$s\x1B(B tea\n", qm::ExtractStatus::Ok, ""},
      {"manual.txt", "N\bNA\bAM\bME\bE\n     ls - list directory contents\n", qm::ExtractStatus::Ok, ""},
      // A note that only quotes a signature: no reader takes it, and it is text.
      {"pdf-note.txt", "A PDF begins with %PDF-1.4 and a comment line.\n", qm::ExtractStatus::Ok, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qm::ExtractOutcome o =
        qm::extract_document(write(c.name, c.bytes), qm::document_kind(c.name), options_);
    EXPECT_EQ(o.status, c.status) << o.message;
    EXPECT_NE(o.message.find(c.message_part), std::string::npos) << o.message;
  }
}

TEST_F(ExtractTest, BrokenDocumentsFailCleanlyInRealConverters) {
  if (access("/usr/bin/pdftotext", X_OK) != 0) GTEST_SKIP() << "pdftotext is not installed";
  options_.converter_dir = "/usr/bin";
  qm::ExtractOutcome o =
      qm::extract_document(write("bad.pdf", "not a pdf at all"), qm::DocumentKind::Pdf, options_);
  EXPECT_EQ(o.status, qm::ExtractStatus::ConverterFailed);
}

}  // namespace
