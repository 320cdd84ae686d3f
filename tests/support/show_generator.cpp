#include "tests/support/show_generator.h"

#include <algorithm>
#include <random>

namespace quorvex::test {

namespace {

bool Has(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }
bool Has(const std::vector<std::pair<int, int>>& v, int a, int b) {
    return std::find(v.begin(), v.end(), std::make_pair(a, b)) != v.end();
}

class Sender {
  public:
    Sender(const SenderScript& s, GeneratedShow& out) : m_s(s), m_out(out), m_rng(s.seed) {
        const size_t n = s.universes.size();
        m_counters.assign(n, 0);
        Reset();
        m_received.assign(n, Bytes{});
        m_lastData.assign(n, Bytes{});
    }

    bool ThroughZero() const { return (m_s.sacn && !m_s.sacnSkipsZero) || m_s.zeroInCycle; }

    void Reset() {
        for (size_t u = 0; u < m_counters.size(); ++u) {
            const int offset = u < m_s.offsets.size() ? m_s.offsets[u] : 0;
            if (m_s.numbering == SenderScript::Numbering::None) {
                m_counters[u] = 0;
            } else if (ThroughZero()) {
                m_counters[u] = static_cast<uint8_t>(offset);
            } else {
                m_counters[u] = static_cast<uint8_t>(1 + ((offset % 255) + 255) % 255);
            }
        }
    }

    void Advance(size_t u) {
        if (m_s.numbering == SenderScript::Numbering::None) return;
        uint8_t& c = m_counters[u];
        c = ThroughZero() ? static_cast<uint8_t>(c + 1) : (c == 255 ? 1 : c + 1);
    }

    // One data packet of universe index `u` carrying `data`.
    void Emit(size_t u, const Bytes& data, uint64_t us, bool lost) {
        const uint8_t seq = m_counters[u];
        Advance(u);
        m_lastData[u] = data;
        if (lost) return;
        const int universe = m_s.universes[u];
        UdpOptions o;
        Bytes payload;
        if (m_s.sacn) {
            SacnDataFields f;
            f.universe = static_cast<uint16_t>(universe + 1);
            f.sequence = seq;
            f.priority = m_s.priority;
            f.syncAddress = m_s.syncAddress;
            f.data = data;
            f.cid = m_s.cid;
            f.sourceName = m_s.name;
            payload = SacnData(f);
            o = SacnUdp(f.universe);
        } else {
            payload = ArtDmx(universe, seq, data);
        }
        o.srcIp = m_s.address;
        m_out.packets.push_back({us, UdpFrame(payload, o)});
    }

    void Sync(uint64_t us) {
        UdpOptions o;
        Bytes payload;
        if (m_s.sacn) {
            SacnSyncFields f;
            f.sequence = m_syncSequence++;
            f.syncAddress = m_s.syncAddress;
            f.cid = m_s.cid;
            payload = SacnSync(f);
            o = SacnUdp(m_s.syncAddress);
        } else {
            payload = ArtSync();
        }
        o.srcIp = m_s.address;
        m_out.packets.push_back({us, UdpFrame(payload, o)});
    }

    // Sends frame `f` from `us` on, in the order of `order`.
    void Frame(int f, uint64_t us, const std::vector<size_t>& order) {
        const size_t n = order.size();
        std::vector<uint64_t> at(n);
        const double spreadUs = m_s.spreadMs * 1000;
        std::uniform_real_distribution<double> spread(0, spreadUs);
        for (size_t i = 0; i < n; ++i) {
            at[i] = us + static_cast<uint64_t>(m_s.jitter ? spread(m_rng)
                                                          : spreadUs * static_cast<double>(i) /
                                                                static_cast<double>(n));
        }
        if (m_s.jitter) std::sort(at.begin(), at.end());
        for (size_t i = 0; i < n; ++i) {
            const size_t u = order[i];
            const bool lost = Has(m_s.lost, f, static_cast<int>(u));
            Emit(u, ScriptData(m_s, f, u), at[i], lost);
            if (!lost) m_received[u] = ScriptData(m_s, f, u);
            if (Has(m_s.resends, f, static_cast<int>(u))) {
                const uint64_t when =
                    m_s.resendInGap ? us + static_cast<uint64_t>(5e5 / m_s.fps) : at[i] + 1;
                Emit(u, m_lastData[u], when, false);
            }
        }
        if (m_s.sync) Sync(at[n - 1] + 5);
    }

