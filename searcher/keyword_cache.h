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

#include "index/index_reader.h"
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

// The same for hits of the open set searched: only while the set is still the one in its
// directory (IndexFileSet::is_current), checked under the directory's shared lock
// (index_lock.h) and kept for the read or the rename. The indexer removes the database's
// cache folder under the exclusive lock as soon as a new set stands, so hits of an old set
// are never paired with a new one: neither read after the replacement nor written by a
// request that searched the old set. Without a lock file (a folder that cannot be
// written, where nothing replaces the set) only the identity is checked. false, using
// no cache file, when the set was replaced or the lock is not had in time.
bool keyword_cache_read_for(const IndexFileSet& set, const std::string& path, HitList& out);
bool keyword_cache_write_for(const IndexFileSet& set, const std::string& path, const HitList& hits);

}  // namespace qm
