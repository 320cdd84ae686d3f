#include "platform/multicast_membership.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {
// Linux's default net.ipv4.igmp_max_memberships is 20 per socket.
constexpr int kGroupsPerSocket = 20;
}  // namespace

MulticastMembership::MulticastMembership() = default;

MulticastMembership::~MulticastMembership() { LeaveAll(); }

void MulticastMembership::LeaveAll() {
    for (const int fd : m_sockets) ::close(fd);
    m_sockets.clear();
    m_groups.clear();
    m_inLastSocket = 0;
    m_interface.clear();
}

Status MulticastMembership::Join(const std::string& interfaceName, uint32_t group) {
    if (interfaceName != m_interface) {
        LeaveAll();
        m_interface = interfaceName;
    }
    if (std::find(m_groups.begin(), m_groups.end(), group) != m_groups.end()) return {};
    const unsigned index = if_nametoindex(interfaceName.c_str());
    if (index == 0) return Fail(Format(Tr("no interface %s"), interfaceName.c_str()));
    ip_mreqn request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_ifindex = static_cast<int>(index);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_sockets.empty() || m_inLastSocket >= kGroupsPerSocket) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (fd < 0) return Fail(std::string("socket: ") + std::strerror(errno));
            m_sockets.push_back(fd);
            m_inLastSocket = 0;
        }
        if (setsockopt(m_sockets.back(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) ==
            0) {
            ++m_inLastSocket;
            m_groups.push_back(group);
            return {};
        }
        // A lower limit than the default: go on in a new socket.
        if (errno != ENOBUFS) break;
        m_inLastSocket = kGroupsPerSocket;
    }
    const int error = errno;
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{htonl(group)};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return Fail(Format(Tr("joining %s on %s: %s"), text, interfaceName.c_str(),
                       std::strerror(error)));
}

}  // namespace quorvex
