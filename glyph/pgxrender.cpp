// pgxrender: draws text with the fonts embedded in a page document, glyph by glyph with
// CSX_CSP along the pen, into a PNG file or as ASCII art ("#" ink). The text is given in
// Big5 or taken from a page of a PGX document through libpaglet.so (loaded from the
// program directory). PGX names no font stream, so the fonts' file and the offset of
// their directory are given:
//   pgxrender --fonts FILE@OFFSET --face NAME --height N (--text BIG5 | --pgx DOC --page P)
//             (--out x.png | --ascii)
//             [--font NAME] [--gray] [--escapement E] [--underline] [--strikeout]
//             [--opaque] [--map 2:1]
// Lines of page text are drawn one below the other. With any of the bracketed options
// the lines go through the text calls into a 32-bit surface (--out only): RVExtTextOut
// draws the document face alone; with --font, RVExtTextOutEU draws end-user characters
// in the document face and the rest in the installed font NAME. Built on librvcsp32.so, the double-
// byte rules of glyph_core and the drawing layer's PNG writer; run by people and tests.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "glyph/dbcs.h"
#include "glyph/rvcsp32.h"
#include "pagedoc/paglet_functions.h"

namespace {

struct Options {
  std::string fonts, face, text, pgx, out;
  uint32_t offset = 0;
  int height = 0, page = 1;
  bool ascii = false, have_text = false;
  // The surface form.
  std::string font;
  bool gray = false, underline = false, strikeout = false, opaque = false, surface = false;
  int escapement = 0, map_x = 1, map_y = 1;
};

int Usage(const char* why) {
  std::fprintf(stderr,
               "pgxrender: %s\nusage: pgxrender --fonts FILE@OFFSET --face NAME --height N "
               "(--text BIG5 | --pgx DOC --page P) (--out x.png | --ascii)\n",
               why);
  return 2;
}

bool ParseArgs(int argc, char** argv, Options& o, const char*& why) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--ascii") {
      o.ascii = true;
    } else if (a == "--gray" || a == "--underline" || a == "--strikeout" || a == "--opaque") {
      (a == "--gray" ? o.gray : a == "--underline" ? o.underline : a == "--strikeout" ? o.strikeout : o.opaque) = true;
      o.surface = true;
    } else if (!value(v)) {
      why = "an option lacks its value or is unknown";
      return false;
    } else if (a == "--fonts") {
      size_t at = v.rfind('@');
      if (at == std::string::npos) return why = "--fonts needs FILE@OFFSET", false;
      o.fonts = v.substr(0, at);
      char* end = nullptr;
      unsigned long off = std::strtoul(v.c_str() + at + 1, &end, 0);
      if (!end || *end || off > 0xFFFFFFFFul) return why = "bad font directory offset", false;
      o.offset = uint32_t(off);
    } else if (a == "--face") {
      o.face = v;
    } else if (a == "--height") {
      o.height = std::atoi(v.c_str());
    } else if (a == "--text") {
      o.text = v;
      o.have_text = true;
    } else if (a == "--pgx") {
      o.pgx = v;
    } else if (a == "--page") {
      o.page = std::atoi(v.c_str());
    } else if (a == "--out") {
      o.out = v;
    } else if (a == "--font") {
      o.font = v;
      o.surface = true;
    } else if (a == "--escapement") {
      o.escapement = std::atoi(v.c_str());
      if (o.escapement != 0 && o.escapement != 900 && o.escapement != 1800 && o.escapement != 2700)
        return why = "--escapement takes 0, 900, 1800 or 2700", false;
      o.surface = true;
    } else if (a == "--map") {
      if (std::sscanf(v.c_str(), "%d:%d", &o.map_x, &o.map_y) != 2 || o.map_x < 1 || o.map_y < 1 || o.map_x > 16 ||
          o.map_y > 16)
        return why = "--map takes X:Y, each 1 to 16", false;
      o.surface = true;
    } else {
      why = "unknown option";
      return false;
    }
  }
  if (o.fonts.empty() || o.face.empty() || o.height <= 0) return why = "--fonts, --face and --height are needed", false;
  if (o.have_text == !o.pgx.empty()) return why = "give --text or --pgx", false;
  if (o.ascii == !o.out.empty()) return why = "give --out or --ascii", false;
  if (o.surface && o.ascii) return why = "the surface options write --out only", false;
  return true;
}

