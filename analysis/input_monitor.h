#pragma once
// The live input view: per universe and sender, counters the packet thread bumps at every
// data packet and front-ends sample a few times a second. The packet thread never waits for a
// reader, allocates nothing and scans nothing: a universe indexes its senders directly. Readers
// see each counter whole, if not all of them from the same instant.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/universe_table.h"
#include "capture/protocol.h"
#include "capture/source_directory.h"
#include "platform/text_format.h"

namespace quorvex {

// Where a packet came from beyond its sender's identity.
struct InputOrigin {
    Protocol protocol = Protocol::ArtNet;
    uint32_t address = 0;       // IPv4, host byte order
    uint16_t sentUniverse = 0;  // sACN: the universe as sent
    uint8_t priority = 0;       // sACN
};

// One universe from one sender, as last read.
struct InputCounters {
    int universe = 0;
    uint32_t source = 0;     // the sender's identity: IPv4 for Art-Net, see SourceDirectory
    uint64_t packets = 0;    // data packets
    uint64_t frames = 0;     // changes of the sequence number
    int64_t lastSeenUs = 0;  // capture time of the last packet
    uint16_t length = 0;     // channel bytes of the last packet
    // The highest channel value of the last 8 packets, each looked at in one eighth of its
    // channels, in turn: a level costs the same per packet at any number of universes.
    uint8_t level = 0;
    InputOrigin origin;  // as of the last packet
};

// The latest channels of the universe a viewer selected.
struct ChannelSnapshot {
    int universe = -1;  // -1: none selected, or nothing seen of it yet
    uint32_t source = 0;
    uint16_t length = 0;
    uint64_t packets = 0;  // packets of the universe copied since it was selected
    std::array<uint8_t, 512> values{};
};

// The latest channels of one universe behind a sequence lock: odd while its one writer writes,
// and a reader retries when it changed under it. Neither waits for the other.
class ChannelBuffer {
  public:
    void Write(int universe, uint32_t source, const uint8_t* data, uint16_t length);
    ChannelSnapshot Read() const;

  private:
    std::atomic<uint32_t> m_sequence{0};
    std::atomic<int> m_universe{-1};
    std::atomic<uint32_t> m_source{0};
    std::atomic<uint32_t> m_length{0};
    std::atomic<uint64_t> m_packets{0};
    std::array<std::atomic<uint64_t>, 64> m_words{};
};

class InputMonitor {
  public:
    // Every universe a recording can hold.
    static constexpr int kUniverses = 32768;
    // Universe and sender pairs it follows; packets of more are counted in Overflowed().
    static constexpr uint32_t kCapacity = 4 * kUniverses;

    InputMonitor();
    ~InputMonitor();
    InputMonitor(const InputMonitor&) = delete;
    InputMonitor& operator=(const InputMonitor&) = delete;

    // Packet thread: one data packet. `data` holds its `length` channel bytes.
    void Observe(int universe, uint32_t source, uint8_t sequence, int64_t timestampUs,
                 const uint8_t* data, uint16_t length, const InputOrigin& origin = {});

    // Any thread: what has been seen so far, in no particular order.
    std::vector<InputCounters> Read() const;
    // Any thread: forget everything (another adapter was chosen, or the viewer cleared the
    // rows). The packet thread empties the table before its next packet; readers see it empty
    // at once.
    void Clear();
    // Packets of pairs beyond kCapacity.
    uint64_t Overflowed() const { return m_overflow.load(std::memory_order_relaxed); }

    // Any thread: copy the channels of `universe` (-1: none) from its next packet on.
    void SelectUniverse(int universe);
    // Any thread: the selected universe's latest channels.
    ChannelSnapshot Channels() const;

    // Universes whose channels are kept for a picture of the ports; more are left out.
    static constexpr size_t kWatched = 64;
    // Control thread: keep the channels of these universes (the first kWatched) from their
    // next packets on, instead of the ones before.
    void WatchUniverses(const std::vector<int>& universes);
    // Any thread: a watched universe's latest channels; universe -1 when not watched or not
    // seen since.
    ChannelSnapshot WatchedChannels(int universe) const;

  private:
    struct Entry;
    void EmptyTable();

    // Both come zeroed from the allocator, so pages of universes never seen stay untouched.
    Entry* m_entries = nullptr;
    uint32_t* m_heads = nullptr;  // per universe: index + 1 of its first pair; 0: none
    std::atomic<uint32_t> m_count{0};
    std::atomic<uint64_t> m_clearRequests{0};
    std::atomic<uint64_t> m_clearsDone{0};  // set by the packet thread once the table is empty
    std::atomic<uint64_t> m_overflow{0};

    std::atomic<int> m_selected{-1};
    ChannelBuffer m_grid;
    uint8_t* m_watchSlots = nullptr;  // per universe: its buffer in m_watched + 1; 0: none
    std::unique_ptr<ChannelBuffer[]> m_watched;
};

// One line of the view.
struct InputRow {
    int universe = 0;
    uint32_t source = 0;
    double packetsPerSecond = 0;
    double framesPerSecond = 0;
    double secondsSinceSeen = 0;
    uint16_t length = 0;
    uint8_t level = 0;
    InputOrigin origin;
    bool stale = false;     // silent for more than kStaleAfterSeconds: its level is of the past
    bool recorded = false;  // the sender a recording takes this universe from
    std::string name;       // sACN source name, or the Art-Net node's short name
    std::string cid;        // sACN
};

// Fills in names and CIDs from what the packet source learnt, and marks the pairs `recorded`
// takes (an empty table marks none).
void DescribeSenders(std::vector<InputRow>& rows, const SourceDirectory& sources,
                     const NodeNames& nodes, const UniverseTable& recorded);

inline constexpr double kStaleAfterSeconds = 2.0;

// Turns successive readings into rates. Owned by one front-end; not thread-safe.
class InputRates {
  public:
    // `nowUs`: the time of the reading on the clock of the packet timestamps (the wall clock
    // for a live adapter). Rows sorted by universe, then sender. The first reading of a pair
    // gives rates of 0.
    std::vector<InputRow> Sample(const std::vector<InputCounters>& counters, int64_t nowUs);

  private:
    struct Previous {
        int universe;
        uint32_t source;
        uint64_t packets;
        uint64_t frames;
    };
    std::vector<Previous> m_previous;
    int64_t m_previousUs = 0;
};

// The wall clock in microseconds, as packet timestamps of a live adapter count.
int64_t WallClockUs();

}  // namespace quorvex
