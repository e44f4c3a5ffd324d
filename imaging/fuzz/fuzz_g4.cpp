// libFuzzer target: the Group 4 decoder of the G4 filter. The input's first three bytes
// give the row width (1 to 65,536 pixels, mostly narrow), the row count and the size of
// the host's transfers; the rest is the coded stream, handed over through the decoder's
// callback as a host would. Every row the decoder confirms is taken. Built with clang by
// scripts/fuzz; testsupport/fuzz_replay.cpp runs the committed corpus in CTest.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/rvg4/g4_codec.h"

namespace {

struct Feed {
  const uint8_t* p;
  size_t left;
  int32_t step;
};

int32_t transfer(void* context, unsigned char* data, int32_t size) {
  Feed& f = *static_cast<Feed*>(context);
  size_t n = std::min({f.left, size_t(size), size_t(f.step)});
  std::memcpy(data, f.p, n);
  f.p += n;
  f.left -= n;
  return int32_t(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int32_t width = data[0] & 0x80 ? 1 + ((data[0] & 0x7F) << 9 | data[1] << 1) : 1 + (data[0] << 4 | data[1] >> 4);
  const int32_t rows = 1 + (data[1] & 0x0F) * 64 + data[2] % 64;
  Feed feed{data + 3, size - 3, data[2] & 0x40 ? 1 + data[2] % 97 : qm::rvg4::kTransferSize};
  std::unique_ptr<G4Codec> codec(qm::rvg4::make_decoder(width));
  if (!codec) return 0;
  codec->SetCallback(transfer, &feed);
  std::vector<unsigned char> first(static_cast<size_t>(qm::rvg4::kTransferSize));
  int32_t got = transfer(&feed, first.data(), int32_t(first.size()));
  codec->SetBuffer(first.data(), got);
  if (!codec->Reset()) return 0;
  const int32_t stride = (width + 7) / 8 + (data[2] & 0x80 ? 3 : 0);
  std::vector<unsigned char> out(size_t(stride) * 16);
  for (int32_t done = 0; done < rows;) {
    int32_t n = codec->Process(out.data(), std::min(16, rows - done), stride);
    if (n <= 0) break;
    done += n;
  }
  codec->Finish();
  return 0;
}
