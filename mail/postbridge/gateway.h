// The mail gateway: one source at a time turned into indexable pages, one per message,
// with the side files written beside the index. The flat IG_ functions of
// libpostbridge.so (postbridge.cpp) are thin wrappers over one Gateway; tests make their
// own. Builds on sources.h, side_files_writer.h, mail_page.h and attachments.h.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mail/postbridge/attachments.h"
#include "mail/postbridge/side_files_writer.h"
#include "mail/postbridge/sources.h"

namespace qm::mail {

class Gateway {
 public:
  // Starts a run over source, writing side files into outdir ("" is the current
  // directory; its missing levels are made once the source has opened). Every earlier
  // state is reset first. 1 when the source opened.
  int init(const std::string& source, const std::string& outdir);
  // Converter settings; attach 0 drops AttachIdx.db and returns the deletion's result.
  int set_extra_data(const std::string& converter_dir, int attach, int timeout, int extra);
  // The next page and its name; false at the end of the source (side files finished).
  bool get_data(std::string& name, std::string& page);

  // The attachment table between init_attach_info and end_attach_info.
  void init_attach_info();
  bool has_attach_table() const { return table_open_; }
  int append_attach_info(const char* name, int number);
  void end_attach_info();

  // State for tests and the driver.
  const std::string& output_dir() const { return outdir_; }
  const std::string& mailbox_name() const { return mailbox_name_; }
  const std::string& converter_path() const { return converter_path_; }
  int message_number() const { return message_number_; }
  int timeout() const { return timeout_; }
  const AttachmentTexts& attachment_texts() const { return texts_; }
  const MailSource& source() const { return source_; }
  void set_window_limits(WindowLimits limits) { limits_ = limits; }
  // Where a mail-client store's library is looked for; by default postbridge's own
  // folder, then the program directory.
  void set_mail_client_places(MailClientPlaces places) { client_places_ = std::move(places); }

 private:
  void end_source();
  // The attachment sections of the message's page (parts converted first); their count.
  int32_t append_attachments(const MessageRecord& record, std::string& page);

  WindowLimits limits_;
  MailClientPlaces client_places_ = default_mail_client_places();
  std::string outdir_;
  std::string mailbox_name_;
  std::string converter_path_;
  int attach_ = 0;
  int timeout_ = 60;
  int extra_ = 0;
  int message_number_ = 0;
  int32_t attach_total_ = 0;
  bool source_open_ = false;
  MailSource source_;
  SideFilesWriter side_files_;
  bool table_open_ = false;
  std::vector<mail_side::AttachInfoRecord> table_;
  AttachmentTexts texts_;
  bool last_open_ = false;  // the table's last record still waits for its last number
};

}  // namespace qm::mail
