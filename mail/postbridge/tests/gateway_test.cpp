// Tests of the gateway: pages and names, the side files byte for byte (offsets of the
// stored layout read with memcpy-free byte access), attachments off and on, the
// attachment table, section openers inside a message, failed and repeated starts, an
// empty output directory, seeded corruption of a mailbox, and the flat IG_ functions of
// the built libpostbridge.so.
#include "mail/postbridge/gateway.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "mail/postbridge/mail_page.h"
#include "mail/postbridge/postbridge.h"
#include "platform/dynlib.h"
#include "testsupport/corrupt.h"
#include "testsupport/test_files.h"

namespace {

using qm::mail::Gateway;
namespace fs = std::filesystem;

const char kBox[] =
    "From - Thu Dec 10 00:00:00 2026\r\n"
    "From: Ann <ann@example.com>\r\n"
    "Subject: first message\r\n"
    "Date: Sun, 12 Mar 2000 23:30:00 -0500\r\n"
    "\r\n"
    "Hello there.\r\n"
    "From - Thu Dec 10 00:00:01 2026\r\n"
    "Date: not a date\r\n"
    "\r\n"
    "No subject, no sender.\r\n";

uint32_t le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t le16(const std::string& b, size_t at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }

class GatewayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "Asia/Taipei", 1);
    tzset();
    qm::test::write_file(dir / "box.mbox", kBox);
    out = dir.sub("db");
  }
  std::vector<std::pair<std::string, std::string>> run(Gateway& g, int attach) {
    EXPECT_EQ(g.init(dir / "box.mbox", out), 1);
    g.set_extra_data(dir.path(), attach, 60, 0);
    g.init_attach_info();
    std::vector<std::pair<std::string, std::string>> pages;
    std::string name, page;
    while (g.get_data(name, page)) pages.emplace_back(name, page);
    g.end_attach_info();
    return pages;
  }
  qm::test::TempDir dir;
  std::string out;
};

TEST_F(GatewayTest, PagesAndSideFiles) {
  Gateway g;
  const auto pages = run(g, 1);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].first, "[box] - 1");
  EXPECT_EQ(pages[0].second,
            "<TITLE>first message</TITLE>\n<H1>Ann {ann@example.com}</H1>\n<BODY>Hello there.</BODY>\n");
  EXPECT_EQ(pages[1].first, "[box] - 2");
  EXPECT_EQ(pages[1].second, "<TITLE></TITLE>\n<H1></H1>\n<BODY>No subject, no sender.\r\n</BODY>\n");

  const std::string prop = qm::test::read_file(out + "MailProperty.db");
  ASSERT_EQ(prop.size(), 2u * 168);
  EXPECT_EQ(le32(prop, 0), 20000313u);
  EXPECT_EQ(prop.substr(4, 14), std::string("first message\0", 14));
  EXPECT_EQ(prop.substr(85, 28), std::string("Ann <ann@example.com>\0\0\0\0\0\0\0", 28));  // brackets kept
  EXPECT_EQ(prop.substr(166, 2), std::string(2, '\0'));
  EXPECT_EQ(le32(prop, 168), 0u);  // unreadable date
  EXPECT_EQ(prop.substr(168 + 4, 164), std::string(164, '\0'));

  const std::string idx = qm::test::read_file(out + "AttachIdx.db");
  ASSERT_EQ(idx.size(), 16u);
  EXPECT_EQ(le32(idx, 0), 0u);
  EXPECT_EQ(le32(idx, 4), 0u);
  EXPECT_EQ(le32(idx, 12), 0u);  // offset = earlier attachments x 266
  EXPECT_EQ(qm::test::read_file(out + "AttachInfo.db"), "");
}

// Section openers in the subject, sender and body are defused wherever they stand, in
// any case; an opener cut by the body's end stays as it is.
TEST_F(GatewayTest, OpenersInsideAMessageAreDefused) {
  qm::test::write_file(dir / "box.mbox",
                       "From - Thu Dec 10 00:00:00 2026\r\n"
                       "From: <t_attach>\r\n"
                       "Subject: see <T_ATTACH>x\r\n"
                       "\r\n"
                       "a<T_Attach>b<T_ATTACH><T_ATTACH>\r\nends <T_ATTACH\r\n");
  Gateway g;
  const auto pages = run(g, 1);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].second,
            "<TITLE>see &lt;T_ATTACH>x</TITLE>\n<H1>{t_attach}</H1>\n"
            "<BODY>a&lt;T_Attach>b&lt;T_ATTACH>&lt;T_ATTACH>\r\nends <T_ATTACH\r\n</BODY>\n");
}

