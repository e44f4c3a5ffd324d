// The mail-client store (kind 4) through the built libmboxpull.so over the committed
// fixture store (mail/tests/store): the library found by its places, folder names in the
// pages, messages and attachments handed over, refused folders and stores, and no file
// left behind or written elsewhere.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "mail/postbridge/gateway.h"
#include "mail/postbridge/mail_client_source.h"
#include "testsupport/test_files.h"

// The boxes the gateway showed, as "caption|text|style": this test program is the one
// that loaded the gateway, so it takes them (platform/message_box.h).
std::vector<std::string> g_boxes;
extern "C" __attribute__((visibility("default"))) int32_t qm_message_box(const char* text, const char* caption,
                                                                         int32_t style) {
  g_boxes.push_back(std::string(caption) + "|" + text + "|" + std::to_string(style));
  return 1;
}

namespace qm::mail {
namespace {

namespace fs = std::filesystem;

const std::string kStore = std::string(QM_SOURCE_DIR) + "/mail/tests/store";

// Every file and folder under dir, relative to it.
std::set<std::string> tree(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) out.insert(fs::relative(e.path(), dir).string());
  return out;
}

class MailClient : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("MBOXPULL_STORE", kStore.c_str(), 1); }
  void TearDown() override { ::unsetenv("MBOXPULL_STORE"); }
  MailClientPlaces places_{QM_DIST_DIR, ""};
  test::TempDir out_;
};

TEST_F(MailClient, PagesNamedAfterTheFolder) {
  const struct {
    const char* source;
    const char* name;
    int pages;
  } cases[] = {
      {"outlook:archive", "archive", 15},
      {"OUTLOOK:.Work.Projects", "Projects", 3},
      {"Outlook:.", "store", 2},
      {"outlook:lists.mbox", "lists.mbox", 3},
      {"outlook:%E4%B8%AD%E6%96%87", "\xA4\xA4\xA4\xE5", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    Gateway g;
    g.set_mail_client_places(places_);
    ASSERT_EQ(g.init(c.source, out_.dir()), 1);
    g.set_extra_data("", 0, 60, 0);
    EXPECT_EQ(g.mailbox_name(), c.name);
    std::string name, page;
    int pages = 0;
    while (g.get_data(name, page)) {
      ++pages;
      EXPECT_EQ(name, "[" + std::string(c.name) + "] - " + std::to_string(pages));
    }
    EXPECT_EQ(pages, c.pages);
    EXPECT_EQ(test::read_file(out_ / "MailProperty.db").size(), size_t(c.pages) * 168);
  }
}

TEST_F(MailClient, FirstPageCarriesTheMessageTexts) {
  Gateway g;
  g.set_mail_client_places(places_);
  ASSERT_EQ(g.init("outlook:archive", out_.dir()), 1);
  g.set_extra_data("", 0, 60, 0);
  std::string name, page;
  ASSERT_TRUE(g.get_data(name, page));
  EXPECT_EQ(page.rfind("<TITLE>Plain ASCII message</TITLE>\n<H1>Ann Lee {ann@example.com}</H1>\n<BODY>", 0), 0u)
      << page;
  EXPECT_NE(page.find("A plain message."), std::string::npos);
  while (g.get_data(name, page)) {
  }
  const std::string property = test::read_file(out_ / "MailProperty.db");
  ASSERT_GE(property.size(), 168u);
  const uint32_t date = uint32_t(uint8_t(property[0])) | uint32_t(uint8_t(property[1])) << 8 |
                        uint32_t(uint8_t(property[2])) << 16 | uint32_t(uint8_t(property[3])) << 24;
  // The day as the gateway's own decoder gives it for the same file (a local day).
  const MessageRecord own = parse_message(test::read_file(kStore + "/archive/01-plain.eml"));
  EXPECT_EQ(int32_t(date), own.date);
  EXPECT_NE(own.date, 0);
  EXPECT_EQ(std::string(property.c_str() + 4), "Plain ASCII message");
  EXPECT_EQ(std::string(property.c_str() + 85), "Ann Lee <ann@example.com>");
}

// Only a refused login shows the box, "Fail to login !" under "Error" with the stop sign;
// the other refusals are the result alone.
TEST_F(MailClient, RefusedSourcesOpenNothing) {
  test::TempDir empty;
  const struct {
    const char* source;
    const char* store;
    bool own_places;
    bool box;
  } cases[] = {
      {"outlook:.broken", nullptr, true, false},
      {"outlook:no-such-folder", nullptr, true, false},
      {"outlook:../store", nullptr, true, false},
      {"outlook:archive", "/nonexistent/quillmere-store", true, true},
      {"outlook:archive", nullptr, false, false},  // no library where it is looked for
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    if (c.store) ::setenv("MBOXPULL_STORE", c.store, 1);
    g_boxes.clear();
    Gateway g;
    g.set_mail_client_places(c.own_places ? places_ : MailClientPlaces{empty.dir(), empty.dir()});
    EXPECT_EQ(g.init(c.source, out_.dir()), 0);
    std::string name, page;
    EXPECT_FALSE(g.get_data(name, page));
    EXPECT_EQ(g_boxes, c.box ? std::vector<std::string>{"Error|Fail to login !|16"} : std::vector<std::string>{});
    ::setenv("MBOXPULL_STORE", kStore.c_str(), 1);
  }
}

TEST_F(MailClient, AttachmentsOfReadTypesBecomePartsAndNothingStays) {
  MailSource source;
  source.set_mail_client(places_, out_.path());
  ASSERT_TRUE(source.open("outlook:archive"));
  MessageRecord record, last;
  int messages = 0;
  while (source.next(record)) {
    ++messages;
    last = record;
    // While the folder is read, only the private folder of the saved files is there.
    for (const std::string& entry : tree(out_.dir())) EXPECT_EQ(entry.rfind("pbtext.", 0), 0u) << entry;
  }
  EXPECT_EQ(messages, 15);
  ASSERT_EQ(last.parts.size(), 3u);
  EXPECT_EQ(last.parts[0].name, "notes.txt");
  EXPECT_EQ(last.parts[0].data, "Notes for the quarter.\r\nnoteword appears here.\r\n");
  EXPECT_EQ(last.parts[1].name, "budget.xls");
  EXPECT_EQ(last.parts[1].data.size(), 8u + 256u + 11u);
  EXPECT_EQ(last.parts[2].name, "\xB3\xF8\xA7\x69.txt");  // the RFC 2231 name, Big5
  EXPECT_EQ(last.parts[2].data, "\xE5\xA0\xB1\xE5\x91\x8A reportword\r\n");
  EXPECT_EQ(last.subject, "figures with attachments");
  EXPECT_EQ(last.date, parse_message(test::read_file(kStore + "/archive/90-attachments.eml")).date);
  EXPECT_TRUE(tree(out_.dir()).empty());
}

TEST_F(MailClient, AttachmentSectionsWithAttachmentsOn) {
  Gateway g;
  g.set_mail_client_places(places_);
  ASSERT_EQ(g.init("outlook:archive", out_.dir()), 1);
  g.set_extra_data(QM_DIST_DIR, 1, 60, 0);
  std::string name, page, last;
  while (g.get_data(name, page)) last = page;
  EXPECT_NE(last.find("<T_ATTACH>notes.txt</T_ATTACH>\r\nNotes for the quarter."), std::string::npos);
  EXPECT_NE(last.find("<T_ATTACH>\xB3\xF8\xA7\x69.txt</T_ATTACH>\r\n"), std::string::npos);
  EXPECT_EQ(last.find("ATT00001"), std::string::npos);
  EXPECT_EQ(last.find("photo.bin"), std::string::npos);
  EXPECT_TRUE(fs::exists(out_ / "Attach/15~notes.txt"));
  EXPECT_TRUE(fs::exists(out_ / "Attach/15~budget.xls"));
  EXPECT_FALSE(fs::exists(out_ / "Attach/15~ATT00001.dat"));
  for (const std::string& entry : tree(out_.dir())) EXPECT_EQ(entry.find("~QX_"), std::string::npos) << entry;
}

// Every file under dir with its size, links as their targets' text.
std::set<std::string> snapshot(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string rel = fs::relative(e.path(), dir).string();
    if (e.is_symlink())
      out.insert(rel + " -> " + fs::read_symlink(e.path()).string());
    else if (e.is_regular_file())
      out.insert(rel + " " + std::to_string(e.file_size()));
    else
      out.insert(rel + "/");
  }
  return out;
}

