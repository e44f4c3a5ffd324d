// Test helper: a private fontconfig configuration that lists only the test fonts
// (DejaVu and AR PL UMing) with its own cache folder, made current through
// FONTCONFIG_FILE before fontconfig is first used in the process.
#pragma once
#include <cstdlib>
#include <fstream>
#include <string>

#include "testsupport/test_files.h"

namespace qm::test {

inline void UsePrivateFonts() {
  static TempDir dir("qm-fonts-");
  static bool done = [] {
    std::ofstream conf(dir.path() + "/fonts.conf");
    conf << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
         << "  <dir>/usr/share/fonts/truetype/dejavu</dir>\n"
         << "  <dir>/usr/share/fonts/truetype/arphic</dir>\n"
         << "  <cachedir>" << dir.path() << "/cache</cachedir>\n</fontconfig>\n";
    conf.close();
    ::setenv("FONTCONFIG_FILE", (dir.path() + "/fonts.conf").c_str(), 1);
    return true;
  }();
  (void)done;
}

}  // namespace qm::test
