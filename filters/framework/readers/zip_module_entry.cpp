// libkvxzip.so: libzip's part of the ZIP packages (zip_archive.cpp, linked in whole) as a
// module of its own, loaded by libkvx.so's zip_module.cpp the first time a package is opened.
#include "filters/framework/readers/zip_archive.h"
