#include "tests/support/net_isolation.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/capture_rights.h"

namespace quorvex::test {

bool EnterNewNetwork(std::string* why) {
    if (unshare(CLONE_NEWNET) != 0) {
        *why = std::string("cannot create a network namespace: ") + std::strerror(errno);
        return false;
    }
    RaiseCaptureRights();  // bringing lo up takes CAP_NET_ADMIN
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    up = up && ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    if (!up) *why = std::string("cannot bring lo up: ") + std::strerror(errno);
    if (fd >= 0) close(fd);
    return up;
}

bool IsolateNetwork(std::string* why) {
    static int state = 0;  // 0 not tried, 1 isolated, -1 failed
    static std::string reason;
    if (state == 0) state = EnterNewNetwork(&reason) ? 1 : -1;
    if (why) *why = reason;
    return state == 1;
}

}  // namespace quorvex::test
