#include <gtest/gtest.h>

#include "analysis/framing.h"
#include "analysis/universe_survey.h"
#include "capture/art_packet.h"
#include "capture/source_directory.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;

// An ArtDmx record as the packet reader leaves it, with who sent it and when.
struct Record {
    Bytes bytes;
    PacketFacts facts;
    int64_t us = 0;
    uint16_t length() const { return static_cast<uint16_t>(bytes.size()); }
};

Record Dmx(int universe, uint8_t seq, int channels, uint32_t source = 0x0A000001, int64_t us = 0) {
    Bytes payload = test::ArtDmx(universe, seq, Bytes(static_cast<size_t>(channels), 0x11));
    Record r{test::RecordOf(payload), {}, us};
    r.facts.sender = r.facts.address = source;
    return r;
}

Record DmxNet(uint8_t net, uint8_t subUni, uint8_t seq, int channels) {
    test::ArtDmxFields f;
    f.net = net;
    f.subUni = subUni;
    f.sequence = seq;
    f.data.assign(static_cast<size_t>(channels), 1);
    Record r{test::RecordOf(test::ArtDmx(f)), {}, 0};
    r.facts.sender = r.facts.address = 0x0A000001;
    return r;
}

bool Feed(UniverseSurvey& s, const Record& r) {
    return s.Feed(r.bytes.data(), r.length(), r.facts, r.us);
}

