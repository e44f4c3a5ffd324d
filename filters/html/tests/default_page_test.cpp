// The built-in default template over a two-section document (a word-processing section
// with Big5 and CP1252 text, a spreadsheet section without cells) with docpress's options
// gives the reviewed page in tests/data/default_page.htm, byte for byte.
#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

using PagecastDefaultPageTest = PagecastTest;

TEST_F(PagecastDefaultPageTest, TwoSectionsWithDocpressOptions) {
  std::string script =
      "section wp \"Intro\"\ntext big5 \"中文 & <text>\"\npara\ntext cp1252 \"Second line\"\npara\n"
      "section ss \"Sheet1\"\ntext cp1252 \"cell\"\npara\n";
  Result r = run(script, nullptr,
                 {word(KVXOPT_CHARSET, KVXCS_BIG5), word(KVXOPT_CHARBYTEORDER, 2), word(KVXOPT_FLAVOR, 0),
                  word(KVXOPT_WRITERFLAGS, 1), word(KVXOPT_ROOTFILECALLBACK, 1), word(KVXOPT_GRAPHICTYPE, 1998)});
  EXPECT_EQ(r.open, KVX_OK);
  EXPECT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, qm::test::read_file(QM_PAGECAST_DATA "/default_page.htm"));
  // Wide names: the host saw the 16-bit name record.
  EXPECT_EQ(host_.log.rfind("256 kind 516 number 1 state 0\n", 0), 0u) << host_.log;
}

}  // namespace
}  // namespace pc::test
