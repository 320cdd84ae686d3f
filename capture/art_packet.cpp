#include "capture/art_packet.h"

#include <cstring>

namespace quorvex {

namespace {
constexpr size_t kEthernetHeader = 14;
constexpr size_t kIpv4Source = 12;  // source address within the IPv4 header
constexpr size_t kUdpHeader = 8;
constexpr uint8_t kArtNetId[8] = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
constexpr size_t kDmxDataOffset = 18;  // Data within the UDP payload
constexpr size_t kRecordStart = 10;    // ProtVerHi within the UDP payload
}  // namespace

ArtKind FindArtRecord(const uint8_t* frame, size_t captured, size_t wireLength,
                      const uint8_t** record, uint16_t* recordLength, uint32_t* sourceIp) {
    if (captured > wireLength) captured = wireLength;
    if (captured <= kEthernetHeader) return ArtKind::None;
    const size_t ihl = frame[kEthernetHeader] & 0x0F;
    if (ihl < 5) return ArtKind::None;
    const size_t h = ihl * 4;
    const size_t payloadStart = kEthernetHeader + h + kUdpHeader;
    // Payload length from the wire length; every read below is also bounded by `captured`.
    if (wireLength < payloadStart) return ArtKind::None;
    const size_t payloadLen = wireLength - payloadStart;
    if (payloadLen < 11 || payloadLen > 599) return ArtKind::None;
    if (captured < payloadStart + 10) return ArtKind::None;

    const uint8_t* udp = frame + kEthernetHeader + h;
    if (((udp[2] << 8) | udp[3]) != kArtNetPort) return ArtKind::None;
    const uint8_t* art = udp + kUdpHeader;
    if (std::memcmp(art, kArtNetId, sizeof kArtNetId) != 0 || art[8] != 0) return ArtKind::None;

    // Present: the payload check above reaches past the IPv4 header.
    const uint8_t* source = frame + kEthernetHeader + kIpv4Source;
    const uint32_t sender = (uint32_t{source[0]} << 24) | (uint32_t{source[1]} << 16) |
                            (uint32_t{source[2]} << 8) | uint32_t{source[3]};
    if (art[9] == 0x52) {
        *recordLength = 0;
        if (sourceIp) *sourceIp = sender;
        return ArtKind::Sync;
    }
    if (art[9] != 0x50) return ArtKind::None;
    if (captured < payloadStart + kDmxDataOffset) return ArtKind::None;
    const size_t n = (static_cast<size_t>(art[16]) << 8) | art[17];
    // A receiver would overrun its universe with more than 512 channels.
    if (n < kArtMinLength || n > kArtMaxLength) return ArtKind::Malformed;
    const size_t copy = n + kArtRecordHeader;
    // A Length that runs past the captured bytes or the record is not trusted.
    if (payloadStart + kRecordStart + copy > captured || copy > kArtRecordSize)
        return ArtKind::None;
    *record = art + kRecordStart;
    *recordLength = static_cast<uint16_t>(copy);
    if (sourceIp) *sourceIp = sender;
    return ArtKind::Dmx;
}

bool FindArtPollReply(const uint8_t* frame, size_t captured, size_t wireLength, uint32_t* sourceIp,
                      const uint8_t** shortName) {
    constexpr size_t kShortName = 26;  // within the UDP payload
    if (captured > wireLength) captured = wireLength;
    if (captured <= kEthernetHeader) return false;
    const size_t ihl = frame[kEthernetHeader] & 0x0F;
    if (ihl < 5) return false;
    const size_t payloadStart = kEthernetHeader + ihl * 4 + kUdpHeader;
    if (captured < payloadStart + kShortName + kArtShortNameSize) return false;
    const uint8_t* udp = frame + kEthernetHeader + ihl * 4;
    if (((udp[0] << 8) | udp[1]) != kArtNetPort && ((udp[2] << 8) | udp[3]) != kArtNetPort) {
        return false;
    }
    const uint8_t* art = udp + kUdpHeader;
    if (std::memcmp(art, kArtNetId, sizeof kArtNetId) != 0 || art[8] != 0x00 || art[9] != 0x21) {
        return false;
    }
    const uint8_t* source = frame + kEthernetHeader + kIpv4Source;
    *sourceIp = (uint32_t{source[0]} << 24) | (uint32_t{source[1]} << 16) |
                (uint32_t{source[2]} << 8) | uint32_t{source[3]};
    *shortName = art + kShortName;
    return true;
}

ArtKind RecognizeArtFrame(const uint8_t* frame, size_t captured, size_t wireLength, uint8_t* record,
                          uint16_t* recordLength, uint32_t* sourceIp) {
    const uint8_t* found = nullptr;
    const ArtKind kind = FindArtRecord(frame, captured, wireLength, &found, recordLength, sourceIp);
    if (kind == ArtKind::Dmx) std::memcpy(record, found, *recordLength);
    return kind;
}

}  // namespace quorvex

namespace quorvex {

void BuildArtDmxPayload(uint8_t sequence, int universe, const uint8_t* data, uint16_t length,
                        std::vector<uint8_t>& out) {
    out.assign(kArtNetId, kArtNetId + sizeof kArtNetId);
    const uint8_t header[] = {0x00,
                              0x50,  // OpDmx, little-endian
                              0,
                              14,  // protocol version
                              sequence,
                              0,  // physical
                              static_cast<uint8_t>(universe & 0xFF),
                              static_cast<uint8_t>((universe >> 8) & 0x7F),
                              static_cast<uint8_t>(length >> 8),
                              static_cast<uint8_t>(length & 0xFF)};
    out.insert(out.end(), header, header + sizeof header);
    if (length) out.insert(out.end(), data, data + length);
}

void BuildArtSyncPayload(std::vector<uint8_t>& out) {
    out.assign(kArtNetId, kArtNetId + sizeof kArtNetId);
    const uint8_t rest[] = {0x00, 0x52, 0, 14, 0, 0};
    out.insert(out.end(), rest, rest + sizeof rest);
}

}  // namespace quorvex
