// Attachment text (see attachments.h): the handled types, saving a part, copying or
// converting it into the private text folder, the converter run, and the folder removal.
#include "mail/postbridge/attachments.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "mail/decode/header.h"
#include "mail/mail_page_format.h"
#include "platform/process.h"

namespace qm::mail {

namespace {

// Deeper folders than this are left alone by the removal (each level holds a handle).
constexpr int kMaxDepth = 64;
// The converter writes no output we use; what it prints is read and dropped.
constexpr size_t kConverterOutput = 4096;

bool equals_blind(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Removes the entries of the open folder (kept: hidden ones when keep_hidden); true
// when it is empty afterwards. dirfd stays open.
bool empty_folder_at(int dirfd, bool keep_hidden, int depth) {
  const int listing = dup(dirfd);
  if (listing < 0) return false;
  DIR* dir = fdopendir(listing);
  if (!dir) {
    close(listing);
    return false;
  }
  bool empty = true;
  while (dirent* e = readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    if (keep_hidden && name.front() == '.') {
      empty = false;
      continue;
    }
    struct stat st;
    if (fstatat(dirfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      empty = false;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      bool removed = false;
      if (depth < kMaxDepth) {
        const int sub = openat(dirfd, e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
          removed = empty_folder_at(sub, keep_hidden, depth + 1);
          close(sub);
        }
        if (removed) removed = unlinkat(dirfd, e->d_name, AT_REMOVEDIR) == 0;
      }
      if (!removed) empty = false;
    } else if (unlinkat(dirfd, e->d_name, 0) != 0) {
      empty = false;
    }
  }
  closedir(dir);
  return empty;
}

// Removes path: a link or file as itself, a folder with its content (hidden entries kept
// when keep_hidden, and then the folder too).
void remove_path(const std::string& path, bool keep_hidden) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    unlink(p.c_str());
    return;
  }
  const int fd = open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  const bool empty = empty_folder_at(fd, keep_hidden, 0);
  close(fd);
  if (empty) rmdir(p.c_str());
}

// Writes all of data to a new file name in the folder dirfd (an old entry of that name
// is removed first, so a planted link is replaced, never written through).
bool write_new_file(int dirfd, const std::string& name, std::string_view data) {
  if (unlinkat(dirfd, name.c_str(), 0) != 0 && errno != ENOENT) return false;
  const int fd = openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  const bool ok = close(fd) == 0 && done == data.size();
  if (!ok) unlinkat(dirfd, name.c_str(), 0);
  return ok;
}

// The size of a regular file (not a link) in the folder; -1 when there is none.
long long regular_size(int dirfd, const std::string& name) {
  struct stat st;
  if (fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

// "~<number>~<index>$$.tmp": the text file of a part.
std::string text_name(int number, int index) {
  std::string name = "~";
  name += std::to_string(number);
  name += '~';
  name += std::to_string(index);
  name += "$$.tmp";
  return name;
}

// The attachment folder, made when missing (the output directory with its parents too);
// an open handle, -1 when it cannot be had as a real folder.
int open_attach_folder(const std::string& outdir) {
  std::error_code ec;
  std::filesystem::create_directories(outdir, ec);
  const std::string folder = outdir + "Attach";
  if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return -1;
  return open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// A part name that is one plain file name.
bool plain_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

AttachmentHandling attachment_handling(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return AttachmentHandling::None;
  const std::string_view ext = name.substr(dot + 1);
  for (const char* copied : {"txt", "htm", "html"})
    if (equals_blind(ext, copied)) return AttachmentHandling::Copy;
  for (const char* converted : {"doc", "xls", "ppt", "rtf", "pdf", "pgx", "docx", "xlsx", "odt", "ods"})
    if (equals_blind(ext, converted)) return AttachmentHandling::Convert;
  return AttachmentHandling::None;
}

void empty_attachment_folder(const std::string& folder) { remove_path(folder, true); }

void remove_stale_text_folders(const std::string& outdir) {
  DIR* dir = opendir(outdir.empty() ? "." : outdir.c_str());
  if (!dir) return;
  std::vector<std::string> stale;
  while (dirent* e = readdir(dir)) {
    if (std::string_view(e->d_name).starts_with(kTextFolderPrefix)) stale.emplace_back(e->d_name);
  }
  closedir(dir);
  for (const std::string& name : stale) remove_path(outdir + name, false);
}

void AttachmentTexts::start(const std::string& outdir) {
  finish();
  std::error_code ec;
  outdir_ = std::filesystem::absolute(outdir, ec).string();
  if (ec) outdir_ = outdir;
  if (outdir_.empty() || outdir_.back() != '/') outdir_ += '/';
}

void AttachmentTexts::finish() {
  if (!text_dir_.empty()) remove_path(text_dir_, false);
  text_dir_.clear();
}

bool AttachmentTexts::make_text_folder() {
  if (!text_dir_.empty()) return true;
  if (outdir_.empty()) return false;
  std::string pattern = outdir_ + kTextFolderPrefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) return false;
  text_dir_ = pattern + "/";
  return true;
}

size_t AttachmentTexts::convert(const ConverterSettings& converter, int number, int index, const MessagePart& part) {
  const AttachmentHandling handling = attachment_handling(part.name);
  if (handling == AttachmentHandling::None || !plain_name(part.name) || outdir_.empty()) return 0;

  // The attachment folder first: it makes the missing levels of the output directory,
  // where the private text folder is then made.
  const int attach = open_attach_folder(outdir_);
  if (attach < 0) return 0;
  if (!make_text_folder()) {
    close(attach);
    return 0;
  }
  const std::string saved = std::to_string(number) + "~" + part.name;
  const bool saved_ok = write_new_file(attach, saved, part.data);
  close(attach);
  if (!saved_ok) return 0;

  const int texts = open(text_dir_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (texts < 0) return 0;
  const std::string name = text_name(number, index);
  unlinkat(texts, name.c_str(), 0);
  if (handling == AttachmentHandling::Copy) {
    // An empty part leaves no text, as an empty write makes no file.
    if (!part.data.empty()) write_new_file(texts, name, part.data);
  } else {
    struct stat st;
    if (!converter.path.empty() && stat(converter.path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      std::error_code ec;
      const std::string program = std::filesystem::absolute(converter.path, ec).string();
      ProcessOptions run;
      run.argv = {program, outdir_ + "Attach/" + saved, text_dir_ + name};
      // docpress logs its failures to Export.err where it runs: beside the attachments.
      run.working_dir = outdir_ + "Attach";
      run.parent_death_signal = SIGKILL;
      run.max_output = kConverterOutput;
      // Whole seconds, as the converter is given; 0 or less stops it at the first look.
      const long long seconds = std::min<long long>(converter.timeout_seconds, INT_MAX / 1000);
      run.timeout_ms = seconds <= 0 ? 10 : int(seconds * 1000);
      process_run(run);  // its exit code is not used: only the text file tells
    }
  }
  const long long size = regular_size(texts, name);
  close(texts);
  return size < 0 ? 0 : size_t(size);
}

bool AttachmentTexts::take_text(int number, int index, std::string& text) {
  text.clear();
  if (text_dir_.empty()) return false;
  const std::string path = text_dir_ + text_name(number, index);
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    char buffer[65536];
    // One byte past the limit tells whether the cut may fall inside a Big5 pair.
    while (text.size() <= kMaxAttachmentText) {
      const ssize_t n = read(fd, buffer, std::min(sizeof buffer, kMaxAttachmentText + 1 - text.size()));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      text.append(buffer, size_t(n));
    }
  }
  close(fd);
  unlink(path.c_str());
  if (!ok) {
    text.clear();
    return false;
  }
  if (text.size() > kMaxAttachmentText) text.resize(big5_cut(text, kMaxAttachmentText).size());
  return true;
}

bool holds_attach_opener(std::string_view text) {
  constexpr std::string_view kOpener = mail_page_format::kAttachOpen;
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1))
    if (equals_blind(text.substr(at, kOpener.size()), kOpener)) return true;
  return false;
}

void append_defused(std::string& out, std::string_view text) {
  constexpr std::string_view kOpener = mail_page_format::kAttachOpen;
  size_t from = 0;
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    if (!equals_blind(text.substr(at, kOpener.size()), kOpener)) continue;
    out.append(text.substr(from, at - from));
    out += mail_page_format::kDefusedLess;
    from = at + 1;
  }
  out.append(text.substr(from));
}

std::string defuse_attach_opener(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_defused(out, text);
  return out;
}

}  // namespace qm::mail
