#include "platform/fatal.h"

#include <gtest/gtest.h>

TEST(FatalSink, TestProfileThrows) {
  qm::fatal_reset();
  EXPECT_THROW(qm::fatal("boom"), qm::FatalError);
  qm::fatal_reset();
}

TEST(FatalSink, CgiProfileWritesThenExits255) {
  EXPECT_EXIT(
      {
        qm::fatal_set_profile(qm::FatalProfile::Cgi);
        qm::fatal_set_writer([](const std::string& m) { std::fprintf(stderr, "page:%s", m.c_str()); });
        qm::fatal("Database ID error !!");
      },
      ::testing::ExitedWithCode(255), "page:Database ID error !!");
}
