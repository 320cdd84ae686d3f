#include "analysis/input_monitor.h"

#include <algorithm>
#include <chrono>
#include <tuple>

#include "platform/text_format.h"

namespace quorvex {

namespace {

constexpr int64_t kLevelEveryUs = 100000;

uint64_t KeyOf(int universe, uint32_t source) {
    return (static_cast<uint64_t>(universe + 1) << 32) | source;
}

size_t HomeOf(uint64_t key) {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 54) % InputMonitor::kCapacity;
}

uint8_t Highest(const uint8_t* data, uint16_t length) {
    uint8_t m = 0;
    for (uint16_t i = 0; i < length; ++i) m = data[i] > m ? data[i] : m;
    return m;
}

}  // namespace

InputMonitor::InputMonitor() = default;

void InputMonitor::EmptyTable() {
    for (Entry& e : m_entries) {
        e.key.store(0, std::memory_order_relaxed);
        e.packets.store(0, std::memory_order_relaxed);
        e.frames.store(0, std::memory_order_relaxed);
        e.lastSeenUs.store(0, std::memory_order_relaxed);
        e.levelAtUs.store(0, std::memory_order_relaxed);
        e.lengthAndLevel.store(0, std::memory_order_relaxed);
        e.sequence.store(0, std::memory_order_relaxed);
    }
    m_overflow.store(0, std::memory_order_relaxed);
}

void InputMonitor::Observe(int universe, uint32_t source, uint8_t sequence, int64_t timestampUs,
                           const uint8_t* data, uint16_t length) {
    const uint64_t clears = m_clearRequests.load(std::memory_order_acquire);
    if (clears != m_clearsDone.load(std::memory_order_relaxed)) {
        EmptyTable();
        m_clearsDone.store(clears, std::memory_order_release);
    }
    const uint64_t key = KeyOf(universe, source);
    size_t at = HomeOf(key);
    Entry* e = nullptr;
    for (size_t probes = 0; probes < kCapacity; ++probes, at = (at + 1) % kCapacity) {
        const uint64_t k = m_entries[at].key.load(std::memory_order_relaxed);
        if (k == key) {
            e = &m_entries[at];
            break;
        }
        if (k == 0) {
            // Only this thread writes keys; readers see the counters from the key on.
            e = &m_entries[at];
            e->sequence.store(sequence, std::memory_order_relaxed);
            e->key.store(key, std::memory_order_release);
            break;
        }
    }
    if (!e) {
        m_overflow.store(m_overflow.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return;
    }
    // One writer: plain loads and stores, no read-modify-write needed.
    e->packets.store(e->packets.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    if (e->sequence.load(std::memory_order_relaxed) != sequence) {
        e->sequence.store(sequence, std::memory_order_relaxed);
        e->frames.store(e->frames.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
    e->lastSeenUs.store(timestampUs, std::memory_order_relaxed);
    // The level is sampled: a display needs a few values a second, not one per packet.
    uint32_t lengthAndLevel = e->lengthAndLevel.load(std::memory_order_relaxed);
    uint8_t level = static_cast<uint8_t>(lengthAndLevel & 0xFF);
    const int64_t levelAt = e->levelAtUs.load(std::memory_order_relaxed);
    if (levelAt == 0 || timestampUs - levelAt >= kLevelEveryUs || timestampUs < levelAt) {
        level = Highest(data, length);
        e->levelAtUs.store(timestampUs == 0 ? 1 : timestampUs, std::memory_order_relaxed);
    }
    lengthAndLevel = (static_cast<uint32_t>(length) << 8) | level;
    e->lengthAndLevel.store(lengthAndLevel, std::memory_order_relaxed);
}

std::vector<InputCounters> InputMonitor::Read() const {
    std::vector<InputCounters> out;
    // A clear the packet thread has not carried out yet: the old rows are gone already.
    if (m_clearRequests.load(std::memory_order_acquire) !=
        m_clearsDone.load(std::memory_order_acquire)) {
        return out;
    }
    for (const Entry& e : m_entries) {
        const uint64_t key = e.key.load(std::memory_order_acquire);
        if (key == 0) continue;
        InputCounters c;
        c.universe = static_cast<int>(key >> 32) - 1;
        c.source = static_cast<uint32_t>(key);
        c.packets = e.packets.load(std::memory_order_relaxed);
        c.frames = e.frames.load(std::memory_order_relaxed);
        c.lastSeenUs = e.lastSeenUs.load(std::memory_order_relaxed);
        const uint32_t ll = e.lengthAndLevel.load(std::memory_order_relaxed);
        c.length = static_cast<uint16_t>(ll >> 8);
        c.level = static_cast<uint8_t>(ll & 0xFF);
        out.push_back(c);
    }
    return out;
}

void InputMonitor::Clear() { m_clearRequests.fetch_add(1, std::memory_order_acq_rel); }

std::vector<InputRow> InputRates::Sample(const std::vector<InputCounters>& counters,
                                         int64_t nowUs) {
    std::vector<InputCounters> sorted = counters;
    std::sort(sorted.begin(), sorted.end(), [](const InputCounters& a, const InputCounters& b) {
        return std::tie(a.universe, a.source) < std::tie(b.universe, b.source);
    });
    const double span = m_previous.empty() || nowUs <= m_previousUs
                            ? 0
                            : static_cast<double>(nowUs - m_previousUs) / 1e6;
    std::vector<InputRow> rows;
    rows.reserve(sorted.size());
    std::vector<Previous> next;
    next.reserve(sorted.size());
    for (const InputCounters& c : sorted) {
        InputRow r;
        r.universe = c.universe;
        r.source = c.source;
        r.length = c.length;
        r.level = c.level;
        r.secondsSinceSeen =
            nowUs > c.lastSeenUs ? static_cast<double>(nowUs - c.lastSeenUs) / 1e6 : 0;
        const auto was = std::lower_bound(
            m_previous.begin(), m_previous.end(), c, [](const Previous& p, const InputCounters& k) {
                return std::tie(p.universe, p.source) < std::tie(k.universe, k.source);
            });
        if (span > 0 && was != m_previous.end() && was->universe == c.universe &&
            was->source == c.source && c.packets >= was->packets) {
            r.packetsPerSecond = static_cast<double>(c.packets - was->packets) / span;
            r.framesPerSecond = static_cast<double>(c.frames - was->frames) / span;
        }
        rows.push_back(r);
        next.push_back({c.universe, c.source, c.packets, c.frames});
    }
    m_previous = std::move(next);
    m_previousUs = nowUs;
    return rows;
}

int64_t WallClockUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace quorvex
