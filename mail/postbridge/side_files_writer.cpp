// Side-file writers (see side_files_writer.h), over stdio, platform/atomic_file.h and the
// record encoders of mail/side_files_format.h.
#include "mail/postbridge/side_files_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/atomic_file.h"

namespace qm::mail {

namespace {

// A new empty file at path: what stood there is unlinked first (a reader that has the old
// file open keeps it), and the new one is created exclusively, so a link planted under
// the name is removed, not followed.
std::FILE* start_file(const std::string& path) {
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "wb");
  if (f == nullptr) ::close(fd);
  return f;
}

// Appends one record and hands it to the system at once; a file that fails a write is
// closed, so no later record lands at a wrong place.
void write_through(std::FILE*& f, const std::string& record) {
  if (f == nullptr) return;
  if (std::fwrite(record.data(), 1, record.size(), f) != record.size() || std::fflush(f) != 0) {
    std::fclose(f);
    f = nullptr;
  }
}

}  // namespace

void SideFilesWriter::start(const std::string& dir) {
  close();
  dir_ = dir;
  started_ = true;
  property_ = start_file(dir + mail_side::kMailPropertyFile);
  index_ = start_file(dir + mail_side::kAttachIndexFile);
}

int SideFilesWriter::drop_attach_index() {
  if (index_) std::fclose(index_);
  index_ = nullptr;
  if (!started_) return -1;  // no run started: no file of this run to delete
  return std::remove((dir_ + mail_side::kAttachIndexFile).c_str()) == 0 ? 0 : -1;
}

void SideFilesWriter::append(const mail_side::MailPropertyRecord& property) {
  // Written through at once: the index builder reads each record as it is appended.
  write_through(property_, mail_side::encode(property));
}

void SideFilesWriter::append(const mail_side::AttachIndexRecord& index) {
  write_through(index_, mail_side::encode(index));
}

void SideFilesWriter::close() {
  if (property_) std::fclose(property_);
  if (index_) std::fclose(index_);
  property_ = nullptr;
  index_ = nullptr;
  started_ = false;
}

bool write_attach_info(const std::string& dir, const std::vector<mail_side::AttachInfoRecord>& records) {
  std::string bytes;
  bytes.reserve(records.size() * mail_side::kAttachInfoSize);
  for (const mail_side::AttachInfoRecord& r : records) bytes += mail_side::encode(r);
  return atomic_replace(dir + mail_side::kAttachInfoFile, bytes);
}

}  // namespace qm::mail
