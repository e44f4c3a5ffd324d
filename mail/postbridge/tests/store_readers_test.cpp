// Tests of the mail-client store readers: the dispatcher's choice of kind by extension
// and first bytes, the JMF6 and .toc-paired mailboxes over windows of every small size
// and with a 40 MB message skipped, the tagged-body recovery, the files that
// "Attachment Converted:" lines may and may not bring in, and the .dbx block reader on
// chains that loop, run past the file or claim more than the file holds. Every store of
// mail/tests/stores is also read cut at each 512-byte step and with seeded corruption.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mail/postbridge/block_folder_format.h"
#include "mail/postbridge/block_folder_reader.h"
#include "mail/postbridge/sources.h"
#include "mail/postbridge/store_readers.h"
#include "platform/le.h"
#include "testsupport/corrupt.h"
#include "testsupport/test_files.h"

namespace {

using namespace qm::mail;
using qm::test::TempDir;
using qm::test::read_file;
using qm::test::write_file;

const std::string kStores = std::string(QM_SOURCE_DIR) + "/mail/tests/stores/";

template <typename Reader>
std::vector<std::string> read_all(const std::string& path, WindowLimits limits = {}) {
  Reader reader(limits);
  EXPECT_TRUE(reader.open(path));
  std::vector<std::string> out;
  std::string m;
  while (reader.next(m) && out.size() < 100000) out.push_back(m);
  return out;
}

std::vector<std::string> read_blocks(const std::string& path) {
  BlockFolderReader reader;
  std::vector<std::string> out;
  if (!reader.open(path)) return out;
  std::string m;
  while (reader.next(m) && out.size() < 100000) out.push_back(m);
  return out;
}

// A JMF6 record: marker, 12 header bytes, the text and its NUL, padded to 16 bytes.
std::string jmf6_record(const std::string& text) {
  std::string r(kJmf6Marker);
  qm::le::append32(r, uint32_t(text.size() + 1));
  r.append(8, '\0');
  r += text;
  r += '\0';
  r.append((16 - r.size() % 16) % 16, '\0');
  return r;
}

std::string toc_message(const std::string& subject, const std::string& body, const char* eol = "\r\n") {
  const std::string e = eol;
  return std::string(kTocSeparatorLine) + " Thu Dec 10 2026" + e + "From: a@x" + e + "Subject: " + subject + e + e +
         body + e;
}

TEST(StoreDispatcher, KindByExtensionAndFirstBytes) {
  TempDir dir;
  write_file(dir / "a.MBX", "JMF6rest");
  write_file(dir / "b.mbx", "From ???@???");
  write_file(dir / "c.mbx", "JM");
  write_file(dir / "d.Dbx", "");
  write_file(dir / "e.toc", "JMF6");
  write_file(dir / "f.snm", "x");
  write_file(dir / "g", "x");
  write_file(dir / "h.mbx.bak", "JMF6");
  ::mkdir((dir / "i.mbx").c_str(), 0700);
  write_file(dir / "i.mbx/j", "JMF6");
  ::mkdir((dir / "k.dbx").c_str(), 0700);
  struct Case {
    std::string name;
    bool ok;
    MailSourceKind kind;
  } cases[] = {
      {"a.MBX", true, MailSourceKind::Jmf6Mailbox},  {"b.mbx", true, MailSourceKind::OtherMbx},
      {"c.mbx", true, MailSourceKind::OtherMbx},     {"d.Dbx", true, MailSourceKind::BlockFolder},
      {"e.toc", true, MailSourceKind::Mailbox},      {"f.snm", true, MailSourceKind::Mailbox},
      {"g", true, MailSourceKind::Mailbox},          {"h.mbx.bak", true, MailSourceKind::Mailbox},
      {"i.mbx/j", true, MailSourceKind::Mailbox},    {"missing.mbx", false, MailSourceKind::Mailbox},
      {"missing.dbx", false, MailSourceKind::Mailbox}, {"k.dbx", false, MailSourceKind::Mailbox},
  };
  for (const Case& c : cases) {
    MailSourceKind kind = MailSourceKind::Mailbox;
    EXPECT_EQ(mail_source_kind(dir / c.name, kind), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(kind, c.kind) << c.name;
    }
    MailSource source;
    EXPECT_EQ(source.open(dir / c.name), c.ok) << c.name;
  }
}

TEST(Jmf6Reader, RecordsInOrderAndDamagedRecordsPassedOver) {
  TempDir dir;
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> want;
  } cases[] = {
      {"records", "JMF6" + std::string(12, '\0') + jmf6_record("one") + jmf6_record("two"), {"one", "two"}},
      {"junk before the first", "JMF6junk" + jmf6_record("one"), {"one"}},
      {"short record", "JMF6" + std::string(kJmf6Marker) + "abc" + jmf6_record("two"), {"two"}},
      {"last cut before its NUL", "JMF6" + jmf6_record("one") + std::string(kJmf6Marker) + std::string(12, 'h') + "cut",
       {"one"}},
      {"text runs into the next marker", "JMF6" + std::string(kJmf6Marker) + std::string(12, 'h') + "open" +
                                             jmf6_record("two"),
       {"open", "two"}},
      {"marker only", "JMF6" + std::string(kJmf6Marker), {}},
      {"no records", "JMF6", {}},
  };
  for (const Case& c : cases) {
    write_file(dir / "s.mbx", c.bytes);
    EXPECT_EQ(read_all<Jmf6Reader>(dir / "s.mbx"), c.want) << c.what;
  }
}

