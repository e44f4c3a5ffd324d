// The real `quillmere` binary from outside, under an X server of its own: an installation
// over a copy of samples/ whose database the real indexer has built; the program starts,
// xdotool waits for its window and types "tea" and Enter, the test waits until the
// program's searcher child has come and gone, ImageMagick's import saves the screen,
// SIGTERM ends the program as Close does, and HISTORY holds "tea". Every wait polls with
// a deadline.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QGuiApplication>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "desktop/tests/e2e/e2e_install.h"
#include "platform/process.h"
#include "platform/shell_open.h"
#include "testsupport/xvfb_server.h"

using namespace qm;
namespace fs = std::filesystem;

namespace {

constexpr int kLimitMs = 30000;

bool poll(const std::function<bool()>& done, int limit_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs a tool on the display to its end; its exit code, -1 when it did not end.
int run(const std::vector<std::string>& argv, const std::string& display, std::string* out = nullptr) {
  ChildProcess c;
  ChildOptions o;
  o.argv = argv;
  o.env = {"DISPLAY=" + display};
  if (!c.start(o)) return -1;
  std::string text;
  c.read_until_end(kLimitMs, [&](std::string_view p) {
    text.append(p);
    return true;
  });
  c.stop();
  if (out) *out = text;
  return c.exited() ? c.exit_code() : -1;
}

}  // namespace

TEST(DesktopOutside, TypesTeaIntoTheRealProgram) {
  const std::string xdotool = find_in_path("xdotool");
  const std::string import = find_in_path("import");
  if (xdotool.empty() || import.empty()) GTEST_SKIP() << "xdotool and ImageMagick are needed (scripts/setup)";
  test::XvfbServer server;
  if (!server.start()) {
    if (!server.installed()) GTEST_SKIP() << server.error();
    FAIL() << server.error();
  }
  const std::string display = server.display();
  {
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int argc = 1;
    char name[] = "desktop_e2e_outside";
    char* argv[] = {name, nullptr};
    QGuiApplication fonts(argc, argv);
    const std::string trouble = e2e::chinese_font_trouble();
    ASSERT_EQ(trouble, "") << trouble;
  }

  // The installation with one database over the samples, built by the real indexer.
  e2e::Installation inst;
  const std::string work = inst.path() + "DB/Samples/";
  fs::create_directories(work);
  test::write_file(inst / "vesprin.ini",
                   test::read_file(inst / "vesprin.ini") + "\n[INDEX]\n1=1\n[DB-1]\nDescription=Samples\n"
                   "HtmlDir=" + inst.docs() + "\nWorkDir=" + work + "\nLocalFileType=txt,htm,html\n");
  {
    ChildProcess indexer;
    ChildOptions o;
    o.argv = {inst / "indexer", "-w0", "-f10", "-x1"};
    ASSERT_TRUE(indexer.start(o)) << indexer.error();
    std::string out;
    EXPECT_TRUE(indexer.read_until_end(120000, [&](std::string_view p) {
      out.append(p);
      return true;
    }));
    indexer.stop();
    ASSERT_TRUE(fs::exists(work + "cross.db")) << out;
  }

  ChildProcess app;
  ChildOptions o;
  o.argv = {inst / "quillmere"};
  o.working_dir = "/";
  o.env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "LC_ALL=C.UTF-8",
           "LSAN_OPTIONS=suppressions=" QM_SOURCE_DIR "/desktop/tests/lsan.supp:print_suppressions=0"};
  ASSERT_TRUE(app.start(o)) << app.error();
  std::string app_out;

  // The main window (the splash is called "quillmere" too), then the keys.
  std::string window;
  EXPECT_EQ(run({xdotool, "search", "--sync", "--onlyvisible", "--name", "^Quillmere  2000$"}, display,
                &window),
            0);
  app.read(app_out, 0);
  ASSERT_FALSE(window.empty()) << "no window; quillmere wrote: " << app_out;
  window = window.substr(0, window.find('\n'));
  // No window manager runs: the input focus is set directly. The search box has the
  // window's focus at start.
  EXPECT_EQ(run({xdotool, "windowfocus", "--sync", window}, display), 0);
  EXPECT_EQ(run({xdotool, "type", "tea"}, display), 0);
  // Enter, while the program's children are watched: the searcher may be quick.
  const pid_t pid = app.pid();
  ChildProcess enter;
  ChildOptions key;
  key.argv = {xdotool, "key", "Return"};
  key.env = {"DISPLAY=" + display};
  ASSERT_TRUE(enter.start(key)) << enter.error();
  EXPECT_TRUE(poll([&] { return e2e::has_child(pid, "searcher"); }, kLimitMs))
      << "no searcher started";
  EXPECT_TRUE(enter.wait_for_end(kLimitMs));
  enter.stop();
  EXPECT_TRUE(poll([&] { return !e2e::has_child(pid, "searcher"); }, kLimitMs))
      << "the searcher did not end";
  app.read(app_out, 0);

  const std::string shot = e2e::screenshot_dir() + "outside-hits-english.png";
  EXPECT_EQ(run({import, "-display", display, "-window", "root", shot}, display), 0);
  EXPECT_EQ(test::read_file(shot).substr(0, 8), "\x89PNG\r\n\x1A\n");
  std::printf("screenshot: %s\n", shot.c_str());

  ASSERT_EQ(kill(pid, SIGTERM), 0);
  EXPECT_TRUE(poll([&] {
    app.read(app_out, 0);
    return app.has_ended();
  }, kLimitMs)) << app_out;
  app.stop();
  EXPECT_TRUE(app.exited()) << app_out;
  EXPECT_EQ(app.exit_code(), 0) << app_out;
  const std::string ini = test::read_file(inst / "vesprin.ini");
  const size_t history = ini.find("[HISTORY]");
  ASSERT_NE(history, std::string::npos) << ini;
  EXPECT_EQ(ini.find("0=tea", history), ini.find('\n', history) + 1) << ini;
  EXPECT_TRUE(server.stop());
}
