#include "tests/support/net_isolation.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvex::test {

bool IsolateNetwork(std::string* why) {
    static int state = 0;  // 0 not tried, 1 isolated, -1 failed
    static std::string reason;
    if (state == 0) {
        state = -1;
        if (unshare(CLONE_NEWNET) != 0) {
            reason = std::string("cannot create a network namespace: ") + std::strerror(errno);
        } else {
            const int fd = socket(AF_INET, SOCK_DGRAM, 0);
            ifreq ifr{};
            std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
            if (fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &ifr) == 0) {
                ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
                if (ioctl(fd, SIOCSIFFLAGS, &ifr) == 0) state = 1;
            }
            if (state != 1) reason = std::string("cannot bring lo up: ") + std::strerror(errno);
            if (fd >= 0) close(fd);
        }
    }
    if (why) *why = reason;
    return state == 1;
}

}  // namespace quorvex::test
