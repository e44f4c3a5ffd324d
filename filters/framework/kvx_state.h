// The framework's process-wide state as one resettable object: the handle table
// (documents, exports, module data, chunkers), the loaded export filters and the test
// hooks. The DA, EX and CH functions are thin wrappers over it (kvx_documents.cpp,
// kvx_exports.cpp, kvx_chunker.cpp); DADeInit resets it.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "filters/common/kvx_abi.h"
#include "filters/framework/chunk_model.h"

namespace kvx {

// Option values by id; an entry without a value is an option made absent on purpose.
using OptionTable = std::map<uint32_t, std::optional<std::string>>;

struct DocumentObj {
  uint32_t spec_type = 0;
  KVXIO* file = nullptr;
  uint32_t file_id = KVXFI_UNKNOWN;
  KVXOBJECTLOCATOR locator{};
  std::shared_ptr<const ChunkModel> model;  // read at the first DAGetHChunker
  KVXHANDLE chunker = 0;
  OptionTable options;
};

struct Plugin;

struct ExportObj {
  KVXHANDLE document = 0;  // a document or, for a nested export, an export
  uint32_t type = 0;
  Plugin* plugin = nullptr;
  void* instance = nullptr;
  KVXCALLBACK callback = nullptr;
  void* host_data = nullptr;
  KVXSELECTION selection{};
  OptionTable options;
};

struct ModuleDataObj {
  KVXHANDLE owner = 0;
  KVXBLOCK block = 0;
};

struct ChunkerObj {
  KVXHANDLE document = 0;
  std::shared_ptr<const ChunkModel> model;
  uint32_t file_id = 0;
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> locks;  // (range, first) -> count
};

using HandleObj = std::variant<DocumentObj, ExportObj, ModuleDataObj, ChunkerObj>;

struct Plugin {
  std::string path;
  void* library = nullptr;
  VwRtns routines{};
  std::vector<uint16_t> export_ids;
};

class Framework {
 public:
  uint32_t init_count = 0;
  std::map<KVXHANDLE, HandleObj> handles;
  std::vector<std::unique_ptr<Plugin>> plugins;
  bool plugins_loaded = false;
  // Filters found but not loaded yet, in the order they answer; each is loaded only when
  // no filter before it answers an export type asked for.
  std::vector<std::string> plugins_pending;
  size_t plugins_next = 0;
  std::string fail_function;  // test hook: the nth call of this function from now fails
  uint32_t fail_nth = 0;
  KVXSTATUS fail_status = 0;

  KVXHANDLE add(HandleObj obj);
  template <class T>
  T* find(KVXHANDLE h) {
    auto it = handles.find(h);
    return it == handles.end() ? nullptr : std::get_if<T>(&it->second);
  }
  // The document at the end of a chain of exports and module-data owners; null when the
  // chain breaks.
  DocumentObj* root_document(KVXHANDLE h, KVXHANDLE* root = nullptr);
  // True (and the status) when the test hook names this function and its count is
  // reached; the hook is then used up.
  bool hooked(const char* function, KVXSTATUS& status);
  // Arms the hook from $KVX_FAIL_CALL ("Function[:nth[:status]]", nth 1 and status 99 by
  // default), so a host program's failure paths can be run end to end.
  void arm_from_environment();

 private:
  uint32_t next_ = 1;
};

Framework& framework();

// Releases every module data block owned by handle.
void destroy_owned_module_data(KVXHANDLE owner);
// Closes and frees every export still open (DADeInit).
void close_all_exports();
void unload_plugins();

}  // namespace kvx
