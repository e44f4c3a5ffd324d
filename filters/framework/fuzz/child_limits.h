// The outside programs and workers of the Word, PowerPoint and Excel readers under a
// fuzzer: their time limit set below the fuzzer's own (so a program that runs late is
// stopped by the reader, as it would be in use, and is not taken for a hang of ours),
// and a forked worker's death kept its own: libFuzzer's crash hooks are taken out of
// the child at fork, so a fault inside a library the worker isolates (libfreexl) ends
// only the worker and the reader goes on with what arrived. Included by fuzz_doc.cpp,
// fuzz_ppt.cpp and fuzz_xls.cpp.
#pragma once
#include <pthread.h>

#include <csignal>

#include "filters/framework/readers/child_tools.h"

// The sanitizers' hook for the report's end (libFuzzer sets it to write the input as a
// crash); absent from builds without sanitizers.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace kvx::fuzz {

inline void child_without_fuzzer_hooks() {
  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(nullptr);
  for (int sig : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGALRM, SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
    std::signal(sig, SIG_DFL);
}

// Once per process: the limits and the fork hook.
inline void limit_children() {
  static const bool done = [] {
    kvx::readers::child_tools().timeout_ms = 4000;
    ::pthread_atfork(nullptr, nullptr, child_without_fuzzer_hooks);
    return true;
  }();
  (void)done;
}

}  // namespace kvx::fuzz
