// Run-time libraries over dlopen (see dynlib.h).
#include "platform/dynlib.h"

#include <dlfcn.h>

#include "platform/paths.h"

namespace qm {

std::string dynlib_file_name(std::string_view name) {
  std::string n(name);
  if (n.size() >= 3 && n.compare(n.size() - 3, 3, ".so") == 0) return n;
  if (n.size() >= 4) {
    std::string ext = n.substr(n.size() - 4);
    for (char& c : ext) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (ext == ".dll") n.resize(n.size() - 4);
  }
  return "lib" + n + ".so";
}

bool DynLib::open(std::string_view name, const std::string& folder, const std::string& program_dir) {
  close();
  error_.clear();
  auto try_path = [this](const std::string& path) {
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_) {
      path_ = path;
      return true;
    }
    const char* e = ::dlerror();
    if (!error_.empty()) error_ += "; ";
    error_ += e ? e : path;
    return false;
  };
  if (name.find('/') != std::string_view::npos) return try_path(std::string(name));
  const std::string file = dynlib_file_name(name);
  if (!folder.empty() && try_path(path_join(folder, file))) return true;
  if (!program_dir.empty() && try_path(path_join(program_dir, file))) return true;
  if (error_.empty()) error_ = "no folder to look for " + file + " in";
  return false;
}

void* DynLib::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

void DynLib::close() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
  path_.clear();
}

}  // namespace qm
