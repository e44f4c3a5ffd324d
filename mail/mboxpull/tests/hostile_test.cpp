// The mboxpull stand-in over hostile stores made in a scratch folder: link loops, links
// out of the store, FIFOs, 40 MB messages, truncated messages, names with "/" and control
// bytes, long subjects, a megabyte of unclosed encoded words. Nothing may crash, hang,
// leave the store or write elsewhere.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mail/mboxpull/session.h"
#include "mail/mboxpull/store.h"
#include "testsupport/test_files.h"

namespace qm::mboxpull {
namespace {

std::string eml(const std::string& subject, const std::string& body) {
  return "From: a@example.com\r\nSubject: " + subject + "\r\nDate: Sun, 12 Mar 2000 23:30:00 -0500\r\n\r\n" + body;
}

class HostileStore : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.sub("st");
    root_.pop_back();
    outside_ = dir_.sub("outside");
    test::write_file(outside_ + "secret.eml", eml("secret", "outside words\r\n"));
    std::filesystem::create_directories(outside_ + "cur");
    test::write_file(outside_ + "cur/1", eml("outside maildir", "x\r\n"));
  }
  std::string at(const std::string& rel) const { return root_ + "/" + rel; }
  void mkdirs(const std::string& rel) const { std::filesystem::create_directories(at(rel)); }
  void link(const std::string& target, const std::string& rel) const {
    ASSERT_EQ(::symlink(target.c_str(), at(rel).c_str()), 0) << rel;
  }
  std::vector<std::string> keys() const {
    std::vector<std::string> out;
    for (const StoreFolder& f : list_store(root_)) out.push_back(f.key);
    return out;
  }
  std::vector<PulledMessage> read(const std::string& key) {
    Session s;
    EXPECT_TRUE(s.login(root_));
    std::vector<PulledMessage> out;
    if (!s.prepare(key)) return out;
    PulledMessage m;
    while (s.deliver(m)) {
      // The attachments stay with the session, as EnumAttach hands them out.
      for (int32_t h = s.next_attachment(); h >= 0; h = s.next_attachment()) m.attachments.push_back(*s.attachment(h));
      out.push_back(m);
    }
    return out;
  }

  test::TempDir dir_;
  std::string root_;
  std::string outside_;
};

TEST_F(HostileStore, LinkLoopsEndAndLinksOutOfTheStoreAreNotFollowed) {
  mkdirs("loop");
  test::write_file(at("loop/a.eml"), eml("in loop", "x\r\n"));
  link("..", "loop/up");
  link(".", "loop/self");
  link(root_ + "/loop", "loop/again");
  link(outside_, "out");                         // a folder outside
  link(outside_ + "secret.eml", "loop/s.eml");   // a message outside
  mkdirs(".evil");
  link(outside_ + "cur", ".evil/cur");           // a Maildir whose cur/ lies outside
  mkdirs("cur");                                  // the store is a Maildir
  EXPECT_EQ(keys(), (std::vector<std::string>{".", ".evil", "loop"}));
  const std::vector<PulledMessage> loop = read("loop");
  ASSERT_EQ(loop.size(), 1u);
  EXPECT_EQ(loop[0].subject, "in loop");
  EXPECT_TRUE(read(".evil").empty());
  Session s;
  ASSERT_TRUE(s.login(root_));
  EXPECT_FALSE(s.prepare(".evil"));
  EXPECT_FALSE(s.prepare("out"));
}

