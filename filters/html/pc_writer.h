// The output text writer of the HTML export filter: every byte that pagecast puts into an
// output file goes through WriteOutputText, which converts 8-bit or 16-bit source text
// into the export's output form (8-bit, 16-bit either byte order, UTF-8) in bounded chunks
// and writes it through the framework IO object. Used by the export engine (template text,
// the error page) and by the element side.
#pragma once
#include <cstdint>
#include <string>

#include "filters/common/kvx_abi.h"

namespace pc {

// OutputTextKind bits.
constexpr uint16_t kKindWide = 0x0001;
constexpr uint16_t kKindUtf8 = 0x2000;
constexpr uint16_t kKindLittle = 0x8000;
constexpr uint16_t kKind8 = 0;
constexpr uint16_t kKindBE = 0x0001;
constexpr uint16_t kKindBE2 = 0x4001;  // big-endian as the export engine names it
constexpr uint16_t kKindLE = 0x8001;
constexpr uint16_t kKindUTF8 = 0xA001;

// Characters per chunk and bytes of the staging buffer.
constexpr uint32_t kChunkChars = 8191;
constexpr uint32_t kStageBytes = 16384;

// Two kinds name the same form when bits 0, 13 and 15 agree (0x4001 is 0x0001).
inline uint16_t kind_bits(uint16_t k) { return uint16_t(k & (kKindWide | kKindUtf8 | kKindLittle)); }

// Writes a zero-terminated text (8-bit, or 16-bit units in memory order by sourceKind)
// into out in outputKind. written gets the bytes that reached the file. 47 when the file
// took a different count than it was given; another nonzero write status is passed on.
KVXSTATUS WriteOutputText(KVXIO* out, const void* text, uint16_t sourceKind, uint16_t outputKind, uint32_t* written);

// The same for a counted text (no terminator needed); count is bytes (8-bit) or units.
KVXSTATUS write_counted(KVXIO* out, const void* text, uint32_t count, uint16_t sourceKind, uint16_t outputKind,
                        uint32_t* written);

// The same for host-order 16-bit units.
KVXSTATUS write_units(KVXIO* out, const std::u16string& units, uint16_t outputKind);
// 8-bit text (tags, numbers, names).
KVXSTATUS write_text8(KVXIO* out, const std::string& text, uint16_t outputKind);

}  // namespace pc
