// Default configuration keys, home page and uninstall entry of the setup helpers, over the
// common ini engine. See setup_config.h.
#include "setup/setup_config.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "common/ini.h"
#include "common/strings.h"
#include "platform/paths.h"

namespace qm {
namespace {

bool exists_with_bytes(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

// Loads path into tree, or starts an empty tree named after it when there is no such
// file. false when a file is there but cannot be read (it must not be replaced by a
// tree that lost its contents).
bool load_or_start(IniTree& tree, const std::string& path) {
  if (tree.load(path)) return true;
  tree.free();
  if (exists_with_bytes(path)) return false;
  // A directory, or an empty file that cannot be replaced, fails at the save.
  tree.set_file(path);
  return true;
}

}  // namespace

std::optional<std::pair<std::string, std::string>> setup_split_pair(std::string_view buffer) {
  size_t comma = buffer.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  return std::make_pair(std::string(buffer.substr(0, comma)), std::string(buffer.substr(comma + 1)));
}

std::string setup_absolute_path(std::string_view path) {
  std::string p = path_backslash_to_slash(path);
  if (p.empty() || p[0] != '/') p = path_join(platform_current_dir(), p);
  while (!p.empty() && p.back() == '/') p.pop_back();
  return p;
}

std::string setup_file_directory(std::string_view file) {
  std::string p = setup_absolute_path(file);
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

std::string setup_script_path(std::string_view dir) {
  size_t pos = 0;
  size_t last = std::string_view::npos;
  while (pos < dir.size()) {
    size_t slash = dir.find('/', pos);
    size_t end = slash == std::string_view::npos ? dir.size() : slash;
    std::string_view component = dir.substr(pos, end - pos);
    if (!component.empty()) {
      if (string_icmp(component, "scripts") == 0 || string_icmp(component, "cgi-bin") == 0)
        return std::string("/").append(dir.substr(pos));
      last = pos;
    }
    pos = end + 1;
  }
  if (last == std::string_view::npos) return std::string();
  size_t end = dir.find('/', last);
  return std::string("/").append(dir.substr(last, end == std::string_view::npos ? end : end - last));
}

std::string setup_host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

std::vector<std::pair<std::string, std::string>> setup_default_keys(std::string_view ini_path,
                                                                    std::string_view template_dir,
                                                                    bool exe_names,
                                                                    std::string_view host) {
  const std::string t = setup_absolute_path(template_dir);
  const std::string d = setup_file_directory(ini_path);
  size_t slash = t.rfind('/');
  std::string page_dir = slash == std::string::npos ? t : t.substr(slash);
  const std::string p = setup_script_path(d);
  const char* exe = exe_names ? ".exe" : "";
  return {
      {"TmplFirstQuery", t + "/search_result.htm"},
      {"TmplError", t + "/error.htm"},
      {"HomePage", std::string("http://").append(host).append(page_dir).append("/index.htm")},
      {"CacheDir", d + "/Cache/"},
      {"Searcher", p + "/searcher" + exe},
      {"SystemAdm", p + "/sysadm" + exe},
      {"EngFile", p + "/engfile.txt"},
  };
}

bool setup_write_default_ini(std::string_view ini_path, std::string_view template_dir,
                             bool exe_names) {
  const std::string path = setup_absolute_path(ini_path);
  IniTree tree;
  if (!load_or_start(tree, path)) return false;
  for (const auto& [key, value] : setup_default_keys(path, template_dir, exe_names, setup_host_name()))
    tree.set(kSetupSection, key, value);
  return tree.save();
}

std::string setup_read_key(std::string_view ini_path, std::string_view key) {
  IniTree tree;
  if (!tree.load(setup_absolute_path(ini_path))) return std::string();
  return tree.get(kSetupSection, key).value_or(std::string());
}

std::optional<std::string> setup_sysadm_url(std::string_view ini_path) {
  std::string home = setup_read_key(ini_path, "HomePage");
  size_t slash = home.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  return home.substr(0, slash + 1) + "sysadm.htm";
}

std::string setup_uninstall_file() {
  if (const char* given = std::getenv("QUILLMERE_UNINSTALL_FILE"); given && *given) return given;
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&setup_uninstall_file), &info) && info.dli_fname) {
    std::string self = info.dli_fname;
    size_t slash = self.rfind('/');
    if (slash != std::string::npos) return self.substr(0, slash + 1) + "uninstall.ini";
  }
  return path_join(platform_current_dir(), "uninstall.ini");
}

bool setup_keep_uninstall(const std::string& file, std::string_view command) {
  IniTree tree;
  if (!load_or_start(tree, file)) return false;
  if (auto old = tree.get(kUninstallSection, "UninstallString"))
    tree.set(kUninstallSection, "UninstallString2", *old);
  tree.set(kUninstallSection, "UninstallString", command);
  return tree.save();
}

}  // namespace qm
