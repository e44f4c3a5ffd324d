// Finding and starting the user's web browser for the installer. Candidates in order,
// the first one found wins: the first entry of $BROWSER (words split at blanks; "%s"
// takes the address, else the address is appended), the Exec program of the desktop entry
// that `xdg-settings get default-web-browser` names, then x-www-browser, www-browser and
// xdg-open. Programs are looked up in PATH and their symbolic links resolved. Builds on
// platform/process.h (the timed xdg-settings child) and platform/shell_open.h (PATH
// lookup); called by setupaid.cpp.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct BrowserCommand {
  std::string program;            // absolute path, links resolved
  std::vector<std::string> args;  // arguments; "%s" in one of them stands for the address
};

// The first browser found; nullopt when there is none.
std::optional<BrowserCommand> setup_find_browser();

// The argument vector that opens address: program, then the arguments with every "%s"
// replaced by the address, or the address appended when none holds "%s".
std::vector<std::string> setup_browser_argv(const BrowserCommand& browser, std::string_view address);

// The Exec line of a desktop entry split into words (double quotes and their "\"
// escapes honoured); %u %U %f %F become "%s", "%%" a "%", other field codes are dropped.
std::vector<std::string> setup_desktop_exec_words(std::string_view exec);

// Starts argv[0] (an absolute path) with argv, without a shell, detached from us: in its
// own session, standard input, output and error on /dev/null, no descriptor of ours open;
// the intermediate child is reaped here, so no zombie stays. false (with error) when it
// cannot be started.
bool setup_spawn_detached(const std::vector<std::string>& argv, std::string* error = nullptr);

}  // namespace qm
