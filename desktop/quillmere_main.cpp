// The desktop program `quillmere`: everything is in quillmere_main() (desktop/app.cpp).
#include "desktop/app.h"

int main(int argc, char** argv) { return qm::quillmere_main(argc, argv); }
