#pragma once
// How a sender delimits its frames. Senders differ: some end each frame with a
// synchronization packet; some number every universe of a frame with one shared sequence
// number; many (QLC+, OLA, every sACN source) keep a counter per universe, and those counters
// advance together from frame to frame at a constant offset from each other; some number
// nothing and only pause between bursts. The survey learns which from what the sender sent.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/protocol.h"

namespace quorvex {

struct Framing {
    enum class Mode : uint8_t {
        Counters,  // sequence numbers: one shared by a frame's universes, or one per universe
        Sync,      // the sender's ArtSync or sACN synchronization packets
        Bursts,    // no numbers to go by: the order of its universes, its pauses, a repeat
    };
    struct Universe {
        int32_t universe = 0;
        int16_t offset = 0;  // Counters: how far its counter runs ahead of the frame number
        int16_t rank = 0;    // Bursts: its place in the order the sender keeps
    };

    Mode mode = Mode::Counters;
    Protocol protocol = Protocol::ArtNet;
    // The sender whose frames are recorded (PacketFacts::sender); 0 with no universes listed:
    // any sender's numbers, every universe of the table, offsets 0.
    uint32_t sender = 0;
    uint32_t address = 0;             // its IPv4 address
    uint16_t syncAddress = 0;         // sACN Sync: the synchronization address its frames end at
    bool numbered = true;             // Art-Net: its packets carry sequence numbers (not 0)
    bool sharedCounter = true;        // Counters: every offset is 0
    bool zeroInCycle = false;         // Art-Net counters that run 0..255 rather than 1..255
    bool everyFrame = true;           // every universe comes in every frame
    bool orderStable = false;         // Bursts: its universes come in the same order every frame
    bool reliable = true;             // false: nothing tells its frames apart for certain
    int64_t pauseUs = 0;              // a longer silence ends a frame; 0: pauses are not used
    int64_t periodUs = 0;             // the typical time from one frame to the next; 0: unknown
    std::vector<Universe> universes;  // the sender's universes, ascending
};

// One packet the survey saw, as the learning needs it.
struct Observation {
    int64_t timeUs = 0;
    uint32_t sender = 0;
    int32_t universe = -1;  // -1: a synchronization packet
    uint8_t sequence = 0;
    bool changed = true;  // its data differs from the universe's previous packet
};

// What `observations` (in capture order, one sender's or mixed) tell of how `sender` delimits
// its frames. `syncSeen`: the sender sent synchronization packets that match its data.
Framing LearnFraming(const std::vector<Observation>& observations, uint32_t sender,
                     Protocol protocol, uint32_t address, uint16_t syncAddress, bool syncSeen);

// Frames skipped from counter `previous` to `next` in a sender's numbering (1..255 wrapping
// to 1, or 0..255 when `zeroInCycle`); negative for a step back. 0 means no step: the same
// number again.
int CounterStep(uint8_t previous, uint8_t next, bool zeroInCycle);

// The survey report's lines on how frames end, and a short name for `parse --json`.
std::vector<std::string> FramingReportLines(const Framing& framing, int sacnOffset,
                                            const std::string& senderText);
const char* FramingName(const Framing& framing);

}  // namespace quorvex
