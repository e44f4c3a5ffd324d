// STAND-IN. The setup table each filter file of the pixport32 stand-in keeps, and the
// three setup entry points they all export (pixport_protocol.h). Header-only: each
// filter file has its own table.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "filters/graphics/pixport/pixport_protocol.h"

namespace pixport {

struct Setup {
  IoRoutine routine = nullptr;
  std::map<uint32_t, uint32_t> values;  // setting -> first word
  uint32_t jpeg_quality = 75;
};

inline std::map<uint32_t, Setup>& setups() {
  static std::map<uint32_t, Setup> table;
  return table;
}

inline Setup* find_setup(uint32_t id) {
  auto it = setups().find(id);
  return it == setups().end() ? nullptr : &it->second;
}

// The failure variant named in $PIXPORT_STANDIN_FAIL.
inline bool variant(const char* name) {
  const char* v = std::getenv("PIXPORT_STANDIN_FAIL");
  return v != nullptr && std::strcmp(v, name) == 0;
}

}  // namespace pixport

#define PIXPORT_API extern "C" __attribute__((visibility("default")))

// The setup entry points; settings are logged to $PIXPORT_STANDIN_LOG when it is set.
#define PIXPORT_DEFINE_SETUP_ENTRIES()                                                                  \
  PIXPORT_API uint32_t CreateSetup(uint32_t, uint32_t, uint32_t, uint32_t) {                            \
    static uint32_t next = 1;                                                                           \
    uint32_t id = next++;                                                                               \
    pixport::setups()[id] = pixport::Setup{};                                                           \
    return id;                                                                                          \
  }                                                                                                     \
  PIXPORT_API int32_t EscapeSetup(uint32_t setup, uint32_t setting, uint32_t size, const void* value,   \
                                  uint32_t, uint32_t) {                                                 \
    pixport::Setup* s = pixport::find_setup(setup);                                                     \
    if (s == nullptr || value == nullptr) return -1;                                                    \
    if (setting == pixport::SET_ROUTINE && size == sizeof(pixport::IoRoutine)) {                        \
      std::memcpy(&s->routine, value, sizeof(pixport::IoRoutine));                                      \
      return 0;                                                                                         \
    }                                                                                                   \
    uint32_t words[2] = {0, 0};                                                                         \
    std::memcpy(words, value, size < 8 ? size : 8);                                                     \
    s->values[setting] = words[0];                                                                      \
    if (setting == pixport::SET_JPEG && size >= 8 && words[0] == 242) s->jpeg_quality = words[1];       \
    if (const char* log = std::getenv("PIXPORT_STANDIN_LOG")) {                                         \
      if (std::FILE* f = std::fopen(log, "a")) {                                                        \
        if (setting == pixport::SET_JPEG) std::fprintf(f, "%u=%u,%u\n", setting, words[0], words[1]);   \
        else std::fprintf(f, "%u=%u\n", setting, words[0]);                                             \
        std::fclose(f);                                                                                 \
      }                                                                                                 \
    }                                                                                                   \
    return 0;                                                                                           \
  }                                                                                                     \
  PIXPORT_API int32_t DestroySetup(uint32_t setup) { return pixport::setups().erase(setup) ? 0 : -1; }
