// Installed fonts of the drawing layer (qmgdi.h): EnumFontFamiliesA over fontconfig's
// font list. The family name arrives in the character set of the caller's LOGFONTA and is
// converted to UTF-8 with iconv before fontconfig compares it; the faces found are
// reported back with their names in that character set. Built on fontconfig and iconv;
// called by the glyph renderer to decide whether an installed font stands in for a face.
#include <fontconfig/fontconfig.h>
#include <iconv.h>

#include <cstring>
#include <set>
#include <string>

#include "platform/gdi/gdi_internal.h"

namespace qm::gdi {

const char* codeset_of(BYTE char_set) {
  switch (char_set) {
    case CHINESEBIG5_CHARSET: return "CP950";
    case GB2312_CHARSET: return "CP936";
    case SHIFTJIS_CHARSET: return "CP932";
    case HANGEUL_CHARSET: return "CP949";
    default: return "CP1252";
  }
}

// Converts with iconv; false when a byte sequence is invalid in `from`.
bool convert(const std::string& in, const char* from, const char* to, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return false;
  out.assign(in.size() * 4 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (r == size_t(-1)) return false;
  out.resize(out.size() - dst_left);
  return true;
}

}  // namespace qm::gdi

using qm::gdi::codeset_of;
using qm::gdi::convert;

extern "C" {

QMGDI_API int32_t QmEnumFontFamiliesCharSet(HDC, const char* family, BYTE char_set, FONTENUMPROCA proc,
                                            intptr_t data) {
  if (!proc) return 0;
  const char* codeset = codeset_of(char_set);
  std::string wanted;
  if (family && !convert(family, codeset, "UTF-8", wanted)) return 0;
  if (family && wanted.empty()) return 0;
  if (!FcInit()) return 0;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return 0;
  if (family) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(wanted.c_str()));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = objects ? FcFontList(nullptr, pattern, objects) : nullptr;
  int32_t result = 0;
  std::set<std::string> seen;
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcChar8* name = nullptr;
    // A face lists every name of its family; the asked one, else its first.
    std::string chosen;
    for (int k = 0; FcPatternGetString(fonts->fonts[i], FC_FAMILY, k, &name) == FcResultMatch; ++k) {
      std::string n = reinterpret_cast<const char*>(name);
      if (k == 0 || n == wanted) chosen = n;
      if (n == wanted) break;
    }
    if (!family && !seen.insert(chosen).second) continue;
    LOGFONTA lf;
    std::memset(&lf, 0, sizeof lf);
    lf.lfCharSet = char_set;
    lf.lfWeight = FW_NORMAL;
    std::string local;
    if (!convert(chosen, "UTF-8", codeset, local)) local = family ? family : "";
    std::strncpy(lf.lfFaceName, local.c_str(), LF_FACESIZE - 1);
    result = proc(&lf, nullptr, 4 /* a TrueType face */, data);
    if (result == 0) break;
  }
  if (fonts) FcFontSetDestroy(fonts);
  if (objects) FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return result;
}

QMGDI_API int32_t EnumFontFamiliesA(HDC dc, const char* family, FONTENUMPROCA proc, intptr_t data) {
  return QmEnumFontFamiliesCharSet(dc, family, ANSI_CHARSET, proc, data);
}

}  // extern "C"
