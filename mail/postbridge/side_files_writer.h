// Writers of a mail database's side files (layout in mail/side_files_format.h, read by
// the desktop catalogue): MailProperty.db and AttachIdx.db grow by one record per
// message during a run and replace the old files when the run ends; AttachInfo.db is
// written whole at the end. Every file is replaced safely (temporary file and rename),
// so a run that breaks off leaves the previous files whole. Used by the gateway.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "mail/side_files_format.h"
#include "platform/atomic_file.h"

namespace qm::mail {

class SideFilesWriter {
 public:
  // Starts MailProperty.db and AttachIdx.db in dir ("" or ending in "/"). A file that
  // cannot be started is left out: its records are not written.
  void start(const std::string& dir);
  // Drops AttachIdx.db: the run's records are not kept and an old file is deleted.
  // The result of the deletion: 0 when a file was deleted (never before a start).
  int drop_attach_index();
  bool has_attach_index() const { return index_ != nullptr; }

  void append(const mail_side::MailPropertyRecord& property);
  void append(const mail_side::AttachIndexRecord& index);

  // Replaces the old files with this run's (end of the source).
  void finish();
  // Leaves the old files whole (a run that failed to start).
  void abandon();

 private:
  std::string dir_;
  std::unique_ptr<AtomicFileWriter> property_;
  std::unique_ptr<AtomicFileWriter> index_;
};

// Writes AttachInfo.db in dir with the records, replacing the old file.
bool write_attach_info(const std::string& dir, const std::vector<mail_side::AttachInfoRecord>& records);

}  // namespace qm::mail
