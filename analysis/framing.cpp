#include "analysis/framing.h"

#include <algorithm>
#include <map>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

int CounterStep(uint8_t previous, uint8_t next, bool zeroInCycle) {
    if (zeroInCycle) return static_cast<int8_t>(static_cast<uint8_t>(next - previous));
    int d = (next - previous) % 255;
    if (d < 0) d += 255;
    return d > 127 ? d - 255 : d;
}

namespace {

constexpr double kEveryFrameShare = 0.9;
constexpr double kStableOrderShare = 0.95;

struct Packet {
    int64_t timeUs;
    size_t universe;  // index into the sender's universes
    uint8_t sequence;
    int64_t counter = 0;  // unwrapped, comparable across universes once aligned
    bool counted = false;
};

int64_t Median(std::vector<int64_t> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Unwraps each universe's counters; the first packet of each is placed next to the reference
// universe's packet before it, so that counters of different universes compare.
void Unwrap(std::vector<Packet>& packets, size_t universes, size_t ref, bool zeroInCycle) {
    const int modulus = zeroInCycle ? 256 : 255;
    std::vector<int64_t> last(universes, INT64_MIN);
    std::vector<uint8_t> lastSeq(universes, 0);
    int64_t refCounter = INT64_MIN;
    uint8_t refSeq = 0;
    for (Packet& p : packets) {
        const size_t u = p.universe;
        if (!zeroInCycle && p.sequence == 0) continue;  // numbering off for this packet
        if (last[u] == INT64_MIN) {
            if (u == ref || refCounter == INT64_MIN) {
                p.counter = p.sequence;
            } else {
                int d = CounterStep(refSeq, p.sequence, zeroInCycle);
                if (d < -modulus / 2) d += modulus;
                p.counter = refCounter + d;
            }
        } else {
            const int step = CounterStep(lastSeq[u], p.sequence, zeroInCycle);
            if (step <= 0) continue;  // late or repeated
            p.counter = last[u] + step;
        }
        p.counted = true;
        last[u] = p.counter;
        lastSeq[u] = p.sequence;
        if (u == ref) {
            refCounter = p.counter;
            refSeq = p.sequence;
        }
    }
}

// Counter offsets against the reference universe: the offset that puts each packet in the
// frame of the reference packets around it with the fewest steps back in capture order.
std::vector<int> LearnOffsets(const std::vector<Packet>& packets, size_t universes, size_t ref) {
    std::vector<const Packet*> counted;
    std::vector<std::vector<size_t>> at(universes);
    for (const Packet& p : packets) {
        if (!p.counted) continue;
        at[p.universe].push_back(counted.size());
        counted.push_back(&p);
    }
    // How far the frame numbers disagree with capture order: a step back weighs more than any
    // change, and fewer changes mean the universes of a frame come together.
    const auto score = [&](const std::vector<int>& off) {
        size_t steps = 0;
        for (size_t i = 1; i < counted.size(); ++i) {
            const int64_t a = counted[i - 1]->counter - off[counted[i - 1]->universe];
            const int64_t b = counted[i]->counter - off[counted[i]->universe];
            if (a != b) ++steps;
            if (b < a) steps += counted.size();
        }
        return steps;
    };
    // Each universe's most common difference to a reference packet. Two guesses: against the
    // reference packet before it, and against the one nearest in time. The first alone is
    // fooled by a universe a frame ahead that comes sometimes first, sometimes last.
    const auto vote = [&](bool nearest) {
        std::vector<std::map<int64_t, int>> votes(universes);
        const std::vector<size_t>& refs = at[ref];
        size_t next = 0;  // the first reference packet after the current one
        for (size_t i = 0; i < counted.size(); ++i) {
            const Packet& p = *counted[i];
            while (next < refs.size() && refs[next] <= i) ++next;
            if (p.universe == ref) continue;
            const Packet* before = next > 0 ? counted[refs[next - 1]] : nullptr;
            const Packet* after = next < refs.size() ? counted[refs[next]] : nullptr;
            const Packet* pick = before;
            if (nearest && after != nullptr &&
                (before == nullptr || after->timeUs - p.timeUs < p.timeUs - before->timeUs))
                pick = after;
            if (pick != nullptr) ++votes[p.universe][p.counter - pick->counter];
        }
        std::vector<int> offset(universes, 0);
        for (size_t u = 0; u < universes; ++u) {
            int best = 0;
            for (const auto& [d, n] : votes[u]) {
                if (n > best) {
                    best = n;
                    offset[u] = static_cast<int>(d);
                }
            }
        }
        return offset;
    };
    // Then try one either side: a universe put a frame off makes the frame number step back
    // where it meets its neighbours in capture order.
    const auto refine = [&](std::vector<int> offset) {
        auto frameOf = [&](const Packet* p, int shift) {
            return p->counter - offset[p->universe] - shift;
        };
        for (int round = 0; round < 2; ++round) {
            for (size_t u = 0; u < universes; ++u) {
                if (u == ref) continue;
                int bestShift = 0;
                size_t bestBack = SIZE_MAX;
                for (const int shift : {0, -1, 1}) {
                    size_t back = 0;
                    for (const size_t i : at[u]) {
                        const int64_t f = frameOf(counted[i], shift);
                        if (i > 0 && counted[i - 1]->universe != u &&
                            frameOf(counted[i - 1], 0) > f)
                            ++back;
                        if (i + 1 < counted.size() && counted[i + 1]->universe != u &&
                            f > frameOf(counted[i + 1], 0))
                            ++back;
                    }
                    if (back < bestBack) {
                        bestBack = back;
                        bestShift = shift;
                    }
                }
                offset[u] += bestShift;
            }
        }
        return offset;
    };
    // A sender that sends its universes one after the other without a pause gives no rhythm to
    // tell where its frames begin: when one number shared by all explains the packets as well,
    // the frame begins where the numbers change, as the sender numbered it. A sender that does
    // pause between frames says where they begin: a universe a step ahead that always comes
    // last changes the shared number inside the burst, the right offsets change it at the pause.
    const auto gapAtChanges = [&](const std::vector<int>& off) {
        std::vector<int64_t> gaps;
        for (size_t i = 1; i < counted.size(); ++i) {
            if (counted[i - 1]->counter - off[counted[i - 1]->universe] !=
                counted[i]->counter - off[counted[i]->universe])
                gaps.push_back(counted[i]->timeUs - counted[i - 1]->timeUs);
        }
        return Median(std::move(gaps));
    };
    const auto better = [&](const std::vector<int>& a, const std::vector<int>& b) {
        const size_t sa = score(a);
        const size_t sb = score(b);
        // Each end of the survey's window may add a change: scores that close, without a step
        // back, are a tie, which the pauses decide when they tell.
        if (sa <= sb + 2 && sb <= sa + 2 && std::max(sa, sb) < counted.size()) {
            const int64_t ga = gapAtChanges(a);
            const int64_t gb = gapAtChanges(b);
            if (ga > 2 * gb) return true;
            if (gb > 2 * ga) return false;
        }
        return sa < sb;
    };
    std::vector<int> best(universes, 0);  // shared
    for (const bool nearest : {false, true}) {
        std::vector<int> candidate = refine(vote(nearest));
        if (better(candidate, best)) best = std::move(candidate);
    }
    return best;
}

}  // namespace

Framing LearnFraming(const std::vector<Observation>& observations, uint32_t sender,
                     Protocol protocol, uint32_t address, uint16_t syncAddress, bool syncSeen) {
    Framing f;
    f.protocol = protocol;
    f.sender = sender;
    f.address = address;
    f.syncAddress = syncAddress;

    std::vector<int32_t> ids;
    std::vector<int64_t> syncTimes;
    for (const Observation& o : observations) {
        if (o.sender != sender) continue;
        if (o.universe < 0) {
            syncTimes.push_back(o.timeUs);
        } else {
            ids.push_back(o.universe);
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    for (const int32_t u : ids) f.universes.push_back({u, 0, 0});
    const size_t n = ids.size();
    if (n == 0) return f;

    std::vector<Packet> packets;
    size_t nonZero = 0;
    for (const Observation& o : observations) {
        if (o.sender != sender || o.universe < 0) continue;
        const auto at =
            static_cast<size_t>(std::lower_bound(ids.begin(), ids.end(), o.universe) - ids.begin());
        packets.push_back({o.timeUs, at, o.sequence});
        if (o.sequence != 0) ++nonZero;
    }
    std::vector<size_t> perUniverse(n, 0);
    for (const Packet& p : packets) ++perUniverse[p.universe];
    const size_t ref = static_cast<size_t>(
        std::max_element(perUniverse.begin(), perUniverse.end()) - perUniverse.begin());

    // The time from one frame to the next: how often the busiest universe comes.
    {
        std::vector<int64_t> gaps;
        int64_t last = -1;
        for (const Packet& p : packets) {
            if (p.universe != ref) continue;
            if (last >= 0 && p.timeUs > last) gaps.push_back(p.timeUs - last);
            last = p.timeUs;
        }
        f.periodUs = Median(std::move(gaps));
    }

    f.numbered = protocol == Protocol::Sacn || nonZero * 2 > packets.size();
    // A sender that ends its frames with synchronization packets sends one a frame; one now
    // and then (the end of a capture) does not delimit its frames.
    const int64_t span = packets.back().timeUs - packets.front().timeUs;
    const int64_t framesInWindow = f.periodUs > 0 ? span / f.periodUs : 0;
    if (syncSeen && syncTimes.size() >= 2 &&
        static_cast<int64_t>(syncTimes.size()) * 2 >= framesInWindow) {
        f.mode = Framing::Mode::Sync;
        std::vector<int64_t> gaps;
        for (size_t i = 1; i < syncTimes.size(); ++i)
            gaps.push_back(syncTimes[i] - syncTimes[i - 1]);
        f.periodUs = Median(std::move(gaps));
        return f;
    }

    // Counters run 1..255 (Art-Net's, and QLC+'s sACN ones) or through 0 (OLA's, most sACN
    // sources'): a step from 255 to 0 tells.
    {
        std::vector<int> lastSeq(n, -1);
        for (const Packet& p : packets) {
            if (lastSeq[p.universe] == 255 && p.sequence == 0) f.zeroInCycle = true;
            lastSeq[p.universe] = p.sequence;
        }
    }
    const bool numbered = protocol == Protocol::Sacn || nonZero * 2 > packets.size();
    f.numbered = numbered;

    // Frames by the counters: which universes each holds.
    bool countersHold = false;
    if (numbered) {
        Unwrap(packets, n, ref, f.zeroInCycle);
        const std::vector<int> offsets = LearnOffsets(packets, n, ref);
        std::map<int64_t, std::vector<uint8_t>> frames;
        std::vector<std::map<int64_t, bool>> halves(n);
        for (const Packet& p : packets) {
            if (!p.counted) continue;
            auto& in = frames[p.counter - offsets[p.universe]];
            in.resize(n, 0);
            in[p.universe] = 1;
        }
        size_t whole = 0;
        size_t considered = 0;
        size_t i = 0;
        for (const auto& [frame, in] : frames) {
            // The first and last frames may be cut by the survey's window.
            ++i;
            if (i == 1 || i == frames.size()) continue;
            ++considered;
            if (static_cast<size_t>(std::count(in.begin(), in.end(), 1)) == n) ++whole;
        }
        f.everyFrame =
            considered == 0 || whole >= kEveryFrameShare * static_cast<double>(considered);
        // Counters that advance together keep their offsets over the whole window; a sender
        // that sends only what changed does not.
        bool steady = true;
        if (!f.everyFrame && packets.size() >= 8) {
            std::vector<Packet> first(packets.begin(), packets.begin() + packets.size() / 2);
            std::vector<Packet> second(packets.begin() + packets.size() / 2, packets.end());
            steady = LearnOffsets(first, n, ref) == LearnOffsets(second, n, ref);
        }
        if (steady) {
            countersHold = true;
            f.mode = Framing::Mode::Counters;
            for (size_t u = 0; u < n; ++u) {
                f.universes[u].offset = static_cast<int16_t>(offsets[u]);
                if (offsets[u] != 0) f.sharedCounter = false;
            }
        }
    }

    // Pauses between bursts: the largest gaps, one a frame, against the rest.
    if (!countersHold || !f.everyFrame) {
        std::vector<int64_t> gaps;
        for (size_t k = 1; k < packets.size(); ++k)
            gaps.push_back(packets[k].timeUs - packets[k - 1].timeUs);
        if (f.periodUs > 0 && gaps.size() >= 4) {
            const auto frames = static_cast<size_t>(span / f.periodUs);
            std::sort(gaps.begin(), gaps.end());
            if (frames >= 2 && frames < gaps.size()) {
                const int64_t between = gaps[gaps.size() - frames + frames / 5];
                const int64_t within = gaps[(gaps.size() - frames) * 9 / 10];
                if (between >= 200 && 2 * between >= 3 * within) f.pauseUs = (between + within) / 2;
            }
        }
    }
    if (countersHold) {
        f.reliable = true;
        return f;
    }

    // Nothing numbered to go by: the order the sender keeps within its frames.
    f.mode = Framing::Mode::Bursts;
    f.sharedCounter = false;
    std::vector<std::vector<size_t>> framesSeen;
    {
        std::vector<uint8_t> in(n, 0);
        std::vector<size_t> current;
        int64_t last = -1;
        for (const Packet& p : packets) {
            const bool paused = f.pauseUs > 0 && last >= 0 && p.timeUs - last > f.pauseUs;
            if ((paused || in[p.universe]) && !current.empty()) {
                framesSeen.push_back(current);
                for (const size_t u : current) in[u] = 0;
                current.clear();
            }
            in[p.universe] = 1;
            current.push_back(p.universe);
            last = p.timeUs;
        }
    }
    if (framesSeen.size() > 2) {
        framesSeen.erase(framesSeen.begin());  // cut by the window's start
        std::vector<std::vector<int64_t>> positions(n);
        for (const auto& frame : framesSeen)
            for (size_t k = 0; k < frame.size(); ++k)
                positions[frame[k]].push_back(static_cast<int64_t>(k));
        std::vector<std::pair<int64_t, size_t>> order;
        for (size_t u = 0; u < n; ++u) order.push_back({Median(positions[u]), u});
        std::sort(order.begin(), order.end());
        std::vector<int> rank(n, 0);
        for (size_t k = 0; k < order.size(); ++k) rank[order[k].second] = static_cast<int>(k);
        size_t pairs = 0;
        size_t rising = 0;
        for (const auto& frame : framesSeen) {
            for (size_t k = 1; k < frame.size(); ++k) {
                ++pairs;
                if (rank[frame[k]] > rank[frame[k - 1]]) ++rising;
            }
        }
        f.orderStable =
            n > 1 && pairs > 0 && rising >= kStableOrderShare * static_cast<double>(pairs);
        for (size_t u = 0; u < n; ++u) f.universes[u].rank = static_cast<int16_t>(rank[u]);
        size_t whole = 0;
        for (const auto& frame : framesSeen)
            if (frame.size() == n) ++whole;
        f.everyFrame = whole >= kEveryFrameShare * static_cast<double>(framesSeen.size());
    }
    f.reliable = n == 1 || f.orderStable || f.pauseUs > 0;
    return f;
}

const char* FramingName(const Framing& f) {
    switch (f.mode) {
        case Framing::Mode::Sync:
            return "sync";
        case Framing::Mode::Counters:
            return f.sharedCounter ? "shared-sequence" : "per-universe-sequence";
        case Framing::Mode::Bursts:
            return f.orderStable ? "universe-order" : f.pauseUs > 0 ? "pauses" : "repeats";
    }
    return "";
}

std::vector<std::string> FramingReportLines(const Framing& f, int sacnOffset,
                                            const std::string& senderText) {
    std::vector<std::string> lines;
    const char* from = senderText.c_str();
    if (f.protocol == Protocol::Sacn) {
        lines.push_back(Format(Tr("sACN (E1.31) from %s: sACN universe N is recorded as universe "
                                  "N - %d (the sACN offset)."),
                               from, sacnOffset));
    } else if (!f.numbered) {
        lines.push_back(Format(Tr("Art-Net from %s without sequence numbers (Sequence 0)."), from));
    } else {
        lines.push_back(Format(Tr("Art-Net from %s."), from));
    }
    switch (f.mode) {
        case Framing::Mode::Sync:
            lines.push_back(f.protocol == Protocol::Sacn
                                ? Format(Tr("Frames end at its synchronization packets (address "
                                            "%u)."),
                                         static_cast<unsigned>(f.syncAddress))
                                : std::string(Tr("Frames end at its ArtSync packets.")));
            break;
        case Framing::Mode::Counters:
            if (f.sharedCounter) {
                lines.push_back(
                    Tr("Frames are told apart by the sequence number all universes of a frame "
                       "share."));
            } else {
                std::string ahead;
                for (const Framing::Universe& u : f.universes) {
                    if (u.offset == 0) continue;
                    if (!ahead.empty()) ahead += ", ";
                    ahead += Format(Tr("universe %d by %d"), u.universe, u.offset);
                }
                lines.push_back(Format(
                    Tr("Frames are told apart by each universe's own sequence numbers, which "
                       "advance together (ahead of the others: %s)."),
                    ahead.empty() ? Tr("none") : ahead.c_str()));
            }
            break;
        case Framing::Mode::Bursts:
            if (f.orderStable) {
                lines.push_back(
                    Tr("Frames end where its universes start over in the order it sends them."));
            } else if (f.pauseUs > 0) {
                lines.push_back(Format(Tr("Frames end at its pauses of more than %.1f ms between "
                                          "bursts."),
                                       static_cast<double>(f.pauseUs) / 1000.0));
            } else {
                lines.push_back(
                    Tr("Frames end where a universe comes again: it sends without a pause between "
                       "frames."));
            }
            break;
    }
    if (!f.everyFrame && f.mode != Framing::Mode::Sync) {
        lines.push_back(
            Tr("It sends only some universes in a frame; the others keep their latest data."));
    }
    if (!f.reliable) {
        lines.push_back(
            Tr("Warning: nothing tells its frames apart for certain; a frame may hold universes "
               "of two frames of the show."));
    }
    return lines;
}

}  // namespace quorvex
