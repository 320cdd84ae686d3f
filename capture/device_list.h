#pragma once
// The capture devices libpcap offers.

#include <string>
#include <vector>

#include "platform/result.h"

namespace quorvex {

struct DeviceEntry {
    std::string description;  // library's description; empty when it gives none
    std::string name;         // library's device name, what a packet source opens
    std::string address;      // last IPv4 address as dotted text; empty when none
    // The library's view of each address ("\tAddress: 10.0.0.2", ...), for diagnostics.
    std::vector<std::string> addressLines;
};

// One entry per capture device. Fails with "查找网卡出错!" and libpcap's reason.
Result<std::vector<DeviceEntry>> ListCaptureDevices();

// Whether the device `name` is a network interface that frames Ethernet (an Ethernet or
// Wi-Fi adapter, a bridge, a veth, the loopback device): what a show can be recorded from.
// libpcap's other devices ("any", D-Bus, netfilter, Bluetooth, USB monitors) are not, as
// `sysClassNet` (the kernel's /sys/class/net) says: their link type is not Ethernet's.
bool IsEthernetLike(const std::string& name, const std::string& sysClassNet = "/sys/class/net");

}  // namespace quorvex
