// Tests of attachment text: the handled types, the folder emptying (hidden entries kept,
// links removed and never followed), and the gateway's two passes with fake converters
// written as shell scripts: copied and converted parts in part order with their counts,
// unlisted types, a missing or failing converter, time-outs that kill the converter with
// its grandchild, the opener in a body, stale files of an earlier run, and planted links.
#include "mail/postbridge/attachments.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "mail/postbridge/gateway.h"
#include "testsupport/test_files.h"
#include "testsupport/test_processes.h"

namespace {

namespace fs = std::filesystem;
using qm::mail::Gateway;

std::string b64(const std::string& data) {
  static const char k[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(data[i])) << 16;
    if (i + 1 < data.size()) v |= uint32_t(uint8_t(data[i + 1])) << 8;
    if (i + 2 < data.size()) v |= uint8_t(data[i + 2]);
    out += k[v >> 18 & 63];
    out += k[v >> 12 & 63];
    out += i + 1 < data.size() ? k[v >> 6 & 63] : '=';
    out += i + 2 < data.size() ? k[v & 63] : '=';
  }
  return out + "\r\n";
}

struct Part {
  std::string name;
  std::string data;
};

// One mailbox message: a text body and base64 parts with file names.
std::string message(const std::string& subject, const std::string& body, const std::vector<Part>& parts) {
  std::string m = "From - Thu Dec 10 00:00:00 2026\r\nFrom: Ann <ann@example.com>\r\nSubject: " + subject +
                  "\r\nContent-Type: multipart/mixed; boundary=\"BB\"\r\n\r\n--BB\r\nContent-Type: text/plain\r\n\r\n" +
                  body + "\r\n";
  for (const Part& p : parts)
    m += "--BB\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
         "Content-Disposition: attachment; filename=\"" +
         p.name + "\"\r\n\r\n" + b64(p.data);
  return m + "--BB--\r\n";
}

uint32_t le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

// Every file below root (relative name -> content or link target); the sandbox snapshot.
std::map<std::string, std::string> snapshot(const std::string& root, const std::string& skip = "") {
  std::map<std::string, std::string> files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (!skip.empty() && rel.rfind(skip, 0) == 0) {
      if (it->is_directory() && !it->is_symlink()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_symlink()) files[rel] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_regular_file()) files[rel] = qm::test::read_file(it->path());
    else files[rel] = "<dir>";
  }
  return files;
}

TEST(AttachmentHandling, ByExtensionCaseBlind) {
  using H = qm::mail::AttachmentHandling;
  const struct {
    const char* name;
    H handling;
  } cases[] = {
      {"a.txt", H::Copy},      {"A.TXT", H::Copy},         {"x.Htm", H::Copy},        {"x.html", H::Copy},
      {"r.doc", H::Convert},   {"r.XLS", H::Convert},      {"r.ppt", H::Convert},     {"r.rtf", H::Convert},
      {"r.pdf", H::Convert},   {"r.pgx", H::Convert},      {"r.docx", H::Convert},    {"r.ODT", H::Convert},
      {"r.xlsx", H::Convert},  {"r.ods", H::Convert},      {"r.pptx", H::None},       {"r.odp", H::None},
      {"r.docm", H::None},
      {"txt", H::None},        {"a.txt.zip", H::None},     {"a.zip.txt", H::Copy},    {"a.", H::None},
      {".txt", H::Copy},       {"", H::None},
  };
  for (const auto& c : cases) EXPECT_EQ(qm::mail::attachment_handling(c.name), c.handling) << c.name;
}

TEST(AttachmentFolder, EmptiedKeepingHiddenEntriesWithoutFollowingLinks) {
  qm::test::TempDir dir;
  const std::string outside = dir.sub("outside");
  qm::test::write_file(outside + "victim", "keep me");
  fs::create_directories(outside + "sub");
  qm::test::write_file(outside + "sub/file", "keep me too");
  const std::string a = dir.sub("db") + "Attach/";
  fs::create_directories(a + "sub/deeper");
  fs::create_directories(a + "gone/deeper");
  qm::test::write_file(a + "1~a.txt", "x");
  qm::test::write_file(a + ".hidden", "h");
  qm::test::write_file(a + "sub/deeper/2~b.doc", "x");
  qm::test::write_file(a + "sub/.keep", "k");
  qm::test::write_file(a + "gone/deeper/3~c.pdf", "x");
  fs::create_directory_symlink(outside, a + "dirlink");
  fs::create_symlink(outside + "victim", a + "filelink");
  const auto before = snapshot(outside);

  qm::mail::empty_attachment_folder(dir / "db/Attach");
  EXPECT_EQ(snapshot(outside), before);
  std::map<std::string, std::string> expected = {
      {".hidden", "h"}, {"sub", "<dir>"}, {"sub/.keep", "k"}};
  EXPECT_EQ(snapshot(a), expected);

  // Without hidden entries the folder goes; a folder that is a link goes as a link.
  fs::remove(a + ".hidden");
  fs::remove(a + "sub/.keep");
  qm::mail::empty_attachment_folder(dir / "db/Attach/");
  EXPECT_FALSE(fs::exists(a));
  fs::create_directory_symlink(outside, dir / "db/Attach");
  qm::mail::empty_attachment_folder(dir / "db/Attach");
  EXPECT_FALSE(fs::is_symlink(dir / "db/Attach"));
  EXPECT_EQ(snapshot(outside), before);
}

