// End to end under a real X server: Xvfb (started with -displayfd, stopped by its pid)
// shows the real `quillmere` from a program directory of links; the window appears, a
// screenshot is saved (build/desktop-xvfb.png), SIGTERM closes the window as Close does,
// and the history and layout are written to vesprin.ini.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "common/ini.h"
#include "platform/process.h"
#include "platform/shell_open.h"
#include "testsupport/test_files.h"

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

// The display number Xvfb writes on -displayfd: the first line of digits.
int display_number(const std::string& out) {
  qm::ChildLineReader reader;
  std::vector<std::string> lines;
  reader.feed(out, lines);
  for (const std::string& l : lines)
    if (!l.empty() && l.find_first_not_of("0123456789") == std::string::npos) return std::stoi(l);
  return -1;
}

TEST(DesktopUnderXvfb, StartsShowsAndClosesOnSigterm) {
  const std::string xvfb = qm::find_in_path("Xvfb");
  const std::string xdotool = qm::find_in_path("xdotool");
  const std::string import = qm::find_in_path("import");
  if (xvfb.empty() || xdotool.empty() || import.empty())
    GTEST_SKIP() << "Xvfb, xdotool and ImageMagick are needed (scripts/setup)";

  qm::test::TempDir dir("qm-xvfb-");
  ASSERT_EQ(symlink((kDist + "quillmere").c_str(), (dir / "quillmere").c_str()), 0);
  ASSERT_EQ(symlink((kDist + "quillmere.rcc").c_str(), (dir / "quillmere.rcc").c_str()), 0);
  ASSERT_EQ(symlink((kDist + "vesprin.htm").c_str(), (dir / "vesprin.htm").c_str()), 0);
  qm::test::write_file(dir / "vesprin.ini",
                       "[VESPRIN]\nSearcher=/cgi-bin/searcher\nResultCount=50\n"
                       "[HISTORY]\n0=alpha\n1=\xA4\xA4\xA4\xE5\n");

  qm::ChildProcess server;
  ASSERT_TRUE(server.start(options({xvfb, "-displayfd", "1", "-screen", "0", "1024x768x24",
                                    "-nolisten", "tcp", "-noreset"})))
      << server.error();
  std::string server_out;
  ASSERT_TRUE(read_until(server, server_out, 20000,
                         [](const std::string& o) { return display_number(o) >= 0; }))
      << server_out;
  const std::string display = ":" + std::to_string(display_number(server_out));

  const std::string supp = std::string(QM_SOURCE_DIR) + "/desktop/tests/lsan.supp";
  qm::ChildOptions app_options;
  app_options.argv = {dir / "quillmere"};
  app_options.working_dir = "/";
  app_options.env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "LANG=zh_TW.UTF-8",
                     "LC_ALL=zh_TW.UTF-8", "LSAN_OPTIONS=suppressions=" + supp +
                                               ":print_suppressions=0"};
  qm::ChildProcess app;
  ASSERT_TRUE(app.start(app_options)) << app.error();

  // The main window appears (xdotool waits for it; the deadline ends the wait).
  qm::ChildProcess search;
  ASSERT_TRUE(search.start(options({xdotool, "search", "--sync", "--onlyvisible", "--name",
                                    "Quillmere"},
                                   {"DISPLAY=" + display})));
  std::string found, app_out;
  const bool shown = search.read_until_end(30000, [&](std::string_view p) {
    found.append(p);
    app.read(app_out, 0);
    return true;
  });
  search.stop();
  ASSERT_TRUE(shown && !found.empty()) << "no window; quillmere wrote: " << app_out;
  usleep(500000);  // let it paint
  app.read(app_out, 0);

  const std::string shot = std::string(QM_DIST_DIR) + "/../desktop-xvfb.png";
  qm::ChildProcess grab;
  ASSERT_TRUE(grab.start(options({import, "-display", display, "-window", "root", shot})));
  std::string grab_out;
  grab.read_until_end(30000, [&](std::string_view p) {
    grab_out.append(p);
    return true;
  });
  grab.stop();
  EXPECT_EQ(grab.exit_code(), 0) << grab_out;
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
  EXPECT_TRUE(ini.get("SIZE", "Width").has_value());
  EXPECT_EQ(ini.get("VESPRIN", "CacheDir"), dir.path() + "Cache/");

  const pid_t server_pid = server.pid();
  server.stop();
  EXPECT_NE(kill(server_pid, 0), 0);
}

}  // namespace
