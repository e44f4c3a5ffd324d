// The desktop's property.db: records, the build for documents and for mail, the load;
// see property_file.h.
#include "desktop/indexing/property_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "common/files.h"
#include "common/strings.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/catalogue/mail_side_files.h"
#include "index/doc_property_format.h"
#include "index/index_format.h"
#include "index/index_reader.h"
#include "platform/atomic_file.h"
#include "platform/le.h"
#include "platform/paths.h"

namespace qm {

namespace fmt = doc_property_format;

namespace {

// The length of text cut to at most limit bytes without splitting a Big5 pair.
size_t big5_cut(std::string_view text, size_t limit) { return big5_prefix_length(text, limit); }

std::string text_field(const unsigned char* p, size_t size) {
  const char* s = reinterpret_cast<const char*>(p);
  return std::string(s, strnlen(s, size));
}

}  // namespace

void doc_property_encode(const DocPropertyRecord& r, unsigned char* out) {
  std::memset(out, 0, fmt::kRecordSize);
  const size_t n = big5_cut(r.path, fmt::kPathSize - 1);
  std::memcpy(out + fmt::kPath, r.path.data(), n);
  le::put16(out + fmt::kSize, r.size_kb);
  le::put32(out + fmt::kYear, uint32_t(r.year));
  le::put32(out + fmt::kMonth, uint32_t(r.month));
  le::put32(out + fmt::kDay, uint32_t(r.day));
  le::put32(out + fmt::kHour, uint32_t(r.hour));
  le::put32(out + fmt::kMinute, uint32_t(r.minute));
  std::memcpy(out + fmt::kAmPm, r.ampm.data(), std::min(r.ampm.size(), fmt::kAmPmSize - 1));
}

DocPropertyRecord doc_property_decode(const unsigned char* p) {
  DocPropertyRecord r;
  r.path = text_field(p + fmt::kPath, fmt::kPathSize);
  r.size_kb = le::get16(p + fmt::kSize);
  r.year = le::get32s(p + fmt::kYear);
  r.month = le::get32s(p + fmt::kMonth);
  r.day = le::get32s(p + fmt::kDay);
  r.hour = le::get32s(p + fmt::kHour);
  r.minute = le::get32s(p + fmt::kMinute);
  r.ampm = text_field(p + fmt::kAmPm, fmt::kAmPmSize);
  return r;
}

void doc_property_fill_time(long long bytes, std::time_t when, DocPropertyRecord& r) {
  const long long kb = bytes < 0 ? 0 : bytes / 1024 + 1;
  r.size_kb = uint16_t(std::min<long long>(kb, 65535));
  std::tm tm{};
  if (!localtime_r(&when, &tm)) {
    r.year = r.month = r.day = r.hour = r.minute = 0;
    r.ampm.clear();
    return;
  }
  r.year = tm.tm_year + 1900;
  r.month = tm.tm_mon + 1;
  r.day = tm.tm_mday;
  r.minute = tm.tm_min;
  r.hour = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
  r.ampm = tm.tm_hour < 12 ? "AM" : "PM";
}

void doc_property_fill_file(const std::string& path, DocPropertyRecord& r) {
  r.size_kb = 0;
  r.year = r.month = r.day = r.hour = r.minute = 0;
  r.ampm.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  struct stat st {};
  const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (ok) doc_property_fill_time(static_cast<long long>(st.st_size), st.st_mtime, r);
}

namespace {

bool write_records(const std::string& index_dir, const std::string& bytes) {
  return atomic_replace(index_dir + index_format::kPropertyFile, bytes);
}

// The number of documents: whole cross.db records; false when it is missing or empty.
bool document_count(const std::string& index_dir, uint32_t& count) {
  const long long size = file_size(index_dir + index_format::kCrossFile);
  if (size <= 0) return false;
  count = uint32_t(std::min<long long>(size / static_cast<long long>(index_format::kCrossRecordSize), UINT32_MAX));
  return count > 0;
}

}  // namespace

std::string doc_property_path(IndexFileSet& set, uint32_t document, const std::string& document_dir) {
  std::string entry;
  if (!set.read_path(document, entry)) return {};
  const size_t page = entry.find("??");
  if (page != std::string::npos) entry.resize(page);
  return document_dir + path_backslash_to_slash(entry);
}

bool BuildPropertyFile(const std::string& index_dir, const std::string& document_dir) {
  if (index_dir.empty()) return false;
  // A database never built has nothing to read (and the reader is not asked to report it).
  if (!index_check_files(index_dir)) return false;
  IndexFileSet set;
  if (!set.open(index_dir, 0, false)) return false;
  const uint32_t n = set.document_count();
  if (n == 0) return false;
  std::string bytes(size_t(n) * fmt::kRecordSize, '\0');
  DocPropertyRecord record;
  for (uint32_t i = 0; i < n; ++i) {
    std::string file = doc_property_path(set, i, document_dir);
    if (file.empty()) file = document_dir;
    record.path = file;
    doc_property_fill_file(file, record);
    doc_property_encode(record, reinterpret_cast<unsigned char*>(&bytes[size_t(i) * fmt::kRecordSize]));
  }
  set.close();
  return write_records(index_dir, bytes);
}

bool BuildMailPropertyFile(const std::string& index_dir) {
  if (index_dir.empty()) return false;
  uint32_t n = 0;
  if (!document_count(index_dir, n)) return false;
  std::string bytes(size_t(n) * fmt::kRecordSize, '\0');
  DocPropertyRecord record;
  mail_side::MailPropertyRecord mail;
  for (uint32_t i = 0; i < n; ++i) {
    record = DocPropertyRecord{};
    if (mail_read_property(index_dir, i, mail)) {
      record.path = mail.subject;
      const int32_t d = mail.date;
      if (d >= 10000101 && d <= 99991231) {
        record.year = d / 10000;
        record.month = d / 100 % 100;
        record.day = d % 100;
      }
    }
    doc_property_encode(record, reinterpret_cast<unsigned char*>(&bytes[size_t(i) * fmt::kRecordSize]));
  }
  return write_records(index_dir, bytes);
}

bool LoadPropertyTable(const std::string& index_dir, std::vector<DocPropertyRecord>& out) {
  out.clear();
  if (index_dir.empty()) return false;
  std::string bytes;
  if (!file_read_regular(index_dir + index_format::kPropertyFile, bytes, size_t(1) << 32)) return false;
  const size_t n = bytes.size() / fmt::kRecordSize;
  if (n == 0) return false;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i)
    out.push_back(doc_property_decode(reinterpret_cast<const unsigned char*>(bytes.data()) + i * fmt::kRecordSize));
  return true;
}

void BuildDatabaseProperties(const std::string& program_dir, int id) {
  DatabaseCatalog catalog(program_dir);
  catalog.OpenConfig();
  const int i = catalog.DatabaseIndexOf(id);
  std::string work, html;
  if (i >= 0 && catalog.FulltextSize(i) > 0 && catalog.DatabaseDirs(id, work, html)) {
    if (catalog.IsMailDatabase(id))
      BuildMailPropertyFile(work);
    else
      BuildPropertyFile(work, html);
  }
  catalog.CloseConfig();
}

}  // namespace qm
