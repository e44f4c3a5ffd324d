// mpdrive: runs the mail-store library by hand and in tests. It loads libmboxpull.so as
// its callers do (platform/dynlib.h; from the program directory unless -l names a path)
// and prints what the library hands out. The store is the library's own choice
// ($MBOXPULL_STORE, mboxpull.ini, ~/Maildir, ~/Mail).
//
//   mpdrive [-l library] list               folders: KEY, NAME, READY (0 or -1)
//   mpdrive [-l library] read key savedir   messages of one folder: FOLDERNAME, then per
//                                           message SUBJECT, SENDER, DATE, BODY and per
//                                           attachment ATTACH (name) and SAVED (a file in
//                                           savedir holding the saved bytes)
//
// Output records are "<tag> <length>\n<bytes>\n", so any byte may stand in a value.
// Exit status 1 when the library cannot be loaded or the login fails.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mboxpull.h"
#include "platform/dynlib.h"
#include "platform/paths.h"

namespace {

void put(std::string_view tag, std::string_view value) {
  std::printf("%.*s %zu\n", int(tag.size()), tag.data(), value.size());
  std::fwrite(value.data(), 1, value.size(), stdout);
  std::fputc('\n', stdout);
}

int usage() {
  std::fprintf(stderr, "usage: mpdrive [-l library] list\n       mpdrive [-l library] read key savedir\n");
  return 2;
}

template <typename Fn>
bool look_up(const qm::DynLib& lib, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(lib.symbol(name));
  if (!fn) std::fprintf(stderr, "mpdrive: %s has no %s\n", lib.path().c_str(), name);
  return fn != nullptr;
}

std::string text(const std::vector<char>& buffer) { return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size())); }

}  // namespace

int main(int argc, char** argv) {
  using namespace qm::mail;
  std::string library = kMboxpullLibrary;
  int i = 1;
  if (i + 1 < argc && std::strcmp(argv[i], "-l") == 0) {
    library = argv[i + 1];
    i += 2;
  }
  if (i >= argc) return usage();
  const std::string command = argv[i];
  if (!(command == "list" && argc - i == 1) && !(command == "read" && argc - i == 3)) return usage();

  qm::DynLib lib;
  if (!lib.open(library, {}, qm::program_dir_from_argv0(argv[0]))) {
    std::fprintf(stderr, "mpdrive: cannot load %s: %s\n", library.c_str(), lib.error().c_str());
    return 1;
  }
  LoginFn login;
  LogoffFn logoff;
  ListFolderFn list_folder;
  PrepareGetMsgFn prepare;
  CurrMsgLenFn curr_len;
  EnumMsgFn enum_msg;
  EnumAttachFn enum_attach;
  SaveAttachFn save_attach;
  GetFolderNameFn folder_name;
  if (!look_up(lib, "Login", login) || !look_up(lib, "Logoff", logoff) || !look_up(lib, "ListFolder", list_folder) ||
      !look_up(lib, "PrepareGetMsg", prepare) || !look_up(lib, "CurrMsgLen", curr_len) ||
      !look_up(lib, "EnumMsg", enum_msg) || !look_up(lib, "EnumAttach", enum_attach) ||
      !look_up(lib, "SaveAttach", save_attach) || !look_up(lib, "GetFolderName", folder_name))
    return 1;
  if (login(0, nullptr) != 0) {
    std::fprintf(stderr, "mpdrive: login failed\n");
    return 1;
  }
  if (command == "list") {
    std::vector<char> key(kMboxFolderBuffer), name(kMboxFolderBuffer);
    for (int32_t index = 0; list_folder(index, key.data(), name.data()) == 0; ++index) {
      const std::string k = text(key);
      put("KEY", k);
      put("NAME", text(name));
      put("READY", std::to_string(prepare(k.c_str(), 0)));
    }
  } else {
    const std::string key = argv[i + 1];
    const std::string savedir = argv[i + 2];
    std::vector<char> name(kMboxNameBuffer);
    if (folder_name(key.c_str(), name.data())) put("FOLDERNAME", text(name));
    if (prepare(key.c_str(), 0) != 0) {
      std::fprintf(stderr, "mpdrive: folder %s cannot be read\n", key.c_str());
      logoff();
      return 1;
    }
    for (int message = 1;; ++message) {
      const int32_t length = curr_len();
      std::vector<char> subject(kMboxSubjectBuffer), sender(kMboxSenderBuffer), date(kMboxDateBuffer);
      std::vector<char> body(size_t(length > 0 ? length : 0) + 1);
      if (enum_msg(subject.data(), sender.data(), date.data(), body.data(), length) != 0) break;
      put("SUBJECT", text(subject));
      put("SENDER", text(sender));
      put("DATE", text(date));
      put("BODY", std::string_view(body.data(), body.size() - 1));
      int32_t handle = 0;
      for (int part = 1; enum_attach(&handle, name.data()) == 0; ++part) {
        put("ATTACH", text(name));
        const std::string path = qm::path_join(savedir, std::to_string(message) + "-" + std::to_string(part));
        put("SAVED", save_attach(handle, path.c_str()) == 0 ? path : std::string());
      }
    }
  }
  logoff();
  return 0;
}
