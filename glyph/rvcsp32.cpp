// librvcsp32.so: the CSX_ functions with C linkage, each a thin wrapper over the one
// process-wide renderer (renderer.h). The system-font switch asks the drawing layer
// whether an installed family of the face name exists. Built on glyph_core and
// libqmgdi.so; called by page-document viewers and the tests (through dlopen).
#include "glyph/rvcsp32.h"

#include <cstring>
#include <string>

#include "glyph/renderer.h"

namespace {

int32_t CountFace(const LOGFONTA*, const void*, DWORD, intptr_t data) {
  ++*reinterpret_cast<int*>(data);
  return 0;  // one is enough
}

qm::glyph::CspRenderer& Renderer() {
  static qm::glyph::CspRenderer* r = [] {
    auto* made = new qm::glyph::CspRenderer;
    made->SetFamilyCheck([](const LOGFONTA& lf) {
      int found = 0;
      std::string name(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));  // may fill all 32 bytes
      if (name.empty()) return false;
      QmEnumFontFamiliesCharSet(nullptr, name.c_str(), lf.lfCharSet, CountFace, reinterpret_cast<intptr_t>(&found));
      return found > 0;
    });
    return made;
  }();
  return *r;
}

// The ANSI code page, read when the library is loaded (the text functions convert by it).
const int kCodePage = qm::glyph::AnsiCodePage();

}  // namespace

namespace qm::glyph {
uint32_t GraySwitch() { return Renderer().gray_scale(); }
int LoadedCodePage() { return kCodePage; }
int32_t RenderGrayGlyph(int32_t slot, uint32_t code, uint8_t* gray, CSX_GlyphMetrics* metrics) {
  return Renderer().RenderGrayGlyph(slot, code, gray, metrics);
}
bool SlotDeviceFont(int32_t slot, LOGFONTA& out, uint8_t& char_set) {
  CSX_FontInfo info{};
  info.size = sizeof info;
  if (!Renderer().QueryFontInfo(slot, &info)) return false;  // also makes the slot current
  out = Renderer().device_font();
  char_set = out.lfCharSet == DEFAULT_CHARSET ? uint8_t(info.charSet) : out.lfCharSet;
  return true;
}
}  // namespace qm::glyph

extern "C" {

CSX_API int32_t CSX_SetDoc(int32_t fd, uint32_t directoryOffset) { return Renderer().SetDoc(fd, directoryOffset); }
CSX_API int32_t CSX_SetFont(int32_t slot, const LOGFONTA* font) { return Renderer().SetFont(slot, font); }
CSX_API int32_t CSX_CSP(int32_t slot, uint32_t code, void* bits, CSX_GlyphMetrics* metrics) {
  return Renderer().Csp(slot, code, bits, metrics);
}
CSX_API void CSX_End(int32_t slot) { Renderer().End(slot); }
CSX_API int32_t CSX_QueryFontInfo(int32_t slot, CSX_FontInfo* info) { return Renderer().QueryFontInfo(slot, info); }
CSX_API int32_t CSX_GetCharExtent(int32_t slot, uint32_t code, int32_t* advance, int32_t* height) {
  return Renderer().GetCharExtent(slot, code, advance, height);
}
CSX_API uint32_t CSX_GetTextExtent(int32_t slot, const char* text, int32_t length) {
  return Renderer().GetTextExtent(slot, text, length);
}
CSX_API void CSX_EnableSystemFont(int32_t slot, int32_t on) { Renderer().EnableSystemFont(slot, on); }
CSX_API int32_t CSX_SetWindowExt(int32_t slot, int32_t x, int32_t y) { return Renderer().SetWindowExt(slot, x, y); }
CSX_API int32_t CSX_SetViewportExt(int32_t slot, int32_t x, int32_t y) {
  return Renderer().SetViewportExt(slot, x, y);
}
CSX_API int32_t CSX_SetGrayScale(uint32_t on) { return Renderer().SetGrayScale(on); }

}  // extern "C"
