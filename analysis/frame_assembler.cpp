#include "analysis/frame_assembler.h"

#include <algorithm>
#include <cstring>

#include "capture/art_packet.h"

namespace quorvex {

uint32_t SequenceGap(uint8_t previous, uint8_t next) {
    if (previous == 0 || next == 0) return 0;  // sequencing off: nothing to tell
    const int step = (next - previous + 255) % 255;
    return step == 0 ? 0 : static_cast<uint32_t>(step - 1);
}

void FrameAssembler::Start(const UniverseTable* table, uint32_t frameLength) {
    m_table = table;
    m_frameLength = frameLength;
    m_frameCount = 0;
    m_sequence.reset();
    m_boundarySeen = false;
    m_missing = 0;
    m_warned.assign(table->size(), 0);
}

FrameAssembler::Boundary FrameAssembler::Classify(uint8_t s, bool paused, bool stopped,
                                                  uint32_t maxFrames) {
    if (!m_boundarySeen) {
        // Packets of the frame in progress when recording began are never recorded.
        const bool changed = m_sequence && *m_sequence != s;
        m_sequence = s;
        if (!changed) return Boundary::Drop;
        m_boundarySeen = true;
        return Boundary::Continue;
    }
    if (s == *m_sequence) return Boundary::Continue;
    m_missing += SequenceGap(*m_sequence, s);
    m_sequence = s;
    if (stopped) return Boundary::Stop;
    // Paused: not counted, but the packet still goes into the frame in progress, so the
    // frame that completes after resuming is one whole frame and not a mix of two.
    if (paused) return Boundary::Continue;
    if (m_frameCount >= maxFrames) return Boundary::Limit;
    ++m_frameCount;
    return Boundary::NewFrame;
}

FrameAssembler::PlaceResult FrameAssembler::Place(const uint8_t* record, uint16_t recordLength,
                                                  uint8_t* frame) {
    PlaceResult r;
    r.universe = RecordUniverse(record);
    r.recordLength = recordLength;
    const uint32_t n = recordLength >= kArtRecordHeader ? recordLength - kArtRecordHeader : 0;
    if (static_cast<size_t>(r.universe) >= m_table->size()) {
        r.placement = Placement::OutOfRange;
        return r;
    }
    const UniverseSlot& slot = (*m_table)[static_cast<size_t>(r.universe)];
    r.position = slot.offset;
    r.slotLength = slot.length;
    // Never more than the slot holds, or one universe would overwrite another's bytes.
    const uint32_t copy = std::min<uint32_t>(n, slot.length);
    if (n > copy) {
        uint8_t& warned = m_warned[static_cast<size_t>(r.universe)];
        if (!warned) {
            warned = 1;
            r.warning = slot.length == 0 ? Warning::NotSurveyed : Warning::Truncated;
        }
    }
    if (copy == 0) return r;
    if (static_cast<uint64_t>(slot.offset) + copy > m_frameLength) {
        r.placement = Placement::ReceiveError;
        return r;
    }
    std::memcpy(frame + slot.offset, record + kArtRecordHeader, copy);
    return r;
}

}  // namespace quorvex
