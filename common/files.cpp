// File, directory, path, listing, date and fatal-text helpers; see files.h.
#include "common/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "common/html.h"
#include "common/strings.h"
#include "platform/atomic_file.h"
#include "platform/fatal.h"
#include "platform/paths.h"

namespace qm {
namespace {

constexpr size_t kFrameMax = 1023;
constexpr size_t kPatternMax = 1023;

const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string g_fatal_prefix;
std::string g_fatal_suffix;

struct Listing {
  bool details = false;
  std::string pattern = "*";
  std::string directory;
  std::string active_pattern;
  DIR* handle = nullptr;
  int count = 0;
};
Listing g_listing;

std::string without_trailing_slashes(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// Closes a file descriptor when it goes out of scope.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// Patterns of the old system: case-blind, and "*.*" takes every name.
bool pattern_matches(const std::string& pattern, const char* name) {
  if (pattern.empty() || pattern == "*" || pattern == "*.*") return true;
  return fnmatch(pattern.c_str(), name, FNM_CASEFOLD | FNM_PERIOD) == 0;
}

void fill_entry(const std::string& full, const char* name, DirEntry& e, size_t name_room) {
  e = DirEntry();
  e.name = name;
  if (name_room > 0 && e.name.size() > name_room - 1) e.name.resize(name_room - 1);
  struct stat st;
  if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) {
    e.kind = name[0] == '.' ? 0 : 1;
    return;
  }
  e.kind = S_ISDIR(st.st_mode) ? 2 : (name[0] == '.' ? 0 : 1);
  e.size = st.st_size > 0xFFFFFFFFLL ? 0xFFFFFFFFu : uint32_t(st.st_size);
  struct tm tm{};
  time_t t = st.st_mtime;
  localtime_r(&t, &tm);
  e.date = (tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
  e.seconds = std::min(tm.tm_sec, 59) & ~1;
  if (g_listing.details) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%luKB", (unsigned long)((uint64_t(e.size) + 1023) / 1024));
    e.size_text = buf;
    int hour = tm.tm_hour > 12 ? tm.tm_hour - 12 : tm.tm_hour;
    std::snprintf(buf, sizeof buf, "%d/%02d/%02d %s %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour >= 12 ? "PM" : "AM", hour, tm.tm_min);
    e.date_text = buf;
  }
}

bool has_web_text_extension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string_view ext = std::string_view(name).substr(dot + 1);
  return string_icmp(ext, "htm") == 0 || string_icmp(ext, "html") == 0 ||
         string_icmp(ext, "txt") == 0;
}

}  // namespace

// ---- Files --------------------------------------------------------------------------

long long file_length(std::FILE* file) {
  if (!file) return 0;
  off_t here = ftello(file);
  if (fseeko(file, 0, SEEK_END) != 0) return 0;
  off_t end = ftello(file);
  fseeko(file, here, SEEK_SET);
  return end < 0 ? 0 : end;
}

long long file_size(const std::string& name) {
  struct stat st;
  return stat(name.c_str(), &st) == 0 ? st.st_size : 0;
}

std::FILE* file_open(const std::string& name, const char* mode) {
  return std::fopen(name.c_str(), mode);
}

bool file_read_exact(std::FILE* file, void* buffer, size_t n) {
  if (!file) return false;
  return std::fread(buffer, 1, n, file) == n;
}

bool file_read_all(const std::string& name, std::string& out) {
  out.clear();
  std::string raw;
  if (!file_read_all_binary(name, raw)) return false;
  // Text reading: a byte 0x1A ends the file and CR LF becomes LF.
  size_t end = raw.find('\x1A');
  if (end != std::string::npos) raw.resize(end);
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    out += raw[i];
  }
  return true;
}

bool file_read_regular(const std::string& name, std::string& out, size_t limit, std::string* why) {
  out.clear();
  auto fail = [&](std::string reason) {
    out.clear();
    if (why) *why = std::move(reason);
    return false;
  };
  // Opened without waiting, so that a FIFO cannot hold the program at the open.
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(std::strerror(errno));
  const FdCloser closer{fd};
  struct stat st;
  if (fstat(fd, &st) != 0) return fail(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
  const std::string too_large = "larger than " + std::to_string(limit) + " bytes";
  if (uint64_t(st.st_size) > limit) return fail(too_large);
  out.reserve(size_t(st.st_size));
  // Read to the end, not to the size first seen: a file that grows meanwhile is taken
  // whole up to the limit.
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(std::strerror(errno));
    if (n == 0) break;
    if (out.size() + size_t(n) > limit) return fail(too_large);
    out.append(buf, size_t(n));
  }
  return true;
}

