// The dlopen function table binds every function of dist/libkvx.so, and the table works:
// a document opened from memory through it is read back.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "filters/common/kvx_functions.h"

namespace {

TEST(FunctionsTest, EveryFunctionOfTheLibraryBinds) {
  std::string path = std::string(QM_DIST_DIR) + "/libkvx.so";
  void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << ::dlerror();
  kvx::FrameworkFunctions f;
  EXPECT_TRUE(kvx::framework_bind(lib, f).empty());
  ASSERT_EQ(f.DAInit(), KVX_OK);
  const char script[] = "kvx-chunks 1\nsection wp\npara\n";
  KVXMEMORYSPEC spec = {sizeof spec, script, uint32_t(std::strlen(script))};
  KVXHANDLE doc = 0, chunker = 0;
  ASSERT_EQ(f.DAOpenDocument(&doc, KVXSPEC_MEMORY, &spec, 0), KVX_OK);
  ASSERT_EQ(f.DAGetHChunker(doc, &chunker), KVX_OK);
  uint32_t count = 0;
  EXPECT_EQ(f.CHGetItemCount(chunker, 0, &count), KVX_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(f.DACloseDocument(doc), KVX_OK);
  EXPECT_EQ(f.DADeInit(), KVX_OK);
  EXPECT_EQ(f.KVXLiveHandleCount(), 0u);
  ::dlclose(lib);
}

}  // namespace
