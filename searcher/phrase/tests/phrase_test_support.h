// Helpers of the phrase tests: the keyword road with the phrase hooks installed, and
// writers of fixture language files (homophone tables, phrase files).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "searcher/hits.h"
#include "searcher/search_options.h"

namespace qm::test {

// Parses the keywords and searches the databases as the request driver does: term table,
// homophone slots, phrase hooks, search, evaluation. Language state is reset first.
HitList phrase_run_query(const std::string& keywords, const std::vector<SearchDatabase>& databases,
                         const SearchOptions& options, const std::string& program_dir);

// The documents of a result, in order.
std::vector<uint32_t> hit_documents(const HitList& hits);

// big5.ref and big5.dat in dir: `groups` are written to big5.dat in order; entries map a
// code to the indexes of its groups (main group first).
void write_homophone_tables(const std::string& dir, const std::vector<std::vector<uint16_t>>& groups,
                            const std::map<uint16_t, std::vector<int>>& entries);

// phrase-<n>.txt in dir, one word per line, CR LF, sorted as given.
void write_phrase_file(const std::string& dir, int n, const std::vector<std::string>& words);

}  // namespace qm::test
