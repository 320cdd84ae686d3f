#pragma once
// The test-pattern sender: the traffic of cli/test_pattern.h as Art-Net or sACN (ANSI E1.31)
// UDP datagrams on the network or as frames of a capture file.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/frame_layout.h"
#include "capture/sacn_packet.h"

namespace quorvex::cli {

enum class PatternProtocol { ArtNet, Sacn };

inline constexpr uint16_t kSacnPort = 5568;
inline constexpr int kSacnMaxUniverse = 63999;

struct PatternOptions {
    PatternProtocol protocol = PatternProtocol::ArtNet;
    std::vector<int> universes{0, 1, 2, 3, 4, 5};
    int channels = 512;
    double fps = 40;
    uint32_t frames = 200;    // 0: until stopped
    bool sync = false;        // ArtSync, or an sACN synchronization packet, after each frame
    uint32_t darkFrames = 0;  // the first frames carry only zeros: a show before its first light
    bool artSequence = true;  // false: every ArtDmx carries Sequence 0 (sequencing off)
    // sACN universe = pattern universe + sacnOffset: sACN counts from 1, and the recorder
    // takes sACN universe N as universe N - 1 by default.
    int sacnOffset = 1;
    int syncAddress = 0;  // sACN with sync: the sync universe; 0 means the first sACN universe
};

// Why `options` cannot be sent (an sACN universe or sync address outside 1..63999), or empty.
std::string PatternProblem(const PatternOptions& options);
// The sACN universe (or the sync address) that packet `index` of BuildPatternFrame carries.
int SacnUniverseOf(const PatternOptions& options, size_t index);
// The multicast group of sACN universe `universe`: 239.255.hi.lo.

// Dotted IPv4 text to a host-order address.
std::optional<uint32_t> ParseIpv4(const std::string& text);
inline bool IsLoopback(uint32_t address) { return (address >> 24) == 127; }
// The address `target` names, when Art-Net may go there: anything outside 127.0.0.0/8 only
// with `allowNetwork`, so that `what` ("test traffic") never reaches a show network by
// accident. Otherwise the reason, and in `exitCode` kExitUsage or kExitRefused.
std::optional<uint32_t> SendTarget(const std::string& target, bool allowNetwork,
                                   const std::string& what, std::string* why, int* exitCode);

// The UDP payloads of frame `frame` (from 1): one ArtDmx or sACN data packet per universe,
// then with `sync` an ArtSync or sACN synchronization packet.
void BuildPatternFrame(const PatternOptions& options, uint32_t frame,
                       std::vector<std::vector<uint8_t>>& payloads);

// An Ethernet II / IPv4 / UDP frame (`port` to `port`) around `payload`; a multicast
// `destIp` gets its multicast MAC, anything else the broadcast MAC.
void BuildUdpFrame(const std::vector<uint8_t>& payload, uint32_t sourceIp, uint32_t destIp,
                   std::vector<uint8_t>& frame, uint16_t port = 6454);

// Where the datagrams go: `address`, or without one each sACN universe's multicast group
// (Art-Net's broadcast 2.255.255.255 in capture files). Multicast stays on this host (the
// loopback device, TTL 0) unless `leaveHost`, which sends it by the routing table, TTL 1.
struct PatternDestination {
    std::optional<uint32_t> address;
    bool leaveHost = false;
};

// Writes the traffic into a pcap file, frames `1/fps` apart. Empty, or the reason it failed.
std::string WritePatternCapture(const std::string& path, const PatternOptions& options,
                                const PatternDestination& destination = {});

// Sends the traffic to port 6454 (Art-Net) or 5568 (sACN) paced at the frame rate until done
// or `stop` is set. Empty, or the reason it failed; `framesSent` counts whole frames sent.
// `progress` hears the count after each frame.
std::string SendPattern(const PatternDestination& destination, const PatternOptions& options,
                        const std::atomic<int>& stop, uint32_t* framesSent,
                        const std::function<void(uint32_t framesSent)>& progress = {});

}  // namespace quorvex::cli