// Windows of every small size put each separator on every side of a refill.
TEST(StoreMailboxes, SmallWindowsGiveTheSameMessages) {
  for (const char* store : {"jmf6.mbx", "tocbox.mbx"}) {
    const bool jmf6 = std::string(store) == "jmf6.mbx";
    const auto whole = jmf6 ? read_all<Jmf6Reader>(kStores + store) : read_all<TocMailboxReader>(kStores + store);
    ASSERT_GT(whole.size(), 20u);
    for (size_t initial = 16; initial <= 80; initial += 3) {
      const WindowLimits limits{initial, size_t(1) << 20};
      const auto got = jmf6 ? read_all<Jmf6Reader>(kStores + store, limits)
                            : read_all<TocMailboxReader>(kStores + store, limits);
      EXPECT_EQ(got, whole) << store << " window " << initial;
    }
  }
}

TEST(TocMailboxReader, SeparatorLineDroppedWithEitherLineEnd) {
  TempDir dir;
  for (const char* eol : {"\r\n", "\n"}) {
    const std::string a = toc_message("a", "first", eol), b = toc_message("b", "see From ???@??? here", eol);
    write_file(dir / "t.mbx", a + b);
    const auto got = read_all<TocMailboxReader>(dir / "t.mbx");
    ASSERT_EQ(got.size(), 2u);
    const std::string e = eol;
    EXPECT_EQ(got[0], "From: a@x" + e + "Subject: a" + e + e + "first");
    EXPECT_EQ(got[1], "From: a@x" + e + "Subject: b" + e + e + "see From ???@??? here" + e);
  }
}

