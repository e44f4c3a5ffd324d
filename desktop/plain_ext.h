// The list of extra file extensions indexed as plain text, as the plain-text extensions
// dialog (forms/local_adv_txt_form.h) edits it: "txt" always first, the caller's
// extensions ("log,ini") after it, six extensions refused because other filters read
// them, and the text handed back without "txt". Qt-free.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qm {

inline constexpr size_t kPlainExtTextMax = 1023;

// "txt", then the pieces of text split at ",", up to the first empty piece (each cut to
// 1,023 bytes).
std::vector<std::string> PlainExtList(std::string_view text);
// The edit's text as it is added: ASCII letters lower-cased, other bytes unchanged.
std::string PlainExtNormalise(std::string_view edit);
// Whether a normalised extension may be appended: not empty, only ASCII letters and
// digits, not listed yet, and none of "htm", "html", "doc", "xls", "ppt", "txt".
bool PlainExtAccept(const std::vector<std::string>& list, std::string_view ext);
// The entries from the second on joined with ","; entries that would take the text past
// 1,023 bytes are left out whole. "" when only "txt" is listed.
std::string PlainExtText(const std::vector<std::string>& list);

}  // namespace qm
