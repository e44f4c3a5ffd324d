// The export calls of the framework (EX*): export filters found in $KVX_PLUGINS and in the
// program directory (the directory of libkvx.so), in that order, loaded with dlopen, checked by their
// VwGetInfo magic and routed by the export ids they list; one instance per export through
// the filter's routine table; callbacks to the host; nested exports.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "filters/framework/kvx_state.h"

using namespace kvx;

namespace {

// The export filters of the installed layout.
const char* const kPluginNames[] = {"libpagecast.so", "libgfxcast.so"};

std::string library_dir() {
  Dl_info dl{};
  if (::dladdr(reinterpret_cast<void*>(&EXOpenExport), &dl) == 0 || dl.dli_fname == nullptr) return "";
  std::string path = dl.dli_fname;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

template <class Fn>
Fn slot(const Plugin& p, int index) {
  return reinterpret_cast<Fn>(p.routines.Slots[index]);
}

// Loads one filter; null when it is missing or not a filter of this framework.
std::unique_ptr<Plugin> load_plugin(const std::string& path) {
  void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) return nullptr;
  auto get_rtns = reinterpret_cast<VwGetRtnsFn>(::dlsym(lib, "VwGetRtns"));
  auto p = std::make_unique<Plugin>();
  p->path = path;
  p->library = lib;
  bool ok = get_rtns != nullptr && get_rtns(&p->routines, VWRTNS_VERSION) == &p->routines;
  auto info = ok ? slot<VwGetInfoFn>(*p, VWRTN_GETINFO) : nullptr;
  uint32_t magic = 0;
  uint16_t count = 0;
  ok = ok && info != nullptr && info(&magic, VWINFO_MAGIC) == 1 && magic == VWINFO_MAGICVALUE &&
       info(&count, VWINFO_EXPORTCOUNT) == 1 && count > 0 && count <= 64;
  for (int s : {VWRTN_ALLOCPROC, VWRTN_FREEPROC, VWRTN_SETUSER, VWRTN_EXPORTOPEN, VWRTN_EXPORTCLOSE, VWRTN_EXPORTWRITE})
    ok = ok && p->routines.Slots[s] != nullptr;
  if (ok) {
    uint16_t ids[64] = {};
    ok = info(ids, VWINFO_EXPORTIDS) == 1;
    p->export_ids.assign(ids, ids + count);
  }
  if (!ok) {
    ::dlclose(lib);
    return nullptr;
  }
  return p;
}

// Lists the filters: those named in $KVX_PLUGINS, then the installed ones. None is loaded
// here; plugin_for loads them one at a time, in this order, until one answers, so a
// document without pictures never maps the graphics filter.
void load_plugins() {
  Framework& f = framework();
  if (f.plugins_loaded) return;
  f.plugins_loaded = true;
  f.plugins_pending.clear();
  f.plugins_next = 0;
  // Filters named in $KVX_PLUGINS come first, so that they answer their export types
  // before the installed filters do.
  if (const char* extra = std::getenv("KVX_PLUGINS")) {
    std::string list = extra;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      std::string path = list.substr(start, end - start);
      if (!path.empty()) f.plugins_pending.push_back(path);
      start = end + 1;
    }
  }
  std::string dir = library_dir();
  for (const char* name : kPluginNames) f.plugins_pending.push_back(dir + name);
}

// The first filter, in the listed order, that answers the type. The loaded ones are asked
// first: they come before every filter still pending.
Plugin* plugin_for(uint32_t type) {
  Framework& f = framework();
  for (auto& p : f.plugins)
    for (uint16_t id : p->export_ids)
      if (id == type) return p.get();
  while (f.plugins_next < f.plugins_pending.size()) {
    auto p = load_plugin(f.plugins_pending[f.plugins_next++]);
    if (p == nullptr) continue;
    f.plugins.push_back(std::move(p));
    for (uint16_t id : f.plugins.back()->export_ids)
      if (id == type) return f.plugins.back().get();
  }
  return nullptr;
}

// Closes the filter's instance and frees it; the handle goes too.
KVXSTATUS close_export(KVXHANDLE h) {
  ExportObj* e = framework().find<ExportObj>(h);
  KVXSTATUS st = slot<VwExportCloseFn>(*e->plugin, VWRTN_EXPORTCLOSE)(0, e->instance);
  slot<VwFreeProcFn>(*framework().find<ExportObj>(h)->plugin, VWRTN_FREEPROC)(framework().find<ExportObj>(h)->instance);
  destroy_owned_module_data(h);
  framework().handles.erase(h);
  return st;
}

// Closes the nested exports of an export (newest first), then the export.
KVXSTATUS close_export_tree(KVXHANDLE h) {
  for (;;) {
    KVXHANDLE nested = 0;
    for (auto& [id, obj] : framework().handles) {
      auto* e = std::get_if<ExportObj>(&obj);
      if (e != nullptr && e->document == h) nested = id;
    }
    if (nested == 0) break;
    close_export_tree(nested);
  }
  return close_export(h);
}

