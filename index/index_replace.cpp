// Replacing an index file set all at once for readers; see index_replace.h.
#include "index/index_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "index/index_format.h"
#include "index/index_lock.h"

namespace qm {

namespace fmt = index_format;

namespace {

// Every name a set can hold, for recovery.
constexpr const char* kSetFiles[] = {
    fmt::kCrossFile,    fmt::kPathFile,      fmt::kFulltextFile, fmt::kCharHashFile,
    fmt::kCharPairFile, fmt::kCharIndexFile, fmt::kWordHashFile, fmt::kWordSignFile,
    fmt::kWordIndexFile, fmt::kPrefixFile,   fmt::kPropertyFile};

std::string system_error(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool known_name(const std::string& name) {
  for (const char* f : kSetFiles)
    if (name == f) return true;
  return false;
}

void sync_directory(const std::string& directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Writes the marker: one line per file that had no old version.
bool write_marker(const std::string& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
  if (::close(fd) != 0) ok = false;
  return ok;
}

// The names listed in the marker (unknown names are ignored: only set files are removed).
std::vector<std::string> read_marker(const std::string& path) {
  std::vector<std::string> names;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return names;
  char line[64];
  while (std::fgets(line, sizeof line, f)) {
    std::string name(line);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    if (known_name(name)) names.push_back(name);
  }
  std::fclose(f);
  return names;
}

}  // namespace

bool index_replacement_pending(const std::string& directory) {
  return exists(directory + fmt::kReplaceMarkerFile);
}

bool index_recover(const std::string& directory, std::string& error) {
  const std::string marker = directory + fmt::kReplaceMarkerFile;
  if (exists(marker)) {
    for (const char* name : kSetFiles) {
      const std::string final_path = directory + name;
      const std::string aside = final_path + fmt::kAsideSuffix;
      if (exists(aside) && ::rename(aside.c_str(), final_path.c_str()) != 0) {
        error = system_error("cannot restore", final_path);
        return false;
      }
    }
    for (const std::string& name : read_marker(marker)) {
      const std::string path = directory + name;
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = system_error("cannot remove", path);
        return false;
      }
    }
    if (::unlink(marker.c_str()) != 0 && errno != ENOENT) {
      error = system_error("cannot remove", marker);
      return false;
    }
  }
  for (const char* name : kSetFiles) {
    const std::string aside = directory + name + fmt::kAsideSuffix;
    if (::unlink(aside.c_str()) != 0 && errno != ENOENT) {
      error = system_error("cannot remove", aside);
      return false;
    }
  }
  return true;
}

bool index_replace_files(const std::string& directory, const std::vector<IndexFileMove>& moves,
                         const IndexReplaceOptions& options, std::string& error) {
  IndexLock lock = IndexLock::acquire(directory, IndexLock::Mode::Exclusive,
                                      options.wait_ms > 0 ? options.wait_ms : kIndexWriterWaitMs);
  if (!lock.held()) {
    error = lock.error();
    return false;
  }
  if (!index_recover(directory, error)) return false;

  // The old files aside, and the marker naming the files that are new.
  const std::string marker = directory + fmt::kReplaceMarkerFile;
  std::vector<bool> had_old(moves.size(), false);
  std::string fresh;
  for (size_t i = 0; i < moves.size(); ++i) {
    const std::string final_path = directory + moves[i].name;
    const std::string aside = final_path + fmt::kAsideSuffix;
    if (::link(final_path.c_str(), aside.c_str()) == 0) {
      had_old[i] = true;
    } else if (errno == ENOENT) {
      if (!moves[i].temp.empty()) fresh += moves[i].name + "\n";
    } else {
      error = system_error("cannot keep aside", final_path);
      std::string ignored;
      index_recover(directory, ignored);  // removes the links made so far
      return false;
    }
  }
  if (!write_marker(marker, fresh)) {
    error = system_error("cannot write", marker);
    ::unlink(marker.c_str());
    std::string ignored;
    index_recover(directory, ignored);
    return false;
  }

  // The new files in; on a failure everything done is undone.
  size_t done = 0;
  for (; done < moves.size(); ++done) {
    const IndexFileMove& move = moves[done];
    const std::string final_path = directory + move.name;
    int rc = 0;
    if (move.temp.empty()) {
      rc = ::unlink(final_path.c_str());
      if (rc != 0 && errno == ENOENT) rc = 0;
    } else {
      rc = options.rename ? options.rename(move.temp, final_path)
                          : ::rename(move.temp.c_str(), final_path.c_str());
    }
    if (rc != 0) {
      error = system_error(move.temp.empty() ? "cannot remove" : "cannot rename",
                           move.temp.empty() ? final_path : move.temp);
      break;
    }
  }
  if (done < moves.size()) {
    std::string restore_error;
    if (!index_recover(directory, restore_error)) error += "; " + restore_error;
    return false;
  }

  // The new set stands once the marker is gone.
  if (options.sync) sync_directory(directory);
  if (::unlink(marker.c_str()) != 0) {
    error = system_error("cannot remove", marker);
    std::string ignored;
    index_recover(directory, ignored);
    return false;
  }
  if (!index_recover(directory, error)) return false;  // removes the old links
  if (options.sync) sync_directory(directory);
  return true;
}

}  // namespace qm