// Each message's records stand in the files under their own names as soon as its page is
// handed out (the index builder reads the date there); a link planted under a side file's
// name is replaced, and its target is not written.
TEST_F(GatewayTest, RecordsAreWrittenThroughUnderTheirNames) {
  qm::test::write_file(dir / "victim", "keep");
  fs::create_directories(out);
  fs::create_symlink(dir / "victim", out + "MailProperty.db");
  Gateway g;
  ASSERT_EQ(g.init(dir / "box.mbox", out), 1);
  g.set_extra_data(dir.path(), 1, 60, 0);
  EXPECT_FALSE(fs::is_symlink(out + "MailProperty.db"));
  EXPECT_EQ(qm::test::read_file(out + "MailProperty.db"), "");
  const uint32_t dates[] = {20000313u, 0u};
  std::string name, page;
  for (size_t n = 0; n < 2; ++n) {
    ASSERT_TRUE(g.get_data(name, page));
    const std::string prop = qm::test::read_file(out + "MailProperty.db");
    ASSERT_EQ(prop.size(), (n + 1) * 168) << "after message " << n + 1;
    EXPECT_EQ(le32(prop, n * 168), dates[n]);
    EXPECT_EQ(qm::test::read_file(out + "AttachIdx.db").size(), (n + 1) * 8);
  }
  EXPECT_FALSE(g.get_data(name, page));
  EXPECT_EQ(qm::test::read_file(dir / "victim"), "keep");
}

TEST_F(GatewayTest, AttachmentsOffLeaveNoIndexFile) {
  qm::test::write_file(out + "AttachIdx.db", "old");
  qm::test::write_file(dir / "Export.err", "old log");
  fs::create_directories(out + "Attach/sub");
  qm::test::write_file(out + "Attach/sub/1~x.txt", "x");
  Gateway g;
  EXPECT_EQ(g.init(dir / "box.mbox", out), 1);
  EXPECT_FALSE(fs::exists(out + "Attach"));  // the attachment folder goes at the start
  EXPECT_EQ(g.set_extra_data(dir.path(), 0, 60, 0), 0);
  EXPECT_EQ(qm::test::read_file(dir / "Export.err"), "old log");  // the converter's directory is not touched
  EXPECT_EQ(g.converter_path(), dir / "docpress");
  std::string name, page;
  while (g.get_data(name, page)) {
  }
  EXPECT_FALSE(fs::exists(out + "AttachIdx.db"));
  EXPECT_EQ(qm::test::read_file(out + "MailProperty.db").size(), 2u * 168);
  EXPECT_NE(g.set_extra_data(dir.path(), 0, 60, 0), 0);  // nothing left to delete
  EXPECT_EQ(g.set_extra_data(dir.path(), 7, 60, 0), 7);
}

TEST_F(GatewayTest, FailedStartKeepsOldFilesAndEndsHarmlessly) {
  qm::test::write_file(out + "MailProperty.db", "old");
  Gateway g;
  // Settings before any start touch no side file of the current directory.
  qm::test::write_file(out + "AttachIdx.db", "keep");
  char old_dir[4096];
  ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
  ASSERT_EQ(chdir(out.c_str()), 0);
  const int dropped = g.set_extra_data(dir.path(), 0, 60, 0);
  ASSERT_EQ(chdir(old_dir), 0);
  EXPECT_NE(dropped, 0);
  EXPECT_EQ(qm::test::read_file(out + "AttachIdx.db"), "keep");
  fs::remove(out + "AttachIdx.db");
  EXPECT_EQ(g.init(dir / "missing.mbox", out), 0);
  std::string name, page;
  EXPECT_FALSE(g.get_data(name, page));
  EXPECT_EQ(qm::test::read_file(out + "MailProperty.db"), "old");
  EXPECT_FALSE(fs::exists(out + "AttachIdx.db"));
  // Append and End without a table do nothing.
  EXPECT_EQ(g.append_attach_info("x", 1), 0);
  g.end_attach_info();
  EXPECT_FALSE(fs::exists(out + "AttachInfo.db"));
  // Kinds without a reader in this build are refused.
  EXPECT_EQ(g.init("Outlook:Inbox", out), 0);
}