#define KVX_HOOK(name)                                             \
  do {                                                             \
    KVXSTATUS hook_status;                                         \
    if (framework().hooked(name, hook_status)) return hook_status; \
  } while (0)

}  // namespace

namespace kvx {

void close_all_exports() {
  // Nested exports first: the newest handle is closed first.
  for (;;) {
    KVXHANDLE last = 0;
    for (auto& [h, obj] : framework().handles)
      if (std::holds_alternative<ExportObj>(obj)) last = h;
    if (last == 0) return;
    close_export(last);
  }
}

void unload_plugins() {
  Framework& f = framework();
  for (auto& p : f.plugins) ::dlclose(p->library);
  f.plugins.clear();
  f.plugins_loaded = false;
  f.plugins_pending.clear();
  f.plugins_next = 0;
}

}  // namespace kvx

extern "C" {

KVXSTATUS EXOpenExport(KVXHANDLE document, uint32_t export_type, uint32_t output_spec_type, const void* output_spec,
                       uint32_t flags, const KVXSELECTION* selection, KVXCALLBACK callback, void* host_data,
                       KVXHANDLE* out) {
  KVX_HOOK("EXOpenExport");
  if (out == nullptr) return KVXERR_BADPARAM;
  *out = 0;
  Framework& f = framework();
  if (f.init_count == 0) return KVXERR_BADPARAM;
  if (f.root_document(document) == nullptr || f.find<ModuleDataObj>(document) || f.find<ChunkerObj>(document))
    return KVXERR_BADHANDLE;
  load_plugins();
  Plugin* p = plugin_for(export_type);
  if (p == nullptr) return KVXERR_NOFILTER;
  void* instance = slot<VwAllocProcFn>(*p, VWRTN_ALLOCPROC)();
  if (instance == nullptr) return KVXERR_NOMEMORY;
  ExportObj e;
  e.document = document;
  e.type = export_type;
  e.plugin = p;
  e.instance = instance;
  e.callback = callback;
  e.host_data = host_data;
  if (selection != nullptr) e.selection = *selection;
  KVXHANDLE h = f.add(std::move(e));
  // Every HTML export owns module data whose second word is 2: the mark by which a nested
  // export's callback knows the export above it as the HTML filter's.
  if (export_type == KVXEXPORT_HTML) {
    KVXHANDLE md = 0;
    if (DACreateModuleData(&md, h, 0, 16, KVXEXPORT_HTML) != KVX_OK) {
      slot<VwFreeProcFn>(*p, VWRTN_FREEPROC)(instance);
      f.handles.erase(h);
      return KVXERR_NOMEMORY;
    }
    void* data = nullptr;
    if (DALockModuleData(md, &data) == KVX_OK) {
      const uint32_t kHtmlMark = 2;
      std::memcpy(static_cast<uint8_t*>(data) + 4, &kHtmlMark, 4);
      DAUnlockModuleData(md);
    }
  }
  slot<VwSetUserFn>(*p, VWRTN_SETUSER)(h, flags, instance);
  KVXSTATUS st = slot<VwExportOpenFn>(*p, VWRTN_EXPORTOPEN)(output_spec_type, output_spec, export_type, h,
                                                            selection, flags, instance);
  if (st != KVX_OK) {
    slot<VwFreeProcFn>(*p, VWRTN_FREEPROC)(instance);
    destroy_owned_module_data(h);
    f.handles.erase(h);
    return st;
  }
  *out = h;
  return KVX_OK;
}

KVXSTATUS EXRunExport(KVXHANDLE export_handle) {
  KVX_HOOK("EXRunExport");
  ExportObj* e = framework().find<ExportObj>(export_handle);
  if (e == nullptr) return KVXERR_BADHANDLE;
  const KVXHANDLE document = e->document;
  KVXSTATUS st = slot<VwExportWriteFn>(*e->plugin, VWRTN_EXPORTWRITE)(0, e->instance);
  // An export of a document that its reader cut is written, and says so; exports nested in
  // another one leave that to the outer export.
  const DocumentObj* d = framework().find<DocumentObj>(document);
  if (st == KVX_OK && d != nullptr && d->model && !d->model->cut().empty()) st = KVXERR_TRUNCATED;
  return st;
}

KVXSTATUS EXCloseExport(KVXHANDLE export_handle) {
  KVX_HOOK("EXCloseExport");
  if (framework().find<ExportObj>(export_handle) == nullptr) return KVXERR_BADHANDLE;
  return close_export_tree(export_handle);
}

KVXSTATUS EXDoCallback(KVXHANDLE export_handle, uint32_t id, void* data) {
  KVX_HOOK("EXDoCallback");
  ExportObj* e = framework().find<ExportObj>(export_handle);
  if (e == nullptr) return KVXERR_BADHANDLE;
  if (e->callback == nullptr) return KVXCB_USEDEFAULT;
  return e->callback(export_handle, e->host_data, id, data);
}

}  // extern "C"
