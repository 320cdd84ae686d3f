#include "analysis/universe_survey.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>

#include "capture/art_packet.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {
// At line rate the watch sees about 320,000 packets; what comes beyond this is not learned
// from, but its universes are still noted.
constexpr size_t kMaxObservations = size_t{1} << 19;
constexpr size_t kMaxCandidates = size_t{1} << 16;  // universe and sender pairs
constexpr size_t kCandidateSlots = 2 * kMaxCandidates;
}  // namespace

// A universe as one sender sends it.
struct UniverseSurvey::Candidate {
    int32_t universe = 0;
    uint32_t sender = 0;
    uint32_t address = 0;
    Protocol protocol = Protocol::ArtNet;
    uint8_t priority = 0;
    uint16_t length = 0;  // the longest it brought
    uint64_t hash = 0;
    bool numbered = false;  // Art-Net: a non-zero Sequence seen
    size_t order = 0;       // when it was first seen
};

struct UniverseSurvey::Sender {
    uint32_t sender = 0;
    uint32_t address = 0;
    Protocol protocol = Protocol::ArtNet;
    uint16_t syncAddress = 0;  // sACN: the synchronization address its data names
    bool syncSeen = false;
    uint64_t packets = 0;
};

UniverseSurvey::UniverseSurvey(UniverseTable& table)
    : m_table(table),
      m_candidates(std::make_unique<Candidate[]>(kMaxCandidates)),
      m_slots(kCandidateSlots, 0) {}

UniverseSurvey::~UniverseSurvey() = default;

void UniverseSurvey::Reset() {
    m_table.clear();
    m_framing = Framing{};
    m_firstUs = -1;
    m_done = false;
    m_observations.clear();
    m_observations.reserve(kMaxObservations);
    std::fill(m_slots.begin(), m_slots.end(), 0);
    m_candidateCount = 0;
    m_senders.clear();
}

UniverseSurvey::Candidate* UniverseSurvey::Find(int universe, uint32_t sender, bool add) {
    const uint64_t key = (static_cast<uint64_t>(universe) << 32) | sender;
    size_t at = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 40) % kCandidateSlots;
    for (;; at = (at + 1) % kCandidateSlots) {
        const uint32_t held = m_slots[at];
        if (held == 0) break;
        Candidate& c = m_candidates[held - 1];
        if (c.universe == universe && c.sender == sender) return &c;
    }
    if (!add || m_candidateCount >= kMaxCandidates) return nullptr;
    Candidate& c = m_candidates[m_candidateCount];
    c = Candidate{};
    c.universe = universe;
    c.sender = sender;
    c.order = m_candidateCount;
    m_slots[at] = static_cast<uint32_t>(++m_candidateCount);
    return &c;
}

bool UniverseSurvey::Feed(const uint8_t* record, uint16_t recordLength, const PacketFacts& facts,
                          int64_t timestampUs) {
    if (m_done) return true;
    if (!facts.recordable || recordLength <= kArtRecordHeader) return false;
    if (m_firstUs < 0) m_firstUs = timestampUs;
    if (timestampUs - m_firstUs >= kWatchUs) return Finish();

    const int universe = RecordUniverse(record);
    const auto length = static_cast<uint16_t>(recordLength - kArtRecordHeader);
    const uint8_t* data = record + kArtRecordHeader;
    Candidate* c = Find(universe, facts.sender, true);
    if (!c) return false;
    const uint8_t sequence = RecordSequence(record);
    const uint64_t hash = XXH3_64bits_withSeed(data, length, length);
    const bool changed = c->length == 0 || hash != c->hash;
    c->hash = hash;
    c->address = facts.address;
    c->protocol = facts.protocol;
    c->priority = std::max(c->priority, facts.priority);
    c->length = std::max(c->length, length);
    if (RecordSequence(record) != 0) c->numbered = true;

    auto s = std::find_if(m_senders.begin(), m_senders.end(),
                          [&](const Sender& x) { return x.sender == facts.sender; });
    if (s == m_senders.end()) {
        m_senders.push_back(Sender{facts.sender, facts.address, facts.protocol});
        s = m_senders.end() - 1;
    }
    ++s->packets;
    if (facts.protocol == Protocol::Sacn && facts.syncAddress) s->syncAddress = facts.syncAddress;
    if (m_observations.size() < kMaxObservations) {
        m_observations.push_back({timestampUs, facts.sender, universe, sequence, changed});
    }
    return false;
}

