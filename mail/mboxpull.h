// The mail-store library mboxpull as its callers see it: the flat entry points of
// libmboxpull.so, which the mail gateway (mail/postbridge/) and the desktop load at run
// time by the name "mboxpull.dll" (platform/dynlib.h makes it libmboxpull.so), and the
// buffer sizes they pass. Results are 32-bit; 0 is success except for GetFolderName.
// Text is 8-bit (Big5 or ASCII), NUL-terminated. One caller thread, one store at a time.
//
// Order of calls: Login; then ListFolder for index 0, 1, ... until it gives nonzero, or
// PrepareGetMsg with a folder key and then, per message, CurrMsgLen, EnumMsg and
// EnumAttach/SaveAttach for each attachment; Logoff at the end.
#pragma once
#include <cstdint>

#define QM_MBOXPULL_API __attribute__((visibility("default")))

extern "C" {

// Opens the store; 0 when it exists. The second argument is never written through.
QM_MBOXPULL_API int32_t Login(int32_t flags, void* unused);
// Closes the folder and the store; 0.
QM_MBOXPULL_API int32_t Logoff(void);
// Folder number index of the store: its key into key and its display name into name,
// each at most 1,023 bytes and a NUL. 0 while such a folder exists.
QM_MBOXPULL_API int32_t ListFolder(int32_t index, char* key, char* name);
// Opens the folder with that key for reading its messages from the first; 0 when ready,
// -1 when there is no such folder or it cannot be read.
QM_MBOXPULL_API int32_t PrepareGetMsg(const char* key, int32_t flags);
// The body length of the message the next EnumMsg delivers; 0 at the end.
QM_MBOXPULL_API int32_t CurrMsgLen(void);
// Delivers the next message: subject (at most 80 bytes and a NUL), sender (256 and a NUL),
// date as its header text (80 and a NUL) and at most length bytes of the body (no NUL
// added). 0 when a message was delivered, 1 at the end of the folder.
QM_MBOXPULL_API int32_t EnumMsg(char* subject, char* sender, char* date, char* body, int32_t length);
// The next attachment of the message EnumMsg delivered last: its handle into *handle and
// its file name into name (at most 260 bytes and a NUL). 0 for each attachment, 1 when
// there is no further one.
QM_MBOXPULL_API int32_t EnumAttach(int32_t* handle, char* name);
// Writes the decoded bytes of that attachment to the file at path (created or truncated;
// a symbolic link there is not followed). 0 when written.
QM_MBOXPULL_API int32_t SaveAttach(int32_t handle, const char* path);
// The short name of the folder with that key into name (at most 260 bytes and a NUL);
// nonzero when found, 0 otherwise.
QM_MBOXPULL_API int32_t GetFolderName(const char* key, char* name);
}

namespace qm::mail {

// The library's name as its callers load it.
inline constexpr char kMboxpullLibrary[] = "mboxpull.dll";

// Buffer sizes the callers give, the NUL included.
inline constexpr int kMboxSubjectBuffer = 81;
inline constexpr int kMboxSenderBuffer = 257;
inline constexpr int kMboxDateBuffer = 81;
inline constexpr int kMboxFolderBuffer = 1024;
inline constexpr int kMboxNameBuffer = 261;

using LoginFn = int32_t (*)(int32_t, void*);
using LogoffFn = int32_t (*)();
using ListFolderFn = int32_t (*)(int32_t, char*, char*);
using PrepareGetMsgFn = int32_t (*)(const char*, int32_t);
using CurrMsgLenFn = int32_t (*)();
using EnumMsgFn = int32_t (*)(char*, char*, char*, char*, int32_t);
using EnumAttachFn = int32_t (*)(int32_t*, char*);
using SaveAttachFn = int32_t (*)(int32_t, const char*);
using GetFolderNameFn = int32_t (*)(const char*, char*);

}  // namespace qm::mail
