// The framework's IO objects (IOOpen, IOCreate): files named by 8-bit or UTF-16 paths,
// adopted objects, redirections and read-only memory. Used by the document calls and by
// hosts and filters through the two exported functions.
#pragma once
#include <cstdint>
#include <string>

#include "filters/common/kvx_abi.h"

namespace kvx {

// A read-only object over a copy of bytes (spec type 22, embedded objects).
KVXIO* memory_io(const std::string& bytes);
// Reads the whole object from its current position to the end; false on a read error.
bool read_all(KVXIO* io, std::string& out, size_t limit = size_t(1) << 30);
// Framework-made IO objects now open.
uint32_t live_io_count();
// UTF-16LE text (up to its NUL) as UTF-8; false for an unpaired surrogate.
bool utf16_to_utf8(const uint16_t* text, std::string& out);

}  // namespace kvx
