#pragma once
// Ctrl-C (SIGINT) and SIGTERM as a count the main loop polls: the first asks the running
// command to stop cleanly, a second one to give up at once.

#include <atomic>

namespace quorvex::cli {

// Also ignores SIGPIPE: a closed stdout must not cut a recording short.
void InstallInterruptHandlers();
// Signals received since the handlers were installed.
const std::atomic<int>& Interrupts();

}  // namespace quorvex::cli
