// Where libzip's part of the ZIP packages is in static builds (kvxdump, the in-process
// tests, the fuzz drivers): linked in. libkvx.so uses zip_module.cpp instead.
#include "filters/framework/readers/zip_archive.h"

namespace kvx::readers {
const KvxZipFunctions* zip_functions() { return kvxzip_functions(); }
}  // namespace kvx::readers
