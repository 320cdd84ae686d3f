#include "analysis/input_monitor.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <tuple>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/text_format.h"

namespace quorvex {

namespace {

// The table's fields are plain integers reached through atomic operations: that lets it come
// zeroed from calloc, which maps pages only as universes are first seen.
template <class T>
T Get(const T& field) {
    return __atomic_load_n(&field, __ATOMIC_RELAXED);
}
template <class T>
T Acquire(const T& field) {
    return __atomic_load_n(&field, __ATOMIC_ACQUIRE);
}
template <class T, class V>
void Put(T& field, V value) {
    __atomic_store_n(&field, static_cast<T>(value), __ATOMIC_RELAXED);
}

// The level costs the same at every packet whatever the number of universes: each packet
// looks at one eighth of the channels, in turn, and the level is the highest of the last eight.
constexpr int kLevelParts = 8;
constexpr uint16_t kLevelPart = 512 / kLevelParts;

uint8_t HighestOfPart(const uint8_t* data, uint16_t length, int part) {
    const uint16_t from = static_cast<uint16_t>(part * kLevelPart);
    const uint16_t to = std::min<uint16_t>(length, static_cast<uint16_t>(from + kLevelPart));
    uint8_t m = 0;
    uint16_t i = from;
#ifdef __SSE2__
    if (to - from == kLevelPart) {
        __m128i wide = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
        for (i = static_cast<uint16_t>(from + 16); i < to; i = static_cast<uint16_t>(i + 16)) {
            wide = _mm_max_epu8(wide, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)));
        }
        wide = _mm_max_epu8(wide, _mm_srli_si128(wide, 8));
        wide = _mm_max_epu8(wide, _mm_srli_si128(wide, 4));
        wide = _mm_max_epu8(wide, _mm_srli_si128(wide, 2));
        wide = _mm_max_epu8(wide, _mm_srli_si128(wide, 1));
        return static_cast<uint8_t>(_mm_cvtsi128_si32(wide) & 0xFF);
    }
#endif
    for (; i < to; ++i) m = data[i] > m ? data[i] : m;
    return m;
}

uint8_t HighestPart(uint64_t parts) {
    uint8_t m = 0;
    for (int k = 0; k < kLevelParts; ++k) m = std::max(m, static_cast<uint8_t>(parts >> (8 * k)));
    return m;
}

uint32_t PackOrigin(const InputOrigin& o) {
    return o.sentUniverse | (o.protocol == Protocol::Sacn ? 1u << 16 : 0u) |
           (static_cast<uint32_t>(o.priority) << 24);
}

}  // namespace

struct InputMonitor::Entry {
    uint64_t packets;
    uint64_t frames;
    int64_t lastSeenUs;
    uint64_t levelParts;  // byte k: the highest value of the channels' part k, as last seen
    uint32_t source;
    uint32_t universe;
    uint32_t next;  // index + 1 of the universe's next pair; 0: the last
    uint32_t length;
    uint32_t origin;  // sent universe | sACN << 16 | priority << 24
    uint32_t address;
    uint32_t sequence;
};

InputMonitor::InputMonitor()
    : m_entries(static_cast<Entry*>(std::calloc(kCapacity, sizeof(Entry)))),
      m_heads(static_cast<uint32_t*>(std::calloc(kUniverses, sizeof(uint32_t)))),
      m_watchSlots(static_cast<uint8_t*>(std::calloc(kUniverses, 1))),
      m_watched(std::make_unique<ChannelBuffer[]>(kWatched)) {
    if (!m_entries || !m_heads || !m_watchSlots) throw std::bad_alloc();
}

InputMonitor::~InputMonitor() {
    std::free(m_entries);
    std::free(m_heads);
    std::free(m_watchSlots);
}

void InputMonitor::EmptyTable() {
    const uint32_t count = m_count.load(std::memory_order_relaxed);
    m_count.store(0, std::memory_order_release);
    for (uint32_t i = 0; i < count; ++i) {
        Entry& e = m_entries[i];
        Put(m_heads[Get(e.universe)], 0);
        Put(e.packets, 0);
        Put(e.frames, 0);
        Put(e.lastSeenUs, 0);
        Put(e.levelParts, 0);
        Put(e.source, 0);
        Put(e.universe, 0);
        Put(e.next, 0);
        Put(e.length, 0);
        Put(e.origin, 0);
        Put(e.address, 0);
        Put(e.sequence, 0);
    }
    m_overflow.store(0, std::memory_order_relaxed);
}

