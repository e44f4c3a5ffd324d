// Exports through libkvx.so with the test filter: open, run and close writing a file
// through IOCreate; docpress's call sequence with its option values, and each of its calls
// failing once; callbacks; nested exports; failures of the filter's own routines.
#include <cstdio>
#include <cstring>
#include <vector>

#include "filters/framework/tests/framework_fixture.h"

namespace kvx::test {
namespace {

constexpr uint32_t kOptFailRoutine = 0x7E570001;
constexpr uint32_t kOptFailStatus = 0x7E570002;
constexpr uint32_t kOptNestedType = 0x7E570003;

KVXSTATUS answer_default(KVXHANDLE, void*, uint32_t, void*) { return KVXCB_USEDEFAULT; }

KVXSTATUS set_word(KVXHANDLE h, uint32_t id, uint32_t v) { return DASetOption(h, id, &v, 4); }

using ExportTest = FrameworkTest;

TEST_F(ExportTest, TestFilterWritesItsFileThroughIOCreate) {
  std::string in = script("section wp\ntext cp1252 \"Hello\"\npara\n");
  std::string out = dir_ / "out.htm";
  KVXHANDLE doc = 0, ex = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  ASSERT_EQ(EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex), KVX_OK);
  EXPECT_NE(ex, 0u);
  EXPECT_EQ(EXRunExport(ex), KVX_OK);
  EXPECT_EQ(EXCloseExport(ex), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
  std::string text = qm::test::read_file(out);
  EXPECT_NE(text.find("export 1101\n"), std::string::npos) << text;
  EXPECT_NE(text.find("items 2\n"), std::string::npos) << text;
  // Without a callback the framework answers "use the default".
  EXPECT_NE(text.find("export start 50\n"), std::string::npos) << text;
  // Closed handles are gone.
  EXPECT_EQ(EXRunExport(ex), KVXERR_BADHANDLE);
  EXPECT_EQ(DACloseDocument(doc), KVXERR_BADHANDLE);
}

// docpress's sequence of calls; fail_step arms the framework's hook for that call (0: none).
// Returns the index of the first call that failed (0: none) and its status.
struct Outcome {
  int failed_step = 0;
  KVXSTATUS status = 0;
};

Outcome run_docpress(const std::string& input, const std::string& output, const std::string& tpl, int fail_step) {
  static const char* const kCalls[] = {"",           "DAInit",      "DAOpenDocument", "DASetOption", "DASetOption",
                                       "EXOpenExport", "DASetOption", "DASetOption",    "DASetOption", "DASetOption",
                                       "DASetOption",  "DASetOption", "DASetOption",    "EXRunExport", "EXCloseExport",
                                       "DACloseDocument", "DADeInit"};
  int step = 0;
  Outcome o;
  auto call = [&](auto&& fn) {
    ++step;
    if (step == fail_step) KVXTestFailCall(kCalls[step], 99);
    KVXSTATUS st = fn();
    if (st != KVX_OK && o.failed_step == 0) o = {step, st};
    return st;
  };
  KVXHANDLE doc = 0, ex = 0;
  if (call([&] { return DAInit(); })) return o;
  if (call([&] { return DAOpenDocument(&doc, KVXSPEC_PATH, input.c_str(), 0); })) return DADeInit(), o;
  std::remove(output.c_str());
  if (call([&] { return set_word(doc, KVXOPT_FALLBACKFORMAT, 4012); }) ||
      call([&] { return set_word(doc, KVXOPT_ROOTFILECALLBACK, 1); })) {
    DACloseDocument(doc);
    return DADeInit(), o;
  }
  if (call([&] {
        return EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, output.c_str(), 0, nullptr, answer_default, nullptr, &ex);
      })) {
    DACloseDocument(doc);
    return DADeInit(), o;
  }
  uint32_t byte_order = 2;
  bool ok = !call([&] { return set_word(doc, KVXOPT_FLAVOR, 0); }) &&
            !call([&] { return set_word(doc, KVXOPT_GRAPHICTYPE, KVXEXPORT_NONE); }) &&
            !call([&] { return set_word(doc, KVXOPT_WRITERFLAGS, 1); }) &&
            !call([&] { return DASetOption(doc, KVXOPT_TEMPLATE, tpl.c_str(), uint32_t(tpl.size() + 1)); }) &&
            !call([&] { return set_word(doc, KVXOPT_CHARSET, KVXCS_BIG5); }) &&
            !call([&] { return DASetOption(doc, KVXOPT_CHARBYTEORDER, &byte_order, 4); }) &&
            !call([&] { return set_word(doc, KVXOPT_337890, 1); });
  if (!ok || call([&] { return EXRunExport(ex); })) {
    EXCloseExport(ex);
    DACloseDocument(doc);
    return DADeInit(), o;
  }
  if (call([&] { return EXCloseExport(ex); })) {
    DACloseDocument(doc);
    return DADeInit(), o;
  }
  if (call([&] { return DACloseDocument(doc); })) return DADeInit(), o;
  call([&] { return DADeInit(); });
  return o;
}

TEST_F(ExportTest, DocpressSequenceSeesEveryOptionSetAfterTheOpen) {
  std::string in = script("section wp\ntext big5 \"中文\"\npara\n");
  std::string out = dir_ / "out.htm";
  std::string tpl = dir_ / "docpress.tpt";
  Outcome o = run_docpress(in, out, tpl, 0);
  EXPECT_EQ(o.failed_step, 0) << o.status;
  std::string text = qm::test::read_file(out);
  for (const char* line : {"wide names 1\n", "option 1 330694656\n", "option 2 4012\n", "option 6 1998\n",
                           "option 7 0\n", "option 27 1\n", "option 31 2\n", "option 337890 1\n", "export start 50\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "in:\n" << text;
  EXPECT_NE(text.find("option 3 " + tpl + std::string(1, '\0') + "\n"), std::string::npos) << text;
}

TEST_F(ExportTest, DocpressSequenceWithEachCallFailingOnce) {
  std::string in = script("section wp\ntext cp1252 \"x\"\n");
  std::string out = dir_ / "out.htm";
  ASSERT_EQ(DADeInit(), KVX_OK);  // the sequence runs the framework from its own DAInit
  for (int step = 1; step <= 16; ++step) {
    Outcome o = run_docpress(in, out, dir_ / "docpress.tpt", step);
    if (step == 16) {
      EXPECT_EQ(DADeInit(), KVX_OK);  // the failed DADeInit, once more
    }
    EXPECT_EQ(o.failed_step, step);
    EXPECT_EQ(o.status, 99) << "step " << step;
    EXPECT_EQ(KVXLiveHandleCount(), 0u) << "step " << step;
    EXPECT_EQ(KVXBlockLiveCount(), blocks_) << "step " << step;
  }
  ASSERT_EQ(DAInit(), KVX_OK);
}

TEST_F(ExportTest, CallbacksReachTheHostWithItsDataWord) {
  struct Log {
    std::vector<uint32_t> ids;
  } log;
  auto cb = [](KVXHANDLE, void* host, uint32_t id, void*) -> KVXSTATUS {
    static_cast<Log*>(host)->ids.push_back(id);
    return id == KVXCB_EXPORTSTART ? 1 : KVXCB_USEDEFAULT;
  };
  std::string in = script("section wp\n");
  std::string out = dir_ / "out.htm";
  KVXHANDLE doc = 0, ex = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  ASSERT_EQ(EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, cb, &log, &ex), KVX_OK);
  EXPECT_EQ(EXRunExport(ex), KVX_OK);
  EXPECT_EQ(EXDoCallback(ex, KVXCB_GRAPHICDONE, nullptr), KVXCB_USEDEFAULT);
  EXPECT_EQ(log.ids, (std::vector<uint32_t>{KVXCB_EXPORTSTART, KVXCB_GRAPHICDONE}));
  EXPECT_NE(qm::test::read_file(out).find("export start 1\n"), std::string::npos);
  EXPECT_EQ(EXDoCallback(0, 1, nullptr), KVXERR_BADHANDLE);
  EXPECT_EQ(EXCloseExport(ex), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}

TEST_F(ExportTest, NestedExportOfAnExportSharesItsOutputAndOptions) {
  std::string in = script("section wp\ntext cp1252 \"x\"\n");
  std::string out = dir_ / "out.htm";
  KVXHANDLE doc = 0, ex = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  ASSERT_EQ(set_word(doc, kOptNestedType, 9901), KVX_OK);
  ASSERT_EQ(EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex), KVX_OK);
  // Set on the outer export: the nested one finds it in its document (the outer export).
  ASSERT_EQ(set_word(ex, KVXOPT_FLAVOR, 5), KVX_OK);
  EXPECT_EQ(EXRunExport(ex), KVX_OK);
  EXPECT_EQ(EXCloseExport(ex), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
  std::string text = qm::test::read_file(out);
  size_t outer = text.find("export 1101\n"), nested = text.find("export 9901\n");
  ASSERT_NE(outer, std::string::npos) << text;
  ASSERT_NE(nested, std::string::npos) << text;
  EXPECT_LT(outer, nested);
  EXPECT_NE(text.find("option 7 5\n", nested), std::string::npos) << text;
  EXPECT_NE(text.find("items 1\n", nested), std::string::npos) << text;
}

TEST_F(ExportTest, FailuresOfTheFilterAndOfRouting) {
  std::string in = script("section wp\n");
  std::string out = dir_ / "out.htm";
  KVXHANDLE doc = 0, ex = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  EXPECT_EQ(EXOpenExport(doc, 4242, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex), KVXERR_NOFILTER);
  EXPECT_EQ(ex, 0u);
  EXPECT_EQ(EXOpenExport(12345, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex),
            KVXERR_BADHANDLE);
  // Each of the filter's routines failing: open frees the instance, run and close pass
  // the status on.
  ASSERT_EQ(set_word(doc, kOptFailStatus, 1555), KVX_OK);
  for (uint32_t routine : {1u, 2u, 3u}) {
    ASSERT_EQ(set_word(doc, kOptFailRoutine, routine), KVX_OK);
    KVXSTATUS open = EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex);
    if (routine == 1) {
      EXPECT_EQ(open, 1555);
      EXPECT_EQ(ex, 0u);
      continue;
    }
    ASSERT_EQ(open, KVX_OK);
    EXPECT_EQ(EXRunExport(ex), routine == 2 ? 1555 : KVX_OK);
    EXPECT_EQ(EXCloseExport(ex), routine == 3 ? 1555 : KVX_OK);
    EXPECT_EQ(EXRunExport(ex), KVXERR_BADHANDLE);  // closed even when the close failed
  }
  // The instance cannot be allocated.
  ASSERT_EQ(set_word(doc, kOptFailRoutine, 0), KVX_OK);
  KVXBlockFailAfter(1);
  EXPECT_EQ(EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex),
            KVXERR_NOMEMORY);
  // An output that cannot be created fails the run with 34.
  std::string bad = dir_ / "missing/out.htm";
  ASSERT_EQ(EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, bad.c_str(), 0, nullptr, nullptr, nullptr, &ex), KVX_OK);
  EXPECT_EQ(EXRunExport(ex), KVXERR_CREATEFAILED);
  EXPECT_EQ(EXCloseExport(ex), KVX_OK);
  // An export left open is closed by the document's last DADeInit (in TearDown).
  ASSERT_EQ(EXOpenExport(doc, KVXEXPORT_HTML, KVXSPEC_PATH, out.c_str(), 0, nullptr, nullptr, nullptr, &ex), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}

TEST_F(ExportTest, KvxrunSetsOptionsAnswersCallbacksAndLogsThem) {
  std::string in = script("section wp\ntext cp1252 \"x\"\n");
  std::string out = dir_ / "out.htm", log = dir_ / "callbacks.log";
  std::string run = std::string(QM_DIST_DIR) + "/kvxrun --set 7=3 --set-text 3=tpl --unset 1 --answer 258=7 --log " +
                    log + " " + in + " " + out;
  std::string output;
  ASSERT_EQ(qm::test::command_output(run + " 2>&1", output), 0) << output;
  std::string text = qm::test::read_file(out);
  EXPECT_NE(text.find("option 7 3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("option 1 absent\n"), std::string::npos) << text;  // a framework default made absent
  EXPECT_NE(text.find("option 3 tpl" + std::string(1, '\0') + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("export start 7\n"), std::string::npos) << text;
  EXPECT_NE(qm::test::read_file(log).find("callback 258 export "), std::string::npos);
  EXPECT_NE(qm::test::read_file(log).find(" answer 7\n"), std::string::npos);
  // A failing step names its call and status and exits 1.
  output.clear();
  EXPECT_NE(qm::test::command_output(std::string(QM_DIST_DIR) + "/kvxrun --type 4242 " + in + " " + out + " 2>&1", output),
            0);
  EXPECT_NE(output.find("kvxrun: EXOpenExport failed with status 23"), std::string::npos) << output;
  output.clear();
  EXPECT_NE(qm::test::command_output(std::string(QM_DIST_DIR) + "/kvxrun " + in + " 2>&1", output), 0);
  EXPECT_NE(output.find("usage: kvxrun"), std::string::npos) << output;
}

TEST_F(ExportTest, FailCallFromTheEnvironmentReachesAHostProgram) {
  std::string in = script("section wp\n");
  std::string out = dir_ / "out.htm";
  struct Case {
    const char* spec;
    const char* message;
  } cases[] = {
      {"DAInit", "DAInit failed with status 99"},
      {"DASetOption:2:13", "DASetOption failed with status 13"},
      {"EXRunExport::1555", "EXRunExport failed with status 1555"},
  };
  for (const Case& c : cases) {
    std::string output;
    std::string run = "KVX_FAIL_CALL=" + std::string(c.spec) + " " + QM_DIST_DIR + "/kvxrun --set 7=1 --set 27=1 " +
                      in + " " + out + " 2>&1";
    EXPECT_NE(qm::test::command_output(run, output), 0) << c.spec;
    EXPECT_NE(output.find(c.message), std::string::npos) << c.spec << ": " << output;
  }
}

TEST_F(ExportTest, LibrariesThatAreNoFiltersAreSkipped) {
  // A library without VwGetRtns and a missing file come first; the test filter still
  // answers its export types.
  ASSERT_EQ(DADeInit(), KVX_OK);  // plug-ins are looked for again at the next first export
  std::string list = std::string(QM_DIST_DIR) + "/libpaglet.so:" + (dir_ / "missing.so") + ":" + QM_KVX_TESTFILTER;
  ::setenv("KVX_PLUGINS", list.c_str(), 1);
  ASSERT_EQ(DAInit(), KVX_OK);
  std::string in = script("section wp\n");
  KVXHANDLE doc = 0, ex = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  EXPECT_EQ(EXOpenExport(doc, 9901, KVXSPEC_PATH, (dir_ / "o").c_str(), 0, nullptr, nullptr, nullptr, &ex), KVX_OK);
  EXPECT_EQ(EXCloseExport(ex), KVX_OK);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
}

}  // namespace
}  // namespace kvx::test