// A message of 40 MB is passed over with the window at most 32 MB; the next one is read.
TEST(StoreMailboxes, FortyMegabyteMessageSkipped) {
  TempDir dir;
  const std::string huge(size_t(40) << 20, 'h');
  write_file(dir / "j.mbx", "JMF6" + jmf6_record("before") + jmf6_record(huge) + jmf6_record("after"));
  Jmf6Reader jmf6;
  ASSERT_TRUE(jmf6.open(dir / "j.mbx"));
  std::vector<std::string> got;
  for (std::string m; jmf6.next(m);) got.push_back(m);
  EXPECT_EQ(got, (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(jmf6.window().skipped(), 1u);
  EXPECT_LE(jmf6.window().largest_window(), size_t(33) << 20);

  write_file(dir / "t.mbx", toc_message("a", "before") + toc_message("b", huge) + toc_message("c", "after"));
  TocMailboxReader toc;
  ASSERT_TRUE(toc.open(dir / "t.mbx"));
  got.clear();
  for (std::string m; toc.next(m);) got.push_back(m);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_NE(got[0].find("before"), std::string::npos);
  EXPECT_NE(got[1].find("after"), std::string::npos);
  EXPECT_EQ(toc.window().skipped(), 1u);
  EXPECT_LE(toc.window().largest_window(), size_t(33) << 20);
}

TEST(TaggedBody, RecoveredBetweenTags) {
  struct Case {
    std::string raw;
    bool found;
    std::string body;
  } cases[] = {
      {"A: b\r\n\r\n<x-html>\r\n\r\n\r\n<p>hi</p>\r\n</x-html>\r\ntail", true, "<p>hi</p>\r\n"},
      {"A: b\r\n\r\n<x-rich>\r\nbold\r\n</x-rich>", true, "bold\r\n"},
      {"A: b\r\n\r\n<x-flowed>\r\nno close\r\n", true, "no close\r\n"},
      {"A: b\r\n\r\n<x-flowed>", true, ""},
      {"A: b\r\n\r\nplain", false, ""},
      // The tag is cut at 80 bytes, so its closing tag is too.
      {"<x-" + std::string(100, 'l') + "\r\nbody\r\n</x-" + std::string(77, 'l') + "rest", true, "body\r\n"},
  };
  for (const Case& c : cases) {
    std::string body = "unchanged";
    EXPECT_EQ(recover_tagged_body(c.raw, body), c.found) << c.raw;
    EXPECT_EQ(body, c.found ? c.body : "unchanged") << c.raw;
  }
}

// Only regular files inside the mailbox's folder tree are taken, up to 32 MB.
TEST(ConvertedAttachments, OnlyFilesInsideTheTree) {
  TempDir dir;
  const std::string box = dir.sub("mail/box");
  write_file(dir / "x", "outside");
  write_file(dir / "mail/outside.txt", "outside");
  write_file(box + "Good.TXT", "good");
  write_file(dir.sub("mail/box/attach") + "deep.txt", "deep");
  write_file(box + "empty.txt", "");
  ASSERT_EQ(::symlink((dir / "x").c_str(), (box + "link.txt").c_str()), 0);
  ASSERT_EQ(::symlink((box + "Good.TXT").c_str(), (box + "inner-link.txt").c_str()), 0);
  ::mkdir((box + "folder.txt").c_str(), 0700);
  write_file(box + "big.txt", "");
  ASSERT_EQ(::truncate((box + "big.txt").c_str(), off_t(40) << 20), 0);
  const std::string names[] = {
      "C:\\Eudora\\good.txt",   // Windows path: found case-blind in the folder
      "D:\\x\\Attach\\DEEP.TXT",  // and in its Attach folder
      "..\\..\\x",              // by its last component, which is not in the tree
      "/etc/passwd",
      "../outside.txt",
      "link.txt",
      "inner-link.txt",
      "C:\\mail\\link.txt",
      "folder.txt",
      "big.txt",
      "empty.txt",
      "attach/deep.txt",        // a relative path inside the tree
      box + "Good.TXT",          // an absolute one inside it
      "C:\\..",
  };
  std::string raw = "From: a\r\n\r\nbody\r\n";
  for (const std::string& n : names) raw += "Attachment Converted: \"" + n + "\"\r\n";
  raw += ".\r\n\r\n";
  MessageRecord record;
  add_converted_attachments(raw, box + "box.mbx", record);
  std::vector<std::string> got;
  for (const MessagePart& p : record.parts) got.push_back(p.name + "=" + p.data);
  // Walked from the last line backwards.
  EXPECT_EQ(got, (std::vector<std::string>{"Good.TXT=good", "deep.txt=deep", "DEEP.TXT=deep", "good.txt=good"}));

  // Two files of 20 MB: the second would take the message past 32 MB.
  for (const char* n : {"a.txt", "b.txt"}) {
    write_file(box + n, "");
    ASSERT_EQ(::truncate((box + n).c_str(), off_t(20) << 20), 0);
  }
  record = MessageRecord();
  add_converted_attachments("A: b\r\n\r\nAttachment Converted: \"a.txt\"\r\nAttachment Converted: \"b.txt\"\r\n",
                            box + "box.mbx", record);
  ASSERT_EQ(record.parts.size(), 1u);
  EXPECT_EQ(record.parts[0].name, "b.txt");

  // The walk stops at the first other line from the end.
  record = MessageRecord();
  add_converted_attachments("A: b\r\n\r\nAttachment Converted: \"Good.TXT\"\r\nother\r\n", box + "box.mbx", record);
  EXPECT_TRUE(record.parts.empty());
  // A path longer than 260 bytes or without its closing quote is passed over.
  record = MessageRecord();
  add_converted_attachments("A: b\r\n\r\nAttachment Converted: \"" + std::string(300, 'a') +
                                "\"\r\nAttachment Converted: \"Good.TXT\r\n",
                            box + "box.mbx", record);
  EXPECT_TRUE(record.parts.empty());
}

// A .dbx file of our own making: the header, then blocks placed at given offsets.
class Dbx {
 public:
  Dbx() : bytes_(0x200, '\0') { qm::le::put32(reinterpret_cast<unsigned char*>(bytes_.data()), 0xFE12ADCFu); }
  // A block at offset (at or past the end so far) with its own offset word.
  void block(uint32_t at, uint32_t kind, const std::string& data, uint32_t next, int64_t length = -1) {
    if (bytes_.size() < at) bytes_.resize(at, '\0');
    std::string b;
    qm::le::append32(b, at);
    qm::le::append32(b, kind);
    qm::le::append32(b, length < 0 ? uint32_t(data.size()) : uint32_t(length));
    qm::le::append32(b, next);
    b += data;
    bytes_.replace(at, std::min(b.size(), bytes_.size() - at), b);
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

const std::string kMail = "From: a@x\r\nTo: b@x\r\nSubject: s\r\n\r\nbody\r\n";

TEST(BlockFolderReader, HostileChains) {
  TempDir dir;
  struct Case {
    const char* what;
    Dbx dbx;
    std::vector<std::string> want;
  };
  std::vector<Case> cases;
  {
    Case c{"chain that loops", {}, {}};
    c.dbx.block(0x200, 0, kMail.substr(0, 20), 0x300);
    c.dbx.block(0x300, 0, kMail.substr(20), 0x200);
    c.want = {kMail};
    cases.push_back(c);
  }
  {
    Case c{"next past the end", {}, {}};
    c.dbx.block(0x200, 0, kMail, 0xFFFFFFF0u);
    c.want = {kMail};
    cases.push_back(c);
  }
  {
    Case c{"next just short of the end", {}, {}};
    c.dbx.block(0x200, 0, kMail, 0x200 + 16 + uint32_t(kMail.size()) - 8);
    c.want = {kMail};
    cases.push_back(c);
  }
  {
    Case c{"second block claims more than the file", {}, {}};
    c.dbx.block(0x200, 0, kMail, 0x300);
    c.dbx.block(0x300, 0, "tail", 0, 400);
    c.want = {kMail + "tail"};
    cases.push_back(c);
  }
  {
    Case c{"first block over 512 bytes and nothing ahead", {}, {}};
    c.dbx.block(0x200, 0, kMail, 0, 0xFFFFFFFFu);
    cases.push_back(c);
  }
  {
    Case c{"look-ahead past a step to a message block", {}, {}};
    c.dbx.block(0x200, 0, "Note: large\r\n", 0, 600);
    c.dbx.block(0x200 + 70000, 0, kMail, 0);
    c.want = {kMail};
    cases.push_back(c);
  }
  {
    Case c{"freed chain and a chain without recipient", {}, {}};
    c.dbx.block(0x200, dbx::kFreedChain, kMail, 0);
    c.dbx.block(0x400, 0, "From: a@x\r\nSubject: no recipient\r\n\r\nx", 0);
    c.dbx.block(0x600, 0, "Sender: a@x\r\ncc: b@x\r\n\r\nkept", 0);
    c.want = {"Sender: a@x\r\ncc: b@x\r\n\r\nkept"};
    cases.push_back(c);
  }
  {
    Case c{"header line cut by the file's end", {}, {}};
    c.dbx.block(0x200, 0, "From: a@x\r\nTo: b", 0);
    c.want = {"From: a@x\r\nTo: b"};
    cases.push_back(c);
  }
  {
    Case c{"no block at all", {}, {}};
    cases.push_back(c);
  }
  for (const Case& c : cases) {
    write_file(dir / "f.dbx", c.dbx.bytes());
    EXPECT_EQ(read_blocks(dir / "f.dbx"), c.want) << c.what;
  }
}

// A long chain of header-line blocks without a recipient: every block is a candidate,
// and each is walked once, not once per candidate before it.
TEST(BlockFolderReader, LongRejectedChainWalkedOnce) {
  TempDir dir;
  Dbx dbx;
  const std::string data = "X-Note: no mail\r\n";  // 17 bytes, blocks of 36 bytes
  const uint32_t first = 0x200, stride = 36, count = 60000;
  for (uint32_t i = 0; i < count; ++i)
    dbx.block(first + i * stride, 0, data + std::string(stride - 16 - data.size(), ' '),
              i + 1 < count ? first + (i + 1) * stride : 0);
  write_file(dir / "long.dbx", dbx.bytes() + kMail);
  EXPECT_TRUE(read_blocks(dir / "long.dbx").empty());
}

TEST(BlockFolderReader, HeaderLineAndAcceptance) {
  EXPECT_TRUE(is_header_line("From: x"));
  EXPECT_TRUE(is_header_line("X-Mailer-2: y"));
  EXPECT_FALSE(is_header_line("from: x"));
  EXPECT_FALSE(is_header_line("From:x"));
  EXPECT_FALSE(is_header_line("From x: y"));
  EXPECT_FALSE(is_header_line("From:"));
  EXPECT_TRUE(is_acceptable_message("FROM: a\r\nCC: b\r\n\r\n"));
  EXPECT_FALSE(is_acceptable_message("From: a\r\n\r\nTo: b\r\n"));  // the recipient is in the body
  EXPECT_FALSE(is_acceptable_message(":From: a\r\nTo: b\r\n"));
  EXPECT_FALSE(is_acceptable_message(""));
}

// The messages of each store whose bytes lie wholly before a cut are still read, in order.
bool is_subsequence(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  size_t i = 0;
  for (const std::string& w : whole)
    if (i < part.size() && part[i] == w) ++i;
  return i == part.size();
}

std::vector<std::string> read_store(const std::string& path) {
  const std::string ext = path.substr(path.rfind('.') + 1);
  if (ext == "dbx") return read_blocks(path);
  if (read_file(path).rfind("JMF6", 0) == 0) return read_all<Jmf6Reader>(path);
  return read_all<TocMailboxReader>(path);
}

TEST(StoreDamage, EveryStoreCutAt512ByteSteps) {
  TempDir dir;
  for (const char* store : {"jmf6.mbx", "tocbox.mbx", "folder.dbx"}) {
    const std::string bytes = read_file(kStores + store);
    const auto whole = read_store(kStores + store);
    for (size_t cut = 0; cut < bytes.size(); cut += 512) {
      const std::string kept = bytes.substr(0, cut);
      const std::string path = dir / (std::string("cut.") + (std::string(store).find("dbx") != std::string::npos ? "dbx" : "mbx"));
      write_file(path, kept);
      // Wholly kept: a record with its NUL, a mailbox message, or each block's data
      // (the last with the padding behind it).
      std::vector<std::string> complete;
      for (const std::string& m : whole) {
        bool kept_whole = true;
        if (std::string(store) == "jmf6.mbx") {
          kept_whole = kept.find(m + '\0') != std::string::npos;
        } else if (std::string(store) == "tocbox.mbx") {
          kept_whole = kept.find(m) != std::string::npos;
        } else {
          for (size_t at = 0; at < m.size(); at += 512) {
            const std::string chunk = m.substr(at, 512);
            kept_whole = kept_whole && kept.find(chunk.size() < 512 ? chunk + '\0' : chunk) != std::string::npos;
          }
        }
        if (kept_whole) complete.push_back(m);
      }
      const auto got = read_store(path);
      EXPECT_TRUE(is_subsequence(complete, got)) << store << " cut at " << cut << " complete " << complete.size() << " got " << got.size();
    }
  }
}

TEST(StoreDamage, SeededCorruptionThroughTheDispatcher) {
  TempDir dir;
  qm::test::VariantTrace trace;
  for (const char* store : {"jmf6.mbx", "tocbox.mbx", "folder.dbx"}) {
    const std::string bytes = read_file(kStores + store);
    qm::test::Corruptor corruptor(0x5EED + uint32_t(bytes.size()));
    for (int variant = 0; variant < 150; ++variant) {
      std::string damaged = bytes;
      const qm::test::Edits edits = corruptor.any(bytes.size());
      qm::test::apply_edits(damaged, edits);
      const std::string path = dir / store;
      write_file(path, damaged);
      trace.set(store, edits);
      MailSource source;
      ASSERT_TRUE(source.open(path));
      MessageRecord record;
      size_t count = 0;
      while (source.next(record)) ASSERT_LE(++count, damaged.size()) << qm::test::describe(edits);
    }
  }
}

}  // namespace
