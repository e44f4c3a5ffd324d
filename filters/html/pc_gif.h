// The small GIF pictures that pagecast writes by itself: the transparent one-pixel spacer
// picture and the placeholder picture of a conversion that failed, and the LZW code packer
// behind the spacer. The placeholder bytes are the graphics export filter's own
// (filters/graphics/placeholders.h), so both filters leave the same picture. Called by the
// picture side (pc_pictures.cpp) and exported as WriteGIF.
#pragma once
#include <cstdint>
#include <vector>

#include "filters/common/kvx_abi.h"

namespace pc {

// Code list entries of the packer: a clear code resets the width to 9 bits; kWiden makes
// the codes after it one bit wider (at most 12).
constexpr uint16_t kGifClear = 256;
constexpr uint16_t kGifWiden = 0xFFFF;

// Packs codes least significant bit first into data sub-blocks of at most 255 bytes, each
// preceded by its length; the last partial byte is written. No block terminator.
std::vector<uint8_t> PackGifCodes(const std::vector<uint16_t>& codes);

// The 45-byte transparent 1 x 1 GIF89a of the spacer picture: a two-colour table, a
// graphic control extension naming index 1 transparent, and the pixel 1.
std::vector<uint8_t> SpacerGif();

}  // namespace pc

extern "C" {
// Mode 1: rewinds the file and writes the spacer GIF; any other mode writes the 85-byte
// placeholder GIF where the file stands. Returns 0; write failures are not reported.
KVX_API KVXSTATUS WriteGIF(KVXIO* output, uint32_t mode);
}
