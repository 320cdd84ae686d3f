#include "analysis/frame_assembler.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cstring>

#include "capture/art_packet.h"
#include "capture/source_directory.h"

namespace quorvex {

namespace {
constexpr size_t kPortAddresses = 0x8000;     // 15-bit universe numbers
constexpr int64_t kSourceLossUs = 2'500'000;  // E1.31's data loss time-out
constexpr int kLateWindow = 20;               // E1.31: a step back of less than 20 is late
constexpr size_t kMaxStash = 16384;           // packets of later frames held at most
constexpr size_t kMaxData = 512;
constexpr int kUnnumbered = -1;  // an Art-Net packet with Sequence 0 in a numbered show
}  // namespace

struct FrameAssembler::SlotState {
    uint32_t sender = 0;  // the source it is recorded from
    uint8_t priority = 100;
    int64_t lastHeardUs = -1;
    bool ended = false;  // its sACN source terminated the stream
    int16_t lastSequence = -1;
    int otherSteps = 0;    // sACN: sequence steps of packets of other start codes since data
    int otherPackets = 0;  // and how many such packets
    bool changeWanted = false;
    uint32_t candidate = 0;
    uint8_t candidatePriority = 0;
    bool candidateAfterLoss = false;
    int64_t wantedSinceUs = 0;
};

struct FrameAssembler::Stashed {
    int32_t next = -1;
    uint32_t slot = 0;
    uint16_t length = 0;
    uint8_t data[kMaxData];
};

struct FrameAssembler::Held {
    uint32_t slot = 0;
    uint8_t sequence = 0;
    int step = 0;
    uint16_t length = 0;
    int64_t timeUs = 0;
    uint8_t data[kMaxData];
};

FrameAssembler::FrameAssembler() : m_held(std::make_unique<Held>()) {}
FrameAssembler::~FrameAssembler() = default;

void FrameAssembler::Start(const UniverseTable* table, uint32_t frameLength, const Framing& framing,
                           uint8_t* frame) {
    m_table = table;
    m_frameLength = frameLength;
    m_framing = framing;
    m_frame = frame;
    m_figures = Figures{};
    m_lastGap = 0;
    m_skipped = 0;
    m_lastCountedUs = -1;
    m_lastPacketUs = 0;
    m_ended = false;
    m_firstPacketUs = -1;
    m_receiveError = false;
    m_changes.clear();
    m_changesPending = false;
    m_changeCheckDue = false;
    m_changeReady = false;
    m_lastChangeCheckUs = 0;
    m_zeroInCycle = framing.zeroInCycle;
    m_syncSender = framing.sender;
    m_lastSyncSequence = -1;
    m_holding = false;

    const size_t n = table->size();
    m_slots.assign(n, SlotState{});
    m_clockIndex.assign(n, -1);
    m_surveyed.clear();
    m_placed.assign(n, 0);
    size_t clockUniverses = 0;
    for (size_t i = 0; i < n; ++i) {
        const UniverseSlot& slot = (*table)[i];
        m_slots[i].sender = SenderOf(slot);
        m_slots[i].priority = slot.priority;
        if (slot.length) m_surveyed.push_back(static_cast<uint32_t>(i));
    }
    if (framing.universes.empty()) {
        // Any sender's numbers, every surveyed universe.
        for (const uint32_t i : m_surveyed)
            m_clockIndex[i] = static_cast<int32_t>(clockUniverses++);
        m_framing.universes.assign(clockUniverses, Framing::Universe{});
    } else {
        // The clock's universes in the framing's order, so that offsets and ranks match.
        std::vector<Framing::Universe> kept;
        for (const Framing::Universe& u : framing.universes) {
            const auto i = static_cast<size_t>(u.universe);
            if (i >= n || (*table)[i].length == 0 || SenderOf((*table)[i]) != framing.sender) {
                continue;
            }
            m_clockIndex[i] = static_cast<int32_t>(kept.size());
            kept.push_back(u);
        }
        m_framing.universes = kept;
        clockUniverses = kept.size();
    }
    m_clock.Start(m_framing, clockUniverses);

    m_stashSize =
        std::min(kMaxStash, clockUniverses * static_cast<size_t>(FrameClock::kWindow) + 16);
    if (!m_stash || m_free.capacity() < m_stashSize + 1) {
        m_stash = std::make_unique<Stashed[]>(m_stashSize + 1);
        m_free.reserve(m_stashSize + 1);
    }
    m_free.clear();
    for (size_t i = m_stashSize; i-- > 0;) m_free.push_back(static_cast<int32_t>(i));
    m_heads.fill(-1);
    m_tails.fill(-1);
    m_stashFull = false;

    m_warned.assign(kPortAddresses, 0);
    m_warnedSenders.fill(0);
    m_warnedSenderCount = 0;
}

bool FrameAssembler::WarnOnce(int universe) {
    uint8_t& warned = m_warned[static_cast<size_t>(universe) & (kPortAddresses - 1)];
    if (warned) return false;
    warned = 1;
    return true;
}

bool FrameAssembler::WarnOnce(int universe, uint32_t sender) {
    const uint64_t key = (static_cast<uint64_t>(universe + 1) << 32) | sender;
    size_t at = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 54) % kSenderWarnings;
    for (;; at = (at + 1) % kSenderWarnings) {
        if (m_warnedSenders[at] == key) return false;
        if (m_warnedSenders[at] == 0) break;
    }
    // A full table tells no more: a flood of senders must not flood the log.
    if (m_warnedSenderCount + 1 >= kSenderWarnings) return false;
    m_warnedSenders[at] = key;
    ++m_warnedSenderCount;
    return true;
}

