// Where the PDF extractor is in static builds (kvxdump, the in-process tests, the fuzz
// drivers): linked in. libkvx.so uses pdf_module.cpp instead.
#include "filters/framework/readers/pdf_extract.h"

namespace kvx::readers {
KvxPdfExtractFn pdf_extractor() { return &kvxpdf_extract; }
}  // namespace kvx::readers
