#pragma once
// The universe survey: watches the show for a second and a half of capture time and notes
// every universe each sender sends in that time, with the longest data it brought, so that a
// universe sent less often because it did not change is found too. Then it learns how the
// sender whose frames are recorded (the one with the most universes) delimits them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/frame_layout.h"
#include "analysis/framing.h"
#include "analysis/universe_table.h"
#include "capture/protocol.h"

namespace quorvex {

class UniverseSurvey {
  public:
    // Capture time the show is watched for, from its first data packet.
    static constexpr int64_t kWatchUs = 1'500'000;

    explicit UniverseSurvey(UniverseTable& table);
    ~UniverseSurvey();

    // Empties the table and forgets what was seen so far.
    void Reset();
    // Feeds one data record captured at `timestampUs`. True when the watch is over; the table
    // and the framing are then filled (the record that says so is not noted).
    bool Feed(const uint8_t* record, uint16_t recordLength, const PacketFacts& facts,
              int64_t timestampUs);
    // An ArtSync or sACN synchronization packet.
    void FeedSync(const PacketFacts& facts, int64_t timestampUs);
    // At the end of the packets: takes what was seen. True when the table was filled.
    bool Finish();
    // How the recording tells the frames of what was surveyed apart.
    const Framing& SurveyedFraming() const { return m_framing; }

  private:
    struct Candidate;
    struct Sender;
    Candidate* Find(int universe, uint32_t sender, bool add);

    UniverseTable& m_table;
    Framing m_framing;
    int64_t m_firstUs = -1;
    bool m_done = false;
    std::vector<Observation> m_observations;
    std::unique_ptr<Candidate[]> m_candidates;
    std::vector<uint32_t> m_slots;  // open addressing into m_candidates, index + 1
    size_t m_candidateCount = 0;
    std::vector<Sender> m_senders;
};

// What a survey that waited `seconds` on `adapter` tells: nothing arrives, or packets but
// none of the show's (`showPackets`: ArtDmx or sACN data). Empty when the show arrives.
std::string SurveyWaitingHint(const std::string& adapter, double seconds, uint64_t packets,
                              uint64_t showPackets);

// The survey report's log lines: the universes found, the highest universe number, what the
// selection makes of them, the ports and the frame length. `perPort` is the universes per port,
// or 0 when the user gave no valid number (the ports line is then left out); `controllerPorts`
// the outputs of the user's controller, 0 when not given.
std::vector<std::string> SurveyReportLines(const UniverseTable& table, int perPort,
                                           const UniverseSelection& selection = {},
                                           int controllerPorts = 0);

}  // namespace quorvex
