// g4tool end to end, run from the dist folder: PBM round trips, the TIFF wrapper read by
// libtiff's tiffinfo and by ImageMagick, the Transfer log, and its refusals.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <sstream>
#include <string>

#include "imaging/rvg4/tests/fixtures.h"
#include "testsupport/test_files.h"

namespace qm::rvg4::test {
namespace {

using qm::test::TempDir;

class G4tool : public ::testing::Test {
 protected:
  TempDir dir{"rvg4-g4tool-"};
  std::string out;
  // Runs g4tool with args (standard error joined to standard output); its exit code.
  int g4tool(const std::string& args) {
    out.clear();
    int status = qm::test::command_output(std::string(QM_DIST_DIR) + "/g4tool " + args + " 2>&1", out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string write_pbm(const std::string& name, const Bilevel& im) {
    std::string path = dir / name;
    qm::test::write_file(path, pbm_format(im));
    return path;
  }
};

TEST_F(G4tool, EncodeThenDecodeGivesThePbmBack) {
  for (Pattern p : {Pattern::kText, Pattern::kRandom, Pattern::kWhite}) {
    SCOPED_TRACE(pattern_name(p));
    Bilevel im = make_image(p, 1727, 500, 21);
    std::string in = write_pbm("in.pbm", im);
    ASSERT_EQ(g4tool("enc " + in + " " + dir / "x.g4"), 0) << out;
    ASSERT_EQ(g4tool("dec --width 1727 --height 500 " + dir / "x.g4 " + dir / "back.pbm"), 0) << out;
    EXPECT_EQ(qm::test::read_file(dir / "back.pbm"), pbm_format(im));
  }
}

TEST_F(G4tool, TiffWrapperIsReadByOtherTools) {
  Bilevel im = make_image(Pattern::kText, 1728, 400, 5);
  std::string in = write_pbm("in.pbm", im);
  ASSERT_EQ(g4tool("--tiff enc " + in + " " + dir / "x.tif"), 0) << out;
  std::string info;
  ASSERT_EQ(qm::test::command_output("tiffinfo " + dir / "x.tif" + " 2>&1", info), 0) << info;
  EXPECT_NE(info.find("Image Width: 1728 Image Length: 400"), std::string::npos) << info;
  EXPECT_NE(info.find("CCITT Group 4"), std::string::npos) << info;
  EXPECT_NE(info.find("min-is-white"), std::string::npos) << info;
  std::string ignored;
  if (qm::test::command_output("command -v convert >/dev/null", ignored) != 0) GTEST_SKIP() << "no ImageMagick";
  ASSERT_EQ(qm::test::command_output("convert " + dir / "x.tif " + dir / "magick.pbm 2>&1", ignored), 0) << ignored;
  std::string error;
  Bilevel back;
  ASSERT_TRUE(pbm_parse(qm::test::read_file(dir / "magick.pbm"), back, error)) << error;
  EXPECT_EQ(back.width, 1728);
  EXPECT_EQ(back.height, 400);
  EXPECT_TRUE(back.bits == im.bits);
}

TEST_F(G4tool, LogShowsEveryTransfer) {
  Bilevel im = make_image(Pattern::kRandom, 1728, 200, 2);
  std::string in = write_pbm("in.pbm", im);
  ASSERT_EQ(g4tool("--log enc " + in + " " + dir / "x.g4"), 0) << out;
  std::istringstream lines(out);
  std::string word;
  int32_t size = 0, total = 0, calls = 0, last = 0;
  while (lines >> word >> size) {
    ASSERT_EQ(word, "Transfer");
    if (calls > 0) {
      EXPECT_EQ(last, 4096);
    }
    last = size;
    total += size;
    ++calls;
  }
  EXPECT_GT(calls, 2);
  EXPECT_EQ(size_t(total), qm::test::read_file(dir / "x.g4").size());

  ASSERT_EQ(g4tool("--log dec --width 1728 --height 200 " + dir / "x.g4 " + dir / "back.pbm"), 0) << out;
  EXPECT_EQ(out.rfind("Transfer 4096 -> 4096\n", 0), 0u) << out;
  EXPECT_EQ(out.find("Transfer 4096 -> 0\n") + 19, out.size()) << out;
}

TEST_F(G4tool, RefusesWhatItCannotDo) {
  Bilevel im = make_image(Pattern::kText, 64, 50, 2);
  std::string in = write_pbm("in.pbm", im);
  ASSERT_EQ(g4tool("enc " + in + " " + dir / "x.g4"), 0) << out;
  struct Case {
    std::string args, message;
  } cases[] = {
      {"", "usage"},
      {"enc " + dir / "missing.pbm " + dir / "y.g4", "cannot read"},
      {"enc " + dir / "x.g4 " + dir / "y.g4", "not a binary PBM"},
      {"dec " + dir / "x.g4 " + dir / "y.pbm", "--width and --height"},
      {"dec --width 0 --height 5 " + dir / "x.g4 " + dir / "y.pbm", "--width needs a number"},
      {"dec --width 64 --height 51 " + dir / "x.g4 " + dir / "y.pbm", "holds 50 of 51 rows"},
      {"--tiff dec --width 64 --height 50 " + dir / "x.g4 " + dir / "y.pbm", "--tiff applies to enc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(g4tool(c.args), 1);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
  EXPECT_EQ(qm::test::read_file(dir / "y.pbm"), "");  // nothing written on failure
  EXPECT_EQ(qm::test::read_file(dir / "y.g4"), "");
}

// The declared size is only a bound: a stream of three bytes gives the few rows it codes
// (rows are written as they are decoded, nothing is set aside for the rest), and the run
// fails with the count it reached.
TEST_F(G4tool, DeclaredSizeCostsOnlyWhatTheStreamHolds) {
  qm::test::write_file(dir / "tiny.g4", std::string("\xFF\xFF\x00", 3));
  for (const char* size : {"--width 100000 --height 100000", "--width 1 --height 2147483647",
                           "--width 1048576 --height 2048"}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(g4tool(std::string("dec ") + size + " " + dir / "tiny.g4 " + dir / "y.pbm"), 1);
    EXPECT_NE(out.find("tiny.g4: the stream holds "), std::string::npos) << out;
    EXPECT_EQ(qm::test::read_file(dir / "y.pbm"), "");
  }
}

}  // namespace
}  // namespace qm::rvg4::test
