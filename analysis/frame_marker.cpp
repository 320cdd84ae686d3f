#include "analysis/frame_marker.h"

#include <algorithm>

namespace quorvex {

namespace {
constexpr size_t kUniverses = 0x8000;
}  // namespace

FrameMarker::FrameMarker() : m_seen(kUniverses / 64, 0) { m_seenList.reserve(kUniverses); }

void FrameMarker::Start(const Framing& framing) {
    m_framing = framing;
    m_mark = 1;
    m_syncPending = false;
    m_lastUs = -1;
    for (const uint16_t u : m_seenList) m_seen[u / 64] = 0;
    m_seenList.clear();
}

bool FrameMarker::Sync(Protocol protocol, uint16_t address, uint32_t source) {
    const Framing& f = m_framing;
    if (f.mode == Framing::Mode::Sequence) return protocol == Protocol::ArtNet;
    if (protocol != f.protocol || source != f.source) return false;
    if (protocol == Protocol::Sacn && address != f.syncAddress) return false;
    m_syncPending = true;
    return true;
}

uint8_t FrameMarker::Mark(int universe, uint8_t sequence, int64_t timestampUs) {
    if (m_framing.mode == Framing::Mode::Sequence) return sequence;
    const auto u = static_cast<uint16_t>(universe & (kUniverses - 1));
    uint64_t& word = m_seen[u / 64];
    const uint64_t bit = uint64_t{1} << (u % 64);
    const bool paused = m_framing.mode == Framing::Mode::Burst && m_framing.pauseUs > 0 &&
                        m_lastUs >= 0 && timestampUs - m_lastUs > m_framing.pauseUs;
    if ((m_syncPending || paused || (word & bit)) && !m_seenList.empty()) {
        m_mark = m_mark == 255 ? 1 : static_cast<uint8_t>(m_mark + 1);
        for (const uint16_t seen : m_seenList) m_seen[seen / 64] = 0;
        m_seenList.clear();
    }
    m_syncPending = false;
    m_lastUs = timestampUs;
    if (!(word & bit)) {
        word |= bit;
        m_seenList.push_back(u);
    }
    return m_mark;
}

int64_t BurstPause(std::vector<int64_t> gaps, size_t bursts) {
    if (bursts == 0 || gaps.size() < 2 * bursts) return 0;
    std::sort(gaps.begin(), gaps.end());
    // The gaps between bursts are the largest ones; their middle one is robust against a
    // stall on either side. Within a burst, a quarter of the way up is typical.
    const int64_t between = gaps[gaps.size() - 1 - bursts / 2];
    const int64_t within = std::max<int64_t>(gaps[gaps.size() / 4], 1);
    if (between < 8 * within || between < 1000) return 0;
    return between / 2;
}

}  // namespace quorvex
