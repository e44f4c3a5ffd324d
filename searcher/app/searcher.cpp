// searcher: the CGI search program. A web server (or the desktop application) starts it
// once per request with the CGI environment; it writes one page and exits.
#include "searcher/app/searcher_app.h"

int main(int argc, char** argv) { return qm::searcher_main(argc, argv); }
