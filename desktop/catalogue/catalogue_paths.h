// Path helpers of the catalogue (catalogue.h): comparing folders by their normalised
// absolute form, refusing folders that must never be emptied, and turning a database's
// Big5 name into a UTF-8 folder name. Conversion through glibc's iconv "CP950" table.
#pragma once
#include <string>
#include <string_view>

namespace qm {

// dir with "\" made "/", made absolute against base (a folder ending in "/"),
// symbolic links of its existing part resolved, "." and ".." folded, without a
// trailing "/" (except the root "/"). Empty for an empty dir.
std::string catalogue_normal_path(std::string_view dir, const std::string& base);
// A normalised folder that is empty, the root or the user's home folder.
bool catalogue_is_guarded_dir(const std::string& normal);
// A Big5 name as one UTF-8 file name: "/" and control bytes (and bytes that form no
// character) become "_", blanks at both ends go, the result is cut at 255 bytes on a
// character boundary. Empty when nothing usable is left ("", ".", "..").
std::string catalogue_file_name(std::string_view big5_name);

}  // namespace qm
