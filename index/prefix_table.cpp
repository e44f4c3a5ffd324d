// The prefix table's builder and the rebuild of a database's rehash.db from its
// ehash.db; see prefix_table.h.
#include "index/prefix_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "platform/le.h"

namespace qm {

namespace fmt = index_format;

namespace {

// Reads a whole small file; false when it cannot be opened or read.
bool read_whole(const std::string& path, std::string& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buf, size_t(n));
  }
  ::close(fd);
  return true;
}

// Replaces path with data: temporary file in the same directory, flushed, renamed.
bool write_replace(const std::string& path, std::string_view data) {
  std::string tmp = path + ".tmp-" + std::to_string(::getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const char* p = data.data();
  size_t n = data.size();
  bool ok = true;
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      ok = false;
      break;
    }
    p += w;
    n -= size_t(w);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

}  // namespace

void PrefixTableBuilder::add(std::string_view word) {
  char a = word.size() > 0 ? word[0] : '\0';
  char b = word.size() > 1 && a != '\0' ? word[1] : '\0';
  if (next_ > 0 && (a != run_[0] || b != run_[1])) {
    store();
    run_first_ = next_;
  }
  run_[0] = a;
  run_[1] = b;
  ++next_;
}

void PrefixTableBuilder::store() {
  int slot = fmt::prefix_slot(std::string_view(run_, 2));
  if (slot < 0) return;
  auto* out = reinterpret_cast<unsigned char*>(table_.data()) + size_t(slot) * fmt::kPrefixRangeRecordSize;
  le::put32(out, run_first_);
  le::put32(out + 4, next_ - run_first_);
}

std::string PrefixTableBuilder::finish() {
  if (next_ > 0) store();
  next_ = 0;
  run_first_ = 0;
  std::string out = std::move(table_);
  table_.assign(fmt::kPrefixFileSize, '\0');
  return out;
}

std::string prefix_table_build(std::string_view words) {
  PrefixTableBuilder builder;
  size_t n = words.size() / fmt::kWordHashRecordSize;
  for (size_t i = 0; i < n; ++i)
    builder.add(words.substr(i * fmt::kWordHashRecordSize, 2));
  return builder.finish();
}

int index_build_prefix_table(const std::string& directory) {
  try {
    std::string words;
    if (!read_whole(directory + fmt::kWordHashFile, words)) return 0;
    return write_replace(directory + fmt::kPrefixFile, prefix_table_build(words)) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    std::fputs("Out of memory !\n", stderr);
    return 0;
  }
}

}  // namespace qm
