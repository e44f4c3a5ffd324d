// Tests of docpress's sequence over a recording stand-in of the framework: the calls in
// order with every option and value, the answer to every callback, each failing step
// (message, closes made, whether the output was deleted yet), the usage text, and the
// clean-up of "&#160;".
#include "mail/docpress/docpress.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "testsupport/test_files.h"

namespace {

using qm::docpress::Framework;

// What the stand-in saw, and the statuses it is told to give (by call number).
struct Recorder {
  std::vector<std::string> calls;
  std::vector<KVXSTATUS> statuses;
  KVXCALLBACK callback = nullptr;
  std::string output_path;
  std::string output_text = "<P>one&#160;two&#160;&#160;end</P>\n";
  bool output_seen_at_set = false;  // whether the output still existed after the open

  KVXSTATUS next(const std::string& call) {
    calls.push_back(call);
    const size_t n = calls.size() - 1;
    return n < statuses.size() ? statuses[n] : KVX_OK;
  }
};
Recorder* rec = nullptr;

constexpr KVXHANDLE kDoc = 41, kExport = 42;

KVXSTATUS fake_init() { return rec->next("DAInit"); }
KVXSTATUS fake_deinit() { return rec->next("DADeInit"); }
KVXSTATUS fake_open(KVXHANDLE* out, uint32_t spec_type, const void* spec, uint32_t flags) {
  *out = kDoc;
  return rec->next("DAOpenDocument " + std::to_string(spec_type) + " " + static_cast<const char*>(spec) + " " +
                   std::to_string(flags));
}
KVXSTATUS fake_close(KVXHANDLE d) { return rec->next("DACloseDocument " + std::to_string(d)); }
KVXSTATUS fake_set(KVXHANDLE h, uint32_t id, const void* value, uint32_t size) {
  std::string v;
  if (id == KVXOPT_TEMPLATE) {
    v = std::string(static_cast<const char*>(value), size);
    EXPECT_EQ(v.back(), '\0');  // the size counts the NUL
    v.pop_back();
  } else {
    EXPECT_EQ(size, 4u);
    uint32_t w = 0;
    std::memcpy(&w, value, 4);
    v = std::to_string(w);
  }
  if (rec->calls.size() == 2) rec->output_seen_at_set = access(rec->output_path.c_str(), F_OK) == 0;
  return rec->next("DASetOption " + std::to_string(h) + " " + std::to_string(id) + "=" + v + " size " +
                   std::to_string(size));
}
KVXSTATUS fake_open_export(KVXHANDLE d, uint32_t type, uint32_t spec_type, const void* spec, uint32_t flags,
                           const KVXSELECTION* selection, KVXCALLBACK callback, void* host, KVXHANDLE* out) {
  *out = kExport;
  rec->callback = callback;
  return rec->next("EXOpenExport " + std::to_string(d) + " " + std::to_string(type) + " " +
                   std::to_string(spec_type) + " " + static_cast<const char*>(spec) + " " + std::to_string(flags) +
                   (selection ? " selection" : " 0") + (callback ? " callback" : " 0") + (host ? " host" : " 0"));
}
KVXSTATUS fake_run(KVXHANDLE e) {
  qm::test::write_file(rec->output_path, rec->output_text);
  return rec->next("EXRunExport " + std::to_string(e));
}
KVXSTATUS fake_close_export(KVXHANDLE e) { return rec->next("EXCloseExport " + std::to_string(e)); }

const Framework kFake = {fake_init, fake_deinit, fake_open, fake_close, fake_set, fake_open_export, fake_run,
                         fake_close_export};

class DocpressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rec = &recorder;
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    old_cwd = buf;
    ASSERT_EQ(chdir(dir.dir().c_str()), 0);  // Export.err goes to the working directory
    input = dir / "in.doc";
    output = dir / "out.htm";
    recorder.output_path = output;
  }
  void TearDown() override {
    EXPECT_EQ(chdir(old_cwd.c_str()), 0);
    rec = nullptr;
  }
  int run(std::vector<std::string> args, std::string* printed = nullptr) {
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::FILE* out = std::tmpfile();
    const int rc = qm::docpress::run(kFake, int(argv.size()), argv.data(), out);
    if (printed) *printed = qm::test::file_contents(out);
    std::fclose(out);
    return rc;
  }
  qm::test::TempDir dir;
  std::string old_cwd, input, output;
  Recorder recorder;
};

