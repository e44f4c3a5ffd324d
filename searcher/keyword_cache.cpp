// Keyword cache files: path rule, reading and safe writing, and their use for an open
// index set under its directory's lock (see keyword_cache.h). Used by database_search.cpp.
#include "searcher/keyword_cache.h"

#include <cstdio>

#include "common/files.h"
#include "index/index_lock.h"
#include "platform/atomic_file.h"

namespace qm {

std::string keyword_cache_path(std::string_view cache_dir, uint16_t database, std::string_view word,
                               CacheKind kind, const QueryFlags& flags) {
  static constexpr const char* kPrefixes[] = {"nos", "num", "wet", "dat"};
  std::string path(cache_dir);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%X/", unsigned(database));
  path += buffer;
  const size_t head = word.size() < 6 ? word.size() : 6;
  for (size_t i = 0; i < head; ++i) {
    std::snprintf(buffer, sizeof buffer, "%02X/", unsigned(static_cast<unsigned char>(word[i])));
    path += buffer;
  }
  if (word.size() > 6) {
    for (size_t i = 6; i < word.size(); ++i) {
      std::snprintf(buffer, sizeof buffer, "%02X", unsigned(static_cast<unsigned char>(word[i])));
      path += buffer;
    }
    path += '/';
  }
  if (path.empty() || path.back() != '/') path += '/';
  path += kPrefixes[int(kind)];
  if (flags.homophone) path += "hm";
  if (flags.fault_tolerant) path += "fz";
  return path;
}

bool keyword_cache_read(const std::string& path, HitList& out) {
  out.clear();
  std::string bytes;
  // Hit lists of common words in big databases pass the limit meant for text files.
  constexpr size_t kCacheReadLimit = size_t(2) << 30;
  if (!dir_is_directory(path) && file_read_regular(path, bytes, kCacheReadLimit) &&
      hits_decode(bytes, out))
    return true;
  out.clear();
  return false;
}

bool keyword_cache_write(const std::string& path, const HitList& hits) {
  if (dir_make_all(path) == 0) return false;
  std::string bytes;
  hits_encode(hits, bytes);
  return atomic_replace(path, bytes);
}

namespace {

// The shared lock of the set's directory, held while the set is current; not held (and
// false) when the set was replaced or the lock is not had.
bool lock_current(const IndexFileSet& set, IndexLock& lock) {
  lock = IndexLock::acquire(set.directory(), IndexLock::Mode::Shared, kIndexReaderWaitMs);
  if (!lock.held() && lock.state() != IndexLock::State::NoLockFile) return false;
  return set.is_current();
}

}  // namespace

bool keyword_cache_read_for(const IndexFileSet& set, const std::string& path, HitList& out) {
  out.clear();
  IndexLock lock;
  return lock_current(set, lock) && keyword_cache_read(path, out);
}

bool keyword_cache_write_for(const IndexFileSet& set, const std::string& path, const HitList& hits) {
  // Lists of a set that met a read error may lack hits: they are never cached.
  if (set.failed()) return false;
  IndexLock lock;
  return lock_current(set, lock) && keyword_cache_write(path, hits);
}

}  // namespace qm
