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
};

// sACN universe N is recorded as N - 1 by default: sACN counts from 1, Art-Net from 0.
inline constexpr int kDefaultSacnOffset = 1;

inline const char* ProtocolName(Protocol p) { return p == Protocol::Sacn ? "sACN" : "Art-Net"; }

}  // namespace quorvex
