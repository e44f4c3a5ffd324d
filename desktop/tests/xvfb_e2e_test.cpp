// End to end under a real X server: Xvfb (started with -displayfd, stopped by its pid)
// shows the real `quillmere` from a program directory of links; the window appears, a
// screenshot is saved (build/desktop-xvfb.png), SIGTERM closes the window as Close does,
// and the history and layout are written to vesprin.ini. Without a configuration the
// program shows its message and ends with code 1.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "common/ini.h"
#include "platform/process.h"
#include "platform/shell_open.h"
#include "testsupport/test_files.h"
#include "testsupport/xvfb_server.h"

namespace {

const std::string kDist = std::string(QM_DIST_DIR) + "/";

// Reads the child's output into out until done(out) or the limit; true when done.
template <typename Done>
bool read_until(qm::ChildProcess& child, std::string& out, int limit_ms, Done done) {
  for (int waited = 0; waited < limit_ms; waited += 50) {
    if (done(out)) return true;
    if (child.read(out, 50) == qm::ChildRead::End && !done(out)) return false;
  }
  return done(out);
}

qm::ChildOptions options(std::vector<std::string> argv, std::vector<std::string> env = {}) {
  qm::ChildOptions o;
  o.argv = std::move(argv);
  o.env = std::move(env);
  return o;
}

class DesktopUnderXvfb : public ::testing::Test {
 protected:
  void SetUp() override {
    xdotool_ = qm::find_in_path("xdotool");
    import_ = qm::find_in_path("import");
    if (xdotool_.empty() || import_.empty())
      GTEST_SKIP() << "xdotool and ImageMagick are needed (scripts/setup)";
    if (!server_.start()) {
      if (!server_.installed()) GTEST_SKIP() << server_.error();
      FAIL() << server_.error();
    }
    display_ = server_.display();
  }
  void TearDown() override { EXPECT_TRUE(server_.stop()); }

  // A program directory of links to the built program and its files.
  void link_program(const qm::test::TempDir& dir) {
    for (const char* name : {"quillmere", "quillmere.rcc", "vesprin.htm"})
      ASSERT_EQ(symlink((kDist + name).c_str(), (dir / name).c_str()), 0) << name;
  }

  bool start_program(qm::ChildProcess& app, const qm::test::TempDir& dir,
                     const std::string& locale) {
    const std::string supp = std::string(QM_SOURCE_DIR) + "/desktop/tests/lsan.supp";
    qm::ChildOptions o;
    o.argv = {dir / "quillmere"};
    o.working_dir = "/";
    o.env = {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "LANG=" + locale, "LC_ALL=" + locale,
             "LSAN_OPTIONS=suppressions=" + supp + ":print_suppressions=0"};
    return app.start(o);
  }

  // Waits for a visible window whose name matches, reading the program's output meanwhile.
  std::string wait_for_window(const std::string& name, qm::ChildProcess& app,
                              std::string& app_out) {
    qm::ChildProcess search;
    if (!search.start(options({xdotool_, "search", "--sync", "--onlyvisible", "--name", name},
                              {"DISPLAY=" + display_})))
      return "";
    std::string found;
    search.read_until_end(30000, [&](std::string_view p) {
      found.append(p);
      app.read(app_out, 0);
      return true;
    });
    search.stop();
    return found;
  }

  int run(std::vector<std::string> argv) {
    qm::ChildProcess c;
    if (!c.start(options(std::move(argv), {"DISPLAY=" + display_}))) return -1;
    c.read_until_end(30000, [](std::string_view) { return true; });
    c.stop();
    return c.exited() ? c.exit_code() : -1;
  }

  std::string xdotool_, import_, display_;
  qm::test::XvfbServer server_;
};

TEST_F(DesktopUnderXvfb, StartsShowsAndClosesOnSigterm) {
  qm::test::TempDir dir("qm-xvfb-");
  link_program(dir);
  qm::test::write_file(dir / "vesprin.ini",
                       "[VESPRIN]\nSearcher=/cgi-bin/searcher\nResultCount=50\n"
                       "[HISTORY]\n0=alpha\n1=\xA4\xA4\xA4\xE5\n"
                       // One database, so the wizard is not offered.
                       "[INDEX]\n1=1\n[DB-1]\nDescription=One\nWorkDir=/nowhere/\n");

  qm::ChildProcess app;
  ASSERT_TRUE(start_program(app, dir, "zh_TW.UTF-8")) << app.error();

  // The main window appears (xdotool waits for it; the deadline ends the wait).
  std::string app_out;
  // The main window's title (the splash is also called "quillmere").
  const std::string found = wait_for_window("^Quillmere  2000$", app, app_out);
  ASSERT_FALSE(found.empty()) << "no window; quillmere wrote: " << app_out;
  usleep(500000);  // let it paint
  app.read(app_out, 0);

  const std::string shot = std::string(QM_DIST_DIR) + "/../desktop-xvfb.png";
  EXPECT_EQ(run({import_, "-display", display_, "-window", "root", shot}), 0);
  EXPECT_EQ(qm::test::read_file(shot).substr(0, 8), "\x89PNG\r\n\x1A\n");

  // SIGTERM closes the window as Close does; the program ends normally.
  ASSERT_EQ(kill(app.pid(), SIGTERM), 0);
  read_until(app, app_out, 20000, [&](const std::string&) { return app.has_ended(); });
  ASSERT_TRUE(app.wait_for_end(1000)) << app_out;
  app.read(app_out, 0);
  app.stop();
  EXPECT_TRUE(app.exited()) << app_out;
  EXPECT_EQ(app.exit_code(), 0) << app_out;

  qm::IniTree ini;
  ASSERT_TRUE(ini.load(dir / "vesprin.ini"));
  EXPECT_EQ(ini.get("HISTORY", "0"), "alpha");
  EXPECT_EQ(ini.get("HISTORY", "1"), "\xA4\xA4\xA4\xE5");
  EXPECT_EQ(ini.get("SIZE", "Width"), "1024");  // the whole screen (no window manager)
  EXPECT_EQ(ini.get("VESPRIN", "CacheDir"), dir.path() + "Cache/");

}

TEST_F(DesktopUnderXvfb, WithoutConfigurationTellsAndEndsWithCode1) {
  qm::test::TempDir dir("qm-xvfb-");
  link_program(dir);
  qm::ChildProcess app;
  ASSERT_TRUE(start_program(app, dir, "C")) << app.error();
  std::string app_out;
  // The message box (caption 9001, "Error" in English) is dismissed with Enter; there is no
  // window manager, so the window is given the focus directly.
  const std::string found = wait_for_window("^Error$", app, app_out);
  ASSERT_FALSE(found.empty()) << "no message; quillmere wrote: " << app_out;
  const std::string window = found.substr(0, found.find('\n'));
  EXPECT_EQ(run({xdotool_, "windowfocus", "--sync", window, "key", "Return"}), 0);
  read_until(app, app_out, 20000, [&](const std::string&) { return app.has_ended(); });
  app.stop();
  EXPECT_TRUE(app.exited()) << app_out;
  EXPECT_EQ(app.exit_code(), 1) << app_out;
  EXPECT_TRUE(qm::test::read_file(dir / "vesprin.ini").empty());  // nothing was created
}

}  // namespace
