// indexer: builds the index files of one database; see builder.h. Started by the
// desktop's job queue as "indexer [kind] -w<handle> -f10 -x<id>", progress on stdout.
#include <unistd.h>

#include "indexer/builder.h"

int main(int argc, char** argv) { return qm::run_indexer(argc, argv, STDOUT_FILENO); }
