// Helpers of the phrase tests: the keyword road with the phrase hooks installed, and
// the writer of fixture phrase files; the homophone table writer comes from
// testsupport/homophone_tables.h.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "searcher/hits.h"
#include "searcher/search_options.h"
#include "testsupport/homophone_tables.h"
#include "testsupport/test_files.h"

namespace qm::test {

// Parses the keywords and searches the databases as the request driver does: term table,
// homophone slots, phrase hooks, search, evaluation. Language state is reset first.
HitList phrase_run_query(const std::string& keywords, const std::vector<SearchDatabase>& databases,
                         const SearchOptions& options, const std::string& program_dir);

// The documents of a result, in order.
std::vector<uint32_t> hit_documents(const HitList& hits);

// phrase-<n>.txt in dir, one word per line, CR LF, sorted as given.
void write_phrase_file(const std::string& dir, int n, const std::vector<std::string>& words);

}  // namespace qm::test
