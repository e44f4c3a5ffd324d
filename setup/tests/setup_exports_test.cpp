// Tests of libsetupaid.so through its C exports, loaded with dlopen from the installed
// layout as an installer loads it: the browser search with stand-in browsers in a private
// PATH (the started one records its arguments and leaves no zombie), buffers (null
// arguments, outputs cut to the buffer), the uninstall entry, the roots chosen by the
// configuration variables, and quillmere-setup's subcommands.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <thread>

#include "setupaid.h"
#include "setup/tests/setup_test_util.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

using test::caught_messages;
using test::read_file;
using test::TempDir;
using test::write_file;
using test::write_script;

using Export = int (*)(void*, uint32_t*, char*);

// "在您的系統上並沒有發現任何正式安裝的瀏覽器" and "警告" in Big5.
const std::string kNoBrowser =
    "\xa6\x62\xb1\x7a\xaa\xba\xa8\x74\xb2\xce\xa4\x57\xa8\xc3\xa8\x53\xa6\xb3\xb5\x6f\xb2\x7b"
    "\xa5\xf4\xa6\xf3\xa5\xbf\xa6\xa1\xa6\x77\xb8\xcb\xaa\xba\xc2\x73\xc4\xfd\xbe\xb9";
const std::string kWarning = "\xc4\xb5\xa7\x69";

class Library {
 public:
  Library() {
    handle_ = ::dlopen(QM_DIST_DIR "/libsetupaid.so", RTLD_NOW);
    if (!handle_) ADD_FAILURE() << ::dlerror();
  }
  ~Library() {
    if (handle_) ::dlclose(handle_);
  }
  Export get(const char* name) const {
    return handle_ ? reinterpret_cast<Export>(::dlsym(handle_, name)) : nullptr;
  }
  // Calls the export with text in a 1,024-byte buffer; the result and the buffer after.
  int call(const char* name, std::string& text, uint32_t* value) const {
    Export f = get(name);
    if (!f) {
      ADD_FAILURE() << "no export " << name;
      return -1;
    }
    char buffer[SETUPAID_BUFFER_SIZE] = {};
    std::memcpy(buffer, text.data(), std::min(text.size(), sizeof buffer - 1));
    int r = f(nullptr, value, buffer);
    text = buffer;
    return r;
  }
  void set_handler(SetupaidMessageHandler h) const {
    auto set = reinterpret_cast<void (*)(SetupaidMessageHandler)>(
        ::dlsym(handle_, "setupaid_set_message_handler"));
    ASSERT_NE(set, nullptr);
    set(h);
  }

 private:
  void* handle_ = nullptr;
};

// Sets environment variables for one test and restores them after.
class ScopedEnv {
 public:
  void set(const char* name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// Waits for a file that a detached child writes.
std::string wait_for_file(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    std::string text = read_file(path);
    if (!text.empty() && text.back() == '\n' && text.find("END\n") != std::string::npos) return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return read_file(path);
}

class SetupBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    caught_messages().clear();
    lib_.set_handler(test::catch_message);
    env_.set("PATH", bin_.substr(0, bin_.size() - 1));
    env_.set("HOME", dir_.dir());
    env_.set("XDG_DATA_HOME", std::nullopt);
    env_.set("XDG_DATA_DIRS", dir_.sub("share"));
    env_.set("BROWSER", std::nullopt);
  }
  void TearDown() override { lib_.set_handler(nullptr); }
  // A stand-in browser that records its arguments, one a line, then END.
  std::string fake(const std::string& name) {
    const std::string real = dir_.sub("real") + name;
    write_script(real, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > " + record_ + ".tmp\n"
                       "echo END >> " + record_ + ".tmp; /bin/mv " + record_ + ".tmp " + record_);
    // Found in PATH through a link, which the library resolves.
    EXPECT_EQ(::symlink(real.c_str(), (bin_ + name).c_str()), 0);
    return real;
  }
  TempDir dir_;
  std::string bin_ = dir_.sub("bin");
  std::string record_ = dir_ / "argv.txt";
  ScopedEnv env_;
  Library lib_;
};

