// The mail-store library loader (see mail_store.h), over platform/dynlib.h and the Big5
// walk of common/strings.h.
#include "desktop/mailfind/mail_store.h"

#include "common/strings.h"

namespace qm {

namespace {
template <typename Fn>
bool bind(const DynLib& lib, const char* name, Fn& out) {
  out = reinterpret_cast<Fn>(lib.symbol(name));
  return out != nullptr;
}
}  // namespace

bool LoadMailStoreLibrary(MailStoreLibrary& store, const std::string& program_dir) {
  UnloadMailStoreLibrary(store);
  // "mboxpull.dll" by that name (libmboxpull.so here), in the program directory.
  if (!store.lib.open(mail::kMboxpullLibrary, program_dir, "")) return false;
  const bool bound = bind(store.lib, "Login", store.Login) &&
                     bind(store.lib, "ListFolder", store.ListFolder) &&
                     bind(store.lib, "Logoff", store.Logoff) &&
                     bind(store.lib, "PrepareGetMsg", store.PrepareGetMsg) &&
                     bind(store.lib, "EnumMsg", store.EnumMsg) &&
                     bind(store.lib, "EnumAttach", store.EnumAttach) &&
                     bind(store.lib, "SaveAttach", store.SaveAttach);
  char empty[1] = "";
  if (!bound || store.Login(0, empty) != 0) {
    UnloadMailStoreLibrary(store);
    return false;
  }
  store.logged_in = true;
  return true;
}

void UnloadMailStoreLibrary(MailStoreLibrary& store) {
  if (store.logged_in && store.Logoff) store.Logoff();
  store.logged_in = false;
  store.lib.close();
  store.Login = nullptr;
  store.ListFolder = nullptr;
  store.Logoff = nullptr;
  store.PrepareGetMsg = nullptr;
  store.EnumMsg = nullptr;
  store.EnumAttach = nullptr;
  store.SaveAttach = nullptr;
}

std::vector<MailStoreFolder> ListMailStoreFolders(MailStoreLibrary& store) {
  std::vector<MailStoreFolder> out;
  if (!store.logged_in) return out;
  for (int32_t i = 0;; ++i) {
    std::string key(mail::kMboxFolderBuffer, '\0');
    std::string name(mail::kMboxFolderBuffer, '\0');
    if (store.ListFolder(i, key.data(), name.data()) != 0) break;
    key.resize(key.find('\0') == std::string::npos ? key.size() : key.find('\0'));
    name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    if (store.PrepareGetMsg(key.c_str(), 0) == -1) continue;
    out.push_back({std::move(key), std::move(name)});
  }
  return out;
}

std::string MailStoreShortName(const std::string& display) {
  return std::string(big5_after_last(display, '\\'));
}

}  // namespace qm
