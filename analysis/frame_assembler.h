#pragma once
// The frame assembler's per-packet steps: whether a packet belongs to the recording, which
// frame of the sender it belongs to (the frame clock), placing its data at its universe's
// offset in the frame in progress (or holding it for a later frame), and when a frame is
// over. It also keeps the figures of the recording check: frames missing upstream,
// incomplete frames, the time recorded, the time the sender was away. The recording thread
// drives it; it knows nothing of threads, files or windows.
//
// sACN sources are told apart by their CID. A universe is recorded from the source a receiver
// would follow: the highest priority, at equal priority the one the survey found; a source
// that stops (2.5 s without a packet, or its stream terminated) gives way to another, and a
// higher priority takes over. Changes take effect between frames, so that no frame mixes two
// sources.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/frame_clock.h"
#include "analysis/framing.h"
#include "analysis/universe_table.h"

namespace quorvex {

class FrameAssembler {
  public:
    // What closing the frame in progress did.
    enum class Boundary {
        Continue,  // not counted (paused, held for the start trigger, an incomplete first
                   // frame): its buffer goes on as the next frame's
        NewFrame,  // counted: FrameCount() grew by one
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
        Terminated,  // the source ended its sACN stream
    };

    struct Admission {
        bool recorded = false;
        Warning warning = Warning::None;
        int universe = 0;
        uint32_t boundSender = 0;  // the sender the universe is recorded from (identity)
        Protocol boundProtocol = Protocol::ArtNet;
        uint16_t dataLength = 0;  // channel bytes the packet brings
        uint16_t slotLength = 0;  // channel bytes the survey found
        int step = 0;             // how far the universe's sequence number moved; 0: unknown
    };

    // A change of the source a universe is recorded from, for the log.
    struct SourceChange {
        int universe = 0;
        uint32_t from = 0;
        uint32_t to = 0;
        uint8_t priority = 0;
        bool lost = false;   // the old source stopped or ended its stream
        uint32_t frame = 0;  // the frames recorded before the change
    };

    struct Figures {
        uint32_t frames = 0;
        uint32_t missingUpstream = 0;  // frames the sender did not send (by its numbers or time)
        uint32_t incomplete = 0;       // counted frames a universe of the sender was missing from
        int64_t recordedUs = 0;        // time the counted frames span; pauses left out
        int64_t firstFrameUs = 0;      // capture time the first counted frame began; 0: none
        int64_t awayUs = 0;            // the sender's silences of a second or more, and restarts
        uint32_t restarts = 0;
        uint32_t notSurveyed = 0;  // universes that arrived but were not found by Parse
        uint32_t sourceChanges = 0;
    };

    FrameAssembler();
    ~FrameAssembler();

    // Prepares a recording: `table` dense, frames `frameLength` bytes, `framing` as the
    // survey found. `frame` is the buffer of the first frame.
    void Start(const UniverseTable* table, uint32_t frameLength, const Framing& framing,
               uint8_t* frame);

    // First step: is the record, from `facts.sender`, part of the recording? Also follows the
    // sACN sources of each universe.
    Admission Admit(const uint8_t* record, uint16_t recordLength, const PacketFacts& facts,
                    int64_t timeUs);
    // Second step, for admitted records: puts the data where its frame is.
    void Offer(const uint8_t* record, uint16_t recordLength, const Admission& admission,
               int64_t timeUs);
    // A synchronization packet.
    void Sync(const PacketFacts& facts);
    // No more packets: the open frames end.
    void End();

