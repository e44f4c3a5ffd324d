// The mboxpull stand-in over the committed fixture store (mail/tests/store, made by
// mail/tests/tools/make_store.py): folder order, keys and names, which folders open, the
// messages of each kind of folder, and the flat entry points of libmboxpull.so with the
// buffer sizes their callers give.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "mail/mboxpull.h"
#include "mail/mboxpull/session.h"
#include "mail/mboxpull/store.h"
#include "platform/dynlib.h"
#include "testsupport/test_files.h"

namespace qm::mboxpull {
namespace {

const std::string kStore = std::string(QM_SOURCE_DIR) + "/mail/tests/store";

std::vector<std::string> subjects(Session& s, const std::string& key) {
  std::vector<std::string> out;
  if (!s.prepare(key)) return out;
  PulledMessage m;
  while (s.deliver(m)) out.push_back(m.subject);
  return out;
}

TEST(StoreListing, FixtureFoldersInByteOrderWithKeysAndNames) {
  struct Row {
    const char* key;
    const char* display;
    const char* short_name;
    FolderKind kind;
  };
  const Row rows[] = {
      {".", "store", "store", FolderKind::Maildir},
      {".Work", "store\\Work", "Work", FolderKind::Maildir},
      {".Work.Projects", "store\\Work\\Projects", "Projects", FolderKind::Maildir},
      {".broken", "store\\broken", "broken", FolderKind::Maildir},
      {"archive", "store\\archive", "archive", FolderKind::EmlFolder},
      {"lists.mbox", "store\\lists.mbox", "lists.mbox", FolderKind::Mbox},
      // The UTF-8 folder name "中文": its key escapes the bytes, its name is Big5.
      {"%E4%B8%AD%E6%96%87", "store\\\xA4\xA4\xA4\xE5", "\xA4\xA4\xA4\xE5", FolderKind::EmlFolder},
  };
  const std::vector<StoreFolder> folders = list_store(kStore);
  ASSERT_EQ(folders.size(), std::size(rows));
  for (size_t i = 0; i < folders.size(); ++i) {
    SCOPED_TRACE(rows[i].key);
    EXPECT_EQ(folders[i].key, rows[i].key);
    EXPECT_EQ(folders[i].display, rows[i].display);
    EXPECT_EQ(folders[i].short_name, rows[i].short_name);
    EXPECT_EQ(folders[i].kind, rows[i].kind);
  }
}

TEST(StoreListing, PrepareOpensReadableFoldersOnly) {
  Session s;
  ASSERT_TRUE(s.login(kStore));
  const struct {
    const char* key;
    bool ready;
  } cases[] = {
      {".", true},           {".Work", true},       {".Work.Projects", true}, {".broken", false},
      {"archive", true},     {"lists.mbox", true},  {"%E4%B8%AD%E6%96%87", true},
      {"missing", false},    {"..", false},         {"../store", false},      {"/etc", false},
      {"%zz", false},        {"archive/..", false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(s.prepare(c.key), c.ready) << c.key;
}

TEST(StoreListing, MessagesOfEachKindInOrder) {
  Session s;
  ASSERT_TRUE(s.login(kStore));
  // The store itself: the message of cur/, then the one of new/ (a Big5 subject).
  EXPECT_EQ(subjects(s, "."), (std::vector<std::string>{"Plain ASCII message", "\xA4\xA4\xA4\xE5\xB6\x6C\xA5\xF3"}));
  EXPECT_EQ(subjects(s, ".Work"),
            (std::vector<std::string>{"alternative", "Re: \xA4\xA4\xA4\xE5\xB6\x6C\xA5\xF3 done", "qp body"}));
  EXPECT_EQ(subjects(s, "lists.mbox").size(), 3u);
  EXPECT_EQ(subjects(s, "archive").size(), 15u);
}

TEST(StoreListing, VanishedFolderIsNotReady) {
  test::TempDir dir;
  const std::string root = dir / "store";
  std::filesystem::copy(kStore, root, std::filesystem::copy_options::recursive);
  Session s;
  ASSERT_TRUE(s.login(root));
  ASSERT_NE(s.folder(0), nullptr);
  std::filesystem::remove_all(root + "/.Work");
  EXPECT_FALSE(s.prepare(".Work"));
  EXPECT_TRUE(s.prepare(".Work.Projects"));
}

TEST(StoreKeys, EscapeAndUnescape) {
  const struct {
    const char* path;
    const char* key;
  } cases[] = {
      {"archive", "archive"},     {".a.b", ".a.b"},         {"a b", "a%20b"},
      {"50%;x", "50%25%3Bx"},     {"a\\b", "a%5Cb"},        {"\x01\x7f", "%01%7F"},
      {"\xA4\xA4", "%A4%A4"},     {"x/y:z", "x/y:z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(escape_key(c.path), c.key);
    std::string back;
    ASSERT_TRUE(unescape_key(c.key, back));
    EXPECT_EQ(back, c.path);
  }
  std::string out;
  for (const char* bad : {"%", "%4", "%G1", "a%"}) EXPECT_FALSE(unescape_key(bad, out)) << bad;
}

TEST(StoreLocation, EnvironmentThenIniThenHome) {
  test::TempDir dir;
  ::unsetenv("MBOXPULL_STORE");
  const std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", dir.dir().c_str(), 1);
  EXPECT_EQ(locate_store(""), dir / "Mail");
  ::mkdir((dir / "Maildir").c_str(), 0700);
  EXPECT_EQ(locate_store(""), dir / "Maildir");
  test::write_file(dir / "mboxpull.ini", "[mboxpull]\nStore=/srv\\mail\n");
  EXPECT_EQ(locate_store(dir.dir()), "/srv/mail");
  ::setenv("MBOXPULL_STORE", "/elsewhere", 1);
  EXPECT_EQ(locate_store(dir.dir()), "/elsewhere");
  ::unsetenv("MBOXPULL_STORE");
  ::setenv("HOME", old_home.c_str(), 1);
}

// The flat entry points of the built library.
class FlatEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib_.open(mail::kMboxpullLibrary, QM_DIST_DIR, "")) << lib_.error();
    login_ = reinterpret_cast<mail::LoginFn>(lib_.symbol("Login"));
    logoff_ = reinterpret_cast<mail::LogoffFn>(lib_.symbol("Logoff"));
    list_ = reinterpret_cast<mail::ListFolderFn>(lib_.symbol("ListFolder"));
    prepare_ = reinterpret_cast<mail::PrepareGetMsgFn>(lib_.symbol("PrepareGetMsg"));
    len_ = reinterpret_cast<mail::CurrMsgLenFn>(lib_.symbol("CurrMsgLen"));
    enum_ = reinterpret_cast<mail::EnumMsgFn>(lib_.symbol("EnumMsg"));
    attach_ = reinterpret_cast<mail::EnumAttachFn>(lib_.symbol("EnumAttach"));
    save_ = reinterpret_cast<mail::SaveAttachFn>(lib_.symbol("SaveAttach"));
    name_ = reinterpret_cast<mail::GetFolderNameFn>(lib_.symbol("GetFolderName"));
    ASSERT_TRUE(login_ && logoff_ && list_ && prepare_ && len_ && enum_ && attach_ && save_ && name_);
    ::setenv("MBOXPULL_STORE", kStore.c_str(), 1);
  }
  void TearDown() override {
    if (logoff_) logoff_();
    ::unsetenv("MBOXPULL_STORE");
  }
  DynLib lib_;
  mail::LoginFn login_ = nullptr;
  mail::LogoffFn logoff_ = nullptr;
  mail::ListFolderFn list_ = nullptr;
  mail::PrepareGetMsgFn prepare_ = nullptr;
  mail::CurrMsgLenFn len_ = nullptr;
  mail::EnumMsgFn enum_ = nullptr;
  mail::EnumAttachFn attach_ = nullptr;
  mail::SaveAttachFn save_ = nullptr;
  mail::GetFolderNameFn name_ = nullptr;
};

TEST_F(FlatEntries, LoginNeedsTheStoreAndLeavesItsSecondArgument) {
  int sentinel = 1234;
  ::setenv("MBOXPULL_STORE", "/nonexistent/quillmere-store", 1);
  EXPECT_NE(login_(0, &sentinel), 0);
  ::setenv("MBOXPULL_STORE", kStore.c_str(), 1);
  EXPECT_EQ(login_(0, &sentinel), 0);
  EXPECT_EQ(sentinel, 1234);
  EXPECT_EQ(login_(0, nullptr), 0);
}

TEST_F(FlatEntries, ListFolderAndGetFolderName) {
  ASSERT_EQ(login_(0, nullptr), 0);
  std::vector<char> key(mail::kMboxFolderBuffer), name(mail::kMboxFolderBuffer);
  std::vector<std::string> keys;
  for (int32_t i = 0; list_(i, key.data(), name.data()) == 0; ++i) keys.push_back(key.data());
  EXPECT_EQ(keys.size(), 7u);
  EXPECT_NE(list_(-1, key.data(), name.data()), 0);
  std::vector<char> short_name(mail::kMboxNameBuffer);
  EXPECT_NE(name_(".Work.Projects", short_name.data()), 0);
  EXPECT_STREQ(short_name.data(), "Projects");
  EXPECT_EQ(name_("no-such-folder", short_name.data()), 0);
}

TEST_F(FlatEntries, MessagesAndAttachmentsThroughTheEntries) {
  ASSERT_EQ(login_(0, nullptr), 0);
  ASSERT_EQ(prepare_("archive", 0), 0);
  test::TempDir dir;
  int messages = 0;
  std::vector<std::string> names;
  for (;;) {
    const int32_t length = len_();
    std::vector<char> subject(81), sender(257), date(81), body(size_t(length) + 1);
    if (enum_(subject.data(), sender.data(), date.data(), body.data(), length) != 0) break;
    ++messages;
    int32_t handle = -1;
    std::vector<char> name(mail::kMboxNameBuffer);
    while (attach_(&handle, name.data()) == 0) {
      names.push_back(name.data());
      const std::string path = dir / std::to_string(names.size());
      EXPECT_EQ(save_(handle, path.c_str()), 0);
      EXPECT_FALSE(test::read_file(path).empty());
    }
  }
  EXPECT_EQ(messages, 15);
  EXPECT_EQ(names, (std::vector<std::string>{"notes.txt", "budget.xls", "\xB3\xF8\xA7\x69.txt", "ATT00001.dat",
                                             "photo.bin"}));
  // At the end: no length, no message.
  EXPECT_EQ(len_(), 0);
  std::vector<char> subject(81), sender(257), date(81), body(1);
  EXPECT_NE(enum_(subject.data(), sender.data(), date.data(), body.data(), 0), 0);
  // A handle that was never handed out writes nothing.
  EXPECT_NE(save_(99, (dir / "never").c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "never"));
}

TEST_F(FlatEntries, LongTextsStayInTheCallersBuffers) {
  test::TempDir dir;
  // Folder keys: one of 1,020 bytes is listed, a deeper one past 1,023 is not.
  const std::string part(200, 'k');
  std::string rel = part + "/" + part + "/" + part + "/" + part + "/" + part + "/" + part.substr(0, 15);
  ASSERT_EQ(rel.size(), 1020u);
  std::filesystem::create_directories(dir / rel + "/" + part);
  test::write_file(dir / rel + "/a.eml", "Subject: short\r\n\r\nx\r\n");
  test::write_file(dir / rel + "/" + part + "/a.eml", "Subject: deep\r\n\r\nx\r\n");
  // A message whose every text is too long: 300 characters of UTF-8 Chinese.
  std::string zh;
  for (int i = 0; i < 300; ++i) zh += "\xE4\xB8\xAD";
  std::filesystem::create_directories(dir / "long");
  test::write_file(dir / "long/a.eml", "From: " + zh + " <a@example.com>\r\nSubject: " + zh + "\r\nDate: " +
                                           std::string(300, '1') + "\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                                           "--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + zh +
                                           "\r\n--b\r\nContent-Disposition: attachment; filename=\"" + std::string(240, 'n') +
                                           zh.substr(0, 90) + ".txt\"\r\n\r\ndata\r\n--b--\r\n");
  ::setenv("MBOXPULL_STORE", dir.dir().c_str(), 1);
  ASSERT_EQ(login_(0, nullptr), 0);
  std::vector<char> key(mail::kMboxFolderBuffer), name(mail::kMboxFolderBuffer);
  std::vector<std::string> keys;
  for (int32_t i = 0; list_(i, key.data(), name.data()) == 0; ++i) {
    keys.push_back(key.data());
    EXPECT_LE(std::strlen(name.data()), 1023u);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{rel, "long"}));
  ASSERT_EQ(prepare_("long", 0), 0);
  const int32_t length = len_();
  EXPECT_GE(length, 600);
  // Buffers of the callers' sizes exactly: an overrun is a heap overflow under ASan.
  std::vector<char> subject(81), sender(257), date(81), body(static_cast<size_t>(length));
  ASSERT_EQ(enum_(subject.data(), sender.data(), date.data(), body.data(), length), 0);
  EXPECT_EQ(std::strlen(subject.data()), 80u);
  EXPECT_EQ(std::strlen(sender.data()), 256u);
  EXPECT_EQ(std::strlen(date.data()), 80u);
  int32_t handle = -1;
  std::vector<char> attachment(mail::kMboxNameBuffer);
  ASSERT_EQ(attach_(&handle, attachment.data()), 0);
  const size_t n = std::strlen(attachment.data());
  EXPECT_LE(n, 260u);
  EXPECT_GE(n, 259u);
}

}  // namespace
}  // namespace qm::mboxpull
