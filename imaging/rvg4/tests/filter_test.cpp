// The G4 filter through its exported record: the record itself, exact codes of tiny
// strips, round trips of every fixture image, the Transfer sizes both ways, partial
// byte counts, wide rows, refused parameters and a host that loses coded bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/rvg4/tests/fixtures.h"
#include "imaging/rvg4/tests/host.h"

namespace qm::rvg4::test {
namespace {

std::string hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out += ' ';
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

TEST(G4FilterRecord, NamesTheG4FilterAndItsOpeners) {
  FilterInfo* info = g4_info();
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->name, "G4");
  ASSERT_NE(info->openers, nullptr);
  EXPECT_NE(info->openers->OpenEncoder, nullptr);
  EXPECT_NE(info->openers->OpenDecoder, nullptr);
}

TEST(G4ExactCode, TinyStrips) {
  // Two white rows are two V0 codes ("1" each), then EOFB, padded with zeros.
  EXPECT_EQ(hex(encode(make_image(Pattern::kWhite, 1728, 2)).coded), "c0 04 00 40");
  EXPECT_EQ(hex(encode(make_image(Pattern::kWhite, 1, 2)).coded), "c0 04 00 40");
  // An empty strip is the end-of-facsimile-block code alone.
  Encoded empty = encode(make_image(Pattern::kWhite, 1728, 0));
  EXPECT_EQ(hex(empty.coded), "00 10 01");
  EXPECT_EQ(empty.close_result, 3);
}

TEST(G4RoundTrip, EveryFixtureComesBackExactly) {
  for (Pattern p : all_patterns())
    for (int32_t w : fixture_widths())
      for (int32_t h : fixture_heights()) {
        SCOPED_TRACE(std::string(pattern_name(p)) + " " + std::to_string(w) + "x" + std::to_string(h));
        Bilevel im = make_image(p, w, h, uint32_t(w * 31 + h));
        Encoded e = encode(im, 37);
        ASSERT_TRUE(e.opened);
        ASSERT_GT(e.close_result, 0);
        // Asking for more rows than the strip holds gives just its rows.
        Decoded d = decode(e.coded, w, h + 5, 29);
        ASSERT_TRUE(d.opened);
        EXPECT_EQ(d.image.height, h);
        EXPECT_TRUE(d.image.bits == im.bits) << "rows differ";
      }
}

TEST(G4RoundTrip, OneRowAtATimeAndAHostThatGivesLittle) {
  Bilevel im = make_image(Pattern::kText, 1728, 700, 5);
  Encoded e = encode(im, 1);
  ASSERT_GT(e.coded.size(), 3u * 4096);  // several blocks, so the decoder must come back for more
  struct Case {
    int32_t rows_per_call, piece;
  } cases[] = {{1, 0}, {1, 100}, {700, 1}, {3, 4095}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows_per_call) + " rows a call, pieces " + std::to_string(c.piece));
    Decoded d = decode(e.coded, 1728, 700, c.rows_per_call, c.piece);
    EXPECT_EQ(d.image.height, 700);
    EXPECT_TRUE(d.image.bits == im.bits);
  }
}

TEST(G4Transfers, EncoderHandsOverWholeBuffersThenTheRestAtClose) {
  for (Pattern p : {Pattern::kRandom, Pattern::kText, Pattern::kChecker}) {
    SCOPED_TRACE(pattern_name(p));
    Encoded e = encode(make_image(p, 2479, 1000, 3), 10);
    ASSERT_FALSE(e.close_calls.empty());
    for (int32_t c : e.calls) EXPECT_EQ(c, 4096);
    // At close only the last piece may be short: an end code that overflows a full
    // buffer sends that buffer first.
    for (size_t i = 0; i + 1 < e.close_calls.size(); ++i) EXPECT_EQ(e.close_calls[i], 4096);
    EXPECT_GE(e.close_calls.back(), 1);
    EXPECT_LE(e.close_calls.back(), 4096);
    int64_t at_close = 0;
    for (int32_t c : e.close_calls) at_close += c;
    EXPECT_EQ(e.close_result, at_close);
    EXPECT_EQ(int64_t(e.coded.size()), int64_t(e.calls.size()) * 4096 + at_close);
  }
}

TEST(G4Transfers, DecoderAsksFor4096AtOpenAndOnlyEver4096) {
  Bilevel im = make_image(Pattern::kRandom, 1728, 300, 9);
  Encoded e = encode(im);
  const FilterOpeners* openers = g4_openers();
  ASSERT_NE(openers, nullptr);
  Source source(e.coded);
  FilterParams params{1728, 216, &source.base};
  FilterPipe* pipe = openers->OpenDecoder(&params);
  ASSERT_NE(pipe, nullptr);
  EXPECT_EQ(source.asks, std::vector<int32_t>{4096});  // the first fill
  std::vector<unsigned char> rows(216 * 300);
  EXPECT_EQ(pipe->ReadRows(pipe, rows.data(), int32_t(rows.size())), int32_t(rows.size()));
  EXPECT_EQ(pipe->Close(pipe), 0);
  EXPECT_TRUE(rows == im.bits);
  for (int32_t a : source.asks) EXPECT_EQ(a, 4096);
}