void InputMonitor::Observe(int universe, uint32_t source, uint8_t sequence, int64_t timestampUs,
                           const uint8_t* data, uint16_t length, const InputOrigin& origin) {
    const uint64_t clears = m_clearRequests.load(std::memory_order_acquire);
    if (clears != m_clearsDone.load(std::memory_order_relaxed)) {
        EmptyTable();
        m_clearsDone.store(clears, std::memory_order_release);
    }
    if (universe < 0 || universe >= kUniverses) return;
    // A universe has a sender or two: its chain is short whatever the number of universes.
    uint32_t& head = m_heads[universe];
    Entry* e = nullptr;
    for (uint32_t link = Get(head); link; link = Get(m_entries[link - 1].next)) {
        if (Get(m_entries[link - 1].source) == source) {
            e = &m_entries[link - 1];
            break;
        }
    }
    if (!e) {
        const uint32_t n = m_count.load(std::memory_order_relaxed);
        if (n >= kCapacity) {
            m_overflow.store(m_overflow.load(std::memory_order_relaxed) + 1,
                             std::memory_order_relaxed);
            return;
        }
        // Only this thread writes the table; readers see a pair once the count covers it.
        e = &m_entries[n];
        Put(e->source, source);
        Put(e->universe, universe);
        Put(e->sequence, sequence);
        Put(e->next, Get(head));
        Put(head, n + 1);
        m_count.store(n + 1, std::memory_order_release);
    }
    // One writer: plain loads and stores, no read-modify-write needed.
    Put(e->packets, Get(e->packets) + 1);
    if (Get(e->sequence) != sequence) {
        Put(e->sequence, sequence);
        Put(e->frames, Get(e->frames) + 1);
    }
    Put(e->lastSeenUs, timestampUs);
    Put(e->origin, PackOrigin(origin));
    Put(e->address, origin.address);
    const uint64_t packets = Get(e->packets);
    const int part = static_cast<int>((packets - 1) % kLevelParts);
    uint64_t parts = Get(e->levelParts) & ~(uint64_t{0xFF} << (8 * part));
    parts |= static_cast<uint64_t>(HighestOfPart(data, length, part)) << (8 * part);
    Put(e->levelParts, parts);
    Put(e->length, length);
    if (m_selected.load(std::memory_order_relaxed) == universe) {
        m_grid.Write(universe, source, data, length);
    }
    if (const uint8_t slot = Get(m_watchSlots[universe])) {
        m_watched[slot - 1].Write(universe, source, data, length);
    }
}

void ChannelBuffer::Write(int universe, uint32_t source, const uint8_t* data, uint16_t length) {
    const uint32_t s = m_sequence.load(std::memory_order_relaxed);
    m_sequence.store(s + 1, std::memory_order_relaxed);
    // Release stores: a reader that sees any of them sees the odd sequence after them.
    const uint64_t packets = m_universe.load(std::memory_order_relaxed) == universe
                                 ? m_packets.load(std::memory_order_relaxed) + 1
                                 : 1;
    m_universe.store(universe, std::memory_order_release);
    m_packets.store(packets, std::memory_order_release);
    m_source.store(source, std::memory_order_release);
    const uint16_t n = std::min<uint16_t>(length, 512);
    m_length.store(n, std::memory_order_release);
    uint8_t bytes[512] = {};
    std::memcpy(bytes, data, n);
    for (size_t w = 0; w < m_words.size(); ++w) {
        uint64_t word;
        std::memcpy(&word, bytes + w * 8, 8);
        m_words[w].store(word, std::memory_order_release);
    }
    m_sequence.store(s + 2, std::memory_order_release);
}

