// picview's stream layer: file streams (POSIX files, reads and writes of at most 32 KiB
// per call, single bytes through a 512-byte buffer) and memory streams over a global
// block (reads in pieces of at most 65,535 bytes, writes of at most 32,000, growth to
// the next whole 256 KiB). Built on img_stream.h and the drawing layer's global memory.
#include "imaging/picview/img_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kFileChunk = 32768;
constexpr uint32_t kMemReadChunk = 65535;
constexpr uint32_t kMemWriteChunk = 32000;
constexpr uint32_t kMemGrowth = 0x40000;

}  // namespace

int32_t ImgFileOpen(const char* path, uint32_t mode, ImgFileStream** out) {
  if (out) *out = nullptr;
  if (!path) return IMG_STREAM_OPEN_FAILED;
  int flags;
  switch (mode) {
    case IMG_FILE_READ:
    case IMG_FILE_TEST: flags = O_RDONLY; break;
    case IMG_FILE_WRITE: flags = O_WRONLY | O_CREAT; break;
    case IMG_FILE_READ_WRITE: flags = O_RDWR | O_CREAT; break;
    case IMG_FILE_CREATE: flags = O_RDWR | O_CREAT | O_TRUNC; break;
    default: return IMG_STREAM_OPEN_FAILED;
  }
  int fd = ::open(path, flags | O_CLOEXEC, 0666);
  if (fd < 0) return IMG_STREAM_OPEN_FAILED;
  if (mode == IMG_FILE_TEST) {
    ::close(fd);
    return IMG_STREAM_OK;
  }
  auto* s = new (std::nothrow) ImgFileStream;
  if (!s) {
    ::close(fd);
    return IMG_STREAM_NO_MEMORY;
  }
  s->fd = fd;
  if (out) *out = s;
  else ImgFileClose(s);
  return IMG_STREAM_OK;
}

uint32_t ImgFileRead(ImgFileStream* s, void* data, uint32_t bytes) {
  auto* p = static_cast<uint8_t*>(data);
  uint32_t done = std::min(bytes, s->buffered - s->taken);
  std::memcpy(p, s->buffer + s->taken, done);
  s->taken += done;
  while (done < bytes) {
    uint32_t want = std::min(bytes - done, kFileChunk);
    ssize_t n = ::read(s->fd, p + done, want);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) done += uint32_t(n);
    if (n < ssize_t(want)) {
      s->error = kImgStreamIoError;
      break;
    }
  }
  return done;
}

uint32_t ImgFileWrite(ImgFileStream* s, const void* data, uint32_t bytes) {
  if (s->taken < s->buffered) ImgFileSeek(s, 0, SEEK_CUR);  // write where the reader stands
  const auto* p = static_cast<const uint8_t*>(data);
  uint32_t done = 0;
  while (done < bytes) {
    uint32_t want = std::min(bytes - done, kFileChunk);
    ssize_t n = ::write(s->fd, p + done, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      s->error = kImgStreamIoError;
      break;
    }
    done += uint32_t(n);
  }
  return done;
}

int32_t ImgFileGetByte(ImgFileStream* s) {
  if (s->taken == s->buffered) {
    ssize_t n;
    do n = ::read(s->fd, s->buffer, sizeof s->buffer);
    while (n < 0 && errno == EINTR);
    s->buffered = n > 0 ? uint32_t(n) : 0;
    s->taken = 0;
    if (n <= 0) {
      s->error = kImgStreamIoError;
      return -1;
    }
  }
  return s->buffer[s->taken++];
}

int64_t ImgFileSeek(ImgFileStream* s, int64_t offset, int whence) {
  // Bytes read ahead into the buffer but not handed out lie behind the reader.
  if (whence == SEEK_CUR) offset -= int64_t(s->buffered - s->taken);
  s->buffered = s->taken = 0;
  off_t r = ::lseek(s->fd, off_t(offset), whence);
  return r < 0 ? -1 : int64_t(r);
}

const char* ImgFileErrorText(const ImgFileStream*) { return "Error reading/writing to file."; }

void ImgFileClose(ImgFileStream* s) {
  if (!s) return;
  if (s->fd >= 0) ::close(s->fd);
  delete s;
}

int32_t ImgMemOpen(ImgMemStream* desc, uint32_t mode, ImgMemStream** out) {
  if (out) *out = nullptr;
  if (!desc) return IMG_STREAM_OPEN_FAILED;
  if (mode == IMG_FILE_TEST) return (desc->flags & IMG_MEM_EXISTS) ? IMG_STREAM_OK : IMG_STREAM_OPEN_FAILED;
  ImgMemStream* s = desc;
  if (!(desc->flags & IMG_MEM_USE_DESCRIPTOR)) {
    s = new (std::nothrow) ImgMemStream(*desc);
    if (!s) return IMG_STREAM_NO_MEMORY;
  }
  s->current = s->base;
  if (out) *out = s;
  return IMG_STREAM_OK;
}

uint32_t ImgMemRead(ImgMemStream* s, void* data, uint32_t bytes) {
  auto* p = static_cast<uint8_t*>(data);
  uint32_t pos = uint32_t(s->current - s->base);
  uint32_t left = s->used > pos ? s->used - pos : 0;
  uint32_t total = std::min(bytes, left), done = 0;
  while (done < total) {
    uint32_t piece = std::min(total - done, kMemReadChunk);
    std::memcpy(p + done, s->current, piece);
    s->current += piece;
    done += piece;
  }
  return done;
}

int64_t ImgMemSeek(ImgMemStream* s, int64_t offset, int whence) {
  int64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(s->current - s->base) : int64_t(s->used);
  int64_t pos = from + offset;
  if (s->flags == 0 && pos > int64_t(s->allocated) - 1) pos = int64_t(s->allocated) - 1;
  if (pos < 0) pos = 0;
  s->current = s->base + pos;
  return pos;
}

uint32_t ImgMemWrite(ImgMemStream* s, const void* data, uint32_t bytes) {
  uint64_t pos = uint64_t(s->current - s->base);
  uint64_t need = pos + bytes;
  if (need > s->allocated) {
    uint64_t grown = (need / kMemGrowth + 1) * kMemGrowth;
    HGLOBAL h = grown <= 0x7FFFFFFF && s->global ? GlobalReAlloc(s->global, size_t(grown), GMEM_MOVEABLE) : nullptr;
    auto* base = h ? static_cast<uint8_t*>(GlobalLock(h)) : nullptr;
    if (!base) {  // a failed growth empties the stream
      s->used = 0;
      s->current = s->base;
      return 0;
    }
    if (s->global) GlobalUnlock(h);  // keep one lock: the stream's
    s->global = h;
    s->base = base;
    s->allocated = uint32_t(grown);
    s->current = base + pos;
  }
  const auto* p = static_cast<const uint8_t*>(data);
  uint32_t done = 0;
  while (done < bytes) {
    uint32_t piece = std::min(bytes - done, kMemWriteChunk);
    std::memcpy(s->current, p + done, piece);
    s->current += piece;
    done += piece;
  }
  uint32_t now = uint32_t(s->current - s->base);
  if (now > s->used) s->used = now;
  return done;
}

void ImgMemClose(ImgMemStream* s, ImgMemStream* desc) {
  if (!s) return;
  if (s != desc) {
    if (desc) {  // the caller's descriptor learns where the block went
      desc->base = s->base;
      desc->allocated = s->allocated;
      desc->used = s->used;
      desc->global = s->global;
    }
    delete s;
  }
}