int FrameAssembler::SequenceStep(SlotState& s, uint8_t sequence, bool recordable, bool* late) {
    const bool sacn = m_framing.protocol == Protocol::Sacn || IsSacnSource(s.sender);
    if (sequence == 0 && !m_zeroInCycle) {
        if (s.lastSequence == 255) {
            // Its counters run through 0, as OLA's and most sACN sources' do.
            m_zeroInCycle = true;
            m_clock.SetZeroInCycle();
        } else if (!sacn) {
            return kUnnumbered;  // sequencing off: it belongs to no frame of its own
        }
    }
    if (s.lastSequence < 0) {
        s.lastSequence = sequence;
        return 0;
    }
    const int d = CounterStep(static_cast<uint8_t>(s.lastSequence), sequence, m_zeroInCycle);
    if (d <= 0 && d > -kLateWindow) {
        *late = true;  // late or repeated, as E1.31 receivers judge it
        return 0;
    }
    s.lastSequence = sequence;
    if (!recordable) {
        // Other start codes share the universe's numbers but are not frames.
        s.otherSteps += d;
        ++s.otherPackets;
        return 0;
    }
    int step = d + s.otherSteps - s.otherPackets;
    s.otherSteps = 0;
    s.otherPackets = 0;
    if (d <= -kLateWindow) return 0;  // a jump back: read afresh
    return std::max(step, 1);
}

void FrameAssembler::Arbitrate(size_t slot, const PacketFacts& facts, int64_t timeUs,
                               Admission& a) {
    SlotState& s = m_slots[slot];
    // Another source's preview data, other start codes or end of stream never touch the
    // universe.
    if (!facts.recordable) return;
    const int64_t heard = s.lastHeardUs >= 0 ? s.lastHeardUs : m_firstPacketUs;
    const bool lost = s.ended || (heard >= 0 && timeUs - heard > kSourceLossUs);
    if (facts.priority > s.priority || lost) {
        if (!s.changeWanted || facts.priority > s.candidatePriority) {
            s.changeWanted = true;
            s.candidate = facts.sender;
            s.candidatePriority = facts.priority;
            s.candidateAfterLoss = lost && facts.priority <= s.priority;
            s.wantedSinceUs = timeUs;
            m_changesPending = true;
            m_changeCheckDue = true;
        }
        return;
    }
    if (WarnOnce(a.universe, facts.sender)) a.warning = Warning::OtherSender;
}

