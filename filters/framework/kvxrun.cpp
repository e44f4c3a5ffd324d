// kvxrun: runs one export of the conversion framework from the command line, as a host
// does: opens the document, opens the export, sets options on the document, runs and
// closes. Callbacks are answered from --answer lines (50, "use the default", otherwise)
// and each is written to the callback log.
//
//   kvxrun [--type N] [--set ID=NUMBER] [--set-text ID=TEXT] [--unset ID]
//          [--answer CALLBACK=ANSWER] [--log FILE] INPUT OUTPUT
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "filters/common/kvx_abi.h"
#include "platform/heap.h"

namespace {

struct Host {
  std::map<uint32_t, KVXSTATUS> answers;
  std::FILE* log = nullptr;
};

KVXSTATUS answer(KVXHANDLE exportHandle, void* data, uint32_t id, void* /*cbData*/) {
  auto* host = static_cast<Host*>(data);
  auto it = host->answers.find(id);
  KVXSTATUS a = it == host->answers.end() ? KVXCB_USEDEFAULT : it->second;
  if (host->log) std::fprintf(host->log, "callback %u export %u answer %d\n", id, exportHandle, a);
  return a;
}

struct Option {
  uint32_t id;
  bool absent;
  std::string value;
};

int usage() {
  std::fprintf(stderr,
               "usage: kvxrun [--type N] [--set ID=NUMBER] [--set-text ID=TEXT] [--unset ID]\n"
               "              [--answer CALLBACK=ANSWER] [--log FILE] INPUT OUTPUT\n");
  return 2;
}

bool parse_number(const std::string& s, uint32_t& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  unsigned long long x = std::strtoull(s.c_str(), &end, 0);
  if (*end != '\0' || x > 0xFFFFFFFFull) return false;
  v = uint32_t(x);
  return true;
}

bool split(const std::string& arg, uint32_t& id, std::string& value) {
  size_t eq = arg.find('=');
  if (eq == std::string::npos) return false;
  value = arg.substr(eq + 1);
  return parse_number(arg.substr(0, eq), id);
}

int fail(const char* call, KVXSTATUS st) {
  std::fprintf(stderr, "kvxrun: %s failed with status %d\n", call, st);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  qm::use_huge_page_heap();
  uint32_t type = KVXEXPORT_HTML;
  std::vector<Option> options;
  Host host;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool has_value = i + 1 < argc;
    uint32_t id = 0, v = 0;
    std::string value;
    if (a == "--type" && has_value) {
      if (!parse_number(argv[++i], type)) return usage();
    } else if (a == "--set" && has_value) {
      if (!split(argv[++i], id, value) || !parse_number(value, v)) return usage();
      options.push_back({id, false, std::string(reinterpret_cast<const char*>(&v), 4)});
    } else if (a == "--set-text" && has_value) {
      if (!split(argv[++i], id, value)) return usage();
      options.push_back({id, false, value + std::string(1, '\0')});  // the length counts the NUL
    } else if (a == "--unset" && has_value) {
      if (!parse_number(argv[++i], id)) return usage();
      options.push_back({id, true, ""});
    } else if (a == "--answer" && has_value) {
      if (!split(argv[++i], id, value) || !parse_number(value, v)) return usage();
      host.answers[id] = KVXSTATUS(v);
    } else if (a == "--log" && has_value) {
      host.log = std::fopen(argv[++i], "w");
      if (host.log == nullptr) {
        std::fprintf(stderr, "kvxrun: cannot write %s\n", argv[i]);
        return 1;
      }
    } else if (a.rfind("--", 0) == 0) {
      return usage();
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return usage();
  int rc = 0;
  KVXHANDLE doc = 0, ex = 0;
  KVXSTATUS st = DAInit();
  if (st != KVX_OK) return fail("DAInit", st);
  if ((st = DAOpenDocument(&doc, KVXSPEC_PATH, files[0].c_str(), 0)) != KVX_OK) {
    rc = fail("DAOpenDocument", st);
  } else if ((st = EXOpenExport(doc, type, KVXSPEC_PATH, files[1].c_str(), 0, nullptr, answer, &host, &ex)) != KVX_OK) {
    rc = fail("EXOpenExport", st);
  } else {
    for (const Option& o : options) {
      st = o.absent ? DASetOption(doc, o.id, nullptr, 0) : DASetOption(doc, o.id, o.value.data(), uint32_t(o.value.size()));
      if (st != KVX_OK) {
        rc = fail("DASetOption", st);
        break;
      }
    }
    if (rc == 0 && (st = EXRunExport(ex)) != KVX_OK) rc = fail("EXRunExport", st);
    KVXSTATUS closed = EXCloseExport(ex);
    if (rc == 0 && closed != KVX_OK) rc = fail("EXCloseExport", closed);
  }
  if (doc != 0) {
    KVXSTATUS closed = DACloseDocument(doc);
    if (rc == 0 && closed != KVX_OK) rc = fail("DACloseDocument", closed);
  }
  DADeInit();
  if (host.log) std::fclose(host.log);
  return rc;
}