TEST(G4Transfers, DecoderReadsAheadOnlyInProportion) {
  // Past the strip the host has more: the decoder stops asking once it has seen the
  // end code, at most three times the data it had before its last retry past the end.
  for (int32_t h : {40, 400, 900, 1500, 3000}) {
    SCOPED_TRACE(h);
    Bilevel im = make_image(Pattern::kText, 1728, h, 2);
    Encoded e = encode(im);
    std::string trailing(1 << 22, '\xff');
    Decoded d = decode(e.coded + trailing, 1728, h + 100, 50);
    EXPECT_EQ(d.image.height, h);
    EXPECT_TRUE(d.image.bits == im.bits);
    EXPECT_LE(d.served, 4 * e.coded.size() + 4096);
  }
}

TEST(G4ByteCounts, OnlyWholeRowsAreCodedAndReported) {
  Bilevel im = make_image(Pattern::kChecker, 9, 4);  // 2 bytes a row
  const FilterOpeners* openers = g4_openers();
  ASSERT_NE(openers, nullptr);
  Sink sink;
  FilterParams params{9, 2, &sink.base};
  FilterPipe* enc = openers->OpenEncoder(&params);
  ASSERT_NE(enc, nullptr);
  EXPECT_EQ(enc->WriteRows(enc, im.bits.data(), 5), 4);  // two rows and a byte
  EXPECT_EQ(enc->WriteRows(enc, im.bits.data() + 4, 1), 0);
  EXPECT_EQ(enc->WriteRows(enc, im.bits.data() + 4, 4), 4);
  unsigned char dummy[8] = {};
  EXPECT_EQ(enc->ReadRows(enc, dummy, 8), 0);
  EXPECT_GT(enc->Close(enc), 0);

  Source source(sink.coded);
  FilterParams dparams{9, 2, &source.base};
  FilterPipe* dec = openers->OpenDecoder(&dparams);
  ASSERT_NE(dec, nullptr);
  unsigned char rows[8] = {};
  EXPECT_EQ(dec->ReadRows(dec, rows, 3), 2);
  EXPECT_EQ(dec->ReadRows(dec, rows + 2, 1), 0);
  EXPECT_EQ(dec->ReadRows(dec, rows + 2, 7), 6);
  EXPECT_EQ(dec->WriteRows(dec, rows, 8), 0);
  EXPECT_EQ(std::memcmp(rows, im.bits.data(), 8), 0);
  EXPECT_EQ(dec->ReadRows(dec, rows, 8), 0);  // the strip has ended
  EXPECT_EQ(dec->Close(dec), 0);
}

TEST(G4ByteCounts, NothingOrNoRowsGiveZero) {
  const FilterOpeners* openers = g4_openers();
  ASSERT_NE(openers, nullptr);
  Bilevel im = make_image(Pattern::kBlack, 16, 2);
  Sink sink;
  FilterParams params{16, 2, &sink.base};
  FilterPipe* enc = openers->OpenEncoder(&params);
  ASSERT_NE(enc, nullptr);
  for (int32_t n : {0, -1, -2147483647 - 1}) EXPECT_EQ(enc->WriteRows(enc, im.bits.data(), n), 0);
  EXPECT_EQ(enc->WriteRows(enc, nullptr, 4), 0);
  EXPECT_EQ(enc->WriteRows(enc, im.bits.data(), 4), 4);
  EXPECT_GT(enc->Close(enc), 0);
  Source source(sink.coded);
  FilterParams dparams{16, 2, &source.base};
  FilterPipe* dec = openers->OpenDecoder(&dparams);
  ASSERT_NE(dec, nullptr);
  unsigned char rows[4];
  for (int32_t n : {0, -1, -2147483647 - 1}) EXPECT_EQ(dec->ReadRows(dec, rows, n), 0);
  EXPECT_EQ(dec->ReadRows(dec, nullptr, 4), 0);
  EXPECT_EQ(dec->ReadRows(dec, rows, 4), 4);
  EXPECT_EQ(dec->Close(dec), 0);
}

