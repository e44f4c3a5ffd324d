// glyph_bench: speed of the glyph renderer's outline glyphs (plain program).
//  1. Cold CSX_CSP glyphs per second over 1,000 AR PL UMing outlines (Big5 characters,
//     converted to outline records) at 16, 24 and 48 pixels, beside FreeType's mono
//     rasteriser on the same mapped outlines.
//  2. Big5 text of the Traditional Chinese man pages (manpages-zh through groff and
//     iconv, as the indexer benchmark takes them), 20,000 characters and more, drawn
//     glyph by glyph at 16 pixels as text output does (a null-buffer request for the
//     size, then the sized one): the cache hit rate of the size requests beside the ideal
//     1 - distinct/total, for the whole text and for its longest start whose distinct
//     codes fit the 1,000 entries of a face cache; and the glyphs per second of a second
//     pass, when the glyphs are cached.
// Built on the renderer class (in-process), the test converter of glyph/tests and
// FreeType. Run: build/bench/glyph_bench
#include <fcntl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <glob.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "glyph/dbcs.h"
#include "glyph/outline.h"
#include "glyph/renderer.h"
#include "glyph/tests/ttf_outlines.h"
#include "testsupport/test_files.h"

namespace {

using Clock = std::chrono::steady_clock;
using qm::glyph::CspRenderer;
namespace t = qm::glyph::test;

double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

struct Doc {
  qm::test::TempDir dir{"qm-glyph-bench-"};
  std::string path;
  int fd = -1;
  explicit Doc(const std::string& bytes) {
    path = dir.path() + "/fonts.bin";
    qm::test::write_file(path, bytes);
    fd = ::open(path.c_str(), O_RDONLY);
  }
  ~Doc() {
    if (fd >= 0) ::close(fd);
  }
};

LOGFONTA Face(int height) {
  LOGFONTA lf{};
  lf.lfHeight = -height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = CHINESEBIG5_CHARSET;
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Ming");
  return lf;
}

// One glyph as text output asks for it; true when the size request was a cache hit.
bool Draw(CspRenderer& r, int slot, uint16_t code, std::vector<unsigned char>& buf) {
  uint64_t before = r.stats().cache_hits;
  CSX_GlyphMetrics m{};
  int32_t size = r.Csp(slot, code, nullptr, &m);
  bool hit = r.stats().cache_hits > before;
  if (size > 0) {
    if (buf.size() < size_t(size)) buf.resize(size_t(size));
    std::fill(buf.begin(), buf.begin() + size, 0xFF);
    r.Csp(slot, code, buf.data(), &m);
  }
  return hit;
}

// FreeType's mono rasteriser over the same outlines mapped at `size` pixels.
double FreeTypeRate(const std::vector<t::ConvertedGlyph>& glyphs, int size) {
  FT_Library lib = nullptr;
  FT_Init_FreeType(&lib);
  int s = qm::glyph::OutlineSubpixelBits(size, size);
  struct Prepared {
    std::vector<FT_Vector> pts;
    std::vector<char> tags;
    std::vector<short> ends;
    int width, rows;
  };
  std::vector<Prepared> prep;
  for (const t::ConvertedGlyph& g : glyphs) {
    int left = std::min<int>(0, g.min_x), top = std::min<int>(0, g.min_y);
    Prepared p;
    p.width = int((int64_t(g.max_x) - left) * size / 1024) + 2;
    p.rows = int((int64_t(g.max_y) - top) * size / 1024) + 2;
    for (const auto& c : t::MapContours(g.contours, size, left, top, s)) {
      for (const t::MappedPoint& q : c) {
        p.pts.push_back({FT_Pos(q.x) * (64 >> s), FT_Pos(p.rows) * 64 - FT_Pos(q.y) * (64 >> s) - 32});
        p.tags.push_back(q.on ? FT_CURVE_TAG_ON : FT_CURVE_TAG_CONIC);
      }
      p.ends.push_back(short(p.pts.size() - 1));
    }
    prep.push_back(std::move(p));
  }
  std::vector<unsigned char> bits;
  auto start = Clock::now();
  for (Prepared& p : prep) {
    int pitch = (p.width + 7) / 8;
    bits.assign(size_t(pitch) * size_t(p.rows), 0);
    FT_Outline o{};
    o.n_contours = short(p.ends.size());
    o.n_points = short(p.pts.size());
    o.points = p.pts.data();
    o.tags = p.tags.data();
    o.contours = p.ends.data();
    o.flags = FT_OUTLINE_EVEN_ODD_FILL;
    FT_Bitmap bm{};
    bm.rows = unsigned(p.rows);
    bm.width = unsigned(p.width);
    bm.pitch = pitch;
    bm.buffer = bits.data();
    bm.num_grays = 2;
    bm.pixel_mode = FT_PIXEL_MODE_MONO;
    FT_Outline_Get_Bitmap(lib, &o, &bm);
  }
  double rate = double(prep.size()) / Seconds(start);
  FT_Done_FreeType(lib);
  return rate;
}

// Big5 text of the man pages, at least `want` double-byte characters when there are.
std::string ManPageText(size_t want) {
  std::string text;
  glob_t g{};
  if (::glob("/usr/share/man/zh_TW/man*/*.gz", 0, nullptr, &g) != 0) return text;
  size_t wide = 0;
  for (size_t i = 0; i < g.gl_pathc && wide < want; ++i) {
    std::string cmd = std::string("zcat '") + g.gl_pathv[i] +
                      "' | groff -k -mandoc -Tutf8 -P-cbou -rLL=78n 2>/dev/null | iconv -f UTF-8 -t CP950 -c";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) continue;
    char buf[8192];
    size_t n;
    std::string page;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) page.append(buf, n);
    ::pclose(p);
    const auto* b = reinterpret_cast<const unsigned char*>(page.data());
    for (size_t pos = 0, k = 0; pos < page.size(); pos += k) {
      uint16_t code = qm::glyph::NextCharacter(136, b, page.size(), pos, k);
      if (k == 2) ++wide;
      (void)code;
    }
    text += page;
  }
  ::globfree(&g);
  return text;
}