TEST_F(SetupBrowserTest, TheFirstCandidateFoundIsStartedWithTheAddress) {
  struct Case {
    const char* name;
    std::optional<std::string> browser_var;  // $BROWSER
    const char* program;                     // the stand-in laid out
    const char* xdg;                         // the desktop entry's Exec, or nullptr
    const char* expected_args;               // recorded arguments
  };
  const Case cases[] = {
      {"BROWSER with %s", "fakeb --new %s --x:other", "fakeb", nullptr, "--new\nhttp://h/a b\n--x\nEND\n"},
      {"BROWSER without %s", "fakeb", "fakeb", nullptr, "http://h/a b\nEND\n"},
      {"BROWSER naming a missing program", "nothere %s", "x-www-browser", nullptr, "http://h/a b\nEND\n"},
      {"desktop default", std::nullopt, "deskb", "\"deskb\" --url %U %i", "--url\nhttp://h/a b\nEND\n"},
      // Only the second of the fall-back names is there.
      {"second fall-back", std::nullopt, "www-browser", nullptr, "http://h/a b\nEND\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir run;
    env_.set("PATH", run.dir());
    bin_ = run.path();
    env_.set("BROWSER", c.browser_var);
    if (c.xdg) {
      write_script(bin_ + "xdg-settings", "[ \"$1 $2\" = \"get default-web-browser\" ] && echo fake.desktop");
      write_file(dir_.sub(".local/share/applications") + "fake.desktop",
                 "[Desktop Action x]\nExec=wrong\n[Desktop Entry]\nName=Fake\nExec=" + std::string(c.xdg) + "\n");
    }
    const std::string real = fake(c.program);
    ::unlink(record_.c_str());

    std::string text;
    uint32_t value = 0;
    ASSERT_EQ(lib_.call("GetBrowser", text, &value), 1);
    EXPECT_EQ(text, real);
    EXPECT_EQ(value, real.size() + 1);

    text = "http://h/a b";
    value = 0;
    ASSERT_EQ(lib_.call("RunBrowser", text, &value), 1);
    EXPECT_EQ(value, real.size() + 1);
    EXPECT_EQ(wait_for_file(record_), c.expected_args);
    // The browser was started detached: no child of ours is left to reap.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_TRUE(caught_messages().empty());
    ::unlink((dir_.path() + ".local/share/applications/fake.desktop").c_str());
  }
}

TEST_F(SetupBrowserTest, NoBrowserGivesTheMessages) {
  std::string text = "ignored";
  uint32_t value = 7;
  EXPECT_EQ(lib_.call("GetBrowser", text, &value), 0);
  text = "http://h/";
  EXPECT_EQ(lib_.call("RunBrowser", text, &value), 0);
  ASSERT_EQ(caught_messages().size(), 2u);
  EXPECT_EQ(caught_messages()[0], (std::pair<std::string, std::string>(kWarning, kNoBrowser)));
  EXPECT_EQ(caught_messages()[1], (std::pair<std::string, std::string>("Browser", "Fail")));
}

TEST(SetupExports, BuffersValuesAndFiles) {
  Library lib;
  TempDir dir;
  ScopedEnv env;
  char buffer[SETUPAID_BUFFER_SIZE] = "x";
  uint32_t value = 0;
  // Null buffers or values give 0.
  for (const char* name : {"GetHomePageURL", "WriteDefaultIni", "RunBrowser", "GetBrowser",
                           "ModifyUninstallReg", "GetVirtualDocRoot", "GetVirtualCGIRoot",
                           "GetSysadmURL", "ModifyHomePage"}) {
    SCOPED_TRACE(name);
    Export f = lib.get(name);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f(nullptr, &value, nullptr), 0);
  }
  EXPECT_EQ(lib.get("WriteDefaultIni")(nullptr, nullptr, buffer), 0);

  // Without a "," nothing is written.
  const std::string ini = dir / "vesprin.ini";
  std::string text = ini;
  EXPECT_EQ(lib.call("WriteDefaultIni", text, &value), 0);
  EXPECT_EQ(read_file(ini), "");
  text = ini + "," + dir.path() + "www/search";
  ASSERT_EQ(lib.call("WriteDefaultIni", text, &value), 1);
  text = ini;
  ASSERT_EQ(lib.call("GetSysadmURL", text, &value), 1);
  EXPECT_NE(text.find("/search/sysadm.htm"), std::string::npos) << text;

  // A home page longer than the buffer is cut to 1,023 bytes.
  write_file(ini, "[VESPRIN]\nHomePage=http://h/" + std::string(2000, 'p') + "\n");
  text = ini;
  ASSERT_EQ(lib.call("GetHomePageURL", text, &value), 1);
  EXPECT_EQ(text.size(), size_t(SETUPAID_BUFFER_SIZE - 1));
  text = dir / "absent.ini";
  ASSERT_EQ(lib.call("GetHomePageURL", text, &value), 1);
  EXPECT_EQ(text, "");

  // The uninstall entry.
  const std::string uninstall = dir / "uninstall.ini";
  env.set("QUILLMERE_UNINSTALL_FILE", uninstall);
  text = "/opt/qm/remove --all";
  ASSERT_EQ(lib.call("ModifyUninstallReg", text, &value), 1);
  text = "/opt/qm/remove --again";
  ASSERT_EQ(lib.call("ModifyUninstallReg", text, &value), 1);
  EXPECT_EQ(read_file(uninstall),
            "\n[Uninstall]\nUninstallString=/opt/qm/remove --again\nUninstallString2=/opt/qm/remove --all\n");
  env.set("QUILLMERE_UNINSTALL_FILE", dir / "missing/uninstall.ini");
  EXPECT_EQ(lib.call("ModifyUninstallReg", text, &value), 0);

  // Roots: lighttpd's configuration when it exists, else Apache's.
  write_file(dir / "lighttpd.conf",
             "server.document-root = \"" + dir.path() + "www/\"\nserver.port = 8080\n"
             "server.modules = (\"mod_alias\")\nalias.url = (\"/cgi-bin/\" => \"" + dir.path() + "cgi/\")\n");
  write_file(dir / "apache2.conf", "DocumentRoot /apache/www\nScriptAlias /cgi-bin/ /apache/cgi/\n");
  env.set("QUILLMERE_LIGHTTPD_CONF", dir / "lighttpd.conf");
  env.set("QUILLMERE_APACHE_CONF", dir / "apache2.conf");
  text.clear();
  ASSERT_EQ(lib.call("GetVirtualDocRoot", text, &value), 1);
  EXPECT_EQ(text, dir.path() + "www");
  ASSERT_EQ(lib.call("GetVirtualCGIRoot", text, &value), 1);
  EXPECT_EQ(text, dir.path() + "cgi");
  env.set("QUILLMERE_LIGHTTPD_CONF", dir / "none.conf");
  ASSERT_EQ(lib.call("GetVirtualDocRoot", text, &value), 1);
  EXPECT_EQ(text, "/apache/www");
  ASSERT_EQ(lib.call("GetVirtualCGIRoot", text, &value), 1);
  EXPECT_EQ(text, "/apache/cgi");
  env.set("QUILLMERE_APACHE_CONF", dir / "none.conf");
  EXPECT_EQ(lib.call("GetVirtualDocRoot", text, &value), 0);
}

