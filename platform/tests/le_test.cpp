#include "platform/le.h"

#include <gtest/gtest.h>

TEST(LittleEndian, RoundTripsAndByteOrder) {
  std::string s;
  qm::le::append16(s, 0xBEEF);
  qm::le::append32(s, 0x01020304u);
  ASSERT_EQ(s.size(), 6u);
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  EXPECT_EQ(p[0], 0xEF);
  EXPECT_EQ(p[2], 0x04);
  EXPECT_EQ(p[5], 0x01);
  EXPECT_EQ(qm::le::get16(p), 0xBEEF);
  EXPECT_EQ(qm::le::get32(p + 2), 0x01020304u);
  unsigned char neg[4];
  qm::le::put32(neg, uint32_t(-2));
  EXPECT_EQ(qm::le::get32s(neg), -2);
}
