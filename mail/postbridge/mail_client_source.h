// The mail-client store (kind 4): messages come from the outside mail-store library
// mboxpull (mail/mboxpull.h), loaded at run time from postbridge's own folder, then the
// program directory. Each message's named attachments of the types the gateway reads are
// saved by the library into "~QX_" files in a private folder of the output directory,
// read back and deleted. A refused login shows the box "Fail to login !" through
// platform/message_box.h. Builds on platform/dynlib.h and mail/decode/; used by the
// source dispatcher (sources.cpp).
#pragma once
#include <string>

#include "mail/decode/message.h"
#include "mail/mboxpull.h"
#include "platform/dynlib.h"

namespace qm::mail {

// Where the library is looked for: folder first (when not empty), then program_dir.
struct MailClientPlaces {
  std::string folder;
  std::string program_dir;
};

// The places of a running postbridge: the folder of the code holding this function and
// the directory of the running program.
MailClientPlaces default_mail_client_places();

// Whether a mail-client attachment name is read: it has a ".", does not begin with
// "ATT000" (any case), and its extension is one of txt, htm, html, doc, rtf, xls, ppt, pdf.
bool mail_client_attachment_wanted(const std::string& name);

class MailClientSource {
 public:
  MailClientSource() = default;
  ~MailClientSource() { end(); }
  MailClientSource(const MailClientSource&) = delete;
  MailClientSource& operator=(const MailClientSource&) = delete;

  // Loads the library, logs in and prepares the folder (the text after the first ":" of
  // source, the whole text without one); work_dir (ending in "/") holds the private
  // folder. False, with the library freed, when any step fails.
  bool open(const std::string& source, const MailClientPlaces& places, const std::string& work_dir);
  // The next message; false at the end of the folder (the library is then freed).
  bool next(MessageRecord& record);
  // The folder's name through GetFolderName; false when it is missing or gives 0.
  bool folder_name(std::string& name) const;
  // Logs off and frees the library; removes the private folder.
  void end();

 private:
  bool private_folder();

  DynLib lib_;
  std::string folder_;
  std::string work_dir_;
  std::string temp_dir_;  // ending in "/"; empty until made
  LogoffFn logoff_ = nullptr;
  CurrMsgLenFn curr_msg_len_ = nullptr;
  EnumMsgFn enum_msg_ = nullptr;
  EnumAttachFn enum_attach_ = nullptr;
  SaveAttachFn save_attach_ = nullptr;
  GetFolderNameFn get_folder_name_ = nullptr;
};

}  // namespace qm::mail
