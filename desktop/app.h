// The desktop program: start-up of the Qt application, the texts and pictures of
// dist/quillmere.rcc, the splash window, the main window, and closing on SIGTERM or
// SIGINT as the Close command does. quillmere_main.cpp is the program's thin main; the
// form tests use the pieces below.
#pragma once
#include <QPixmap>
#include <functional>
#include <memory>
#include <string>

namespace qm {

class MessageSink;
class ShellOpener;
class TMainForm;

// Registers <program_dir>quillmere.rcc and loads the text table of the language
// ("en" or "zh_TW"). A missing file leaves every text empty (one line on standard error);
// the program goes on. false in that case.
bool desktop_load_resources(const std::string& program_dir, const std::string& language);

// A picture of the resources by its name (IDB_WELCOME ...); null when missing.
QPixmap desktop_picture(const char* name);

// Creates the main window and runs its creation steps; nullptr when they refuse (the
// message is shown; the program then ends with code 1).
std::unique_ptr<TMainForm> desktop_create_main_window(const std::string& program_dir);

// What the end-to-end tests put in place of the program's own parts: the message sink
// (instead of message boxes), the shell opener (instead of xdg-open), and a call once the
// main window exists, before it is first shown. Each may be left empty.
struct DesktopStartHooks {
  MessageSink* sink = nullptr;
  ShellOpener* opener = nullptr;
  std::function<void(TMainForm&)> on_window;
};

// Runs body; an exception escaping it is shown (message 13003 followed by its text,
// caption Error, the stop sign, through the message sink) and gives false.
bool desktop_catch(const std::function<void()>& body);

// The whole program (hooks: nullptr for the real one).
int quillmere_main(int argc, char** argv, const DesktopStartHooks* hooks = nullptr);

}  // namespace qm
