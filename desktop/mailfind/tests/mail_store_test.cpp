// Tests of the mail-store loader over the stand-in libmboxpull.so in the program
// directory and the committed fixture store (mail/tests/store): the readable folders
// listed in order with their keys and names (the broken one skipped), unloading, a
// refused Login or a missing library loading nothing; and the short names the forms
// give the databases.
#include "desktop/mailfind/mail_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "testsupport/test_files.h"

namespace qm {
namespace {

const std::string kProgramDir = std::string(QM_DIST_DIR) + "/";
const std::string kStore = std::string(QM_SOURCE_DIR) + "/mail/tests/store";

TEST(MailStore, ListsReadableFoldersOfTheStore) {
  setenv("MBOXPULL_STORE", kStore.c_str(), 1);
  MailStoreLibrary store;
  ASSERT_TRUE(LoadMailStoreLibrary(store, kProgramDir));
  const std::vector<MailStoreFolder> folders = ListMailStoreFolders(store);
  // In byte order of their paths; ".broken" (cur/ missing) is refused by PrepareGetMsg.
  const std::vector<std::pair<std::string, std::string>> want = {
      {".", "store"},
      {".Work", "store\\Work"},
      {".Work.Projects", "store\\Work\\Projects"},
      {"archive", "store\\archive"},
      {"lists.mbox", "store\\lists.mbox"},
      {"%E4%B8%AD%E6%96%87", "store\\\xA4\xA4\xA4\xE5"},  // the folder 中文, Big5 name
  };
  ASSERT_EQ(folders.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(folders[i].key, want[i].first) << i;
    EXPECT_EQ(folders[i].name, want[i].second) << i;
  }
  UnloadMailStoreLibrary(store);
  UnloadMailStoreLibrary(store);  // a second unload does nothing
  EXPECT_FALSE(store.lib.is_open());
  EXPECT_TRUE(ListMailStoreFolders(store).empty());
  unsetenv("MBOXPULL_STORE");
}

TEST(MailStore, FailedLoadListsNothing) {
  MailStoreLibrary store;
  test::TempDir empty{"qm-mbox-none-"};
  // No store: Login refuses.
  setenv("MBOXPULL_STORE", (empty / "no-store").c_str(), 1);
  EXPECT_FALSE(LoadMailStoreLibrary(store, kProgramDir));
  EXPECT_FALSE(store.lib.is_open());
  EXPECT_TRUE(ListMailStoreFolders(store).empty());
  // No library in the program directory.
  setenv("MBOXPULL_STORE", kStore.c_str(), 1);
  EXPECT_FALSE(LoadMailStoreLibrary(store, empty.path()));
  EXPECT_TRUE(ListMailStoreFolders(store).empty());
  unsetenv("MBOXPULL_STORE");
}

TEST(MailStore, ShortNames) {
  const std::pair<std::string, std::string> cases[] = {
      {"store\\Work\\Projects", "Projects"},
      {"store", "store"},
      {"store\\", ""},
      // 0x5C as the second byte of a Big5 character (B35C) is no separator.
      {"store\\a\xB3\x5C" "b", "a\xB3\x5C" "b"},
      {"\xB3\x5C", "\xB3\x5C"},
  };
  for (const auto& [display, name] : cases) EXPECT_EQ(MailStoreShortName(display), name) << display;
}

}  // namespace
}  // namespace qm
