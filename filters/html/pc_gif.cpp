// The spacer and placeholder GIF pictures and the LZW code packer (see pc_gif.h).
#include "pc_gif.h"

#include "filters/graphics/placeholders.h"

namespace pc {

std::vector<uint8_t> PackGifCodes(const std::vector<uint16_t>& codes) {
  std::vector<uint8_t> data;
  uint32_t bits = 0, count = 0, width = 9;
  for (uint16_t code : codes) {
    if (code == kGifWiden) {
      if (width < 12) ++width;
      continue;
    }
    bits |= uint32_t(code) << count;
    count += width;
    while (count >= 8) {
      data.push_back(uint8_t(bits));
      bits >>= 8;
      count -= 8;
    }
    if (code == kGifClear) width = 9;
  }
  if (count > 0) data.push_back(uint8_t(bits));
  std::vector<uint8_t> out;
  for (size_t at = 0; at < data.size(); at += 255) {
    size_t n = data.size() - at < 255 ? data.size() - at : 255;
    out.push_back(uint8_t(n));
    out.insert(out.end(), data.begin() + long(at), data.begin() + long(at + n));
  }
  return out;
}

std::vector<uint8_t> SpacerGif() {
  std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a',
                            1, 0, 1, 0, 0xF0, 1, 0,                 // screen 1 x 1, two colours, background 1
                            0xFF, 0xFF, 0xFF, 0x80, 0x80, 0x80,    // white, gray
                            0x21, 0xF9, 0x04, 0x01, 0, 0, 1, 0,    // transparent index 1
                            0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,       // image 1 x 1 at 0, 0
                            8};                                     // LZW minimum code size
  std::vector<uint8_t> codes = PackGifCodes({kGifClear, 1, 257});
  g.insert(g.end(), codes.begin(), codes.end());
  g.push_back(0);     // block terminator
  g.push_back(0x3B);  // trailer
  return g;
}

}  // namespace pc

extern "C" {

KVX_API KVXSTATUS WriteGIF(KVXIO* output, uint32_t mode) {
  if (output == nullptr) return KVX_OK;
  uint32_t written = 0;
  if (mode == 1) {
    std::vector<uint8_t> g = pc::SpacerGif();
    output->Seek(output, KVXIO_SEEK_SET, 0);
    output->Write(output, g.data(), uint32_t(g.size()), &written);
  } else {
    output->Write(output, gfx::kPlaceholderGif, sizeof gfx::kPlaceholderGif, &written);
  }
  return KVX_OK;
}

}  // extern "C"
