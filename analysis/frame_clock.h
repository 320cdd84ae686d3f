#pragma once
// Which frame of the sender each packet belongs to, and when a frame is over. A frame is a
// tick of the sender's clock; ticks are numbered from 0 as the recording goes. Several frames
// may be open at once: a console whose universes run in threads of their own sends a lagging
// universe's owed frames back to back, interleaved with the others'. A frame is over when
// every universe of the sender arrived in it, when the sender is a window of frames ahead,
// at its synchronization packet, or, for senders that number nothing, where the order of
// their universes starts over, at a pause or where a universe comes again.
//
// Packets whose data did not change (unchanged universes, keep-alive resends) never open a
// frame on their own: a resend with the universe's next sequence number must not make the
// universe a frame early. Two universes' unchanged data for the same new frame does open it.
// Pure: fed universes, sequence steps, data hashes and capture times.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/framing.h"

namespace quorvex {

class FrameClock {
  public:
    static constexpr int64_t kWindow = 8;  // frames open beyond the oldest
    // A silence this long is a restart: the frames before it are over, and the sender's
    // counters start afresh.
    static constexpr int64_t kRestartUs = 1'000'000;
    static constexpr int64_t kNone = INT64_MIN;

    struct Arrival {
        int64_t tick = kNone;  // kNone: nothing to place (unchanged data, or not numbered)
        bool realigned = false;
    };
    struct Closed {
        int64_t tick = 0;
        bool whole = false;      // every universe of the sender arrived (or kept its data)
        bool empty = false;      // nothing arrived: a frame the sender skipped
        bool synced = false;     // its synchronization packet ended it
        bool uncertain = false;  // a universe had to be realigned into it
        bool firstOfEpoch = false;
        bool discard = false;  // resends alone, between two frames: no frame at all
        int64_t firstUs = 0;   // capture time of its first packet
    };

    // `universes`: how many universes the sender has (index 0..n-1, as in framing.universes
    // when it lists them).
    void Start(const Framing& framing, size_t universes);

    // Before a data packet of the sender at `timeUs`: true when a pause or a silence ends the
    // frames open so far, which must then be closed before the packet is given to Data.
    bool Before(int64_t timeUs);
    // A data packet of universe `u`: `step` is how far its sequence number moved since the
    // universe's previous data packet (0: first, or not numbered), `sequence` the number
    // itself, `hash` a hash of its data.
    Arrival Data(size_t u, uint8_t sequence, int step, uint64_t hash, int64_t timeUs);
    // The sender's synchronization packet: it ends the frame in progress in Sync mode; in
    // the others it marks the frames so far as finished by the sender.
    void Sync();
    // The frame of the universe's latest changed data, while it is still open; kNone else.
    int64_t OpenFrameOf(size_t u) const {
        const int64_t a = u < m_universes.size() ? m_universes[u].anchor : kNone;
        return a != kNone && a >= m_oldest && a <= m_oldest + kWindow ? a : kNone;
    }
    // No more packets: every open frame is over.
    void End() { m_closeThrough = m_head; }
    // The sender changed (another sACN source took over): its frames start afresh.
    void Restart();

    // The sender's Art-Net counters turned out to run through 0.
    void SetZeroInCycle() { m_framing.zeroInCycle = true; }

    bool Started() const { return m_started; }
    bool HasOpen() const { return m_started && m_head >= m_oldest; }
    int64_t Oldest() const { return m_oldest; }
    bool OldestOver() const;
    // Nothing arrived in the oldest frame (a frame the sender skipped), or only resends.
    bool OldestEmpty() const {
        const Tick& t = At(m_oldest);
        return t.realCount == 0 && (!t.softOpened || !Genuine(m_oldest));
    }
    // Capture time of the oldest frame's first packet; kNone before it has one.
    int64_t OldestStartUs() const { return At(m_oldest).realCount ? At(m_oldest).firstUs : kNone; }
    // What closing the oldest frame would tell.
    Closed PeekOldest() const;
    Closed CloseOldest();
    // Time the sender was silent before its restarts, since the last call.
    int64_t TakeAwayUs() {
        const int64_t a = m_awayUs;
        m_awayUs = 0;
        return a;
    }
    // Frames the sender's numbers skipped beyond the open window, since the last call.
    uint32_t TakeJumped() {
        const uint32_t j = m_jumped;
        m_jumped = 0;
        return j;
    }

