// The mail gateway's state and calling order (see gateway.h): run start and reset, the
// per-message page with its attachment sections, the side-file records, and the
// attachment table.
#include "mail/postbridge/gateway.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "mail/decode/header.h"
#include "mail/postbridge/mail_page.h"
#include "platform/paths.h"

namespace qm::mail {

namespace {

// A directory with its trailing "/"; "" is the current directory.
std::string normalize_dir(const std::string& dir) {
  std::string d = path_backslash_to_slash(dir);
  if (d.empty()) return "./";
  while (d.size() > 1 && d.back() == '/' && d[d.size() - 2] == '/') d.pop_back();
  if (d.back() != '/') d += '/';
  return d;
}

// The file name without its directory and without its last extension.
std::string mailbox_name_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

}  // namespace

int Gateway::init(const std::string& source, const std::string& outdir) {
  end_source();
  table_.clear();
  table_open_ = false;
  last_open_ = false;
  attach_ = 0;
  timeout_ = 60;
  extra_ = 0;
  converter_path_.clear();

  outdir_ = normalize_dir(outdir);
  empty_attachment_folder(outdir_ + mail_side::kAttachFolder);
  remove_stale_text_folders(outdir_);
  texts_.start(outdir_);
  message_number_ = 0;
  attach_total_ = 0;
  mailbox_name_.clear();

  // A mail-client store's folder key is the library's text, not a path.
  const bool client = istarts_with(source, "Outlook:");
  const std::string path = client ? source : path_backslash_to_slash(source);
  source_.set_mail_client(client_places_, outdir_);
  // The side files are started only once the source has opened, so a source that cannot
  // be read leaves the old files as they were.
  if (!source_.open(path, limits_)) return 0;
  // The missing levels of the output directory are made, so that the side files are not
  // lost where the attachments would be kept.
  std::error_code made;
  std::filesystem::create_directories(outdir_, made);
  side_files_.start(outdir_);
  source_open_ = true;
  if (!client)
    mailbox_name_ = mailbox_name_of(path);
  else if (!source_.mail_client_name(mailbox_name_) || mailbox_name_.empty())
    mailbox_name_ = "Outlook";
  return 1;
}

int Gateway::set_extra_data(const std::string& converter_dir, int attach, int timeout, int extra) {
  const std::string dir = normalize_dir(converter_dir);
  converter_path_ = dir + "docpress";
  // The converter logs into the attachment folder, where it runs (emptied at the start),
  // so nothing of the converter's directory is touched.
  attach_ = attach;
  timeout_ = timeout;
  extra_ = extra;
  if (attach == 0) return side_files_.drop_attach_index();
  return attach;
}

bool Gateway::get_data(std::string& name, std::string& page) {
  if (!source_open_) return false;
  MessageRecord record;
  if (!source_.next(record)) {
    end_source();
    return false;
  }
  ++message_number_;
  if (record.body.empty() && !record.parts.empty() && record.parts.front().name.empty())
    record.body = std::move(record.parts.front().data);  // an unnamed part is not converted

  mail_side::MailPropertyRecord property;
  property.date = record.date;
  property.subject = std::string(big5_cut(record.subject, mail_side::kMailTextField - 1));
  property.sender = std::string(big5_cut(record.sender, mail_side::kMailTextField - 1));

  name = mail_page_name(mailbox_name_, message_number_);
  // Only the gateway's own section lines may open an attachment section.
  page.clear();
  append_mail_page(page, record.subject, record.sender, record.body);
  record.body = std::string();  // not needed past this point
  const int32_t count = attach_ ? append_attachments(record, page) : 0;
  // The caller takes the page as a C string: a NUL would hide the sections after it
  // while AttachIdx.db still counts them.
  std::replace(page.begin(), page.end(), '\0', ' ');

  side_files_.append(property);
  if (side_files_.has_attach_index())
    side_files_.append(mail_side::AttachIndexRecord{count, attach_total_ * int32_t(mail_side::kAttachInfoSize)});
  attach_total_ += count;
  return true;
}

int32_t Gateway::append_attachments(const MessageRecord& record, std::string& page) {
  const ConverterSettings converter{converter_path_, timeout_};
  for (size_t i = 0; i < record.parts.size(); ++i)
    if (!record.parts[i].name.empty()) texts_.convert(converter, message_number_, int(i), record.parts[i]);
  int32_t count = 0;
  std::string text;
  for (size_t i = 0; i < record.parts.size(); ++i) {
    const std::string& name = record.parts[i].name;
    if (name.empty() || !texts_.take_text(message_number_, int(i), text)) continue;
    // A name holding the opener would open a second section inside the first.
    if (holds_attach_opener(name)) continue;
    append_attach_section(page, name, text);
    ++count;
  }
  return count;
}

void Gateway::end_source() {
  texts_.finish();
  side_files_.close();
  source_open_ = false;
  source_ = MailSource();
}

void Gateway::init_attach_info() {
  table_.clear();
  table_.reserve(100);
  table_open_ = true;
  last_open_ = false;
}

int Gateway::append_attach_info(const char* name, int number) {
  if (!table_open_) return 0;
  if (last_open_) table_.back().last = uint16_t(number - 1);
  if (!name) {
    last_open_ = false;
    return int(table_.size());
  }
  mail_side::AttachInfoRecord record;
  record.first = uint16_t(number);
  record.name = std::string(name).substr(0, mail_side::kAttachNameField);
  table_.push_back(std::move(record));
  last_open_ = true;
  return int(table_.size());
}

void Gateway::end_attach_info() {
  if (!table_open_) return;
  write_attach_info(outdir_, table_);
  table_.clear();
  table_open_ = false;
  last_open_ = false;
}

}  // namespace qm::mail