TEST_F(HostileStore, FifosAndHugeFilesArePassedOver) {
  mkdirs("box");
  ASSERT_EQ(::mkfifo(at("box/fifo.eml").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  test::write_file(at("box/b.eml"), eml("after the fifo", "x\r\n"));
  // A 40 MB message file, sparse so it costs no disk.
  const int fd = ::open(at("box/a-huge.eml").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, off_t(40) << 20), 0);
  ::close(fd);
  EXPECT_EQ(keys(), (std::vector<std::string>{"box"}));
  const std::vector<PulledMessage> box = read("box");
  ASSERT_EQ(box.size(), 1u);
  EXPECT_EQ(box[0].subject, "after the fifo");
}

TEST_F(HostileStore, FortyMegabyteMessageInAnMboxIsSkipped) {
  std::string mbox = "From a@example.com Sun Mar 12 23:30:00 2000\n" + eml("first", "one\n") + "\n";
  mbox += "From a@example.com Sun Mar 12 23:30:00 2000\n" + eml("huge", std::string(size_t(40) << 20, 'x') + "\n") + "\n";
  mbox += "From a@example.com Sun Mar 12 23:30:00 2000\n" + eml("last", "three\n") + "\n";
  test::write_file(at("big.mbox"), mbox);
  const std::vector<PulledMessage> box = read("big.mbox");
  ASSERT_EQ(box.size(), 2u);
  EXPECT_EQ(box[0].subject, "first");
  EXPECT_EQ(box[1].subject, "last");
}

// An mbox folder is split as the gateway splits a plain mailbox: From_ lines after a
// blank line and "From -" lines separate, a "From " line inside a body does not, and
// ">From " lines are unquoted once.
TEST_F(HostileStore, MboxSeparatorsAndQuotedLines) {
  const std::string from = "From MAILER-DAEMON Fri Dec 11 11:52:53 2026\n";
  std::string mbox = from + eml("one", "a\nFrom here on, one message\n\nFrom the desk of Ann\n>From quoted\n>>From twice\n") + "\n";
  mbox += from + eml("two", "b\n") + "\n";
  mbox += "From - Thu Dec 10 00:00:00 2026\n" + eml("three", "c\n");
  test::write_file(at("shapes.mbox"), mbox);
  const std::vector<PulledMessage> box = read("shapes.mbox");
  ASSERT_EQ(box.size(), 3u);
  EXPECT_EQ(box[0].subject, "one");
  EXPECT_EQ(box[0].body, "a\nFrom here on, one message\n\nFrom the desk of Ann\nFrom quoted\n>From twice\n");
  EXPECT_EQ(box[1].subject, "two");
  EXPECT_EQ(box[2].subject, "three");
  EXPECT_EQ(box[2].body, "c\n");
}

TEST_F(HostileStore, TruncatedAndMalformedMessagesGiveWhatCanBeRead) {
  mkdirs("t");
  const std::string multipart =
      "From: a@example.com\r\nSubject: cut\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
      "Content-Type: text/plain\r\n\r\nvisible words\r\n--b\r\nContent-Type: application/pdf\r\n"
      "Content-Disposition: attachment; filename=\"r.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBER";
  const std::string cases[] = {
      multipart,
      "From: a@exam",
      "Subject: =?utf-8?B?5Lit?=\r\nContent-Type: multipart/alternative; boundary=",
      "Content-Type: text/plain; charset=no-such-charset\r\nContent-Transfer-Encoding: base64\r\n\r\n!!!!",
      std::string("\0\0\0\xff\xfe", 5),
      "",
  };
  for (size_t i = 0; i < std::size(cases); ++i) test::write_file(at("t/" + std::to_string(i) + ".eml"), cases[i]);
  const std::vector<PulledMessage> got = read("t");
  ASSERT_EQ(got.size(), std::size(cases));
  EXPECT_EQ(got[0].subject, "cut");
  EXPECT_NE(got[0].body.find("visible words"), std::string::npos);
}

TEST_F(HostileStore, NamesWithSlashesAndControlBytes) {
  mkdirs("ctl\x01name");
  test::write_file(at("ctl\x01name/a.eml"),
                   "From: a@example.com\r\nSubject: =?us-ascii?Q?s=01t?=\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                   "Content-Type: text/plain\r\n\r\nbody\r\n--b\r\nContent-Type: text/plain\r\n"
                   "Content-Disposition: attachment; filename=\"=?us-ascii?Q?=2E=2E/a/b=02c.txt?=\"\r\n\r\n"
                   "data\r\n--b--\r\n");
  const std::vector<StoreFolder> folders = list_store(root_);
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0].key, "ctl%01name");
  EXPECT_EQ(folders[0].display, "st\\ctl_name");
  const std::vector<PulledMessage> got = read("ctl%01name");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].subject.find('\x01'), std::string::npos);
  ASSERT_EQ(got[0].attachments.size(), 1u);
  EXPECT_EQ(got[0].attachments[0].name.find('/'), std::string::npos);
  EXPECT_EQ(got[0].attachments[0].name.find('\x02'), std::string::npos);
}

TEST_F(HostileStore, LongTextsAreCutOnCharacterBoundaries) {
  mkdirs("long");
  // 100 Big5 characters of "中" in encoded words (UTF-8), a 300-byte sender name.
  std::string utf8;
  for (int i = 0; i < 100; ++i) utf8 += "\xE4\xB8\xAD";
  std::string subject;
  for (size_t at = 0; at < utf8.size(); at += 30) {
    static const char* b64 = "5Lit5Lit5Lit5Lit5Lit5Lit5Lit5Lit5Lit5Lit";  // ten of them
    subject += std::string(at ? " " : "") + "=?utf-8?B?" + b64 + "?=";
  }
  test::write_file(at("long/a.eml"), "From: " + std::string(300, 'n') + " <n@example.com>\r\nSubject: " + subject +
                                          "\r\nDate: " + std::string(200, 'd') + "\r\n\r\nbody\r\n");
  const std::vector<PulledMessage> got = read("long");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].subject.size(), 80u);  // forty whole characters
  for (size_t i = 0; i < got[0].subject.size(); i += 2) EXPECT_EQ(got[0].subject.substr(i, 2), "\xA4\xA4");
  EXPECT_LE(got[0].sender.size(), 256u);
  EXPECT_LE(got[0].date.size(), 80u);
}

// A subject of a megabyte whose every "=?" opens a word that never closes: each word is
// left as it stands and the good word before them decoded. The decoder's time is linear
// in the value; one that looked to the value's end for every "=?" would not finish here.
TEST_F(HostileStore, MegabyteSubjectOfUnclosedWords) {
  mkdirs("unclosed");
  std::string broken;
  while (broken.size() < (size_t(1) << 20)) broken += "=?utf-8?q?abc ";
  test::write_file(at("unclosed/a.eml"), eml("=?us-ascii?Q?Big_box?= " + broken, "body\r\n"));
  const std::vector<PulledMessage> got = read("unclosed");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].subject, ("Big box " + broken).substr(0, 80));
  EXPECT_EQ(got[0].body, "body\r\n");
}

TEST_F(HostileStore, MissingOrFileStoreCannotLogIn) {
  Session s;
  EXPECT_FALSE(s.login(root_ + "/nothing"));
  test::write_file(at("file"), "x");
  EXPECT_FALSE(s.login(at("file")));
  EXPECT_FALSE(s.login(""));
}

}  // namespace
}  // namespace qm::mboxpull
