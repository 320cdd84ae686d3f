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
};

// Filled by the survey in arrival order; made dense (slot k is universe k) for recording.
using UniverseTable = std::vector<UniverseSlot>;

}  // namespace quorvex
