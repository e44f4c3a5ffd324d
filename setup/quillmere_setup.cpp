// quillmere-setup: the setup helpers from the command line. It loads libsetupaid.so from
// its own directory with dlopen and calls one export per subcommand, or runs the whole
// installation of the web pages (install): the web server's roots, the default settings
// in vesprin.ini, the page templates copied under the document root and rewritten, and
// the home page's address printed. Used by scripts/demo and the end-to-end tests.
#include <dlfcn.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "setupaid.h"

namespace {

using Export = int (*)(void*, uint32_t*, char*);

constexpr const char* kExports[] = {
    "GetHomePageURL",  "WriteDefaultIni",   "RunBrowser",   "GetBrowser",    "ModifyUninstallReg",
    "GetVirtualDocRoot", "GetVirtualCGIRoot", "GetSysadmURL", "ModifyHomePage",
};
// The page templates an installation puts under the document root.
constexpr const char* kPages[] = {"index.htm",     "sysadm.htm",   "search_result.htm",
                                  "search_next.htm", "zero_hit.htm", "error.htm"};

void usage() {
  std::fprintf(stderr,
               "usage: quillmere-setup <function> [--value N] [text]\n"
               "       quillmere-setup install [--exe] [--pages NAME] [program-directory]\n"
               "functions:");
  for (const char* name : kExports) std::fprintf(stderr, " %s", name);
  std::fprintf(stderr,
               "\n"
               "  The text is the function's buffer (for example \"ini-path,template-dir\");\n"
               "  the buffer it returns is printed. Exit status 0 when the function succeeds.\n"
               "install: reads the web server's roots, copies the page templates from this\n"
               "  program's directory to <document root>/NAME (default \"search\"), writes the\n"
               "  defaults into <program-directory>/vesprin.ini (default <script root>/qm) and\n"
               "  rewrites the home pages; prints the home page's address.\n");
}

std::string program_dir(const char* argv0) {
  std::string p = argv0;
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? std::string("./") : p.substr(0, slash + 1);
}

class Library {
 public:
  explicit Library(const std::string& dir) {
    handle_ = ::dlopen((dir + "libsetupaid.so").c_str(), RTLD_NOW);
    if (!handle_) handle_ = ::dlopen("libsetupaid.so", RTLD_NOW);
  }
  ~Library() {
    if (handle_) ::dlclose(handle_);
  }
  bool loaded() const { return handle_ != nullptr; }
  Export get(const char* name) const {
    return reinterpret_cast<Export>(::dlsym(handle_, name));
  }
  int call(const char* name, uint32_t& value, std::string& text) const {
    Export f = get(name);
    if (!f) return -1;
    std::vector<char> buffer(SETUPAID_BUFFER_SIZE, '\0');
    std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size() - 1));
    int result = f(nullptr, &value, buffer.data());
    text = buffer.data();
    return result;
  }

 private:
  void* handle_ = nullptr;
};

// Copies a page through a temporary file in the target's folder renamed over the target,
// so an installed page is never left half written.
bool copy_file(const std::string& from, const std::string& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) return false;
  const std::string temp = to + ".tmp-setup";
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  char chunk[65536];
  size_t n;
  bool ok = true;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0)
    if (std::fwrite(chunk, 1, n, out) != n) ok = false;
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  if (ok && std::rename(temp.c_str(), to.c_str()) != 0) ok = false;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

bool make_dirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    std::string part = path.substr(0, i);
    struct stat st {};
    if (::stat(part.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (::mkdir(part.c_str(), 0755) != 0) return false;
  }
  return true;
}

int install(const Library& lib, const std::string& source_dir, int argc, char** argv) {
  bool exe = false;
  std::string pages = "search";
  std::string program;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--exe") {
      exe = true;
    } else if (a == "--pages" && i + 1 < argc) {
      pages = argv[++i];
    } else if (!a.empty() && a[0] != '-' && program.empty()) {
      program = a;
    } else {
      usage();
      return 2;
    }
  }
  if (pages.empty() || pages.find('/') != std::string::npos || pages == "." || pages == "..") {
    std::fprintf(stderr, "quillmere-setup: --pages takes one folder name\n");
    return 2;
  }
  uint32_t value = 0;
  std::string doc_root;
  if (lib.call("GetVirtualDocRoot", value, doc_root) != 1) {
    std::fprintf(stderr, "quillmere-setup: the web server's document root was not found\n");
    return 1;
  }
  if (program.empty()) {
    std::string cgi_root;
    if (lib.call("GetVirtualCGIRoot", value, cgi_root) != 1) {
      std::fprintf(stderr, "quillmere-setup: the web server's script root was not found\n");
      return 1;
    }
    program = cgi_root + "/qm";
  }
  while (program.size() > 1 && program.back() == '/') program.pop_back();
  const std::string target = (doc_root == "/" ? std::string() : doc_root) + "/" + pages;
  if (!make_dirs(target) || !make_dirs(program)) {
    std::fprintf(stderr, "quillmere-setup: cannot make %s or %s\n", target.c_str(), program.c_str());
    return 1;
  }
  for (const char* page : kPages) {
    const std::string from = source_dir + page;
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0) continue;
    if (!copy_file(from, target + "/" + page)) {
      std::fprintf(stderr, "quillmere-setup: cannot copy %s to %s\n", from.c_str(), target.c_str());
      return 1;
    }
  }
  const std::string ini = program + "/vesprin.ini";
  std::string text = ini + "," + target;
  value = exe ? 1 : 0;
  if (lib.call("WriteDefaultIni", value, text) != 1) {
    std::fprintf(stderr, "quillmere-setup: cannot write %s\n", ini.c_str());
    return 1;
  }
  text = ini + "," + target;
  if (lib.call("ModifyHomePage", value, text) != 1) return 1;
  text = ini;
  lib.call("GetHomePageURL", value, text);
  std::printf("%s\n", text.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (argc < 2) {
    usage();
    return 2;
  }
  const std::string dir = program_dir(argv[0]);
  Library lib(dir);
  if (!lib.loaded()) {
    std::fprintf(stderr, "quillmere-setup: cannot load libsetupaid.so: %s\n", ::dlerror());
    return 1;
  }
  std::string command = argv[1];
  if (command == "install") return install(lib, dir, argc - 2, argv + 2);

  bool known = false;
  for (const char* name : kExports) known = known || command == name;
  if (!known) {
    usage();
    return 2;
  }
  uint32_t value = 0;
  std::string text;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--value" && i + 1 < argc) {
      value = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (text.empty()) {
      text = a;
    } else {
      usage();
      return 2;
    }
  }
  int result = lib.call(command.c_str(), value, text);
  if (result < 0) {
    std::fprintf(stderr, "quillmere-setup: libsetupaid.so has no %s\n", command.c_str());
    return 1;
  }
  if (result == 1 && !text.empty() && command != "WriteDefaultIni" && command != "RunBrowser" &&
      command != "ModifyUninstallReg" && command != "ModifyHomePage")
    std::printf("%s\n", text.c_str());
  return result == 1 ? 0 : 1;
}
