// The builder's progress lines cut from output that comes in pieces of any size, and the
// status panels they make.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "desktop/indexing/progress_parser.h"
#include "desktop/indexing/schedule.h"

namespace qm {
namespace {

struct Parsed {
  std::vector<ProgressLine> lines;
  std::vector<long> helpers;
  bool end_mark = false;
  bool failed = false;
  size_t cut = 0;
};

// The stream fed whole, and again in random pieces (seeded), must read the same.
Parsed parse(const std::string& stream, unsigned seed) {
  Parsed out;
  IndexerProgressParser parser([&](const ProgressLine& l) { out.lines.push_back(l); },
                               [&](long pid) { out.helpers.push_back(pid); });
  std::mt19937 random(seed);
  size_t at = 0;
  while (at < stream.size()) {
    const size_t n = seed == 0 ? stream.size() : 1 + random() % 7;
    parser.feed(std::string_view(stream).substr(at, n));
    at += n;
  }
  out.end_mark = parser.end_mark();
  out.failed = parser.failed();
  out.cut = parser.cut_lines();
  return out;
}

std::string joined(const Parsed& p) {
  std::string s;
  for (const ProgressLine& l : p.lines) s += std::string(1, l.code) + "[" + l.text + "]";
  return s;
}

// The builder's own words on how a job ended: the '3' line's text, and the last status
// line (after a completed build, its closing count).
TEST(ProgressParser, FailureAndClosingStatusTexts) {
  const struct {
    const char* stream;
    const char* failure;
    const char* last_status;
  } cases[] = {
      {"1 Reading\r\n0 a\r\n1 2 documents indexed, 1 skipped\r\n\x1A\x1A", "", "2 documents indexed, 1 skipped"},
      {"1 Reading\r\n3 The document folder does not exist: /gone\r\n1 later\r\n",
       "The document folder does not exist: /gone", "Reading"},
      {"3\r\n", "", ""},
      {"0 a\r\n", "", ""},
  };
  for (const auto& c : cases) {
    IndexerProgressParser parser({}, {});
    parser.feed(c.stream);
    EXPECT_EQ(parser.failure_text(), c.failure) << c.stream;
    EXPECT_EQ(parser.last_status(), c.last_status) << c.stream;
  }
}

TEST(ProgressParser, StreamsReadTheSameInAnyPieces) {
  const std::string long_text(300, 'x');
  struct Case {
    const char* name;
    std::string stream;
    std::string lines;
    std::vector<long> helpers;
    bool end_mark, failed;
    size_t cut;
  } cases[] = {
      {"cr lf", "0 report.doc\r\n", "0[report.doc]", {}, false, false, 0},
      {"bare cr and lf", "1 a\r1 b\n1 c\r\r\n", "1[a]1[b]1[c]", {}, false, false, 0},
      {"end mark", "0 a\r\n\x1A\x1A" "0 after\r", "0[a]", {}, true, false, 0},
      {"end mark at once", "\x1A\x1A", "", {}, true, false, 0},
      {"0x1A inside a line", "1 \x1A\x1A\r\n", "1[\x1A\x1A]", {}, false, false, 0},
      {"fail ends the reading", "0 a\r\n3 broken\r\n0 b\r\n", "0[a]", {}, false, true, 0},
      {"helpers", "4 3120\r\n4 0\r\n4 x\r\n", "", {3120, 0, 0}, false, false, 0},
      {"short lines", "0\r\n2 \r\n", "0[]2[]", {}, false, false, 0},
      {"unknown code shown", "9 what\r\n", "9[what]", {}, false, false, 0},
      {"long line cut, reading goes on", "1 " + long_text + "\r\n0 next\r\n",
       "1[" + long_text.substr(0, 252) + "]0[next]", {}, false, false, 1},
  };
  for (const Case& c : cases) {
    for (unsigned seed : {0u, 1u, 2u, 3u, 4u}) {
      SCOPED_TRACE(std::string(c.name) + " seed " + std::to_string(seed));
      const Parsed p = parse(c.stream, seed);
      EXPECT_EQ(joined(p), c.lines);
      EXPECT_EQ(p.helpers, c.helpers);
      EXPECT_EQ(p.end_mark, c.end_mark);
      EXPECT_EQ(p.failed, c.failed);
      EXPECT_EQ(p.cut, c.cut);
    }
  }
}

TEST(ProgressParser, LongLineIsNotCutInsideABig5Pair) {
  // Code, blank, then Big5 pairs: the 254-byte cut would split the 127th pair.
  std::string text;
  for (int i = 0; i < 150; ++i) text += "\xA4\x40";
  const Parsed p = parse("1 x" + text + "\r\n", 0);
  ASSERT_EQ(p.lines.size(), 1u);
  EXPECT_EQ(p.lines[0].text, "x" + text.substr(0, 250));
}

TEST(ProgressParser, HelperPidNumbers) {
  EXPECT_EQ(progress_helper_pid("3120"), 3120);
  EXPECT_EQ(progress_helper_pid(" 42 rest"), 42);
  EXPECT_EQ(progress_helper_pid(""), 0);
  EXPECT_EQ(progress_helper_pid("99999999999"), 0);
}

TEST(ProgressView, PanelsAndCounters) {
  struct Case {
    bool labels;
    std::vector<ProgressLine> lines;
    std::string panel1, panel2, documents;
  } cases[] = {
      {false, {{'0', "report.doc"}}, "1", "report.doc", ""},
      {true, {{'0', "a"}, {'0', "b"}}, "2", "b", "2"},
      {true, {{'1', "Sorting"}, {'2', "45"}}, "", "Sorting  45%", ""},
      {false, {{'1', "Sorting"}, {'2', "45"}}, "  45%", "Sorting", ""},
      {true, {{'7', "ignored"}}, "", "", ""},
  };
  for (const Case& c : cases) {
    ProgressView view;
    view.counters_shown = c.labels;
    for (const ProgressLine& l : c.lines) view.apply(l);
    EXPECT_EQ(view.panels[1], c.panel1);
    EXPECT_EQ(view.panels[2], c.panel2);
    EXPECT_EQ(view.documents_label, c.documents);
  }
}

}  // namespace
}  // namespace qm
