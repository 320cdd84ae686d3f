#pragma once
// Recognising sACN (E1.31) data and synchronization packets in captured Ethernet frames.

#include <cstddef>
#include <cstdint>

namespace quorvex {

inline constexpr uint16_t kSacnPort = 5568;
inline constexpr uint16_t kSacnMaxChannels = 512;
inline constexpr uint16_t kSacnMaxUniverse = 63999;
inline constexpr uint8_t kSacnMaxPriority = 200;
inline constexpr size_t kSacnSourceNameSize = 64;

// Option bits of a data packet.
inline constexpr uint8_t kSacnOptionPreview = 0x80;
inline constexpr uint8_t kSacnOptionTerminated = 0x40;
inline constexpr uint8_t kSacnOptionForceSync = 0x20;

// The multicast group an sACN universe is sent to: 239.255.hi.lo (host byte order).
inline uint32_t SacnGroup(int universe) { return 0xEFFF0000u | static_cast<uint32_t>(universe); }

enum class SacnKind { Data, Sync, None };

struct SacnPacket {
    SacnKind kind = SacnKind::None;
    uint16_t universe = 0;  // 1..63999 for Data, 0 for Sync
    uint8_t sequence = 0;
    uint8_t priority = 0;      // 0..200, Data only
    uint8_t options = 0;       // Data only, as sent
    uint16_t syncAddress = 0;  // 0 in Data means "not synchronized"; 1..63999 in Sync
    bool preview = false;
    bool terminated = false;
    uint8_t startCode = 0;
    const uint8_t* data = nullptr;  // channel bytes after the start code, inside the frame
    uint16_t length = 0;            // channel count, 0..512
    // The 64-byte source name field inside the frame (NUL-padded UTF-8, maybe unterminated).
    const uint8_t* sourceName = nullptr;
    uint32_t sourceIp = 0;  // IPv4 source address, host byte order
    uint8_t cid[16] = {};
};

// Recognises one Ethernet II / IPv4 / UDP frame sent to port 5568. `captured` is how many bytes
// of the frame are present, `wireLength` its length on the wire. Every length field must agree
// with the IPv4, UDP and enclosing layer lengths and lie inside the present bytes; anything
// else gives SacnKind::None and leaves `out` untouched. `out` may be null to only classify.
// Every start code is reported as sent; which ones to record is the caller's choice.
SacnKind FindSacnPacket(const uint8_t* frame, size_t captured, size_t wireLength, SacnPacket* out);

}  // namespace quorvex
