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
  client_.reset();
  if (!mail_source_kind(source, kind_)) return false;
  if (kind_ == MailSourceKind::MailClient) {
    auto client = std::make_unique<MailClientSource>();
    if (!client->open(source, client_places_, client_work_dir_)) return false;
    client_ = std::move(client);
    return true;
  }
  if (kind_ != MailSourceKind::Mailbox) return false;  // not read by this build
  auto reader = std::make_unique<MailboxReader>(limits);
  if (!reader->open(source)) return false;
  mailbox_ = std::move(reader);
  return true;
}

bool MailSource::next(MessageRecord& record) {
  if (client_) {
    if (client_->next(record)) return true;
    client_.reset();
    return false;
  }
  if (!mailbox_) return false;
  std::string raw;
  if (!mailbox_->next(raw)) {
    return false;
  }
  record = parse_message(raw);
  return true;
}

}  // namespace qm::mail
