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

}  // namespace quorvex
