// Run files and their merge; see run_merge.h.
#include "index/run_merge.h"

#include <unistd.h>

#include <algorithm>

namespace qm::index_build {

void compact_runs(std::vector<std::string>& runs, const std::function<std::string()>& new_run) {
  while (runs.size() > kMergeWays) {
    std::vector<std::string> next;
    for (size_t i = 0; i < runs.size(); i += kMergeWays) {
      size_t end = std::min(i + kMergeWays, runs.size());
      if (end - i == 1) {
        next.push_back(runs[i]);
        continue;
      }
      std::vector<std::unique_ptr<Source>> sources;
      for (size_t j = i; j < end; ++j) sources.push_back(std::make_unique<RunSource>(runs[j]));
      OutFile merged;
      merged.open(new_run());
      PostingSink sink(merged, true);
      merge_sources(
          sources, sink,
          [&](const std::string& key, uint32_t count) {
            unsigned char len = uint8_t(key.size());
            merged.write(&len, 1);
            merged.write(key.data(), key.size());
            merged.put32(count);
          },
          [](const std::string&, uint32_t, uint32_t) {});
      merged.close(false);
      sources.clear();
      for (size_t j = i; j < end; ++j) ::unlink(runs[j].c_str());
      next.push_back(merged.path());
    }
    runs.swap(next);
  }
}

}  // namespace qm::index_build
