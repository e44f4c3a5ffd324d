// The record files of the desktop (Folder.dat, Bookmark.dat): an 8-byte header (i32
// record count, i32 deepest level, written and never used) and fixed-size records in
// tree order, every integer little-endian, texts NUL-terminated in fixed fields. The
// layouts of the records are in desktop/catalogue/folder_dat_format.h and
// desktop/bookmarks/bookmark_format.h; their readers and writers take the header, the
// text fields and the file from here. Builds on common/strings.h (the Big5 cut),
// common/files.h and platform/atomic_file.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

namespace record_file {
inline constexpr size_t kHeaderSize = 8;
inline constexpr size_t kCountAt = 0;
inline constexpr size_t kDeepestAt = 4;
}  // namespace record_file

enum class RecordFileStatus {
  Ok,       // every record the header announced was read
  Missing,  // no file, a short header, or a count of 0 or less: no records
  Damaged,  // fewer records than announced (short file); those read are kept
};

// How many records of record_size bytes the header announces and the bytes hold whole
// (n); the status that reading them gives.
RecordFileStatus record_file_count(std::string_view bytes, size_t record_size, size_t& n);
// The bytes of record i (below the n of record_file_count).
inline const unsigned char* record_file_record(std::string_view bytes, size_t record_size, size_t i) {
  return reinterpret_cast<const unsigned char*>(bytes.data()) + record_file::kHeaderSize + i * record_size;
}
// The text of a field of field bytes: up to its first NUL, cut to at most max bytes
// without splitting a Big5 pair.
std::string record_file_text(const unsigned char* at, size_t field, size_t max);
// Puts text, cut as record_file_text cuts it, at the start of a zeroed field.
void record_file_put_text(unsigned char* at, std::string_view text, size_t max);
// The header of count records whose deepest level is deepest.
std::string record_file_header(size_t count, int32_t deepest);
// The whole file; false (bytes empty) when it cannot be read.
bool record_file_load(const std::string& path, std::string& bytes);

// Replaces out with the records that the header announces and the bytes hold whole, each
// made by decode(record bytes, record number); the status of the reading.
template <typename Record, typename Decode>
RecordFileStatus record_file_parse(std::string_view bytes, size_t record_size, std::vector<Record>& out,
                                   Decode decode) {
  out.clear();
  size_t n = 0;
  const RecordFileStatus status = record_file_count(bytes, record_size, n);
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) out.push_back(decode(record_file_record(bytes, record_size, i), i));
  return status;
}

// The file of the records: the header (deepest level: the largest record level) and each
// record as encode(record, its zeroed record_size bytes) leaves it.
template <typename Record, typename Encode>
std::string record_file_serialize(const std::vector<Record>& records, size_t record_size, Encode encode) {
  int32_t deepest = 0;
  for (const Record& r : records) deepest = r.level > deepest ? r.level : deepest;
  std::string out = record_file_header(records.size(), deepest);
  out.reserve(out.size() + records.size() * record_size);
  std::vector<unsigned char> bytes(record_size);
  for (const Record& r : records) {
    bytes.assign(record_size, 0);
    encode(r, bytes.data());
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  return out;
}

// Reads the file at path through parse(bytes, out); no records (Missing) when it cannot
// be read.
template <typename Record, typename Parse>
RecordFileStatus record_file_read(const std::string& path, std::vector<Record>& out, Parse parse) {
  std::string bytes;
  if (!record_file_load(path, bytes)) {
    out.clear();
    return RecordFileStatus::Missing;
  }
  return parse(std::string_view(bytes), out);
}
// Replaces the file at path safely with bytes; false, the old file whole, when it cannot.
bool record_file_save(const std::string& path, const std::string& bytes);

}  // namespace qm
