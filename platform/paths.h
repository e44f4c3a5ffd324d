// Path handling at the edges of the system: values read from outside (configuration
// values, request parameters) may carry "\" separators; they become "/" once, with a
// Big5-aware walk (0x5C is a valid Big5 trail byte and is never touched inside a
// double-byte character). Also the program directory from argv[0] and the case-blind
// lookup of fixed file names in folders copied from the old system.
#pragma once
#include <string>
#include <string_view>

namespace qm {

// Every "\" outside Big5 pairs becomes "/".
std::string path_backslash_to_slash(std::string_view path);
void path_backslash_to_slash_inplace(std::string& path);

// The current working directory with a trailing "/"; empty when it cannot be read.
std::string platform_current_dir();

// The program directory from argv[0], with a trailing "/": the part up to the last "/";
// the current directory for a bare name or a path beginning "./"; a path beginning ".."
// is kept relative. Empty when the current directory is needed and cannot be read.
std::string program_dir_from_argv0(std::string_view argv0);

// directory joined with name, with exactly one "/" between them.
std::string path_join(std::string_view directory, std::string_view name);

// The path of the entry called name in directory: the exact name when it exists, else the
// first entry (in byte order) whose name equals it case-blind (ASCII letters only), else
// the exact name (the canonical spelling, for creating).
std::string path_find_case_blind(const std::string& directory, const std::string& name);

}  // namespace qm
