#pragma once
// The universe survey: watches ArtDmx records until it has seen exactly one whole frame
// (a run of packets sharing a sequence number, bounded by a change on both sides). A sender
// that does not number its frames (sACN, or Art-Net with Sequence 0) is watched for longer:
// its frames end at its synchronization packets or at the pauses between its bursts, and the
// universes it sent over more than a second are taken, so that one it sends less often
// because it did not change is found too.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/frame_marker.h"
#include "analysis/universe_table.h"
#include "capture/protocol.h"

namespace quorvex {

class UniverseSurvey {
  public:
    // Capture time a sender without sequence numbers is watched for, from its first boundary.
    static constexpr int64_t kUnsequencedWatchUs = 1'500'000;

    explicit UniverseSurvey(UniverseTable& table);

    // Empties the table and forgets what was seen so far.
    void Reset();
    // Feeds one record from the sender `source` (IPv4), captured at `timestampUs`. True when
    // the surveyed frame is complete (the record that says so belongs to the next frame and
    // is not noted). Art-Net Sequence 0 (sequencing off) never marks a boundary; each
    // universe is noted with its sender and protocol.
    bool Feed(const uint8_t* record, uint16_t recordLength, uint32_t source,
              const PacketFacts& facts = {}, int64_t timestampUs = 0);
    // An ArtSync or sACN synchronization packet.
    void FeedSync(const PacketFacts& facts, uint32_t source);
    // At the end of the packets: takes the universes of a sender without sequence numbers
    // when at least one of its frames was seen whole. True when the table was filled.
    bool Finish();
    // How the recording tells the frames of what was surveyed apart.
    const Framing& SurveyedFraming() const { return m_framing; }

  private:
    bool FeedSequenced(const uint8_t* record, uint16_t recordLength, uint32_t source);
    bool FeedUnsequenced(int universe, uint16_t length, uint32_t source, const PacketFacts& facts,
                         int64_t timestampUs);
    void StartMarking(Framing::Mode mode, int64_t pauseUs);

    UniverseTable& m_table;
    Framing m_framing;
    std::optional<uint8_t> m_sequence;
    bool m_boundarySeen = false;
    std::vector<uint8_t> m_sequenced;  // per table slot: its sender was seen with a sequence

    // The first sender without sequence numbers, and its frames.
    enum class Stage { None, Learning, Skipping, Collecting };
    Stage m_stage = Stage::None;
    Framing m_stream;
    std::vector<int64_t> m_gaps;    // between its packets while learning its rhythm
    std::vector<uint8_t> m_counts;  // per universe: packets seen while learning
    int64_t m_lastUs = -1;
    FrameMarker m_marker;
    uint8_t m_mark = 0;
    int64_t m_collectingFromUs = 0;
    size_t m_wholeFrames = 0;
    UniverseTable m_collected;
};

// What a survey that waited `seconds` on `adapter` without a whole frame tells: nothing
// arrives, packets but no ArtDmx, ArtDmx whose Sequence is always 0, or too few frames.
std::string SurveyWaitingHint(const std::string& adapter, double seconds, uint64_t packets,
                              uint64_t artDmx, uint64_t sequencedArtDmx);

// The survey report's log lines. `perPort` is the universes per port, or 0 when the user
// gave no valid number (the ports line is then left out).
std::vector<std::string> SurveyReportLines(const UniverseTable& table, int perPort);
// What the report adds for a show without Art-Net sequence numbers: the protocol, the sACN
// offset and where frames end. Nothing for Art-Net with sequence numbers.
std::vector<std::string> FramingReportLines(const Framing& framing, int sacnOffset);

}  // namespace quorvex
