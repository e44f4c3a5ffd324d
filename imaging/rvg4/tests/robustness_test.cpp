// Damaged and hostile input through the G4 filter, in the sanitizer build: truncated
// streams give back exactly the rows wholly inside the data, bit flips and random
// bytes decode at several widths without crashing, without writing past the caller's
// rows and never more rows than asked; hosts that answer Transfer with nonsense; and
// libtiff's messages stay inside the library (no global handler, nothing on stderr).
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>

#include "imaging/rvg4/tests/fixtures.h"
#include "imaging/rvg4/tests/host.h"
#include "testsupport/test_files.h"

namespace qm::rvg4::test {
namespace {

// Rows read into an exact heap buffer with guard bytes after it; the guard must stay.
struct GuardedRead {
  int32_t rows = 0;
  std::vector<unsigned char> bits;
  bool guard_intact = true;
};

GuardedRead read_guarded(const std::string& coded, int32_t width, int32_t stride, int32_t rows_per_call,
                         int32_t max_rows) {
  GuardedRead r;
  const FilterOpeners* openers = g4_openers();
  if (!openers) return r;
  Source source(coded);
  FilterParams params{width, stride, &source.base};
  FilterPipe* pipe = openers->OpenDecoder(&params);
  if (!pipe) {
    ADD_FAILURE() << "decoder refused width " << width;
    return r;
  }
  const size_t want = size_t(rows_per_call) * size_t(stride);
  while (r.rows < max_rows) {
    std::vector<unsigned char> buf(want + 16, 0xA5);
    int32_t got = pipe->ReadRows(pipe, buf.data(), int32_t(want));
    EXPECT_GE(got, 0);
    EXPECT_LE(got, int32_t(want));
    EXPECT_EQ(got % stride, 0);
    for (size_t i = want; i < buf.size(); ++i) r.guard_intact = r.guard_intact && buf[i] == 0xA5;
    if (got <= 0) break;
    r.bits.insert(r.bits.end(), buf.begin(), buf.begin() + got);
    r.rows += got / stride;
    if (got < int32_t(want)) break;
  }
  EXPECT_EQ(pipe->Close(pipe), 0);
  for (int32_t a : source.asks) EXPECT_EQ(a, 4096);
  return r;
}

// Every libtiff message that reaches the process's global handlers.
int g_global_messages = 0;
void count_global(const char*, const char*, va_list) { ++g_global_messages; }

// Standard error sent to a file for the life of the object.
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()) {
    std::fflush(stderr);
    saved_ = ::dup(2);
    ::dup2(::fileno(file_), 2);
  }
  ~StderrCapture() {
    restore();
    std::fclose(file_);
  }
  std::string text() {
    restore();
    return qm::test::file_contents(file_);
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  std::FILE* file_;
  int saved_ = -1;
};

class G4Robustness : public ::testing::Test {
 protected:
  void SetUp() override {
    g_global_messages = 0;
    old_error_ = TIFFSetErrorHandler(count_global);
    old_warning_ = TIFFSetWarningHandler(count_global);
  }
  void TearDown() override {
    TIFFSetErrorHandler(old_error_);
    TIFFSetWarningHandler(old_warning_);
    EXPECT_EQ(g_global_messages, 0) << "libtiff messages reached the global handlers";
  }
  TIFFErrorHandler old_error_ = nullptr, old_warning_ = nullptr;
};

TEST_F(G4Robustness, TruncatedStreamsGiveExactlyTheRowsBeforeTheCut) {
  struct Case {
    Pattern pattern;
    int32_t width, height, step;
    uint32_t seed;
  } cases[] = {
      {Pattern::kChecker, 9, 60, 1, 11},
      {Pattern::kRandom, 64, 40, 1, 11},
      // Cut at byte 136, the last row before the cut can be finished with the zero bits
      // libtiff reads past the data, into a row that is not the image's.
      {Pattern::kRandom, 40, 30, 1, 9},
      {Pattern::kText, 1728, 300, 13, 11},
      {Pattern::kBlack, 1, 200, 1, 11},
  };
  for (const Case& c : cases) {
    Bilevel im = make_image(c.pattern, c.width, c.height, c.seed);
    std::string coded = encode(im).coded;
    int32_t last_rows = 0;
    for (size_t cut = 0; cut < coded.size(); cut += size_t(c.step)) {
      SCOPED_TRACE(std::string(pattern_name(c.pattern)) + " cut at " + std::to_string(cut) + " of " +
                   std::to_string(coded.size()));
      GuardedRead r = read_guarded(coded.substr(0, cut), c.width, im.row_bytes(), 7, c.height + 2);
      EXPECT_TRUE(r.guard_intact);
      ASSERT_LE(r.rows, c.height);
      EXPECT_TRUE(std::equal(r.bits.begin(), r.bits.end(), im.bits.begin())) << "a row that is not the image's";
      EXPECT_GE(r.rows, last_rows) << "more data gave fewer rows";
      last_rows = r.rows;
    }
    EXPECT_EQ(read_guarded(coded, c.width, im.row_bytes(), 7, c.height + 2).rows, c.height);
  }
}

TEST_F(G4Robustness, BitFlipsAndRandomBytesNeverCrashOrOverrun) {
  StderrCapture capture;
  std::mt19937 rng(1234);
  Bilevel text = make_image(Pattern::kText, 1728, 200, 8);
  Bilevel noise = make_image(Pattern::kRandom, 100, 100, 8);
  const std::string streams[] = {encode(text).coded, encode(noise).coded};
  for (int round = 0; round < 60; ++round) {
    std::string damaged = streams[round % 2];
    int flips = 1 + int(rng() % 4);
    for (int f = 0; f < flips; ++f) damaged[rng() % damaged.size()] ^= char(1 << (rng() % 8));
    for (int32_t w : {1, 9, 100, 1728, 2479}) {
      SCOPED_TRACE("flip round " + std::to_string(round) + " width " + std::to_string(w));
      GuardedRead r = read_guarded(damaged, w, (w + 7) / 8 + round % 3, 1 + round % 50, 400);
      EXPECT_TRUE(r.guard_intact);
      EXPECT_LE(r.rows, 400);
    }
  }
  for (int round = 0; round < 40; ++round) {
    std::string junk(size_t(rng() % 20000), '\0');
    for (auto& ch : junk) ch = char(rng());
    // Mostly-zero and mostly-one junk reach other corners of the decoder.
    if (round % 4 == 1)
      for (auto& ch : junk) ch = char(ch & rng() & rng());
    if (round % 4 == 2)
      for (auto& ch : junk) ch = char(ch | rng() | rng());
    for (int32_t w : {1, 8, 9, 1728, 2479}) {
      SCOPED_TRACE("junk round " + std::to_string(round) + " width " + std::to_string(w));
      GuardedRead r = read_guarded(junk, w, (w + 7) / 8, 1 + round % 64, 3000);
      EXPECT_TRUE(r.guard_intact);
      EXPECT_LE(r.rows, 3000);
    }
  }
  EXPECT_EQ(capture.text(), "");
}

TEST_F(G4Robustness, ADamagedStripFollowedByMoreDataIsNotReadToTheEnd) {
  // The host has 4 MB past a strip that breaks off with a bad code: the decoder reads on
  // only until the rows around the break lie inside its data.
  Bilevel im = make_image(Pattern::kText, 1728, 800, 4);
  std::string coded = encode(im).coded;
  std::string damaged = coded.substr(0, coded.size() / 2) + std::string(40, '\0') + std::string(4 << 20, '\x55');
  Source source(damaged);
  FilterParams params{1728, 216, &source.base};
  FilterPipe* pipe = g4_openers()->OpenDecoder(&params);
  ASSERT_NE(pipe, nullptr);
  std::vector<unsigned char> rows(216 * 800);
  int32_t got = pipe->ReadRows(pipe, rows.data(), int32_t(rows.size()));
  EXPECT_GT(got, 0);
  EXPECT_LT(got, int32_t(rows.size()));
  EXPECT_TRUE(std::equal(rows.begin(), rows.begin() + got, im.bits.begin()));
  EXPECT_EQ(pipe->ReadRows(pipe, rows.data(), 216), 0);
  EXPECT_EQ(pipe->Close(pipe), 0);
  EXPECT_LE(source.served, 4 * coded.size() + 4 * 4096);
}

// A host whose Transfer answers are out of range: more than asked, or negative.
struct WildSource {
  FilterStream base;
  std::string coded;
  size_t served = 0;
  int calls = 0;
};
int32_t wild_transfer(FilterStream* self, void* buffer, int32_t byteCount) {
  auto* s = reinterpret_cast<WildSource*>(self);
  ++s->calls;
  size_t n = std::min(size_t(byteCount), s->coded.size() - s->served);
  std::memcpy(buffer, s->coded.data() + s->served, n);
  s->served += n;
  return n == 0 ? -7 : 2000000000;  // claims far more than it gave, then "less than none"
}

TEST_F(G4Robustness, HostileTransferAnswersAndRowSizes) {
  const FilterOpeners* openers = g4_openers();
  ASSERT_NE(openers, nullptr);
  Bilevel im = make_image(Pattern::kText, 1728, 300, 3);
  WildSource wild{{wild_transfer}, encode(im).coded};
  FilterParams params{1728, 216, &wild.base};
  FilterPipe* pipe = openers->OpenDecoder(&params);
  ASSERT_NE(pipe, nullptr);
  std::vector<unsigned char> rows(216 * 300);
  int32_t got = pipe->ReadRows(pipe, rows.data(), int32_t(rows.size()));
  EXPECT_EQ(got, int32_t(rows.size()));  // the bytes that came are the stream's own
  EXPECT_TRUE(rows == im.bits);
  EXPECT_EQ(pipe->Close(pipe), 0);

  // Rows wider than any call: no whole row fits, nothing is done.
  Sink sink;
  FilterParams huge{8, 2147483647, &sink.base};
  FilterPipe* enc = openers->OpenEncoder(&huge);
  ASSERT_NE(enc, nullptr);
  unsigned char buf[64] = {};
  EXPECT_EQ(enc->WriteRows(enc, buf, 64), 0);
  EXPECT_EQ(enc->Close(enc), 3);
  Source source(sink.coded);
  FilterParams huge_dec{8, 2147483647, &source.base};
  FilterPipe* dec = openers->OpenDecoder(&huge_dec);
  ASSERT_NE(dec, nullptr);
  EXPECT_EQ(dec->ReadRows(dec, buf, 64), 0);
  EXPECT_EQ(dec->Close(dec), 0);

  // A host with nothing at all.
  Source empty("");
  FilterParams none{1728, 216, &empty.base};
  FilterPipe* nothing = openers->OpenDecoder(&none);
  ASSERT_NE(nothing, nullptr);
  EXPECT_EQ(nothing->ReadRows(nothing, rows.data(), 216), 0);
  EXPECT_EQ(nothing->ReadRows(nothing, rows.data(), 216), 0);
  EXPECT_EQ(nothing->Close(nothing), 0);
  EXPECT_EQ(empty.asks.size(), 1u);  // the end of the data is not asked again
}

}  // namespace
}  // namespace qm::rvg4::test
