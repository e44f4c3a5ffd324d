// The source dispatcher: picks the kind of mail store from the source text and hands out
// its messages decoded. Plain mailbox files (kind 0) are read here, the mail-client
// files with the extensions mbx and dbx (kinds 1-3) through store_readers.h and
// block_folder_reader.h, the mail-client store (kind 4) through mail_client_source.h.
// Builds on mailbox_reader.h and mail/decode/message.h; used by the gateway (gateway.h).
#pragma once
#include <memory>
#include <string>
#include <utility>

#include "mail/decode/message.h"
#include "mail/postbridge/block_folder_reader.h"
#include "mail/postbridge/mail_client_source.h"
#include "mail/postbridge/mailbox_reader.h"
#include "mail/postbridge/store_readers.h"

namespace qm::mail {

enum class MailSourceKind { Mailbox = 0, Jmf6Mailbox = 1, OtherMbx = 2, BlockFolder = 3, MailClient = 4 };

// The kind the source text names; false when the text names no existing file (and is
// not a mail-client store).
bool mail_source_kind(const std::string& source, MailSourceKind& kind);

class MailSource {
 public:
  // Where a mail-client store finds its library, and the folder (ending in "/") that
  // holds its private folder; set before open().
  void set_mail_client(MailClientPlaces places, std::string work_dir) {
    client_places_ = std::move(places);
    client_work_dir_ = std::move(work_dir);
  }
  // Opens the store; false when it cannot be opened or its kind is not read here.
  bool open(const std::string& source, WindowLimits limits = {});
  // The mail-client folder's name from its library; false when it gives none.
  bool mail_client_name(std::string& name) const { return client_ && client_->folder_name(name); }
  // The next message decoded; false at the end of the store.
  bool next(MessageRecord& record);
  MailSourceKind kind() const { return kind_; }
  const MailboxReader* mailbox() const { return mailbox_.get(); }

 private:
  bool next_store_message(MessageRecord& record);

  MailSourceKind kind_ = MailSourceKind::Mailbox;
  std::unique_ptr<MailboxReader> mailbox_;
  // Kinds 1-3.
  std::string path_;
  std::unique_ptr<Jmf6Reader> jmf6_;
  std::unique_ptr<TocMailboxReader> toc_;
  std::unique_ptr<BlockFolderReader> blocks_;
  std::unique_ptr<MailClientSource> client_;
  MailClientPlaces client_places_;
  std::string client_work_dir_;
};

}  // namespace qm::mail
