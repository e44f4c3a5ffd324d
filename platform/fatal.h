// The end of a failed run, for a program's entry only: library code never calls it, it
// returns its failure (a status and a message) to the entry. The CGI programs' entries
// (searcher_main, marker_main) choose the Cgi profile at start:
//  - Cgi:  the installed page writer (if any) writes the error page, then the process
//          exits with code 255 (the original -1);
//  - Test: a qm::FatalError is thrown, so tests that run an entry's steps in-process can
//          catch and inspect it (the default).
#pragma once
#include <functional>
#include <stdexcept>
#include <string>

namespace qm {

enum class FatalProfile { Cgi, Test };

struct FatalError : std::runtime_error {
  explicit FatalError(const std::string& message) : std::runtime_error(message) {}
};

using FatalWriter = std::function<void(const std::string& message)>;

void fatal_set_profile(FatalProfile profile);
FatalProfile fatal_profile();

// Cgi: writes the page before the exit. Empty: the message as plain text.
void fatal_set_writer(FatalWriter writer);

// Ends the run as the profile says; never returns.
[[noreturn]] void fatal(const std::string& message);

// Restores the default state (Test profile, no writer); for tests.
void fatal_reset();

}  // namespace qm
