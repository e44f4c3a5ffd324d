// Reading property.db into a table of per-document values; see property_file.h.
#include "searcher/property/property_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "index/index_format.h"
#include "platform/le.h"
#include "platform/paths.h"

namespace qm {

namespace fmt = index_format;

namespace {

// Size of a regular file; -1 when it cannot be examined or is not a regular file.
long long regular_file_size(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

// Reads up to n bytes; the count read (less only at the end of the file), -1 on error.
ssize_t read_full(int fd, unsigned char* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(fd, buffer + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    done += size_t(r);
  }
  return ssize_t(done);
}

// Decodes count records of record_size bytes from the open file, streaming it in
// blocks; false when the file ends early or cannot be read.
template <typename Decode>
bool read_records(int fd, uint64_t count, size_t record_size, std::vector<PropertyValue>& out,
                  Decode decode) {
  constexpr size_t kRecordsPerBlock = 4096;
  std::vector<unsigned char> block(kRecordsPerBlock * record_size);
  out.clear();
  out.reserve(count);
  while (out.size() < count) {
    const size_t want = size_t(std::min<uint64_t>(kRecordsPerBlock, count - out.size()));
    const ssize_t got = read_full(fd, block.data(), want * record_size);
    if (got != ssize_t(want * record_size)) return false;  // shrank or failed meanwhile
    for (size_t i = 0; i < want; ++i) out.push_back(decode(block.data() + i * record_size));
  }
  return true;
}

}  // namespace

PropertyValue property_record_date(const unsigned char* record) {
  const int64_t year = le::get32s(record + fmt::kDocPropertyYear);
  const int64_t month = le::get32s(record + fmt::kDocPropertyMonth);
  const int64_t day = le::get32s(record + fmt::kDocPropertyDay);
  if (year < 0 || year > 9999 || month < 0 || month > 99 || day < 0 || day > 99) return 0;
  return PropertyValue(year * 10000 + month * 100 + day);
}

PropertyTable property_table_from_set(IndexFileSet& set) {
  PropertyTable table;
  if (!set.is_open() || set.property_layout() == PropertyLayout::None) return table;
  table.layout = set.property_layout();
  const uint32_t documents = set.document_count();
  table.values.resize(documents);
  for (uint32_t document = 0; document < documents; ++document)
    if (!set.read_property(document, table.values[document])) return PropertyTable{};
  return table;
}

PropertyTable property_table_load(const std::string& directory) {
  PropertyTable table;
  const long long cross_size = regular_file_size(path_find_case_blind(directory, fmt::kCrossFile));
  if (cross_size <= 0 || cross_size % fmt::kCrossRecordSize != 0) return table;
  const uint64_t documents = uint64_t(cross_size) / fmt::kCrossRecordSize;

  const std::string path = path_find_case_blind(directory, fmt::kPropertyFile);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return table;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  const uint64_t size = ok ? uint64_t(st.st_size) : 0;
  if (ok && size == documents * fmt::kPropertyValueSize) {
    table.layout = PropertyLayout::Value;
    ok = read_records(fd, documents, fmt::kPropertyValueSize, table.values,
                      [](const unsigned char* p) { return le::get32s(p); });
  } else if (ok && size == documents * fmt::kDocPropertyRecordSize) {
    table.layout = PropertyLayout::Record;
    ok = read_records(fd, documents, fmt::kDocPropertyRecordSize, table.values, property_record_date);
  } else {
    ok = false;
  }
  ::close(fd);
  if (!ok) table = PropertyTable{};
  return table;
}

}  // namespace qm
