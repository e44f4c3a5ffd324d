// One logged-in use of the mboxpull store: the folder list, the open folder, the message
// waiting to be delivered and the attachments of the one delivered last. The flat
// functions of libmboxpull.so (mboxpull.cpp) are thin wrappers over one Session; tests
// make their own. Builds on store.h and folder_reader.h.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mail/mboxpull/folder_reader.h"
#include "mail/mboxpull/store.h"

namespace qm::mboxpull {

class Session {
 public:
  // Opens the store folder; false when it is not a readable folder.
  bool login(const std::string& store);
  void logoff();
  bool logged_in() const { return !root_.empty(); }

  // Folder number index from a list made afresh at index 0 (or when none was made);
  // nullptr past the end.
  const StoreFolder* folder(int index);
  // The folder with that key in a fresh list; nullptr when there is none.
  const StoreFolder* find(const std::string& key);
  // Opens the folder for reading; false when it is missing or unreadable.
  bool prepare(const std::string& key);

  // The message the next deliver() hands out; nullptr at the end of the folder.
  const PulledMessage* peek();
  // Hands out the next message, whose attachments then become current; false at the end.
  bool deliver(PulledMessage& message);
  // Attachment number handle of the message delivered last; nullptr when there is none.
  const PulledAttachment* attachment(int32_t handle) const;
  // The next attachment's handle, or -1 when the message has no further one.
  int32_t next_attachment();

  const std::string& root() const { return root_; }

 private:
  std::string root_;  // resolved; empty when logged off
  std::vector<StoreFolder> folders_;
  std::unique_ptr<FolderReader> reader_;
  std::optional<PulledMessage> pending_;
  std::vector<PulledAttachment> attachments_;
  size_t next_attachment_ = 0;
};

}  // namespace qm::mboxpull
