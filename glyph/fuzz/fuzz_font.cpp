// libFuzzer target: the embedded-font reader and the glyph renderer. The input is a font
// directory (as a page document holds it, at offset 0); each of its first two faces is
// selected at a size, weight, slant and escapement that follow from the input's size,
// and a set of codes (fixed ones, and codes from the input's last bytes) drawn through
// every path: glyph records, stroke programs, outlines, bitmap strikes, the glyph cache,
// gray glyphs, extents and font information. Built with clang by scripts/fuzz;
// testsupport/fuzz_replay.cpp runs the committed corpus in CTest.
#include <cstdio>
#include <string>
#include <vector>

#include "glyph/font_reader.h"
#include "glyph/renderer.h"
#include "testsupport/fuzz_input.h"

namespace {

void draw(qm::glyph::CspRenderer& r, int32_t slot, const std::vector<uint32_t>& codes) {
  std::vector<unsigned char> bits;
  for (uint32_t code : codes) {
    CSX_GlyphMetrics m{};
    int32_t n = r.Csp(slot, code, nullptr, &m);
    if (n > 0) {
      bits.assign(size_t(n), 0xFF);
      r.Csp(slot, code, bits.data(), &m);
    }
    n = r.RenderGrayGlyph(slot, code, nullptr, &m);
    if (n > 0) {
      bits.assign(size_t(n), 0);
      r.RenderGrayGlyph(slot, code, bits.data(), &m);
    }
    int32_t advance = 0, height = 0;
    r.GetCharExtent(slot, code, &advance, &height);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qm::fuzz::MemFile file(data, size);
  std::vector<std::string> faces;
  {
    qm::glyph::FontReader reader;
    if (reader.LoadFontDirectory(file.fd(), 0) != qm::glyph::kDirLoaded) return 0;
    for (const auto& f : reader.fonts())
      if (!f.face_name.empty() && faces.size() < 2) faces.push_back(f.face_name);
  }
  std::vector<uint32_t> codes{0x20, 0x41, 0x42, 0x61, 0xA140, 0xA440, 0xA441, 0xA4A4, 0xFFFF};
  for (size_t k = size >= 8 ? size - 8 : size; k + 1 < size; k += 2) codes.push_back(uint32_t(data[k]) << 8 | data[k + 1]);
  qm::glyph::CspRenderer r;
  r.SetFamilyCheck([](const LOGFONTA&) { return false; });
  int32_t slot = r.SetDoc(file.fd(), 0);
  if (slot <= 0) return 0;
  for (size_t i = 0; i < faces.size(); ++i) {
    LOGFONTA lf{};
    const size_t pick = size / 7 + i;
    const int32_t heights[] = {-12, -16, -24, -37, 13, -64, -5};
    lf.lfHeight = heights[pick % 7];
    lf.lfWeight = pick % 3 == 0 ? FW_BOLD : 400;
    lf.lfItalic = uint8_t(pick % 5 == 0);
    lf.lfEscapement = int32_t(pick % 4) * 900;
    lf.lfCharSet = 136;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", faces[i].c_str());
    if (r.SetFont(slot, &lf) != 1) continue;
    r.SetGrayScale(uint32_t(pick % 2));
    CSX_FontInfo info{};
    info.size = sizeof info;
    r.QueryFontInfo(slot, &info);
    draw(r, slot, codes);
    r.GetTextExtent(slot, "AB\xa4\xa4\xa4\x40", 6);
  }
  r.End(slot);
  return 0;
}
