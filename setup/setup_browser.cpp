// Browser lookup and the detached start of the browser. See setup_browser.h.
#include "setup/setup_browser.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/files.h"
#include "platform/process.h"
#include "platform/shell_open.h"

namespace qm {
namespace {

// The program's absolute path with its links resolved; "" when it is not found.
std::string resolve_program(const std::string& name) {
  if (name.empty()) return std::string();
  std::string found = find_in_path(name);
  if (found.empty()) return std::string();
  char real[PATH_MAX];
  if (!::realpath(found.c_str(), real)) return std::string();
  return real;
}

std::vector<std::string> split_blanks(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    size_t b = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > b) words.emplace_back(text.substr(b, i - b));
  }
  return words;
}

std::optional<BrowserCommand> from_words(const std::vector<std::string>& words) {
  if (words.empty()) return std::nullopt;
  std::string program = resolve_program(words[0]);
  if (program.empty()) return std::nullopt;
  return BrowserCommand{program, std::vector<std::string>(words.begin() + 1, words.end())};
}

std::optional<BrowserCommand> from_browser_variable() {
  const char* value = std::getenv("BROWSER");
  if (!value) return std::nullopt;
  std::string_view v(value);
  return from_words(split_blanks(v.substr(0, v.find(':'))));
}

// The Exec value of the [Desktop Entry] group of a desktop file.
std::optional<std::string> desktop_exec(const std::string& file) {
  std::string text;
  if (!file_read_regular(file, text, size_t(1) << 20)) return std::nullopt;
  bool in_entry = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line[0] == '[') {
      in_entry = line == "[Desktop Entry]";
      continue;
    }
    if (in_entry && line.starts_with("Exec")) {
      std::string_view rest = line.substr(4);
      while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
      if (rest.empty() || rest[0] != '=') continue;
      rest.remove_prefix(1);
      while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
      return std::string(rest);
    }
  }
  return std::nullopt;
}

std::vector<std::string> data_dirs() {
  std::vector<std::string> dirs;
  const char* home_data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (home_data && *home_data)
    dirs.emplace_back(home_data);
  else if (home && *home)
    dirs.push_back(std::string(home) + "/.local/share");
  const char* data = std::getenv("XDG_DATA_DIRS");
  std::string list = data && *data ? data : "/usr/local/share:/usr/share";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) dirs.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return dirs;
}

std::optional<BrowserCommand> from_xdg_settings() {
  std::string tool = find_in_path("xdg-settings");
  if (tool.empty()) return std::nullopt;
  ProcessOptions options;
  options.argv = {tool, "get", "default-web-browser"};
  options.timeout_ms = 5000;
  options.max_output = 4096;
  ProcessResult result = process_run(options);
  if (!result.exited || result.exit_code != 0) return std::nullopt;
  std::string id = result.output;
  while (!id.empty() && (id.back() == '\n' || id.back() == '\r' || id.back() == ' ')) id.pop_back();
  // A desktop file id is a plain file name.
  if (id.empty() || id.find('/') != std::string::npos || !id.ends_with(".desktop")) return std::nullopt;
  for (const auto& dir : data_dirs()) {
    if (auto exec = desktop_exec(dir + "/applications/" + id))
      return from_words(setup_desktop_exec_words(*exec));
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> setup_desktop_exec_words(std::string_view exec) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < exec.size()) {
    while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t')) ++i;
    if (i >= exec.size()) break;
    std::string word;
    bool quoted_any = false;
    while (i < exec.size() && exec[i] != ' ' && exec[i] != '\t') {
      if (exec[i] == '"') {
        quoted_any = true;
        ++i;
        while (i < exec.size() && exec[i] != '"') {
          if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
          word += exec[i++];
        }
        if (i < exec.size()) ++i;
        continue;
      }
      if (exec[i] == '%' && i + 1 < exec.size()) {
        char code = exec[i + 1];
        i += 2;
        if (code == 'u' || code == 'U' || code == 'f' || code == 'F')
          word += "%s";
        else if (code == '%')
          word += '%';
        continue;
      }
      word += exec[i++];
    }
    if (!word.empty() || quoted_any) words.push_back(std::move(word));
  }
  return words;
}

std::optional<BrowserCommand> setup_find_browser() {
  if (auto b = from_browser_variable()) return b;
  if (auto b = from_xdg_settings()) return b;
  for (const char* name : {"x-www-browser", "www-browser", "xdg-open"})
    if (auto b = from_words({name})) return b;
  return std::nullopt;
}

std::vector<std::string> setup_browser_argv(const BrowserCommand& browser, std::string_view address) {
  std::vector<std::string> argv{browser.program};
  bool placed = false;
  for (std::string arg : browser.args) {
    size_t at = 0;
    while ((at = arg.find("%s", at)) != std::string::npos) {
      arg.replace(at, 2, address);
      at += address.size();
      placed = true;
    }
    argv.push_back(std::move(arg));
  }
  if (!placed) argv.emplace_back(address);
  return argv;
}

bool setup_spawn_detached(const std::vector<std::string>& argv, std::string* error) {
  if (argv.empty() || argv[0].empty() || argv[0][0] != '/') {
    if (error) *error = "no program";
    return false;
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // The grandchild reports a failed exec through this pipe; a successful exec closes it.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  pid_t middle = ::fork();
  if (middle < 0) {
    if (error) *error = std::strerror(errno);
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (middle == 0) {
    ::setsid();
    pid_t browser = ::fork();
    if (browser != 0) _exit(browser < 0 ? 1 : 0);
    int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      ::dup2(null_fd, 0);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
    }
    // Every other descriptor of ours is closed, apart from the report pipe (close-on-exec).
    for (int fd = 3; fd < 1024; ++fd)
      if (fd != report[1]) ::close(fd);
    ::execv(args[0], args.data());
    int e = errno;
    ssize_t w = ::write(report[1], &e, sizeof e);
    (void)w;
    _exit(127);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int e = 0;
  ssize_t got;
  while ((got = ::read(report[0], &e, sizeof e)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    if (error) *error = "could not start the browser";
    return false;
  }
  if (got == static_cast<ssize_t>(sizeof e)) {
    if (error) *error = std::strerror(e);
    return false;
  }
  return true;
}

}  // namespace qm
