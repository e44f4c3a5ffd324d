// Reading one folder of the mboxpull store: its messages in order (Maildir: cur/ then
// new/, each by file name; .eml folders by file name; mbox files from first to last,
// split as the gateway splits a plain mailbox), each parsed into the texts a mail-client
// library hands out. Messages over 32 MB, files that are not regular files (FIFOs,
// devices) and links that leave the store are passed over; a message GMime cannot parse
// gives what it could read. Subject, sender and date are read by the gateway's header
// parser and decoder (mail/decode/header.h), in time linear in their size; GMime, given
// only the fields that shape the body, gives the body and the attachments. Builds on
// store.h, GMime 3, common/charset.h and mail/postbridge/mailbox_reader.h; used by the
// flat functions (mboxpull.cpp).
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mboxpull/store.h"

namespace qm::mboxpull {

inline constexpr size_t kMaxMessageBytes = size_t(32) << 20;
inline constexpr size_t kSubjectMax = 80;
inline constexpr size_t kSenderMax = 256;
inline constexpr size_t kDateMax = 80;
inline constexpr size_t kAttachNameMax = 260;

struct PulledAttachment {
  std::string name;  // Big5, controls and "/" made "_", at most 260 bytes
  std::string data;  // decoded bytes
};

struct PulledMessage {
  std::string subject;  // decoded to Big5, at most 80 bytes, cut on a character boundary
  std::string sender;   // the From: text decoded to Big5, at most 256 bytes
  std::string date;     // the Date: header text, at most 80 bytes
  std::string body;     // first text/plain part, else the first text/html, in Big5
  std::vector<PulledAttachment> attachments;  // parts with a file name, in part order
};

// Parses one raw message.
PulledMessage pull_message(std::string_view raw);

// The longest prefix of at most max bytes that does not end inside a Big5 pair.
std::string big5_prefix(std::string_view text, size_t max);

class FolderReader {
 public:
  virtual ~FolderReader() = default;
  // The next message; false at the end of the folder.
  virtual bool next(PulledMessage& message) = 0;
};

// Opens the folder of the store at root_real (a resolved path); nullptr when it cannot
// be read (vanished, or a Maildir whose cur/ or new/ is not a folder).
std::unique_ptr<FolderReader> open_folder(const std::string& root_real, const StoreFolder& folder);

}  // namespace qm::mboxpull
