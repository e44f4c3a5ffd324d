// Mail-client mailbox readers (see store_readers.h): record and separator rules over the
// shared window, the tagged-body recovery and the converted-attachment lines.
#include "mail/postbridge/store_readers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "mail/decode/header.h"
#include "mail/decode/names.h"
#include "platform/paths.h"

namespace qm::mail {

namespace {

constexpr size_t kTagMax = 80;
constexpr size_t kPathMax = 260;
constexpr std::string_view kConvertedPrefix = "Attachment Converted: \"";

MailboxSeparator jmf6_separator() { return {std::string(kJmf6Marker), 0, false, false}; }
MailboxSeparator toc_separator() { return {std::string("\n") + kTocSeparatorLine, 1, true, false}; }

// The canonical absolute form of path; empty when it does not resolve.
std::string resolved(const std::string& path) {
  char buffer[PATH_MAX];
  if (!::realpath(path.c_str(), buffer)) return {};
  return buffer;
}

bool inside(const std::string& path, const std::string& root) {
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
}

// The whole of a regular file (never through a link) of 1 byte to the limit.
bool read_regular_file(const std::string& path, std::string& data) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st{};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
            uint64_t(st.st_size) <= kMaxConvertedAttachment;
  if (ok) {
    data.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < data.size()) {
      const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
      if (n <= 0) break;
      got += size_t(n);
    }
    data.resize(got);
    ok = got > 0;
  }
  ::close(fd);
  return ok;
}

bool windows_path(std::string_view path) {
  return path.find('\\') != std::string_view::npos ||
         (path.size() >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z'));
}

// The file a converted-attachment line names, looked up inside root; empty when none.
std::string locate(const std::string& named, const std::string& root) {
  if (windows_path(named)) {
    std::string path = path_backslash_to_slash(named);
    if (path.size() >= 2 && path[1] == ':') path.erase(0, 2);
    const size_t slash = path.rfind('/');
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (last.empty() || last == "." || last == "..") return {};
    for (const std::string& dir : {root, path_find_case_blind(root, "Attach")}) {
      const std::string candidate = path_find_case_blind(dir, last);
      struct stat st{};
      if (::lstat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return candidate;
    }
    return {};
  }
  const std::string path = !named.empty() && named[0] == '/' ? named : root + "/" + named;
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  const std::string real = resolved(path);
  return !real.empty() && inside(real, root) ? real : std::string();
}

}  // namespace

Jmf6Reader::Jmf6Reader(WindowLimits limits) : reader_(limits, jmf6_separator()) {}

bool Jmf6Reader::next(std::string& message) {
  std::string record;
  while (reader_.next(record)) {
    // Bytes before the first marker (the file's own header) are no record.
    if (record.size() < kJmf6RecordHeader || record.compare(0, kJmf6Marker.size(), kJmf6Marker) != 0) continue;
    const size_t nul = record.find('\0', kJmf6RecordHeader);
    if (nul == std::string::npos && reader_.finished()) continue;  // cut by the file's end
    message.assign(record, kJmf6RecordHeader, (nul == std::string::npos ? record.size() : nul) - kJmf6RecordHeader);
    return true;
  }
  return false;
}

TocMailboxReader::TocMailboxReader(WindowLimits limits) : reader_(limits, toc_separator()) {}

bool TocMailboxReader::next(std::string& message) {
  std::string text;
  if (!reader_.next(text)) return false;
  const size_t line_end = text.find('\n');
  message = line_end == std::string::npos ? std::string() : text.substr(line_end + 1);
  return true;
}

bool recover_tagged_body(std::string_view raw, std::string& body) {
  const size_t at = raw.find("<x-");
  if (at == std::string_view::npos) return false;
  size_t end = raw.find_first_of("\r\n", at);
  if (end == std::string_view::npos) end = raw.size();
  const std::string_view tag = raw.substr(at, std::min(end - at, kTagMax));
  const std::string closing = "</" + std::string(tag.substr(1));
  // The text begins on the line after the tag's line, past blank lines.
  size_t from = end;
  while (from < raw.size() && (raw[from] == '\r' || raw[from] == '\n')) ++from;
  size_t to = raw.find(closing, from);
  if (to == std::string_view::npos) to = raw.size();
  body = mail_text_to_big5(raw.substr(from, to - from), "");
  return true;
}

void add_converted_attachments(std::string_view raw, const std::string& mailbox_path, MessageRecord& record) {
  const std::string text = normalize_line_ends(raw);
  const size_t split = text.find("\r\n\r\n");
  if (split == std::string::npos) return;
  std::vector<std::string_view> lines;
  const std::string_view body = std::string_view(text).substr(split + 4);
  for (size_t at = 0; at < body.size();) {
    size_t end = body.find("\r\n", at);
    if (end == std::string_view::npos) end = body.size();
    lines.push_back(body.substr(at, end - at));
    at = end + 2;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (!lines.empty() && lines.back() == ".") lines.pop_back();

  const size_t slash = mailbox_path.rfind('/');
  const std::string root = resolved(slash == std::string::npos ? "." : mailbox_path.substr(0, slash == 0 ? 1 : slash));
  if (root.empty()) return;
  size_t taken = 0;
  for (size_t i = lines.size(); i-- > 0;) {
    const std::string_view line = lines[i];
    if (line.empty()) continue;
    if (line.substr(0, kConvertedPrefix.size()) != kConvertedPrefix) break;
    const std::string_view rest = line.substr(kConvertedPrefix.size());
    const size_t quote = rest.find('"');
    if (quote == std::string_view::npos || quote == 0 || quote > kPathMax) continue;
    const std::string named(rest.substr(0, quote));
    const std::string path = locate(named, root == "/" ? std::string() : root);
    std::string data;
    if (path.empty() || record.parts.size() >= kMaxParts || !read_regular_file(path, data)) continue;
    // The files of one message are held together: at most the limit in all.
    if (data.size() > kMaxConvertedAttachment - taken) continue;
    taken += data.size();
    MessagePart part;
    part.name = safe_attachment_name(named, "attachment");
    part.content_type = "application/octet-stream";
    part.data = std::move(data);
    record.parts.push_back(std::move(part));
  }
}

}  // namespace qm::mail
