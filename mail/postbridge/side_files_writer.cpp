// Side-file writers (see side_files_writer.h), over platform/atomic_file.h and the record
// encoders of mail/side_files_format.h.
#include "mail/postbridge/side_files_writer.h"

#include <cstdio>

namespace qm::mail {

namespace {

std::unique_ptr<AtomicFileWriter> start_file(const std::string& path) {
  auto writer = std::make_unique<AtomicFileWriter>();
  if (!writer->open(path)) return nullptr;
  return writer;
}

}  // namespace

void SideFilesWriter::start(const std::string& dir) {
  abandon();
  dir_ = dir;
  property_ = start_file(dir + mail_side::kMailPropertyFile);
  index_ = start_file(dir + mail_side::kAttachIndexFile);
}

int SideFilesWriter::drop_attach_index() {
  if (index_) index_->abort();
  index_.reset();
  if (dir_.empty()) return -1;  // no run started: no directory to delete from
  return std::remove((dir_ + mail_side::kAttachIndexFile).c_str()) == 0 ? 0 : -1;
}

void SideFilesWriter::append(const mail_side::MailPropertyRecord& property) {
  // Written through at once: the index builder reads each record as it is appended.
  if (property_ && property_->write(mail_side::encode(property))) std::fflush(property_->file());
}

void SideFilesWriter::append(const mail_side::AttachIndexRecord& index) {
  if (index_) index_->write(mail_side::encode(index));
}

void SideFilesWriter::finish() {
  if (property_) property_->commit();
  if (index_) index_->commit();
  property_.reset();
  index_.reset();
}

void SideFilesWriter::abandon() {
  if (property_) property_->abort();
  if (index_) index_->abort();
  property_.reset();
  index_.reset();
}

bool write_attach_info(const std::string& dir, const std::vector<mail_side::AttachInfoRecord>& records) {
  std::string bytes;
  bytes.reserve(records.size() * mail_side::kAttachInfoSize);
  for (const mail_side::AttachInfoRecord& r : records) bytes += mail_side::encode(r);
  return atomic_replace(dir + mail_side::kAttachInfoFile, bytes);
}

}  // namespace qm::mail
