#pragma once
// Where frames end when the sender does not number them: at its synchronization packets, or
// else at the pause between the bursts of universes it sends together. Either way a universe
// that comes again ends the frame before it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/protocol.h"

namespace quorvex {

struct Framing {
    enum class Mode : uint8_t {
        Sequence,  // Art-Net sequence numbers
        Sync,      // the stream's ArtSync or sACN synchronization packets
        Burst,     // the stream's pauses
    };
    Mode mode = Mode::Sequence;
    Protocol protocol = Protocol::ArtNet;
    uint32_t source = 0;       // Sync and Burst: the sender of the stream
    uint16_t syncAddress = 0;  // sACN Sync: the synchronization address its frames end at
    int64_t pauseUs = 0;       // Burst: a longer silence between two packets ends a frame; 0: none
};

class FrameMarker {
  public:
    FrameMarker();
    void Start(const Framing& framing);
    // A synchronization packet. True when it ends the stream's frames (any ArtSync in
    // Sequence mode); the frame in progress then ends before the next data packet.
    bool Sync(Protocol protocol, uint16_t address, uint32_t source);
    // The frame mark of a data packet of the stream: 1..255, changing at each frame boundary.
    // In Sequence mode it is the sequence number as sent.
    uint8_t Mark(int universe, uint8_t sequence, int64_t timestampUs);

  private:
    Framing m_framing;
    uint8_t m_mark = 1;
    bool m_syncPending = false;
    int64_t m_lastUs = -1;
    std::vector<uint64_t> m_seen;      // a bit per universe: arrived in the frame in progress
    std::vector<uint16_t> m_seenList;  // the same universes, to clear them
};

// The pause that separates a sender's bursts, from the gaps between its packets over several
// bursts; `bursts` is how many boundaries they span. 0 when no pause stands out: the sender
// spreads its packets evenly.
int64_t BurstPause(std::vector<int64_t> gaps, size_t bursts);

}  // namespace quorvex
