#include "analysis/frame_clock.h"

#include <algorithm>
#include <cstdlib>

namespace quorvex {

namespace {
constexpr size_t kMaxSofts = 64;
}  // namespace

void FrameClock::Start(const Framing& framing, size_t universes) {
    m_framing = framing;
    m_n = universes;
    m_universes.assign(universes, UniverseState{});
    for (Tick& t : m_ticks) {
        t = Tick{};
        t.real.assign((universes + 63) / 64, 0);
        t.soft.assign((universes + 63) / 64, 0);
        t.settled.assign((universes + 63) / 64, 0);
    }
    m_softs.clear();
    m_softs.reserve(kMaxSofts);
    m_started = false;
    m_oldest = 0;
    m_head = -1;
    m_closeThrough = -1;
    m_syncedThrough = -1;
    m_lastUs = kNone;
    m_lastStartUs = kNone;
    m_lastStartUs2 = kNone;
    m_slotUs = kNone;
    m_awayUs = 0;
    m_epoch = 1;
    m_epochAnchored = false;
    m_lastRank = -1;
    m_pauseBefore = false;
}

bool FrameClock::Real(size_t u, int64_t tick) const {
    if (tick < m_oldest || tick > m_oldest + kWindow) return false;
    return (At(tick).real[u / 64] >> (u % 64)) & 1;
}

void FrameClock::MarkSettled(size_t u, int64_t tick) {
    Tick& t = At(tick);
    const uint64_t bit = uint64_t{1} << (u % 64);
    if (t.settled[u / 64] & bit) return;
    t.settled[u / 64] |= bit;
    ++t.settledCount;
}

void FrameClock::Passed(size_t u, int64_t from, int64_t tick) {
    const int64_t begin = std::max(from == kNone ? m_oldest : from + 1, m_oldest);
    for (int64_t k = begin; k < tick && k <= m_oldest + kWindow; ++k) MarkSettled(u, k);
}

int64_t FrameClock::NextChangedStart(int64_t tick) const {
    for (int64_t k = tick + 1; k <= m_head && k <= m_oldest + kWindow; ++k) {
        if (At(k).realCount > 0) return At(k).firstUs;
    }
    return kNone;
}

bool FrameClock::Genuine(int64_t tick) const {
    const Tick& t = At(tick);
    if (t.realCount > 0 || !t.softOpened) return true;
    const int64_t p = m_framing.periodUs;
    if (p <= 0) return true;
    // About a period after the frame before it, and before the next changed data (or now).
    // A timer that fired late shifts one frame towards the next: then the one after came
    // early, but the two frames before it left room for it, or the sender's clock has a slot
    // of its own for it before the next changed data.
    const int64_t next = NextChangedStart(tick);
    const int64_t until = next != kNone ? next : m_lastUs;
    const auto slot = [&](int64_t us) { return (us - t.prevSlotUs + p / 4) / p; };
    const int64_t own = t.prevSlotUs != kNone ? slot(t.firstUs) : 0;
    const bool afterOne = t.prevStartUs != kNone && t.firstUs - t.prevStartUs >= p * 3 / 4;
    const bool afterTwo = t.prevStartUs2 != kNone && t.firstUs - t.prevStartUs2 >= p * 17 / 10;
    const bool before = until - t.firstUs >= p * 3 / 4 || (own >= 1 && slot(until) > own);
    return (afterOne || afterTwo || own >= 1) && before;
}

void FrameClock::NoteStart(Tick& t, int64_t timeUs) {
    t.prevSlotUs = m_slotUs;
    const int64_t p = m_framing.periodUs;
    if (p <= 0) return;
    if (m_slotUs == kNone) {
        m_slotUs = timeUs;
        return;
    }
    const int64_t slots = (timeUs - m_slotUs + p / 4) / p;
    if (slots < 1) return;  // owed frames sent back to back, or resends: the clock stands
    const int64_t due = m_slotUs + slots * p;
    m_slotUs = timeUs - due <= p / 4 ? timeUs : due;
}

void FrameClock::AdvanceHead(int64_t tick) {
    if (tick <= m_head) return;
    for (int64_t k = m_head + 1; k <= tick; ++k) {
        if (k < m_oldest) continue;
        // Unchanged data that waited for this frame stands for its universe in it.
        for (size_t i = 0; i < m_softs.size();) {
            if (m_softs[i].tick == k) {
                MarkSoft(m_softs[i].universe, k);
                m_softs[i] = m_softs.back();
                m_softs.pop_back();
            } else if (m_softs[i].tick < m_oldest) {
                m_softs[i] = m_softs.back();
                m_softs.pop_back();
            } else {
                ++i;
            }
        }
    }
    m_head = tick;
}

void FrameClock::MarkReal(size_t u, int64_t tick, int64_t timeUs) {
    Tick& t = At(tick);
    if (t.realCount == 0 && t.softCount == 0) {
        t.firstUs = timeUs;
        m_lastStartUs2 = m_lastStartUs;
        m_lastStartUs = timeUs;
        NoteStart(t, timeUs);
    }
    MarkSettled(u, tick);
    Passed(u, m_universes[u].anchor, tick);
    const uint64_t bit = uint64_t{1} << (u % 64);
    if (!(t.real[u / 64] & bit)) {
        t.real[u / 64] |= bit;
        ++t.realCount;
        if (t.soft[u / 64] & bit) {
            t.soft[u / 64] &= ~bit;
            --t.softCount;
        }
    }
    // Frames before this one in which the universe arrived: it has moved on from them.
    for (int64_t k = std::max(m_oldest, tick - kWindow); k < tick; ++k) {
        if (Real(u, k)) At(k).advanced = true;
    }
    AdvanceHead(tick);
}

void FrameClock::MarkSoft(size_t u, int64_t tick) {
    Tick& t = At(tick);
    const uint64_t bit = uint64_t{1} << (u % 64);
    if ((t.real[u / 64] | t.soft[u / 64]) & bit) return;
    t.soft[u / 64] |= bit;
    ++t.softCount;
}

int64_t FrameClock::LowestLacking(size_t u, int64_t from, int64_t to) const {
    int64_t resends = kNone;  // resends just before the frame this data belongs to
    for (int64_t k = std::max(from, m_oldest); k <= to && k <= m_oldest + kWindow; ++k) {
        if (Real(u, k)) continue;
        const Tick& t = At(k);
        if (k < to && k <= m_head && t.softOpened && t.realCount == 0) {
            // A frame of unchanged data the sender made is passed; resends take the changed
            // data of the frame that follows them, unless a frame came after them.
            if (Genuine(k)) {
                resends = kNone;
            } else if (resends == kNone) {
                resends = k;
            }
            continue;
        }
        return resends != kNone ? resends : k;
    }
    return resends;
}

bool FrameClock::HoldSoft(size_t u, int64_t tick, int64_t timeUs) {
    for (size_t i = 0; i < m_softs.size(); ++i) {
        if (m_softs[i].tick != tick || m_softs[i].universe == u) continue;
        // A second universe's unchanged data for the same new frame: a frame in which nothing
        // changed, or resends of several universes at once. It opens the frame; the rhythm
        // decides which it was.
        const size_t other = m_softs[i].universe;
        m_softs[i] = m_softs.back();
        m_softs.pop_back();
        if (m_framing.periodUs > 0) {
            Tick& t = At(tick);
            t.softOpened = true;
            t.firstUs = timeUs;
            t.prevStartUs = m_lastStartUs;
            t.prevStartUs2 = m_lastStartUs2;
            NoteStart(t, timeUs);
            // Resends between two frames do not move the sender's rhythm.
            if (m_lastStartUs == kNone || timeUs - m_lastStartUs >= m_framing.periodUs * 3 / 4) {
                m_lastStartUs2 = m_lastStartUs;
                m_lastStartUs = timeUs;
            }
            AdvanceHead(tick);
            MarkSoft(other, tick);
            MarkSoft(u, tick);
            return true;
        }
        MarkReal(other, tick, timeUs);
        MarkReal(u, tick, timeUs);
        m_universes[other].anchor = tick;
        m_universes[other].pending = 0;
        m_universes[u].anchor = tick;
        m_universes[u].pending = 0;
        return true;
    }
    for (const Soft& s : m_softs) {
        if (s.universe == u && s.tick == tick) return false;
    }
    if (m_softs.size() < kMaxSofts) m_softs.push_back({u, tick});
    return false;
}

bool FrameClock::Before(int64_t timeUs) {
    m_pauseBefore = false;
    if (!m_started || m_lastUs == kNone) return false;
    const int64_t gap = timeUs - m_lastUs;
    if (gap >= kRestartUs) {
        // The sender was away: what was open is over, and its counters start afresh.
        m_awayUs += gap;
        ++m_epoch;
        m_epochAnchored = false;
        m_lastRank = -1;
        m_softs.clear();
        m_slotUs = kNone;
        m_closeThrough = m_head;
        m_lastUs = timeUs;
        return m_closeThrough >= m_oldest;
    }
    const bool pausesEnd =
        m_framing.pauseUs > 0 &&
        (m_framing.mode == Framing::Mode::Bursts
             ? !(m_framing.orderStable && m_framing.everyFrame)
             : m_framing.mode == Framing::Mode::Counters && !m_framing.everyFrame);
    if (pausesEnd && gap > m_framing.pauseUs && m_head >= m_oldest) {
        m_pauseBefore = true;
        m_closeThrough = m_head;
        return true;
    }
    return false;
}

FrameClock::Arrival FrameClock::Data(size_t u, uint8_t sequence, int step, uint64_t hash,
                                     int64_t timeUs) {
    if (u >= m_n) return {};
    if (!m_started) {
        m_started = true;
        m_oldest = 0;
        m_head = -1;
        At(0).firstOfEpoch = true;
    }
    const int64_t gap = m_lastUs == kNone ? 0 : timeUs - m_lastUs;
    m_lastUs = timeUs;
    UniverseState& s = m_universes[u];
    if (m_framing.mode == Framing::Mode::Counters && m_framing.periodUs > 0 &&
        gap > 2 * m_framing.periodUs && s.epoch == m_epoch && s.anchor != kNone) {
        // Back after a silence with numbers that jumped further than the time it took (or
        // back): the sender restarted, and its counters with it. Fewer steps than the time
        // is a sender that fell behind and catches up.
        const int64_t elapsed = (gap + m_framing.periodUs / 2) / m_framing.periodUs;
        if (step <= 0 || step > elapsed + std::max<int64_t>(2, elapsed / 2)) {
            m_awayUs += gap;
            ++m_epoch;
            m_epochAnchored = false;
            m_softs.clear();
            m_closeThrough = m_head;
            step = 0;
        }
    }
    const bool unchanged = m_n > 1 && s.haveHash && s.hash == hash;
    s.hash = hash;
    s.haveHash = true;
    switch (m_framing.mode) {
        case Framing::Mode::Sync: {
            // Everything until the synchronization packet is one frame; a universe sent twice
            // keeps its latest data, as a receiver would show it.
            const int64_t tick = std::max(m_oldest, m_closeThrough + 1);
            if (tick > m_oldest + kWindow) return {};
            MarkReal(u, tick, timeUs);
            s.anchor = tick;
            return {tick, false};
        }
        case Framing::Mode::Counters:
            return Counted(u, sequence, step, unchanged, timeUs);
        case Framing::Mode::Bursts: {
            const Arrival a = Burst(u, unchanged, timeUs);
            m_pauseBefore = false;
            return a;
        }
    }
    return {};
}

FrameClock::Arrival FrameClock::Counted(size_t u, uint8_t sequence, int step, bool unchanged,
                                        int64_t timeUs) {
    UniverseState& s = m_universes[u];
    const int modulus = m_framing.zeroInCycle ? 256 : 255;
    const int offset = u < m_framing.universes.size() ? m_framing.universes[u].offset : 0;
    // The epoch's first packet is the reference the others' numbers are read against.
    const int aligned = ((sequence - offset) % modulus + modulus) % modulus;
    bool realigned = false;
    int64_t tick;
    const bool first = s.epoch != m_epoch || s.anchor == kNone || step <= 0;
    if (first) {
        s.epoch = m_epoch;
        s.pending = 0;
        if (!m_epochAnchored) {
            m_epochAnchored = true;
            m_epochAligned = aligned;
            m_epochTick = std::max({m_oldest, m_head + 1, m_closeThrough + 1});
            At(m_epochTick).firstOfEpoch = true;
        }
        int d = ((aligned - m_epochAligned) % modulus + modulus) % modulus;
        if (d > modulus / 2) d -= modulus;
        tick = m_epochTick + d;
    } else {
        const int64_t high = s.anchor + s.pending + step;
        tick = high;
        if (unchanged) {
            if (tick >= m_oldest && tick <= m_head && !Real(u, tick) && At(tick).softOpened &&
                At(tick).realCount == 0) {
                // Unchanged data in a frame nothing has changed in yet.
                s.pending += step;
                MarkSoft(u, tick);
                return {kNone, false};
            }
            if (tick >= m_oldest && tick <= m_head && !Real(u, tick)) {
                // An open frame that still lacks the universe: its unchanged data arrives.
                MarkReal(u, tick, timeUs);
                s.anchor = tick;
                s.pending = 0;
                return {kNone, false};
            }
            // A keep-alive resend, or a frame nobody opened yet: the counter moves on, the
            // universe's frame does not, until its data changes or another universe agrees.
            s.pending += step;
            if (tick > m_head && tick <= m_oldest + kWindow) HoldSoft(u, tick, timeUs);
            return {kNone, false};
        }
        if (s.pending > 0) {
            // Unchanged data came in between: each was a frame, or a resend that was not.
            const int64_t low = s.anchor + step;
            const int64_t lacking = LowestLacking(u, low, high);
            if (lacking != kNone) tick = lacking;
        }
    }
    if (tick < m_oldest) {
        // Behind the frames still open: a universe that skipped frames, or one whose sender
        // sends only what changed.
        tick = LowestLacking(u, m_oldest, m_head + 1);
        if (tick == kNone) tick = std::min(m_head + 1, m_oldest + kWindow);
        // Certain when it came with the rest of that frame's packets.
        const Tick& t = At(tick);
        const bool withThem = m_framing.periodUs > 0 && t.realCount > 0 &&
                              timeUs - t.firstUs < m_framing.periodUs / 2;
        realigned = m_framing.everyFrame && !withThem;
    } else if (tick > m_oldest + kWindow && !first) {
        // The sender is further ahead than the frames held open: frames were lost on the way.
        // What is open is over; its numbers go on from here.
        m_jumped += static_cast<uint32_t>(tick - m_head - 1);
        ++m_epoch;
        m_softs.clear();
        m_closeThrough = m_head;
        tick = m_head + 1;
        m_epochAnchored = true;
        m_epochAligned = aligned;
        m_epochTick = tick;
        s.epoch = m_epoch;
    } else if (tick > m_oldest + kWindow) {
        tick = std::min(std::max(m_head + 1, m_oldest), m_oldest + kWindow);
        realigned = true;
    } else if (m_framing.everyFrame && m_framing.periodUs > 0 && tick > m_oldest && !first &&
               s.anchor < m_oldest && !Real(u, m_oldest) && At(m_oldest).realCount > 0 &&
               !At(m_oldest).firstOfEpoch &&
               timeUs - At(m_oldest).firstUs < m_framing.periodUs / 2) {
        // Ahead while the oldest frame, begun moments ago, still lacks it: its counter moved
        // apart from the others'. It belongs with them. (A frame the recording began inside
        // began before its first packet here: it tells nothing of the sender's rhythm.)
        tick = m_oldest;
    }
    if (tick == kNone) return {};
    MarkReal(u, tick, timeUs);
    s.anchor = tick;
    s.pending = 0;
    if (realigned) {
        At(tick).uncertain = true;
    } else if (tick == m_head) {
        // The newest frame's numbers are what a universe that starts afresh is read against.
        m_epochAligned = aligned;
        m_epochTick = tick;
    }
    return {tick, realigned};
}

FrameClock::Arrival FrameClock::Burst(size_t u, bool unchanged, int64_t timeUs) {
    UniverseState& s = m_universes[u];
    const int rank = u < m_framing.universes.size() ? m_framing.universes[u].rank : 0;
    const bool open = m_head >= m_oldest;
    bool fresh = !open;
    if (open) {
        const bool repeat = Real(u, m_head);
        const bool orderWraps = m_framing.orderStable && m_lastRank >= rank;
        fresh = repeat || orderWraps || m_pauseBefore;
    }
    m_lastRank = rank;
    const int64_t tick = fresh ? std::max({m_head + 1, m_oldest, m_closeThrough + 1}) : m_head;
    if (unchanged && (fresh || Real(u, tick))) {
        // A resend of unchanged data opens no frame alone.
        if (fresh && tick <= m_oldest + kWindow && HoldSoft(u, tick, timeUs)) {
            m_closeThrough = std::max(m_closeThrough, tick - 1);
        }
        return {};
    }
    if (tick > m_oldest + kWindow) return {};
    if (fresh && open) m_closeThrough = std::max(m_closeThrough, tick - 1);
    MarkReal(u, tick, timeUs);
    s.anchor = tick;
    s.pending = 0;
    return {tick, false};
}

void FrameClock::Sync() {
    if (!m_started) return;
    if (m_framing.mode != Framing::Mode::Sync) {
        // It does not end frames here, but a frame it closes is one the sender finished.
        m_syncedThrough = m_head;
        return;
    }
    const int64_t current = std::max(m_oldest, m_closeThrough + 1);
    if (current <= m_head) {
        m_closeThrough = current;
        m_syncedThrough = current;
    }
}

void FrameClock::Restart() {
    ++m_epoch;
    m_epochAnchored = false;
    m_lastRank = -1;
    m_softs.clear();
    m_slotUs = kNone;
    for (UniverseState& s : m_universes) s = UniverseState{};
    m_closeThrough = m_head;
}

bool FrameClock::OldestOver() const {
    if (!m_started || m_head < m_oldest) return false;
    if (m_oldest <= m_closeThrough) return true;
    if (m_framing.mode == Framing::Mode::Sync) return false;
    if (m_head >= m_oldest + kWindow) return true;
    const Tick& t = At(m_oldest);
    if (t.realCount == 0 && t.softOpened) {
        // Unchanged data alone: over once the next frame is due, or changed data came after.
        return NextChangedStart(m_oldest) != kNone ||
               (m_framing.periodUs > 0 && m_lastUs - t.firstUs >= m_framing.periodUs * 3 / 4);
    }
    if (t.realCount == 0) return m_head > m_oldest;  // a frame the sender skipped
    // Nothing more can come for it.
    if (t.settledCount == m_n) return true;
    // Unchanged data stands for some universes: unless one is a resend that its changed data
    // follows, the frame is over once the sender has moved on.
    return t.realCount + t.softCount == m_n && t.advanced;
}

FrameClock::Closed FrameClock::PeekOldest() const {
    const Tick& t = At(m_oldest);
    Closed c;
    c.tick = m_oldest;
    c.empty = t.realCount == 0 && !t.softOpened;
    c.discard = t.realCount == 0 && t.softOpened && !Genuine(m_oldest);
    c.whole = t.realCount + t.softCount == m_n;
    c.synced = m_oldest <= m_syncedThrough;
    c.uncertain = t.uncertain;
    c.firstOfEpoch = t.firstOfEpoch;
    c.firstUs = t.firstUs;
    return c;
}

FrameClock::Closed FrameClock::CloseOldest() {
    const Closed c = PeekOldest();
    Tick& t = At(m_oldest);
    // The frame's universes that sent nothing but unchanged data since stand in the next.
    std::fill(t.real.begin(), t.real.end(), 0);
    std::fill(t.soft.begin(), t.soft.end(), 0);
    std::fill(t.settled.begin(), t.settled.end(), 0);
    t.realCount = 0;
    t.softCount = 0;
    t.settledCount = 0;
    t.firstUs = kNone;
    t.advanced = false;
    t.uncertain = false;
    t.firstOfEpoch = false;
    t.softOpened = false;
    t.prevStartUs = kNone;
    t.prevStartUs2 = kNone;
    t.prevSlotUs = kNone;
    ++m_oldest;
    if (m_head < m_oldest - 1) m_head = m_oldest - 1;
    return c;
}

}  // namespace quorvex
