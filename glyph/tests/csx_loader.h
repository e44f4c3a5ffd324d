// librvcsp32.so as a page-document viewer sees it: loaded with dlopen from the dist
// folder once per test run, its CSX_ functions bound by name; plus helpers that draw a
// glyph into a buffer of background 0xFF and show it as ASCII art ("#" ink, bit 0).
#pragma once
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glyph/rvcsp32.h"

namespace qm::glyph::test {

struct Csx {
  void* lib = nullptr;
  decltype(&CSX_SetDoc) SetDoc = nullptr;
  decltype(&CSX_SetFont) SetFont = nullptr;
  decltype(&CSX_CSP) CSP = nullptr;
  decltype(&CSX_End) End = nullptr;
  decltype(&CSX_QueryFontInfo) QueryFontInfo = nullptr;
  decltype(&CSX_GetCharExtent) GetCharExtent = nullptr;
  decltype(&CSX_GetTextExtent) GetTextExtent = nullptr;
  decltype(&CSX_EnableSystemFont) EnableSystemFont = nullptr;
  decltype(&CSX_SetWindowExt) SetWindowExt = nullptr;
  decltype(&CSX_SetViewportExt) SetViewportExt = nullptr;

  Csx() {
    std::string path = std::string(QM_DIST_DIR) + "/librvcsp32.so";
    lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      ADD_FAILURE() << "dlopen " << path << ": " << ::dlerror();
      return;
    }
    Bind(SetDoc, "CSX_SetDoc");
    Bind(SetFont, "CSX_SetFont");
    Bind(CSP, "CSX_CSP");
    Bind(End, "CSX_End");
    Bind(QueryFontInfo, "CSX_QueryFontInfo");
    Bind(GetCharExtent, "CSX_GetCharExtent");
    Bind(GetTextExtent, "CSX_GetTextExtent");
    Bind(EnableSystemFont, "CSX_EnableSystemFont");
    Bind(SetWindowExt, "CSX_SetWindowExt");
    Bind(SetViewportExt, "CSX_SetViewportExt");
  }
  template <typename F>
  void Bind(F& f, const char* name) {
    f = reinterpret_cast<F>(::dlsym(lib, name));
    if (!f) ADD_FAILURE() << "missing export " << name;
  }
  // Ends every slot, so each test starts with none bound.
  void EndAll() {
    for (int s = 1; s <= 20; ++s) End(s);
  }
};

inline Csx& csx() {
  static Csx c;
  return c;
}

// One rendered glyph: its result, metrics and bitmap (ink where a bit is 0).
struct Glyph {
  int32_t result = 0;
  CSX_GlyphMetrics m{};
  std::vector<unsigned char> bits;

  int row_bytes() const { return (m.width + 15) / 16 * 2; }
  bool ink(int x, int y) const { return !(bits[size_t(y * row_bytes() + x / 8)] & (0x80 >> (x % 8))); }
  std::vector<std::string> art() const {
    std::vector<std::string> out;
    for (int y = 0; y < m.height; ++y) {
      std::string row;
      for (int x = 0; x < m.width; ++x) row += ink(x, y) ? '#' : '.';
      out.push_back(row);
    }
    return out;
  }
  bool operator==(const Glyph& o) const {
    return result == o.result && m.width == o.m.width && m.height == o.m.height && m.originX == o.m.originX &&
           m.originY == o.m.originY && m.advance == o.m.advance && art() == o.art();
  }
};

// Asks for the size with a null buffer, then renders into a buffer of 0xFF.
inline Glyph Render(int slot, uint32_t code) {
  Glyph g;
  int32_t size = csx().CSP(slot, code, nullptr, &g.m);
  if (size <= 0) return g;
  g.bits.assign(size_t(size), 0xFF);
  g.result = csx().CSP(slot, code, g.bits.data(), &g.m);
  return g;
}

inline LOGFONTA Font(const char* face, int32_t height, int32_t escapement = 0, int32_t weight = 400,
                     uint8_t char_set = 136) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfEscapement = escapement;
  lf.lfWeight = weight;
  lf.lfCharSet = char_set;
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
  return lf;
}

}  // namespace qm::glyph::test
