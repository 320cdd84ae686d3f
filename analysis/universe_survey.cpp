#include "analysis/universe_survey.h"

#include <algorithm>

#include "analysis/input_monitor.h"
#include "capture/art_packet.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {
constexpr size_t kMaxGaps = 16384;
constexpr uint8_t kLearnRepeats = 6;  // a universe seen this often spans five bursts
}  // namespace

UniverseSurvey::UniverseSurvey(UniverseTable& table) : m_table(table) {
    m_gaps.reserve(kMaxGaps);
    m_counts.assign(0x8000, 0);
}

void UniverseSurvey::Reset() {
    m_table.clear();
    m_framing = Framing{};
    m_sequence.reset();
    m_boundarySeen = false;
    m_sequenced.clear();
    m_stage = Stage::None;
    m_stream = Framing{};
    m_gaps.clear();
    std::fill(m_counts.begin(), m_counts.end(), 0);
    m_lastUs = -1;
    m_mark = 0;
    m_wholeFrames = 0;
    m_collected.clear();
}

bool UniverseSurvey::Feed(const uint8_t* record, uint16_t recordLength, uint32_t source,
                          const PacketFacts& facts, int64_t timestampUs) {
    if (!facts.recordable) return false;
    if (facts.protocol == Protocol::ArtNet) {
        if (FeedSequenced(record, recordLength, source)) {
            m_framing = Framing{};
            return true;
        }
        if (RecordSequence(record) != 0) return false;
    }
    if (recordLength <= kArtRecordHeader) return false;
    return FeedUnsequenced(RecordUniverse(record),
                           static_cast<uint16_t>(recordLength - kArtRecordHeader), source, facts,
                           timestampUs);
}

bool UniverseSurvey::FeedSequenced(const uint8_t* record, uint16_t recordLength, uint32_t source) {
    const uint8_t s = RecordSequence(record);
    if (s == 0) {
        if (!m_boundarySeen) return false;
    } else if (!m_boundarySeen) {
        // The frame in progress when the survey started is skipped.
        const bool changed = m_sequence && *m_sequence != s;
        m_sequence = s;
        if (!changed) return false;
        m_boundarySeen = true;
    } else if (s != *m_sequence) {
        return true;
    }
    if (recordLength <= kArtRecordHeader) return false;
    const int universe = RecordUniverse(record);
    const auto length = static_cast<uint16_t>(recordLength - kArtRecordHeader);
    // A universe sent twice in the frame keeps one slot, so that slot k can be universe k.
    auto it = std::find_if(m_table.begin(), m_table.end(),
                           [universe](const UniverseSlot& s) { return s.universe == universe; });
    if (it == m_table.end()) {
        m_table.push_back(UniverseSlot{universe, 0, length, source});
        m_sequenced.push_back(s != 0);
        return false;
    }
    uint8_t& sequenced = m_sequenced[static_cast<size_t>(it - m_table.begin())];
    // The sender that numbers its frames is the show's; one with sequencing off gives way.
    if (!sequenced && s != 0) {
        sequenced = 1;
        it->source = source;
        it->length = length;
    } else if (it->source == source) {
        it->length = std::max(it->length, length);
    }
    return false;
}

void UniverseSurvey::StartMarking(Framing::Mode mode, int64_t pauseUs) {
    m_stream.mode = mode;
    m_stream.pauseUs = pauseUs;
    m_marker.Start(m_stream);
    m_stage = Stage::Skipping;
    m_mark = 0;
}

bool UniverseSurvey::FeedUnsequenced(int universe, uint16_t length, uint32_t source,
                                     const PacketFacts& facts, int64_t timestampUs) {
    if (m_stage == Stage::None) {
        m_stage = Stage::Learning;
        m_stream.protocol = facts.protocol;
        m_stream.source = source;
    }
    // One sender's frames: two senders' packets interleaved make no rhythm.
    if (facts.protocol != m_stream.protocol || source != m_stream.source) return false;
    if (facts.protocol == Protocol::Sacn && facts.syncAddress) {
        m_stream.syncAddress = facts.syncAddress;
    }
    if (m_stage == Stage::Learning) {
        if (m_lastUs >= 0) m_gaps.push_back(timestampUs - m_lastUs);
        m_lastUs = timestampUs;
        uint8_t& seen = m_counts[static_cast<size_t>(universe) & 0x7FFF];
        if (++seen < kLearnRepeats && m_gaps.size() < kMaxGaps) return false;
        StartMarking(Framing::Mode::Burst, BurstPause(m_gaps, kLearnRepeats - 1));
        // This packet may sit inside a burst: the frames begin at the next boundary.
        m_mark = m_marker.Mark(universe, 0, timestampUs);
        return false;
    }
    const uint8_t mark = m_marker.Mark(universe, 0, timestampUs);
    const bool boundary = mark != m_mark;
    m_mark = mark;
    if (m_stage == Stage::Skipping) {
        if (!boundary) return false;
        m_stage = Stage::Collecting;
        m_collectingFromUs = timestampUs;
        m_collected.clear();
        m_wholeFrames = 0;
    } else if (boundary) {
        ++m_wholeFrames;
        if (timestampUs - m_collectingFromUs >= kUnsequencedWatchUs) {
            m_table = m_collected;
            m_framing = m_stream;
            return true;
        }
    }
    auto it = std::find_if(m_collected.begin(), m_collected.end(),
                           [universe](const UniverseSlot& s) { return s.universe == universe; });
    if (it == m_collected.end()) {
        m_collected.push_back(UniverseSlot{universe, 0, length, source, facts.protocol});
    } else {
        it->length = std::max(it->length, length);
    }
    return false;
}

