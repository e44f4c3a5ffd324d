// Source dispatcher (see sources.h): kind by the "Outlook:" prefix, the file's
// extension and its first bytes.
#include "mail/postbridge/sources.h"

#include <sys/stat.h>

#include <cstdio>

#include "mail/decode/header.h"

namespace qm::mail {

bool mail_source_kind(const std::string& source, MailSourceKind& kind) {
  if (istarts_with(source, "Outlook:")) {
    kind = MailSourceKind::MailClient;
    return true;
  }
  struct stat st{};
  if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const size_t slash = source.rfind('/');
  const size_t dot = source.rfind('.');
  const std::string ext = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                              ? source.substr(dot + 1)
                              : std::string();
  if (iequals(ext, "dbx")) {
    kind = MailSourceKind::BlockFolder;
  } else if (iequals(ext, "mbx")) {
    std::FILE* f = std::fopen(source.c_str(), "rb");
    if (!f) return false;
    char head[4] = {};
    const size_t got = std::fread(head, 1, 4, f);
    std::fclose(f);
    kind = got == 4 && std::string(head, 4) == "JMF6" ? MailSourceKind::Jmf6Mailbox : MailSourceKind::OtherMbx;
  } else {
    kind = MailSourceKind::Mailbox;
  }
  return true;
}

bool MailSource::open(const std::string& source, WindowLimits limits) {
  mailbox_.reset();
  jmf6_.reset();
  toc_.reset();
  blocks_.reset();
  client_.reset();
  if (!mail_source_kind(source, kind_)) return false;
  path_ = source;
  switch (kind_) {
    case MailSourceKind::Jmf6Mailbox:
      jmf6_ = std::make_unique<Jmf6Reader>(limits);
      if (jmf6_->open(source)) return true;
      jmf6_.reset();
      return false;
    case MailSourceKind::OtherMbx:
      toc_ = std::make_unique<TocMailboxReader>(limits);
      if (toc_->open(source)) return true;
      toc_.reset();
      return false;
    case MailSourceKind::BlockFolder:
      blocks_ = std::make_unique<BlockFolderReader>();
      if (blocks_->open(source)) return true;
      blocks_.reset();
      return false;
    case MailSourceKind::MailClient: {
      auto client = std::make_unique<MailClientSource>();
      if (!client->open(source, client_places_, client_work_dir_)) return false;
      client_ = std::move(client);
      return true;
    }
    default:
      break;
  }
  if (kind_ != MailSourceKind::Mailbox) return false;
  auto reader = std::make_unique<MailboxReader>(limits);
  if (!reader->open(source)) return false;
  mailbox_ = std::move(reader);
  return true;
}

// Kinds 1-3: a ".toc"-paired mailbox also recovers a tagged body and takes the files
// its "Attachment Converted:" lines name.
bool MailSource::next_store_message(MessageRecord& record) {
  std::string raw;
  if (jmf6_) {
    if (!jmf6_->next(raw)) return false;
  } else if (toc_) {
    if (!toc_->next(raw)) return false;
  } else if (!blocks_->next(raw)) {
    return false;
  }
  record = parse_message(raw);
  if (toc_) {
    std::string body;
    if (record.body.empty() && recover_tagged_body(raw, body)) record.body = std::move(body);
    add_converted_attachments(raw, path_, record);
  }
  return true;
}

bool MailSource::next(MessageRecord& record) {
  if (jmf6_ || toc_ || blocks_) return next_store_message(record);
  if (client_) {
    if (client_->next(record)) return true;
    client_.reset();
    return false;
  }
  if (!mailbox_) return false;
  // Decoded straight from the reader's window, which is given back before the page is
  // made: a long message is not held twice (only one with ">From " lines to unquote).
  std::string_view raw;
  if (!mailbox_->next(raw)) return false;
  std::string unquoted;
  record = parse_message(mailbox_unquote_from_lines(raw, unquoted) ? std::string_view(unquoted) : raw);
  mailbox_->release_window();
  return true;
}

}  // namespace qm::mail
