// The flat functions of libpostbridge.so, for callers that load the library at run time
// (the index builder, pbdrive) and for the library itself. Text is 8-bit (Big5 or
// ASCII), NUL-terminated; results are 32-bit. Order of calls: IG_Init, IG_SetExtraData,
// IG_InitAttachInfo, IG_GetData until it returns 0 (each page given back with
// IG_ClearData, one IG_AppendAttachInfo per attachment section of a page, a closing one
// without a name), then IG_EndAttachInfo.
#pragma once
#include <cstdint>

#define QM_POSTBRIDGE_API __attribute__((visibility("default")))

extern "C" {

// Starts a run over source (a mailbox file, or "Outlook:" and a folder key of the
// mail-store library) writing side files into outdir; 1 when the source opened, 0 otherwise.
QM_POSTBRIDGE_API int32_t IG_Init(const char* source, const char* outdir);
// The next page: *name points to a buffer valid until the next call, *text to a page
// the caller gives back with IG_ClearData. 1 with a message, 0 at the end.
QM_POSTBRIDGE_API int32_t IG_GetData(char** name, char** text);
// Frees *text and sets it to null; always 1.
QM_POSTBRIDGE_API int32_t IG_ClearData(void* ignored, char** text);
// Converter directory, attachments on (nonzero) or off, time-out in seconds, a value kept
// for callers. Attachments off deletes AttachIdx.db and returns 0 when it was deleted;
// on returns attach.
QM_POSTBRIDGE_API int32_t IG_SetExtraData(const char* converter_dir, int32_t attach, int32_t timeout, int32_t extra);
// Starts the attachment table; returns a handle to it (never null).
QM_POSTBRIDGE_API void* IG_InitAttachInfo(void);
// Opens a record for the attachment name starting at number (closing the previous one at
// number - 1); without a name only closes. Returns the record count.
QM_POSTBRIDGE_API int32_t IG_AppendAttachInfo(const char* name, int32_t number);
// Writes AttachInfo.db and frees the table.
QM_POSTBRIDGE_API void IG_EndAttachInfo(void);
}

namespace qm::mail {

// The library's name as configurations give it; platform/dynlib.h makes it libpostbridge.so.
inline constexpr char kPostbridgeLibrary[] = "postbridge.dll";

using IG_InitFn = int32_t (*)(const char*, const char*);
using IG_GetDataFn = int32_t (*)(char**, char**);
using IG_ClearDataFn = int32_t (*)(void*, char**);
using IG_SetExtraDataFn = int32_t (*)(const char*, int32_t, int32_t, int32_t);
using IG_InitAttachInfoFn = void* (*)();
using IG_AppendAttachInfoFn = int32_t (*)(const char*, int32_t);
using IG_EndAttachInfoFn = void (*)();

}  // namespace qm::mail
