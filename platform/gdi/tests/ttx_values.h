// Test helper: the underline and strike-out values of a font file as ttx (fontTools, run
// by the Debian python3) reads them from its post, OS/2 and head tables, as an oracle
// independent of FreeType. Used by the drawing layer's and the glyph renderer's text tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qm::test {

struct TtxTableValues {
  int32_t upem = 0, under_pos = 0, under_size = 0, strike_pos = 0, strike_size = 0;
};

inline bool TtxValues(const std::string& file, TtxTableValues& v) {
  const std::string cmd = "/usr/bin/python3 -m fontTools.ttx -q -t post -t OS/2 -t head -o - '" + file + "' 2>/dev/null";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return false;
  std::string xml;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) xml.append(buf, n);
  if (::pclose(p) != 0) return false;
  auto value = [&](const char* name, int32_t& out) {
    const std::string key = std::string("<") + name + " value=\"";
    const size_t at = xml.find(key);
    if (at == std::string::npos) return false;
    out = std::atoi(xml.c_str() + at + key.size());
    return true;
  };
  return value("unitsPerEm", v.upem) && value("underlinePosition", v.under_pos) &&
         value("underlineThickness", v.under_size) && value("yStrikeoutPosition", v.strike_pos) &&
         value("yStrikeoutSize", v.strike_size) && v.upem > 0;
}

}  // namespace qm::test