TEST(SetupProgram, SubcommandsCallTheExports) {
  TempDir dir;
  const std::string ini = dir / "vesprin.ini";
  const std::string program = QM_DIST_DIR "/quillmere-setup";
  std::string out;
  ASSERT_EQ(test::command_output(program + " WriteDefaultIni '" + ini + "," + dir.path() + "web/search' --value 1", out), 0);
  out.clear();
  ASSERT_EQ(test::command_output(program + " GetSysadmURL '" + ini + "'", out), 0);
  EXPECT_NE(out.find("/search/sysadm.htm\n"), std::string::npos) << out;
  out.clear();
  EXPECT_NE(test::command_output(program + " WriteDefaultIni 'no comma' 2>/dev/null", out), 0);
  EXPECT_NE(test::command_output(program + " NoSuchFunction 2>/dev/null", out), 0);
  // A missing page's message reaches standard error as "caption: text".
  out.clear();
  dir.sub("www");
  ASSERT_EQ(test::command_output("LC_ALL=C.UTF-8 " + program + " ModifyHomePage '" + ini + "," +
                                     dir.path() + "www' 2>&1",
                                 out), 0);
  // "錯誤: 找不到 ..."
  EXPECT_NE(out.find("\xe9\x8c\xaf\xe8\xaa\xa4: \xe6\x89\xbe\xe4\xb8\x8d\xe5\x88\xb0 " + dir.path() + "www/index.htm"),
            std::string::npos) << out;
}

}  // namespace
}  // namespace qm
