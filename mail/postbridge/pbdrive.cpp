// pbdrive: runs the mail gateway by hand and in tests. It loads libpostbridge.so as the
// index builder does (platform/dynlib.h; from the program directory unless -l names a
// path), runs the calling order over one source and prints each page, the attachment
// names found by the tags of mail/mail_page_format.h. With --decode it
// instead decodes one message file in-process and prints its fields and parts.
//
//   pbdrive [-l library] [-a] [-c converter_dir] [-t seconds] source outdir
//   pbdrive --decode message_file
//
// Output records are "<tag> <length>\n<bytes>\n", so any byte may stand in a value:
// PAGE (a page's name) and TEXT (its text); with --decode SUBJECT, SENDER, TO, DATE,
// DATEVALUE, BODY and per part NAME, TYPE, DATA.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "mail/decode/message.h"
#include "mail/mail_page_format.h"
#include "mail/postbridge/postbridge.h"
#include "platform/dynlib.h"
#include "platform/paths.h"

namespace {

void put(std::string_view tag, std::string_view value) {
  std::printf("%.*s %zu\n", int(tag.size()), tag.data(), value.size());
  std::fwrite(value.data(), 1, value.size(), stdout);
  std::fputc('\n', stdout);
}

int usage() {
  std::fprintf(stderr,
               "usage: pbdrive [-l library] [-a] [-c converter_dir] [-t seconds] source outdir\n"
               "       pbdrive --decode message_file\n");
  return 2;
}

int decode_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "pbdrive: cannot read %s\n", path);
    return 1;
  }
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const qm::mail::MessageRecord r = qm::mail::parse_message(raw);
  put("SUBJECT", r.subject);
  put("SENDER", r.sender);
  put("TO", r.recipients);
  put("DATE", r.date_text);
  put("DATEVALUE", std::to_string(r.date));
  put("BODY", r.body);
  for (const qm::mail::MessagePart& p : r.parts) {
    put("NAME", p.name);
    put("TYPE", p.content_type);
    put("DATA", p.data);
  }
  return 0;
}

template <typename Fn>
bool look_up(const qm::DynLib& lib, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(lib.symbol(name));
  if (!fn) std::fprintf(stderr, "pbdrive: %s has no %s\n", lib.path().c_str(), name);
  return fn != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qm::mail;
  if (argc == 3 && std::strcmp(argv[1], "--decode") == 0) return decode_file(argv[2]);
  std::string library = kPostbridgeLibrary;
  std::string converter_dir;
  int attach = 0;
  int timeout = 60;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    if (std::strcmp(argv[i], "-l") == 0 && i + 1 < argc) library = argv[++i];
    else if (std::strcmp(argv[i], "-c") == 0 && i + 1 < argc) converter_dir = argv[++i];
    else if (std::strcmp(argv[i], "-a") == 0) attach = 1;
    else if (std::strcmp(argv[i], "-t") == 0 && i + 1 < argc) timeout = std::atoi(argv[++i]);
    else return usage();
  }
  if (argc - i != 2) return usage();
  const std::string program_dir = qm::program_dir_from_argv0(argv[0]);
  if (converter_dir.empty()) converter_dir = program_dir;

  qm::DynLib lib;
  if (!lib.open(library, {}, program_dir)) {
    std::fprintf(stderr, "pbdrive: cannot load %s: %s\n", library.c_str(), lib.error().c_str());
    return 1;
  }
  IG_InitFn init;
  IG_GetDataFn get_data;
  IG_ClearDataFn clear_data;
  IG_SetExtraDataFn set_extra;
  IG_InitAttachInfoFn init_attach;
  IG_AppendAttachInfoFn append_attach;
  IG_EndAttachInfoFn end_attach;
  if (!look_up(lib, "IG_Init", init) || !look_up(lib, "IG_GetData", get_data) ||
      !look_up(lib, "IG_ClearData", clear_data) || !look_up(lib, "IG_SetExtraData", set_extra) ||
      !look_up(lib, "IG_InitAttachInfo", init_attach) || !look_up(lib, "IG_AppendAttachInfo", append_attach) ||
      !look_up(lib, "IG_EndAttachInfo", end_attach))
    return 1;

  if (!init(argv[i], argv[i + 1])) {
    std::fprintf(stderr, "pbdrive: cannot open the source %s\n", argv[i]);
    return 1;
  }
  set_extra(converter_dir.c_str(), attach, timeout, 0);
  init_attach();
  // Numbers for the attachment table: the count of text lines handed out so far, the
  // way an index builder numbers its paragraphs.
  int32_t number = 0;
  char* name = nullptr;
  char* text = nullptr;
  while (get_data(&name, &text)) {
    const std::string_view page = text ? std::string_view(text) : std::string_view();
    put("PAGE", name ? name : "");
    put("TEXT", page);
    using namespace qm::mail_page_format;
    for (size_t at = page.find(kAttachOpen); at != std::string_view::npos; at = page.find(kAttachOpen, at + 1)) {
      const size_t start = at + kAttachOpen.size();
      const size_t end = page.find(kAttachClose, at);
      const std::string attachment(page.substr(start, end == std::string_view::npos ? 0 : end - start));
      int32_t lines = number;
      for (size_t k = 0; k < at; ++k) lines += page[k] == '\n';
      append_attach(attachment.c_str(), lines);
    }
    for (char c : page) number += c == '\n';
    clear_data(nullptr, &text);
  }
  append_attach(nullptr, number);
  end_attach();
  return 0;
}
