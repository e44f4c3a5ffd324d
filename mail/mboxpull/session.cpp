// The mboxpull session (see session.h).
#include "mail/mboxpull/session.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

namespace qm::mboxpull {

bool Session::login(const std::string& store) {
  logoff();
  char resolved[PATH_MAX];
  struct stat st{};
  if (store.empty() || !::realpath(store.c_str(), resolved) || ::stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode))
    return false;
  root_ = resolved;
  return true;
}

void Session::logoff() {
  root_.clear();
  folders_.clear();
  reader_.reset();
  pending_.reset();
  attachments_.clear();
  next_attachment_ = 0;
}

const StoreFolder* Session::folder(int index) {
  if (!logged_in() || index < 0) return nullptr;
  if (index == 0 || folders_.empty()) folders_ = list_store(root_);
  return size_t(index) < folders_.size() ? &folders_[size_t(index)] : nullptr;
}

const StoreFolder* Session::find(const std::string& key) {
  if (!logged_in()) return nullptr;
  folders_ = list_store(root_);
  for (const StoreFolder& f : folders_)
    if (f.key == key) return &f;
  return nullptr;
}

bool Session::prepare(const std::string& key) {
  reader_.reset();
  pending_.reset();
  attachments_.clear();
  next_attachment_ = 0;
  const StoreFolder* f = find(key);
  if (!f) return false;
  reader_ = open_folder(root_, *f);
  return reader_ != nullptr;
}

const PulledMessage* Session::peek() {
  if (!pending_ && reader_) {
    PulledMessage m;
    if (reader_->next(m)) pending_ = std::move(m);
  }
  return pending_ ? &*pending_ : nullptr;
}

bool Session::deliver(PulledMessage& message) {
  if (!peek()) return false;
  message = std::move(*pending_);
  pending_.reset();
  attachments_ = std::move(message.attachments);
  message.attachments.clear();
  next_attachment_ = 0;
  return true;
}

const PulledAttachment* Session::attachment(int32_t handle) const {
  if (handle < 0 || size_t(handle) >= attachments_.size()) return nullptr;
  return &attachments_[size_t(handle)];
}

int32_t Session::next_attachment() {
  if (next_attachment_ >= attachments_.size()) return -1;
  return int32_t(next_attachment_++);
}

}  // namespace qm::mboxpull