TEST(G4WideRows, BytesPastTheWidthAreIgnoredAndComeBackWhite) {
  Bilevel im = make_image(Pattern::kText, 1727, 120, 4);
  const int32_t stride = im.row_bytes() + 5;
  std::vector<unsigned char> rows = with_stride(im, stride);
  for (int32_t y = 0; y < im.height; ++y) std::memset(rows.data() + size_t(y) * stride + im.row_bytes(), 0xA5, 5);
  const FilterOpeners* openers = g4_openers();
  ASSERT_NE(openers, nullptr);
  Sink sink;
  FilterParams params{1727, stride, &sink.base};
  FilterPipe* enc = openers->OpenEncoder(&params);
  ASSERT_NE(enc, nullptr);
  EXPECT_EQ(enc->WriteRows(enc, rows.data(), int32_t(rows.size())), int32_t(rows.size()));
  EXPECT_GT(enc->Close(enc), 0);
  EXPECT_EQ(sink.coded, encode(im).coded);

  Source source(sink.coded);
  FilterParams dparams{1727, stride, &source.base};
  FilterPipe* dec = openers->OpenDecoder(&dparams);
  ASSERT_NE(dec, nullptr);
  std::vector<unsigned char> back(rows.size(), 0x5A);
  EXPECT_EQ(dec->ReadRows(dec, back.data(), int32_t(back.size())), int32_t(back.size()));
  EXPECT_EQ(dec->Close(dec), 0);
  EXPECT_TRUE(back == with_stride(im, stride));
}

TEST(G4Openers, RefuseUnusableParameters) {
  const FilterOpeners* openers = g4_openers();
  ASSERT_NE(openers, nullptr);
  Sink sink;
  FilterStream no_transfer{nullptr};
  struct Case {
    const char* what;
    int32_t width, bytes_per_row;
    FilterStream* stream;
  } cases[] = {
      {"width 0", 0, 1, &sink.base},
      {"negative width", -8, 1, &sink.base},
      {"width past the limit", RVG4_MAX_WIDTH + 1, RVG4_MAX_WIDTH / 8 + 1, &sink.base},
      {"largest width", 2147483647, 2147483647, &sink.base},
      {"row bytes short of the width", 9, 1, &sink.base},
      {"negative row bytes", 8, -1, &sink.base},
      {"no stream", 8, 1, nullptr},
      {"no Transfer", 8, 1, &no_transfer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FilterParams params{c.width, c.bytes_per_row, c.stream};
    EXPECT_EQ(openers->OpenEncoder(&params), nullptr);
    EXPECT_EQ(openers->OpenDecoder(&params), nullptr);
  }
  EXPECT_EQ(openers->OpenEncoder(nullptr), nullptr);
  EXPECT_EQ(openers->OpenDecoder(nullptr), nullptr);
  EXPECT_TRUE(sink.calls.empty());
  // The limits themselves are accepted.
  FilterParams widest{RVG4_MAX_WIDTH, RVG4_MAX_WIDTH / 8, &sink.base};
  FilterPipe* pipe = openers->OpenEncoder(&widest);
  ASSERT_NE(pipe, nullptr);
  EXPECT_EQ(pipe->Close(pipe), 3);
}

TEST(G4LostBytes, AHostThatTakesTooLittleFailsTheEncoder) {
  Bilevel im = make_image(Pattern::kRandom, 1728, 400, 6);
  const FilterOpeners* openers = g4_openers();
  ASSERT_NE(openers, nullptr);
  {
    SCOPED_TRACE("short take while rows are written");
    Sink sink;
    sink.take = [](size_t index, int32_t n) { return index == 2 ? n - 1 : n; };
    FilterParams params{1728, 216, &sink.base};
    FilterPipe* pipe = openers->OpenEncoder(&params);
    ASSERT_NE(pipe, nullptr);
    int32_t got = pipe->WriteRows(pipe, im.bits.data(), int32_t(im.bits.size()));
    EXPECT_LT(got, int32_t(im.bits.size()));
    EXPECT_EQ(got % 216, 0);
    EXPECT_EQ(sink.calls.size(), 3u);
    EXPECT_EQ(pipe->WriteRows(pipe, im.bits.data(), 216), 0);
    EXPECT_EQ(pipe->Close(pipe), -1);
    EXPECT_EQ(sink.calls.size(), 3u);  // nothing more handed over
  }
  {
    SCOPED_TRACE("nothing taken at close");
    Sink sink;
    sink.take = [](size_t, int32_t) { return 0; };
    FilterParams params{1728, 216, &sink.base};
    FilterPipe* pipe = openers->OpenEncoder(&params);
    ASSERT_NE(pipe, nullptr);
    EXPECT_EQ(pipe->WriteRows(pipe, im.bits.data(), 216 * 2), 216 * 2);
    EXPECT_EQ(pipe->Close(pipe), -1);
  }
  {
    SCOPED_TRACE("empty strip refused at close");
    Sink sink;
    sink.take = [](size_t, int32_t n) { return n - 1; };
    FilterParams params{8, 1, &sink.base};
    FilterPipe* pipe = openers->OpenEncoder(&params);
    ASSERT_NE(pipe, nullptr);
    EXPECT_EQ(pipe->Close(pipe), -1);
  }
}

}  // namespace
}  // namespace qm::rvg4::test
