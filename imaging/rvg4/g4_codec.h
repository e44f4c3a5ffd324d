// The codec object behind a G4 filter pipe: a small table of operations (set the
// callback and the buffer, reset to the start of a strip, process rows, finish) with
// an encoder and a decoder behind it, both driving libtiff's Group 4 coder. The pipe
// functions of rvg4.cpp call it; g4_encoder.cpp and g4_decoder.cpp implement it.
#pragma once
#include <cstdint>

namespace qm::rvg4 {

// Moves coded bytes between the codec and the host. Encoder: hands size bytes over and
// returns how many were taken. Decoder: asks for up to size bytes in data and returns
// how many came (0 or less: no more data).
using G4Callback = int32_t (*)(void* context, unsigned char* data, int32_t size);

// Bytes the decoder asks for at a time, and the size of the encoder's output pieces.
constexpr int32_t kTransferSize = 4096;

}  // namespace qm::rvg4

// Named at global scope because the public header declares the pipe's pointer to it.
struct G4Codec {
  virtual ~G4Codec() = default;
  virtual void SetCallback(qm::rvg4::G4Callback callback, void* context) = 0;
  // Encoder: the buffer the coder fills (size bytes). Decoder: the first coded bytes.
  virtual void SetBuffer(unsigned char* data, int32_t size) = 0;
  // Back to the start of a strip (white reference line). False when libtiff cannot be
  // set up.
  virtual bool Reset() = 0;
  // Codes or decodes rowCount rows of stride bytes each; returns the rows done.
  virtual int32_t Process(unsigned char* rows, int32_t rowCount, int32_t stride) = 0;
  // Encoder: ends the strip and hands the rest over; the bytes handed over here, or -1
  // when coded data was lost. Decoder: 0.
  virtual int32_t Finish() { return 0; }
};

namespace qm::rvg4 {

// The codecs for rows of width pixels (1 .. RVG4_MAX_WIDTH); null when memory runs out.
G4Codec* make_encoder(int32_t width);
G4Codec* make_decoder(int32_t width);

}  // namespace qm::rvg4
