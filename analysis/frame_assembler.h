#pragma once
// The frame assembler's per-packet step: finds frame boundaries by sequence changes, counts
// frames, and places each packet's data at its universe's offset in the frame in progress.
// The recording thread drives it; it knows nothing of threads, files or windows.

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/universe_table.h"

namespace quorvex {

class FrameAssembler {
  public:
    enum class Boundary {
        Drop,      // before the first boundary
        Continue,  // same frame, the first packet of frame 1, or a boundary during a pause
        NewFrame,  // a frame was completed: FrameCount() grew by one
        Stop,      // a stop was requested
        Limit,     // the frame limit was reached
    };

    enum class Placement {
        Placed,
        OutOfRange,    // universe not below the table size: the recording stops
        ReceiveError,  // data would run past the frame: the recording stops
    };

    // Something the user should hear about once per universe and recording.
    enum class Warning { None, NotSurveyed, Truncated };

    struct PlaceResult {
        Placement placement = Placement::Placed;
        Warning warning = Warning::None;
        int universe = 0;
        uint32_t position = 0;
        uint16_t recordLength = 0;
        uint16_t slotLength = 0;
    };

    // Prepares a recording: `table` dense, frames `frameLength` bytes.
    void Start(const UniverseTable* table, uint32_t frameLength);

    // First half of the step: what the record's sequence number means.
    Boundary Classify(uint8_t sequence, bool paused, bool stopped, uint32_t maxFrames);
    // Second half: copies the record's data into `frame`, the frame in progress.
    PlaceResult Place(const uint8_t* record, uint16_t recordLength, uint8_t* frame);

    uint32_t FrameCount() const { return m_frameCount; }
    // Frames that never arrived: sequence steps of more than one between consecutive frames.
    uint32_t MissingUpstream() const { return m_missing; }
    bool BoundarySeen() const { return m_boundarySeen; }

  private:
    const UniverseTable* m_table = nullptr;
    uint32_t m_frameLength = 0;
    uint32_t m_frameCount = 0;
    std::optional<uint8_t> m_sequence;
    bool m_boundarySeen = false;
    uint32_t m_missing = 0;
    std::vector<uint8_t> m_warned;  // per universe: already told the user
};

// Frames skipped between two consecutive sequence numbers (1..255, wrapping 255 to 1).
uint32_t SequenceGap(uint8_t previous, uint8_t next);

}  // namespace quorvex
