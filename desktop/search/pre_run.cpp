// The advanced search's first searcher run (see pre_run.h).
#include "desktop/search/pre_run.h"

namespace qm {

PageRun::End PreRunSearcher(const std::string& program_dir, const std::string& query,
                            int time_limit_ms, int slice_ms,
                            const std::function<void()>& between_polls) {
  PageRun run;
  // The page is read only so that the child never stalls on a full pipe.
  if (!run.start(program_dir, "searcher", query, [](std::string_view) { return false; },
                 time_limit_ms))
    return PageRun::End::NotStarted;
  return run.run_to_end(slice_ms, between_polls);
}

}  // namespace qm
