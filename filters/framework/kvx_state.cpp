// The framework's state object and its handle table (see kvx_state.h), with the
// exported test hooks.
#include "filters/framework/kvx_state.h"

#include <cstdlib>

#include "filters/framework/kvx_io.h"

namespace kvx {

Framework& framework() {
  static Framework f;
  return f;
}

KVXHANDLE Framework::add(HandleObj obj) {
  // Ids run on and skip 0 and live ids, so a stale handle rarely names a new object.
  while (next_ == 0 || handles.count(next_)) ++next_;
  KVXHANDLE h = next_++;
  handles.emplace(h, std::move(obj));
  return h;
}

DocumentObj* Framework::root_document(KVXHANDLE h, KVXHANDLE* root) {
  for (int depth = 0; depth < 64; ++depth) {
    auto it = handles.find(h);
    if (it == handles.end()) return nullptr;
    if (auto* d = std::get_if<DocumentObj>(&it->second)) {
      if (root) *root = h;
      return d;
    }
    if (auto* e = std::get_if<ExportObj>(&it->second)) {
      h = e->document;
    } else if (auto* m = std::get_if<ModuleDataObj>(&it->second)) {
      h = m->owner;
    } else if (auto* c = std::get_if<ChunkerObj>(&it->second)) {
      h = c->document;
    } else {
      return nullptr;
    }
  }
  return nullptr;
}

bool Framework::hooked(const char* function, KVXSTATUS& status) {
  if (fail_function.empty() || fail_function != function) return false;
  if (fail_nth > 1) {
    --fail_nth;
    return false;
  }
  fail_function.clear();
  status = fail_status;
  return true;
}

void Framework::arm_from_environment() {
  const char* spec = std::getenv("KVX_FAIL_CALL");
  if (spec == nullptr || *spec == '\0') return;
  std::string s = spec;
  size_t c1 = s.find(':');
  fail_function = s.substr(0, c1);
  fail_nth = 1;
  fail_status = 99;
  if (c1 == std::string::npos) return;
  size_t c2 = s.find(':', c1 + 1);
  fail_nth = uint32_t(std::strtoul(s.substr(c1 + 1, c2 - c1 - 1).c_str(), nullptr, 10));
  if (fail_nth == 0) fail_nth = 1;
  if (c2 != std::string::npos) fail_status = KVXSTATUS(std::strtol(s.c_str() + c2 + 1, nullptr, 10));
}

void destroy_owned_module_data(KVXHANDLE owner) {
  Framework& f = framework();
  for (auto it = f.handles.begin(); it != f.handles.end();) {
    auto* m = std::get_if<ModuleDataObj>(&it->second);
    if (m != nullptr && m->owner == owner) {
      while (KVXBlockUnlock(m->block) > 0) {
      }
      KVXBlockFree(m->block);
      KVXHANDLE gone = it->first;
      it = f.handles.erase(it);
      destroy_owned_module_data(gone);
      it = f.handles.begin();
    } else {
      ++it;
    }
  }
}

}  // namespace kvx

extern "C" {

void KVXTestFailCall(const char* function, KVXSTATUS status) {
  kvx::framework().fail_function = function == nullptr ? "" : function;
  kvx::framework().fail_nth = 1;
  kvx::framework().fail_status = status;
}

uint32_t KVXLiveHandleCount(void) {
  return uint32_t(kvx::framework().handles.size()) + kvx::live_io_count();
}

}  // extern "C"
