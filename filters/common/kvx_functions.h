// The functions of libkvx.so as a table of pointers, for programs that load the framework
// at run time by its path (dlopen) instead of linking it, such as a host that finds the
// framework beside itself. The types come from kvx_abi.h; nothing here links the library.
#pragma once
#include <dlfcn.h>

#include <string>
#include <vector>

#include "filters/common/kvx_abi.h"

namespace kvx {

// Every exported function once, in lookup order.
#define KVX_FRAMEWORK_FUNCTIONS(X)                                                                  \
  X(DAInit) X(DADeInit) X(DAOpenDocument) X(DACloseDocument) X(DAPreOpenDocument)                   \
  X(DARetrieveDocHandle) X(DAGetHChunker) X(DAGetHFile) X(DAGetFileId) X(DAGetSelection)            \
  X(DAGetOLEObject) X(DAGetObjectLocator) X(DAGetExceptionError) X(DAGetOption) X(DASetOption)      \
  X(DACreateModuleData) X(DALockModuleData) X(DAUnlockModuleData) X(DADestroyModuleData)            \
  X(EXOpenExport) X(EXRunExport) X(EXCloseExport) X(EXDoCallback)                                   \
  X(CHGetItem) X(CHGetItems) X(CHGetItemId) X(CHGetItemCount) X(CHNextItemId) X(CHPrevItemId)       \
  X(CHLockItemRange) X(CHUnlockItemRange) X(CHGetSectionInfo) X(CHGetFilter)                        \
  X(IOOpen) X(IOCreate)                                                                             \
  X(UTGetString) X(UTCreateMap) X(UTMapCharRtn) X(UTReleaseMap) X(UTGetUnknownCharSet)              \
  X(UTCharSetFromName) X(UTIsLeadByte) X(UTMultiToDoubleByte) X(UTwstrlen) X(UTwstrcpy)             \
  X(UTwstrcat) X(UTwstrcmp) X(UTGetFileNameFromPath) X(UTGetWideFileNameFromPath)                   \
  X(KVXBlockAlloc) X(KVXBlockReAlloc) X(KVXBlockLock) X(KVXBlockUnlock) X(KVXBlockFree)             \
  X(KVXBlockSize) X(KVXBlockLiveCount) X(KVXBlockFailAfter)                                         \
  X(GAPInitGADataDU) X(GAPDeinitGADataDU) X(GAPGetDrawingFrame) X(GAPMetafileToHandle)                  \
  X(GAPMetafileToDevice) X(GAPMetafileToContext) X(GABitmapToDeviceNP) X(GARetrieveContextDeviceNP)     \
  X(KVXTestFailCall) X(KVXLiveHandleCount) X(KVXTestStringMode)

// One member per function, by its own name; null until bound.
struct FrameworkFunctions {
#define KVX_FRAMEWORK_MEMBER(name) decltype(&::name) name = nullptr;
  KVX_FRAMEWORK_FUNCTIONS(KVX_FRAMEWORK_MEMBER)
#undef KVX_FRAMEWORK_MEMBER
};

// Looks every function up in a library opened with dlopen and fills f; returns the names
// of those the library lacks, in lookup order (empty: all found).
inline std::vector<std::string> framework_bind(void* handle, FrameworkFunctions& f) {
  std::vector<std::string> missing;
#define KVX_FRAMEWORK_BIND(name)                                          \
  f.name = reinterpret_cast<decltype(f.name)>(::dlsym(handle, #name));  \
  if (f.name == nullptr) missing.push_back(#name);
  KVX_FRAMEWORK_FUNCTIONS(KVX_FRAMEWORK_BIND)
#undef KVX_FRAMEWORK_BIND
  return missing;
}

}  // namespace kvx
