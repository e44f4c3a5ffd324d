// Readers of a mail database's side files MailProperty.db, AttachIdx.db and
// AttachInfo.db (layout in mail/side_files_format.h, which the mail gateway's writer
// shares). They live here, beside their one user, the catalogue (catalogue.h). Every
// read is bounded by the file: a record past the end, a negative count or offset, or a
// count larger than the file holds gives what the file really holds, never more.
// Files are found in the database's WorkDir by their canonical name or case-blind.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "mail/side_files_format.h"

namespace qm {

// Record n of MailProperty.db; false when the file is missing, empty or shorter.
bool mail_read_property(const std::string& work_dir, long long n, mail_side::MailPropertyRecord& out);
// The attachment records of message record n: AttachIdx.db record n, then its count of
// AttachInfo.db records from its offset (fewer when the file ends first). false when
// either file cannot be opened or AttachIdx.db has no record n.
bool mail_read_attachments(const std::string& work_dir, long long n,
                           std::vector<mail_side::AttachInfoRecord>& out);
// The record numbers n whose AttachIdx.db count is above 0, in file order.
std::vector<int> mail_messages_with_attachments(const std::string& work_dir);
// The date of a MailPropertyRecord as the list shows it: "yyyy/mm/dd", or "????/??/??"
// for 0 or a number that is not eight digits.
std::string mail_date_text(int32_t date);

// MailProperty.db kept open for repeated reads of one database's senders.
class MailSenderReader {
 public:
  MailSenderReader() = default;
  ~MailSenderReader() { close(); }
  MailSenderReader(const MailSenderReader&) = delete;
  MailSenderReader& operator=(const MailSenderReader&) = delete;

  bool open(const std::string& work_dir);
  bool is_open() const { return file_ != nullptr; }
  bool read(long long n, mail_side::MailPropertyRecord& out);
  void close();

 private:
  std::FILE* file_ = nullptr;
  long long size_ = 0;
};

}  // namespace qm
