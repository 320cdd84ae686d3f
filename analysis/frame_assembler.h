#pragma once
// The frame assembler's per-packet step: decides whether a packet belongs to the recording,
// finds frame boundaries by sequence changes, counts frames, and places each packet's data at
// its universe's offset in the frame in progress. It also keeps the figures of the recording
// check: frames missing upstream, incomplete frames and the time recorded. The recording
// thread drives it; it knows nothing of threads, files or windows.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/frame_marker.h"
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
        ReceiveError,  // data would run past the frame: the recording stops
    };

    // Something the user should hear about once per universe (per universe and sender for
    // OtherSender) and recording.
    enum class Warning {
        None,
        NotSurveyed,
        OutOfRange,
        OtherSender,
        OtherProtocol,  // once per universe
        Truncated,
        Terminated,  // the sender ended its sACN stream
    };

    // Whether a packet is recorded: only a surveyed universe from the sender it was surveyed
    // from is. Packets that are not recorded never mark a frame boundary.
    struct Admission {
        bool recorded = false;
        Warning warning = Warning::None;
        int universe = 0;
        uint32_t boundSource = 0;  // the sender the universe is recorded from
        Protocol boundProtocol = Protocol::ArtNet;
        uint16_t dataLength = 0;  // channel bytes the packet brings
        uint16_t slotLength = 0;  // channel bytes the survey found
    };

    struct PlaceResult {
        Placement placement = Placement::Placed;
        uint32_t position = 0;
        uint16_t recordLength = 0;
    };

    // Prepares a recording: `table` dense, frames `frameLength` bytes. `fromStart`: the packets
    // come from the start of a capture file, so the first frame is recorded when it is whole
    // (it was not cut by the start of the capture), without waiting for a boundary.
    // `framing`: how frames end, as the survey found.
    void Start(const UniverseTable* table, uint32_t frameLength, bool fromStart = false,
               const Framing& framing = {});

    // First step: is the record, from the sender `source`, part of the recording? An sACN
    // universe's own sequence numbers count the packets that went missing on the way; one that
    // comes out of order is not recorded.
    Admission Admit(const uint8_t* record, uint16_t recordLength, uint32_t source,
                    const PacketFacts& facts = {});
    // A synchronization packet; true when it closes the stream's frames.
    bool Sync(const PacketFacts& facts, uint32_t source) {
        return m_marker.Sync(facts.protocol, facts.syncAddress, source);
    }
    // The frame mark of an admitted record, to give to IsBoundary and Classify: its sequence
    // number, or where the sender numbers no frames, a number that changes where they end.
    uint8_t Mark(const uint8_t* record, int64_t timestampUs);
    // Second step, for admitted records: what the sequence number means. `timestampUs` is the
    // packet's capture time. Sequence 0 (sequencing off) never marks a boundary. The limit is
    // reached at `maxFrames` frames, or once the frames span `maxRecordedUs` (when above 0).
    Boundary Classify(uint8_t sequence, int64_t timestampUs, bool paused, bool stopped,
                      uint32_t maxFrames, int64_t maxRecordedUs = 0);
    // Whether Classify would see a frame boundary in `sequence` (NewFrame, Stop or Limit, or a
    // boundary passed over while paused): the frame in progress is complete.
    bool IsBoundary(uint8_t sequence) const {
        return m_boundarySeen && sequence != 0 && sequence != *m_sequence;
    }
    // The frame in progress is the first of a capture file and misses a surveyed universe:
    // the capture began inside it, so it is not recorded (the caller holds it at its boundary).
    bool PartialFirstFrame() const { return m_firstOfFile && m_arrivedCount < m_surveyed.size(); }
    // At the end of a capture file: counts the frame in progress when it is whole, or when an
    // ArtSync closed it (`synced`), within the limits. True when it was counted; the caller
    // then completes it as at a NewFrame boundary.
    bool CloseLastFrame(bool synced, uint32_t maxFrames, int64_t maxRecordedUs);
    // Third step: copies the record's data into `frame`, the frame in progress.
    PlaceResult Place(const uint8_t* record, uint16_t recordLength, uint8_t* frame);
    // At a boundary that will count, before the record is placed: gives the frame that just ended,
    // `frame`, the bytes it did not get since it began from `previous`, the frame before it,
    // so that every universe keeps the data it sent last. `previous` may be `frame`.
    void CarryOver(const uint8_t* previous, uint8_t* frame);

    uint32_t FrameCount() const { return m_frameCount; }
    // Frames that never arrived: sequence steps of more than one between consecutive frames,
    // where they would have been recorded; in sACN, the most packets a universe lost per frame.
    uint32_t MissingUpstream() const { return m_missing; }
    // Counted frames in which a surveyed universe did not arrive.
    uint32_t IncompleteFrames() const { return m_incomplete; }
    // Time the counted frames span, by packet timestamps; pauses are left out.
    int64_t RecordedUs() const { return m_recordedUs; }
    // Capture time at which the first counted frame began; 0 before it.
    int64_t FirstFrameUs() const { return m_firstFrameUs; }

  private:
    bool WarnOnce(int universe);
    bool WarnOnce(int universe, uint32_t source);
    bool InOrder(size_t slot, uint8_t sequence);
    void EndFrameArrivals(bool counted);

    const UniverseTable* m_table = nullptr;
    uint32_t m_frameLength = 0;
    uint32_t m_frameCount = 0;
    std::optional<uint8_t> m_sequence;
    bool m_boundarySeen = false;
    bool m_fromStart = false;
    bool m_firstOfFile = false;  // the frame in progress began at the start of the file
    uint32_t m_missing = 0;
    uint32_t m_incomplete = 0;
    int64_t m_lastBoundaryUs = 0;
    int64_t m_recordedUs = 0;
    int64_t m_firstFrameUs = 0;
    FrameMarker m_marker;
    std::vector<int16_t> m_sacnSequence;  // per table slot: the last sACN sequence; -1: none
    uint32_t m_frameLost = 0;  // most sACN packets one universe lost since the last boundary

    // A bit per table slot: the universe arrived since the last boundary.
    std::vector<uint64_t> m_arrived;
    uint32_t m_arrivedCount = 0;
    std::vector<uint32_t> m_surveyed;  // table slots of the surveyed universes
    // Per table slot: bytes placed since the frame in progress began (a pause spans boundaries).
    std::vector<uint16_t> m_placed;

    std::vector<uint8_t> m_warned;  // per Port-Address: already told the user
    // Universe and sender pairs already told about; open addressing, 0 is a free entry.
    static constexpr size_t kSenderWarnings = 1024;
    std::array<uint64_t, kSenderWarnings> m_warnedSenders{};
    size_t m_warnedSenderCount = 0;
};

// Frames skipped between two consecutive sequence numbers (1..255, wrapping 255 to 1).
uint32_t SequenceGap(uint8_t previous, uint8_t next);

}  // namespace quorvex
