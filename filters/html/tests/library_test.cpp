// libpagecast.so as a library: its dynamic symbols are exactly the function table header's,
// the routine table by version and VwGetInfo's answers, and a sweep that fails the nth
// allocation of the filter's containers over a medium export (default template, includes,
// links, repetitions): every run ends with 0, 13, 1558 or 9 and leaves nothing behind.
#include <dlfcn.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "filters/html/pagecast_exports.h"
#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

TEST(PagecastLibraryTest, ExportsAreTheTableOfTheHeader) {
  std::string out;
  ASSERT_EQ(qm::test::command_output(std::string("nm -D --defined-only ") + QM_PAGECAST_LIBRARY, out), 0);
  std::set<std::string> found, listed;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream f(line);
    std::string addr, type, name;
    if (f >> addr >> type >> name && type == "T") found.insert(name);
  }
#define PAGECAST_NAME(name) listed.insert(#name);
  PAGECAST_EXPORTS(PAGECAST_NAME)
#undef PAGECAST_NAME
  EXPECT_EQ(found, listed);
}

TEST(PagecastLibraryTest, RoutineTableAndInformation) {
  void* lib = ::dlopen(QM_PAGECAST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto get = reinterpret_cast<VwGetRtnsFn>(::dlsym(lib, "VwGetRtns"));
  ASSERT_NE(get, nullptr);
  void* mark = reinterpret_cast<void*>(0x1);
  for (uint16_t version : {18, 21, 22}) {
    VwRtns t;
    for (void*& s : t.Slots) s = mark;
    ASSERT_EQ(get(&t, version), &t);
    EXPECT_NE(t.Slots[VWRTN_GETINFO], mark);
    EXPECT_EQ(t.Slots[VWRTN_LOCALUP], t.Slots[VWRTN_LOCALDOWN]);
    EXPECT_EQ(t.Slots[VWRTN_SLOT18], version >= 19 ? nullptr : mark);
    EXPECT_EQ(t.Slots[VWRTN_EXPORTOPEN] == mark, version < 22);
    if (version == 22) {
      auto info = reinterpret_cast<VwGetInfoFn>(t.Slots[VWRTN_GETINFO]);
      uint8_t buf[16] = {0xEE};
      EXPECT_EQ(info(buf, 0), 0);
      EXPECT_EQ(info(buf, 14), 0);
      EXPECT_EQ(buf[0], 0xEE);
      uint16_t v16 = 0;
      EXPECT_EQ(info(&v16, VWINFO_DATASIZE), 1);
      EXPECT_EQ(v16, 19044);
      EXPECT_EQ(info(&v16, 7), 1);
      EXPECT_EQ(v16, KVXEXPORT_HTML);
      char date[12];
      EXPECT_EQ(info(date, VWINFO_BUILDDATE), 1);
      EXPECT_STREQ(date, "Oct 27 1999");
      uint32_t magic = 0;
      EXPECT_EQ(info(&magic, VWINFO_MAGIC), 1);
      EXPECT_EQ(magic, VWINFO_MAGICVALUE);
    }
  }
  ::dlclose(lib);
}

using PagecastInstanceTest = PagecastTest;

// The routine table driven by hand: an open that fails (a document handle is no export,
// so the host cannot be asked for the root file) has closed itself; closing twice more is
// harmless, and the instance is freed.
TEST_F(PagecastInstanceTest, FailedOpenThenCloseTwiceAndFree) {
  void* lib = ::dlopen(QM_PAGECAST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  VwRtns t{};
  reinterpret_cast<VwGetRtnsFn>(::dlsym(lib, "VwGetRtns"))(&t, VWRTNS_VERSION);
  std::string in = file("doc.kvx", "kvx-chunks 1\nsection wp\ntext cp1252 \"a\"\n");
  std::string tpl = file("t.tpt", "x");
  KVXHANDLE doc = 0;
  ASSERT_EQ(DAOpenDocument(&doc, KVXSPEC_PATH, in.c_str(), 0), KVX_OK);
  ASSERT_EQ(DASetOption(doc, KVXOPT_TEMPLATE, tpl.c_str(), uint32_t(tpl.size() + 1)), KVX_OK);
  void* instance = reinterpret_cast<VwAllocProcFn>(t.Slots[VWRTN_ALLOCPROC])();
  ASSERT_NE(instance, nullptr);
  std::string out = dir_ / "out.htm";
  auto open = reinterpret_cast<VwExportOpenFn>(t.Slots[VWRTN_EXPORTOPEN]);
  auto close = reinterpret_cast<VwExportCloseFn>(t.Slots[VWRTN_EXPORTCLOSE]);
  EXPECT_EQ(open(KVXSPEC_PATH, out.c_str(), KVXEXPORT_HTML, doc, nullptr, 0, instance), KVXERR_BADHANDLE);
  EXPECT_EQ(close(0, instance), KVX_OK);
  EXPECT_EQ(close(0, instance), KVX_OK);
  reinterpret_cast<VwFreeProcFn>(t.Slots[VWRTN_FREEPROC])(instance);
  EXPECT_EQ(DACloseDocument(doc), KVX_OK);
  ::dlclose(lib);
}

using PagecastFailSweepTest = PagecastTest;

TEST_F(PagecastFailSweepTest, EveryFailedAllocationGivesAnOutOfMemoryStatus) {
  void* lib = ::dlopen(QM_PAGECAST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto fail = reinterpret_cast<void (*)(uint32_t)>(::dlsym(lib, "PCTestFailAlloc"));
  ASSERT_NE(fail, nullptr);
  file("inc.tpt", "<{VELMINS ELEMENT=Sections.Current.Type}>");
  file("sec.tpt", "[{VELMINS ELEMENT=Sections.Current.Body}{VELMINCLUDE TEMPLATE=inc.tpt}]");
  std::string tpl =
      "{VELMREP ELEMENT=Sections}{VELMLINK ELEMENT=Sections.Current TEMPLATE=sec.tpt}"
      "{VELMINCLUDE TEMPLATE=inc.tpt}{VELMINS NUMBER=Sections.Value}{/VELMREP}"
      "{VELMIF ELEMENT=Sections.2}two{VELMELSE}none{/VELMIF}{VELMINS OEM=x}";
  // The first paragraph is numbered: the numbering store is one of the allocations.
  std::string doc =
      "section wp \"A\"\nitem 93 10 0 1\ntext cp1252 \"one\"\npara\nsection ss \"B\"\ntext cp1252 \"two\"\npara\n"
      "section db \"C\"\ntext cp1252 \"three\"\npara\n";
  Result clean = run(doc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
  ASSERT_EQ(clean.run, KVX_OK);
  int failures = 0;
  for (uint32_t n = 1; n < 2000; ++n) {
    // Linked files of a failed run stay behind; the next run names its own afresh.
    for (const auto& f : std::filesystem::directory_iterator(dir_.dir()))
      if (f.path().filename().string().rfind("out_", 0) == 0) std::filesystem::remove(f.path());
    fail(n);
    Result r = run(doc, tpl, {word(KVXOPT_CHARSET, KVXCS_CP1252)});
    fail(0);
    KVXSTATUS st = r.open != KVX_OK ? r.open : r.run;
    if (st == KVX_OK) {
      EXPECT_EQ(r.out, clean.out);
      break;
    }
    ++failures;
    EXPECT_TRUE(st == KVXERR_NOMEMORY || st == 1558 || st == 9) << n << ": " << st;
    EXPECT_EQ(KVXLiveHandleCount(), 0u) << n;
  }
  EXPECT_GT(failures, 10);
  ::dlclose(lib);
}

}  // namespace
}  // namespace pc::test