std::string ProgramDir(const char* argv0) {
  std::string p = argv0;
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

// The page's text through libpaglet.so; false with a message on failure.
bool PageText(const std::string& dir, const Options& o, std::string& text) {
  std::string path = dir + "/libpaglet.so";
  void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    std::fprintf(stderr, "pgxrender: cannot load %s\n", path.c_str());
    return false;
  }
  qm::PagletFunctions f;
  bool ok = qm::paglet_bind(lib, f).empty() && f.StartUp() == 0;
  if (!ok) std::fprintf(stderr, "pgxrender: %s cannot be started\n", path.c_str());
  if (ok) {
    int h = f.OpenPGX(o.pgx.c_str());
    int len = h >= 0 ? f.GetTextLengthInPage(h, o.page) : -1;
    if (len >= 0) {
      text.assign(size_t(len), '\0');
      int got = len > 0 ? f.GetTextInPage(h, o.page, text.data(), len) : 0;
      text.resize(size_t(std::max(got, 0)));
    } else {
      std::fprintf(stderr, "pgxrender: cannot read page %d of %s\n", o.page, o.pgx.c_str());
      ok = false;
    }
    if (h >= 0) f.ClosePGX(h);
    f.End();
  }
  ::dlclose(lib);
  return ok;
}

// A 1-bit page with rows padded to 16 bits, white (1) where nothing is drawn.
struct Canvas {
  int width = 0, height = 0, row_bytes = 0;
  std::vector<unsigned char> bits;
  Canvas(int w, int h) : width(w), height(h), row_bytes((w + 15) / 16 * 2), bits(size_t(row_bytes) * size_t(h), 0xFF) {}
  void Ink(int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    bits[size_t(y * row_bytes + x / 8)] &= uint8_t(~(0x80 >> (x % 8)));
  }
  bool At(int x, int y) const { return !(bits[size_t(y * row_bytes + x / 8)] & (0x80 >> (x % 8))); }
};

struct Placed {
  int x, y;
  CSX_GlyphMetrics m;
  std::vector<unsigned char> bits;
};

