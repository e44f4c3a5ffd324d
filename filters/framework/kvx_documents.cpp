// The document calls of the framework (DA*): opening documents by path, UTF-16 path or
// embedded object, the handle lookups, options per document and per export, and module
// data. Thin wrappers over the state of kvx_state.h.
#include <algorithm>
#include <cstring>

#include "filters/framework/chunk_script.h"
#include "filters/framework/kvx_io.h"
#include "filters/framework/kvx_state.h"
#include "filters/framework/readers/child_tools.h"
#include "filters/framework/readers/pictures.h"
#include "filters/framework/readers/reader.h"

using namespace kvx;

namespace {

#define KVX_HOOK(name)                                \
  do {                                                \
    KVXSTATUS hook_status;                            \
    if (framework().hooked(name, hook_status)) return hook_status; \
  } while (0)

// The whole source (at most the readers' limit plus one byte, so a larger one is seen).
std::string file_bytes(KVXIO* io) {
  std::string bytes;
  io->Seek(io, KVXIO_SEEK_SET, 0);
  if (!read_all(io, bytes, readers::kMaxSourceBytes + 1)) bytes.clear();
  io->Seek(io, KVXIO_SEEK_SET, 0);
  return bytes;
}

// The IO object's file name with its extension (ASCII of a 16-bit name), "" when none.
std::string file_name(KVXIO* io) {
  uint32_t spec = 0;
  if (io->GetInfo(io, KVXIOINFO_SPECTYPE, &spec) != KVX_OK) return {};
  std::string name;
  if (spec == KVXSPEC_WIDEPATH) {
    std::vector<uint16_t> wide(KVXIO_NAMEMAX + 1, 0);
    if (io->GetInfo(io, KVXIOINFO_FILENAME, wide.data()) != KVX_OK) return {};
    for (size_t i = 0; i < KVXIO_NAMEMAX && wide[i]; ++i) name += wide[i] < 0x80 ? char(wide[i]) : '_';
  } else if (spec == KVXSPEC_PATH) {
    std::vector<char> narrow(KVXIO_NAMEMAX + 1, 0);
    if (io->GetInfo(io, KVXIOINFO_FILENAME, narrow.data()) != KVX_OK) return {};
    name.assign(narrow.data(), strnlen(narrow.data(), KVXIO_NAMEMAX));
  }
  return name;
}

uint32_t identify(KVXIO* io) { return readers::detect_format(file_bytes(io), file_name(io)); }

// The time limit of the readers' children from option KVXOPT_CHILDTIMEOUT, 0 when unset.
int child_timeout(const DocumentObj& d) {
  auto it = d.options.find(KVXOPT_CHILDTIMEOUT);
  if (it == d.options.end() || !it->second || it->second->size() < 4) return 0;
  uint32_t v = 0;
  std::memcpy(&v, it->second->data(), 4);
  return int(std::min<uint32_t>(v, 3600000));
}

// The fall-back format of option 2 on the document, KVXFI_UNKNOWN when it is not set.
uint32_t fallback_format(const DocumentObj& d) {
  auto it = d.options.find(KVXOPT_FALLBACKFORMAT);
  if (it == d.options.end() || !it->second || it->second->size() < 4) return KVXFI_UNKNOWN;
  uint32_t v = 0;
  std::memcpy(&v, it->second->data(), 4);
  return v;
}

// Reads the document into its model once: a chunk script, else the reader of its
// format; a source that nothing recognised is read as the fall-back format when option 2
// names one (KVXFI_TEXT), else KVXERR_UNKNOWNFORMAT. Children of the readers run under
// the document's KVXOPT_CHILDTIMEOUT when it is set.
KVXSTATUS load_model(DocumentObj& d) {
  if (d.model) return KVX_OK;
  std::string bytes;
  d.file->Seek(d.file, KVXIO_SEEK_SET, 0);
  if (!read_all(d.file, bytes, readers::kMaxSourceBytes + 1)) return KVXERR_BADFORMAT;
  std::unique_ptr<ChunkModel> model;
  if (d.file_id == KVXFI_CHUNKSCRIPT) {
    KVXSTATUS st = read_chunk_script(bytes, model, nullptr);
    if (st != KVX_OK) return st;
    d.model = std::move(model);
    return KVX_OK;
  }
  uint32_t id = d.file_id;
  if (id == KVXFI_UNKNOWN && fallback_format(d) == KVXFI_TEXT) id = KVXFI_TEXT;
  ChunkBuilder builder;
  int saved_timeout = readers::child_tools().timeout_ms;
  if (int ms = child_timeout(d); ms > 0) readers::child_tools().timeout_ms = ms;
  // Pictures that a page names by a relative path are found beside the page.
  std::string dir;
  if (d.spec_type == KVXSPEC_PATH) {
    dir = file_name(d.file);
    dir.erase(dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/') + 1);
  }
  readers::PictureSourceScope pictures(dir);
  KVXSTATUS st = readers::read_document(id, bytes, builder);
  readers::child_tools().timeout_ms = saved_timeout;
  if (st != KVX_OK) return st;
  model = builder.finish();
  if (!model) return KVXERR_BADFORMAT;
  d.file_id = id;
  d.model = std::move(model);
  return KVX_OK;
}

KVXSTATUS open_embedded(const KVXEMBEDDEDSPEC* spec, DocumentObj& d) {
  if (spec->Size != 24) return KVXERR_BADPARAM;
  DocumentObj* parent = framework().root_document(spec->Export);
  if (parent == nullptr || framework().find<ExportObj>(spec->Export) == nullptr) return KVXERR_BADHANDLE;
  if (load_model(*parent) != KVX_OK) return KVXERR_OPENFAILED;
  // The object id names the range-0 item whose word a is the object's record in range 13.
  const ChunkModel& m = *parent->model;
  uint32_t index = 0;
  if (!m.index_of(KVXRANGE_ITEMS, spec->ObjectId, index)) return KVXERR_OPENFAILED;
  uint32_t object = m.word(KVXRANGE_ITEMS, index, 1);
  if (object >= m.unit_count(KVXRANGE_OBJECTS)) return KVXERR_OPENFAILED;
  KVXOBJECTITEM rec;
  std::memcpy(&rec, m.bytes(KVXRANGE_OBJECTS).data() + size_t(object) * sizeof rec, sizeof rec);
  uint32_t type = rec.GraphicType, first = rec.DataFirst, length = rec.DataLength;
  const std::vector<uint8_t>& bytes = m.bytes(KVXRANGE_RECORDS);
  if (first > bytes.size() || length > bytes.size() - first) return KVXERR_OPENFAILED;
  d.file = memory_io(std::string(reinterpret_cast<const char*>(bytes.data()) + first, length));
  d.locator.GraphicType = uint16_t(type);
  d.locator.Kind = KVXLOCATOR_EMBEDDED;
  d.locator.Id = spec->ObjectId;
  return KVX_OK;
}

void close_document(KVXHANDLE h, DocumentObj& d, KVXSTATUS& status) {
  if (d.chunker != 0) {
    if (auto* c = framework().find<ChunkerObj>(d.chunker)) {
      if (!c->locks.empty()) status = KVXERR_BADPARAM;  // locks left open
    }
    framework().handles.erase(d.chunker);
  }
  if (d.file != nullptr) d.file->Close(d.file);
  destroy_owned_module_data(h);
  framework().handles.erase(h);
}

const KVXNUMBERFORMATS& english_locale() {
  static const KVXNUMBERFORMATS r = {'.', ',', '/', ':', "$", "AM", "PM", 1, 0, 0};
  return r;
}

// The value that the framework gives for an option that is not set.
bool default_option(uint32_t id, std::string& value) {
  auto word = [&](uint32_t v) { value.assign(reinterpret_cast<const char*>(&v), 4); };
  switch (id) {
    case KVXOPT_CHARSET: word(KVXDEFAULT_CHARSET); return true;
    case KVXOPT_GRAPHICTYPE: word(KVXDEFAULT_GRAPHICTYPE); return true;
    case KVXOPT_FLAVOR: word(KVXDEFAULT_FLAVOR); return true;
    case KVXOPT_NUMBERFORMATS:
      value.assign(reinterpret_cast<const char*>(&english_locale()), sizeof(KVXNUMBERFORMATS));
      return true;
    default: return false;
  }
}

OptionTable* options_of(KVXHANDLE h) {
  if (auto* d = framework().find<DocumentObj>(h)) return &d->options;
  if (auto* e = framework().find<ExportObj>(h)) return &e->options;
  return nullptr;
}

ModuleDataObj* module_data_for(KVXHANDLE h) {
  if (auto* m = framework().find<ModuleDataObj>(h)) return m;
  for (auto& [id, obj] : framework().handles)
    if (auto* m = std::get_if<ModuleDataObj>(&obj); m != nullptr && m->owner == h) return m;
  return nullptr;
}

}  // namespace

extern "C" {

KVXSTATUS DAInit(void) {
  if (framework().init_count == 0) framework().arm_from_environment();
  KVX_HOOK("DAInit");
  ++framework().init_count;
  return KVX_OK;
}

KVXSTATUS DADeInit(void) {
  KVX_HOOK("DADeInit");
  Framework& f = framework();
  if (f.init_count == 0) return KVXERR_BADPARAM;
  if (--f.init_count > 0) return KVX_OK;
  close_all_exports();
  KVXSTATUS ignored = KVX_OK;
  for (auto it = f.handles.begin(); it != f.handles.end();) {
    if (auto* d = std::get_if<DocumentObj>(&it->second)) {
      close_document(it->first, *d, ignored);
      it = f.handles.begin();
    } else {
      ++it;
    }
  }
  while (!f.handles.empty()) {  // module data of handles already gone
    if (auto* m = std::get_if<ModuleDataObj>(&f.handles.begin()->second)) KVXBlockFree(m->block);
    f.handles.erase(f.handles.begin());
  }
  unload_plugins();
  return KVX_OK;
}

KVXSTATUS DAOpenDocument(KVXHANDLE* out, uint32_t spec_type, const void* spec, uint32_t /*flags*/) {
  KVX_HOOK("DAOpenDocument");
  if (out == nullptr || spec == nullptr) return KVXERR_BADPARAM;
  *out = 0;
  if (framework().init_count == 0) return KVXERR_BADPARAM;
  DocumentObj d;
  d.spec_type = spec_type;
  KVXSTATUS st;
  if (spec_type == KVXSPEC_EMBEDDED) {
    st = open_embedded(static_cast<const KVXEMBEDDEDSPEC*>(spec), d);
  } else if (spec_type == KVXSPEC_PATH || spec_type == KVXSPEC_WIDEPATH || spec_type == KVXSPEC_IOOBJECT ||
             spec_type == KVXSPEC_REDIRECT || spec_type == KVXSPEC_MEMORY) {
    st = IOOpen(&d.file, spec_type, spec, 0);
    if (st != KVX_OK && st != KVXERR_BADPARAM) st = KVXERR_OPENFAILED;
  } else {
    st = KVXERR_BADPARAM;
  }
  if (st != KVX_OK) return st;
  d.file_id = identify(d.file);
  *out = framework().add(std::move(d));
  return KVX_OK;
}

KVXSTATUS DACloseDocument(KVXHANDLE document) {
  KVX_HOOK("DACloseDocument");
  DocumentObj* d = framework().find<DocumentObj>(document);
  if (d == nullptr) return KVXERR_BADHANDLE;
  KVXSTATUS st = KVX_OK;
  close_document(document, *d, st);
  return st;
}

KVXSTATUS DAPreOpenDocument(KVXHANDLE handle) {
  KVX_HOOK("DAPreOpenDocument");
  return framework().root_document(handle) != nullptr ? KVX_OK : KVXERR_BADHANDLE;
}

KVXSTATUS DARetrieveDocHandle(KVXHANDLE handle, KVXHANDLE* document) {
  KVX_HOOK("DARetrieveDocHandle");
  if (document == nullptr) return KVXERR_BADPARAM;
  Framework& f = framework();
  if (f.find<DocumentObj>(handle)) {
    *document = handle;
  } else if (auto* e = f.find<ExportObj>(handle)) {
    *document = e->document;
  } else if (auto* m = f.find<ModuleDataObj>(handle)) {
    return DARetrieveDocHandle(m->owner, document);
  } else {
    return KVXERR_BADHANDLE;
  }
  return KVX_OK;
}

KVXSTATUS DAGetHChunker(KVXHANDLE handle, KVXHANDLE* chunker) {
  KVX_HOOK("DAGetHChunker");
  if (chunker == nullptr) return KVXERR_BADPARAM;
  KVXHANDLE root = 0;
  DocumentObj* d = framework().root_document(handle, &root);
  if (d == nullptr) return KVXERR_BADHANDLE;
  if (d->chunker == 0) {
    KVXSTATUS st = load_model(*d);
    if (st != KVX_OK) return st;
    ChunkerObj c;
    c.document = root;
    c.model = d->model;
    c.file_id = d->file_id;
    KVXHANDLE h = framework().add(std::move(c));
    framework().find<DocumentObj>(root)->chunker = h;  // the table may have moved d
    *chunker = h;
    return KVX_OK;
  }
  *chunker = d->chunker;
  return KVX_OK;
}

KVXSTATUS DAGetHFile(KVXHANDLE handle, KVXIO** file) {
  KVX_HOOK("DAGetHFile");
  if (file == nullptr) return KVXERR_BADPARAM;
  DocumentObj* d = framework().root_document(handle);
  if (d == nullptr) return KVXERR_BADHANDLE;
  *file = d->file;
  return KVX_OK;
}

KVXSTATUS DAGetFileId(KVXHANDLE handle, uint32_t* file_id) {
  KVX_HOOK("DAGetFileId");
  if (file_id == nullptr) return KVXERR_BADPARAM;
  DocumentObj* d = framework().root_document(handle);
  if (d == nullptr) return KVXERR_BADHANDLE;
  *file_id = d->file_id;
  return KVX_OK;
}

KVXSTATUS DAGetSelection(KVXHANDLE handle, KVXSELECTION* selection) {
  KVX_HOOK("DAGetSelection");
  if (selection == nullptr) return KVXERR_BADPARAM;
  if (auto* e = framework().find<ExportObj>(handle)) {
    *selection = e->selection;
    return KVX_OK;
  }
  if (framework().root_document(handle) == nullptr) return KVXERR_BADHANDLE;
  *selection = KVXSELECTION{};
  return KVX_OK;
}

KVXSTATUS DAGetOLEObject(KVXHANDLE /*handle*/, void** object) {
  if (object != nullptr) *object = nullptr;
  return KVXERR_UNSUPPORTED;
}

KVXSTATUS DAGetObjectLocator(KVXHANDLE handle, KVXOBJECTLOCATOR* locator) {
  KVX_HOOK("DAGetObjectLocator");
  if (locator == nullptr) return KVXERR_BADPARAM;
  DocumentObj* d = framework().root_document(handle);
  if (d == nullptr) return KVXERR_BADHANDLE;
  *locator = d->locator;
  return KVX_OK;
}

KVXSTATUS DAGetExceptionError(uint32_t exception_code) {
  return exception_code == KVXERR_NOMEMORY ? KVXERR_NOMEMORY : KVXERR_BADPARAM;
}

KVXSTATUS DAGetOption(KVXHANDLE handle, uint32_t id, void* buffer, uint32_t* size) {
  KVX_HOOK("DAGetOption");
  if (buffer == nullptr || size == nullptr) return KVXERR_BADPARAM;
  Framework& f = framework();
  if (f.root_document(handle) == nullptr) return KVXERR_BADHANDLE;
  const std::optional<std::string>* found = nullptr;
  KVXHANDLE h = handle;
  for (int depth = 0; depth < 64 && found == nullptr; ++depth) {
    if (auto* m = f.find<ModuleDataObj>(h)) {
      h = m->owner;
      continue;
    }
    if (auto* c = f.find<ChunkerObj>(h)) {
      h = c->document;
      continue;
    }
    OptionTable* t = options_of(h);
    if (t == nullptr) break;
    if (auto it = t->find(id); it != t->end()) found = &it->second;
    auto* e = f.find<ExportObj>(h);
    if (e == nullptr) break;
    h = e->document;
  }
  std::string fallback;
  const std::string* value = nullptr;
  if (found != nullptr) {
    if (!found->has_value()) return KVXERR_NOTFOUND;
    value = &**found;
  } else if (default_option(id, fallback)) {
    value = &fallback;
  } else {
    return KVXERR_NOTFOUND;
  }
  if (value->size() > *size) return KVXERR_BUFFERTOOSMALL;
  std::memcpy(buffer, value->data(), value->size());
  *size = uint32_t(value->size());
  return KVX_OK;
}

KVXSTATUS DASetOption(KVXHANDLE handle, uint32_t id, const void* value, uint32_t size) {
  KVX_HOOK("DASetOption");
  OptionTable* t = options_of(handle);
  if (t == nullptr) return KVXERR_BADHANDLE;
  if (value == nullptr && size > 0) return KVXERR_BADPARAM;
  if (value == nullptr)
    (*t)[id] = std::nullopt;  // made absent
  else
    (*t)[id] = std::string(static_cast<const char*>(value), size);
  return KVX_OK;
}

KVXSTATUS DACreateModuleData(KVXHANDLE* out, KVXHANDLE owner, uint32_t /*flags*/, uint32_t size, uint32_t kind) {
  KVX_HOOK("DACreateModuleData");
  if (out == nullptr || size < 4) return KVXERR_BADPARAM;
  *out = 0;
  if (framework().root_document(owner) == nullptr) return KVXERR_BADHANDLE;
  KVXBLOCK b = KVXBlockAlloc(KVXBLOCK_MOVABLE | KVXBLOCK_ZEROINIT, size);
  if (b == 0) return KVXERR_NOMEMORY;
  void* p = KVXBlockLock(b);
  std::memcpy(p, &kind, 4);
  KVXBlockUnlock(b);
  *out = framework().add(ModuleDataObj{owner, b});
  return KVX_OK;
}

KVXSTATUS DALockModuleData(KVXHANDLE handle, void** data) {
  KVX_HOOK("DALockModuleData");
  if (data == nullptr) return KVXERR_BADPARAM;
  ModuleDataObj* m = module_data_for(handle);
  if (m == nullptr) return framework().handles.count(handle) ? KVXERR_NOTFOUND : KVXERR_BADHANDLE;
  *data = KVXBlockLock(m->block);
  return *data != nullptr ? KVX_OK : KVXERR_BADHANDLE;
}

KVXSTATUS DAUnlockModuleData(KVXHANDLE handle) {
  KVX_HOOK("DAUnlockModuleData");
  ModuleDataObj* m = module_data_for(handle);
  if (m == nullptr) return KVXERR_BADHANDLE;
  return KVXBlockUnlock(m->block) >= 0 ? KVX_OK : KVXERR_BADPARAM;
}

KVXSTATUS DADestroyModuleData(KVXHANDLE handle) {
  KVX_HOOK("DADestroyModuleData");
  ModuleDataObj* m = framework().find<ModuleDataObj>(handle);
  if (m == nullptr) return KVXERR_BADHANDLE;
  while (KVXBlockUnlock(m->block) > 0) {
  }
  KVXBlockFree(m->block);
  framework().handles.erase(handle);
  destroy_owned_module_data(handle);
  return KVX_OK;
}

}  // extern "C"
