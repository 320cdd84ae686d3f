#pragma once
// Running the programs as a user of the installed package does: copies of them in a folder of
// the test's own, beside a copy of the capture helper that alone holds the capture
// capabilities, started by root without any capability (the securebit noroot), so that they
// capture through the helper. And what the kernel says of a process's capabilities.

#include <sys/types.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quorvex::test {

inline constexpr uint64_t kNetAdminAndRaw = (1ull << 12) | (1ull << 13);
inline constexpr uint64_t kEveryCapability = ~0ull;

// Copies `programs` and `helper` into `folder` (readable by everyone) and gives the helper's
// copy cap_net_raw,cap_net_admin=ep. False, with the reason, when that cannot be done.
bool InstallWithHelper(const std::string& folder, const std::vector<std::string>& programs,
                       const std::string& helper, std::string* why);

// The command that runs the program after it as root without any capability, for good.
std::vector<std::string> WithoutCapabilities();

// The names of the threads of `pid`; fails the test where a thread holds a capability of
// `mask` in its effective or permitted set (with kEveryCapability: in any set).
std::set<std::string> ThreadsHoldingNone(pid_t pid, uint64_t mask);

// Waits (a minute at most) until `pid` has a thread named `name`, or has ended.
void WaitForThread(pid_t pid, const std::string& name);

// The children of `pid` whose name is `name`.
std::vector<pid_t> ChildrenNamed(pid_t pid, const std::string& name);

// Waits (a minute at most) for `pid` to end: gone, or a zombie that its parent has not
// waited for yet (an orphan's new parent may never wait).
bool EndsSoon(pid_t pid);

// One line of /proc/PID/status ("NoNewPrivs:\t1" gives "1"); empty when the process is gone.
std::string StatusField(pid_t pid, const std::string& field);

}  // namespace quorvex::test
