// libkvxpdf.so: the PDF extractor of pdf_extract.cpp (linked in whole) as a module of its
// own, loaded by libkvx.so's pdf_module.cpp the first time a PDF is read.
#include "filters/framework/readers/pdf_extract.h"
