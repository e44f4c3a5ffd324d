// Fixture homophone tables (big5.ref and big5.dat, the layout of
// langdata/homophone_format.h) for the tests of the steps that read them.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qm::test {

// big5.ref and big5.dat in dir: `groups` are written to big5.dat in order; entries map a
// code (lead * 256 + trail) to the indexes of its groups (main group first).
void write_homophone_tables(const std::string& dir, const std::vector<std::vector<uint16_t>>& groups,
                            const std::map<uint16_t, std::vector<int>>& entries);

// The same with one group per text of Big5 characters: every character of a group has
// that group, and only it, as its homophones.
void write_homophone_groups(const std::string& dir, const std::vector<std::string>& groups);

}  // namespace qm::test