bool file_read_all_binary(const std::string& name, std::string& out) {
  return file_read_regular(name, out);
}

bool file_write_close(std::FILE* file, const void* buffer, size_t n) {
  if (!file) return false;
  bool ok = n == 0 || std::fwrite(buffer, 1, n, file) == n;
  return std::fflush(file) == 0 && ok;
}

int file_write_all(const std::string& name, std::string_view data, bool /*text*/) {
  return atomic_replace(name, data) ? 1 : 0;
}

int file_seek(std::FILE* file, long long offset, int origin) {
  if (!file) return -1;
  return fseeko(file, off_t(offset), origin);
}

bool file_exists(const std::string& name) {
  if (common_desktop_profile()) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
  }
  struct stat st;
  return stat(name.c_str(), &st) == 0;
}

int file_copy(const std::string& destination, const std::string& source) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(source.c_str(), "rb"), std::fclose);
  if (!in) return 0;
  AtomicFileWriter out;
  if (!out.open(destination)) return 0;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0)
    if (!out.write(std::string_view(buf, n))) return 0;
  if (std::ferror(in.get())) return 0;
  return out.commit() ? 1 : 0;
}

int file_last_byte(std::FILE* file) {
  if (!file) return EOF;
  off_t here = ftello(file);
  int c = EOF;
  if (fseeko(file, -1, SEEK_END) == 0) c = std::fgetc(file);
  fseeko(file, here, SEEK_SET);
  return c;
}

// ---- Directories and paths ----------------------------------------------------------

int path_split(const char* program_path, std::string& out) {
  out = program_dir_from_argv0(program_path ? program_path : "");
  return out.empty() ? 0 : 1;
}

int dir_current(std::string& out) {
  out = platform_current_dir();
  return out.empty() ? 0 : 1;
}

void path_add_slash(std::string& text) {
  if (text.empty()) return;
  path_backslash_to_slash_inplace(text);
  if (text.back() != '/') text += '/';
}

void path_program_exe(std::string_view name, const std::string& directory, std::string& out) {
  // Programs carry no ".exe" on this system: directory + the last component only.
  std::string n = path_backslash_to_slash(name);
  size_t slash = n.rfind('/');
  out = directory + (slash == std::string::npos ? n : n.substr(slash + 1));
}

