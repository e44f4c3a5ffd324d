// The writer harness of the HTML writer tests: a writer state over a memory sink (which
// can fail writes from the nth on) and a small option store (field flags, number formats),
// so the writer runs without the template engine.
#pragma once
#include <cstring>
#include <string>

#include "filters/html/pc_markup.h"
#include "filters/html/pc_writer.h"

namespace pc::test {

// An IO object that keeps what is written; it fails every write from the nth on.
struct Sink {
  KVXIO io;
  std::string bytes;
  int writes = 0;
  int fail_from = 0;
};

inline KVXSTATUS sink_write(KVXIO* io, const void* buffer, uint32_t count, uint32_t* written) {
  auto* s = reinterpret_cast<Sink*>(io);
  ++s->writes;
  if (s->fail_from > 0 && s->writes >= s->fail_from) {
    *written = 0;
    return KVX_OK;
  }
  s->bytes.append(static_cast<const char*>(buffer), count);
  *written = count;
  return KVX_OK;
}

// The writer harness: state, memory sink and option store.
struct Harness {
  Sink sink{};
  WriterState s;
  uint32_t fieldFlags = 0;
  uint32_t flavourOption = 11, writerFlags = 0, noBreaks = 0;
  bool haveFlavour = true;
  KVXNUMBERFORMATS nf{};
  bool haveFormats = true;
  explicit Harness(uint32_t flavour, uint32_t writerFlags = 0) {
    sink.io.Write = sink_write;
    s.output = &sink.io;
    s.outputKind = kKind8;
    ConfigureFlavour(s.flavour, flavour, writerFlags);
    nf.DateSeparator = '/';
    nf.TimeSeparator = ':';
    s.getOption = [this](uint32_t id, void* buffer, uint32_t* size) -> KVXSTATUS {
      if ((id == KVXOPT_FLAVOR && haveFlavour) || id == KVXOPT_WRITERFLAGS || id == KVXOPT_33) {
        uint32_t v = id == KVXOPT_FLAVOR ? flavourOption : id == KVXOPT_WRITERFLAGS ? this->writerFlags : noBreaks;
        std::memcpy(buffer, &v, 4);
        return KVX_OK;
      }
      if (id == KVXOPT_FIELDFLAGS && *size >= 4) {
        std::memcpy(buffer, &fieldFlags, 4);
        return KVX_OK;
      }
      if (id == KVXOPT_NUMBERFORMATS && haveFormats && *size >= sizeof nf) {
        std::memcpy(buffer, &nf, sizeof nf);
        return KVX_OK;
      }
      return KVXERR_BADPARAM;
    };
  }
  const std::string& out() const { return sink.bytes; }
};

}  // namespace pc::test
