#pragma once
// Whether this process may capture live traffic, asked of libpcap directly so that tests can
// skip cleanly without capture rights instead of failing.

#include <pcap/pcap.h>

#include "platform/capture_rights.h"

namespace quorvex::test {

inline bool CanCaptureOn(const char* device) {
    // Opening a device lowers the rights again; ask with them raised, as an open does.
    RaiseCaptureRights();
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* h = pcap_create(device, errbuf);
    if (!h) return true;  // not a rights problem: let the test itself fail
    const int rc = pcap_activate(h);
    pcap_close(h);
    LowerCaptureRights();
    return rc != PCAP_ERROR_PERM_DENIED;
}

inline constexpr char kNoRightsMessage[] =
    "no capture rights: run as root or give the test binary cap_net_raw,cap_net_admin";

}  // namespace quorvex::test