// The survey watches 1.5 s of capture time and takes every universe it saw, with the longest
// data each brought, in the order they first came.
TEST(UniverseSurvey, TakesEveryUniverseOfItsWindowWithItsLongestData) {
    UniverseTable table;
    UniverseSurvey survey(table);
    survey.Reset();
    EXPECT_FALSE(Feed(survey, Dmx(3, 7, 512, 0x0A000001, 0)));
    EXPECT_FALSE(Feed(survey, Dmx(1, 7, 510, 0x0A000001, 100)));
    EXPECT_FALSE(Feed(survey, Dmx(1, 8, 300, 0x0A000001, 25'000)));  // longest came first
    EXPECT_FALSE(Feed(survey, Dmx(3, 8, 512, 0x0A000001, 25'100)));
    // A universe sent once a second because it did not change is in the window too.
    EXPECT_FALSE(Feed(survey, Dmx(0, 9, 64, 0x0A000001, 1'400'000)));
    EXPECT_TRUE(Feed(survey, Dmx(3, 9, 512, 0x0A000001, 1'500'000)));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].universe, 3);
    EXPECT_EQ(table[1].universe, 1);
    EXPECT_EQ(table[1].length, 510);
    EXPECT_EQ(table[2].universe, 0);
    // After the window nothing more is taken.
    EXPECT_TRUE(Feed(survey, Dmx(7, 9, 512)));
    EXPECT_EQ(table.size(), 3u);
}

TEST(UniverseSurvey, EachUniverseIsBoundToTheSourceAReceiverFollows) {
    constexpr uint32_t kShow = 0x0A000001, kOther = 0x0A000002, kUnnumbered = 0x0A000003;
    UniverseTable table;
    UniverseSurvey survey(table);
    survey.Reset();
    Feed(survey, Dmx(0, 0, 512, kUnnumbered));
    Feed(survey, Dmx(0, 7, 512, kShow));
    Feed(survey, Dmx(1, 0, 100, kUnnumbered));
    Feed(survey, Dmx(1, 8, 510, kShow));
    Feed(survey, Dmx(0, 8, 530, kOther));
    Feed(survey, Dmx(2, 0, 64, kUnnumbered));
    // sACN: the highest priority, whoever came first.
    const auto sacn = [](int universe, uint32_t source, uint8_t priority) {
        Record r = Dmx(universe, 1, 16, source);
        r.facts.protocol = Protocol::Sacn;
        r.facts.sender = kSacnSourceBit | source;
        r.facts.priority = priority;
        return r;
    };
    Feed(survey, sacn(5, 1, 100));
    Feed(survey, sacn(5, 2, 150));
    Feed(survey, sacn(5, 3, 120));
    ASSERT_TRUE(survey.Finish());
    ASSERT_EQ(table.size(), 4u);
    // The sender that numbers its frames is the show's; sequencing off gives way.
    EXPECT_EQ(SenderOf(table[0]), kShow);
    EXPECT_EQ(table[0].length, 512);  // the other sender's longer data is not its
    EXPECT_EQ(SenderOf(table[1]), kShow);
    EXPECT_EQ(table[1].length, 510);
    EXPECT_EQ(SenderOf(table[2]), kUnnumbered);  // nobody else sends universe 2
    EXPECT_EQ(SenderOf(table[3]), kSacnSourceBit | 2);
    EXPECT_EQ(table[3].priority, 150);
    // The frames recorded are those of the sender with the most universes.
    EXPECT_EQ(survey.SurveyedFraming().sender, kShow);
}

TEST(UniverseSurvey, TopBitOfNetIsIgnoredAndResetEmptiesTheTable) {
    UniverseTable table;
    UniverseSurvey survey(table);
    survey.Reset();
    Feed(survey, DmxNet(0x80, 0x03, 1, 10));
    Feed(survey, DmxNet(0x80, 0x03, 2, 10));
    Feed(survey, DmxNet(0x81, 0x05, 2, 10));
    ASSERT_TRUE(survey.Finish());
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].universe, 3);
    EXPECT_EQ(table[1].universe, 261);
    survey.Reset();
    EXPECT_TRUE(table.empty());
    EXPECT_FALSE(survey.Finish());
}

// Observations of one sender: `frames` frames of `universes`, at 40 frames/s.
struct Show {
    int universes = 4;
    int frames = 60;
    bool numbered = true;
    std::vector<int> offsets;    // counter offsets per universe
    bool shuffled = false;       // another order every frame
    uint32_t seed = 1;           // of that order
    double spreadUs = 300;       // a frame's packets within this
    std::vector<int> sentEvery;  // per universe: sent every Nth frame only (1: always)
};

std::vector<Observation> Observe(const Show& s) {
    std::vector<Observation> out;
    uint32_t rng = s.seed;
    std::vector<int> counters(static_cast<size_t>(s.universes), 0);
    for (int f = 0; f < s.frames; ++f) {
        std::vector<int> order;
        for (int u = 0; u < s.universes; ++u) order.push_back(u);
        if (s.shuffled) {
            for (size_t i = order.size(); i > 1; --i) {
                rng = rng * 1103515245 + 12345;
                std::swap(order[i - 1], order[(rng >> 16) % i]);
            }
        }
        for (size_t i = 0; i < order.size(); ++i) {
            const int u = order[i];
            const auto k = static_cast<size_t>(u);
            if (k < s.sentEvery.size() && f % s.sentEvery[k] != 0) continue;
            const int offset = k < s.offsets.size() ? s.offsets[k] : 0;
            const int count = s.sentEvery.empty() ? f : counters[k]++;
            const auto seq = static_cast<uint8_t>(s.numbered ? 1 + (count + offset) % 255 : 0);
            out.push_back({f * 25'000 + static_cast<int64_t>(s.spreadUs * static_cast<double>(i) /
                                                             s.universes),
                           7, u, seq, true});
        }
    }
    return out;
}

Framing Learn(const Show& s) { return LearnFraming(Observe(s), 7, Protocol::ArtNet, 7, 0, false); }

TEST(LearnFraming, TellsHowEachKindOfSenderDelimitsItsFrames) {
    Framing f = Learn(Show{});
    EXPECT_EQ(f.mode, Framing::Mode::Counters);
    EXPECT_TRUE(f.sharedCounter);
    EXPECT_TRUE(f.everyFrame);
    EXPECT_EQ(f.periodUs, 25'000);
    EXPECT_STREQ(FramingName(f), "shared-sequence");

    // Counters a constant apart, whatever order the universes come in.
    Show apart;
    apart.offsets = {0, 2, -1, 0};
    apart.shuffled = true;
    f = Learn(apart);
    EXPECT_EQ(f.mode, Framing::Mode::Counters);
    EXPECT_FALSE(f.sharedCounter);
    ASSERT_EQ(f.universes.size(), 4u);
    EXPECT_EQ(f.universes[1].offset, 2);
    EXPECT_EQ(f.universes[2].offset, -1);
    EXPECT_EQ(f.universes[3].offset, 0);
    // One universe a frame ahead of the others (OLA's ports), in any order: whether it comes
    // before or after the others in a burst must not decide its offset.
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        Show ahead;
        ahead.offsets = {1, 0, 0, 0};
        ahead.shuffled = true;
        ahead.seed = seed;
        f = Learn(ahead);
        ASSERT_EQ(f.universes.size(), 4u);
        EXPECT_FALSE(f.sharedCounter) << "seed " << seed;
        for (size_t u = 1; u < 4; ++u)
            EXPECT_EQ(f.universes[u].offset - f.universes[0].offset, -1) << "seed " << seed;
    }
    // ... and always last: its numbers then change where the others' do, only not at the
    // pause between bursts.
    // The survey may begin at any packet: here at that universe's.
    Show last;
    last.offsets = {0, 0, 0, 1};
    std::vector<Observation> fromLast = Observe(last);
    fromLast.erase(fromLast.begin(), fromLast.begin() + 3);
    f = LearnFraming(fromLast, 7, Protocol::ArtNet, 7, 0, false);
    EXPECT_FALSE(f.sharedCounter);
    EXPECT_EQ(f.universes[3].offset - f.universes[0].offset, 1);

    // A sender that sends only what changed: its counters move apart.
    Show changes;
    changes.sentEvery = {1, 2, 3, 1};
    f = Learn(changes);
    EXPECT_FALSE(f.everyFrame);
    EXPECT_EQ(f.mode, Framing::Mode::Bursts);
    EXPECT_GT(f.pauseUs, 300);

    // No numbers: the order it keeps, else its pauses, else nothing for certain.
    Show unnumbered;
    unnumbered.numbered = false;
    f = Learn(unnumbered);
    EXPECT_EQ(f.mode, Framing::Mode::Bursts);
    EXPECT_TRUE(f.orderStable);
    EXPECT_TRUE(f.reliable);
    unnumbered.shuffled = true;
    f = Learn(unnumbered);
    EXPECT_FALSE(f.orderStable);
    EXPECT_GT(f.pauseUs, 300);
    EXPECT_LT(f.pauseUs, 25'000);
    EXPECT_TRUE(f.reliable);
    unnumbered.spreadUs = 25'000;  // back to back, no pause
    f = Learn(unnumbered);
    EXPECT_FALSE(f.reliable);
    const auto report = FramingReportLines(f, 1, "10.0.0.7");
    EXPECT_TRUE(std::any_of(report.begin(), report.end(), [](const std::string& l) {
        return l.rfind("Warning: nothing tells its frames apart", 0) == 0;
    }));

    // Synchronization packets, one a frame; a single one at the end delimits nothing.
    std::vector<Observation> synced = Observe(Show{});
    std::vector<Observation> once = synced;
    for (int i = 0; i < 60; ++i) synced.push_back({i * 25'000 + 400, 7, -1, 0, false});
    std::stable_sort(synced.begin(), synced.end(),
                     [](const auto& a, const auto& b) { return a.timeUs < b.timeUs; });
    EXPECT_EQ(LearnFraming(synced, 7, Protocol::ArtNet, 7, 0, true).mode, Framing::Mode::Sync);
    once.push_back({60 * 25'000, 7, -1, 0, false});
    EXPECT_EQ(LearnFraming(once, 7, Protocol::ArtNet, 7, 0, true).mode, Framing::Mode::Counters);
}

std::vector<std::string> Report(const std::vector<std::pair<int, int>>& slots, int perPort,
                                const UniverseSelection& selection = {}, int controllerPorts = 0) {
    UniverseTable t;
    for (auto [u, len] : slots) t.push_back({u, 0, static_cast<uint16_t>(len)});
    return SurveyReportLines(t, perPort, selection, controllerPorts);
}

TEST(SurveyReport, WorkedExamples) {
    std::vector<std::pair<int, int>> six, thirteen;
    for (int u = 0; u < 6; ++u) six.push_back({u, 512});
    for (int u = 0; u < 13; ++u) thirteen.push_back({u, 512});

    EXPECT_EQ(Report(six, 6),
              (std::vector<std::string>{
                  "Parse to 6 Universes", "Max universe num is:5",
                  "The current setting is that each port carries 6 universes，The capture file "
                  "will be set to 1 ports.",
                  "The length of each frame is 3072 bytes."}));
    EXPECT_EQ(Report({{1, 510}, {3, 510}}, 2),
              (std::vector<std::string>{
                  "Parse to 2 Universes", "Max universe num is:3",
                  "The current setting is that each port carries 2 universes，The capture file "
                  "will be set to 2 ports.",
                  "The length of each frame is 1020 bytes."}));
    const auto lines = Report(thirteen, 8);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Parse to 13 Universes");
    EXPECT_EQ(lines[1], "Max universe num is:12");  // the highest number, not a count
    EXPECT_NE(lines[2].find("carries 8 universes，The capture file will be set to 2 ports."),
              std::string::npos);
    EXPECT_EQ(lines[3], "The length of each frame is 6656 bytes.");
}

TEST(SurveyReport, EmptyTableAndInvalidPerPort) {
    EXPECT_EQ(Report({}, 6), std::vector<std::string>{"Parse to 0 Universes"});
    // Without a usable number of universes per port the ports line is left out.
    EXPECT_EQ(Report({{0, 512}}, 0),
              (std::vector<std::string>{"Parse to 1 Universes", "Max universe num is:0",
                                        "The length of each frame is 512 bytes."}));
}

// A show on universes 100-102: with nothing chosen ports 1 to 16 would be empty, which the
// report says; a first universe or a list of universes makes it one port, and what the list
// leaves out is named. A controller with fewer outputs than the ports is told of.
TEST(SurveyReport, TheUniverseSelectionAndTheController) {
    const std::vector<std::pair<int, int>> show{{101, 512}, {100, 512}, {102, 512}};
    EXPECT_EQ(Report(show, 6, {}, 8),
              (std::vector<std::string>{
                  "Parse to 3 Universes", "Max universe num is:102",
                  "Ports 1 to 16 carry no universe, as the lowest universe recorded is 100: "
                  "choose 100 as the first universe so that port 1 begins with it.",
                  "The recording needs 18 ports, more than the 8 of the controller.",
                  "The current setting is that each port carries 6 universes，The capture file "
                  "will be set to 18 ports.",
                  "The length of each frame is 1536 bytes."}));
    EXPECT_EQ(
        Report(show, 6, UniverseSelection{100, {}}, 8),
        (std::vector<std::string>{
            "Parse to 3 Universes", "Max universe num is:102", "Port 1 begins at universe 100.",
            "The current setting is that each port carries 6 universes，The capture file "
            "will be set to 1 ports.",
            "The length of each frame is 1536 bytes."}));
    EXPECT_EQ(Report(show, 1, UniverseSelection{0, {90, 100, 102}}),
              (std::vector<std::string>{
                  "Parse to 3 Universes", "Max universe num is:102",
                  "Universes recorded, in port order: 90,100,102.",
                  "Not recorded, as they are outside the universes chosen: universes 101.",
                  "Port 1 carries no universe, as the lowest universe recorded is 100: choose "
                  "100 as the first universe so that port 1 begins with it.",
                  "The current setting is that each port carries 1 universes，The capture file "
                  "will be set to 3 ports.",
                  "The length of each frame is 1024 bytes."}));
}

}  // namespace
}  // namespace quorvex
