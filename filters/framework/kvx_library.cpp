// libkvx.so: the conversion framework as a shared library. Every exported function lives
// in kvx_core (linked whole); this file only names what the library is.
#include "filters/common/kvx_abi.h"