FrameAssembler::Admission FrameAssembler::Admit(const uint8_t* record, uint16_t recordLength,
                                                const PacketFacts& facts, int64_t timeUs) {
    Admission a;
    if (m_firstPacketUs < 0) m_firstPacketUs = timeUs;
    a.universe = RecordUniverse(record);
    a.dataLength = static_cast<uint16_t>(
        recordLength >= kArtRecordHeader ? recordLength - kArtRecordHeader : 0);
    if (static_cast<size_t>(a.universe) >= m_table->size()) {
        if (facts.recordable && WarnOnce(a.universe)) {
            a.warning = Warning::OutOfRange;
            ++m_figures.notSurveyed;
        }
        return a;
    }
    const auto slot = static_cast<size_t>(a.universe);
    const UniverseSlot& u = (*m_table)[slot];
    SlotState& s = m_slots[slot];
    a.slotLength = u.length;
    a.boundSender = s.sender;
    a.boundProtocol = u.protocol;
    if (u.length == 0) {
        if (a.dataLength > 0 && facts.recordable && WarnOnce(a.universe)) {
            a.warning = Warning::NotSurveyed;
            ++m_figures.notSurveyed;
        }
        return a;
    }
    if (facts.protocol != u.protocol) {
        // No sender has this identity: the key stands for "the other protocol".
        if (WarnOnce(a.universe, 0xFFFFFFFEu)) a.warning = Warning::OtherProtocol;
        return a;
    }
    if (facts.sender != s.sender) {
        if (facts.protocol == Protocol::Sacn) {
            Arbitrate(slot, facts, timeUs, a);
        } else if (WarnOnce(a.universe, facts.sender)) {
            a.warning = Warning::OtherSender;
        }
        return a;
    }
    s.lastHeardUs = timeUs;
    if (facts.protocol == Protocol::Sacn) s.priority = facts.priority;
    bool late = false;
    const int step = SequenceStep(s, RecordSequence(record), facts.recordable, &late);
    if (late) return a;
    if (facts.terminated) {
        s.ended = true;
        if (WarnOnce(a.universe, facts.sender)) a.warning = Warning::Terminated;
        return a;
    }
    if (!facts.recordable) return a;
    s.ended = false;
    // Never more than the slot holds, or one universe would overwrite another's bytes.
    if (a.dataLength > u.length && WarnOnce(a.universe)) a.warning = Warning::Truncated;
    a.step = step;
    a.recorded = true;
    return a;
}

void FrameAssembler::Place(size_t slot, const uint8_t* data, uint16_t length) {
    const UniverseSlot& u = (*m_table)[slot];
    const uint32_t copy = std::min<uint32_t>(length, u.length);
    if (static_cast<uint64_t>(u.offset) + copy > m_frameLength) {
        m_receiveError = true;
        m_errorPosition = u.offset;
        m_errorLength = static_cast<uint16_t>(length + kArtRecordHeader);
        return;
    }
    if (copy) std::memcpy(m_frame + u.offset, data, copy);
    if (copy > m_placed[slot]) m_placed[slot] = static_cast<uint16_t>(copy);
}

void FrameAssembler::Stash(int64_t tick, size_t slot, const uint8_t* data, uint16_t length) {
    int32_t i;
    if (!m_free.empty()) {
        i = m_free.back();
        m_free.pop_back();
    } else {
        // The reserve entry: the oldest frame must close before anything more is held.
        i = static_cast<int32_t>(m_stashSize);
        m_stashFull = true;
    }
    Stashed& e = m_stash[static_cast<size_t>(i)];
    e.next = -1;
    e.slot = static_cast<uint32_t>(slot);
    e.length = std::min<uint16_t>(length, kMaxData);
    std::memcpy(e.data, data, e.length);
    const auto r = static_cast<size_t>(tick % (FrameClock::kWindow + 1));
    if (m_tails[r] < 0) {
        m_heads[r] = i;
    } else {
        m_stash[static_cast<size_t>(m_tails[r])].next = i;
    }
    m_tails[r] = i;
}

