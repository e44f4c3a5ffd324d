// The docpress program over the real framework libkvx.so. docpress and libkvx.so are
// copied into a scratch directory with a docpress.tpt of their own, and the export is
// answered by the framework's test filter (named in $KVX_PLUGINS), which writes the
// options it reads; so the run does not depend on which export filters lie in dist/.
// Also the exit codes, Export.err in the working directory and the usage text.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "mail/docpress/docpress.h"
#include "testsupport/test_files.h"

namespace {

namespace fs = std::filesystem;

class DocpressProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    bin = dir.sub("bin");
    work = dir.sub("work");
    for (const char* name : {"docpress", "libkvx.so"})
      fs::copy_file(std::string(QM_DIST_DIR) + "/" + name, bin + name);
    qm::test::write_file(bin + "docpress.tpt", "template\n");
  }
  // Runs the copied program in the work directory; its exit code, output in *printed.
  int run(const std::string& args, const std::string& env = "", std::string* printed = nullptr) {
    std::string out;
    const int status = qm::test::command_output("cd '" + work + "' && env KVX_PLUGINS='" QM_KVX_TESTFILTER "' " +
                                                    env + " '" + bin + "docpress' " + args + " 2>/dev/null",
                                                out);
    if (printed) *printed = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  qm::test::TempDir dir;
  std::string bin, work;
};

TEST_F(DocpressProgram, ConvertsThroughTheFrameworkWithItsOptions) {
  const std::string input = std::string(QM_FRAMEWORK_DATA) + "/sample.rtf";
  EXPECT_EQ(run("'" + input + "' out.htm"), 1);
  const std::string html = qm::test::read_file(work + "out.htm");
  EXPECT_NE(html.find("export 1101\n"), std::string::npos) << html;
  for (const std::string& line :
       {std::string("option 1 330694656\n"), std::string("option 2 4012\n"), std::string("option 6 1998\n"),
        std::string("option 7 0\n"), std::string("option 27 1\n"), std::string("option 31 2\n"),
        std::string("option 337890 1\n"), "option 3 " + bin + "docpress.tpt" + std::string(1, '\0') + "\n",
        std::string("export start 50\n")})
    EXPECT_NE(html.find(line), std::string::npos) << line;
  EXPECT_FALSE(fs::exists(work + "Export.err"));
}

TEST_F(DocpressProgram, FailuresExitWith255AndAreLogged) {
  EXPECT_EQ(run("missing.doc out.htm"), 255);
  EXPECT_EQ(qm::test::read_file(work + "Export.err"),
            "missing.doc:Fail to open document..., error code:" + std::to_string(KVXERR_OPENFAILED) + "\n");
  const std::string input = std::string(QM_FRAMEWORK_DATA) + "/sample.rtf";
  EXPECT_EQ(run("'" + input + "' out.htm", "KVX_FAIL_CALL=EXRunExport:1:21"), 255);
  EXPECT_EQ(qm::test::read_file(work + "Export.err"),
            "missing.doc:Fail to open document..., error code:" + std::to_string(KVXERR_OPENFAILED) + "\n" + input +
                ":Fail to run export..., error code:21\n");
}

TEST_F(DocpressProgram, UsageWithOneOrFourArguments) {
  for (const char* args : {"a", "a b c d"}) {
    std::string printed;
    EXPECT_EQ(run(args, "", &printed), 255);
    EXPECT_EQ(printed, qm::docpress::kUsage);
  }
}

}  // namespace
