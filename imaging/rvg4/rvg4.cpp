// The exported filter record of librvg4.so (rvg4.h): DllGetFilterInfo, the two openers
// and the pipe functions, thin C wrappers over the codec objects of g4_codec.h. The
// pipe owns its transfer buffer and codec and hands both to the codec; every call
// checks its arguments, and no exception leaves the library.
#include "imaging/rvg4/rvg4.h"

#include <new>

#include "imaging/rvg4/g4_codec.h"

namespace {

using qm::rvg4::kTransferSize;
static_assert(kTransferSize == RVG4_BUFFER_SIZE);

// The codec's way to the host: hand over or fetch coded bytes through Transfer.
int32_t transfer(void* context, unsigned char* data, int32_t size) {
  auto* pipe = static_cast<FilterPipe*>(context);
  return pipe->stream->Transfer(pipe->stream, data, size);
}

bool usable(const FilterParams* params) {
  return params && params->stream && params->stream->Transfer && params->width >= 1 &&
         params->width <= RVG4_MAX_WIDTH && params->bytesPerRow >= (params->width + 7) / 8;
}

void free_pipe(FilterPipe* pipe) {
  delete pipe->codec;
  delete[] pipe->buffer;
  delete pipe;
}

// Rows in byteCount, or 0 when the call is unusable.
int32_t whole_rows(const FilterPipe* pipe, const void* rows, int32_t byteCount) {
  if (!pipe || !rows || byteCount <= 0) return 0;
  return byteCount / pipe->bytesPerRow;
}

int32_t no_rows(FilterPipe*, const void*, int32_t) { return 0; }
int32_t no_rows_read(FilterPipe*, void*, int32_t) { return 0; }

int32_t encoder_write(FilterPipe* pipe, const void* rows, int32_t byteCount) {
  int32_t count = whole_rows(pipe, rows, byteCount);
  if (count == 0) return 0;
  try {
    // The encoder only reads the rows.
    int32_t done = pipe->codec->Process(static_cast<unsigned char*>(const_cast<void*>(rows)), count,
                                        pipe->bytesPerRow);
    return done * pipe->bytesPerRow;
  } catch (...) {
    return 0;
  }
}

int32_t encoder_close(FilterPipe* pipe) {
  if (!pipe) return -1;
  int32_t handed;
  try {
    handed = pipe->codec->Finish();
  } catch (...) {
    handed = -1;
  }
  free_pipe(pipe);
  return handed;
}

int32_t decoder_read(FilterPipe* pipe, void* rows, int32_t byteCount) {
  int32_t count = whole_rows(pipe, rows, byteCount);
  if (count == 0) return 0;
  try {
    return pipe->codec->Process(static_cast<unsigned char*>(rows), count, pipe->bytesPerRow) * pipe->bytesPerRow;
  } catch (...) {
    return 0;
  }
}

int32_t decoder_close(FilterPipe* pipe) {
  if (!pipe) return -1;
  free_pipe(pipe);
  return 0;
}

// A pipe with its buffer and codec, or null (everything made so far freed).
FilterPipe* make_pipe(const FilterParams* params, bool encoder) {
  auto* pipe = new (std::nothrow) FilterPipe{};
  if (!pipe) return nullptr;
  pipe->stream = params->stream;
  pipe->width = params->width;
  pipe->bytesPerRow = params->bytesPerRow;
  pipe->bufferSize = kTransferSize;
  pipe->buffer = new (std::nothrow) unsigned char[kTransferSize];
  pipe->codec = encoder ? qm::rvg4::make_encoder(params->width) : qm::rvg4::make_decoder(params->width);
  if (!pipe->buffer || !pipe->codec) {
    free_pipe(pipe);
    return nullptr;
  }
  return pipe;
}

FilterPipe* OpenEncoder(FilterParams* params) {
  if (!usable(params)) return nullptr;
  try {
    FilterPipe* pipe = make_pipe(params, true);
    if (!pipe) return nullptr;
    pipe->ReadRows = no_rows_read;
    pipe->WriteRows = encoder_write;
    pipe->Close = encoder_close;
    pipe->codec->SetCallback(transfer, pipe);
    pipe->codec->SetBuffer(pipe->buffer, pipe->bufferSize);
    if (!pipe->codec->Reset()) {
      free_pipe(pipe);
      return nullptr;
    }
    return pipe;
  } catch (...) {
    return nullptr;
  }
}

FilterPipe* OpenDecoder(FilterParams* params) {
  if (!usable(params)) return nullptr;
  try {
    FilterPipe* pipe = make_pipe(params, false);
    if (!pipe) return nullptr;
    pipe->ReadRows = decoder_read;
    pipe->WriteRows = no_rows;
    pipe->Close = decoder_close;
    // The first fill: what comes back is the data the codec starts with.
    int32_t got = pipe->stream->Transfer(pipe->stream, pipe->buffer, pipe->bufferSize);
    pipe->codec->SetCallback(transfer, pipe);
    pipe->codec->SetBuffer(pipe->buffer, got);
    pipe->codec->Reset();
    return pipe;
  } catch (...) {
    return nullptr;
  }
}

FilterOpeners g_openers = {OpenEncoder, OpenDecoder};
FilterInfo g_info = {"G4", &g_openers};

}  // namespace

extern "C" RVG4_API int32_t DllGetFilterInfo(FilterInfo** out) {
  if (!out) return 0;
  *out = &g_info;
  return 1;
}