TEST_F(MailClient, HostileStoreChangesNothingOutsideTheOutputFolder) {
  test::TempDir scratch;
  const std::string store = scratch.sub("store");
  const std::string outside = scratch.sub("outside");
  test::write_file(outside + "secret.eml", "Subject: secret\r\n\r\nbody\r\n");
  fs::create_directories(store + "box");
  fs::create_symlink("..", store + "box/up");
  fs::create_symlink(outside, store + "out");
  fs::create_symlink(outside + "secret.eml", store + "box/secret.eml");
  ASSERT_EQ(::mkfifo((store + "box/fifo.eml").c_str(), 0600), 0);
  // Attachment names that try to leave the attachment folder, and a name holding a link's.
  test::write_file(store + "box/a.eml",
                   "From: a@example.com\r\nSubject: names\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                   "--b\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
                   "--b\r\nContent-Disposition: attachment; filename=\"../../escape.txt\"\r\n\r\nx\r\n"
                   "--b\r\nContent-Disposition: attachment; filename=\"/tmp/abs.txt\"\r\n\r\ny\r\n"
                   "--b\r\nContent-Disposition: attachment; filename=\"=?us-ascii?Q?c=01d.txt?=\"\r\n\r\nz\r\n"
                   "--b--\r\n");
  test::write_file(store + "box/b.eml", "From: a@exam");  // truncated
  ::setenv("MBOXPULL_STORE", store.c_str(), 1);
  const std::set<std::string> before = snapshot(scratch.dir());
  Gateway g;
  g.set_mail_client_places(places_);
  ASSERT_EQ(g.init("outlook:box", out_.dir()), 1);
  g.set_extra_data(QM_DIST_DIR, 1, 60, 0);
  std::string name, page;
  int pages = 0;
  while (g.get_data(name, page)) ++pages;
  g.end_attach_info();
  EXPECT_EQ(pages, 2);
  EXPECT_EQ(snapshot(scratch.dir()), before);
  for (const std::string& entry : tree(out_.dir()))
    EXPECT_TRUE(entry == "MailProperty.db" || entry == "AttachIdx.db" || entry == "Attach" ||
                entry.rfind("Attach/1~", 0) == 0)
        << entry;
}

TEST(MailClientNames, WantedAttachments) {
  const struct {
    const char* name;
    bool wanted;
  } cases[] = {
      {"a.txt", true},      {"A.HTM", true},       {"b.html", true},     {"c.Doc", true},
      {"d.rtf", true},      {"e.XLS", true},       {"f.ppt", true},      {"g.pdf", true},
      {"ATT00001.dat", false}, {"att00002.txt", false}, {"noext", false}, {"x.bin", false},
      {"x.txt.exe", false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(mail_client_attachment_wanted(c.name), c.wanted) << c.name;
}

}  // namespace
}  // namespace qm::mail
