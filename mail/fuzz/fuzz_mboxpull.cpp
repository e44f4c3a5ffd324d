// libFuzzer target: the mboxpull stand-in's reading of messages with GMime (subject,
// sender and date to Big5, the body part, attachments and their names): the input as one
// message (as a Maildir or .eml file is read) and as an mbox folder of the store. Built
// with clang by scripts/fuzz; testsupport/fuzz_replay.cpp runs the committed corpus in
// CTest.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/mboxpull/folder_reader.h"
#include "mail/mboxpull/store.h"
#include "testsupport/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qm::mboxpull;
  pull_message(std::string_view(reinterpret_cast<const char*>(data), size));
  qm::fuzz::scratch_file("box", data, size);
  StoreFolder folder;
  folder.kind = FolderKind::Mbox;
  folder.path = "box";
  if (auto reader = open_folder(qm::fuzz::scratch_dir().string(), folder)) {
    PulledMessage m;
    for (int n = 0; n < 100000 && reader->next(m); ++n) {
    }
  }
  return 0;
}
