#pragma once
// Opening a live capture device the one way Quorvex does: promiscuous, whole frames, a 1 ms
// block time-out, a 32 MiB kernel buffer and the filter "ip and udp", read without blocking.
// A packet source that opens the device itself and the capture helper share it.

#include <pcap/pcap.h>

#include <string>

#include "platform/result.h"

namespace quorvex {

// An open, filtered Ethernet device; the caller closes it. Fails with "打开网卡出错!" and
// libpcap's reason, followed by `permissionHint` when the system refused for lack of rights.
Result<pcap_t*> OpenLiveDevice(const std::string& name, const std::string& permissionHint);

// Refuses a handle that is not Ethernet and installs the capture filter on it; `failureText`
// heads the reason. For capture files, which get the filter that a device gets.
Status RequireEthernetAndFilter(pcap_t* handle, const std::string& failureText);

}  // namespace quorvex
