#include "analysis/universe_survey.h"

#include <algorithm>

#include "capture/art_packet.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

void UniverseSurvey::Reset() {
    m_table.clear();
    m_sequence.reset();
    m_boundarySeen = false;
    m_sequenced.clear();
}

bool UniverseSurvey::Feed(const uint8_t* record, uint16_t recordLength, uint32_t source) {
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