void FrameAssembler::Process(size_t slot, uint8_t sequence, int step, const uint8_t* data,
                             uint16_t length, int64_t timeUs) {
    const auto clockIndex = static_cast<size_t>(m_clockIndex[slot]);
    if (step == kUnnumbered && m_framing.mode == Framing::Mode::Counters) {
        // Newer data for the universe's frame, if that is still open; it never ends a frame.
        const int64_t tick = m_clock.OpenFrameOf(clockIndex);
        if (tick == m_clock.Oldest()) {
            Place(slot, data, length);
        } else if (tick != FrameClock::kNone) {
            Stash(tick, slot, data, length);
        }
        return;
    }
    if (step == kUnnumbered) step = 0;
    const uint64_t hash = XXH3_64bits_withSeed(data, length, length);
    const FrameClock::Arrival a = m_clock.Data(clockIndex, sequence, step, hash, timeUs);
    if (a.tick == FrameClock::kNone) return;
    if (a.tick == m_clock.Oldest()) {
        Place(slot, data, length);
    } else {
        Stash(a.tick, slot, data, length);
    }
}

void FrameAssembler::Offer(const uint8_t* record, uint16_t recordLength, const Admission& admission,
                           int64_t timeUs) {
    const auto slot = static_cast<size_t>(admission.universe);
    const uint8_t* data = record + kArtRecordHeader;
    const uint16_t length =
        std::min<uint16_t>(static_cast<uint16_t>(recordLength - kArtRecordHeader), kMaxData);
    m_lastPacketUs = timeUs;
    const bool onClock = m_clockIndex[slot] >= 0 &&
                         (m_framing.sender == 0 || admission.boundSender == m_framing.sender);
    if (!onClock) {
        // Another sender's universe: it keeps its latest data in whatever frame is in progress.
        Place(slot, data, length);
        return;
    }
    if (m_clock.Before(timeUs)) {
        // A pause or silence ends what is open: this packet waits until that is closed.
        Held& h = *m_held;
        h.slot = static_cast<uint32_t>(slot);
        h.sequence = RecordSequence(record);
        h.step = admission.step;
        h.length = length;
        h.timeUs = timeUs;
        std::memcpy(h.data, data, length);
        m_holding = true;
        return;
    }
    Process(slot, RecordSequence(record), admission.step, data, length, timeUs);
}

void FrameAssembler::Sync(const PacketFacts& facts) {
    if (m_framing.sender != 0 && facts.sender != m_syncSender) return;
    if (facts.protocol != m_framing.protocol) return;
    if (facts.protocol == Protocol::Sacn) {
        if (facts.syncAddress != m_framing.syncAddress) return;
        if (m_lastSyncSequence >= 0) {
            const int d = static_cast<int8_t>(
                static_cast<uint8_t>(facts.sequence - static_cast<uint8_t>(m_lastSyncSequence)));
            // Out of sequence: discarded, as E1.31 receivers do.
            if (d <= 0 && d > -kLateWindow) return;
        }
        m_lastSyncSequence = facts.sequence;
    }
    m_clock.Sync();
}

void FrameAssembler::End() {
    m_ended = true;
    if (m_holding) {
        m_holding = false;
        const Held& h = *m_held;
        Process(h.slot, h.sequence, h.step, h.data, h.length, h.timeUs);
    }
    m_clock.End();
}

void FrameAssembler::CloseEmptyFrames() {
    while (m_clock.OldestOver() && m_clock.OldestEmpty()) {
        // A frame the sender skipped is missing; resends between two frames are nothing.
        if (!m_clock.CloseOldest().discard) ++m_skipped;
        PlaceStashed();
    }
}