TEST_F(GatewayTest, SecondStartResetsEverything) {
  Gateway g;
  run(g, 1);
  g.init_attach_info();
  g.append_attach_info("left open", 5);
  EXPECT_EQ(g.init(dir / "box.mbox", out + "\\"), 1);  // a backslash becomes "/"
  EXPECT_FALSE(g.has_attach_table());
  EXPECT_EQ(g.output_dir(), out);
  std::string name, page;
  ASSERT_TRUE(g.get_data(name, page));
  EXPECT_EQ(name, "[box] - 1");
  EXPECT_EQ(g.mailbox_name(), "box");
}

TEST_F(GatewayTest, EmptyOutputDirectoryIsTheCurrentDirectory) {
  const std::string work = dir.sub("cwd");
  fs::create_directories(work + "Attach");
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(work.c_str()), 0);
  Gateway g;
  const int opened = g.init(dir / "box.mbox", "");
  std::string name, page;
  while (g.get_data(name, page)) {
  }
  EXPECT_EQ(chdir(old), 0);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(g.output_dir(), "./");
  EXPECT_FALSE(fs::exists(work + "Attach"));
  EXPECT_EQ(qm::test::read_file(work + "MailProperty.db").size(), 2u * 168);
}

TEST_F(GatewayTest, AttachmentTable) {
  Gateway g;
  g.init(dir / "box.mbox", out);
  g.init_attach_info();
  const std::string long_name(300, 'n');
  EXPECT_EQ(g.append_attach_info(long_name.c_str(), 10), 1);
  for (int i = 1; i <= 100; ++i) {
    std::string name = "a";  // appended: GCC 12 warns falsely on "literal" + string
    name += std::to_string(i);
    EXPECT_EQ(g.append_attach_info(name.c_str(), 10 + 5 * i), i + 1);
  }
  g.append_attach_info(nullptr, 600);
  g.end_attach_info();
  const std::string info = qm::test::read_file(out + "AttachInfo.db");
  ASSERT_EQ(info.size(), 101u * 266);
  EXPECT_EQ(le16(info, 0), 10u);
  EXPECT_EQ(le16(info, 2), 14u);
  EXPECT_EQ(info.substr(4, 260), std::string(260, 'n'));
  EXPECT_EQ(info[264], '\0');
  EXPECT_EQ(info[265], '\0');
  const size_t last = 100 * 266;
  EXPECT_EQ(le16(info, last), 510u);
  EXPECT_EQ(le16(info, last + 2), 599u);  // closed by the call without a name
  EXPECT_EQ(info.substr(last + 4, 5), std::string("a100\0", 5));
}

TEST(MailPage, SenderBracesOutsideBig5Pairs) {
  EXPECT_EQ(qm::mail::page_sender("A <a@b>"), "A {a@b}");
  EXPECT_EQ(qm::mail::page_sender("\xA4\x40<x>"), "\xA4\x40{x}");
  // 0x3C and 0x3E are below the Big5 trail range: they are no second byte and change.
  EXPECT_EQ(qm::mail::page_sender("\xA4<x\xA4>"), "\xA4{x\xA4}");
  EXPECT_EQ(qm::mail::mail_page_name("box", 12), "[box] - 12");
}

TEST_F(GatewayTest, SubjectAndSenderCutsInThePropertyFile) {
  std::string big5_sender;
  for (int i = 0; i < 60; ++i) big5_sender += "\xA4\xA4";
  qm::test::write_file(dir / "box.mbox", "From - x\r\nSubject: " + std::string(100, 's') + "\r\nFrom: a" + big5_sender +
                                             "\r\n\r\nbody\r\n");
  Gateway g;
  const auto pages = run(g, 0);
  ASSERT_EQ(pages.size(), 1u);
  const std::string prop = qm::test::read_file(out + "MailProperty.db");
  ASSERT_EQ(prop.size(), 168u);
  EXPECT_EQ(prop.substr(4, 81), std::string(80, 's') + '\0');
  // 80 bytes would split a pair: 79 bytes ("a" and 39 pairs) are kept.
  std::string stored = "a";
  stored += big5_sender.substr(0, 78);
  stored += std::string(2, '\0');
  EXPECT_EQ(prop.substr(85, 81), stored);
  std::string heading = "<H1>a";
  heading += big5_sender;
  heading += "</H1>";
  EXPECT_NE(pages[0].second.find(heading), std::string::npos);
}

