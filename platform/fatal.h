// The one sink for failures that end a run. Each program chooses a profile at start:
//  - Cgi:     the installed page writer (if any) writes the error page, then the process
//             exits with code 255 (the original -1);
//  - Desktop: the failure is reported (the installed reporter, else standard error) and
//             the caller goes on with a failure result;
//  - Test:    a qm::FatalError is thrown so tests can catch and inspect it (the default,
//             so library code under test never exits the test process).
#pragma once
#include <functional>
#include <stdexcept>
#include <string>

namespace qm {

enum class FatalProfile { Cgi, Desktop, Test };

struct FatalError : std::runtime_error {
  explicit FatalError(const std::string& message) : std::runtime_error(message) {}
};

using FatalWriter = std::function<void(const std::string& message)>;

void fatal_set_profile(FatalProfile profile);
FatalProfile fatal_profile();

// Cgi: writes the page before the exit. Desktop: reports the message. Empty: plain default.
void fatal_set_writer(FatalWriter writer);

// Ends the run as the profile says. Returns only in the Desktop profile.
void fatal(const std::string& message);

// Restores the default state (Test profile, no writer); for tests.
void fatal_reset();

}  // namespace qm
