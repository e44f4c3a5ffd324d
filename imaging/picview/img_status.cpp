// The per-thread status record of picview: the last status of the thread's Img calls
// and its message "prefix;text", kept in a 200-byte buffer. A thread gets its record on
// first use and loses it when it ends. Used by every Img operation; read by the callers
// through ImgGetStatus and ImgGetMessage.
#include <cstdio>
#include <cstring>

#include "imaging/picview/img_record.h"

namespace {

struct ThreadStatus {
  int32_t status = IMG_OK;
  char message[200] = {};
};

ThreadStatus& current() {
  thread_local ThreadStatus record;
  return record;
}

}  // namespace

int32_t ImgGetStatus() { return current().status; }

const char* ImgGetMessage() { return current().message; }

void ImgResetStatus() { current().status = IMG_OK; }

void ImgSetError(int32_t status) {
  ThreadStatus& t = current();
  t.status = status;
  // The prefix names the file of a format handler's image; images made from DIBs have
  // none. The library carries no message texts, so nothing follows the ";".
  std::snprintf(t.message, sizeof t.message, "%s;", "Invalid File");
}

const char* ImgStatusText(int32_t status) {
  switch (status) {
    case IMG_OK: return "success";
    case IMG_NO_MEMORY: return "out of memory";
    case IMG_NOT_IMAGE: return "not an image handle";
    case IMG_CANNOT_REDUCE: return "colour reduction not possible";
    case IMG_COPY_METAFILE: return "cannot copy a metafile image";
    case IMG_SOURCE_OUTSIDE: return "source rectangle outside the image";
    case IMG_PIXELS_METAFILE: return "pixel operation on a metafile image";
    case IMG_HANDLER_LACKS_OPERATION: return "the format handler lacks the operation";
    case IMG_STRETCHBLT_FAILED: return "StretchBlt failed";
    case IMG_STRETCHDIBITS_FAILED: return "StretchDIBits failed";
    case IMG_PLAYMETAFILE_FAILED: return "PlayMetaFile failed";
    case IMG_HANDLER_READ_FAILED: return "format handler read failed";
    case IMG_BAD_ARGUMENT: return "bad argument or unusable bitmap";
    default: return "unknown status";
  }
}
