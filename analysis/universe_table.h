#pragma once
// The universes of a recording and where each one's bytes sit in a frame.

#include <cstdint>
#include <vector>

#include "capture/protocol.h"

namespace quorvex {

struct UniverseSlot {
    int32_t universe = 0;  // 15-bit Art-Net Port-Address, or sACN universe less the offset
    uint32_t offset = 0;   // byte position within a frame (set when a recording starts)
    uint16_t length = 0;   // channel bytes the universe brought in the surveyed frame
    uint32_t source = 0;   // IPv4 address of the sender it came from in the survey
    Protocol protocol = Protocol::ArtNet;  // and the protocol it came in
    // The sender's identity (PacketFacts::sender: its address for Art-Net, its CID for sACN);
    // 0: the same as `source`.
    uint32_t sender = 0;
    uint8_t priority = 100;  // sACN: the priority it had in the survey
};

inline uint32_t SenderOf(const UniverseSlot& s) { return s.sender ? s.sender : s.source; }

// Filled by the survey in arrival order; made dense (slot k is universe k) for recording.
using UniverseTable = std::vector<UniverseSlot>;

}  // namespace quorvex
