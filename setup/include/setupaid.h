// The installer's interface of libsetupaid.so: flat C functions that write the default
// configuration into vesprin.ini, find and start a web browser, keep the uninstall
// command, read the web server's document and script roots and turn the home-page
// templates into pages. Every function takes a window handle (unused), a pointer to a
// 32-bit value and a character buffer of at least 1,024 bytes that carries the input and
// receives the output (cut to 1,023 bytes and a NUL), and returns 1 on success, 0 on
// failure. Implemented in setupaid.cpp over the setup_ modules; quillmere-setup and any
// installer load it with dlopen.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SETUPAID_API __attribute__((visibility("default")))

// Size of the caller's buffer that outputs fill.
#define SETUPAID_BUFFER_SIZE 1024

SETUPAID_API int GetHomePageURL(void* window, uint32_t* value, char* buffer);
SETUPAID_API int WriteDefaultIni(void* window, uint32_t* value, char* buffer);
SETUPAID_API int RunBrowser(void* window, uint32_t* value, char* buffer);
SETUPAID_API int GetBrowser(void* window, uint32_t* value, char* buffer);
SETUPAID_API int ModifyUninstallReg(void* window, uint32_t* value, char* buffer);
SETUPAID_API int GetVirtualDocRoot(void* window, uint32_t* value, char* buffer);
SETUPAID_API int GetVirtualCGIRoot(void* window, uint32_t* value, char* buffer);
SETUPAID_API int GetSysadmURL(void* window, uint32_t* value, char* buffer);
SETUPAID_API int ModifyHomePage(void* window, uint32_t* value, char* buffer);

// Messages (caption and text, Big5 bytes) go to this handler instead of standard error;
// a null handler restores standard error.
typedef void (*SetupaidMessageHandler)(const char* caption, const char* text);
SETUPAID_API void setupaid_set_message_handler(SetupaidMessageHandler handler);

#ifdef __cplusplus
}
#endif
