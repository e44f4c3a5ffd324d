// Readers of the two mail-client mailbox files with the ".mbx" extension, on the bounded
// window of mailbox_reader.h: the "JMF6" file of records opened by the marker 00 7F 00 7F
// (the message text 16 bytes after the marker, NUL-terminated), and the mailbox paired
// with a ".toc" file whose messages follow "From ???@???" lines. For the latter also the
// recovery of a body kept between "<x-...>" tags and the files that "Attachment
// Converted:" lines name, taken only from inside the mailbox's folder tree. Used by the
// source dispatcher (sources.cpp).
#pragma once
#include <string>
#include <string_view>

#include "mail/decode/message.h"
#include "mail/postbridge/mailbox_reader.h"

namespace qm::mail {

// The record marker of "JMF6" files and the size of a record's header, marker included.
inline constexpr std::string_view kJmf6Marker{"\0\x7F\0\x7F", 4};
inline constexpr size_t kJmf6RecordHeader = 16;

class Jmf6Reader {
 public:
  explicit Jmf6Reader(WindowLimits limits = {});
  bool open(const std::string& path) { return reader_.open(path); }
  // The next record's text; false at the end of the file. A record shorter than its
  // header, or whose text the file's end cuts before its NUL, is passed over.
  bool next(std::string& message);
  const MailboxReader& window() const { return reader_; }

 private:
  MailboxReader reader_;
};

// The separator line of ".toc"-paired mailboxes.
inline constexpr char kTocSeparatorLine[] = "From ???@???";

class TocMailboxReader {
 public:
  explicit TocMailboxReader(WindowLimits limits = {});
  bool open(const std::string& path) { return reader_.open(path); }
  // The next message without its separator line; false at the end of the file.
  bool next(std::string& message);
  const MailboxReader& window() const { return reader_; }

 private:
  MailboxReader reader_;
};

// The body kept between an "<x-...>" line and its closing tag, for a message whose
// decoded body is empty: from the line after the opening tag (blank lines skipped) to
// the closing tag, or to the end of the text when it is missing. False when raw holds
// no "<x-".
bool recover_tagged_body(std::string_view raw, std::string& body);

// The most that the "Attachment Converted:" lines of one message may bring in, and so
// the largest file.
inline constexpr size_t kMaxConvertedAttachment = size_t(32) << 20;

// Adds the files named by the "Attachment Converted: \"path\"" lines at the end of the
// message as parts (walked from the last line backwards). A file is taken only when it
// is a regular file, no link, of 1 byte to 32 MB (all of a message's files together
// too), inside the folder of mailbox_path or
// below it: a Windows path (with "\" or a drive letter) by its last component, found
// case-blind in that folder or its "Attach" folder; any other path only when it
// resolves inside the tree (a relative one from the mailbox's folder).
void add_converted_attachments(std::string_view raw, const std::string& mailbox_path, MessageRecord& record);

}  // namespace qm::mail