TEST(AttachOpener, DefusedAnyCase) {
  EXPECT_EQ(qm::mail::defuse_attach_opener("a<T_ATTACH>b<t_Attach>c<T_ATTACH"),
            "a&lt;T_ATTACH>b&lt;t_Attach>c<T_ATTACH");
  EXPECT_TRUE(qm::mail::holds_attach_opener("x<t_attach>"));
  EXPECT_FALSE(qm::mail::holds_attach_opener("</T_ATTACH>"));
}

class AttachmentRun : public ::testing::Test {
 protected:
  void SetUp() override {
    conv = dir.sub("conv");
    out = dir.sub("db");
    // The converter: its text names the saved file and where it ran; some names fail.
    converter(
        "case \"$1\" in\n"
        "  *fail*) exit 1 ;;\n"
        "  *partial*) echo partial > \"$2\"; exit 3 ;;\n"
        "  *sleep*) sleep 60 & echo $! > '" + dir.path() + "grandchild'; echo $$ > '" + dir.path() + "child'; wait ;;\n"
        "esac\n"
        "printf 'converted %s in %s\\n' \"$(basename \"$1\")\" \"$(pwd)\" > \"$2\"\n");
  }
  void converter(const std::string& body) {
    qm::test::write_file(conv + "docpress", "#!/bin/sh\n" + body);
    fs::permissions(conv + "docpress", fs::perms::owner_all);
  }
  // Runs the box through a gateway with attachments on: the pages.
  std::vector<std::string> run(const std::string& box, int timeout = 60, bool attach = true) {
    qm::test::write_file(dir / "box.mbox", box);
    Gateway g;
    EXPECT_EQ(g.init(dir / "box.mbox", out), 1);
    g.set_extra_data(conv, attach ? 1 : 0, timeout, 0);
    g.init_attach_info();
    std::vector<std::string> pages;
    std::string name, page;
    int number = 0;
    while (g.get_data(name, page)) {
      text_folder = g.attachment_texts().text_folder();
      // The caller's part: one record per section, numbered by the section's place.
      for (size_t at = page.find("<T_ATTACH>"); at != std::string::npos; at = page.find("<T_ATTACH>", at + 1)) {
        const size_t end = page.find("</T_ATTACH>", at);
        g.append_attach_info(page.substr(at + 10, end - at - 10).c_str(), number++);
      }
      pages.push_back(page);
    }
    g.append_attach_info(nullptr, number);
    g.end_attach_info();
    return pages;
  }
  std::vector<uint32_t> counts() {
    const std::string idx = qm::test::read_file(out + "AttachIdx.db");
    std::vector<uint32_t> c;
    for (size_t at = 0; at + 8 <= idx.size(); at += 8) c.push_back(le32(idx, at));
    return c;
  }
  std::vector<std::string> info_names() {
    const std::string info = qm::test::read_file(out + "AttachInfo.db");
    std::vector<std::string> names;
    for (size_t at = 0; at + 266 <= info.size(); at += 266) names.emplace_back(info.c_str() + at + 4);
    return names;
  }
  qm::test::TempDir dir;
  std::string conv, out, text_folder;
};

