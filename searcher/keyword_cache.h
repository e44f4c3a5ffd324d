// KeywordCacheFile: the hits of one word in one database, n x HitRecord exactly as the
// word search produced them, no header, kept under the CacheDir setting so that a later
// request with the same flags reads them instead of searching. The desktop's property
// filter rewrites these files between its two runs of the search engine, so the path
// rule and the record layout (hits.h) are shared with it.
//
// Path: CacheDir, the database id in upper-case hexadecimal, "/", each of the word's
// first six bytes as two upper-case hexadecimal digits and "/", the remaining bytes (if
// any) as hexadecimal digits in one directory name and "/", then the file name: a kind
// prefix ("nos", "num", "wet", "dat"), "hm" with homophones on, "fz" with fault
// tolerance on. Example: id 0x1A, word AB, no flags: <CacheDir>1A/41/42/nos.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "searcher/hits.h"
#include "searcher/query_parser.h"

namespace qm {

enum class CacheKind { Plain = 0, Number = 1, Weight = 2, Date = 3 };  // nos num wet dat

std::string keyword_cache_path(std::string_view cache_dir, uint16_t database, std::string_view word,
                               CacheKind kind, const QueryFlags& flags);

// Reads a cache file whole. false when it does not exist, cannot be read or does not hold
// a whole number of records (then it is searched again and rewritten).
bool keyword_cache_read(const std::string& path, HitList& out);

// Writes the hits (an empty file for no hits), creating the missing directories. The
// file is written under a temporary name and renamed, so a concurrent request never
// reads half a file. false when it cannot be written.
bool keyword_cache_write(const std::string& path, const HitList& hits);

}  // namespace qm
