// libmboxpull.so: the flat entry points of mail/mboxpull.h over one Session
// (session.h). Every text goes into the caller's buffer within the sizes the header
// states. Prints nothing.
#include "mail/mboxpull.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "mail/mboxpull/session.h"

namespace {

qm::mboxpull::Session& session() {
  static qm::mboxpull::Session s;
  return s;
}

// The folder this library was loaded from.
std::string library_dir() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&Login), &info) == 0 || !info.dli_fname) return {};
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Copies at most max bytes of text (already cut on a character boundary) and a NUL.
void put(char* out, const std::string& text, size_t max) {
  const size_t n = std::min(text.size(), max);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

extern "C" int32_t Login(int32_t, void*) {
  return session().login(qm::mboxpull::locate_store(library_dir())) ? 0 : -1;
}

extern "C" int32_t Logoff(void) {
  session().logoff();
  return 0;
}

extern "C" int32_t ListFolder(int32_t index, char* key, char* name) {
  if (!key || !name) return -1;
  const qm::mboxpull::StoreFolder* f = session().folder(index);
  if (!f) return -1;
  put(key, f->key, size_t(qm::mail::kMboxFolderBuffer - 1));
  put(name, qm::mboxpull::big5_prefix(f->display, size_t(qm::mail::kMboxFolderBuffer - 1)),
      size_t(qm::mail::kMboxFolderBuffer - 1));
  return 0;
}

extern "C" int32_t PrepareGetMsg(const char* key, int32_t) {
  return key && session().prepare(key) ? 0 : -1;
}

extern "C" int32_t CurrMsgLen(void) {
  const qm::mboxpull::PulledMessage* m = session().peek();
  return m ? int32_t(std::min<size_t>(m->body.size(), qm::mboxpull::kMaxMessageBytes)) : 0;
}

extern "C" int32_t EnumMsg(char* subject, char* sender, char* date, char* body, int32_t length) {
  qm::mboxpull::PulledMessage m;
  if (!session().deliver(m)) return 1;
  if (subject) put(subject, m.subject, qm::mboxpull::kSubjectMax);
  if (sender) put(sender, m.sender, qm::mboxpull::kSenderMax);
  if (date) put(date, m.date, qm::mboxpull::kDateMax);
  if (body && length > 0) std::memcpy(body, m.body.data(), std::min(m.body.size(), size_t(length)));
  return 0;
}

extern "C" int32_t EnumAttach(int32_t* handle, char* name) {
  if (!handle || !name) return 1;
  const int32_t next = session().next_attachment();
  if (next < 0) return 1;
  *handle = next;
  put(name, session().attachment(next)->name, qm::mboxpull::kAttachNameMax);
  return 0;
}

extern "C" int32_t SaveAttach(int32_t handle, const char* path) {
  const qm::mboxpull::PulledAttachment* a = session().attachment(handle);
  if (!a || !path || !*path) return -1;
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  size_t done = 0;
  while (done < a->data.size()) {
    const ssize_t n = ::write(fd, a->data.data() + done, a->data.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  const bool ok = ::close(fd) == 0 && done == a->data.size();
  return ok ? 0 : -1;
}

extern "C" int32_t GetFolderName(const char* key, char* name) {
  if (!key || !name) return 0;
  const qm::mboxpull::StoreFolder* f = session().find(key);
  if (!f) return 0;
  put(name, qm::mboxpull::big5_prefix(f->short_name, qm::mboxpull::kAttachNameMax), qm::mboxpull::kAttachNameMax);
  return 1;
}
