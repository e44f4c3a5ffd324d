// Tests of the home-page rewriting: the reduced template reader (literal runs trimmed,
// T_Loop copies, T_Declare blocks left out, value names trimmed, tag kinds), the two
// pages rewritten with the addresses of vesprin.ini, a second run that changes nothing,
// a page that cannot be written, and a missing page or directory with their messages.
#include "setup/setup_home_page.h"

#include <gtest/gtest.h>

#include "setup/setup_config.h"
#include "setup/setup_messages.h"
#include "setup/tests/setup_test_util.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

using test::caught_messages;
using test::read_file;
using test::TempDir;
using test::write_file;

std::string rewrite(std::string_view page, std::string_view name = "SearcherURL",
                    std::string_view value = "/cgi-bin/qm/searcher") {
  HomePageTemplate t = HomePageTemplate::parse(page);
  t.set_value(name, value);
  return t.render();
}

TEST(HomePageTemplate, PagesAsWritten) {
  struct Case {
    const char* page;
    const char* written;
  };
  const Case cases[] = {
      {"<form action=\"<!% SearcherURL %!>\">", "<form action=\"/cgi-bin/qm/searcher\">"},
      // Both tags of the name get the value.
      {"<a href=\"<!%SearcherURL%!>\">x</a><!% searcherurl %!>",
       "<a href=\"/cgi-bin/qm/searcher\">x</a>/cgi-bin/qm/searcher"},
      // Blanks and tabs at the ends of literal runs go, line breaks stay; "\r" and blanks
      // right after a tag go.
      {"  <p>one</p>\t\n<!% Other %!>\r\n  two  ", "<p>one</p>\t\n\n  two"},
      // T_Loop 3 writes its text three times; T_Declare is not written.
      {"<!% T_Loop 3 %!>ab<!% /T_Loop %!>|<!% T_Declare %!>hidden<!% /T_Declare %!>end",
       "ababab|end"},
      // Nested loops: 2 x (x + 2 y).
      {"<!% T_Loop 2 %!>x<!% T_Loop 2 %!>y<!% /T_Loop %!><!% /T_Loop %!>", "xyyxyy"},
      {"<!% T_Loop 0 %!>once<!% /T_Loop %!>", "once"},
      // T_CONST and SQL_CMD texts are written; other SQL tags and unknown T_ words are not.
      {"<!% T_CONST a = b %!>|<!% SQL_CMD x select * from t %!>|<!% SQL_RECNO %!><!% T_Nothing %!>",
       "a = b|select * from t|"},
      {"<!% T_CONST no equals %!>|<!% SQL_CMD no query %!>", "|"},
      // A value inside T_Declare is not filled.
      {"<!% T_Declare %!><!% SearcherURL %!><!% /T_Declare %!>[<!% SearcherURL %!>]",
       "[/cgi-bin/qm/searcher]"},
      // An unclosed tag is kept as text; a closing T_Loop without its block is ignored.
      {"a <!% SearcherURL", "a <!% SearcherURL"},
      {"a<!% /T_Loop %!>b", "ab"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    EXPECT_EQ(rewrite(c.page), c.written);
  }
}

TEST(HomePageTemplate, BoundsOfNamesLoopsAndNesting) {
  // A name past 512 bytes is cut there.
  std::string long_name(600, 'N');
  HomePageTemplate t = HomePageTemplate::parse("<!% " + long_name + " %!>");
  ASSERT_EQ(t.items().size(), 1u);
  EXPECT_EQ(t.items()[0].name.size(), kHomeNameMax);
  // A huge count stops at the copy limit.
  std::string many = rewrite("<!% T_Loop 99999999999 %!>z<!% /T_Loop %!>");
  EXPECT_EQ(many.size(), size_t(kHomeMaxLoopCopies));
  // Deep nesting is read without exhausting anything.
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "<!% T_Loop 1 %!>";
  deep += "k";
  for (int i = 0; i < 300; ++i) deep += "<!% /T_Loop %!>";
  EXPECT_EQ(rewrite(deep), "k");
  // A long text is written untrimmed, a short one trimmed.
  HomePageTemplate v = HomePageTemplate::parse("[<!% A %!>][<!% B %!>]");
  v.set_value("A", " short ");
  v.set_value("B", " " + std::string(4000, 'x') + " ");
  EXPECT_EQ(v.render(), "[short][ " + std::string(4000, 'x') + " ]");
}

class ModifyHomePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    caught_messages().clear();
    setup_set_message_sink(test::catch_message);
    write_file(ini_, "[VESPRIN]\nSearcher=/cgi-bin/qm/searcher\nSystemAdm=/cgi-bin/qm/sysadm\n");
  }
  void TearDown() override { setup_set_message_sink(nullptr); }
  TempDir dir_;
  std::string ini_ = dir_ / "vesprin.ini";
  std::string www_ = dir_.sub("www");
};