  private:
    struct Tick {
        std::vector<uint64_t> real;  // a bit per universe: its changed data arrived
        std::vector<uint64_t> soft;  // its unchanged data stands for it
        // Its data arrived, or it has moved on to a later frame without it: either way nothing
        // more of it can come for this frame, since a universe's packets come in order.
        std::vector<uint64_t> settled;
        uint32_t realCount = 0;
        uint32_t softCount = 0;
        uint32_t settledCount = 0;
        int64_t firstUs = kNone;
        bool advanced = false;  // a universe in it has moved on to a later frame
        bool uncertain = false;
        bool firstOfEpoch = false;
        // Opened by unchanged data alone: a frame in which nothing changed, or resends between
        // two frames. The sender's rhythm tells: a frame sits about a period after the one
        // before it and before the one after it.
        bool softOpened = false;
        int64_t prevStartUs = kNone;
        int64_t prevStartUs2 = kNone;  // and the one before that
        int64_t prevSlotUs = kNone;    // where the sender's clock stood before it began
    };
    struct UniverseState {
        int64_t anchor = kNone;  // the frame of its last changed data
        int64_t pending = 0;     // sequence steps of unchanged data since then
        uint32_t epoch = 0;
        uint64_t hash = 0;
        bool haveHash = false;
    };
    struct Soft {
        size_t universe;
        int64_t tick;
    };

    Tick& At(int64_t tick) { return m_ticks[static_cast<size_t>(tick % (kWindow + 1))]; }
    const Tick& At(int64_t tick) const {
        return m_ticks[static_cast<size_t>(tick % (kWindow + 1))];
    }
    bool Real(size_t u, int64_t tick) const;
    void MarkReal(size_t u, int64_t tick, int64_t timeUs);
    void MarkSoft(size_t u, int64_t tick);
    void AdvanceHead(int64_t tick);
    // Whether a frame opened by unchanged data alone is one the sender made.
    bool Genuine(int64_t tick) const;
    // A frame begins at `timeUs`: moves the sender's clock on.
    void NoteStart(Tick& t, int64_t timeUs);
    int64_t NextChangedStart(int64_t tick) const;
    void MarkSettled(size_t u, int64_t tick);
    // The universe arrives in `tick` having last arrived in `from` (kNone: not yet): the frames
    // in between will not get it.
    void Passed(size_t u, int64_t from, int64_t tick);
    int64_t LowestLacking(size_t u, int64_t from, int64_t to) const;
    // Unchanged data for frame `tick` that nothing opened yet; true when it opened the frame.
    bool HoldSoft(size_t u, int64_t tick, int64_t timeUs);
    Arrival Counted(size_t u, uint8_t sequence, int step, bool unchanged, int64_t timeUs);
    Arrival Burst(size_t u, bool unchanged, int64_t timeUs);

    Framing m_framing;
    size_t m_n = 0;
    std::vector<UniverseState> m_universes;
    std::array<Tick, kWindow + 1> m_ticks;
    std::vector<Soft> m_softs;  // unchanged data waiting for its frame to open
    bool m_started = false;
    int64_t m_oldest = 0;          // oldest open frame
    int64_t m_head = -1;           // newest frame with changed data
    int64_t m_closeThrough = -1;   // frames up to here are over
    int64_t m_syncedThrough = -1;  // frames up to here ended at a synchronization packet
    int64_t m_lastUs = kNone;
    int64_t m_lastStartUs = kNone;   // capture time the newest frame began
    int64_t m_lastStartUs2 = kNone;  // and the frame before it
    // The sender's clock: when its latest tick was due. Timers fire late, never early, so a
    // late tick leaves it where the tick was due and the next, on time, is a frame of its own.
    int64_t m_slotUs = kNone;
    int64_t m_awayUs = 0;
    uint32_t m_jumped = 0;
    uint32_t m_epoch = 1;
    bool m_epochAnchored = false;  // the epoch's first packet set its reference
    int m_epochAligned = 0;        // that packet's number less its universe's offset
    int64_t m_epochTick = 0;       // and its frame
    int m_lastRank = -1;
    bool m_pauseBefore = false;  // Before saw a pause ahead of the packet
};

}  // namespace quorvex
