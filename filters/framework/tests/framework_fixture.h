// Shared set-up of the framework tests that go through libkvx.so: the test filter named
// in $KVX_PLUGINS, DAInit and DADeInit around each test, and the check that no handle,
// IO object or memory block outlives a test.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "filters/common/kvx_abi.h"
#include "testsupport/test_files.h"

namespace kvx::test {

class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("KVX_PLUGINS", QM_KVX_TESTFILTER, 1);
    blocks_ = KVXBlockLiveCount();
    ASSERT_EQ(KVXLiveHandleCount(), 0u);
    ASSERT_EQ(DAInit(), KVX_OK);
  }
  void TearDown() override {
    KVXTestFailCall(nullptr, 0);
    KVXBlockFailAfter(0);
    EXPECT_EQ(DADeInit(), KVX_OK);
    EXPECT_EQ(KVXLiveHandleCount(), 0u);
    EXPECT_EQ(KVXBlockLiveCount(), blocks_);
  }
  // A small chunk-script document in the scratch folder.
  std::string script(const std::string& body, const std::string& name = "doc.kvx") {
    std::string path = dir_ / name;
    qm::test::write_file(path, "kvx-chunks 1\n" + body);
    return path;
  }
  qm::test::TempDir dir_{"kvx-test-"};
  uint32_t blocks_ = 0;
};

}  // namespace kvx::test
