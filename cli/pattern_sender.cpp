#include "cli/pattern_sender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "capture/art_packet.h"
#include "cli/exit_codes.h"
#include "cli/test_pattern.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex::cli {

namespace {

constexpr size_t kEthernetHeader = 14;
constexpr size_t kIpHeader = 20;
constexpr size_t kUdpHeader = 8;
// Addresses written into capture files only: Art-Net's primary network, broadcast.
constexpr uint32_t kFileSourceIp = 0x02000001;  // 2.0.0.1
constexpr uint32_t kFileDestIp = 0x02FFFFFF;    // 2.255.255.255

// sACN: this sender's CID, fixed so that receivers see one source across runs.
constexpr uint8_t kSacnCid[16] = {0x34, 0x27, 0x79, 0x25, 0x6c, 0xb2, 0x44, 0xea,
                                  0xb4, 0x0c, 0xa2, 0x20, 0xa0, 0x15, 0xb9, 0x4d};
constexpr char kSacnSourceName[] = "quorvex-cli";
constexpr size_t kSacnFramingAt = 38;
constexpr size_t kSacnDmpAt = 115;
constexpr size_t kSacnDataHeader = 126;  // up to and including the start code
constexpr size_t kSacnSyncSize = 49;

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>((v >> 8) & 0xFF);
    b[at + 1] = static_cast<uint8_t>(v & 0xFF);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v >> 16);
    Put16(b, at + 2, v & 0xFFFF);
}

uint32_t Fold(uint32_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

uint32_t SumWords(const std::vector<uint8_t>& b, size_t from, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += (b[from + i] << 8) | b[from + i + 1];
    if (length % 2) sum += b[from + length - 1] << 8;
    return Fold(sum);
}

// Flags 0x7 and the length of a PDU from `at` to the end of `b`.
void PutPduLength(std::vector<uint8_t>& b, size_t at) {
    Put16(b, at, 0x7000u | static_cast<uint32_t>(b.size() - at));
}

// The root layer shared by data and synchronization packets, sized `size`.
void StartSacnPacket(size_t size, uint32_t rootVector, std::vector<uint8_t>& b) {
    b.assign(size, 0);
    Put16(b, 0, 0x0010);  // preamble size; the post-amble size stays 0
    static constexpr char kId[] = "ASC-E1.17";
    std::copy(kId, kId + 9, b.begin() + 4);  // then three zeros
    PutPduLength(b, 16);
    Put32(b, 18, rootVector);
    std::copy(kSacnCid, kSacnCid + 16, b.begin() + 22);
}

void BuildSacnDataPayload(uint8_t sequence, int universe, int syncAddress, const uint8_t* data,
                          size_t length, std::vector<uint8_t>& b) {
    StartSacnPacket(kSacnDataHeader + length, 0x00000004, b);
    const size_t f = kSacnFramingAt;
    PutPduLength(b, f);
    Put32(b, f + 2, 0x00000002);
    std::copy(kSacnSourceName, kSacnSourceName + sizeof kSacnSourceName - 1, b.begin() + f + 6);
    b[f + 70] = 100;  // priority
    Put16(b, f + 71, static_cast<uint32_t>(syncAddress));
    b[f + 73] = sequence;
    b[f + 74] = 0;  // options: no preview, not terminated
    Put16(b, f + 75, static_cast<uint32_t>(universe));
    const size_t d = kSacnDmpAt;
    PutPduLength(b, d);
    b[d + 2] = 0x02;  // set property
    b[d + 3] = 0xA1;  // address and data types
    Put16(b, d + 4, 0);
    Put16(b, d + 6, 1);
    Put16(b, d + 8, static_cast<uint32_t>(length + 1));
    b[d + 10] = 0x00;  // start code: dimmer data
    std::copy(data, data + length, b.begin() + static_cast<long>(kSacnDataHeader));
}

void BuildSacnSyncPayload(uint8_t sequence, int syncAddress, std::vector<uint8_t>& b) {
    StartSacnPacket(kSacnSyncSize, 0x00000008, b);
    const size_t f = kSacnFramingAt;
    PutPduLength(b, f);
    Put32(b, f + 2, 0x00000001);
    b[f + 6] = sequence;
    Put16(b, f + 7, static_cast<uint32_t>(syncAddress));
}

bool IsSacn(const PatternOptions& o) { return o.protocol == PatternProtocol::Sacn; }

int SyncAddressOf(const PatternOptions& o) {
    if (o.syncAddress) return o.syncAddress;
    return o.universes.empty() ? 0 : o.universes.front() + o.sacnOffset;
}

}  // namespace

