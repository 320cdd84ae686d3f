#pragma once
// The live input view: per universe and sender, counters the packet thread bumps at every
// ArtDmx packet and front-ends sample a few times a second. The packet thread never waits
// for a reader and allocates nothing; readers see each counter whole, if not all of them from
// the same instant.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text_format.h"

namespace quorvex {

// One universe from one sender, as last read.
struct InputCounters {
    int universe = 0;
    uint32_t source = 0;     // IPv4, host byte order
    uint64_t packets = 0;    // ArtDmx packets
    uint64_t frames = 0;     // changes of the sequence number
    int64_t lastSeenUs = 0;  // capture time of the last packet
    uint16_t length = 0;     // channel bytes of the last packet
    uint8_t level = 0;       // highest channel value, sampled every 100 ms of capture time
};

class InputMonitor {
  public:
    // Universe and sender pairs it follows; more are counted in Overflowed().
    static constexpr size_t kCapacity = 1024;

    InputMonitor();

    // Packet thread: one ArtDmx packet. `data` holds its `length` channel bytes.
    void Observe(int universe, uint32_t source, uint8_t sequence, int64_t timestampUs,
                 const uint8_t* data, uint16_t length);

    // Any thread: what has been seen so far, in no particular order.
    std::vector<InputCounters> Read() const;
    // Any thread: forget everything (another adapter was chosen). The packet thread empties
    // the table before its next packet; readers see it empty at once.
    void Clear();
    // Packets of pairs beyond kCapacity.
    uint64_t Overflowed() const { return m_overflow.load(std::memory_order_relaxed); }

  private:
    struct Entry {
        std::atomic<uint64_t> key{0};  // (universe + 1) << 32 | source; 0: free
        std::atomic<uint64_t> packets{0};
        std::atomic<uint64_t> frames{0};
        std::atomic<int64_t> lastSeenUs{0};
        std::atomic<int64_t> levelAtUs{0};
        std::atomic<uint32_t> lengthAndLevel{0};  // length << 8 | level
        std::atomic<uint32_t> sequence{0};
    };
    void EmptyTable();

    std::array<Entry, kCapacity> m_entries;
    std::atomic<uint64_t> m_clearRequests{0};
    std::atomic<uint64_t> m_clearsDone{0};  // set by the packet thread once the table is empty
    std::atomic<uint64_t> m_overflow{0};
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
};

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
