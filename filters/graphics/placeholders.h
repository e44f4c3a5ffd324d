// The two placeholder pictures that the graphics export writes for a picture that
// cannot be converted, when the host allows it: an 85-byte GIF and a 283-byte JPEG.
#pragma once
#include <cstdint>

#include "filters/common/kvx_abi.h"

namespace gfx {

extern const uint8_t kPlaceholderGif[85];
extern const uint8_t kPlaceholderJpeg[283];

// Seek the output to its start and write the picture; the results are not looked at.
void WritePlaceholderGif(KVXIO* output);
void WritePlaceholderJpeg(KVXIO* output);

}  // namespace gfx
