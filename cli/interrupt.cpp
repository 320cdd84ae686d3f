#include "cli/interrupt.h"

#include <csignal>

namespace quorvex::cli {

namespace {
std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need a lock-free count");

extern "C" void OnInterrupt(int) { g_interrupts.fetch_add(1); }
}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed SSH session or a quit key: stop and save, as for SIGTERM.
    sigaction(SIGHUP, &action, nullptr);
    sigaction(SIGQUIT, &action, nullptr);
    // A reader of our output that goes away must not end a recording half-way.
    std::signal(SIGPIPE, SIG_IGN);
}

const std::atomic<int>& Interrupts() { return g_interrupts; }

}  // namespace quorvex::cli
