/* rvg4: the "G4" stream filter, a CCITT Group 4 (T.6) encoder and decoder for bilevel
 * rows. A host gets the filter record with DllGetFilterInfo, opens an encoder or a
 * decoder pipe over its own stream object, moves rows through the pipe and closes it.
 * The library never touches files: every coded byte passes through the host's
 * Transfer function. The coding itself is libtiff's Group 4 codec.
 *
 * Rows are bytesPerRow bytes, pixels most significant bit first, 0 = white,
 * 1 = black; the coded stream is most-significant-bit first. A pipe codes one strip,
 * whose first reference line is white. Calls on one pipe come from one thread at a
 * time; pipes share nothing. */
#ifndef QM_IMAGING_RVG4_H
#define QM_IMAGING_RVG4_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RVG4_API __attribute__((visibility("default")))

/* Size of the pipe's transfer buffer: the encoder hands coded bytes over in pieces of
 * this size, the decoder asks for them in pieces of this size. */
#define RVG4_BUFFER_SIZE 4096

/* Widest row the openers accept, in pixels. */
#define RVG4_MAX_WIDTH 1048576

typedef struct FilterStream FilterStream;
typedef struct FilterPipe FilterPipe;
typedef struct G4Codec G4Codec; /* internal to the library */

/* The host's stream object. The host may put its own state after the first field.
 * Encoder: Transfer hands over byteCount coded bytes and returns how many were taken;
 * fewer than byteCount fails the encoder. Decoder: Transfer asks for up to byteCount
 * (always 4,096) coded bytes in buffer and returns how many it gave; 0 or less means
 * there is no more data. */
struct FilterStream {
  int32_t (*Transfer)(FilterStream* self, void* buffer, int32_t byteCount);
};

/* Built by the host for an opener. */
typedef struct FilterParams {
  int32_t width;       /* pixels per row, 1 .. RVG4_MAX_WIDTH */
  int32_t bytesPerRow; /* at least (width + 7) / 8 */
  FilterStream* stream;
} FilterParams;

/* Returned by an opener; the host calls the first three fields.
 *
 * Encoder: WriteRows codes byteCount / bytesPerRow whole rows and returns the bytes of
 * the rows coded (0 once a Transfer has failed); ReadRows returns 0; Close ends the
 * strip with the end-of-facsimile-block code, hands the rest to Transfer, frees the
 * pipe and returns the number of bytes handed over at close, or -1 when coded data
 * was lost to a failed Transfer.
 *
 * Decoder: ReadRows decodes up to byteCount / bytesPerRow rows into rows and returns
 * their bytes; fewer when the strip ends (its end-of-facsimile-block code, the end of
 * the data, or the first row that does not decode: no row at or after a damaged one
 * is handed out). WriteRows returns 0; Close frees the pipe and returns 0.
 *
 * A byte count of 0 or less, or a null row pointer, gives 0. */
struct FilterPipe {
  int32_t (*ReadRows)(FilterPipe* pipe, void* rows, int32_t byteCount);
  int32_t (*WriteRows)(FilterPipe* pipe, const void* rows, int32_t byteCount);
  int32_t (*Close)(FilterPipe* pipe);
  FilterStream* stream;
  unsigned char* buffer; /* the transfer buffer */
  int32_t bufferSize;    /* RVG4_BUFFER_SIZE */
  G4Codec* codec;
  int32_t width;
  int32_t bytesPerRow;
};

/* Both return the new pipe, or null when the parameters are unusable (no params, no
 * stream or Transfer, width outside 1 .. RVG4_MAX_WIDTH, bytesPerRow too short) or
 * memory runs out. The decoder's opener asks Transfer for the first 4,096 bytes. */
typedef struct FilterOpeners {
  FilterPipe* (*OpenEncoder)(FilterParams* params);
  FilterPipe* (*OpenDecoder)(FilterParams* params);
} FilterOpeners;

typedef struct FilterInfo {
  const char* name; /* "G4" */
  FilterOpeners* openers;
} FilterInfo;

/* Stores the address of the static "G4" filter record in *out; returns 1 (0 when out
 * is null). */
RVG4_API int32_t DllGetFilterInfo(FilterInfo** out);

#ifdef __cplusplus
}
#endif

#endif
