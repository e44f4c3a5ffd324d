// The desktop's record files: header, text fields and file; see record_file.h.
#include "common/record_file.h"

#include <algorithm>

#include "common/files.h"
#include "common/strings.h"
#include "platform/atomic_file.h"
#include "platform/le.h"

namespace qm {

RecordFileStatus record_file_count(std::string_view bytes, size_t record_size, size_t& n) {
  n = 0;
  if (bytes.size() < record_file::kHeaderSize) return RecordFileStatus::Missing;
  const int32_t count = le::get32s(reinterpret_cast<const unsigned char*>(bytes.data()) + record_file::kCountAt);
  if (count <= 0) return RecordFileStatus::Missing;
  const size_t room = (bytes.size() - record_file::kHeaderSize) / record_size;
  n = std::min(static_cast<size_t>(count), room);
  return n < static_cast<size_t>(count) ? RecordFileStatus::Damaged : RecordFileStatus::Ok;
}

std::string record_file_text(const unsigned char* at, size_t field, size_t max) {
  std::string_view text(reinterpret_cast<const char*>(at), field);
  text = text.substr(0, std::min(text.find('\0'), text.size()));
  return std::string(text.substr(0, big5_prefix_length(text, max)));
}

void record_file_put_text(unsigned char* at, std::string_view text, size_t max) {
  text = text.substr(0, big5_prefix_length(text, max));
  std::copy(text.begin(), text.end(), at);
}

std::string record_file_header(size_t count, int32_t deepest) {
  std::string out;
  le::append32(out, static_cast<uint32_t>(count));
  le::append32(out, static_cast<uint32_t>(deepest));
  return out;
}

bool record_file_load(const std::string& path, std::string& bytes) {
  if (file_read_all_binary(path, bytes)) return true;
  bytes.clear();
  return false;
}

bool record_file_save(const std::string& path, const std::string& bytes) { return atomic_replace(path, bytes); }

}  // namespace qm