std::string PatternProblem(const PatternOptions& o) {
    if (!IsSacn(o)) return {};
    for (const int u : o.universes) {
        const int s = u + o.sacnOffset;
        if (s < 1 || s > kSacnMaxUniverse) {
            return Format(Tr("universe %d + --sacn-offset %d is sACN universe %d, outside "
                             "1..63999"),
                          u, o.sacnOffset, s);
        }
    }
    const int sync = SyncAddressOf(o);
    if (o.sync && (sync < 1 || sync > kSacnMaxUniverse)) {
        return Format(Tr("--sync-address %d is outside 1..63999"), sync);
    }
    return {};
}

int SacnUniverseOf(const PatternOptions& o, size_t index) {
    return index < o.universes.size() ? o.universes[index] + o.sacnOffset : SyncAddressOf(o);
}

std::optional<uint32_t> ParseIpv4(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
    return ntohl(a.s_addr);
}

void BuildPatternFrame(const PatternOptions& o, uint32_t frame,
                       std::vector<std::vector<uint8_t>>& payloads) {
    payloads.resize(o.universes.size() + (o.sync ? 1 : 0));
    std::vector<uint8_t> data(static_cast<size_t>(o.channels));
    const bool dark = frame <= o.darkFrames;
    // One packet per universe and frame, so each universe's sACN count is the frame's.
    const uint8_t sacnSequence = SacnSequenceOf(frame);
    const int syncAddress = o.sync ? SyncAddressOf(o) : 0;
    for (size_t i = 0; i < o.universes.size(); ++i) {
        const int u = o.universes[i];
        for (int c = 0; c < o.channels; ++c) {
            data[static_cast<size_t>(c)] = dark ? 0 : TestPatternByte(frame, u, c);
        }
        if (IsSacn(o)) {
            BuildSacnDataPayload(sacnSequence, u + o.sacnOffset, syncAddress, data.data(),
                                 data.size(), payloads[i]);
        } else {
            BuildArtDmxPayload(o.artSequence ? ArtSequenceOf(frame) : 0, u, data.data(),
                               static_cast<uint16_t>(o.channels), payloads[i]);
        }
    }
    if (!o.sync) return;
    if (IsSacn(o)) {
        BuildSacnSyncPayload(sacnSequence, syncAddress, payloads.back());
    } else {
        BuildArtSyncPayload(payloads.back());
    }
}

void BuildUdpFrame(const std::vector<uint8_t>& payload, uint32_t sourceIp, uint32_t destIp,
                   std::vector<uint8_t>& f, uint16_t port) {
    const size_t ip = kEthernetHeader;
    const size_t udp = ip + kIpHeader;
    const size_t udpLength = kUdpHeader + payload.size();
    f.assign(udp + udpLength, 0);
    if ((destIp >> 28) == 0xE) {
        // 01:00:5e and the group's low 23 bits.
        const uint8_t group[6] = {0x01,
                                  0x00,
                                  0x5E,
                                  static_cast<uint8_t>((destIp >> 16) & 0x7F),
                                  static_cast<uint8_t>(destIp >> 8),
                                  static_cast<uint8_t>(destIp)};
        std::copy(group, group + 6, f.begin());
    } else {
        std::fill_n(f.begin(), 6, 0xFF);  // broadcast destination
    }
    const uint8_t source[6] = {0x02, 0x51, 0x56, 0x00, 0x00, 0x01};  // locally administered
    std::copy(source, source + 6, f.begin() + 6);
    Put16(f, 12, 0x0800);

    f[ip] = 0x45;
    Put16(f, ip + 2, static_cast<uint32_t>(kIpHeader + udpLength));
    f[ip + 8] = 64;  // TTL
    f[ip + 9] = IPPROTO_UDP;
    Put32(f, ip + 12, sourceIp);
    Put32(f, ip + 16, destIp);
    Put16(f, ip + 10, ~SumWords(f, ip, kIpHeader) & 0xFFFF);

    Put16(f, udp, port);
    Put16(f, udp + 2, port);
    Put16(f, udp + 4, static_cast<uint32_t>(udpLength));
    std::copy(payload.begin(), payload.end(), f.begin() + static_cast<long>(udp + kUdpHeader));
    // UDP checksum over the pseudo-header and the datagram; 0 goes on the wire as FFFF.
    uint32_t sum = SumWords(f, ip + 12, 8) + IPPROTO_UDP + static_cast<uint32_t>(udpLength);
    sum = Fold(sum + SumWords(f, udp, udpLength));
    const uint32_t check = ~sum & 0xFFFF;
    Put16(f, udp + 6, check ? check : 0xFFFF);
}

