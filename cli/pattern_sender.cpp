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

namespace quorvex::cli {

namespace {

constexpr int kMaxUniverse = 0x7FFF;  // 15-bit Port-Address
constexpr size_t kEthernetHeader = 14;
constexpr size_t kIpHeader = 20;
constexpr size_t kUdpHeader = 8;
// Addresses written into capture files only: Art-Net's primary network, broadcast.
constexpr uint32_t kFileSourceIp = 0x02000001;  // 2.0.0.1
constexpr uint32_t kFileDestIp = 0x02FFFFFF;    // 2.255.255.255

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

std::optional<int> ParseNumber(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int v = std::stoi(text);
    if (v > kMaxUniverse) return std::nullopt;
    return v;
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

}  // namespace

std::optional<std::vector<int>> ParseUniverseList(const std::string& text, std::string* error) {
    std::vector<int> out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = Trim(text.substr(start, comma - start));
        const size_t dash = item.find('-');
        const auto first = ParseNumber(item.substr(0, dash));
        const auto last = dash == std::string::npos ? first : ParseNumber(item.substr(dash + 1));
        if (!first || !last || *last < *first) {
            if (error) {
                *error = "\"" + item + "\" is not a universe (0..32767) or a range like 0-5";
            }
            return std::nullopt;
        }
        for (int u = *first; u <= *last; ++u) out.push_back(u);
        start = comma + 1;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
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
    for (size_t i = 0; i < o.universes.size(); ++i) {
        const int u = o.universes[i];
        for (int c = 0; c < o.channels; ++c) {
            data[static_cast<size_t>(c)] = dark ? 0 : TestPatternByte(frame, u, c);
        }
        BuildArtDmxPayload(ArtSequenceOf(frame), u, data.data(), static_cast<uint16_t>(o.channels),
                           payloads[i]);
    }
    if (o.sync) BuildArtSyncPayload(payloads.back());
}

void BuildUdpFrame(const std::vector<uint8_t>& payload, uint32_t sourceIp, uint32_t destIp,
                   std::vector<uint8_t>& f) {
    const size_t ip = kEthernetHeader;
    const size_t udp = ip + kIpHeader;
    const size_t udpLength = kUdpHeader + payload.size();
    f.assign(udp + udpLength, 0);
    std::fill_n(f.begin(), 6, 0xFF);                                 // broadcast destination
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

    Put16(f, udp, 6454);
    Put16(f, udp + 2, 6454);
    Put16(f, udp + 4, static_cast<uint32_t>(udpLength));
    std::copy(payload.begin(), payload.end(), f.begin() + static_cast<long>(udp + kUdpHeader));
    // UDP checksum over the pseudo-header and the datagram; 0 goes on the wire as FFFF.
    uint32_t sum = SumWords(f, ip + 12, 8) + IPPROTO_UDP + static_cast<uint32_t>(udpLength);
    sum = Fold(sum + SumWords(f, udp, udpLength));
    const uint32_t check = ~sum & 0xFFFF;
    Put16(f, udp + 6, check ? check : 0xFFFF);
}

std::string WritePatternCapture(const std::string& path, const PatternOptions& o) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    if (!dead) return "cannot prepare a capture file";
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
        for (const auto& p : payloads) {
            BuildUdpFrame(p, kFileSourceIp, kFileDestIp, frame);
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
    return flushed ? "" : "cannot write " + path + ": " + std::strerror(errno);
}

std::string SendPattern(uint32_t target, const PatternOptions& o, const std::atomic<int>& stop,
                        uint32_t* framesSent) {
    *framesSent = 0;
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return std::string("cannot open a UDP socket: ") + std::strerror(errno);
    const int yes = 1;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kArtNetPort);
    to.sin_addr.s_addr = htonl(target);

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration<double>(1.0 / o.fps);
    const auto start = Clock::now();
    std::vector<std::vector<uint8_t>> payloads;
    std::string error;
    for (uint32_t f = 1; f <= o.frames && error.empty(); ++f) {
        // Absolute deadlines: a late frame does not delay the ones after it.
        const auto due = start + std::chrono::duration_cast<Clock::duration>(period * (f - 1));
        while (!stop.load() && Clock::now() < due) {
            std::this_thread::sleep_until(
                std::min(due, Clock::now() + std::chrono::milliseconds(50)));
        }
        if (stop.load()) break;
        BuildPatternFrame(o, f, payloads);
        for (const auto& p : payloads) {
            if (sendto(s, p.data(), p.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                       sizeof to) < 0) {
                error = std::string("sending failed: ") + std::strerror(errno);
                break;
            }
        }
        if (error.empty()) *framesSent = f;
    }
    close(s);
    return error;
}

std::optional<uint32_t> SendTarget(const std::string& target, bool allowNetwork,
                                   const std::string& what, std::string* why, int* exitCode) {
    const auto address = ParseIpv4(target);
    if (!address) {
        *why = "--target needs an IPv4 address like 127.0.0.1, not \"" + target + "\"";
        *exitCode = kExitUsage;
        return std::nullopt;
    }
    if (!IsLoopback(*address) && !allowNetwork) {
        *why = "refusing to send to " + target + ": " + what +
               " must not reach a real show network by accident. Targets outside 127.0.0.0/8 "
               "need --allow-network.";
        *exitCode = kExitRefused;
        return std::nullopt;
    }
    return address;
}

}  // namespace quorvex::cli
