// libpostbridge.so: the seven IG_ functions with C linkage over one Gateway (gateway.h).
// Prints nothing: in the index builder standard output and error carry its progress.
#include "mail/postbridge/postbridge.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "mail/postbridge/gateway.h"

namespace {

struct State {
  qm::mail::Gateway gateway;
  std::string name;  // the page-name buffer handed out by IG_GetData
};

State& state() {
  static State s;
  return s;
}

}  // namespace

extern "C" int32_t IG_Init(const char* source, const char* outdir) {
  return state().gateway.init(source ? source : "", outdir ? outdir : "");
}

extern "C" int32_t IG_GetData(char** name, char** text) {
  if (!name || !text) return 0;
  State& s = state();
  std::string page;
  if (!s.gateway.get_data(s.name, page)) return 0;
  *name = s.name.data();
  char* copy = static_cast<char*>(std::malloc(page.size() + 1));
  if (copy) std::memcpy(copy, page.c_str(), page.size() + 1);
  *text = copy;
  return 1;
}

extern "C" int32_t IG_ClearData(void*, char** text) {
  if (text && *text) {
    std::free(*text);
    *text = nullptr;
  }
  return 1;
}

extern "C" int32_t IG_SetExtraData(const char* converter_dir, int32_t attach, int32_t timeout, int32_t extra) {
  return state().gateway.set_extra_data(converter_dir ? converter_dir : "", attach, timeout, extra);
}

extern "C" void* IG_InitAttachInfo(void) {
  State& s = state();
  s.gateway.init_attach_info();
  return &s.gateway;
}

extern "C" int32_t IG_AppendAttachInfo(const char* name, int32_t number) {
  return state().gateway.append_attach_info(name, number);
}

extern "C" void IG_EndAttachInfo(void) { state().gateway.end_attach_info(); }
