// Keyword cache files: path rule, reading and safe writing (see keyword_cache.h).
#include "searcher/keyword_cache.h"

#include <cstdio>

#include "common/files.h"
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

}  // namespace qm
