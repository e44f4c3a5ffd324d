// Writers of a mail database's side files (layout in mail/side_files_format.h, read by
// the desktop catalogue and, during a run, by the index builder): MailProperty.db and
// AttachIdx.db are started empty in the output directory when a source has opened and
// grow by one record per message, each record written through at once, so a reader finds
// record n at n x size as soon as the message is handed out. AttachInfo.db is written
// whole at the end, replacing the old file safely. A caller that must keep an old
// database whole while a run may break off gives an output directory of its own (the
// index builder stages the files and puts them in place afterwards). Used by the gateway.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "mail/side_files_format.h"

namespace qm::mail {

class SideFilesWriter {
 public:
  SideFilesWriter() = default;
  ~SideFilesWriter() { close(); }
  SideFilesWriter(const SideFilesWriter&) = delete;
  SideFilesWriter& operator=(const SideFilesWriter&) = delete;

  // Starts MailProperty.db and AttachIdx.db empty in dir (ending in "/"), replacing what
  // was there; a symbolic link of that name is replaced, never followed. A file that
  // cannot be made is left out: its records are not written.
  void start(const std::string& dir);
  // Drops AttachIdx.db: the run's records are not kept and the file is deleted.
  // The result of the deletion: 0 when a file was deleted (never before a start).
  int drop_attach_index();
  bool has_attach_index() const { return index_ != nullptr; }

  void append(const mail_side::MailPropertyRecord& property);
  void append(const mail_side::AttachIndexRecord& index);

  // Closes the files (end of the source, or a new run).
  void close();

 private:
  std::string dir_;
  bool started_ = false;
  std::FILE* property_ = nullptr;
  std::FILE* index_ = nullptr;
};

// Writes AttachInfo.db in dir with the records, replacing the old file.
bool write_attach_info(const std::string& dir, const std::vector<mail_side::AttachInfoRecord>& records);

}  // namespace qm::mail
