// A test export filter of the conversion framework (libkvx_testfilter.so, never
// installed). It answers export types 1101 and 9901 through the shared entry skeleton.
// VwExportWrite creates the output through IOCreate and writes one line per option it
// reads (so tests see which options reach the export), the host's answer to
// KVXCB_EXPORTSTART and the document's item count. Test options make its routines fail
// or open a nested export of the same document.
#include <cstdio>
#include <cstring>
#include <string>

#include "filters/common/kvx_entry.h"

namespace {

// Test options read from the export.
constexpr uint32_t kOptFailRoutine = 0x7E570001;  // 1 open, 2 write, 3 close
constexpr uint32_t kOptFailStatus = 0x7E570002;
constexpr uint32_t kOptNestedType = 0x7E570003;   // open a nested export of this type

struct TestState {
  uint32_t spec_type;
  char path[1024];
  uint16_t wide_path[512];
  KVXIO* object;
  KVXHANDLE export_handle;
  uint32_t export_type;
  uint32_t wide_names;
  uint32_t opened;
};

const uint16_t kExportIds[] = {KVXEXPORT_HTML, 9901};
const kvx::FilterInfo kInfo = {sizeof(TestState), 0, 0, 0, kExportIds, 2, "Dec 10 2026", "12:00:00"};

uint32_t option_word(KVXHANDLE h, uint32_t id, uint32_t fallback) {
  uint32_t v = 0, size = 4;
  return DAGetOption(h, id, &v, &size) == KVX_OK ? v : fallback;
}

KVXSTATUS maybe_fail(const TestState* s, uint32_t routine) {
  if (option_word(s->export_handle, kOptFailRoutine, 0) != routine) return KVX_OK;
  return KVXSTATUS(option_word(s->export_handle, kOptFailStatus, KVXERR_BADPARAM));
}

KVXSTATUS write_text(KVXIO* out, const std::string& text) {
  uint32_t written = 0;
  return out->Write(out, text.data(), uint32_t(text.size()), &written);
}

KVXSTATUS test_open(uint32_t spec_type, const void* spec, uint32_t export_type, KVXHANDLE export_handle,
                    const void* /*info*/, uint32_t /*word6*/, void* instance) {
  auto* s = static_cast<TestState*>(instance);
  s->export_handle = export_handle;
  s->export_type = export_type;
  s->spec_type = spec_type;
  if (KVXSTATUS st = maybe_fail(s, 1)) return st;
  if (spec == nullptr) return KVXERR_BADPARAM;
  if (spec_type == KVXSPEC_PATH) {
    std::snprintf(s->path, sizeof s->path, "%s", static_cast<const char*>(spec));
  } else if (spec_type == KVXSPEC_WIDEPATH) {
    size_t n = UTwstrlen(static_cast<const uint16_t*>(spec));
    if (n >= 512) return KVXERR_BADPARAM;
    std::memcpy(s->wide_path, spec, (n + 1) * 2);
  } else if (spec_type == KVXSPEC_IOOBJECT) {
    s->object = const_cast<KVXIO*>(static_cast<const KVXIO*>(spec));
  } else {
    return KVXERR_BADPARAM;
  }
  s->wide_names = option_word(export_handle, KVXOPT_ROOTFILECALLBACK, 0);
  s->opened = 1;
  return KVX_OK;
}

KVXSTATUS test_write(uint32_t /*word*/, void* instance) {
  auto* s = static_cast<TestState*>(instance);
  if (KVXSTATUS st = maybe_fail(s, 2)) return st;
  const void* spec = s->spec_type == KVXSPEC_PATH       ? static_cast<const void*>(s->path)
                     : s->spec_type == KVXSPEC_WIDEPATH ? static_cast<const void*>(s->wide_path)
                                                        : static_cast<const void*>(s->object);
  KVXIO* out = nullptr;
  if (KVXSTATUS st = IOCreate(&out, s->spec_type, spec, KVXIO_CREATE)) return st;
  std::string text = "export " + std::to_string(s->export_type) + "\n";
  text += "wide names " + std::to_string(s->wide_names) + "\n";
  for (uint32_t id : {KVXOPT_CHARSET, KVXOPT_FALLBACKFORMAT, KVXOPT_TEMPLATE, KVXOPT_GRAPHICTYPE, KVXOPT_FLAVOR,
                      KVXOPT_WRITERFLAGS, KVXOPT_CHARBYTEORDER, KVXOPT_337890}) {
    char value[256];
    uint32_t size = sizeof value;
    text += "option " + std::to_string(id) + " ";
    if (DAGetOption(s->export_handle, id, value, &size) != KVX_OK) {
      text += "absent\n";
    } else if (id == KVXOPT_TEMPLATE) {
      text += std::string(value, size) + "\n";
    } else {
      uint32_t v = 0;
      std::memcpy(&v, value, size < 4 ? size : 4);
      text += std::to_string(v) + "\n";
    }
  }
  uint32_t hosts = 0;
  text += "export start " + std::to_string(EXDoCallback(s->export_handle, KVXCB_EXPORTSTART, &hosts)) + "\n";
  KVXHANDLE chunker = 0;
  uint32_t items = 0;
  if (DAGetHChunker(s->export_handle, &chunker) == KVX_OK && CHGetItemCount(chunker, 0, &items) == KVX_OK)
    text += "items " + std::to_string(items) + "\n";
  KVXSTATUS st = write_text(out, text);
  uint32_t nested_type = option_word(s->export_handle, kOptNestedType, 0);
  if (st == KVX_OK && nested_type != 0 && s->export_type == KVXEXPORT_HTML) {
    // A nested export of this export writes into the same output after this text.
    KVXHANDLE nested = 0;
    st = EXOpenExport(s->export_handle, nested_type, KVXSPEC_IOOBJECT, out, 0, nullptr, nullptr, nullptr, &nested);
    if (st == KVX_OK) {
      st = EXRunExport(nested);
      KVXSTATUS closed = EXCloseExport(nested);
      if (st == KVX_OK) st = closed;
    }
  }
  KVXSTATUS closed = out->Close(out);
  return st != KVX_OK ? st : closed;
}

KVXSTATUS test_close(uint32_t /*word*/, void* instance) {
  auto* s = static_cast<TestState*>(instance);
  KVXSTATUS st = maybe_fail(s, 3);
  s->opened = 0;
  return st;
}

}  // namespace

KVX_DEFINE_FILTER_ENTRY(kInfo, test_open, test_close, test_write)
