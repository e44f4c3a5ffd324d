// The G4 filter against coders it does not share code with at this level: libtiff's
// own tiffcp (its strip of the same image must equal our stream, and we must decode
// its strips), fax2tiff (which decodes our stream and writes its own strip back), and
// poppler's pdfimages, an independent Group 4 decoder, reading our stream inside a
// minimal PDF.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imaging/rvg4/tests/fixtures.h"
#include "imaging/rvg4/tests/host.h"
#include "testsupport/test_files.h"

namespace qm::rvg4::test {
namespace {

using qm::test::TempDir;

bool tool_exists(const char* name) {
  std::string out;
  return qm::test::command_output(std::string("command -v ") + name + " >/dev/null 2>&1", out) == 0;
}

// An uncompressed min-is-white TIFF of the image, one strip.
void write_plain_tiff(const std::string& path, const Bilevel& im) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(im.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(im.height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
  TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_NONE));
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISWHITE));
  TIFFSetField(tif, TIFFTAG_FILLORDER, uint16_t(FILLORDER_MSB2LSB));
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(im.height));
  std::vector<unsigned char> row(size_t(im.row_bytes()));
  for (int32_t y = 0; y < im.height; ++y) {
    std::copy_n(im.bits.begin() + long(y) * im.row_bytes(), row.size(), row.begin());
    ASSERT_EQ(TIFFWriteScanline(tif, row.data(), uint32_t(y), 0), 1);
  }
  TIFFClose(tif);
}

struct Strips {
  uint32_t width = 0, height = 0, rows_per_strip = 0;
  uint16_t compression = 0, fill_order = 0, photometric = 0;
  std::vector<std::string> raw;
};

// The raw strips of a TIFF file, as stored.
Strips read_strips(const std::string& path) {
  Strips s;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) {
    ADD_FAILURE() << "cannot open " << path;
    return s;
  }
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &s.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &s.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &s.rows_per_strip);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &s.compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &s.fill_order);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &s.photometric);
  uint64_t* counts = nullptr;
  TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
  for (uint32_t i = 0; i < TIFFNumberOfStrips(tif); ++i) {
    std::string raw(counts[i], '\0');
    tmsize_t n = TIFFReadRawStrip(tif, i, raw.data(), tmsize_t(raw.size()));
    EXPECT_EQ(n, tmsize_t(raw.size()));
    s.raw.push_back(raw);
  }
  TIFFClose(tif);
  return s;
}

std::string case_name(Pattern p, int32_t w, int32_t h) {
  return std::string(pattern_name(p)) + " " + std::to_string(w) + "x" + std::to_string(h);
}

class G4Oracle : public ::testing::Test {
 protected:
  TempDir dir{"rvg4-oracle-"};
  int run(const std::string& command) {
    std::string out;
    int rc = qm::test::command_output(command + " 2>&1", out);
    if (rc != 0) ADD_FAILURE() << command << "\n" << out;
    return rc;
  }
};

TEST_F(G4Oracle, OurStreamIsTiffcpsStripAndWeReadItsStrips) {
  if (!tool_exists("tiffcp")) GTEST_SKIP() << "tiffcp (libtiff-tools) not installed";
  for (Pattern p : all_patterns())
    for (int32_t w : fixture_widths())
      for (int32_t h : {1, 1000}) {
        SCOPED_TRACE(case_name(p, w, h));
        Bilevel im = make_image(p, w, h, uint32_t(w + h));
        write_plain_tiff(dir / "plain.tif", im);
        ASSERT_EQ(run("tiffcp -c g4 -r " + std::to_string(h) + " " + dir / "plain.tif " + dir / "g4.tif"), 0);
        Strips s = read_strips(dir / "g4.tif");
        ASSERT_EQ(s.raw.size(), 1u);
        ASSERT_EQ(s.compression, COMPRESSION_CCITTFAX4);
        ASSERT_EQ(s.fill_order, FILLORDER_MSB2LSB);
        Encoded e = encode(im, 100);
        EXPECT_TRUE(e.coded == s.raw[0]) << "ours " << e.coded.size() << " bytes, tiffcp's " << s.raw[0].size();
        Decoded d = decode(s.raw[0], w, h + 1);
        EXPECT_EQ(d.image.height, h);
        EXPECT_TRUE(d.image.bits == im.bits);
      }
}

