// picview's stream layer: file streams with a 512-byte read buffer, and memory streams
// over a global block that grows in steps of 256 KiB. Kept as the image library has it,
// though no Img operation reads through it. Built on POSIX files and the drawing layer's
// global memory.
#pragma once
#include <cstdint>

#include "platform/gdi/qmgdi.h"

// Results of the open calls.
enum : int32_t { IMG_STREAM_OK = 1, IMG_STREAM_OPEN_FAILED = 4, IMG_STREAM_NO_MEMORY = 6 };
// Error state of a stream after a short read or a failed write.
constexpr int32_t kImgStreamIoError = 3;

// File open modes.
enum : uint32_t {
  IMG_FILE_READ = 0,            // shared read, the file must exist
  IMG_FILE_WRITE = 1,           // write, created when missing
  IMG_FILE_READ_WRITE = 2,      // read and write, created when missing
  IMG_FILE_CREATE = 0x1000,     // read and write, emptied or created
  IMG_FILE_TEST = 0x4000,       // only test that the file opens for reading
};

struct ImgFileStream {
  int fd = -1;
  int32_t error = 0;
  uint8_t buffer[512];
  uint32_t buffered = 0;  // bytes in the buffer
  uint32_t taken = 0;     // of those, already handed out
};

int32_t ImgFileOpen(const char* path, uint32_t mode, ImgFileStream** out);
uint32_t ImgFileRead(ImgFileStream* s, void* data, uint32_t bytes);
uint32_t ImgFileWrite(ImgFileStream* s, const void* data, uint32_t bytes);
// One byte through the read buffer; -1 at the end (error state 3).
int32_t ImgFileGetByte(ImgFileStream* s);
// Moves the position (whence 0 start, 1 current, 2 end); empties the read buffer.
int64_t ImgFileSeek(ImgFileStream* s, int64_t offset, int whence);
const char* ImgFileErrorText(const ImgFileStream* s);
void ImgFileClose(ImgFileStream* s);

// Memory stream flags.
enum : uint32_t {
  IMG_MEM_EXISTS = 0x2,          // the answer of an existence test
  IMG_MEM_USE_DESCRIPTOR = 0x4,  // open works on the caller's descriptor itself
};

struct ImgMemStream {
  uint8_t* base = nullptr;
  uint32_t allocated = 0;
  uint32_t used = 0;
  uint8_t* current = nullptr;
  HGLOBAL global = nullptr;  // locked while the stream uses it
  uint32_t flags = 0;
};

// Opens a stream over desc's block (mode IMG_FILE_TEST: only answers IMG_MEM_EXISTS).
int32_t ImgMemOpen(ImgMemStream* desc, uint32_t mode, ImgMemStream** out);
uint32_t ImgMemRead(ImgMemStream* s, void* data, uint32_t bytes);
uint32_t ImgMemWrite(ImgMemStream* s, const void* data, uint32_t bytes);
int64_t ImgMemSeek(ImgMemStream* s, int64_t offset, int whence);
void ImgMemClose(ImgMemStream* s, ImgMemStream* desc);