TEST_F(ModifyHomePageTest, BothPagesAreRewrittenAndASecondRunChangesNothing) {
  write_file(www_ + "index.htm", "<form action=\"<!% SearcherURL %!>\">\n<!% SearcherURL %!>\n");
  write_file(www_ + "sysadm.htm", "<a href=\"<!% SysadmURL %!>\">admin</a>");
  ASSERT_TRUE(setup_modify_home_pages(ini_, www_));
  const std::string index = read_file(www_ + "index.htm");
  EXPECT_EQ(index, "<form action=\"/cgi-bin/qm/searcher\">\n/cgi-bin/qm/searcher\n");
  EXPECT_EQ(read_file(www_ + "sysadm.htm"), "<a href=\"/cgi-bin/qm/sysadm\">admin</a>");
  ASSERT_TRUE(setup_modify_home_pages(ini_, www_));
  EXPECT_EQ(read_file(www_ + "index.htm"), index);
  EXPECT_TRUE(caught_messages().empty());
}

TEST_F(ModifyHomePageTest, AMissingPageGivesItsMessageAndTheOtherIsDone) {
  write_file(www_ + "sysadm.htm", "<!% SysadmURL %!>");
  ASSERT_TRUE(setup_modify_home_pages(ini_, www_));
  EXPECT_EQ(read_file(www_ + "sysadm.htm"), "/cgi-bin/qm/sysadm");
  ASSERT_EQ(caught_messages().size(), 1u);
  EXPECT_EQ(caught_messages()[0].first, kCapError);
  EXPECT_EQ(caught_messages()[0].second, setup_format(kMsgNoSearchPage, www_.substr(0, www_.size() - 1) + "/index.htm"));

  caught_messages().clear();
  ::unlink((www_ + "sysadm.htm").c_str());
  write_file(www_ + "index.htm", "<!% SearcherURL %!>");
  ASSERT_TRUE(setup_modify_home_pages(ini_, www_));
  EXPECT_EQ(read_file(www_ + "index.htm"), "/cgi-bin/qm/searcher");
  ASSERT_EQ(caught_messages().size(), 1u);
  EXPECT_EQ(caught_messages()[0].second, setup_format(kMsgNoAdminPage, www_.substr(0, www_.size() - 1) + "/sysadm.htm"));
}

TEST_F(ModifyHomePageTest, AMissingDirectoryIsRefused) {
  EXPECT_FALSE(setup_modify_home_pages(ini_, dir_ / "nowhere"));
  write_file(dir_ / "afile", "x");
  EXPECT_FALSE(setup_modify_home_pages(ini_, dir_ / "afile"));
  ASSERT_EQ(caught_messages().size(), 2u);
  EXPECT_EQ(caught_messages()[0], (std::pair<std::string, std::string>(kCapSetupError, kMsgNoHomeDir)));
}

TEST_F(ModifyHomePageTest, APageThatCannotBeWrittenStaysWhole) {
  const std::string page = "<html><form action=\"<!% SearcherURL %!>\"></form></html>\n";
  write_file(www_ + "index.htm", page);
  write_file(www_ + "sysadm.htm", page);
  EXPECT_EQ(test::run_with_file_limit(16, [&] { return setup_modify_home_pages(ini_, www_); }), 1);
  EXPECT_EQ(read_file(www_ + "index.htm"), page);
  EXPECT_EQ(read_file(www_ + "sysadm.htm"), page);
  // A read-only folder, where permissions hold (not for the super-user).
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(www_.c_str(), 0555), 0);
    EXPECT_TRUE(setup_modify_home_pages(ini_, www_));
    ::chmod(www_.c_str(), 0755);
    EXPECT_EQ(read_file(www_ + "index.htm"), page);
  }
}

}  // namespace
}  // namespace qm
