// Test helper: a private fontconfig configuration that lists only the test fonts
// (DejaVu, AR PL UMing and "Quill Test", which make_test_font.py writes with fontTools into
// the configuration's folder) with its own cache folder, made current through
// FONTCONFIG_FILE before fontconfig is first used in the process.
#pragma once
#include <cstdlib>
#include <fstream>
#include <string>

#include "testsupport/test_files.h"

namespace qm::test {

// The folder of the private configuration and of the generated font.
inline const std::string& PrivateFontDir() {
  static TempDir dir("qm-fonts-");
  return dir.path();
}

// The generated "Quill Test" font file (empty until UsePrivateFonts has run).
inline std::string& TestFontPath() {
  static std::string path;
  return path;
}

inline void UsePrivateFonts() {
  static bool done = [] {
    const std::string& dir = PrivateFontDir();
    const std::string font = dir + "/QuillTest.ttf";
    const std::string make = "/usr/bin/python3 " QM_SOURCE_DIR "/platform/gdi/tests/make_test_font.py '" + font + "'";
    if (std::system(make.c_str()) == 0) TestFontPath() = font;
    std::ofstream conf(dir + "/fonts.conf");
    conf << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
         << "  <dir>/usr/share/fonts/truetype/dejavu</dir>\n"
         << "  <dir>/usr/share/fonts/truetype/arphic</dir>\n"
         << "  <dir>" << dir << "</dir>\n"
         << "  <cachedir>" << dir << "/cache</cachedir>\n</fontconfig>\n";
    conf.close();
    ::setenv("FONTCONFIG_FILE", (dir + "/fonts.conf").c_str(), 1);
    return true;
  }();
  (void)done;
}

}  // namespace qm::test
