// Samba share list parsing and this computer's name.
#include "platform/shares.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>

namespace {

TEST(Shares, ParsesSectionsPathsCommentsAndContinuations) {
  std::string conf = std::filesystem::temp_directory_path() / ("qm-smb-" + std::to_string(getpid()) + ".conf");
  std::ofstream(conf) << "# comment\n"
                         "[global]\n   path = /not/a/share\n"
                         "[Docs]\r\n   comment = documents\r\n   PATH = /srv/docs\r\n"
                         "; [ghost]\n; path = /ghost\n"
                         "[homes]\n   browseable = no\n"
                         "[Long]\n   path = /srv/\\\n  long\n"
                         "[dir]\n   directory = /srv/dir\n";
  qm::shares_set_config_path(conf);
  auto list = qm::shares_list();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "Docs");
  EXPECT_EQ(list[0].path, "/srv/docs");
  EXPECT_EQ(list[1].path, "/srv/long");
  EXPECT_EQ(qm::share_local_path("DOCS").value_or(""), "/srv/docs");
  EXPECT_EQ(qm::share_local_path("dir").value_or(""), "/srv/dir");
  EXPECT_FALSE(qm::share_local_path("global"));
  EXPECT_FALSE(qm::share_local_path("ghost"));
  std::filesystem::remove(conf);
  EXPECT_TRUE(qm::shares_list().empty());  // no file, no shares
  qm::shares_set_config_path("");
}

TEST(Shares, ComputerNameCaseBlind) {
  std::string host = qm::computer_name();
  ASSERT_FALSE(host.empty());
  std::string upper = host;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(qm::is_this_computer(upper));
  EXPECT_FALSE(qm::is_this_computer(host + "x"));
  EXPECT_FALSE(qm::is_this_computer(""));
}

}  // namespace
