// The setup helpers' share of the configuration: the seven default keys of section
// VESPRIN that an installation writes into vesprin.ini (templates, home page, cache
// directory, addresses of the search and administration programs, English word file),
// the home page read back, and the uninstall entry kept in uninstall.ini. Builds on the
// common ini engine (common/ini.h), which reads and safely replaces the files, and on
// platform/paths.h for the "\" to "/" turn of paths given by the installer. Called by
// setupaid.cpp (the C exports) and the home-page rewriting of setup_home_page.cpp.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

inline constexpr const char* kSetupSection = "VESPRIN";
inline constexpr const char* kUninstallSection = "Uninstall";

// The buffer "first,second" split at its first ","; nullopt without a ",".
std::optional<std::pair<std::string, std::string>> setup_split_pair(std::string_view buffer);

// A path given by the installer: every "\" outside Big5 pairs becomes "/", a relative
// path is taken from the current directory, and trailing "/" are removed (the root
// becomes "").
std::string setup_absolute_path(std::string_view path);

// The directory of a file path made absolute ("" for a file in the root).
std::string setup_file_directory(std::string_view file);

// The address path of the script directory dir (absolute, "/" separators): from its first
// component named "scripts" or "cgi-bin" (any case) to the end, else its last component;
// with the leading "/".
std::string setup_script_path(std::string_view dir);

// The local machine's host name, "localhost" when it has none.
std::string setup_host_name();

// The seven keys, in the order written, for the ini file and the template directory.
std::vector<std::pair<std::string, std::string>> setup_default_keys(std::string_view ini_path,
                                                                    std::string_view template_dir,
                                                                    bool exe_names,
                                                                    std::string_view host);

// Writes the seven keys into section VESPRIN in one safe replacement, keeping every
// other key and section. false when the file exists but cannot be read, or cannot be
// written (the old file stays whole).
bool setup_write_default_ini(std::string_view ini_path, std::string_view template_dir,
                             bool exe_names);

// The value of a key of section VESPRIN, "" when absent or unreadable.
std::string setup_read_key(std::string_view ini_path, std::string_view key);

// HomePage with everything after its last "/" replaced by "sysadm.htm"; nullopt when it
// has no "/".
std::optional<std::string> setup_sysadm_url(std::string_view ini_path);

// The uninstall file: $QUILLMERE_UNINSTALL_FILE, else uninstall.ini beside the library.
std::string setup_uninstall_file();

// Stores command as UninstallString of section Uninstall, keeping an earlier one as
// UninstallString2 (nothing is written as UninstallString2 when there is none). false
// when the file cannot be read or written.
bool setup_keep_uninstall(const std::string& file, std::string_view command);

}  // namespace qm
