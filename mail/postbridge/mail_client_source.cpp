// Mail-client store through mboxpull (see mail_client_source.h).
#include "mail/postbridge/mail_client_source.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "mail/decode/date.h"
#include "mail/decode/header.h"
#include "mail/decode/names.h"
#include "platform/message_box.h"

namespace qm::mail {

namespace {

// A saved attachment is read up to this size; a larger one is cut.
constexpr size_t kMaxSavedAttachment = size_t(32) << 20;

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

template <typename Fn>
bool bind_entry(const DynLib& lib, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(lib.symbol(name));
  return fn != nullptr;
}

// The file's bytes (at most the limit), read without following a link; the file is then removed.
std::string take_file(const std::string& path) {
  std::string data;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      char buf[65536];
      while (data.size() < kMaxSavedAttachment) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        data.append(buf, std::min(size_t(n), kMaxSavedAttachment - data.size()));
      }
    }
    ::close(fd);
  }
  ::unlink(path.c_str());
  return data;
}

// A fixed-size text field as the library filled it: up to its first NUL.
std::string field(const std::vector<char>& buffer) {
  return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
}

}  // namespace

MailClientPlaces default_mail_client_places() {
  MailClientPlaces places;
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&default_mail_client_places), &info) != 0 && info.dli_fname)
    places.folder = directory_of(info.dli_fname);
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) places.program_dir = directory_of(std::string(exe, size_t(n)));
  return places;
}

bool mail_client_attachment_wanted(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || istarts_with(name, "ATT000")) return false;
  const std::string_view ext = std::string_view(name).substr(dot + 1);
  for (const char* wanted : {"txt", "htm", "html", "doc", "rtf", "xls", "ppt", "pdf"})
    if (iequals(ext, wanted)) return true;
  return false;
}

bool MailClientSource::open(const std::string& source, const MailClientPlaces& places, const std::string& work_dir) {
  end();
  const size_t colon = source.find(':');
  folder_ = colon == std::string::npos ? source : source.substr(colon + 1);
  work_dir_ = work_dir;
  if (!lib_.open(kMboxpullLibrary, places.folder, places.program_dir)) return false;
  LoginFn login = nullptr;
  PrepareGetMsgFn prepare = nullptr;
  if (!bind_entry(lib_, "Login", login) || !bind_entry(lib_, "Logoff", logoff_) || !bind_entry(lib_, "PrepareGetMsg", prepare) ||
      !bind_entry(lib_, "CurrMsgLen", curr_msg_len_) || !bind_entry(lib_, "EnumMsg", enum_msg_) ||
      !bind_entry(lib_, "EnumAttach", enum_attach_) || !bind_entry(lib_, "SaveAttach", save_attach_)) {
    lib_.close();
    return false;
  }
  get_folder_name_ = reinterpret_cast<GetFolderNameFn>(lib_.symbol("GetFolderName"));
  // The login handle is the library's; nothing of it is read here.
  void* handle = nullptr;
  if (login(0, &handle) != 0) {
    logoff_ = nullptr;
    lib_.close();
    // The one box of the sources; the program that loaded the gateway shows it.
    message_box("Fail to login !", "Error", kBoxStyleError);
    return false;
  }
  if (prepare(folder_.c_str(), 0) != 0) {
    end();
    return false;
  }
  return true;
}

bool MailClientSource::folder_name(std::string& name) const {
  if (!lib_.is_open() || !get_folder_name_) return false;
  std::vector<char> buffer(kMboxNameBuffer, '\0');
  if (get_folder_name_(folder_.c_str(), buffer.data()) == 0) return false;
  name = field(buffer);
  return true;
}

bool MailClientSource::private_folder() {
  if (!temp_dir_.empty()) return true;
  std::string pattern = work_dir_ + "pbtext.XXXXXX";
  if (!::mkdtemp(pattern.data())) return false;
  temp_dir_ = pattern + "/";
  return true;
}

bool MailClientSource::next(MessageRecord& record) {
  if (!lib_.is_open()) return false;
  const int32_t length = curr_msg_len_();
  const size_t body_size = length > 0 ? size_t(length) : 0;
  std::vector<char> subject(kMboxSubjectBuffer, '\0');
  std::vector<char> sender(kMboxSenderBuffer, '\0');
  std::vector<char> date(kMboxDateBuffer, '\0');
  std::vector<char> body(body_size + 1, '\0');
  if (enum_msg_(subject.data(), sender.data(), date.data(), body.data(), int32_t(body_size)) != 0) {
    end();
    return false;
  }
  record = MessageRecord();
  record.date_text = field(date);
  record.date = mail_date_value(record.date_text);
  body[body_size] = '\0';
  record.body = field(body);

  int32_t handle = 0;
  std::vector<char> name(kMboxNameBuffer, '\0');
  while (record.parts.size() < kMaxParts) {
    std::fill(name.begin(), name.end(), '\0');
    if (enum_attach_(&handle, name.data()) != 0) break;
    const std::string decoded = decode_encoded_words(field(name));
    if (!mail_client_attachment_wanted(decoded)) continue;
    if (!private_folder()) break;
    std::string path = temp_dir_ + "~QX_XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) break;
    ::close(fd);
    if (save_attach_(handle, path.c_str()) != 0) {
      ::unlink(path.c_str());
      continue;
    }
    MessagePart part;
    part.data = take_file(path);
    if (part.data.empty()) continue;
    part.name = safe_attachment_name(decoded, "attachment");
    record.parts.push_back(std::move(part));
  }
  std::string s = decode_encoded_words(field(subject));
  blank_controls(s);
  record.subject = std::string(big5_cut(s, kSubjectMax));
  s = decode_encoded_words(field(sender));
  blank_controls(s);
  record.sender = std::string(big5_cut(s, kSenderMax));
  return true;
}

void MailClientSource::end() {
  if (lib_.is_open()) {
    if (logoff_) logoff_();
    lib_.close();
  }
  logoff_ = nullptr;
  get_folder_name_ = nullptr;
  if (!temp_dir_.empty()) {
    ::rmdir(temp_dir_.c_str());
    temp_dir_.clear();
  }
}

}  // namespace qm::mail