struct TextRun {
  size_t total = 0, distinct = 0, hits = 0, oversize = 0;
  double cached_rate = 0;
};

TextRun DrawText(const Doc& doc, const std::vector<uint16_t>& codes) {
  CspRenderer r;
  int slot = r.SetDoc(doc.fd, 0);
  LOGFONTA lf = Face(16);
  r.SetFont(slot, &lf);
  std::vector<unsigned char> buf;
  TextRun out;
  out.total = codes.size();
  out.distinct = std::set<uint16_t>(codes.begin(), codes.end()).size();
  for (uint16_t c : codes) {
    out.hits += Draw(r, slot, c, buf);
  }
  // Glyphs larger than the square of the height, which a face cache does not keep.
  for (uint16_t c : std::set<uint16_t>(codes.begin(), codes.end())) {
    CSX_GlyphMetrics m{};
    out.oversize += size_t(r.Csp(slot, c, nullptr, &m)) > r.cache().max_glyph_bytes();
  }
  auto start = Clock::now();
  for (uint16_t c : codes) Draw(r, slot, c, buf);
  out.cached_rate = double(codes.size()) / Seconds(start);
  return out;
}

}  // namespace

int main() {
  // ---- 1. Cold glyphs ----
  std::vector<uint16_t> codes;
  std::vector<t::ConvertedGlyph> glyphs;
  {
    t::TrueTypeFace uming(t::kUmingPath);
    if (!uming.ok()) {
      std::fprintf(stderr, "glyph_bench: %s is missing (scripts/setup)\n", t::kUmingPath);
      return 1;
    }
    for (uint32_t code = 0xA440; code <= 0xF9D5 && codes.size() < 1000; ++code) {
      uint8_t trail = code & 0xFF;
      if (!((trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE))) continue;
      if (auto g = uming.Convert(t::Big5ToUnicode(uint16_t(code)))) {
        codes.push_back(uint16_t(code));
        glyphs.push_back(*g);
      }
    }
  }
  Doc cold_doc(t::RealFontDirectory("Ming", codes));
  std::printf("cold glyphs/s over %zu UMing outlines (each glyph once; a size request, then the sized one)\n",
              codes.size());
  std::printf("%6s %14s %14s %8s\n", "pixels", "CSX_CSP", "FreeType mono", "ratio");
  double ft16 = 0;
  for (int size : {16, 24, 48}) {
    CspRenderer r;
    int slot = r.SetDoc(cold_doc.fd, 0);
    LOGFONTA lf = Face(size);
    r.SetFont(slot, &lf);
    std::vector<unsigned char> buf;
    auto start = Clock::now();
    for (uint16_t c : codes) Draw(r, slot, c, buf);
    double ours = double(codes.size()) / Seconds(start);
    double ft = FreeTypeRate(glyphs, size);
    if (size == 16) ft16 = ft;
    std::printf("%6d %14.0f %14.0f %7.2fx\n", size, ours, ft, ours / ft);
  }

  // ---- 2. Text of the man pages ----
  std::string text = ManPageText(20000);
  std::vector<uint16_t> seq;
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t pos = 0, k = 0; pos < text.size(); pos += k) {
    uint16_t code = qm::glyph::NextCharacter(136, b, text.size(), pos, k);
    if (k == 2) seq.push_back(code);
  }
  if (seq.size() < 20000) {
    std::fprintf(stderr, "glyph_bench: fewer than 20,000 Big5 characters in /usr/share/man/zh_TW "
                         "(manpages-zh, groff: scripts/setup bench)\n");
    return 1;
  }
  std::set<uint16_t> distinct(seq.begin(), seq.end());
  Doc text_doc(t::RealFontDirectory("Ming", std::vector<uint16_t>(distinct.begin(), distinct.end())));
  // The longest start of the text with at most 1,000 distinct codes.
  std::set<uint16_t> seen;
  size_t fit = 0;
  while (fit < seq.size() && (seen.count(seq[fit]) || seen.size() < 1000)) seen.insert(seq[fit++]);
  std::printf("\nBig5 text of the man pages at 16 pixels, glyph by glyph\n");
  std::printf("%-28s %8s %8s %9s %9s %14s %10s\n", "text", "total", "distinct", "hit rate", "ideal", "cached glyphs/s",
              "vs FT cold");
  for (auto [name, n] : {std::pair<const char*, size_t>{"start within 1,000 codes", fit}, {"whole text", seq.size()}}) {
    std::vector<uint16_t> part(seq.begin(), seq.begin() + long(n));
    TextRun run = DrawText(text_doc, part);
    double rate = double(run.hits) / double(run.total);
    double ideal = 1.0 - double(run.distinct) / double(run.total);
    std::printf("%-28s %8zu %8zu %9.4f %9.4f %14.0f %9.1fx  (%zu codes too large to cache)\n", name,
                run.total, run.distinct, rate, ideal, run.cached_rate, run.cached_rate / ft16, run.oversize);
  }
  return 0;
}