TEST_F(AttachmentRun, SectionsInPartOrderWithTheirCounts) {
  const std::string pdf = std::string("%PDF-1.4\n\0\x01\xff", 13);
  const auto pages = run(message("one", "Body one.",
                                 {{"a.TXT", "plain text"},
                                  {"b.pdf", pdf},
                                  {"c.zip", "zip"},
                                  {"d-fail.doc", "doc"},
                                  {"e-partial.rtf", "rtf"},
                                  {"f.htm", "<p>web</p>"},
                                  {"noext", "x"}}) +
                         message("two", "Body two.", {{"g.html", "<b>g</b>"}}));
  ASSERT_EQ(pages.size(), 2u);
  const std::string attach = out + "Attach";
  EXPECT_EQ(pages[0],
            "<TITLE>one</TITLE>\n<H1>Ann {ann@example.com}</H1>\n<BODY>Body one.\r\n</BODY>\n"
            "<T_ATTACH>a.TXT</T_ATTACH>\r\nplain text"
            "<T_ATTACH>b.pdf</T_ATTACH>\r\nconverted 1~b.pdf in " + attach + "\n"
            "<T_ATTACH>e-partial.rtf</T_ATTACH>\r\npartial\n"  // the exit code is not used
            "<T_ATTACH>f.htm</T_ATTACH>\r\n<p>web</p>");
  EXPECT_NE(pages[1].find("<T_ATTACH>g.html</T_ATTACH>\r\n<b>g</b>"), std::string::npos);
  EXPECT_EQ(counts(), (std::vector<uint32_t>{4, 1}));
  EXPECT_EQ(le32(qm::test::read_file(out + "AttachIdx.db"), 12), 4u * 266);
  EXPECT_EQ(info_names(), (std::vector<std::string>{"a.TXT", "b.pdf", "e-partial.rtf", "f.htm", "g.html"}));

  // Listed types are saved, whether their text came or not; others are not.
  EXPECT_EQ(qm::test::read_file(attach + "/1~a.TXT"), "plain text");
  EXPECT_EQ(qm::test::read_file(attach + "/1~b.pdf"), pdf);
  EXPECT_EQ(qm::test::read_file(attach + "/1~d-fail.doc"), "doc");
  EXPECT_EQ(qm::test::read_file(attach + "/2~g.html"), "<b>g</b>");
  EXPECT_FALSE(fs::exists(attach + "/1~c.zip"));
  EXPECT_FALSE(fs::exists(attach + "/1~noext"));
  // The private text folder goes when the source ends.
  ASSERT_FALSE(text_folder.empty());
  EXPECT_EQ(text_folder.rfind(out + "pbtext.", 0), 0u);
  EXPECT_FALSE(fs::exists(text_folder));
}

TEST_F(AttachmentRun, MissingConverterOrAttachmentsOff) {
  fs::remove(conv + "docpress");
  auto pages = run(message("one", "Body.", {{"a.txt", "text"}, {"b.doc", "doc"}}));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].find("<T_ATTACH>a.txt</T_ATTACH>\r\ntext"), std::string::npos);
  EXPECT_EQ(pages[0].find("b.doc"), std::string::npos);
  EXPECT_EQ(counts(), (std::vector<uint32_t>{1}));

  pages = run(message("one", "Body.", {{"a.txt", "text"}}), 60, false);
  EXPECT_EQ(pages[0].find("T_ATTACH"), std::string::npos);
  EXPECT_FALSE(fs::exists(out + "Attach"));
  EXPECT_FALSE(fs::exists(out + "AttachIdx.db"));
}

// An output directory whose levels do not exist yet: they are made before the private
// text folder inside it, so the texts, the saved files and the side files are all there.
TEST_F(AttachmentRun, MissingOutputDirectoryIsMade) {
  out = dir.path() + "new/deeper/";
  ASSERT_FALSE(fs::exists(out));
  const auto pages = run(message("one", "Body.", {{"a.txt", "text"}, {"b.doc", "doc"}}));
  ASSERT_EQ(pages.size(), 1u);
  const std::string attach = out + "Attach";
  EXPECT_NE(pages[0].find("<T_ATTACH>a.txt</T_ATTACH>\r\ntext"), std::string::npos);
  EXPECT_NE(pages[0].find("<T_ATTACH>b.doc</T_ATTACH>\r\nconverted 1~b.doc in " + attach), std::string::npos);
  EXPECT_EQ(qm::test::read_file(attach + "/1~a.txt"), "text");
  EXPECT_EQ(counts(), (std::vector<uint32_t>{2}));
  EXPECT_EQ(info_names(), (std::vector<std::string>{"a.txt", "b.doc"}));
  EXPECT_EQ(qm::test::read_file(out + "MailProperty.db").size(), 168u);
}

TEST_F(AttachmentRun, TimeOutKillsTheConverterWithItsGrandchild) {
  const auto pages = run(message("one", "Body.", {{"sleep.doc", "x"}, {"after.txt", "after"}}) +
                             message("two", "Next.", {{"b.doc", "y"}}),
                         1);
  ASSERT_EQ(pages.size(), 2u);  // the next message is read
  EXPECT_EQ(pages[0].find("sleep.doc</T_ATTACH>"), std::string::npos);
  EXPECT_NE(pages[0].find("<T_ATTACH>after.txt</T_ATTACH>\r\nafter"), std::string::npos);
  EXPECT_NE(pages[1].find("converted 2~b.doc"), std::string::npos);
  EXPECT_EQ(counts(), (std::vector<uint32_t>{1, 1}));
  const pid_t child = pid_t(std::stol(qm::test::read_file(dir / "child")));
  const pid_t grandchild = pid_t(std::stol(qm::test::read_file(dir / "grandchild")));
  EXPECT_TRUE(qm::test::wait_stopped(child));
  EXPECT_TRUE(qm::test::wait_stopped(grandchild));
}