TEST_F(GatewayTest, SeededCorruptionOfAMailbox) {
  std::string box;
  for (int i = 0; i < 8; ++i)
    box += std::string("From - x\r\nFrom: s@x\r\nSubject: =?big5?B?pKSk5Q==?=\r\n"
                       "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                       "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\nSGVsbG8=\r\n--b\r\n"
                       "Content-Type: application/octet-stream; name=\"a.bin\"\r\n"
                       "Content-Transfer-Encoding: quoted-printable\r\n\r\n=41=42\r\n--b--\r\n");
  qm::test::Corruptor corruptor(35);
  qm::test::VariantTrace trace;
  for (int v = 0; v < 300; ++v) {
    std::string bytes = box;
    const qm::test::Edits edits = corruptor.any(bytes.size());
    qm::test::apply_edits(bytes, edits);
    trace.set("box.mbox", edits);
    qm::test::write_file(dir / "box.mbox", bytes);
    Gateway g;
    g.set_window_limits({64, 512});
    ASSERT_EQ(g.init(dir / "box.mbox", out), 1);
    std::string name, page;
    int pages = 0;
    while (g.get_data(name, page)) ++pages;
    EXPECT_LE(pages, 20) << qm::test::describe(edits);
    EXPECT_EQ(qm::test::read_file(out + "MailProperty.db").size(), size_t(pages) * 168);
  }
}

// The flat functions as the index builder sees them: the built library loaded by name.
TEST_F(GatewayTest, FlatFunctionsOfTheLibrary) {
  qm::DynLib lib;
  ASSERT_TRUE(lib.open(qm::mail::kPostbridgeLibrary, QM_DIST_DIR, {})) << lib.error();
  auto init = reinterpret_cast<qm::mail::IG_InitFn>(lib.symbol("IG_Init"));
  auto get = reinterpret_cast<qm::mail::IG_GetDataFn>(lib.symbol("IG_GetData"));
  auto clear = reinterpret_cast<qm::mail::IG_ClearDataFn>(lib.symbol("IG_ClearData"));
  auto extra = reinterpret_cast<qm::mail::IG_SetExtraDataFn>(lib.symbol("IG_SetExtraData"));
  auto table = reinterpret_cast<qm::mail::IG_InitAttachInfoFn>(lib.symbol("IG_InitAttachInfo"));
  auto append = reinterpret_cast<qm::mail::IG_AppendAttachInfoFn>(lib.symbol("IG_AppendAttachInfo"));
  auto end = reinterpret_cast<qm::mail::IG_EndAttachInfoFn>(lib.symbol("IG_EndAttachInfo"));
  ASSERT_TRUE(init && get && clear && extra && table && append && end);
  EXPECT_EQ(lib.symbol("_ZN2qm4mail7Gateway4initERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES8_"), nullptr);

  ASSERT_EQ(init((dir / "box.mbox").c_str(), out.c_str()), 1);
  EXPECT_EQ(extra(dir.path().c_str(), 1, 60, 0), 1);
  EXPECT_NE(table(), nullptr);
  char* name = nullptr;
  char* text = nullptr;
  ASSERT_EQ(get(&name, &text), 1);
  char* first_name = name;
  EXPECT_STREQ(name, "[box] - 1");
  EXPECT_EQ(clear(nullptr, &text), 1);
  EXPECT_EQ(text, nullptr);
  ASSERT_EQ(get(&name, &text), 1);
  EXPECT_EQ(name, first_name);  // the same buffer, overwritten
  EXPECT_STREQ(first_name, "[box] - 2");
  clear(nullptr, &text);
  EXPECT_EQ(get(&name, &text), 0);
  EXPECT_EQ(get(&name, &text), 0);
  EXPECT_EQ(clear(nullptr, &text), 1);
  end();
  EXPECT_EQ(qm::test::read_file(out + "MailProperty.db").size(), 2u * 168);
}

TEST(DynLib, FileNames) {
  EXPECT_EQ(qm::dynlib_file_name("postbridge.dll"), "libpostbridge.so");
  EXPECT_EQ(qm::dynlib_file_name("MBOXPULL.DLL"), "libMBOXPULL.so");
  EXPECT_EQ(qm::dynlib_file_name("paglet"), "libpaglet.so");
  EXPECT_EQ(qm::dynlib_file_name("libx.so"), "libx.so");
  qm::DynLib lib;
  EXPECT_FALSE(lib.open("nothing.dll", "/nonexistent", {}));
  EXPECT_FALSE(lib.error().empty());
}

}  // namespace
