#include "analysis/frame_assembler.h"

#include <algorithm>
#include <cstring>

#include "capture/art_packet.h"

namespace quorvex {

namespace {
constexpr size_t kPortAddresses = 0x8000;  // 15-bit universe numbers
}  // namespace

uint32_t SequenceGap(uint8_t previous, uint8_t next) {
    if (previous == 0 || next == 0) return 0;  // sequencing off: nothing to tell
    const int step = (next - previous + 255) % 255;
    return step == 0 ? 0 : static_cast<uint32_t>(step - 1);
}

void FrameAssembler::Start(const UniverseTable* table, uint32_t frameLength, bool fromStart,
                           const Framing& framing) {
    m_marker.Start(framing);
    m_sacnSequence.assign(table->size(), -1);
    m_frameLost = 0;
    m_table = table;
    m_fromStart = fromStart;
    m_firstOfFile = false;
    m_frameLength = frameLength;
    m_frameCount = 0;
    m_sequence.reset();
    m_boundarySeen = false;
    m_missing = 0;
    m_incomplete = 0;
    m_lastBoundaryUs = 0;
    m_recordedUs = 0;
    m_firstFrameUs = 0;
    m_arrived.assign((table->size() + 63) / 64, 0);
    m_arrivedCount = 0;
    m_surveyed.clear();
    for (size_t i = 0; i < table->size(); ++i) {
        if ((*table)[i].length) m_surveyed.push_back(static_cast<uint32_t>(i));
    }
    m_placed.assign(table->size(), 0);
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

bool FrameAssembler::WarnOnce(int universe, uint32_t source) {
    const uint64_t key = (static_cast<uint64_t>(universe + 1) << 32) | source;
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

bool FrameAssembler::InOrder(size_t slot, uint8_t sequence) {
    int16_t& last = m_sacnSequence[slot];
    if (last >= 0) {
        const auto step = static_cast<int8_t>(sequence - static_cast<uint8_t>(last));
        // As sACN receivers do: a step back of less than 20 is a late or repeated packet.
        if (step <= 0 && step > -20) return false;
        if (step > 1)
            m_frameLost = std::max<uint32_t>(m_frameLost, static_cast<uint32_t>(step - 1));
    }
    last = sequence;
    return true;
}

uint8_t FrameAssembler::Mark(const uint8_t* record, int64_t timestampUs) {
    return m_marker.Mark(RecordUniverse(record), RecordSequence(record), timestampUs);
}

FrameAssembler::Admission FrameAssembler::Admit(const uint8_t* record, uint16_t recordLength,
                                                uint32_t source, const PacketFacts& facts) {
    Admission a;
    a.universe = RecordUniverse(record);
    a.dataLength = static_cast<uint16_t>(
        recordLength >= kArtRecordHeader ? recordLength - kArtRecordHeader : 0);
    if (static_cast<size_t>(a.universe) >= m_table->size()) {
        if (WarnOnce(a.universe)) a.warning = Warning::OutOfRange;
        return a;
    }
    const UniverseSlot& slot = (*m_table)[static_cast<size_t>(a.universe)];
    a.slotLength = slot.length;
    a.boundSource = slot.source;
    a.boundProtocol = slot.protocol;
    if (slot.length == 0) {
        if (a.dataLength > 0 && WarnOnce(a.universe)) a.warning = Warning::NotSurveyed;
        return a;
    }
    if (facts.protocol != slot.protocol) {
        // No sender has this address: the key stands for "the other protocol".
        if (WarnOnce(a.universe, 0xFFFFFFFFu)) a.warning = Warning::OtherProtocol;
        return a;
    }
    if (source != slot.source) {
        if (WarnOnce(a.universe, source)) a.warning = Warning::OtherSender;
        return a;
    }
    if (facts.protocol == Protocol::Sacn) {
        if (!InOrder(static_cast<size_t>(a.universe), RecordSequence(record))) return a;
        if (facts.terminated) {
            if (WarnOnce(a.universe, source)) a.warning = Warning::Terminated;
            return a;
        }
        // Other start codes and preview data share the sequence, not the frame.
        if (!facts.recordable) return a;
    }
    // Never more than the slot holds, or one universe would overwrite another's bytes.
    if (a.dataLength > slot.length && WarnOnce(a.universe)) a.warning = Warning::Truncated;
    a.recorded = true;
    return a;
}

void FrameAssembler::EndFrameArrivals(bool counted) {
    if (counted && m_arrivedCount < m_surveyed.size()) ++m_incomplete;
    std::fill(m_arrived.begin(), m_arrived.end(), 0);
    m_arrivedCount = 0;
    m_frameLost = 0;
}

FrameAssembler::Boundary FrameAssembler::Classify(uint8_t s, int64_t timestampUs, bool paused,
                                                  bool stopped, uint32_t maxFrames,
                                                  int64_t maxRecordedUs) {
    // Sequence 0: the sender does not number its frames, so its packets mark no boundary.
    if (s == 0) return m_boundarySeen ? Boundary::Continue : Boundary::Drop;
    if (!m_boundarySeen && m_fromStart) {
        // The start of a file: its first packet begins the first frame.
        m_sequence = s;
        m_boundarySeen = true;
        m_firstOfFile = true;
        m_lastBoundaryUs = timestampUs;
        EndFrameArrivals(false);
        return Boundary::Continue;
    }
    if (!m_boundarySeen) {
        // Packets of the frame in progress when recording began are never recorded.
        const bool changed = m_sequence && *m_sequence != s;
        m_sequence = s;
        if (!changed) return Boundary::Drop;
        m_boundarySeen = true;
        m_lastBoundaryUs = timestampUs;
        EndFrameArrivals(false);
        return Boundary::Continue;
    }
    if (s == *m_sequence) return Boundary::Continue;
    m_firstOfFile = false;
    const uint8_t previous = *m_sequence;
    m_sequence = s;
    if (stopped) return Boundary::Stop;
    // Paused: not counted, but the packet still goes into the frame in progress, so the
    // frame that completes after resuming is one whole frame and not a mix of two.
    if (paused) {
        m_lastBoundaryUs = timestampUs;
        EndFrameArrivals(false);
        return Boundary::Continue;
    }
    if (m_frameCount >= maxFrames || (maxRecordedUs > 0 && m_recordedUs >= maxRecordedUs)) {
        return Boundary::Limit;
    }
    if (m_frameCount == 0) m_firstFrameUs = m_lastBoundaryUs;
    ++m_frameCount;
    m_missing += SequenceGap(previous, s) + m_frameLost;
    if (timestampUs > m_lastBoundaryUs) m_recordedUs += timestampUs - m_lastBoundaryUs;
    m_lastBoundaryUs = timestampUs;
    EndFrameArrivals(true);
    return Boundary::NewFrame;
}

bool FrameAssembler::CloseLastFrame(bool synced, uint32_t maxFrames, int64_t maxRecordedUs) {
    if (!m_boundarySeen || m_arrivedCount == 0) return false;
    if (m_arrivedCount < m_surveyed.size() && (!synced || m_firstOfFile)) return false;
    if (m_frameCount >= maxFrames || (maxRecordedUs > 0 && m_recordedUs >= maxRecordedUs)) {
        return false;
    }
    // No boundary tells when it ends: it lasts as long as the frames before it did.
    if (m_frameCount == 0) m_firstFrameUs = m_lastBoundaryUs;
    if (m_frameCount > 0) m_recordedUs += m_recordedUs / m_frameCount;
    ++m_frameCount;
    m_missing += m_frameLost;
    EndFrameArrivals(true);
    return true;
}

FrameAssembler::PlaceResult FrameAssembler::Place(const uint8_t* record, uint16_t recordLength,
                                                  uint8_t* frame) {
    PlaceResult r;
    r.recordLength = recordLength;
    const auto u = static_cast<size_t>(RecordUniverse(record));
    if (u >= m_table->size()) return r;  // not admitted
    const UniverseSlot& slot = (*m_table)[u];
    r.position = slot.offset;
    const uint32_t n = recordLength >= kArtRecordHeader ? recordLength - kArtRecordHeader : 0;
    const uint32_t copy = std::min<uint32_t>(n, slot.length);
    if (static_cast<uint64_t>(slot.offset) + copy > m_frameLength) {
        r.placement = Placement::ReceiveError;
        return r;
    }
    if (copy) std::memcpy(frame + slot.offset, record + kArtRecordHeader, copy);
    uint16_t& placedBytes = m_placed[u];
    if (copy > placedBytes) placedBytes = static_cast<uint16_t>(copy);
    uint64_t& word = m_arrived[u / 64];
    const uint64_t bit = uint64_t{1} << (u % 64);
    if (slot.length && !(word & bit)) {
        word |= bit;
        ++m_arrivedCount;
    }
    return r;
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

}  // namespace quorvex
