#pragma once

#include <cstdint>

namespace quorvex {

// The protocols a show may come in.
enum class Protocol : uint8_t { ArtNet, Sacn };

// What the packet last returned was, beyond its record. An sACN data packet comes as a record
// shaped like an ArtDmx one: its universe less the sACN offset, its sequence and its channels.
struct PacketFacts {
    Protocol protocol = Protocol::ArtNet;
    // sACN: the synchronization address a data packet names (0: none), or that a
    // synchronization packet carries.
    uint16_t syncAddress = 0;
    // False for data that is not recorded: another start code than 0, preview data, or a
    // stream-terminated packet; such a record carries no channels.
    bool recordable = true;
    bool terminated = false;
    // Who sent it: the IPv4 address for Art-Net, the source's identity (its CID) for sACN; see
    // SourceDirectory.
    uint32_t sender = 0;
    uint32_t address = 0;       // IPv4 source address, host byte order
    uint8_t priority = 100;     // sACN data: 0..200
    uint16_t sentUniverse = 0;  // sACN: the universe as sent, before the offset
    uint8_t sequence = 0;       // sACN synchronization packets: their sequence number
};

// sACN universe N is recorded as N - 1 by default: sACN counts from 1, Art-Net from 0.
inline constexpr int kDefaultSacnOffset = 1;

inline const char* ProtocolName(Protocol p) { return p == Protocol::Sacn ? "sACN" : "Art-Net"; }

}  // namespace quorvex