    std::vector<size_t> Order() {
        std::vector<size_t> order(m_s.universes.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        if (m_s.shuffle) std::shuffle(order.begin(), order.end(), m_rng);
        return order;
    }

    // Frames owed by threads that fell behind, sent back to back with their universes
    // interleaved: each universe keeps its own frames in order.
    void CatchUp(const std::vector<int>& owed, uint64_t us) {
        const size_t n = m_s.universes.size();
        std::vector<size_t> next(n, 0);
        std::vector<size_t> open;
        for (size_t u = 0; u < n; ++u) open.push_back(u);
        while (!open.empty()) {
            std::uniform_int_distribution<size_t> pick(0, open.size() - 1);
            const size_t k = pick(m_rng);
            const size_t u = open[k];
            const int f = owed[next[u]++];
            const bool lost = Has(m_s.lost, f, static_cast<int>(u));
            Emit(u, ScriptData(m_s, f, u), us, lost);
            us += 15;
            if (!lost) m_received[u] = ScriptData(m_s, f, u);
            m_truthPending[f][u] = lost ? Bytes{} : ScriptData(m_s, f, u);
            if (next[u] == owed.size()) open.erase(open.begin() + static_cast<long>(k));
        }
    }

    void Run() {
        const double period = 1e6 / m_s.fps;
        const int silent = static_cast<int>(m_s.restartMs * 1000 / period);
        std::vector<int> owed;
        for (int f = m_s.firstFrame; f <= m_s.frames; ++f) {
            uint64_t us = m_s.startUs +
                          static_cast<uint64_t>(static_cast<double>(f - m_s.firstFrame) * period);
            for (const auto& [frame, ms] : m_s.late) {
                if (frame == f) us += static_cast<uint64_t>(ms * 1000);
            }
            if (m_s.restartAt > 0 && f >= m_s.restartAt && f < m_s.restartAt + silent) {
                if (f == m_s.restartAt + silent - 1) Reset();  // it comes back counting afresh
                continue;
            }
            if (Has(m_s.skipped, f)) {
                for (size_t u = 0; u < m_counters.size(); ++u) Advance(u);
                continue;
            }
            const auto behind =
                std::find_if(m_s.catchUps.begin(), m_s.catchUps.end(),
                             [&](const auto& c) { return f >= c.first && f < c.first + c.second; });
            if (behind != m_s.catchUps.end()) {
                owed.push_back(f);
                m_out.sent.push_back(f);
                if (f == behind->first + behind->second - 1) {
                    CatchUp(owed, us);
                    for (const int g : owed) Truth(g, m_truthPending[g]);
                    owed.clear();
                }
                continue;
            }
            m_out.sent.push_back(f);
            const auto order = Order();
            Frame(f, us, order);
            std::map<size_t, Bytes> got;
            for (size_t u = 0; u < order.size(); ++u) {
                if (!Has(m_s.lost, f, static_cast<int>(u))) got[u] = ScriptData(m_s, f, u);
            }
            Truth(f, got);
        }
    }

  private:
    // What a recording holds for frame f: the data received, the latest before where not.
    void Truth(int f, const std::map<size_t, Bytes>& got) {
        for (size_t u = 0; u < m_truthData.size() || u < m_s.universes.size(); ++u) {
            if (m_truthData.size() <= u) m_truthData.resize(m_s.universes.size());
            const auto it = got.find(u);
            if (it != got.end() && !it->second.empty()) m_truthData[u] = it->second;
        }
        std::vector<std::pair<int, size_t>> byUniverse;
        for (size_t u = 0; u < m_s.universes.size(); ++u)
            byUniverse.push_back({m_s.universes[u], u});
        std::sort(byUniverse.begin(), byUniverse.end());
        Bytes frame;
        for (const auto& [universe, u] : byUniverse) {
            Bytes d = m_truthData[u];
            d.resize(static_cast<size_t>(m_s.channels), 0);
            frame.insert(frame.end(), d.begin(), d.end());
        }
        m_out.truth[f] = frame;
    }

    const SenderScript& m_s;
    GeneratedShow& m_out;
    std::mt19937 m_rng;
    std::vector<uint8_t> m_counters;
    std::vector<Bytes> m_received;
    std::vector<Bytes> m_lastData;
    std::vector<Bytes> m_truthData;
    std::map<int, std::map<size_t, Bytes>> m_truthPending;
    uint8_t m_syncSequence = 0;
};

}  // namespace

Bytes ScriptData(const SenderScript& s, int f, size_t u) {
    for (const auto& [first, last] : s.holds) {
        if (f >= first && f <= last) f = first - 1;
    }
    const bool still = Has(s.unchanged, static_cast<int>(u));
    Bytes d = ShowData(still ? 0 : f, s.universes[u], s.channels);
    if (s.inverted) {
        for (uint8_t& b : d) b = static_cast<uint8_t>(~b);
    }
    return d;
}

GeneratedShow Generate(const SenderScript& script) {
    GeneratedShow out;
    Sender sender(script, out);
    sender.Run();
    std::stable_sort(out.packets.begin(), out.packets.end(),
                     [](const TimedPacket& a, const TimedPacket& b) { return a.us < b.us; });
    out.packets.erase(out.packets.begin(), out.packets.begin() + script.cutIntoFirst);
    out.recordedUniverses = script.universes;
    std::sort(out.recordedUniverses.begin(), out.recordedUniverses.end());
    return out;
}

void WriteShows(const std::string& path, const std::vector<const GeneratedShow*>& shows) {
    std::vector<const TimedPacket*> all;
    for (const GeneratedShow* s : shows)
        for (const TimedPacket& p : s->packets) all.push_back(&p);
    std::stable_sort(all.begin(), all.end(),
                     [](const TimedPacket* a, const TimedPacket* b) { return a->us < b->us; });
    PcapWriter w(path);
    for (const TimedPacket* p : all) w.Write(p->frame, p->us);
    w.Close();
}

int RecordedRun(const GeneratedShow& show, const std::vector<Bytes>& recorded, std::string* why) {
    if (recorded.empty()) {
        if (why) *why = "nothing was recorded";
        return -1;
    }
    int first = -1;
    for (size_t i = 0; i < show.sent.size() && first < 0; ++i) {
        if (show.truth.at(show.sent[i]) == recorded[0]) first = static_cast<int>(i);
    }
    if (first < 0) {
        if (why) *why = "the first recorded frame is none of the sent frames: a mix of two";
        return -1;
    }
    for (size_t k = 0; k < recorded.size(); ++k) {
        const size_t i = static_cast<size_t>(first) + k;
        if (i >= show.sent.size() || show.truth.at(show.sent[i]) != recorded[k]) {
            if (why) {
                *why = "recorded frame " + std::to_string(k + 1) + " is not sent frame " +
                       (i < show.sent.size() ? std::to_string(show.sent[i]) : "(none)");
                for (size_t j = 0; j < show.sent.size(); ++j) {
                    if (show.truth.at(show.sent[j]) == recorded[k]) {
                        *why += " but sent frame " + std::to_string(show.sent[j]);
                    }
                }
            }
            return -1;
        }
    }
    return first;
}

}  // namespace quorvex::test
