#pragma once
// The test-pattern sender: the traffic of cli/test_pattern.h as UDP datagrams on the network
// or as frames of a capture file.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvex::cli {

struct PatternOptions {
    std::vector<int> universes{0, 1, 2, 3, 4, 5};
    int channels = 512;
    double fps = 40;
    uint32_t frames = 200;
    bool sync = false;        // ArtSync after each frame
    uint32_t darkFrames = 0;  // the first frames carry only zeros: a show before its first light
};

// "0-5,8,10": ascending and without repeats, each 0..32767. Nothing, with the reason in
// `error`, for anything else.
std::optional<std::vector<int>> ParseUniverseList(const std::string& text, std::string* error);

// Dotted IPv4 text to a host-order address.
std::optional<uint32_t> ParseIpv4(const std::string& text);
inline bool IsLoopback(uint32_t address) { return (address >> 24) == 127; }
// The address `target` names, when Art-Net may go there: anything outside 127.0.0.0/8 only
// with `allowNetwork`, so that `what` ("test traffic") never reaches a show network by
// accident. Otherwise the reason, and in `exitCode` kExitUsage or kExitRefused.
std::optional<uint32_t> SendTarget(const std::string& target, bool allowNetwork,
                                   const std::string& what, std::string* why, int* exitCode);

// The UDP payloads of frame `frame` (from 1): one ArtDmx per universe, then an ArtSync.
void BuildPatternFrame(const PatternOptions& options, uint32_t frame,
                       std::vector<std::vector<uint8_t>>& payloads);

// An Ethernet II / IPv4 / UDP frame (port 6454 to 6454) around `payload`.
void BuildUdpFrame(const std::vector<uint8_t>& payload, uint32_t sourceIp, uint32_t destIp,
                   std::vector<uint8_t>& frame);

// Writes the traffic into a pcap file, frames `1/fps` apart. Empty, or the reason it failed.
std::string WritePatternCapture(const std::string& path, const PatternOptions& options);

// Sends the traffic to `target`:6454 paced at the frame rate until done or `stop` is set.
// Empty, or the reason it failed; `framesSent` counts whole frames sent.
std::string SendPattern(uint32_t target, const PatternOptions& options,
                        const std::atomic<int>& stop, uint32_t* framesSent);

}  // namespace quorvex::cli
