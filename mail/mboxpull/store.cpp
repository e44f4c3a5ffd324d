// The mboxpull store (see store.h): finding it, walking it for folders, keys and
// display names.
#include "mail/mboxpull/store.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <set>
#include <utility>

#include "common/charset.h"
#include "common/ini.h"
#include "common/strings.h"
#include "platform/paths.h"

namespace qm::mboxpull {

namespace {

constexpr int kMaxDepth = 32;
constexpr size_t kMaxFolders = 100000;
constexpr size_t kMaxEntries = 1000000;

bool is_directory(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ends_with_eml(std::string_view name) {
  if (name.size() < 5) return false;
  std::string ext(name.substr(name.size() - 4));
  for (char& c : ext) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == ".eml";
}

// Names in a directory, sorted by bytes; "." and ".." left out.
std::vector<std::string> directory_names(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    names.push_back(name);
    if (names.size() >= kMaxEntries) break;
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

enum class EntryType { Other, Directory, File };

std::vector<std::string> split(std::string_view text, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(sep, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string join_rel(const std::string& rel, const std::string& name) { return rel.empty() ? name : rel + "/" + name; }

class Walker {
 public:
  explicit Walker(std::string root_real) : root_(std::move(root_real)) {
    // The store's own folder name; the root folder "/" is named by itself.
    const size_t slash = root_.rfind('/');
    std::string_view base(root_);
    if (slash != std::string::npos && slash + 1 < root_.size()) base.remove_prefix(slash + 1);
    store_name_ = display_component(base);
  }

  void walk(const std::string& rel, int depth) {
    if (depth > kMaxDepth || out_.size() >= kMaxFolders) return;
    const std::string dir = abs(rel);
    if (!first_visit(dir)) return;
    const std::vector<std::string> names = directory_names(dir);
    const bool maildir = holds_maildir_entry(names);
    if (maildir) add(FolderKind::Maildir, rel, components(rel));
    bool has_eml = false;
    for (const std::string& name : names) {
      const std::string child = join_rel(rel, name);
      if (name[0] == '.') {
        // Maildir++ subfolders ".a.b" of a Maildir; other hidden entries are passed over.
        if (maildir && name.size() > 1 && name != ".." && type_of(abs(child)) == EntryType::Directory &&
            holds_maildir_entry(directory_names(abs(child))) && first_visit(abs(child))) {
          std::vector<std::string> parts = components(rel);
          for (const std::string& piece : split(std::string_view(name).substr(1), '.'))
            parts.push_back(display_component(piece));
          add(FolderKind::Maildir, child, parts);
        }
        continue;
      }
      if (maildir && (name == "cur" || name == "new" || name == "tmp")) continue;
      const EntryType type = type_of(abs(child));
      if (type == EntryType::Directory) {
        walk(child, depth + 1);
      } else if (type == EntryType::File) {
        if (ends_with_eml(name))
          has_eml = true;
        else if (looks_like_mbox(abs(child)))
          add(FolderKind::Mbox, child, components(child));
      }
    }
    if (!maildir && has_eml) add(FolderKind::EmlFolder, rel, components(rel));
  }

  std::vector<StoreFolder> take() {
    std::sort(out_.begin(), out_.end(), [](const StoreFolder& a, const StoreFolder& b) { return a.path < b.path; });
    return std::move(out_);
  }

 private:
  std::string abs(const std::string& rel) const { return rel.empty() ? root_ : root_ + "/" + rel; }

  bool first_visit(const std::string& dir) {
    struct stat st{};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return seen_.insert({st.st_dev, st.st_ino}).second;
  }

  static bool holds_maildir_entry(const std::vector<std::string>& names) {
    return std::binary_search(names.begin(), names.end(), "cur") ||
           std::binary_search(names.begin(), names.end(), "new");
  }

  // The entry's type; a link counts only when it resolves inside the store.
  EntryType type_of(const std::string& path) const {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return EntryType::Other;
    if (S_ISLNK(st.st_mode)) {
      if (!inside_store(root_, path) || ::stat(path.c_str(), &st) != 0) return EntryType::Other;
    }
    if (S_ISDIR(st.st_mode)) return EntryType::Directory;
    if (S_ISREG(st.st_mode)) return EntryType::File;
    return EntryType::Other;
  }

  static bool looks_like_mbox(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st{};
    char head[5] = {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::read(fd, head, 5) == 5 &&
                    std::string_view(head, 5) == "From ";
    ::close(fd);
    return ok;
  }

  std::vector<std::string> components(const std::string& rel) const {
    std::vector<std::string> parts;
    for (const std::string& piece : split(rel, '/')) parts.push_back(display_component(piece));
    return parts;
  }

  void add(FolderKind kind, const std::string& rel, const std::vector<std::string>& parts) {
    if (out_.size() >= kMaxFolders) return;
    StoreFolder f;
    f.kind = kind;
    f.path = rel;
    f.key = rel.empty() ? "." : escape_key(rel);
    if (f.key.size() > kMaxKeyBytes) return;
    f.display = store_name_;
    for (const std::string& p : parts) f.display += "\\" + p;
    f.short_name = parts.empty() ? store_name_ : parts.back();
    out_.push_back(std::move(f));
  }

  std::string root_;
  std::string store_name_;
  std::set<std::pair<dev_t, ino_t>> seen_;
  std::vector<StoreFolder> out_;
};

std::string home_dir() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

}  // namespace

std::string locate_store(const std::string& library_dir) {
  if (const char* env = std::getenv("MBOXPULL_STORE"); env && *env) return path_backslash_to_slash(env);
  IniTree ini;
  if (!library_dir.empty() && ini.load(path_join(library_dir, "mboxpull.ini"))) {
    if (auto store = ini.get("mboxpull", "Store"); store && !store->empty()) return path_backslash_to_slash(*store);
  }
  const std::string home = home_dir();
  const std::string maildir = path_join(home, "Maildir");
  if (is_directory(maildir)) return maildir;
  return path_join(home, "Mail");
}

std::string escape_key(std::string_view path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : path) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || c == '%' || c == ';' || c == '\\') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

bool unescape_key(std::string_view key, std::string& path) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  path.clear();
  for (size_t i = 0; i < key.size(); ++i) {
    if (key[i] != '%') {
      path += key[i];
      continue;
    }
    if (i + 2 >= key.size()) return false;
    const int hi = digit(key[i + 1]);
    const int lo = digit(key[i + 2]);
    if (hi < 0 || lo < 0) return false;
    path += char(hi * 16 + lo);
    i += 2;
  }
  return true;
}

std::string display_component(std::string_view raw) {
  // Control bytes are ASCII and never the trail byte of a Big5 pair.
  std::string name(raw);
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  std::string text = utf8_is_valid(name) ? text_to_big5(name, CharsetChoice{Charset::Utf8, {}})
                                          : text_to_big5(name, CharsetChoice{Charset::Big5, {}});
  for (size_t i = 0; i < text.size(); ++i) {
    if (big5_char_len(text, i) == 2) {
      ++i;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F || c == '\\') text[i] = '_';
  }
  return text;
}

std::vector<StoreFolder> list_store(const std::string& root) {
  char resolved[PATH_MAX];
  if (!::realpath(root.c_str(), resolved) || !is_directory(resolved)) return {};
  Walker walker(resolved);
  walker.walk("", 0);
  return walker.take();
}

bool inside_store(const std::string& root_real, const std::string& path) {
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) return false;
  const std::string r = resolved;
  if (root_real == "/") return true;
  return r == root_real || (r.size() > root_real.size() && r.compare(0, root_real.size(), root_real) == 0 &&
                            r[root_real.size()] == '/');
}

}  // namespace qm::mboxpull
