// Output files through whole exports: the filter's own names beside the root file
// (skipping names that exist), the callback order per file, the host's answers 0, 50 and
// others, and the link texts that VELMLINK leaves behind.
#include "filters/html/tests/pagecast_fixture.h"

namespace pc::test {
namespace {

const char* const kDoc = "section wp \"One\"\ntext cp1252 \"first\"\npara\nsection wp \"Two\"\ntext cp1252 \"second\"\npara\n";
const std::vector<Option> kCp1252 = {word(KVXOPT_CHARSET, KVXCS_CP1252)};

using PagecastFilesTest = PagecastTest;

TEST_F(PagecastFilesTest, FirstLinkedFileSkipsNamesThatExist) {
  file("out_1.htm", "old 1");
  file("out_2.htm", "old 2");
  file("b.tpt", "linked body");
  Result r = run(kDoc, "see {VELMLINK TEMPLATE=b.tpt} end", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "see out_3.htm end");
  EXPECT_EQ(qm::test::read_file(dir_ / "out_3.htm"), "linked body");
  EXPECT_EQ(qm::test::read_file(dir_ / "out_1.htm"), "old 1");
  EXPECT_EQ(host_.log,
            "256 kind 516 number 1 state 0\n257 kind 516 number 0 state 3\n258\n"
            "256 kind 513 number 1 state 0\n257 kind 513 number 3 state 3\n");
}

TEST_F(PagecastFilesTest, HostThatNamesFilesCountsThem) {
  host_.answers[KVXCB_CREATEFILE] = KVX_OK;
  file("b.tpt", "linked");
  Result r = run(kDoc, "{VELMLINK TEMPLATE=b.tpt}", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  // The host named both files; its root file holds the link to its second.
  EXPECT_EQ(qm::test::read_file(dir_ / "host_1.htm"), "host_2.htm");
  EXPECT_EQ(qm::test::read_file(dir_ / "host_2.htm"), "linked");
  EXPECT_EQ(host_.log,
            "256 kind 516 number 1 state 0\n257 kind 516 number 1 state 0\n258\n"
            "256 kind 513 number 2 state 0\n257 kind 513 number 2 state 0\n");
}

TEST_F(PagecastFilesTest, HostAnswersOtherThanZeroAndFiftyStopTheExport) {
  for (uint32_t id : {uint32_t(KVXCB_CREATEFILE), uint32_t(KVXCB_FILECREATED)}) {
    host_ = Host{};
    host_.dir = dir_.path();
    host_.answers[id] = 77;
    Result r = run(kDoc, "text", kCp1252);
    EXPECT_EQ(r.open, 77) << id;
  }
  // A linked file that cannot be made (the host refuses it) is 1553, with the error page
  // at the link; the files are closed.
  KVXTestStringMode(1);
  for (uint32_t id : {uint32_t(KVXCB_CREATEFILE), uint32_t(KVXCB_FILECREATED)}) {
    host_ = Host{};
    host_.dir = dir_.path();
    host_.later[id] = 78;
    file("b.tpt", "linked");
    Result r = run(kDoc, "{VELMLINK TEMPLATE=b.tpt}", kCp1252);
    EXPECT_EQ(r.open, KVX_OK);
    EXPECT_EQ(r.run, 1553) << id;
    EXPECT_NE(r.out.find("#14332#1553#142D9#"), std::string::npos) << r.out;
  }
}

TEST_F(PagecastFilesTest, NameRecordWidthFollowsOption32) {
  Result narrow = run(kDoc, "x", kCp1252);
  EXPECT_EQ(narrow.run, KVX_OK);
  EXPECT_EQ(host_.tag, 0x0808);
  EXPECT_EQ(host_.name, u"out.htm");
  Result wide = run(kDoc, "x", {word(KVXOPT_CHARSET, KVXCS_CP1252), word(KVXOPT_ROOTFILECALLBACK, 1)});
  EXPECT_EQ(wide.run, KVX_OK);
  EXPECT_EQ(host_.tag, 0x1008);
  EXPECT_EQ(host_.name, u"out.htm");
}

TEST_F(PagecastFilesTest, NameLongerThanTheNameRecordIs25) {
  std::string tpl = "x";
  Result r = run(kDoc, &tpl, kCp1252, std::string(2100, 'n') + ".htm");
  EXPECT_EQ(r.open, KVXERR_NOITEM);
}

TEST_F(PagecastFilesTest, LinksPerElementWithAndWithoutTop) {
  file("sec.tpt", "[{VELMINS ELEMENT=Sections.Current.Body}]");
  std::string tpl =
      "{VELMREP ELEMENT=Sections}<a href=\"{VELMLINK ELEMENT=Sections.Current TEMPLATE=sec.tpt}\">"
      "{VELMLINK ELEMENT=Sections.Current TEMPLATE=sec.tpt TOP}</a>{/VELMREP}";
  Result r = run(kDoc, tpl, kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  // A section has no anchor of its own: the link names the file alone.
  EXPECT_EQ(r.out, "<a href=\"out_1.htm\">out_1.htm</a><a href=\"out_2.htm\">out_2.htm</a>");
  EXPECT_EQ(qm::test::read_file(dir_ / "out_1.htm"), "[<P><A NAME=\"s1content\"></A><A NAME=\"s1body\"></A>first</P>\r\n]");
  EXPECT_EQ(qm::test::read_file(dir_ / "out_2.htm"), "[<P><A NAME=\"s2body\"></A>second</P>\r\n]");
}

TEST_F(PagecastFilesTest, LinkToAnElementThatDoesNotExistWritesNothing) {
  file("sec.tpt", "x");
  Result r = run(kDoc, "a{VELMLINK ELEMENT=Sections.5 TEMPLATE=sec.tpt}b", kCp1252);
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(r.out, "ab");
}

TEST_F(PagecastFilesTest, LinkedFileInSixteenBitOutputStartsWithItsMark) {
  file("b.tpt", "z");
  Result r = run(kDoc, "{VELMLINK TEMPLATE=b.tpt}",
                 {word(KVXOPT_CHARSET, KVXCS_UNICODE), word(KVXOPT_CHARBYTEORDER, 2)});
  ASSERT_EQ(r.run, KVX_OK);
  EXPECT_EQ(qm::test::read_file(dir_ / "out_1.htm"), std::string("\xFF\xFEz\0", 4));
  EXPECT_EQ(r.out, std::string("\xFF\xFEo\0u\0t\0_\0001\0.\0h\0t\0m\0", 20));
}

}  // namespace
}  // namespace pc::test
