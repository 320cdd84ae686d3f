#include "capture/device_list.h"

#include <net/if_arp.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <sys/socket.h>

#include <fstream>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {
std::string Dotted(const sockaddr* sa) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    const auto* b = reinterpret_cast<const uint8_t*>(&in->sin_addr.s_addr);
    return Format("%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}
}  // namespace

Result<std::vector<DeviceEntry>> ListCaptureDevices() {
    pcap_if_t* all = nullptr;
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    if (pcap_findalldevs(&all, errbuf) == -1) return Fail(Format(Tr("查找网卡出错!\n%s"), errbuf));
    std::vector<DeviceEntry> devices;
    for (pcap_if_t* d = all; d; d = d->next) {
        DeviceEntry entry{d->description ? d->description : "", d->name ? d->name : "", "", {}};
        for (pcap_addr_t* a = d->addresses; a; a = a->next) {
            if (!a->addr || a->addr->sa_family != AF_INET) {
                entry.addressLines.emplace_back(Tr("\tAddress Family Name: Unknown"));
                continue;
            }
            entry.address = Dotted(a->addr);
            entry.addressLines.push_back(Format(Tr("\tAddress: %s"), entry.address.c_str()));
            if (a->netmask) {
                entry.addressLines.push_back(
                    Format(Tr("\tNetmask: %s"), Dotted(a->netmask).c_str()));
            }
            if (a->broadaddr) {
                entry.addressLines.push_back(
                    Format(Tr("\tBroadcast Address: %s"), Dotted(a->broadaddr).c_str()));
            }
            if (a->dstaddr) {
                entry.addressLines.push_back(
                    Format(Tr("\tDestination Address: %s"), Dotted(a->dstaddr).c_str()));
            }
        }
        devices.push_back(std::move(entry));
    }
    pcap_freealldevs(all);
    return devices;
}

bool IsEthernetLike(const std::string& name, const std::string& sysClassNet) {
    // A name with a slash would leave the folder.
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        return false;
    }
    std::ifstream in(sysClassNet + "/" + name + "/type");
    int type = -1;
    if (!(in >> type)) return false;
    // The loopback device frames Ethernet too, for libpcap.
    return type == ARPHRD_ETHER || type == ARPHRD_LOOPBACK;
}

}  // namespace quorvex