TEST_F(G4Oracle, Fax2tiffDecodesOurStreamAndWeDecodeItsStrips) {
  if (!tool_exists("fax2tiff")) GTEST_SKIP() << "fax2tiff (libtiff-tools) not installed";
  for (Pattern p : all_patterns())
    for (int32_t w : {9, 1728, 2479}) {
      const int32_t h = 600;
      SCOPED_TRACE(case_name(p, w, h));
      Bilevel im = make_image(p, w, h, uint32_t(w * 7));
      Encoded e = encode(im);
      qm::test::write_file(dir / "in.g4", e.coded);
      // Raw Group 4 input, MSB first; Group 4 output, MSB first, strips of 256 rows.
      ASSERT_EQ(run("fax2tiff -4 -M -X " + std::to_string(w) + " -8 -m -r 256 -o " + dir / "fax.tif " + dir / "in.g4"),
                0);
      Strips s = read_strips(dir / "fax.tif");
      ASSERT_EQ(s.width, uint32_t(w));
      // fax2tiff keeps the row that libtiff's decoder fills at the end-of-block code
      // as a last, white row.
      ASSERT_EQ(s.height, uint32_t(h + 1));
      im.bits.resize(im.bits.size() + size_t(im.row_bytes()), 0);
      im.height += 1;
      ASSERT_EQ(s.compression, COMPRESSION_CCITTFAX4);
      ASSERT_EQ(s.fill_order, FILLORDER_MSB2LSB);
      ASSERT_EQ(s.photometric, PHOTOMETRIC_MINISWHITE);
      Bilevel all;
      all.width = w;
      for (const std::string& strip : s.raw) {
        int32_t rows = int32_t(std::min<uint32_t>(s.rows_per_strip, s.height - uint32_t(all.height)));
        Decoded d = decode(strip, w, rows + 1);
        EXPECT_EQ(d.image.height, rows);
        all.bits.insert(all.bits.end(), d.image.bits.begin(), d.image.bits.end());
        all.height += d.image.height;
      }
      EXPECT_EQ(all.height, im.height);
      EXPECT_TRUE(all.bits == im.bits);
    }
}

// A one-page PDF that draws the stream as a CCITT Group 4 image (/K -1) filling the
// page. BlackIs1 true: the coder's black runs are 1 bits, and 1 is black with the
// /Decode [1 0] of the image.
std::string pdf_around(const std::string& coded, int32_t w, int32_t h) {
  std::string W = std::to_string(w), H = std::to_string(h);
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + W + " " + H +
          "] /Resources << /XObject << /Im0 5 0 R >> >> /Contents 4 0 R >>",
  };
  std::string content = "q " + W + " 0 0 " + H + " 0 0 cm /Im0 Do Q\n";
  objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream");
  objects.push_back("<< /Type /XObject /Subtype /Image /Width " + W + " /Height " + H +
                    " /ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [1 0] /Filter /CCITTFaxDecode"
                    " /DecodeParms << /K -1 /Columns " + W + " /Rows " + H + " /BlackIs1 true >> /Length " +
                    std::to_string(coded.size()) + " >>\nstream\n" + coded + "\nendstream");
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t off : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

TEST_F(G4Oracle, PdfimagesDecodesOurStream) {
  if (!tool_exists("pdfimages")) GTEST_SKIP() << "pdfimages (poppler-utils) not installed";
  for (Pattern p : all_patterns())
    for (int32_t w : {1, 9, 1727, 2479})
      for (int32_t h : {1, 1000}) {
        SCOPED_TRACE(case_name(p, w, h));
        Bilevel im = make_image(p, w, h, uint32_t(w * 3 + h));
        Encoded e = encode(im);
        qm::test::write_file(dir / "page.pdf", pdf_around(e.coded, w, h));
        std::remove((dir / "img-000.pbm").c_str());
        ASSERT_EQ(run("pdfimages " + dir / "page.pdf " + dir / "img"), 0);
        std::string pbm = qm::test::read_file(dir / "img-000.pbm"), error;
        Bilevel back;
        ASSERT_TRUE(pbm_parse(pbm, back, error)) << error;
        EXPECT_EQ(back.width, w);
        EXPECT_EQ(back.height, h);
        EXPECT_TRUE(back.bits == im.bits);
      }
}

}  // namespace
}  // namespace qm::rvg4::test
