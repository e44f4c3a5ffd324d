// IO objects of the framework (see kvx_io.h). Every object that the framework makes
// starts with the KVXIO routine table, carries a reference count (an adopted object is
// shared: each holder closes it once, the last close frees it) and is listed while open.
// Writes to a file collect in a buffer of the object (an export writes its pages a few
// bytes at a time), which goes to the file before any other call on the object and at close.
#include "filters/framework/kvx_io.h"

#include "filters/framework/kvx_charsets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <set>
#include <vector>

namespace kvx {

namespace {

enum class Kind { File, Memory, Redirect };

struct Object {
  KVXIO io;  // first: a KVXIO* is an Object*
  Kind kind = Kind::File;
  uint32_t refs = 1;
  uint32_t spec_type = 0;
  int fd = -1;
  bool writable = false;        // created: writes are buffered
  bool write_failed = false;    // a buffered write did not reach the file
  std::string pending;          // written bytes not yet in the file
  std::string name8;            // spec 2: the bytes of the path
  std::vector<uint16_t> name16; // spec 4: the UTF-16 path
  std::string data;             // memory
  size_t pos = 0;
  KVXIO* inner = nullptr;       // redirect
};

std::set<Object*>& live() {
  static std::set<Object*> s;
  return s;
}

Object* ours(KVXIO* io) {
  auto* o = reinterpret_cast<Object*>(io);
  return live().count(o) ? o : nullptr;
}

constexpr size_t kWriteBuffer = 64 * 1024;

// Writes all bytes to the descriptor; false when it takes fewer.
bool write_fd(int fd, const char* bytes, size_t count, size_t* done) {
  size_t n = 0;
  while (n < count) {
    ssize_t w = ::write(fd, bytes + n, count - n);
    if (w <= 0) break;
    n += size_t(w);
  }
  if (done) *done = n;
  return n == count;
}

// The buffered bytes to the file; false (and every later write refused) when they do not
// all get there.
bool flush(Object* o) {
  if (o->pending.empty()) return !o->write_failed;
  if (!write_fd(o->fd, o->pending.data(), o->pending.size(), nullptr)) o->write_failed = true;
  o->pending.clear();
  return !o->write_failed;
}

KVXSTATUS do_close(KVXIO* io) {
  Object* o = ours(io);
  if (o == nullptr) return KVXERR_BADHANDLE;
  if (--o->refs > 0) return KVX_OK;
  KVXSTATUS st = KVX_OK;
  if (o->fd >= 0 && !flush(o)) st = KVXERR_SHORTWRITE;
  if (o->fd >= 0 && ::close(o->fd) != 0) st = KVXERR_SHORTWRITE;
  live().erase(o);
  delete o;
  return st;
}

KVXSTATUS do_read(KVXIO* io, void* buffer, uint32_t count, uint32_t* got) {
  Object* o = ours(io);
  if (got) *got = 0;
  if (o == nullptr) return KVXERR_BADHANDLE;
  if (count > 0 && buffer == nullptr) return KVXERR_BADPARAM;
  if (o->kind == Kind::Redirect) return o->inner->Read(o->inner, buffer, count, got);
  size_t n = 0;
  if (o->kind == Kind::Memory) {
    n = o->pos < o->data.size() ? std::min<size_t>(count, o->data.size() - o->pos) : 0;
    std::memcpy(buffer, o->data.data() + o->pos, n);
    o->pos += n;
  } else {
    if (!flush(o)) return KVXERR_OPENFAILED;
    while (n < count) {
      ssize_t r = ::read(o->fd, static_cast<char*>(buffer) + n, count - n);
      if (r < 0) return KVXERR_OPENFAILED;
      if (r == 0) break;
      n += size_t(r);
    }
  }
  if (got) *got = uint32_t(n);
  return n == 0 && count > 0 ? KVXIO_EOF : KVX_OK;
}

KVXSTATUS do_write(KVXIO* io, const void* buffer, uint32_t count, uint32_t* written) {
  Object* o = ours(io);
  if (written) *written = 0;
  if (o == nullptr) return KVXERR_BADHANDLE;
  if (count > 0 && buffer == nullptr) return KVXERR_BADPARAM;
  if (o->kind == Kind::Redirect) return o->inner->Write(o->inner, buffer, count, written);
  if (o->kind == Kind::Memory) return KVXERR_UNSUPPORTED;
  const char* bytes = static_cast<const char*>(buffer);
  if (o->writable && !o->write_failed && o->pending.size() + count <= kWriteBuffer) {
    o->pending.append(bytes, count);
    if (written) *written = count;
    return KVX_OK;
  }
  if (!flush(o)) return KVXERR_SHORTWRITE;
  size_t n = 0;
  if (o->writable && count < kWriteBuffer) {
    o->pending.assign(bytes, count);
    n = count;
  } else {
    write_fd(o->fd, bytes, count, &n);
  }
  if (written) *written = uint32_t(n);
  return n == count ? KVX_OK : KVXERR_SHORTWRITE;
}

KVXSTATUS do_seek(KVXIO* io, uint32_t origin, int32_t offset) {
  Object* o = ours(io);
  if (o == nullptr) return KVXERR_BADHANDLE;
  if (o->kind == Kind::Redirect) return o->inner->Seek(o->inner, origin, offset);
  if (origin > KVXIO_SEEK_END) return KVXERR_BADPARAM;
  if (o->kind == Kind::File && !flush(o)) return KVXERR_BADPARAM;
  if (o->kind == Kind::Memory) {
    long long base = origin == KVXIO_SEEK_SET ? 0 : origin == KVXIO_SEEK_CUR ? (long long)o->pos : (long long)o->data.size();
    long long to = base + offset;
    if (to < 0) return KVXERR_BADPARAM;
    o->pos = size_t(to);
    return KVX_OK;
  }
  int whence = origin == KVXIO_SEEK_SET ? SEEK_SET : origin == KVXIO_SEEK_CUR ? SEEK_CUR : SEEK_END;
  off_t to = ::lseek(o->fd, offset, whence);
  if (to < 0 || to > INT32_MAX) return KVXERR_BADPARAM;
  return KVX_OK;
}

KVXSTATUS do_tell(KVXIO* io, uint32_t* position) {
  Object* o = ours(io);
  if (o == nullptr) return KVXERR_BADHANDLE;
  if (position == nullptr) return KVXERR_BADPARAM;
  if (o->kind == Kind::Redirect) return o->inner->Tell(o->inner, position);
  if (o->kind == Kind::Memory) {
    *position = uint32_t(o->pos);
    return KVX_OK;
  }
  if (!flush(o)) return KVXERR_BADPARAM;
  off_t at = ::lseek(o->fd, 0, SEEK_CUR);
  if (at < 0 || at > UINT32_MAX) return KVXERR_BADPARAM;
  *position = uint32_t(at);
  return KVX_OK;
}

template <class Unit>
size_t last_component(const std::vector<Unit>& name) {
  size_t start = 0;
  for (size_t i = 0; i < name.size(); ++i)
    if (name[i] == Unit('/')) start = i + 1;
  return start;
}

KVXSTATUS do_get_info(KVXIO* io, uint32_t id, void* out) {
  Object* o = ours(io);
  if (o == nullptr) return KVXERR_BADHANDLE;
  if (out == nullptr) return KVXERR_BADPARAM;
  if (o->kind == Kind::Redirect && id != KVXIOINFO_SPECTYPE) return o->inner->GetInfo(o->inner, id, out);
  if (o->kind == Kind::File) flush(o);  // whoever asks may look at the file itself
  switch (id) {
    case KVXIOINFO_FILENAME:
    case KVXIOINFO_RELATIVESPEC: {
      if (o->kind == Kind::Memory) return KVXERR_UNSUPPORTED;
      if (o->spec_type == KVXSPEC_WIDEPATH) {
        size_t from = id == KVXIOINFO_RELATIVESPEC ? last_component(o->name16) : 0;
        size_t n = std::min<size_t>(o->name16.size() - from, KVXIO_NAMEMAX - 1);
        auto* w = static_cast<uint16_t*>(out);
        std::copy_n(o->name16.begin() + long(from), n, w);
        w[n] = 0;
      } else {
        std::vector<char> v(o->name8.begin(), o->name8.end());
        size_t from = id == KVXIOINFO_RELATIVESPEC ? last_component(v) : 0;
        size_t n = std::min<size_t>(v.size() - from, KVXIO_NAMEMAX - 1);
        auto* c = static_cast<char*>(out);
        std::memcpy(c, o->name8.data() + from, n);
        c[n] = '\0';
      }
      return KVX_OK;
    }
    case KVXIOINFO_SIZE: {
      uint32_t size = 0;
      if (o->kind == Kind::Memory) {
        size = uint32_t(o->data.size());
      } else {
        struct stat st {};
        if (::fstat(o->fd, &st) != 0 || st.st_size > UINT32_MAX) return KVXERR_BADPARAM;
        size = uint32_t(st.st_size);
      }
      std::memcpy(out, &size, 4);
      return KVX_OK;
    }
    case KVXIOINFO_SPECTYPE:
      std::memcpy(out, &o->spec_type, 4);
      return KVX_OK;
    default:
      return KVXERR_UNSUPPORTED;
  }
}

Object* make(Kind kind, uint32_t spec_type) {
  auto* o = new Object;
  o->io = {do_close, do_read, do_write, do_seek, do_tell, do_get_info};
  o->kind = kind;
  o->spec_type = spec_type;
  live().insert(o);
  return o;
}

// Opens a file named by spec type 2 or 4; regular_only (reading) refuses anything but a
// regular file, opened without waiting so that a FIFO cannot hold the caller.
KVXSTATUS open_path(KVXIO** out, uint32_t spec_type, const void* spec, bool create, bool regular_only) {
  std::string path;
  std::vector<uint16_t> wide;
  if (spec_type == KVXSPEC_PATH) {
    path = static_cast<const char*>(spec);
  } else {
    auto* w = static_cast<const uint16_t*>(spec);
    for (size_t i = 0; w[i] != 0; ++i) wide.push_back(w[i]);
    if (!utf16_to_utf8(w, path)) return create ? KVXERR_CREATEFAILED : KVXERR_OPENFAILED;
  }
  if (path.empty()) return create ? KVXERR_CREATEFAILED : KVXERR_OPENFAILED;
  regular_only = regular_only && !create;
  int fd = create ? ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                  : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (regular_only ? O_NONBLOCK : 0));
  if (fd < 0) return create ? KVXERR_CREATEFAILED : KVXERR_OPENFAILED;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (regular_only && !S_ISREG(st.st_mode)) ||
      (regular_only && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)) {
    ::close(fd);
    return create ? KVXERR_CREATEFAILED : KVXERR_OPENFAILED;
  }
  Object* o = make(Kind::File, spec_type);
  o->fd = fd;
  o->writable = create;
  o->name8 = spec_type == KVXSPEC_PATH ? path : std::string();
  o->name16 = wide;
  *out = &o->io;
  return KVX_OK;
}

