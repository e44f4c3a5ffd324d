// Edge conversion of separators, the program directory and case-blind lookup of fixed
// file names; see paths.h.
#include "platform/paths.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace qm {
namespace {

bool lead_byte(unsigned char c) { return c >= 0xA1 && c <= 0xFE; }
bool trail_byte(unsigned char c) { return c >= 0x40 && c <= 0xFE; }

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool equal_case_blind(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

}  // namespace

void path_backslash_to_slash_inplace(std::string& path) {
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (lead_byte(c) && i + 1 < path.size() && trail_byte(static_cast<unsigned char>(path[i + 1]))) {
      ++i;  // the trail byte may be 0x5C; it belongs to the character
      continue;
    }
    if (c == '\\') path[i] = '/';
  }
}

std::string path_backslash_to_slash(std::string_view path) {
  std::string out(path);
  path_backslash_to_slash_inplace(out);
  return out;
}

std::string platform_current_dir() {
  std::vector<char> buf(4096);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE || buf.size() > (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string program_dir_from_argv0(std::string_view argv0) {
  size_t slash = argv0.rfind('/');
  bool dot_relative = argv0.size() >= 2 && argv0[0] == '.' && argv0[1] != '.';
  if (slash == std::string_view::npos || dot_relative) return platform_current_dir();
  return std::string(argv0.substr(0, slash + 1));
}

std::string path_join(std::string_view directory, std::string_view name) {
  std::string out(directory);
  while (!name.empty() && name.front() == '/') name.remove_prefix(1);
  if (!out.empty() && out.back() != '/') out += '/';
  out += name;
  return out;
}

std::string path_find_case_blind(const std::string& directory, const std::string& name) {
  std::string exact = path_join(directory, name);
  if (access(exact.c_str(), F_OK) == 0) return exact;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.empty() ? "." : directory.c_str()),
                                          closedir);
  if (!dir) return exact;
  std::string best;
  while (dirent* e = readdir(dir.get())) {
    std::string_view n(e->d_name);
    if (equal_case_blind(n, name) && (best.empty() || n < best)) best = n;
  }
  return best.empty() ? exact : path_join(directory, best);
}

}  // namespace qm
