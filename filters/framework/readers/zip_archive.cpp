// libzip's part of the ZIP packages (see zip_archive.h): archives opened from memory,
// entries located by name, encrypted entries told apart from damaged ones, and reading
// capped whatever sizes the headers state. Built into libkvxzip.so (loaded by
// zip_module.cpp) and into the static kvx_core.
#include "filters/framework/readers/zip_archive.h"

#include <zip.h>

#include "filters/common/kvx_abi.h"

namespace {

void* archive_open(const char* data, size_t size) {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(data, size, 0, &err);
  if (src == nullptr) {
    zip_error_fini(&err);
    return nullptr;
  }
  zip_t* z = zip_open_from_source(src, ZIP_RDONLY, &err);
  zip_error_fini(&err);
  if (z == nullptr) zip_source_free(src);
  return z;
}

void archive_close(void* a) { zip_discard(static_cast<zip_t*>(a)); }

int64_t archive_count(void* a) { return zip_get_num_entries(static_cast<zip_t*>(a), 0); }

const char* archive_name(void* a, uint64_t index) { return zip_get_name(static_cast<zip_t*>(a), index, 0); }

int64_t archive_locate(void* a, const char* name) { return zip_name_locate(static_cast<zip_t*>(a), name, 0); }

int archive_read(void* a, uint64_t index, uint64_t cap, std::string* out) {
  zip_t* z = static_cast<zip_t*>(a);
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(z, index, 0, &st) != 0) return KVXERR_BADFORMAT;
  if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) return KVXERR_ENCRYPTED;
  if ((st.valid & ZIP_STAT_SIZE) && st.size > cap) return KVXERR_BADFORMAT;
  zip_file_t* f = zip_fopen_index(z, index, 0);
  if (f == nullptr) {
    int ze = zip_get_error(z)->zip_err;
    return ze == ZIP_ER_NOPASSWD || ze == ZIP_ER_WRONGPASSWD || ze == ZIP_ER_ENCRNOTSUPP ? KVXERR_ENCRYPTED
                                                                                          : KVXERR_BADFORMAT;
  }
  // The stated size is not trusted: reading stops at the cap whatever the header says.
  char buf[65536];
  int status = KVX_OK;
  for (;;) {
    zip_int64_t got = zip_fread(f, buf, sizeof buf);
    if (got < 0) {
      status = out->empty() ? KVXERR_BADFORMAT : KVX_OK;  // a damaged tail keeps what was read
      break;
    }
    if (got == 0) break;
    if (out->size() + uint64_t(got) > cap) {
      status = KVXERR_BADFORMAT;
      break;
    }
    out->append(buf, size_t(got));
  }
  zip_fclose(f);
  return status;
}

}  // namespace

extern "C" const KvxZipFunctions* kvxzip_functions() {
  static const KvxZipFunctions table{&archive_open, &archive_close, &archive_count,
                                     &archive_name, &archive_locate, &archive_read};
  return &table;
}
