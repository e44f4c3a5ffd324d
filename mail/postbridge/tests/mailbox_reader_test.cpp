// Tests of the plain mailbox reader: "From -" and RFC 4155 From_ separators with CR LF
// and LF line ends (a table of mailbox shapes and one of From_ lines), the ">From "
// unquoting, the last message, window growth and refills at every offset (small
// windows), messages as views across windows given back after a long message, and with
// the real limits a 1 MB message read whole and a 40 MB message skipped with a window of
// at most 32 MB while the messages around it are read.
#include "mail/postbridge/mailbox_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/test_files.h"

namespace {

using qm::mail::is_from_line;
using qm::mail::MailboxReader;
using qm::mail::mailbox_unquote_from_lines;
using qm::mail::WindowLimits;

// The From_ line Python's mailbox module writes, and the Netscape one.
const std::string kUnixFrom = "From MAILER-DAEMON Fri Dec 11 11:52:53 2026";
const std::string kNetscapeFrom = "From - Thu Dec 10 00:00:00 2026";

std::vector<std::string> read_all(const std::string& path, WindowLimits limits = {}, MailboxReader* out = nullptr) {
  MailboxReader local(limits);
  MailboxReader& reader = out ? *out : local;
  EXPECT_TRUE(reader.open(path));
  std::vector<std::string> messages;
  std::string m;
  while (reader.next(m)) messages.push_back(m);
  return messages;
}

// A message of the Netscape kind, or with unix set one of the RFC 4155 kind, closed by
// the blank line that kind puts before the next From_ line.
std::string message(size_t body_bytes, char fill, const char* eol = "\r\n", bool unix = false) {
  std::string eol_s = eol;
  return (unix ? kUnixFrom : kNetscapeFrom) + eol_s + "Subject: " + fill + eol_s + eol_s +
         std::string(body_bytes, fill) + eol_s + (unix ? eol_s : "");
}

TEST(MailboxReader, SplitsAtFromLinesWithEitherLineEnd) {
  qm::test::TempDir dir;
  for (bool unix : {false, true}) {
    for (const char* eol : {"\r\n", "\n"}) {
      const std::string a = message(5, 'a', eol, unix), b = message(7, 'b', eol, unix);
      qm::test::write_file(dir / "box", a + b);
      const auto got = read_all(dir / "box");
      ASSERT_EQ(got.size(), 2u);
      // A message ends before the line end that precedes the next separator.
      const size_t eol_size = std::string(eol).size();
      EXPECT_EQ(got[0], a.substr(0, a.size() - eol_size));
      // The last message keeps its last paragraph; a closing blank line is the box's.
      EXPECT_EQ(got[1], b.substr(0, b.size() - (unix ? eol_size : 0)));
    }
  }
}

TEST(MailboxReader, FromLineShapes) {
  const struct {
    const char* line;
    bool from_line;
  } cases[] = {
      {"From MAILER-DAEMON Fri Dec 11 11:52:53 2026", true},
      {"From MAILER-DAEMON Fri Dec 11 11:52:53 2026\r", true},
      {"From - Thu Dec 10 00:00:00 2026", true},
      {"From ann@example.com  Sat Jan  3 01:05:34 1996", true},  // asctime's padded day
      {"From ann@example.com Sat Jan 3 01:05 1996", true},       // no seconds
      {"From ann@example.com Sat Jan 3 01:05:34 +0000 2026", true},  // a zone before the year
      {"From ann@example.com Sat Jan 3 01:05:34 2026 +0000", true},  // or after it
      {"From ann@example.com sat JAN 3 01:05:34 2026 remote from x", true},
      {"From ann@example.com\tSat Jan 3 01:05:34 2026", true},
      {"From the desk of Ann: Sat Jan 3 01:05:34 2026", false},
      {"From here on, we meet on Mondays", false},
      {"From ann@example.com Sat Jan 3 2026", false},            // no time
      {"From ann@example.com Sat Jan 3 1:5:34 2026", false},     // minutes of one digit
      {"From ann@example.com Sat Jan 3 01:05:34 26", false},     // two-digit year
      {"From ann@example.com Sat Jan 123 01:05:34 2026", false},
      {"From ann@example.com Day Jan 3 01:05:34 2026", false},
      {"From ann@example.com Sat Jam 3 01:05:34 2026", false},
      {"From Sat Jan 3 01:05:34 2026", false},                   // no sender
      {"From: ann@example.com Sat Jan 3 01:05:34 2026", false},
      {">From ann@example.com Sat Jan 3 01:05:34 2026", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_from_line(c.line), c.from_line) << c.line;
  EXPECT_FALSE(is_from_line("From " + std::string(1000, 'a') + " Sat Jan 3 01:05:34 2026"));
}

// Mailboxes of both separator kinds: a From_ line separates at the file's start or after
// a blank line; a "From " line inside a body without the blank line before it, or
// without the From_ shape, stays in its message. "From -" lines separate anywhere.
TEST(MailboxReader, MailboxShapes) {
  qm::test::TempDir dir;
  const std::string u = kUnixFrom;
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> messages;
  } cases[] = {
      {"unix, LF", u + "\nS: 1\n\nb1\n\n" + u + "\nS: 2\n\nb2\n\n", {u + "\nS: 1\n\nb1\n", u + "\nS: 2\n\nb2\n"}},
      {"unix, CR LF", u + "\r\nS: 1\r\n\r\nb1\r\n\r\n" + u + "\r\nS: 2\r\n\r\nb2\r\n",
       {u + "\r\nS: 1\r\n\r\nb1\r\n", u + "\r\nS: 2\r\n\r\nb2\r\n"}},
      {"no blank line before", u + "\nS: 1\n\nb1\n" + u + "\nmore\n", {u + "\nS: 1\n\nb1\n" + u + "\nmore\n"}},
      {"no From_ shape", u + "\nS: 1\n\nb1\n\nFrom here on, no separator\n",
       {u + "\nS: 1\n\nb1\n\nFrom here on, no separator\n"}},
      {"quoted in the body", u + "\nS: 1\n\nb1\n\n>" + u + "\n", {u + "\nS: 1\n\nb1\n\n>" + u + "\n"}},
      {"a blank line of blanks is no blank line", u + "\nS: 1\n\nb1\n \n" + u + "\n",
       {u + "\nS: 1\n\nb1\n \n" + u + "\n"}},
      {"Netscape then unix", kNetscapeFrom + "\nS: 1\n\nb1\n\n" + u + "\nS: 2\n\nb2\n",
       {kNetscapeFrom + "\nS: 1\n\nb1\n", u + "\nS: 2\n\nb2\n"}},
      {"Netscape without blank line", kNetscapeFrom + "\nS: 1\n\nb1\n" + kNetscapeFrom + "\nS: 2\n\nb2\n",
       {kNetscapeFrom + "\nS: 1\n\nb1", kNetscapeFrom + "\nS: 2\n\nb2\n"}},
      {"From_ line at the file's end", u + "\nS: 1\n\nb1\n\n" + u, {u + "\nS: 1\n\nb1\n", u}},
  };
  for (const auto& c : cases) {
    qm::test::write_file(dir / "box", c.bytes);
    EXPECT_EQ(read_all(dir / "box"), c.messages) << c.name;
    // The same through a window of 64 bytes that grows to 256.
    EXPECT_EQ(read_all(dir / "box", {64, 256}), c.messages) << c.name << " (small window)";
  }
}

TEST(MailboxReader, UnquotesFromLines) {
  const struct {
    std::string text;
    std::string unquoted;  // empty: nothing to unquote
  } cases[] = {
      {">From a\n", "From a\n"},
      {"x\n>From a\n>>From b\r\n>>>From c\rend", "x\nFrom a\n>From b\r\n>>From c\rend"},
      {"x >From a\n", ""},           // not at a line start
      {"x\n>from a\n", ""},          // "From " only as written
      {"x\n>From\n", ""},            // no blank after it
      {"x\n> From a\n", ""},
      {"plain\n", ""},
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(mailbox_unquote_from_lines(c.text, out), !c.unquoted.empty()) << c.text;
    EXPECT_EQ(out, c.unquoted.empty() ? "untouched" : c.unquoted) << c.text;
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
      {"From - x\r\nSubject: no blank line", 1},  // kept: decoded as all header
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
  for (bool unix : {false, true}) {
    std::string box;
    std::vector<std::string> expected;
    size_t too_long = 0;
    // What must be in the window behind a message for its end to be found.
    const size_t separator = unix ? kUnixFrom.size() + 2 : 8;
    for (size_t n = 0; n < 330; n += 7) {
      const std::string m = message(n, char('a' + n % 26), "\r\n", unix);
      box += m;
      const std::string cut = m.substr(0, m.size() - 2);
      // A message is read when it and the separator after it fit the largest window.
      if (m.size() + separator <= small.max) expected.push_back(cut);
      else ++too_long;
    }
    const std::string last = (unix ? kUnixFrom : std::string("From - end")) + "\r\n\r\nlast\r\n";
    box += last;
    expected.push_back(last);
    qm::test::write_file(dir / "box", box);
    MailboxReader reader(small);
    const auto got = read_all(dir / "box", small, &reader);
    ASSERT_GT(too_long, 0u);
    EXPECT_EQ(reader.skipped(), too_long) << unix;
    EXPECT_LE(reader.largest_window(), small.max);
    // Every read message is one of the expected ones, in order; none is cut.
    size_t j = 0;
    for (const std::string& m : got) {
      while (j < expected.size() && expected[j] != m) ++j;
      ASSERT_LT(j, expected.size()) << "unexpected message of " << m.size() << " bytes";
    }
    EXPECT_GE(got.size(), expected.size() - 2) << unix;  // those at the limit's very edge may go
    EXPECT_EQ(got.back(), expected.back());
  }
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