KVXSTATUS open_any(KVXIO** out, uint32_t spec_type, const void* spec, bool create, uint32_t flags = 0) {
  if (out == nullptr) return KVXERR_BADPARAM;
  *out = nullptr;
  if (spec == nullptr) return KVXERR_BADPARAM;
  switch (spec_type) {
    case KVXSPEC_PATH:
    case KVXSPEC_WIDEPATH:
      return open_path(out, spec_type, spec, create, (flags & KVXIO_OPEN_REGULAR) != 0);
    case KVXSPEC_IOOBJECT: {
      auto* given = const_cast<KVXIO*>(static_cast<const KVXIO*>(spec));
      if (Object* o = ours(given)) ++o->refs;
      *out = given;
      return KVX_OK;
    }
    case KVXSPEC_REDIRECT: {
      auto* r = static_cast<const KVXREDIRECTSPEC*>(spec);
      if (r->Magic != KVXREDIRECT_MAGIC || r->Object == nullptr) return KVXERR_BADPARAM;
      Object* o = make(Kind::Redirect, KVXSPEC_REDIRECT);
      o->inner = r->Object;
      *out = &o->io;
      return KVX_OK;
    }
    case KVXSPEC_MEMORY: {
      if (create) return KVXERR_UNSUPPORTED;
      auto* m = static_cast<const KVXMEMORYSPEC*>(spec);
      if (m->Size != sizeof(KVXMEMORYSPEC) || (m->Data == nullptr && m->Length > 0)) return KVXERR_BADPARAM;
      *out = memory_io(std::string(static_cast<const char*>(m->Data), m->Length));
      return KVX_OK;
    }
    default:
      return KVXERR_BADPARAM;
  }
}

}  // namespace