ChannelSnapshot ChannelBuffer::Read() const {
    ChannelSnapshot out;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const uint32_t before = m_sequence.load(std::memory_order_acquire);
        if (before & 1) {
            std::this_thread::yield();
            continue;
        }
        out.universe = m_universe.load(std::memory_order_acquire);
        out.packets = m_packets.load(std::memory_order_acquire);
        out.source = m_source.load(std::memory_order_acquire);
        out.length = static_cast<uint16_t>(m_length.load(std::memory_order_acquire));
        for (size_t w = 0; w < m_words.size(); ++w) {
            const uint64_t word = m_words[w].load(std::memory_order_acquire);
            std::memcpy(out.values.data() + w * 8, &word, 8);
        }
        if (m_sequence.load(std::memory_order_relaxed) == before) break;
    }
    return out;
}

void InputMonitor::SelectUniverse(int universe) {
    m_selected.store(universe, std::memory_order_relaxed);
}

ChannelSnapshot InputMonitor::Channels() const {
    const int selected = m_selected.load(std::memory_order_relaxed);
    ChannelSnapshot out = m_grid.Read();
    // Channels of another universe than the one now selected are no answer.
    if (out.universe != selected || selected < 0) return ChannelSnapshot{};
    return out;
}

void InputMonitor::WatchUniverses(const std::vector<int>& universes) {
    for (int u = 0; u < kUniverses; ++u) {
        if (Get(m_watchSlots[u])) Put(m_watchSlots[u], 0);
    }
    const size_t n = std::min(universes.size(), kWatched);
    for (size_t i = 0; i < n; ++i) {
        if (universes[i] >= 0 && universes[i] < kUniverses) {
            Put(m_watchSlots[universes[i]], static_cast<uint8_t>(i + 1));
        }
    }
}

ChannelSnapshot InputMonitor::WatchedChannels(int universe) const {
    if (universe < 0 || universe >= kUniverses) return {};
    const uint8_t slot = Get(m_watchSlots[universe]);
    if (!slot) return {};
    ChannelSnapshot out = m_watched[slot - 1].Read();
    return out.universe == universe ? out : ChannelSnapshot{};
}

std::vector<InputCounters> InputMonitor::Read() const {
    std::vector<InputCounters> out;
    // A clear the packet thread has not carried out yet: the old rows are gone already.
    if (m_clearRequests.load(std::memory_order_acquire) !=
        m_clearsDone.load(std::memory_order_acquire)) {
        return out;
    }
    const uint32_t count = m_count.load(std::memory_order_acquire);
    out.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const Entry& e = m_entries[i];
        InputCounters c;
        c.universe = static_cast<int>(Acquire(e.universe));
        c.source = Get(e.source);
        c.packets = Get(e.packets);
        // Emptied under the reader: no row.
        if (c.packets == 0) continue;
        c.frames = Get(e.frames);
        c.lastSeenUs = Get(e.lastSeenUs);
        c.length = static_cast<uint16_t>(Get(e.length));
        c.level = HighestPart(Get(e.levelParts));
        const uint32_t origin = Get(e.origin);
        c.origin.sentUniverse = static_cast<uint16_t>(origin & 0xFFFF);
        c.origin.protocol = (origin >> 16) & 1 ? Protocol::Sacn : Protocol::ArtNet;
        c.origin.priority = static_cast<uint8_t>(origin >> 24);
        c.origin.address = Get(e.address);
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
        r.origin = c.origin;
        r.secondsSinceSeen =
            nowUs > c.lastSeenUs ? static_cast<double>(nowUs - c.lastSeenUs) / 1e6 : 0;
        r.stale = r.secondsSinceSeen > kStaleAfterSeconds;
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

void DescribeSenders(std::vector<InputRow>& rows, const SourceDirectory& sources,
                     const NodeNames& nodes, const UniverseTable& recorded) {
    std::vector<std::pair<int, uint32_t>> taken;
    taken.reserve(recorded.size());
    for (const UniverseSlot& u : recorded) taken.emplace_back(u.universe, SenderOf(u));
    std::sort(taken.begin(), taken.end());
    for (InputRow& r : rows) {
        if (r.origin.protocol == Protocol::Sacn) {
            if (const auto s = sources.Find(r.source)) {
                r.name = s->name;
                r.cid = CidText(s->cid);
            }
        } else {
            r.name = nodes.Find(r.origin.address ? r.origin.address : r.source);
        }
        r.recorded = std::binary_search(taken.begin(), taken.end(),
                                        std::pair<int, uint32_t>(r.universe, r.source));
    }
}

int64_t WallClockUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace quorvex
