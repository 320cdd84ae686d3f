#include "capture/adapter_directory.h"

#include <linux/ethtool.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/texts.h"
#include "platform/unique_fd.h"

namespace quorvex {
namespace {

// A name the kernel could hold as an interface name; also keeps it safe inside a /sys path.
bool PlausibleName(const std::string& name) {
    return !name.empty() && name.size() < IFNAMSIZ && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// RFC 2863 operational states as the kernel numbers them (linux/if.h, which clashes with
// net/if.h).
constexpr uint8_t kOperUnknown = 0;
constexpr uint8_t kOperUp = 6;

struct LinkAnswer {
    uint8_t operState = kOperUnknown;
    unsigned flags = 0;
};

std::atomic<uint32_t> g_netlinkSeq{1};

// One RTM_GETLINK round trip for a single index. Nothing when the kernel has no such link or
// does not answer.
std::optional<LinkAnswer> QueryLink(int index) {
    UniqueFd sock(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!sock.ok()) return std::nullopt;
    // A kernel that never answers must not hang the caller (the window thread asks).
    timeval timeout{1, 0};
    ::setsockopt(sock.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    const uint32_t seq = g_netlinkSeq.fetch_add(1, std::memory_order_relaxed);
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = seq;
    request.info.ifi_family = AF_UNSPEC;
    request.info.ifi_index = index;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(sock.get(), &request, request.header.nlmsg_len, 0,
                 reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0) {
        return std::nullopt;
    }

    // Link messages carry statistics and can run to several KiB; peek at the size first.
    std::vector<nlmsghdr> buffer(4096 / sizeof(nlmsghdr));
    for (;;) {
        const ssize_t pending = ::recv(sock.get(), nullptr, 0, MSG_PEEK | MSG_TRUNC);
        if (pending <= 0) return std::nullopt;
        const size_t needed =
            (static_cast<size_t>(pending) + sizeof(nlmsghdr) - 1) / sizeof(nlmsghdr);
        if (needed > buffer.size()) buffer.resize(needed);
        sockaddr_nl from{};
        socklen_t fromLen = sizeof from;
        const ssize_t got = ::recvfrom(sock.get(), buffer.data(), buffer.size() * sizeof(nlmsghdr),
                                       0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (got <= 0) return std::nullopt;
        if (from.nl_pid != 0) continue;  // not from the kernel
        int remaining = static_cast<int>(got);
        for (auto* msg = buffer.data(); NLMSG_OK(msg, remaining);
             msg = NLMSG_NEXT(msg, remaining)) {
            if (msg->nlmsg_seq != seq) continue;
            if (msg->nlmsg_type == NLMSG_ERROR || msg->nlmsg_type == NLMSG_DONE) {
                return std::nullopt;
            }
            if (msg->nlmsg_type != RTM_NEWLINK) continue;
            if (msg->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return std::nullopt;
            const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(msg));
            if (info->ifi_index != index) return std::nullopt;
            LinkAnswer answer;
            answer.flags = info->ifi_flags;
            int attrLength = static_cast<int>(IFLA_PAYLOAD(msg));
            for (const rtattr* attr = IFLA_RTA(info); RTA_OK(attr, attrLength);
                 attr = RTA_NEXT(attr, attrLength)) {
                if (attr->rta_type == IFLA_OPERSTATE && RTA_PAYLOAD(attr) >= 1) {
                    answer.operState = *static_cast<const uint8_t*>(RTA_DATA(attr));
                }
            }
            return answer;
        }
    }
}

bool EthtoolIoctl(int sock, const std::string& name, void* data) {
    ifreq request{};
    std::memcpy(request.ifr_name, name.data(), name.size());
    request.ifr_data = static_cast<char*>(data);
    return ::ioctl(sock, SIOCETHTOOL, &request) == 0;
}

std::string DriverName(int sock, const std::string& name) {
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    if (sock >= 0 && EthtoolIoctl(sock, name, &info)) {
        info.driver[sizeof info.driver - 1] = '\0';
        if (info.driver[0] != '\0') return info.driver;
    }
    // Some drivers lack the ethtool call; the device's driver link in /sys still names it.
    std::error_code error;
    const auto target =
        std::filesystem::read_symlink("/sys/class/net/" + name + "/device/driver", error);
    if (error) return {};
    return target.filename().string();
}

// Link speed in Mb/s, or nothing when unknown.
std::optional<uint32_t> LinkSpeed(int sock, const std::string& name) {
    // Header plus the three link-mode bitmaps at their largest (nwords is a signed byte).
    constexpr size_t kMaxWords = 127;
    alignas(ethtool_link_settings)
        std::array<unsigned char, sizeof(ethtool_link_settings) + 3 * kMaxWords * sizeof(uint32_t)>
            buffer{};
    ethtool_link_settings settings{};
    settings.cmd = ETHTOOL_GLINKSETTINGS;
    std::memcpy(buffer.data(), &settings, sizeof settings);
    // First call: the kernel answers with the bitmap size it wants, negated.
    if (sock >= 0 && EthtoolIoctl(sock, name, buffer.data())) {
        std::memcpy(&settings, buffer.data(), sizeof settings);
        if (settings.link_mode_masks_nwords < 0) {
            settings.cmd = ETHTOOL_GLINKSETTINGS;
            settings.link_mode_masks_nwords = static_cast<int8_t>(-settings.link_mode_masks_nwords);
            buffer.fill(0);
            std::memcpy(buffer.data(), &settings, sizeof settings);
            if (EthtoolIoctl(sock, name, buffer.data())) {
                std::memcpy(&settings, buffer.data(), sizeof settings);
                if (settings.speed != 0 && settings.speed != static_cast<uint32_t>(SPEED_UNKNOWN)) {
                    return settings.speed;
                }
                return std::nullopt;
            }
        }
    }
    // The /sys value answers only while the interface is up; -1 there means unknown.
    std::ifstream file("/sys/class/net/" + name + "/speed");
    long long speed = 0;
    if (file >> speed && speed > 0 && speed < UINT32_MAX) return static_cast<uint32_t>(speed);
    return std::nullopt;
}

bool ContainsCaseless(const std::string& text, const char* lowerNeedle) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find(lowerNeedle) != std::string::npos;
}

}  // namespace

std::optional<int> InterfaceIndex(const std::string& name) {
    if (!PlausibleName(name)) return std::nullopt;
    const unsigned index = ::if_nametoindex(name.c_str());
    if (index == 0 || index > static_cast<unsigned>(INT_MAX)) return std::nullopt;
    return static_cast<int>(index);
}

LinkState LinkStateOfIndex(int index) {
    if (index <= 0) return LinkState::Unknown;
    const auto link = QueryLink(index);
    if (!link) return LinkState::Unknown;
    if (link->operState == kOperUp) return LinkState::Up;
    // Loopback and some virtual drivers never report an operational state ("unknown");
    // for them an interface that is up and running counts as operational.
    constexpr unsigned kUpRunning = IFF_UP | IFF_RUNNING;
    if (link->operState == kOperUnknown && (link->flags & kUpRunning) == kUpRunning) {
        return LinkState::Up;
    }
    return LinkState::Down;
}

const char* LinkStateText(LinkState state) {
    switch (state) {
        case LinkState::Up:
            return Tr("up");
        case LinkState::Down:
            return Tr("down");
        case LinkState::Unknown:
            break;
    }
    return Tr("unknown");
}

std::string DescribeDevice(const std::string& name) {
    if (!PlausibleName(name)) return {};
    UniqueFd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    std::string description = DriverName(sock.get(), name);
    if (const auto speed = LinkSpeed(sock.get(), name)) {
        if (!description.empty()) description += ' ';
        description += std::to_string(*speed) + "Mb/s";
    }
    return description;
}

void DescribeDevices(std::vector<DeviceEntry>& devices) {
    for (DeviceEntry& device : devices) {
        if (device.description.empty()) device.description = DescribeDevice(device.name);
    }
}

std::optional<size_t> ChooseAdapter(
    const std::vector<DeviceEntry>& devices, size_t shownLines,
    const std::function<LinkState(const std::string& name)>& linkStateOfName) {
    if (!linkStateOfName) return std::nullopt;
    for (size_t i = 0; i < devices.size(); ++i) {
        const std::string& description = devices[i].description;
        // The description test is cheap; only candidates cost a question to the kernel.
        if (!ContainsCaseless(description, "gbe") && !ContainsCaseless(description, "1000")) {
            continue;
        }
        if (linkStateOfName(devices[i].name) != LinkState::Up) continue;
        // The first match decides; one beyond the shown lines is a second copy and no choice.
        if (i >= shownLines) return std::nullopt;
        return i;
    }
    return std::nullopt;
}

}  // namespace quorvex
