// The desktop's hold on the mail-store library: LoadMailStoreLibrary opens "mboxpull.dll"
// (libmboxpull.so) in the program directory, binds its seven entries by name and logs in (Login(0, "")
// must give 0); UnloadMailStoreLibrary logs off and closes it. ListMailStoreFolders lists
// the store's folders that can be read, for the mail form's mail-client mode; and the short
// name of a folder that names its database. Qt-free.
#pragma once
#include <string>
#include <vector>

#include "mail/mboxpull.h"
#include "platform/dynlib.h"

namespace qm {

struct MailStoreLibrary {
  DynLib lib;
  mail::LoginFn Login = nullptr;
  mail::ListFolderFn ListFolder = nullptr;
  mail::LogoffFn Logoff = nullptr;
  mail::PrepareGetMsgFn PrepareGetMsg = nullptr;
  mail::EnumMsgFn EnumMsg = nullptr;
  mail::EnumAttachFn EnumAttach = nullptr;
  mail::SaveAttachFn SaveAttach = nullptr;
  bool logged_in = false;
};

// true when the library opened, all seven entries were found and Login gave 0; on false
// the library is closed again.
bool LoadMailStoreLibrary(MailStoreLibrary& store, const std::string& program_dir);
// Logoff when logged in, then close.
void UnloadMailStoreLibrary(MailStoreLibrary& store);

struct MailStoreFolder {
  std::string key;   // the folder key (ListFolder's first text)
  std::string name;  // the display name (its second text)
};

// Folders 0, 1, ... until ListFolder gives nonzero, without those PrepareGetMsg refuses
// (-1). Nothing when the store is not loaded.
std::vector<MailStoreFolder> ListMailStoreFolders(MailStoreLibrary& store);

// The short name of a folder's display name ("<store>\a\b" in Big5): the part after its
// last "\" that is not the second byte of a Big5 character; the whole text without one.
std::string MailStoreShortName(const std::string& display);

}  // namespace qm
