// Path texts of the folder browser: BreakApart splits a text at a separator, and
// CompressString shortens a long path for the browser's status line by putting a
// replacement ("...") in place of its second part and then dropping the parts after it.
// Plain functions without Qt; the folder browser dialog (desktop/forms) calls them.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Clears list and fills it with the pieces of text between separators, in order, empty
// pieces included; a text without the separator gives one piece. Returns the count.
// An empty separator gives the whole text as one piece.
int BreakApart(std::string_view text, std::string_view separator, std::vector<std::string>& list);

// text unchanged when it is not longer than max_length (or max_length is negative) or when
// it has at most two parts; otherwise part 1 becomes replacement, and while the joined text
// is longer than max_length and more than three parts remain, part 2 is dropped.
std::string CompressString(std::string_view text, std::string_view separator,
                           std::string_view replacement, int max_length);

}  // namespace qm