void UniverseSurvey::FeedSync(const PacketFacts& facts, int64_t timestampUs) {
    if (m_done) return;
    auto s = std::find_if(m_senders.begin(), m_senders.end(),
                          [&](const Sender& x) { return x.sender == facts.sender; });
    if (s == m_senders.end() || s->protocol != facts.protocol) return;
    if (facts.protocol == Protocol::Sacn && facts.syncAddress != s->syncAddress) return;
    s->syncSeen = true;
    if (m_observations.size() < kMaxObservations) {
        m_observations.push_back({timestampUs, facts.sender, -1, facts.sequence, false});
    }
}

bool UniverseSurvey::Finish() {
    if (m_done) return !m_table.empty();
    m_done = true;
    m_table.clear();
    // Each universe from the source a receiver would follow: for sACN the highest priority;
    // for Art-Net a sender that numbers its frames; else the one seen first.
    std::vector<Candidate*> chosen;
    for (size_t i = 0; i < m_candidateCount; ++i) {
        Candidate& c = m_candidates[i];
        auto it = std::find_if(chosen.begin(), chosen.end(),
                               [&](const Candidate* x) { return x->universe == c.universe; });
        if (it == chosen.end()) {
            chosen.push_back(&c);
            continue;
        }
        Candidate& held = **it;
        if (held.protocol != c.protocol) continue;
        const bool better = c.protocol == Protocol::Sacn ? c.priority > held.priority
                                                         : c.numbered && !held.numbered;
        if (better) *it = &c;
    }
    if (chosen.empty()) return false;
    std::sort(chosen.begin(), chosen.end(),
              [](const Candidate* a, const Candidate* b) { return a->order < b->order; });
    // The frames are the ones of the sender with the most universes.
    std::vector<std::pair<uint32_t, size_t>> held;
    for (const Candidate* c : chosen) {
        auto it = std::find_if(held.begin(), held.end(),
                               [&](const auto& h) { return h.first == c->sender; });
        if (it == held.end()) {
            held.push_back({c->sender, 1});
        } else {
            ++it->second;
        }
    }
    const auto top = std::max_element(held.begin(), held.end(), [&](const auto& a, const auto& b) {
        return a.second < b.second;
    });
    const uint32_t clock = top->first;
    const auto sender = std::find_if(m_senders.begin(), m_senders.end(),
                                     [&](const Sender& s) { return s.sender == clock; });
    for (const Candidate* c : chosen) {
        UniverseSlot slot;
        slot.universe = c->universe;
        slot.length = c->length;
        slot.protocol = c->protocol;
        slot.sender = c->sender;
        slot.source = c->protocol == Protocol::ArtNet ? c->sender : c->address;
        slot.priority = c->priority;
        m_table.push_back(slot);
    }
    m_framing = LearnFraming(m_observations, clock, sender->protocol, sender->address,
                             sender->syncAddress, sender->syncSeen);
    // Only the universes recorded from the clock's sender follow its frames.
    std::vector<Framing::Universe> ours;
    for (const Framing::Universe& u : m_framing.universes) {
        if (std::any_of(chosen.begin(), chosen.end(), [&](const Candidate* c) {
                return c->universe == u.universe && c->sender == clock;
            })) {
            ours.push_back(u);
        }
    }
    m_framing.universes = ours;
    return true;
}

std::string SurveyWaitingHint(const std::string& adapter, double seconds, uint64_t packets,
                              uint64_t showPackets) {
    const char* a = adapter.c_str();
    if (packets == 0) {
        return Format(Tr("Nothing arrives on %s: no packet in %g s. Check the cable, and that the "
                         "show sends to this network."),
                      a, seconds);
    }
    if (showPackets == 0) {
        return Format(Tr("Packets arrive on %s, but no Art-Net ArtDmx among them in %g s."), a,
                      seconds);
    }
    return {};  // the show arrives: the survey ends a second and a half after its first packet
}

std::vector<std::string> SurveyReportLines(const UniverseTable& table, int perPort,
                                           const UniverseSelection& selection,
                                           int controllerPorts) {
    std::vector<std::string> lines;
    const int n = static_cast<int>(table.size());
    lines.push_back(Format(Tr("Parse to %d Universes"), n));
    if (n == 0) return lines;
    int highest = 0;
    uint32_t total = 0;
    for (const UniverseSlot& s : table) {
        highest = std::max(highest, s.universe);
        if (selection.PlaceOf(s.universe) >= 0) total += s.length;
    }
    lines.push_back(Format(Tr("Max universe num is:%d"), highest));
    for (std::string& line : SelectionReportLines(table, perPort, selection, controllerPorts)) {
        lines.push_back(std::move(line));
    }
    if (perPort > 0) {
        lines.push_back(Format(Tr("The current setting is that each port carries %d universes，The "
                                  "capture file will be set to %d ports."),
                               perPort, PortsNeeded(table, perPort, selection)));
    }
    lines.push_back(Format(Tr("The length of each frame is %u bytes."), total));
    return lines;
}

}  // namespace quorvex