    // The frame in progress is over: the caller decides what it is (Close), and then gives
    // the buffer of the next frame (Open).
    bool FrameOver();
    // Whether closing now would count a frame that is whole, or synchronized: an incomplete
    // first frame (the recording began inside it) is not.
    bool Countable() const;
    // Closes the frame in progress. `pass`: not counted (paused, or held for the trigger).
    // The limit is reached at `maxFrames` frames, or once the frames span `maxRecordedUs`.
    Boundary Close(bool pass, bool stopped, uint32_t maxFrames, int64_t maxRecordedUs = 0);
    // The buffer of the next frame: `frame` itself after a Continue. Data held for it is
    // placed.
    Placement Open(uint8_t* frame);
    // At a counted frame, before Close: gives the frame in progress the bytes it did not get
    // since it began from `previous`, the frame before it, so that every universe keeps the
    // data it sent last. `previous` may be the frame itself.
    void CarryOver(const uint8_t* previous, uint8_t* frame);
    // Set when data would have run past the frame.
    bool ReceiveError(uint32_t* position, uint16_t* length) const;

    uint32_t FrameCount() const { return m_figures.frames; }
    const Figures& Result() const { return m_figures; }
    // The frames skipped before the frame last counted, by the sender's numbers or its time
    // away; a live recording asks the kernel whether they were its drops.
    uint32_t LastGap() const { return m_lastGap; }
    // Source changes since the last call.
    std::vector<SourceChange> TakeSourceChanges();

  private:
    struct SlotState;
    struct Stashed;
    bool WarnOnce(int universe);
    bool WarnOnce(int universe, uint32_t sender);
    int SequenceStep(SlotState& s, uint8_t sequence, bool recordable, bool* late);
    void Arbitrate(size_t slot, const PacketFacts& facts, int64_t timeUs, Admission& a);
    bool ChangeReady();
    void ApplySourceChanges();
    void Place(size_t slot, const uint8_t* data, uint16_t length);
    void Stash(int64_t tick, size_t slot, const uint8_t* data, uint16_t length);
    void Process(size_t slot, uint8_t sequence, int step, const uint8_t* data, uint16_t length,
                 int64_t timeUs);
    void CloseEmptyFrames();
    void PlaceStashed();

    const UniverseTable* m_table = nullptr;
    uint32_t m_frameLength = 0;
    Framing m_framing;
    FrameClock m_clock;
    uint8_t* m_frame = nullptr;
    Figures m_figures;
    uint32_t m_lastGap = 0;
    uint32_t m_skipped = 0;        // frames skipped since the last counted one
    int64_t m_lastCountedUs = -1;  // start of the frame counted last, until its end is known
    int64_t m_lastPacketUs = 0;
    int64_t m_firstPacketUs = -1;
    bool m_ended = false;
    bool m_receiveError = false;
    uint32_t m_errorPosition = 0;
    uint16_t m_errorLength = 0;

    std::vector<int32_t> m_clockIndex;  // per table slot: its index among the clock's, or -1
    std::vector<SlotState> m_slots;     // per table slot
    std::vector<uint32_t> m_surveyed;   // table slots of the surveyed universes
    std::vector<uint16_t> m_placed;     // per slot: bytes placed since the frame began
    std::vector<SourceChange> m_changes;
    bool m_changesPending = false;
    bool m_changeCheckDue = false;
    bool m_changeReady = false;
    bool m_changeAfterLoss = false;
    uint32_t m_readyCandidate = 0;
    int64_t m_lastChangeCheckUs = 0;
    bool m_zeroInCycle = false;
    uint32_t m_syncSender = 0;
    int16_t m_lastSyncSequence = -1;

    // Data of later frames, held until their frame is in progress.
    std::unique_ptr<Stashed[]> m_stash;
    size_t m_stashSize = 0;
    std::vector<int32_t> m_free;
    std::array<int32_t, FrameClock::kWindow + 1> m_heads{};
    std::array<int32_t, FrameClock::kWindow + 1> m_tails{};
    bool m_stashFull = false;
    // A packet that waits for the frames before it to close.
    struct Held;
    std::unique_ptr<Held> m_held;
    bool m_holding = false;

    std::vector<uint8_t> m_warned;  // per Port-Address: already told the user
    static constexpr size_t kSenderWarnings = 1024;
    std::array<uint64_t, kSenderWarnings> m_warnedSenders{};
    size_t m_warnedSenderCount = 0;
};

}  // namespace quorvex
