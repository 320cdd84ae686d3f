#pragma once
// Membership of IPv4 multicast groups on one interface, so that a switch with IGMP snooping
// forwards those groups to this port. Nothing is read from the sockets: capture sees the
// packets. Leaving (closing the sockets) tells the switch the groups are no longer wanted.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/result.h"

namespace quorvex {

class MulticastMembership {
  public:
    MulticastMembership();
    ~MulticastMembership();
    MulticastMembership(const MulticastMembership&) = delete;
    MulticastMembership& operator=(const MulticastMembership&) = delete;

    // Joins `group` (host byte order) on `interfaceName`; a group already joined there is
    // left as it is. Leaves everything first when the interface differs from the last one.
    Status Join(const std::string& interfaceName, uint32_t group);
    void LeaveAll();
    size_t Groups() const { return m_groups.size(); }

  private:
    std::string m_interface;
    std::vector<int> m_sockets;  // the kernel limits the groups of one socket
    std::vector<uint32_t> m_groups;
    int m_inLastSocket = 0;
};

}  // namespace quorvex
