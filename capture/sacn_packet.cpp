#include "capture/sacn_packet.h"

#include <cstring>

namespace quorvex {

namespace {
constexpr size_t kEthernetHeader = 14;
constexpr size_t kIpv4MinHeader = 20;
constexpr size_t kUdpHeader = 8;
constexpr uint16_t kEtherTypeIpv4 = 0x0800;
constexpr uint8_t kProtocolUdp = 17;

constexpr uint8_t kAcnId[12] = {'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0};
constexpr uint32_t kRootData = 0x00000004;
constexpr uint32_t kRootExtended = 0x00000008;
constexpr uint32_t kFramingData = 0x00000002;
constexpr uint32_t kFramingSync = 0x00000001;
constexpr uint8_t kDmpSetProperty = 0x02;
constexpr uint8_t kDmpAddressType = 0xA1;

// Offsets within the UDP payload.
constexpr size_t kPreamble = 0;
constexpr size_t kPostamble = 2;
constexpr size_t kAcnIdAt = 4;
constexpr size_t kRoot = 16;  // root flags & length
constexpr size_t kRootVector = 18;
constexpr size_t kCid = 22;
constexpr size_t kFraming = 38;
constexpr size_t kFramingVector = 40;
// Data framing layer.
constexpr size_t kSourceName = 44;
constexpr size_t kPriority = 108;
constexpr size_t kSyncAddress = 109;
constexpr size_t kSequence = 111;
constexpr size_t kOptions = 112;
constexpr size_t kUniverse = 113;
// DMP layer.
constexpr size_t kDmp = 115;
constexpr size_t kDmpVector = 117;
constexpr size_t kAddressType = 118;
constexpr size_t kFirstAddress = 119;
constexpr size_t kIncrement = 121;
constexpr size_t kValueCount = 123;
constexpr size_t kStartCode = 125;
constexpr size_t kChannels = 126;
// Synchronization framing layer.
constexpr size_t kSyncSequence = 44;
constexpr size_t kSyncSyncAddress = 45;
constexpr size_t kSyncEnd = 49;  // after the two reserved bytes

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Where the PDU whose flags & length field is at `at` ends, or 0 if its flags are not 0x7.
size_t PduEnd(const uint8_t* payload, size_t at) {
    const uint16_t v = Be16(payload + at);
    return (v >> 12) == 0x7 ? at + (v & 0x0FFF) : 0;
}

bool ValidUniverse(uint16_t u) { return u >= 1 && u <= kSacnMaxUniverse; }
}  // namespace

SacnKind FindSacnPacket(const uint8_t* frame, size_t captured, size_t wireLength, SacnPacket* out) {
    if (captured > wireLength) captured = wireLength;
    if (captured < kEthernetHeader + kIpv4MinHeader) return SacnKind::None;
    if (Be16(frame + 12) != kEtherTypeIpv4) return SacnKind::None;
    const uint8_t* ip = frame + kEthernetHeader;
    if ((ip[0] >> 4) != 4) return SacnKind::None;
    const size_t ihl = (ip[0] & 0x0F) * size_t{4};
    const size_t total = Be16(ip + 2);
    // The whole datagram must be present; Ethernet padding may follow it.
    if (ihl < kIpv4MinHeader || total < ihl + kUdpHeader || kEthernetHeader + total > captured)
        return SacnKind::None;
    if ((Be16(ip + 6) & 0x3FFF) != 0) return SacnKind::None;  // more fragments or an offset
    if (ip[9] != kProtocolUdp) return SacnKind::None;

    const uint8_t* udp = ip + ihl;
    if (Be16(udp + 2) != kSacnPort) return SacnKind::None;
    const size_t udpLength = Be16(udp + 4);
    if (udpLength < kUdpHeader || udpLength > total - ihl) return SacnKind::None;
    const uint8_t* p = udp + kUdpHeader;
    const size_t size = udpLength - kUdpHeader;

    // Root layer. Its end bounds every inner layer; bytes after it are ignored.
    if (size < kSyncEnd) return SacnKind::None;
    if (Be16(p + kPreamble) != 0x0010 || Be16(p + kPostamble) != 0x0000 ||
        std::memcmp(p + kAcnIdAt, kAcnId, sizeof kAcnId) != 0)
        return SacnKind::None;
    const size_t end = PduEnd(p, kRoot);
    if (end == 0 || end > size || PduEnd(p, kFraming) != end) return SacnKind::None;
    const uint32_t rootVector = Be32(p + kRootVector);
    const uint32_t framingVector = Be32(p + kFramingVector);

    SacnPacket r;
    if (rootVector == kRootExtended && framingVector == kFramingSync) {
        if (end != kSyncEnd) return SacnKind::None;
        r.kind = SacnKind::Sync;
        r.sequence = p[kSyncSequence];
        r.syncAddress = Be16(p + kSyncSyncAddress);
        if (!ValidUniverse(r.syncAddress)) return SacnKind::None;
    } else if (rootVector == kRootData && framingVector == kFramingData) {
        if (end < kChannels || PduEnd(p, kDmp) != end) return SacnKind::None;
        if (p[kDmpVector] != kDmpSetProperty || p[kAddressType] != kDmpAddressType ||
            Be16(p + kFirstAddress) != 0x0000 || Be16(p + kIncrement) != 0x0001)
            return SacnKind::None;
        // The start code counts as the first property value.
        const size_t values = Be16(p + kValueCount);
        if (kStartCode + values != end || values > size_t{kSacnMaxChannels} + 1)
            return SacnKind::None;
        r.kind = SacnKind::Data;
        r.universe = Be16(p + kUniverse);
        r.priority = p[kPriority];
        if (!ValidUniverse(r.universe) || r.priority > kSacnMaxPriority) return SacnKind::None;
        r.sequence = p[kSequence];
        r.options = p[kOptions];
        r.syncAddress = Be16(p + kSyncAddress);
        r.preview = (r.options & kSacnOptionPreview) != 0;
        r.terminated = (r.options & kSacnOptionTerminated) != 0;
        r.startCode = p[kStartCode];
        r.data = p + kChannels;
        r.length = static_cast<uint16_t>(values - 1);
        r.sourceName = p + kSourceName;
    } else {
        return SacnKind::None;
    }
    if (out) {
        r.sourceIp = Be32(ip + 12);
        std::memcpy(r.cid, p + kCid, sizeof r.cid);
        *out = r;
    }
    return r.kind;
}

}  // namespace quorvex