TEST_F(DocpressTest, CallsInOrderWithEveryOptionAndTheDefaultAnswer) {
  qm::test::write_file(output, "old");
  ASSERT_EQ(run({"/opt/qm/docpress", input, output}), 1);
  const std::vector<std::string> expected = {
      "DAInit",
      "DAOpenDocument 2 " + input + " 0",
      "DASetOption 41 2=4012 size 4",
      "DASetOption 41 32=1 size 4",
      "EXOpenExport 41 1101 2 " + output + " 0 0 callback 0",
      "DASetOption 41 7=0 size 4",
      "DASetOption 41 6=1998 size 4",
      "DASetOption 41 27=1 size 4",
      "DASetOption 41 3=/opt/qm/docpress.tpt size 21",
      "DASetOption 41 1=330694656 size 4",
      "DASetOption 41 31=2 size 4",
      "DASetOption 41 337890=1 size 4",
      "EXRunExport 42",
      "EXCloseExport 42",
      "DACloseDocument 41",
      "DADeInit",
  };
  EXPECT_EQ(recorder.calls, expected);
  EXPECT_FALSE(recorder.output_seen_at_set);  // deleted after the open
  ASSERT_NE(recorder.callback, nullptr);
  for (uint32_t id : {0u, 1u, 50u, 256u, 257u, 258u, 259u, 260u, 261u, 262u, 279u, 280u, 0xFFFFFFFFu})
    EXPECT_EQ(recorder.callback(kExport, nullptr, id, nullptr), KVXCB_USEDEFAULT) << id;
  EXPECT_EQ(qm::test::read_file("Export.err"), "");
}