void FrameAssembler::PlaceStashed() {
    const auto r = static_cast<size_t>(m_clock.Oldest() % (FrameClock::kWindow + 1));
    for (int32_t i = m_heads[r]; i >= 0;) {
        Stashed& e = m_stash[static_cast<size_t>(i)];
        Place(e.slot, e.data, e.length);
        const int32_t next = e.next;
        if (static_cast<size_t>(i) < m_stashSize) m_free.push_back(i);
        i = next;
    }
    m_heads[r] = -1;
    m_tails[r] = -1;
    if (!m_free.empty()) m_stashFull = false;
}

bool FrameAssembler::ChangeReady() {
    // A source takes the universes it wants together, once it has asked for every universe
    // of the frames or has been asking for a second: a frame is never half one source's.
    if (!m_changeCheckDue && m_lastPacketUs - m_lastChangeCheckUs < 100'000) return m_changeReady;
    m_changeCheckDue = false;
    m_lastChangeCheckUs = m_lastPacketUs;
    m_changeReady = false;
    m_changeAfterLoss = false;
    size_t clockSlots = 0;
    for (const int32_t c : m_clockIndex) clockSlots += c >= 0;
    for (size_t i = 0; i < m_slots.size() && !m_changeReady; ++i) {
        if (!m_slots[i].changeWanted) continue;
        const uint32_t to = m_slots[i].candidate;
        size_t wanting = 0;
        bool onClock = false;
        int64_t since = m_slots[i].wantedSinceUs;
        for (size_t j = 0; j < m_slots.size(); ++j) {
            if (!m_slots[j].changeWanted || m_slots[j].candidate != to) continue;
            since = std::min(since, m_slots[j].wantedSinceUs);
            if (m_clockIndex[j] >= 0) {
                ++wanting;
                onClock = true;
            }
        }
        m_changeReady = !onClock || wanting == clockSlots || m_lastPacketUs - since > 1'000'000;
        m_changeAfterLoss = m_slots[i].candidateAfterLoss;
        m_readyCandidate = to;
    }
    return m_changeReady;
}

bool FrameAssembler::FrameOver() {
    if (m_changesPending && ChangeReady()) {
        if (m_clock.Started() && m_clock.OldestOver()) return true;
        if (m_clock.HasOpen()) {
            // A lost source sends nothing more: what it left open is over. A source that
            // gives way goes on until its frame ends.
            if (m_changeAfterLoss) m_clock.End();
        } else {
            ApplySourceChanges();
        }
    }
    for (;;) {
        CloseEmptyFrames();
        if (m_clock.OldestOver() || m_stashFull) return true;
        if (!m_holding) return false;
        m_holding = false;
        const Held& h = *m_held;
        Process(h.slot, h.sequence, h.step, h.data, h.length, h.timeUs);
    }
}

bool FrameAssembler::Countable() const {
    const FrameClock::Closed c = m_clock.PeekOldest();
    if (c.empty) return false;
    if (c.firstOfEpoch) return c.whole;  // the recording, or the sender, began inside it
    // The capture ended inside it, unless the sender finished it or sends only what changed.
    if (m_ended && !c.synced) return c.whole || !m_framing.everyFrame;
    return true;
}

FrameAssembler::Boundary FrameAssembler::Close(bool pass, bool stopped, uint32_t maxFrames,
                                               int64_t maxRecordedUs) {
    const bool countable = Countable();
    const FrameClock::Closed c = m_clock.CloseOldest();
    const int64_t period = m_framing.periodUs;
    if (const int64_t away = m_clock.TakeAwayUs(); away > 0) {
        m_figures.awayUs += away;
        ++m_figures.restarts;
        // The frames it would have sent meanwhile.
        if (period > 0 && away > period) {
            m_skipped += static_cast<uint32_t>((away + period / 2) / period - 1);
        }
    }
    m_skipped += m_clock.TakeJumped();
    // A counted frame lasts until the next frame begins, which is known now.
    if (m_lastCountedUs >= 0 && c.firstUs > m_lastCountedUs) {
        m_figures.recordedUs += c.firstUs - m_lastCountedUs;
    }
    m_lastCountedUs = -1;
    if (stopped) return Boundary::Stop;
    if (pass || !countable) {
        m_skipped = 0;
        return Boundary::Continue;
    }
    if (m_figures.frames >= maxFrames ||
        (maxRecordedUs > 0 && m_figures.recordedUs >= maxRecordedUs)) {
        return Boundary::Limit;
    }
    if (m_figures.frames == 0) m_figures.firstFrameUs = c.firstUs;
    if (m_ended && m_clock.OldestStartUs() == FrameClock::kNone && m_figures.frames > 0) {
        // No frame after the last tells when it ends: it lasts as long as the ones before.
        m_figures.recordedUs += m_figures.recordedUs / m_figures.frames;
    } else {
        m_lastCountedUs = c.firstUs;
    }
    ++m_figures.frames;
    m_lastGap = m_skipped;
    m_figures.missingUpstream += m_skipped;
    m_skipped = 0;
    if ((!c.whole && m_framing.everyFrame) || c.uncertain) ++m_figures.incomplete;
    return Boundary::NewFrame;
}

void FrameAssembler::ApplySourceChanges() {
    if (!ChangeReady()) return;
    bool clockMoved = false;
    bool left = false;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        SlotState& s = m_slots[i];
        if (!s.changeWanted) continue;
        if (s.candidate != m_readyCandidate) {
            left = true;
            continue;
        }
        s.changeWanted = false;
        m_changes.push_back({static_cast<int>(i), s.sender, s.candidate, s.candidatePriority,
                             s.candidateAfterLoss, m_figures.frames});
        ++m_figures.sourceChanges;
        if (m_clockIndex[i] >= 0 && s.sender == m_framing.sender) clockMoved = true;
        s.sender = s.candidate;
        s.priority = s.candidatePriority;
        s.lastHeardUs = m_lastPacketUs;
        s.ended = false;
        s.lastSequence = -1;
        s.otherSteps = 0;
        s.otherPackets = 0;
    }
    m_changesPending = left;
    m_changeCheckDue = true;
    m_changeReady = false;
    if (!clockMoved || m_framing.sender == 0) return;
    // The frames follow the source that now holds most of the sender's universes.
    std::vector<std::pair<uint32_t, size_t>> holders;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (m_clockIndex[i] < 0) continue;
        auto it = std::find_if(holders.begin(), holders.end(),
                               [&](const auto& h) { return h.first == m_slots[i].sender; });
        if (it == holders.end()) {
            holders.push_back({m_slots[i].sender, 1});
        } else {
            ++it->second;
        }
    }
    const auto top =
        std::max_element(holders.begin(), holders.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    if (top == holders.end() || top->first == m_framing.sender) return;
    m_framing.sender = top->first;
    m_syncSender = top->first;
    m_lastSyncSequence = -1;
    m_clock.Restart();
}

FrameAssembler::Placement FrameAssembler::Open(uint8_t* frame) {
    m_frame = frame;
    if (m_changesPending) ApplySourceChanges();
    PlaceStashed();
    return m_receiveError ? Placement::ReceiveError : Placement::Placed;
}

void FrameAssembler::CarryOver(const uint8_t* previous, uint8_t* frame) {
    for (const uint32_t i : m_surveyed) {
        const UniverseSlot& slot = (*m_table)[i];
        const uint16_t placed = m_placed[i];
        if (placed < slot.length && previous != frame) {
            std::memcpy(frame + slot.offset + placed, previous + slot.offset + placed,
                        slot.length - placed);
        }
        m_placed[i] = 0;
    }
}

bool FrameAssembler::ReceiveError(uint32_t* position, uint16_t* length) const {
    if (!m_receiveError) return false;
    *position = m_errorPosition;
    *length = m_errorLength;
    return true;
}

std::vector<FrameAssembler::SourceChange> FrameAssembler::TakeSourceChanges() {
    std::vector<SourceChange> out;
    out.swap(m_changes);
    return out;
}

}  // namespace quorvex
