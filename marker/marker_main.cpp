// marker: the hit-document viewer program (CGI). All of its work is in marker_page.cpp.
#include "marker/marker_page.h"

int main(int argc, char** argv) { return qm::marker_main(argc, argv); }
