// Tests of the mail-store loader over a scripted library in its own folder: readable
// folders listed (the refused one skipped), Logoff on unload, a failed Login or a missing
// library loading nothing.
#include "desktop/mailfind/mail_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "testsupport/test_files.h"

namespace qm {
namespace {

const std::string kFakeDir = QM_FAKE_MBOX_DIR;

TEST(MailStore, ListsReadableFoldersAndLogsOff) {
  test::TempDir tmp{"qm-mbox-"};
  const std::string log = tmp / "log";
  setenv("QM_FAKE_MBOX_LOG", log.c_str(), 1);
  unsetenv("QM_FAKE_MBOX_LOGIN_FAILS");
  MailStoreLibrary store;
  ASSERT_TRUE(LoadMailStoreLibrary(store, kFakeDir));
  auto folders = ListMailStoreFolders(store);
  ASSERT_EQ(folders.size(), 2u);
  EXPECT_EQ(folders[0].key, "k/inbox");
  EXPECT_EQ(folders[0].name, "Inbox");
  EXPECT_EQ(folders[1].name, "Sent Items");
  UnloadMailStoreLibrary(store);
  UnloadMailStoreLibrary(store);  // a second unload does nothing
  std::ifstream in(log);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), "logoff\n");
  EXPECT_TRUE(ListMailStoreFolders(store).empty());
  unsetenv("QM_FAKE_MBOX_LOG");
}

TEST(MailStore, FailedLoadListsNothing) {
  MailStoreLibrary store;
  setenv("QM_FAKE_MBOX_LOGIN_FAILS", "1", 1);
  EXPECT_FALSE(LoadMailStoreLibrary(store, kFakeDir));
  EXPECT_TRUE(ListMailStoreFolders(store).empty());
  unsetenv("QM_FAKE_MBOX_LOGIN_FAILS");
  test::TempDir empty{"qm-mbox-none-"};
  EXPECT_FALSE(LoadMailStoreLibrary(store, empty.path()));
  EXPECT_TRUE(ListMailStoreFolders(store).empty());
}

}  // namespace
}  // namespace qm
