// pgxrender end to end: a PGX document (two text runs on page 1, Big5 and ASCII) with a
// font directory of real outline glyphs appended, rendered from the program directory;
// the PNG must equal the committed golden (QM_UPDATE_GOLDEN=1 rewrites it), and the
// ASCII art of the same text given with --text must show the same ink. Bad arguments and
// a missing face end with a message and a nonzero status.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "glyph/tests/ttf_outlines.h"
#include "pagedoc/tests/pgx_writer.h"
#include "platform/gdi/tests/private_fonts.h"
#include "testsupport/test_files.h"

namespace qm::glyph::test {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs a command line, returning its exit status and standard output.
int RunCommand(const std::string& cmd, std::string& out) {
  out.clear();
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int st = ::pclose(p);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

const std::string kLine1 = "\xA4\xA4\xA4\xE5\xA6\x72";  // "中文字" in Big5
const std::string kLine2 = "PGX 42";

struct Fixture {
  qm::test::TempDir dir{"qm-pgxrender-"};
  std::string doc, fonts_arg;
  explicit Fixture(const std::string& face = "Ming") {
    pgx::test::DocSpec spec;
    pgx::test::TextRun a, b;
    a.text = kLine1;
    b.x = 0;
    b.y = 40;
    b.text = kLine2;
    spec.pages.push_back(pgx::test::PageWriter().text({a, b}).end().bytes());
    std::string bytes = pgx::test::write_pgx(spec).bytes;
    size_t at = bytes.size();
    bytes += RealFontDirectory(face, {0xA4A4, 0xA4E5, 0xA672, 'P', 'G', 'X', '4', '2'});
    doc = dir.path() + "/page.pgx";
    qm::test::write_file(doc, bytes);
    fonts_arg = doc + "@" + std::to_string(at);
  }
};

const std::string kProgram = std::string(QM_DIST_DIR) + "/pgxrender";

TEST(Pgxrender, PageOneEqualsTheGolden) {
  Fixture f;
  std::string png = f.dir.path() + "/page1.png", out;
  ASSERT_EQ(RunCommand(kProgram + " --fonts " + f.fonts_arg + " --face Ming --height 24 --pgx " + f.doc +
                    " --page 1 --out " + png + " 2>&1",
                out),
            0)
      << out;
  std::string golden_path = std::string(QM_SOURCE_DIR) + "/glyph/tests/data/pgxrender_page1.png";
  if (std::getenv("QM_UPDATE_GOLDEN")) qm::test::write_file(golden_path, ReadAll(png));
  std::string golden = ReadAll(golden_path);
  ASSERT_FALSE(golden.empty()) << "missing " << golden_path;
  EXPECT_TRUE(ReadAll(png) == golden) << "rendering differs from " << golden_path;
}

// The surface form through the text calls: four escapements, underline, strike-out,
// opaque and transparent backgrounds, gray, the installed font beside the document face,
// and a 2:1 mapping; each PNG equals its golden (glyph/tests/update_goldens.sh rewrites
// them). On a difference the output is kept beside the build for inspection.
TEST(Pgxrender, SurfaceFormsEqualTheirGoldens) {
  qm::test::UsePrivateFonts();
  // The installed-font cases name one face for both: the document's face carries the
  // installed family's name, so that ordinary characters go to the installed font and
  // end-user ones to the document face. "Quill Test" is the font the tests generate with
  // fontTools (its glyphs pin the golden; the Chinese characters fall to its notdef box).
  const char* const kUming = "AR PL UMing TW";
  const std::string kMixed = "--font 'AR PL UMing TW'";
  struct Case {
    const char* name;
    const char* face;  // of the document, and of the installed font with --font
    std::string options;
  } cases[] = {
      {"rv_plain", "Ming", "--escapement 0"},
      {"rv_e900_underline", "Ming", "--escapement 900 --underline"},
      {"rv_e1800_strikeout_opaque", "Ming", "--escapement 1800 --strikeout --opaque"},
      {"rv_e2700", "Ming", "--escapement 2700"},
      {"rv_gray", "Ming", "--gray"},
      {"rv_e1800_gray", "Ming", "--escapement 1800 --gray"},
      {"eu_gray", kUming, kMixed + " --gray"},
      {"eu_e900_gray_underline", kUming, kMixed + " --gray --escapement 900 --underline"},
      {"eu_e2700_gray", kUming, kMixed + " --gray --escapement 2700"},
      {"eu_plain_opaque", kUming, kMixed + " --opaque --underline"},
      {"eu_map_2_1", kUming, kMixed + " --map 2:1"},
      {"eu_testfont_gray_strikeout", "Quill Test", "--font 'Quill Test' --gray --strikeout --escapement 1800"},
  };
  std::map<std::string, std::unique_ptr<Fixture>> fixtures;
  for (const Case& c : cases) {
    auto& slot = fixtures[c.face];
    if (!slot) slot = std::make_unique<Fixture>(c.face);
    const Fixture& f = *slot;
    std::string png = f.dir.path() + "/" + c.name + ".png", out;
    ASSERT_EQ(RunCommand(kProgram + " --fonts " + f.fonts_arg + " --face '" + c.face + "' --height 24 --pgx " + f.doc +
                             " --page 1 " + c.options + " --out " + png + " 2>&1",
                         out),
              0)
        << c.name << ": " << out;
    std::string golden_path = std::string(QM_SOURCE_DIR) + "/glyph/tests/data/pgxrender_" + c.name + ".png";
    if (std::getenv("QM_UPDATE_GOLDEN")) qm::test::write_file(golden_path, ReadAll(png));
    std::string golden = ReadAll(golden_path);
    ASSERT_FALSE(golden.empty()) << "missing " << golden_path;
    if (ReadAll(png) != golden) {
      const std::string kept = std::string(QM_DIST_DIR) + "/../pgxrender_" + c.name + ".actual.png";
      qm::test::write_file(kept, ReadAll(png));
      ADD_FAILURE() << c.name << " differs from " << golden_path << "; output kept in " << kept;
    }
  }
}

TEST(Pgxrender, AsciiArtOfTextShowsEveryCharacter) {
  Fixture f;
  std::string art;
  ASSERT_EQ(RunCommand(kProgram + " --fonts " + f.fonts_arg + " --face Ming --height 16 --text '" + kLine1 + "' --ascii", art),
            0);
  std::istringstream rows(art);
  std::string row;
  std::vector<std::string> lines;
  while (std::getline(rows, row)) lines.push_back(row);
  ASSERT_GE(lines.size(), 12u);
  // Three full-width characters of 16 pixels, each with ink in its own 16 columns.
  ASSERT_GE(lines[0].size(), 48u);
  for (int c = 0; c < 3; ++c) {
    bool ink = false;
    for (const std::string& l : lines) ink |= l.find('#', size_t(c * 16)) < size_t(c * 16 + 16);
    EXPECT_TRUE(ink) << "character " << c << "\n" << art;
  }
}

TEST(Pgxrender, BadArgumentsAndMissingFaces) {
  Fixture f;
  std::string out;
  struct Case {
    std::string args;
  } cases[] = {{""},
               {"--fonts " + f.doc + " --face Ming --height 16 --text A --ascii"},
               {"--fonts " + f.fonts_arg + " --face Nope --height 16 --text A --ascii"},
               {"--fonts " + f.fonts_arg + " --face Ming --height 16 --ascii"},
               {"--fonts " + f.doc + "@0 --face Ming --height 16 --text A --ascii"},
               {"--fonts " + f.fonts_arg + " --face Ming --height 16 --pgx /nonexistent.pgx --ascii"}};
  for (const Case& c : cases) EXPECT_NE(RunCommand(kProgram + " " + c.args + " 2>/dev/null", out), 0) << c.args;
}

}  // namespace
}  // namespace qm::glyph::test
