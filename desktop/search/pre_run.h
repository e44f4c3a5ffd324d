// The advanced search's first searcher run: the searcher is run once for the request so
// that it writes its keyword cache files, its page is read and thrown away, and the run is
// waited for at most the time limit while the caller's window keeps working; then the
// child's whole process group is ended. Plain C++ over page_run.h; called by the main
// window's advanced search (main_form_advanced.cpp); tested with the real searcher in
// desktop/indexing/tests/advanced_searcher_test.cpp.
#pragma once
#include <functional>
#include <string>

#include "desktop/search/page_run.h"

namespace qm {

// Runs program_dir + "searcher" with the request; between_polls (may be empty) runs at
// least every slice_ms. How the run ended (End::NotStarted when it could not start).
PageRun::End PreRunSearcher(const std::string& program_dir, const std::string& query,
                            int time_limit_ms, int slice_ms,
                            const std::function<void()>& between_polls);

}  // namespace qm
