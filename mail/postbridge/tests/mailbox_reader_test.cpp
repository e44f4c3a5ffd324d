// Tests of the plain mailbox reader: separators with CR LF and LF line ends, the last
// message, window growth and refills at every offset (small windows), messages as views
// across windows given back after a long message, and with the real
// limits a 1 MB message read whole and a 40 MB message skipped with a window of at most
// 32 MB while the messages around it are read.
#include "mail/postbridge/mailbox_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/test_files.h"

namespace {

using qm::mail::MailboxReader;
using qm::mail::WindowLimits;

std::vector<std::string> read_all(const std::string& path, WindowLimits limits = {}, MailboxReader* out = nullptr) {
  MailboxReader local(limits);
  MailboxReader& reader = out ? *out : local;
  EXPECT_TRUE(reader.open(path));
  std::vector<std::string> messages;
  std::string m;
  while (reader.next(m)) messages.push_back(m);
  return messages;
}

std::string message(size_t body_bytes, char fill, const char* eol = "\r\n") {
  std::string eol_s = eol;
  return "From - Thu Dec 10 00:00:00 2026" + eol_s + "Subject: " + fill + eol_s + eol_s +
         std::string(body_bytes, fill) + eol_s;
}

TEST(MailboxReader, SplitsAtFromLinesWithEitherLineEnd) {
  qm::test::TempDir dir;
  for (const char* eol : {"\r\n", "\n"}) {
    const std::string a = message(5, 'a', eol), b = message(7, 'b', eol);
    qm::test::write_file(dir / "box", a + b);
    const auto got = read_all(dir / "box");
    ASSERT_EQ(got.size(), 2u);
    // A message ends before the line end that precedes the next separator.
    EXPECT_EQ(got[0], a.substr(0, a.size() - std::string(eol).size()));
    EXPECT_EQ(got[1], b);  // the last message keeps its last paragraph
  }
}

TEST(MailboxReader, LastMessageAndEmptyFiles) {
  qm::test::TempDir dir;
  struct Case {
    std::string bytes;
    size_t count;
  } cases[] = {
      {"", 0},
      {"\r\n \r\n", 0},
      {"From - x\r\nSubject: no blank line", 1},  // kept: decoding gives an empty record
      {"From - x\r\nFrom: a\r\n\r\nbody\r\nFrom -x\r\n", 2},
      {"From - x\r\n\r\nsee the From - line\r\n", 1},  // not at a line start
  };
  for (const Case& c : cases) {
    qm::test::write_file(dir / "box", c.bytes);
    EXPECT_EQ(read_all(dir / "box").size(), c.count) << c.bytes;
  }
  MailboxReader reader;
  EXPECT_FALSE(reader.open(dir / "missing"));
}

// Messages of many sizes through a 64-byte window that may grow to 256: every separator
// falls on every side of a refill. Messages longer than the limit are skipped.
TEST(MailboxReader, RefillsAtEveryOffsetAndSkipsTooLongMessages) {
  qm::test::TempDir dir;
  const WindowLimits small{64, 256};
  std::string box;
  std::vector<std::string> expected;
  size_t too_long = 0;
  for (size_t n = 0; n < 330; n += 7) {
    const std::string m = message(n, char('a' + n % 26));
    box += m;
    const std::string cut = m.substr(0, m.size() - 2);
    // A message is read when it and the separator after it fit the largest window.
    if (m.size() + 8 <= small.max) expected.push_back(cut);
    else ++too_long;
  }
  box += "From - end\r\n\r\nlast\r\n";
  expected.push_back("From - end\r\n\r\nlast\r\n");
  qm::test::write_file(dir / "box", box);
  MailboxReader reader(small);
  const auto got = read_all(dir / "box", small, &reader);
  ASSERT_GT(too_long, 0u);
  EXPECT_EQ(reader.skipped(), too_long);
  EXPECT_LE(reader.largest_window(), small.max);
  // Every read message is one of the expected ones, in order; none is cut.
  size_t j = 0;
  for (const std::string& m : got) {
    while (j < expected.size() && expected[j] != m) ++j;
    ASSERT_LT(j, expected.size()) << "unexpected message of " << m.size() << " bytes";
  }
  EXPECT_GE(got.size(), expected.size() - 2);  // those at the limit's very edge may go
  EXPECT_EQ(got.back(), expected.back());
}

// Messages handed out as views into the window: a grown window is given back right after
// its long message, and the ordinary messages around long ones still come out whole.
TEST(MailboxReader, ViewsAcrossGrownAndReleasedWindows) {
  qm::test::TempDir dir;
  const WindowLimits small{64, 1024};
  std::string box;
  std::vector<std::string> expected;
  for (size_t n = 0; n < 40; ++n) {
    const std::string m = message(n % 3 == 1 ? 300 + 17 * n : n, char('a' + n % 26), n % 2 ? "\n" : "\r\n");
    box += m;
    expected.push_back(m.substr(0, m.size() - (n % 2 ? 1 : 2)));
  }
  expected.back() = message(39, char('a' + 39 % 26), "\n");  // the last keeps its line end
  qm::test::write_file(dir / "box", box);
  MailboxReader reader(small);
  ASSERT_TRUE(reader.open(dir / "box"));
  std::vector<std::string> got;
  std::string_view view;
  while (reader.next(view)) {
    got.emplace_back(view);
    if (got.size() % 2) reader.release_window();  // also called by next() itself
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(reader.skipped(), 0u);
  EXPECT_FALSE(reader.next(view));
}

TEST(MailboxReader, LongMessagesWithTheRealWindow) {
  qm::test::TempDir dir;
  const std::string one_mb = message(size_t(1) << 20, 'm');
  const std::string huge = message(size_t(40) << 20, 'h');
  const std::string small_a = message(10, 'a'), small_b = message(10, 'b');
  qm::test::write_file(dir / "box", small_a + one_mb + huge + small_b);
  MailboxReader reader;
  const auto got = read_all(dir / "box", {}, &reader);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], small_a.substr(0, small_a.size() - 2));
  EXPECT_EQ(got[1], one_mb.substr(0, one_mb.size() - 2));
  EXPECT_EQ(got[2], small_b);
  EXPECT_EQ(reader.skipped(), 1u);
  EXPECT_LE(reader.largest_window(), size_t(32) << 20);
}

}  // namespace
