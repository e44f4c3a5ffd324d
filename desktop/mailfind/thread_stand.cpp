// The mail-file walker (see thread_stand.h). Directories are entered without following
// symbolic links, and a set of visited (device, inode) pairs ends any loop of mounts.
// Masks and the sibling files of .snm and .toc pairs are matched case-blind.
#include "desktop/mailfind/thread_stand.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace qm {

namespace {

bool contains_ci(const std::string& s, std::string_view what) {
  auto it = std::search(s.begin(), s.end(), what.begin(), what.end(),
                        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                    std::tolower(static_cast<unsigned char>(b)); });
  return it != s.end();
}

std::string cut_extension(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

struct Entry {
  std::string name;
  bool dir = false;
  bool file = false;
};

std::vector<Entry> list_folder(const std::string& folder) {
  std::vector<Entry> out;
  DIR* d = opendir(folder.c_str());
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (lstat((folder + name).c_str(), &st) != 0) continue;
    Entry en{name, S_ISDIR(st.st_mode), S_ISREG(st.st_mode)};
    if (en.dir || en.file) out.push_back(std::move(en));
  }
  closedir(d);
  std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return out;
}

// The entry named name ignoring case: the exact name first.
const Entry* find_file_ci(const std::vector<Entry>& entries, const std::string& name) {
  const Entry* found = nullptr;
  for (const auto& e : entries) {
    if (!e.file) continue;
    if (e.name == name) return &e;
    if (!found && strcasecmp(e.name.c_str(), name.c_str()) == 0) found = &e;
  }
  return found;
}

}  // namespace

std::string MailSizeText(uint64_t bytes) {
  std::string digits = std::to_string(bytes / 1024 + 1);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out + "KB";
}

std::string MailDateText(std::time_t when) {
  std::tm tm{};
  if (!localtime_r(&when, &tm)) return {};
  int h = tm.tm_hour % 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d/%02d/%02d %s %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour < 12 ? "AM" : "PM", h == 0 ? 12 : h, tm.tm_min);
  return buf;
}

TThreadStand::TThreadStand(Poster post) : post_(std::move(post)) {}

TThreadStand::~TThreadStand() {
  Stop();
  Wait();
}

void TThreadStand::SetMasks(std::string dir_mask, std::string file_mask) {
  dir_mask_ = std::move(dir_mask);
  file_mask_ = std::move(file_mask);
}

void TThreadStand::SetTexts(std::string stopped, std::string found_before, std::string found_after) {
  text_stopped_ = std::move(stopped);
  text_before_ = std::move(found_before);
  text_after_ = std::move(found_after);
}

void TThreadStand::Start() {
  if (worker_.joinable()) return;
  worker_ = std::thread([this] { Execute(); });
}

void TThreadStand::Wait() {
  if (worker_.joinable()) worker_.join();
}

void TThreadStand::Flush(std::string status, bool folder, bool force) {
  if (batch_.empty() && status.empty()) return;
  // Between folders, hand over at most every 25 ms, so the window thread gets few large
  // batches instead of a flood of small ones.
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - last_post_ < std::chrono::milliseconds(25)) return;
  last_post_ = now;
  std::vector<MailFileRow> rows;
  rows.swap(batch_);
  post_([rows = std::move(rows), status = std::move(status), folder, sink = rows_, bar = status_bar_,
         label = label_]() mutable {
    if (!rows.empty() && sink) sink(std::move(rows));
    if (!status.empty()) {
      if (bar) bar(status, folder);
      if (label) label(status, folder);
    }
  });
}

void TThreadStand::Execute() {
  std::string start = start_folder_;
  if (!start.empty()) {
    if (start.back() != '/') start += '/';
    visited_.clear();
    Walk(start, true);
  }
  std::string status = stop_ ? text_stopped_
                             : text_before_ + std::to_string(found_) + text_after_;
  Flush(std::move(status), false, true);
  if (callback_) post_([cb = callback_, user = user_] { cb(user); });
}

void TThreadStand::Walk(const std::string& folder, bool first_level) {
  if (stop_) return;
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  std::pair<uint64_t, uint64_t> id{st.st_dev, st.st_ino};
  if (std::find(visited_.begin(), visited_.end(), id) != visited_.end()) return;
  visited_.push_back(id);

  std::vector<Entry> entries = list_folder(folder);
  // The first level takes "*." as every folder; deeper levels walk every folder.
  const std::string dir_pattern = first_level ? dir_mask_ : "*";
  for (const auto& e : entries) {
    if (!e.dir) continue;
    if (dir_pattern != "*." && fnmatch(dir_pattern.c_str(), e.name.c_str(), FNM_CASEFOLD) != 0)
      continue;
    std::string sub = folder + e.name + "/";
    Walk(sub, false);
  }
  for (const auto& e : entries) {
    if (!e.file || fnmatch(file_mask_.c_str(), e.name.c_str(), FNM_CASEFOLD) != 0) continue;
    std::string base = cut_extension(e.name);
    const bool snm = contains_ci(e.name, ".snm");
    const bool toc = !snm && contains_ci(e.name, ".toc");
    const Entry* measured = &e;
    std::string caption = e.name;
    if (snm) {
      measured = find_file_ci(entries, base);
      caption = base;
    } else if (toc) {
      // The mailbox beside its table of contents; a .toc alone lists nothing. The caption
      // is the mailbox's own spelling, so the source handed on opens on a case-sensitive
      // file system ("Out.TOC" beside "Out.MBX" gives "Out.MBX").
      measured = find_file_ci(entries, base + ".mbx");
      caption = measured ? measured->name : base + ".mbx";
    }
    if (!measured) continue;
    int fd = open((folder + measured->name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat fst;
    bool ok = fstat(fd, &fst) == 0;
    close(fd);
    if (!ok || fst.st_size < 1024) continue;
    batch_.push_back({caption, folder, MailSizeText(static_cast<uint64_t>(fst.st_size)),
                      MailDateText(fst.st_mtime)});
    ++found_;
  }
  Flush(folder, true, false);
}

}  // namespace qm
