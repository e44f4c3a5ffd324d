// Tests of the filters' entry skeleton through the test filter (loaded with dlopen, as
// the framework loads filters): version gates of the routine table, VwGetInfo's
// answers, instance blocks and user words.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "filters/common/kvx_entry.h"

namespace {

void* marker() { return reinterpret_cast<void*>(0x1234); }

class EntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = ::dlopen(QM_KVX_TESTFILTER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << ::dlerror();
    get_rtns_ = reinterpret_cast<VwGetRtnsFn>(::dlsym(lib_, "VwGetRtns"));
    ASSERT_NE(get_rtns_, nullptr);
  }
  void TearDown() override {
    if (lib_) ::dlclose(lib_);
  }
  VwRtns filled(uint16_t version) {
    VwRtns t;
    for (void*& s : t.Slots) s = marker();
    EXPECT_EQ(get_rtns_(&t, version), &t);
    return t;
  }
  void* lib_ = nullptr;
  VwGetRtnsFn get_rtns_ = nullptr;
};

TEST_F(EntryTest, VersionGatesOfTheRoutineTable) {
  struct Case {
    uint16_t version;
    bool slot18_nulled;
    bool exports;
  } cases[] = {{18, false, false}, {21, true, false}, {22, true, true}};
  for (const Case& c : cases) {
    VwRtns t = filled(c.version);
    for (int i : {0, 1, 2, 3, 4, 6, 7, 13, 14, 15, 16, 17}) EXPECT_EQ(t.Slots[i], nullptr) << c.version << " " << i;
    for (int i : {5, 8, 9, 10, 11, 12}) EXPECT_NE(t.Slots[i], nullptr) << c.version << " " << i;
    EXPECT_EQ(t.Slots[8], t.Slots[9]);
    EXPECT_EQ(t.Slots[18], c.slot18_nulled ? nullptr : marker()) << c.version;
    for (int i : {19, 20, 21}) {
      if (c.exports)
        EXPECT_NE(t.Slots[i], nullptr);
      else
        EXPECT_EQ(t.Slots[i], marker()) << c.version << " " << i;
    }
  }
}

TEST_F(EntryTest, GetInfoAnswers) {
  VwRtns t = filled(22);
  auto info = reinterpret_cast<VwGetInfoFn>(t.Slots[VWRTN_GETINFO]);
  unsigned char buf[32];
  for (uint32_t id : {0u, 14u, 15u, 1000u}) {
    std::memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(info(buf, id), 0) << id;
    for (unsigned char b : buf) EXPECT_EQ(b, 0xAA) << id;  // nothing written
  }
  uint32_t magic = 0;
  EXPECT_EQ(info(&magic, VWINFO_MAGIC), 1);
  EXPECT_EQ(magic, VWINFO_MAGICVALUE);
  uint16_t count = 0, ids[2] = {};
  EXPECT_EQ(info(&count, VWINFO_EXPORTCOUNT), 1);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(info(ids, VWINFO_EXPORTIDS), 1);
  EXPECT_EQ(ids[0], KVXEXPORT_HTML);
  char date[16];
  EXPECT_EQ(info(date, VWINFO_BUILDDATE), 1);
  EXPECT_EQ(std::strlen(date), 11u);
  char time[16];
  EXPECT_EQ(info(time, VWINFO_BUILDTIME), 1);
  EXPECT_EQ(std::strlen(time), 8u);
  uint32_t thirteen = 0;
  EXPECT_EQ(info(&thirteen, 13), 1);
  EXPECT_EQ(thirteen, 1u);
}

TEST_F(EntryTest, InstanceBlockHoldsUserWordsAndItsOwnHandle) {
  VwRtns t = filled(22);
  auto alloc = reinterpret_cast<VwAllocProcFn>(t.Slots[VWRTN_ALLOCPROC]);
  auto free_proc = reinterpret_cast<VwFreeProcFn>(t.Slots[VWRTN_FREEPROC]);
  auto set_user = reinterpret_cast<VwSetUserFn>(t.Slots[VWRTN_SETUSER]);
  auto info = reinterpret_cast<VwGetInfoFn>(t.Slots[VWRTN_GETINFO]);
  uint16_t data_size = 0;
  ASSERT_EQ(info(&data_size, VWINFO_DATASIZE), 1);
  uint32_t live = KVXBlockLiveCount();
  void* inst = alloc();
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(KVXBlockLiveCount(), live + 1);
  set_user(0x11, 0x22, inst);
  EXPECT_EQ(kvx::entry_user_word(inst, data_size, 1), 0x11u);
  EXPECT_EQ(kvx::entry_user_word(inst, data_size, 2), 0x22u);
  for (size_t i = 0; i < data_size; ++i) ASSERT_EQ(static_cast<unsigned char*>(inst)[i], 0);
  free_proc(inst);
  EXPECT_EQ(KVXBlockLiveCount(), live);
  // The block layer refusing: null.
  KVXBlockFailAfter(1);
  EXPECT_EQ(alloc(), nullptr);
  EXPECT_EQ(KVXBlockLiveCount(), live);
  free_proc(nullptr);
}

TEST(EntryModuleTest, ModulePathNamesTheLibraryThatHoldsTheCode) {
  std::string path = kvx::entry_module_path(reinterpret_cast<const void*>(&KVXBlockAlloc));
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "libkvx.so");
  EXPECT_EQ(kvx::entry_module_path(nullptr), "");
}

}  // namespace