TEST_F(DocpressTest, EachFailingStep) {
  struct Case {
    size_t call;  // the call that fails
    const char* message;
    std::vector<std::string> after;  // the calls that follow it
    bool output_deleted;
  } cases[] = {
      {0, "Fail to initialize...", {"DADeInit"}, false},
      {1, "Fail to open document...", {"DADeInit"}, false},
      {2, "Fail to set option...", {"DACloseDocument 41", "DADeInit"}, true},
      {3, "Fail to set option...", {"DACloseDocument 41", "DADeInit"}, true},
      {4, "Fail to open export...", {"DACloseDocument 41", "DADeInit"}, true},
      {5, "Fail to set option 2...", {"EXCloseExport 42", "DACloseDocument 41", "DADeInit"}, true},
      {8, "Fail to set option 2...", {"EXCloseExport 42", "DACloseDocument 41", "DADeInit"}, true},
      {11, "Fail to set option 2...", {"EXCloseExport 42", "DACloseDocument 41", "DADeInit"}, true},
      {12, "Fail to run export...", {"EXCloseExport 42", "DACloseDocument 41", "DADeInit"}, true},
      {13, "Fail to close export...", {"DACloseDocument 41", "DADeInit"}, true},
      {14, "Fail to close document...", {"DADeInit"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    recorder = Recorder();
    recorder.output_path = output;
    recorder.statuses.assign(c.call + 1, KVX_OK);
    recorder.statuses[c.call] = KVXSTATUS(100 + c.call);
    std::remove("Export.err");
    qm::test::write_file(output, "old");
    EXPECT_EQ(run({"/opt/qm/docpress", input, output}), -1);
    ASSERT_EQ(recorder.calls.size(), c.call + 1 + c.after.size());
    EXPECT_EQ(std::vector<std::string>(recorder.calls.begin() + long(c.call) + 1, recorder.calls.end()), c.after);
    EXPECT_EQ(qm::test::read_file("Export.err"),
              input + ":" + c.message + ", error code:" + std::to_string(100 + c.call) + "\n");
    const bool exists = access(output.c_str(), F_OK) == 0;
    if (c.call < 12) {  // later steps wrote it anew
      EXPECT_EQ(exists, !c.output_deleted);
    }
  }
}

// A document that a limit cut is converted as far as it was read: the sequence runs to its
// end, the page is cleaned as any other, and the run is logged and fails.
TEST_F(DocpressTest, CutDocumentKeepsItsPageAndFails) {
  recorder.statuses.assign(16, KVX_OK);
  recorder.statuses[12] = KVXERR_TRUNCATED;
  recorder.output_text = "<P>kept&#160;part</P>";
  EXPECT_EQ(run({"docpress", input, output}), -1);
  ASSERT_EQ(recorder.calls.size(), 16u);
  EXPECT_EQ(std::vector<std::string>(recorder.calls.begin() + 13, recorder.calls.end()),
            (std::vector<std::string>{"EXCloseExport 42", "DACloseDocument 41", "DADeInit"}));
  EXPECT_EQ(qm::test::read_file(output), "<P>kept part</P>");
  EXPECT_EQ(qm::test::read_file("Export.err"), input + ":Document cut short..., error code:48\n");
}

TEST_F(DocpressTest, FailuresAppendToTheLog) {
  recorder.statuses = {KVX_OK, KVXERR_OPENFAILED};
  EXPECT_EQ(run({"docpress", "a b.doc", output}), -1);
  recorder = Recorder();
  recorder.output_path = output;
  recorder.statuses = {-3};
  EXPECT_EQ(run({"docpress", input, output, "-n"}), -1);
  EXPECT_EQ(qm::test::read_file("Export.err"), "a b.doc:Fail to open document..., error code:7\n" + input +
                                                   ":Fail to initialize..., error code:-3\n");
}

TEST_F(DocpressTest, AFailedDeInitAtTheEndIsNoFailure) {
  recorder.statuses.assign(16, KVX_OK);
  recorder.statuses[15] = 99;
  EXPECT_EQ(run({"docpress", input, output}), 1);
  EXPECT_EQ(qm::test::read_file("Export.err"), "");
}

TEST_F(DocpressTest, UsageForAWrongArgumentCount) {
  const std::string usage =
      "\n\nOBJECT   : Converts the input file to HTML.\n"
      "USAGE    : docpress [InputFile] [OutputFile] [-n]\n"
      "PARAMETER: \"InputFile\" the file to be converted to HTML.\n"
      "           \"OutputFile\" where to place the converted file.\n"
      "           \"[-n]\" don't parse error code(not necessary).\n"
      "Example  : docpress test.doc test.htm\n"
      "     or  : docpress test.doc test.htm -n\n"
      "NOTE     : The template file 'docpress.tpt' must in the same path!!\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"docpress"}, {"docpress", "a"}, {"docpress", "a", "b", "c", "d"}}) {
    std::string printed;
    EXPECT_EQ(run(args, &printed), -1);
    EXPECT_EQ(printed, usage);
  }
  EXPECT_TRUE(recorder.calls.empty());
  EXPECT_EQ(access("Export.err", F_OK), -1);
}

TEST_F(DocpressTest, NonBreakingSpacesBecomeBlanksUnlessAThirdArgument) {
  static const char kRaw[] = "<P>one&#160;two&#160;&#160;end&#160</P>\0after&#160;\n";
  static const char kClean[] = "<P>one two  end&#160</P>\0after \n";
  recorder.output_text = std::string(kRaw, sizeof kRaw - 1);
  ASSERT_EQ(run({"docpress", input, output}), 1);
  // Two in a row give two blanks; an unfinished entity stays; text after a NUL is kept.
  EXPECT_EQ(qm::test::read_file(output), std::string(kClean, sizeof kClean - 1));

  recorder = Recorder();
  recorder.output_path = output;
  ASSERT_EQ(run({"docpress", input, output, "anything"}), 1);
  EXPECT_EQ(qm::test::read_file(output), "<P>one&#160;two&#160;&#160;end</P>\n");
}

TEST(DocpressEntities, ReplaceTable) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"&#160;", " "},
      {"&#160;&#160;", "  "},
      {"a&#160b", "a&#160b"},
      {"&#1600;", "&#1600;"},
      {"&#X160;", "&#X160;"},
      {"&&#160;;", "& ;"},
  };
  for (const auto& c : cases) EXPECT_EQ(qm::docpress::replace_nbsp(c.in), c.out) << c.in;
}

}  // namespace
