// The source dispatcher: picks the kind of mail store from the source text and hands out
// its messages decoded. Plain mailbox files (kind 0) are read here; the other kinds are
// recognised and refused until their readers exist. Builds on mailbox_reader.h and
// mail/decode/message.h; used by the gateway (gateway.h).
#pragma once
#include <memory>
#include <string>

#include "mail/decode/message.h"
#include "mail/postbridge/mailbox_reader.h"

namespace qm::mail {

enum class MailSourceKind { Mailbox = 0, Jmf6Mailbox = 1, OtherMbx = 2, BlockFolder = 3, MailClient = 4 };

// The kind the source text names; false when the text names no existing file (and is
// not a mail-client store).
bool mail_source_kind(const std::string& source, MailSourceKind& kind);

class MailSource {
 public:
  // Opens the store; false when it cannot be opened or its kind is not read here.
  bool open(const std::string& source, WindowLimits limits = {});
  // The next message decoded; false at the end of the store.
  bool next(MessageRecord& record);
  MailSourceKind kind() const { return kind_; }
  const MailboxReader* mailbox() const { return mailbox_.get(); }

 private:
  MailSourceKind kind_ = MailSourceKind::Mailbox;
  std::unique_ptr<MailboxReader> mailbox_;
};

}  // namespace qm::mail