std::string WritePatternCapture(const std::string& path, const PatternOptions& o,
                                const PatternDestination& to) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    if (!dead) return Tr("cannot prepare a capture file");
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    if (!dumper) {
        std::string error = pcap_geterr(dead);
        pcap_close(dead);
        return error;
    }
    // Frame f is stamped (f - 1) / fps after the start; its packets 1 us apart, in order.
    const uint64_t startUs = static_cast<uint64_t>(std::time(nullptr)) * 1000000u;
    std::vector<std::vector<uint8_t>> payloads;
    std::vector<uint8_t> frame;
    for (uint32_t f = 1; f <= o.frames; ++f) {
        BuildPatternFrame(o, f, payloads);
        uint64_t ts = startUs + static_cast<uint64_t>((f - 1) * 1e6 / o.fps);
        for (size_t i = 0; i < payloads.size(); ++i) {
            const uint32_t dest = to.address  ? *to.address
                                  : IsSacn(o) ? SacnGroup(SacnUniverseOf(o, i))
                                              : kFileDestIp;
            BuildUdpFrame(payloads[i], kFileSourceIp, dest, frame,
                          IsSacn(o) ? kSacnPort : kArtNetPort);
            pcap_pkthdr h{};
            h.ts.tv_sec = static_cast<time_t>(ts / 1000000u);
            h.ts.tv_usec = static_cast<suseconds_t>(ts % 1000000u);
            h.caplen = h.len = static_cast<bpf_u_int32>(frame.size());
            pcap_dump(reinterpret_cast<u_char*>(dumper), &h, frame.data());
            ++ts;
        }
    }
    const bool flushed = pcap_dump_flush(dumper) == 0;
    pcap_dump_close(dumper);
    pcap_close(dead);
    return flushed ? "" : Format(Tr("cannot write %s: %s"), path.c_str(), std::strerror(errno));
}

std::string SendPattern(const PatternDestination& destination, const PatternOptions& o,
                        const std::atomic<int>& stop, uint32_t* framesSent,
                        const std::function<void(uint32_t framesSent)>& progress) {
    *framesSent = 0;
    const bool multicast = !destination.address;
    if (multicast && !IsSacn(o)) return Tr("Art-Net needs a target address");
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return Format(Tr("cannot open a UDP socket: %s"), std::strerror(errno));
    const int yes = 1;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
    if (multicast) {
        // Kept on this host unless asked: out of the loopback device only, and TTL 0 so that
        // no router forwards it even so; looped back to local receivers.
        const bool leave = destination.leaveHost;
        const uint8_t ttl = leave ? 1 : 0;
        const uint8_t loop = 1;
        in_addr loopback{};
        loopback.s_addr = htonl(INADDR_LOOPBACK);
        if (setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0 ||
            setsockopt(s, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0 ||
            (!leave && setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback))) {
            const std::string error =
                Format(Tr("cannot set up multicast on this host: %s"), std::strerror(errno));
            close(s);
            return error;
        }
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(IsSacn(o) ? kSacnPort : kArtNetPort);
    if (!multicast) to.sin_addr.s_addr = htonl(*destination.address);

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration<double>(1.0 / o.fps);
    const auto start = Clock::now();
    std::vector<std::vector<uint8_t>> payloads;
    std::string error;
    for (uint32_t f = 1; (o.frames == 0 || f <= o.frames) && error.empty(); ++f) {
        // Absolute deadlines: a late frame does not delay the ones after it.
        const auto due = start + std::chrono::duration_cast<Clock::duration>(period * (f - 1));
        while (!stop.load() && Clock::now() < due) {
            std::this_thread::sleep_until(
                std::min(due, Clock::now() + std::chrono::milliseconds(50)));
        }
        if (stop.load()) break;
        BuildPatternFrame(o, f, payloads);
        for (size_t i = 0; i < payloads.size(); ++i) {
            const auto& p = payloads[i];
            if (multicast) to.sin_addr.s_addr = htonl(SacnGroup(SacnUniverseOf(o, i)));
            if (sendto(s, p.data(), p.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                       sizeof to) < 0) {
                error = Format(Tr("sending failed: %s"), std::strerror(errno));
                break;
            }
        }
        if (!error.empty()) break;
        *framesSent = f;
        if (progress) progress(f);
    }
    close(s);
    return error;
}

std::optional<uint32_t> SendTarget(const std::string& target, bool allowNetwork,
                                   const std::string& what, std::string* why, int* exitCode) {
    const auto address = ParseIpv4(target);
    if (!address) {
        *why =
            Format(Tr("--target needs an IPv4 address like 127.0.0.1, not \"%s\""), target.c_str());
        *exitCode = kExitUsage;
        return std::nullopt;
    }
    if (!IsLoopback(*address) && !allowNetwork) {
        *why = Format(Tr("refusing to send to %s: %s must not reach a real show network by "
                         "accident. Targets outside 127.0.0.0/8 need --allow-network."),
                      target.c_str(), what.c_str());
        *exitCode = kExitRefused;
        return std::nullopt;
    }
    return address;
}

}  // namespace quorvex::cli