bool dir_is_directory(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  return stat(without_trailing_slashes(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool dir_make(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }
bool dir_change(const std::string& path) { return chdir(path.c_str()) == 0; }
int dir_remove(const std::string& path) { return rmdir(path.c_str()); }

int dir_make_all(const std::string& path) {
  std::string prefix;
  size_t i = 0;
  if (!path.empty() && path[0] == '/') {
    prefix = "/";
    i = 1;
  }
  while (i < path.size()) {
    size_t slash = path.find('/', i);
    if (slash == std::string::npos) break;  // a last component without "/" is not created
    std::string comp = path.substr(i, slash - i);
    i = slash + 1;
    if (comp.empty()) continue;
    prefix += comp;
    if (!dir_is_directory(prefix) && !dir_make(prefix) && !dir_is_directory(prefix)) return 0;
    prefix += '/';
  }
  return 1;
}

int dir_make_path(const std::string& path) {
  // No directory change happens here, so the current directory stays as it was.
  return dir_make_all(path);
}

int dir_remove_tree(const std::string& directory, bool cache_only) {
  if (directory.empty()) return -1;
  std::string top = without_trailing_slashes(directory);
  if (top == "/") return -1;
  char* real = realpath(top.c_str(), nullptr);
  if (real) {
    bool root = std::string(real) == "/";
    std::free(real);
    if (root) return -1;
  }
  struct stat st;
  if (lstat(top.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;  // links refused

  std::vector<std::string> queue{top};
  std::vector<std::string> found;  // subdirectories in order of finding
  for (size_t q = 0; q < queue.size(); ++q) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(queue[q].c_str()), closedir);
    if (!dir) continue;
    while (dirent* e = readdir(dir.get())) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string full = queue[q] + "/" + name;
      struct stat es;
      if (lstat(full.c_str(), &es) != 0) continue;
      if (S_ISDIR(es.st_mode)) {
        queue.push_back(full);
        found.push_back(full);
      } else if (!cache_only || string_nicmp(name, "nos", 3) == 0 ||
                 string_nicmp(name, "num", 3) == 0) {
        unlink(full.c_str());  // a symbolic link goes as a link
      }
    }
  }
  for (auto it = found.rbegin(); it != found.rend(); ++it) rmdir(it->c_str());
  return rmdir(top.c_str());
}

int drive_letters(std::string& out) {
  // No drive letters on this system: nothing to report.
  out.clear();
  return 0;
}

int disk_free_text(const std::string& path, std::string* out) {
  // Works on the file system holding the given path (no drive roots here).
  struct statvfs vs;
  if (path.empty() || statvfs(path.c_str(), &vs) != 0) {
    if (out) *out = " 0KB";
    return -1;
  }
  unsigned long long value = (unsigned long long)vs.f_bavail * vs.f_frsize / 1024;
  unsigned long long remainder = 0;
  static const char* const units[] = {"KB", "MB", "GB"};
  int unit = 0;
  while (value > 1024 && unit < 2) {
    remainder = value % 1024;
    value /= 1024;
    ++unit;
  }
  char buf[64];
  if (unit == 0)
    std::snprintf(buf, sizeof buf, " %llu%s", value, units[unit]);
  else
    std::snprintf(buf, sizeof buf, " %llu.%llu%s", value, remainder * 10 / 1024, units[unit]);
  if (out) *out = buf;
  return 1;
}

// ---- Listings -----------------------------------------------------------------------

void dir_list_set_details(bool details) { g_listing.details = details; }

void dir_list_set_pattern(std::string_view pattern) {
  g_listing.pattern = std::string(pattern.substr(0, kPatternMax));
// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about the string copies it inlines here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
  if (g_listing.pattern.empty()) g_listing.pattern = "*";
#pragma GCC diagnostic pop
}

bool dir_list_begin(const std::string& directory, std::string_view pattern) {
  dir_list_end();
  g_listing.directory = directory;
  path_add_slash(g_listing.directory);
  g_listing.active_pattern = pattern.empty() ? g_listing.pattern : std::string(pattern.substr(0, kPatternMax));
  g_listing.handle = opendir(g_listing.directory.empty() ? "." : g_listing.directory.c_str());
  return g_listing.handle != nullptr;
}

int dir_list_next(DirEntry& entry, size_t name_room) {
  if (!g_listing.handle) return 0;
  while (dirent* e = readdir(g_listing.handle)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    if (!pattern_matches(g_listing.active_pattern, e->d_name)) continue;
    fill_entry(g_listing.directory + e->d_name, e->d_name, entry, name_room);
    ++g_listing.count;
    return 1;
  }
  return 0;
}

void dir_list_end() {
  if (g_listing.handle) closedir(g_listing.handle);
  g_listing.handle = nullptr;
  g_listing.count = 0;
}

int dir_has_subdirs(const std::string& pattern_path) {
  size_t slash = pattern_path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : pattern_path.substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? pattern_path : pattern_path.substr(slash + 1);
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
  if (!d) return 0;
  while (dirent* e = readdir(d.get())) {
    if (e->d_name[0] == '.') continue;  // ".", ".." and hidden directories
    if (!pattern_matches(pattern, e->d_name)) continue;
    struct stat st;
    if (stat((dir + "/" + e->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 1;
  }
  return 0;
}

int path_parent(std::string_view path, std::string& out, size_t room) {
  std::string p(path);
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  out = (slash == std::string::npos || slash == 0) ? "/" : p.substr(0, slash);
  if (room > 0 && out.size() > room - 1) out.resize(room - 1);
  return 1;
}

void dir_list_insert_sorted(DirList& list, DirEntry entry) {
  auto at = std::upper_bound(list.begin(), list.end(), entry, [](const DirEntry& a, const DirEntry& b) {
    return string_icmp(a.name, b.name) < 0;
  });
  list.insert(at, std::move(entry));
}

DirList dir_list(const std::string& directory, int flags) {
  DirList dirs, files;
  if (!dir_list_begin(directory, g_listing.pattern)) return {};
  DirEntry e;
  while (dir_list_next(e, 260)) {
    if (e.kind == 2) {
      if (flags & DIR_LIST_DIRS) dir_list_insert_sorted(dirs, e);
    } else if ((e.kind == 1 && (flags & DIR_LIST_FILES)) || (e.kind == 0 && (flags & DIR_LIST_HIDDEN))) {
      if (!(flags & DIR_LIST_WEB_TEXT) || has_web_text_extension(e.name)) dir_list_insert_sorted(files, e);
    }
  }
  dir_list_end();
  dirs.insert(dirs.end(), files.begin(), files.end());
  return dirs;
}

void dir_list_free(DirList& list) { list.clear(); }

int dir_prune_compare(const DirEntry& a, const DirEntry& b) {
  if (a.date != b.date) return a.date < b.date ? -1 : 1;
  return string_icmp(a.name, b.name);
}

int dir_prune(const std::string& directory, std::string_view pattern, int keep, bool no_sort) {
  DirList entries;
  if (!dir_list_begin(directory, pattern)) return 0;
  DirEntry e;
  while (dir_list_next(e, 0))
    if (e.kind != 2) entries.push_back(e);
  std::string dir = g_listing.directory;
  dir_list_end();
  if (!no_sort)
    std::stable_sort(entries.begin(), entries.end(),
                     [](const DirEntry& a, const DirEntry& b) { return dir_prune_compare(a, b) < 0; });
  int count = int(entries.size());
  for (int i = 0; i < count - std::max(keep, 0); ++i) unlink((dir + entries[i].name).c_str());
  return count;
}

// ---- Fatal exit ---------------------------------------------------------------------

void fatal_set_frame(std::string_view prefix, std::string_view suffix) {
  g_fatal_prefix = std::string(prefix.substr(0, kFrameMax));
  g_fatal_suffix = std::string(suffix.substr(0, kFrameMax));
}

void fatal_text(std::string_view message) {
  std::string msg(message);
  // A browser needs the header before the text; it is written once per process.
  if (!html_header_written()) html_content_type();
  std::string text = g_fatal_prefix + msg + "\n" + g_fatal_suffix;
  std::FILE* out = prog_output();
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
  if (fatal_profile() == FatalProfile::Cgi) fatal_set_writer([](const std::string&) {});  // written above
  fatal(msg);
}

// ---- Dates --------------------------------------------------------------------------

int http_date(const std::string& file_name, std::string& out) {
  out.clear();
  time_t t;
  if (file_name.empty()) {
    t = std::time(nullptr);
  } else {
    struct stat st;
    if (stat(file_name.c_str(), &st) != 0) return 0;
    t = st.st_mtime;
  }
  struct tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %02d %02d:%02d:%02d GMT", kWeekdays[tm.tm_wday], tm.tm_mday,
                kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  out = buf;
  return 1;
}

int file_set_time_from_http_date(const std::string& file_name, std::string_view date) {
  std::string text(date.substr(0, 255));
  char weekday[4] = {}, month[4] = {};
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (std::sscanf(text.c_str(), "%3s, %2d %3s %4d %2d:%2d:%2d", weekday, &day, month, &year, &hour,
                  &minute, &second) != 7)
    return 0;
  int mon = -1;
  for (int i = 0; i < 12; ++i)
    if (string_icmp(month, kMonths[i]) == 0) mon = i;
  if (mon < 0) return 0;
  if (day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
      second > 59 || year < 1970 || year > 9999)
    return 0;
  if (second & 1) ++second;  // two-second resolution: an odd second goes up
  struct tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = mon;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  time_t t = timegm(&tm);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = t;
  times[1].tv_nsec = 0;
  return utimensat(AT_FDCWD, file_name.c_str(), times, 0) == 0 ? 1 : 0;
}

}  // namespace qm