TEST_F(AttachmentRun, TimeOutOfZeroStopsAtTheFirstLook) {
  converter("sleep 2; echo late > \"$2\"\n");
  for (int timeout : {0, -5}) {
    const auto pages = run(message("one", "Body.", {{"b.doc", "x"}}), timeout);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].find("T_ATTACH"), std::string::npos) << timeout;
    EXPECT_EQ(counts(), (std::vector<uint32_t>{0}));
  }
}

TEST_F(AttachmentRun, OpenerInABodyOrTextMakesNoSection) {
  const auto pages = run(message("<T_ATTACH>subject", "quoting <T_ATTACH>x</T_ATTACH> and <t_attach>",
                                 {{"a.txt", "inner <T_ATTACH>y</T_ATTACH>"}}));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0],
            "<TITLE>&lt;T_ATTACH>subject</TITLE>\n<H1>Ann {ann@example.com}</H1>\n"
            "<BODY>quoting &lt;T_ATTACH>x</T_ATTACH> and &lt;t_attach>\r\n</BODY>\n"
            "<T_ATTACH>a.txt</T_ATTACH>\r\ninner &lt;T_ATTACH>y</T_ATTACH>");
  EXPECT_EQ(counts(), (std::vector<uint32_t>{1}));
  EXPECT_EQ(info_names(), (std::vector<std::string>{"a.txt"}));
}

TEST_F(AttachmentRun, NulInATextDoesNotHideLaterSections) {
  const auto pages = run(message("one", "Body.", {{"u16.txt", std::string("a\0b", 3)}, {"b.txt", "b"}}));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].find('\0'), std::string::npos);
  EXPECT_NE(pages[0].find("<T_ATTACH>u16.txt</T_ATTACH>\r\na b<T_ATTACH>b.txt</T_ATTACH>\r\nb"), std::string::npos);
}

TEST_F(AttachmentRun, HostileLeftoversAndLinksStayInsideTheOutputDirectory) {
  // Leftovers of an earlier run: a private folder with a text, a text in the output
  // directory and in $TMPDIR-style places, a link planted in Attach/ pointing outside.
  const std::string outside = dir.sub("outside");
  qm::test::write_file(outside + "victim", "keep me");
  fs::create_directories(out + "pbtext.old123");
  qm::test::write_file(out + "pbtext.old123/~1~1$$.tmp", "STALE TEXT");
  fs::create_symlink(outside, out + "pbtext.link");
  qm::test::write_file(out + "~1~1$$.tmp", "STALE TEXT");
  fs::create_directories(out + "Attach");
  fs::create_symlink(outside + "victim", out + "Attach/1~a.txt");
  const std::string box = message("one", "Body.", {{"x.doc", "doc"}, {"a.txt", "new"}});
  qm::test::write_file(dir / "box.mbox", box);
  const auto before = snapshot(dir.dir(), "db");

  Gateway g;
  ASSERT_EQ(g.init(dir / "box.mbox", out), 1);
  EXPECT_FALSE(fs::exists(out + "pbtext.old123"));
  EXPECT_FALSE(fs::exists(out + "pbtext.link"));
  // A link planted after the start is replaced, not written through.
  fs::create_directories(out + "Attach");
  fs::create_symlink(outside + "victim", out + "Attach/1~a.txt");
  g.set_extra_data(conv, 1, 60, 0);
  std::string name, page;
  ASSERT_TRUE(g.get_data(name, page));
  EXPECT_EQ(page.find("STALE"), std::string::npos);
  EXPECT_NE(page.find("<T_ATTACH>a.txt</T_ATTACH>\r\nnew"), std::string::npos);
  EXPECT_FALSE(fs::is_symlink(out + "Attach/1~a.txt"));
  EXPECT_EQ(qm::test::read_file(out + "Attach/1~a.txt"), "new");
  EXPECT_FALSE(g.get_data(name, page));
  EXPECT_EQ(snapshot(dir.dir(), "db"), before);

  // An attachment folder that is a link gives no text and writes nothing outside.
  ASSERT_EQ(g.init(dir / "box.mbox", out), 1);
  fs::create_directory_symlink(outside, out + "Attach");
  g.set_extra_data(conv, 1, 60, 0);
  ASSERT_TRUE(g.get_data(name, page));
  EXPECT_EQ(page.find("T_ATTACH"), std::string::npos);
  EXPECT_EQ(snapshot(dir.dir(), "db"), before);
}

}  // namespace
