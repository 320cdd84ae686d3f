#pragma once
// The universe survey: watches ArtDmx records until it has seen exactly one whole frame
// (a run of packets sharing a sequence number, bounded by a change on both sides).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/universe_table.h"

namespace quorvex {

class UniverseSurvey {
  public:
    explicit UniverseSurvey(UniverseTable& table) : m_table(table) {}

    // Empties the table and forgets the sequence seen so far.
    void Reset();
    // Feeds one ArtDmx record from the sender `source` (IPv4). True when the surveyed frame is
    // complete (the record that says so belongs to the next frame and is not noted). Sequence
    // 0 (sequencing off) never marks a boundary; each universe is noted with its sender.
    bool Feed(const uint8_t* record, uint16_t recordLength, uint32_t source);

  private:
    UniverseTable& m_table;
    std::optional<uint8_t> m_sequence;
    bool m_boundarySeen = false;
    std::vector<uint8_t> m_sequenced;  // per table slot: its sender was seen with a sequence
};

// What a survey that waited `seconds` on `adapter` without a whole frame tells: nothing
// arrives, packets but no ArtDmx, ArtDmx whose Sequence is always 0, or too few frames.
std::string SurveyWaitingHint(const std::string& adapter, double seconds, uint64_t packets,
                              uint64_t artDmx, uint64_t sequencedArtDmx);

// The survey report's log lines. `perPort` is the universes per port, or 0 when the user
// gave no valid number (the ports line is then left out).
std::vector<std::string> SurveyReportLines(const UniverseTable& table, int perPort);

}  // namespace quorvex
