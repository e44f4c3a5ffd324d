// A scripted stand-in of the mail-store library for the loader's tests: three folders,
// the second of which cannot be read; Login fails when QM_FAKE_MBOX_LOGIN_FAILS is set.
// Logoff calls are counted in the file named by QM_FAKE_MBOX_LOG, when set.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mail/mboxpull.h"

namespace {
const char* kKeys[] = {"k/inbox", "k/broken", "k/sent"};
const char* kNames[] = {"Inbox", "Broken", "Sent Items"};
}  // namespace

extern "C" {
int32_t Login(int32_t, void*) { return std::getenv("QM_FAKE_MBOX_LOGIN_FAILS") ? 1 : 0; }
int32_t Logoff(void) {
  if (const char* log = std::getenv("QM_FAKE_MBOX_LOG")) {
    if (FILE* f = std::fopen(log, "a")) {
      std::fputs("logoff\n", f);
      std::fclose(f);
    }
  }
  return 0;
}
int32_t ListFolder(int32_t index, char* key, char* name) {
  if (index < 0 || index > 2) return 1;
  std::snprintf(key, 1024, "%s", kKeys[index]);
  std::snprintf(name, 1024, "%s", kNames[index]);
  return 0;
}
int32_t PrepareGetMsg(const char* key, int32_t) { return std::strcmp(key, "k/broken") == 0 ? -1 : 0; }
int32_t CurrMsgLen(void) { return 0; }
int32_t EnumMsg(char*, char*, char*, char*, int32_t) { return 1; }
int32_t EnumAttach(int32_t*, char*) { return 1; }
int32_t SaveAttach(int32_t, const char*) { return 1; }
int32_t GetFolderName(const char*, char*) { return 0; }
}
