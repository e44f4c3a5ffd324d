// Readers of the mail side files (mail_side_files.h); record layouts and decoders come
// from mail/side_files_format.h.
#include "desktop/catalogue/mail_side_files.h"

#include <cstdio>

#include "common/files.h"
#include "platform/paths.h"

namespace qm {
namespace ms = mail_side;
namespace {

struct File {
  std::FILE* f = nullptr;
  long long size = 0;
  explicit File(const std::string& path) {
    f = std::fopen(path.c_str(), "rb");
    if (f) size = file_length(f);
  }
  ~File() {
    if (f) std::fclose(f);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
};

std::string side_file(const std::string& work_dir, const char* name) {
  return path_find_case_blind(work_dir, name);
}

// Reads record n of size bytes from file into b; false when it lies past the end.
bool read_record(std::FILE* f, long long file_size, long long n, size_t size, unsigned char* b) {
  if (!f || n < 0 || file_size < 0) return false;
  long long room = file_size / static_cast<long long>(size);
  if (n >= room) return false;
  return file_seek(f, n * static_cast<long long>(size), SEEK_SET) == 0 && file_read_exact(f, b, size);
}

}  // namespace

bool mail_read_property(const std::string& work_dir, long long n, ms::MailPropertyRecord& out) {
  File file(side_file(work_dir, ms::kMailPropertyFile));
  unsigned char b[ms::kMailPropertySize];
  if (!read_record(file.f, file.size, n, sizeof b, b)) return false;
  out = ms::decode_mail_property(b);
  return true;
}

bool mail_read_attachments(const std::string& work_dir, long long n,
                           std::vector<ms::AttachInfoRecord>& out) {
  out.clear();
  File index(side_file(work_dir, ms::kAttachIndexFile));
  File info(side_file(work_dir, ms::kAttachInfoFile));
  if (!index.f || !info.f) return false;
  unsigned char b[ms::kAttachInfoSize];
  if (!read_record(index.f, index.size, n, ms::kAttachIndexSize, b)) return false;
  ms::AttachIndexRecord at = ms::decode_attach_index(b);
  if (at.count <= 0 || at.offset < 0) return true;
  long long offset = at.offset;
  if (offset > info.size) return true;
  long long fits = (info.size - offset) / static_cast<long long>(ms::kAttachInfoSize);
  long long count = at.count < fits ? at.count : fits;
  if (file_seek(info.f, offset, SEEK_SET) != 0) return true;
  out.reserve(static_cast<size_t>(count));
  for (long long i = 0; i < count; ++i) {
    if (!file_read_exact(info.f, b, ms::kAttachInfoSize)) break;
    out.push_back(ms::decode_attach_info(b));
  }
  return true;
}

std::vector<int> mail_messages_with_attachments(const std::string& work_dir) {
  std::vector<int> numbers;
  std::string bytes;
  if (!file_read_all_binary(side_file(work_dir, ms::kAttachIndexFile), bytes)) return numbers;
  const auto* base = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t records = bytes.size() / ms::kAttachIndexSize;
  for (size_t n = 0; n < records; ++n)
    if (ms::decode_attach_index(base + n * ms::kAttachIndexSize).count > 0)
      numbers.push_back(static_cast<int>(n));
  return numbers;
}

std::string mail_date_text(int32_t date) {
  if (date < 10000000 || date > 99999999) return "?\?\?\?/?\?/?\?";  // "????/??/??"
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", date / 10000, date / 100 % 100, date % 100);
  return buf;
}

bool MailSenderReader::open(const std::string& work_dir) {
  close();
  file_ = std::fopen(side_file(work_dir, ms::kMailPropertyFile).c_str(), "rb");
  if (!file_) return false;
  size_ = file_length(file_);
  return true;
}

bool MailSenderReader::read(long long n, ms::MailPropertyRecord& out) {
  unsigned char b[ms::kMailPropertySize];
  // The file may grow while it is open (a build in progress): take its size afresh.
  if (file_) size_ = file_length(file_);
  if (!read_record(file_, size_, n, sizeof b, b)) return false;
  out = ms::decode_mail_property(b);
  return true;
}

void MailSenderReader::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
}

}  // namespace qm