KVXIO* memory_io(const std::string& bytes) {
  Object* o = make(Kind::Memory, KVXSPEC_MEMORY);
  o->data = bytes;
  return &o->io;
}

bool read_all(KVXIO* io, std::string& out, size_t limit) {
  out.clear();
  // A file of ours tells its size, so the bytes are read once, straight into their place.
  size_t hint = 0;
  if (Object* o = ours(io); o != nullptr && o->kind == Kind::File && flush(o)) {
    struct stat st {};
    off_t at = ::lseek(o->fd, 0, SEEK_CUR);
    if (at >= 0 && ::fstat(o->fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > at)
      hint = std::min(size_t(st.st_size - at), limit + 1);
  }
  constexpr size_t kChunk = 65536, kProbe = 4096;
  out.reserve(hint + kProbe);
  size_t n = 0;
  for (;;) {
    size_t room = n < hint ? hint - n : hint > 0 ? kProbe : kChunk;
    out.resize(n + room);
    uint32_t got = 0;
    KVXSTATUS st = io->Read(io, out.data() + n, uint32_t(std::min<size_t>(room, UINT32_MAX)), &got);
    if (st != KVX_OK && st != KVXIO_EOF) {
      out.resize(n);
      return false;
    }
    n += got;
    out.resize(n);
    if (n > limit) return false;
    if (st == KVXIO_EOF || got == 0) return true;
  }
}

uint32_t live_io_count() { return uint32_t(live().size()); }

bool utf16_to_utf8(const uint16_t* w, std::string& out) {
  std::vector<uint16_t> units;
  for (size_t i = 0; w[i] != 0; ++i) units.push_back(w[i]);
  return units_to_utf8(KVXCS_UNICODE, units, out);
}

}  // namespace kvx

extern "C" {

KVXSTATUS IOOpen(KVXIO** out, uint32_t spec_type, const void* spec, uint32_t flags) {
  return kvx::open_any(out, spec_type, spec, false, flags);
}

KVXSTATUS IOCreate(KVXIO** out, uint32_t spec_type, const void* spec, uint32_t /*mode*/) {
  return kvx::open_any(out, spec_type, spec, true);
}

}  // extern "C"