void UniverseSurvey::FeedSync(const PacketFacts& facts, uint32_t source) {
    if (m_stage == Stage::None || facts.protocol != m_stream.protocol ||
        source != m_stream.source) {
        return;
    }
    if (facts.protocol == Protocol::Sacn && facts.syncAddress != m_stream.syncAddress) return;
    // The sender ends its frames itself: start over from this one's end.
    if (m_stream.mode != Framing::Mode::Sync) StartMarking(Framing::Mode::Sync, 0);
    m_marker.Sync(facts.protocol, facts.syncAddress, source);
}

bool UniverseSurvey::Finish() {
    if (m_stage != Stage::Collecting || m_wholeFrames == 0) return false;
    m_table = m_collected;
    m_framing = m_stream;
    return true;
}

std::string SurveyWaitingHint(const std::string& adapter, double seconds, uint64_t packets,
                              uint64_t artDmx, uint64_t sequencedArtDmx) {
    const char* a = adapter.c_str();
    if (packets == 0) {
        return Format(Tr("Nothing arrives on %s: no packet in %g s. Check the cable, and that the "
                         "show sends to this network."),
                      a, seconds);
    }
    if (artDmx == 0) {
        return Format(Tr("Packets arrive on %s, but no Art-Net ArtDmx among them in %g s."), a,
                      seconds);
    }
    if (sequencedArtDmx == 0) {
        return Format(Tr("ArtDmx arrives on %s, but its Sequence is always 0 (sequencing off), so "
                         "no frame can be told from the next."),
                      a);
    }
    return Format(Tr("ArtDmx arrives on %s, but no whole frame in %g s: its sequence number "
                     "hardly changes."),
                  a, seconds);
}

std::vector<std::string> FramingReportLines(const Framing& framing, int sacnOffset) {
    std::vector<std::string> lines;
    if (framing.mode == Framing::Mode::Sequence) return lines;
    const std::string from = Ipv4Text(framing.source);
    if (framing.protocol == Protocol::Sacn) {
        lines.push_back(
            Format(Tr("sACN (E1.31) from %s: sACN universe N is recorded as universe "
                   "N - %d (the sACN offset)."),
                   from.c_str(), sacnOffset));
    } else {
        lines.push_back(
            Format(Tr("Art-Net from %s without sequence numbers (Sequence 0)."), from.c_str()));
    }
    if (framing.mode == Framing::Mode::Sync) {
        lines.push_back(framing.protocol == Protocol::Sacn
                            ? Format(Tr("Frames end at its synchronization packets (address %u)."),
                                     static_cast<unsigned>(framing.syncAddress))
                            : std::string(Tr("Frames end at its ArtSync packets.")));
    } else if (framing.pauseUs > 0) {
        lines.push_back(Format(Tr("Frames end at its pauses of more than %.1f ms between bursts."),
                               static_cast<double>(framing.pauseUs) / 1000.0));
    } else {
        lines.push_back(
            Tr("Frames end where a universe comes again: it sends without a pause between "
               "frames."));
    }
    return lines;
}

std::vector<std::string> SurveyReportLines(const UniverseTable& table, int perPort) {
    std::vector<std::string> lines;
    const int n = static_cast<int>(table.size());
    lines.push_back(Format(Tr("Parse to %d Universes"), n));
    if (n == 0) return lines;
    int highest = 0;
    uint32_t total = 0;
    for (const UniverseSlot& s : table) {
        highest = std::max(highest, s.universe);
        total += s.length;
    }
    const int count = highest + 1;
    lines.push_back(Format(Tr("Max universe num is:%d"), count));
    if (perPort > 0) {
        const int ports = count / perPort + (count % perPort ? 1 : 0);
        lines.push_back(Format(Tr("The current setting is that each port carries %d universes，The "
                                  "capture file will be set to %d ports."),
                               perPort, ports));
    }
    lines.push_back(Format(Tr("The length of each frame is %u bytes."), total));
    return lines;
}

}  // namespace quorvex