// The surface form: each line through RVExtTextOut or RVExtTextOutEU into a white 32-bit
// surface, turned by the escapement about the middle, written as PNG.
int DrawSurface(const Options& o, int slot, const LOGFONTA& lf, const std::vector<std::string>& lines) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return 1;
  int32_t widest = 1, line = 1;
  for (const std::string& l : lines) {
    const uint32_t e = o.font.empty() ? CSX_GetTextExtent(slot, l.data(), int32_t(l.size()))
                                      : CSX_GetTextExtentEU(slot, &lf, dc, l.data(), int32_t(l.size()));
    widest = std::max<int32_t>(widest, int32_t(e & 0xFFFF));
    line = std::max<int32_t>(line, int32_t(e >> 16));
  }
  const int32_t block = line * int32_t(lines.size());
  const int32_t side = std::max(widest, block) * 2 + 8;
  const int32_t w = o.escapement % 1800 == 0 ? widest * o.map_x + 8 : side * o.map_x,
                h = o.escapement % 1800 == 0 ? block * o.map_y + 8 : side * o.map_y;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = std::max(w, 1);
  bi.bmiHeader.biHeight = -std::max(h, 1);
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bm) {
    DeleteDC(dc);
    return 1;
  }
  HGDIOBJ old = SelectObject(dc, bm);
  PatBlt(dc, 0, 0, w, h, WHITENESS);
  if (o.map_x != 1 || o.map_y != 1) {
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, o.map_x, o.map_y, nullptr);
  }
  SetBkMode(dc, o.opaque ? OPAQUE : TRANSPARENT);
  SetBkColor(dc, RGB(255, 255, 192));
  SetTextColor(dc, 0);
  CSX_SetGrayScale(o.gray ? 1 : 0);
  // Lines step across the writing direction; the start sits where the turned block fits.
  const int32_t lw = w / o.map_x, lh = h / o.map_y;
  for (size_t i = 0; i < lines.size(); ++i) {
    const int32_t step = int32_t(i) * line;
    int32_t x = 4, y = 4 + step;
    if (o.escapement == 900) x = lw / 2 + step, y = lh / 2;
    else if (o.escapement == 1800) x = lw - 4, y = lh - 4 - step;
    else if (o.escapement == 2700) x = lw / 2 - step, y = lh / 2;
    const std::string& l = lines[i];
    if (o.font.empty()) RVExtTextOut(slot, dc, x, y, 0, nullptr, l.data(), int32_t(l.size()), nullptr);
    else RVExtTextOutEU(slot, &lf, dc, x, y, 0, nullptr, l.data(), int32_t(l.size()), nullptr);
  }
  CSX_SetGrayScale(0);
  SelectObject(dc, old);
  int32_t r = QmWritePngFile(o.out.c_str(), bm);
  DeleteObject(bm);
  DeleteDC(dc);
  if (r != QMGDI_FILE_OK) {
    std::fprintf(stderr, "pgxrender: cannot write %s\n", o.out.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const char* why = "";
  if (!ParseArgs(argc, argv, o, why)) return Usage(why);
  std::string text = o.text;
  if (!o.have_text && !PageText(ProgramDir(argv[0]), o, text)) return 1;

  int fd = ::open(o.fonts.c_str(), O_RDONLY);
  if (fd < 0) {
    std::fprintf(stderr, "pgxrender: cannot open %s\n", o.fonts.c_str());
    return 1;
  }
  int slot = CSX_SetDoc(fd, o.offset);
  if (slot <= 0) {
    std::fprintf(stderr, "pgxrender: no fonts at offset %u of %s (%d)\n", o.offset, o.fonts.c_str(), slot);
    ::close(fd);
    return 1;
  }
  LOGFONTA lf;
  std::memset(&lf, 0, sizeof lf);
  lf.lfHeight = -o.height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = CHINESEBIG5_CHARSET;
  lf.lfEscapement = o.escapement;
  lf.lfOrientation = o.escapement;
  lf.lfUnderline = o.underline;
  lf.lfStrikeOut = o.strikeout;
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", o.face.c_str());
  if (CSX_SetFont(slot, &lf) != 1) {
    std::fprintf(stderr, "pgxrender: face %s is not in the document\n", o.face.c_str());
    CSX_End(slot);
    ::close(fd);
    return 1;
  }
  if (o.surface) {
    std::vector<std::string> lines(1);
    for (char c : text) {
      if (c == '\r') continue;
      if (c == '\n') lines.emplace_back();
      else lines.back() += c;
    }
    LOGFONTA installed = lf;
    if (!o.font.empty()) std::snprintf(installed.lfFaceName, sizeof installed.lfFaceName, "%s", o.font.c_str());
    int r = DrawSurface(o, slot, installed, lines);
    CSX_End(slot);
    ::close(fd);
    return r;
  }
  int32_t unused = 0, line = 0;
  CSX_GetCharExtent(slot, 'A', &unused, &line);
  if (line <= 0) line = o.height;

  // Glyphs along the pen, one line per line of text.
  std::vector<Placed> glyphs;
  int pen_x = 0, pen_y = 0, right = 0, bottom = line;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t pos = 0, n = 0; pos < text.size(); pos += n) {
    uint16_t code = qm::glyph::NextCharacter(CHINESEBIG5_CHARSET, p, text.size(), pos, n);
    if (code == '\r') continue;
    if (code == '\n') {
      pen_x = 0;
      pen_y += line;
      bottom = pen_y + line;
      continue;
    }
    Placed g{pen_x, pen_y, {}, {}};
    int32_t size = CSX_CSP(slot, code, nullptr, &g.m);
    if (size > 0) {
      g.bits.assign(size_t(size), 0xFF);
      size = CSX_CSP(slot, code, g.bits.data(), &g.m);
    }
    if (size > 0) {
      g.x += g.m.originX;
      g.y += g.m.originY;
      right = std::max(right, g.x + g.m.width);
      bottom = std::max(bottom, g.y + g.m.height);
      glyphs.push_back(g);
    }
    pen_x += g.m.advance;
    right = std::max(right, pen_x);
  }
  CSX_End(slot);
  ::close(fd);

  Canvas page(std::max(right, 1), std::max(bottom, 1));
  for (const Placed& g : glyphs) {
    int rb = (g.m.width + 15) / 16 * 2;
    for (int y = 0; y < g.m.height; ++y)
      for (int x = 0; x < g.m.width; ++x)
        if (!(g.bits[size_t(y * rb + x / 8)] & (0x80 >> (x % 8)))) page.Ink(g.x + x, g.y + y);
  }
  if (o.ascii) {
    for (int y = 0; y < page.height; ++y) {
      std::string row;
      for (int x = 0; x < page.width; ++x) row += page.At(x, y) ? '#' : '.';
      std::printf("%s\n", row.c_str());
    }
    return 0;
  }
  HBITMAP bm = CreateBitmap(page.width, page.height, 1, 1, page.bits.data());
  int32_t r = bm ? QmWritePngFile(o.out.c_str(), bm) : QMGDI_FILE_NOMEM;
  if (bm) DeleteObject(bm);
  if (r != QMGDI_FILE_OK) {
    std::fprintf(stderr, "pgxrender: cannot write %s\n", o.out.c_str());
    return 1;
  }
  return 0;
}
