// Shows as real senders send them, from capture files through the whole recorder: every
// recorded frame must be a frame the sender sent, whole, in order, none left out, and the
// recording check must count what was lost where it was lost.

#include <gtest/gtest.h>

#include <algorithm>

#include "recording/recording_notes.h"
#include "tests/support/fake_recorder_host.h"
#include "tests/support/recordings.h"
#include "tests/support/show_generator.h"

namespace quorvex {
namespace {

using test::Bytes;
using test::SenderScript;
using Numbering = SenderScript::Numbering;

std::string Line(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& l : lines) {
        if (l.rfind(prefix, 0) == 0) return l;
    }
    return {};
}
bool Has(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

struct Outcome {
    test::Recording recording;
    std::vector<std::string> log;
    std::string check;
    RecordingNotes notes;
    std::vector<InputRow> input;  // the live view at the end
};

// Records the shows' capture file from its start to its end.
Outcome Record(const std::vector<const test::GeneratedShow*>& shows, unsigned frames = 5000) {
    test::RecorderRig rig;
    const std::string capture = rig.dir.File("show.pcap");
    test::WriteShows(capture, shows);
    Outcome o;
    EXPECT_TRUE(rig.OpenFile(capture));
    EXPECT_TRUE(rig.Parse());
    rig.frames = frames;
    rig.host.AnswerSaveAs(rig.dir.File("show.RGB"));
    EXPECT_TRUE(rig.RecordToEnd());
    o.recording = test::ReadRecording(rig.dir.File("show.RGB"));
    o.log = rig.host.LogLines();
    o.check = Line(o.log, "Recording check:");
    if (auto notes = ReadNotes(rig.dir.File("show.RGB")); notes && *notes) o.notes = **notes;
    const Recorder& rec = *rig.rec;
    o.input = InputRates().Sample(rec.Monitor().Read(), 0);
    DescribeSenders(o.input, rec.Sources(), rec.Nodes(), rec.Surveyed());
    return o;
}

struct Case {
    const char* name;
    SenderScript script;
    const char* framingLine;  // part of the survey report
    const char* framing;      // as the notes name it
    const char* figures;      // part of the recording check
};

SenderScript Script(Numbering n, std::vector<int> offsets = {}) {
    SenderScript s;
    s.numbering = n;
    s.offsets = std::move(offsets);
    return s;
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    {
        SenderScript s = Script(Numbering::Shared);
        s.frames = 600;  // the numbers wrap twice, 255 to 1
        cases.push_back({"SharedCounter", s, "sequence number all universes of a frame share",
                         "shared-sequence", "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        // QLC+ and OLA: a counter per universe, running apart from the others by a constant.
        SenderScript s = Script(Numbering::PerUniverse, {0, 2, 0, 1});
        s.shuffle = true;
        cases.push_back({"PerUniverseCountersApart", s, "universe 1 by 2, universe 3 by 1",
                         "per-universe-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        // OLA: one port's counter a frame ahead of the others, and that port sometimes first,
        // sometimes last in the burst.
        SenderScript s = Script(Numbering::PerUniverse, {1, 0, 0, 0});
        s.zeroInCycle = true;
        s.shuffle = true;
        s.seed = 1;  // an order that once made the survey take the counters for shared
        cases.push_back(
            {"OnePortAheadInAnyOrder", s, "universe 1 by -1, universe 2 by -1, universe 3 by -1",
             "per-universe-sequence", "0 frames missing upstream, 0 incomplete frames"});
        // ... or always last, the capture beginning at its packet: only the pauses between
        // bursts then tell its counter from a shared one.
        s.offsets = {0, 0, 0, 1};
        s.shuffle = false;
        s.cutIntoFirst = 3;
        cases.push_back({"OnePortAheadAndLast", s, "(ahead of the others: universe 3 by 1)",
                         "per-universe-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        // Threads that fell behind send what they owe back to back, interleaved.
        SenderScript s = Script(Numbering::PerUniverse);
        s.shuffle = true;
        s.catchUps = {{30, 3}, {70, 4}, {100, 2}};
        cases.push_back({"InterleavedCatchUp", s, "", "shared-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        SenderScript s = Script(Numbering::PerUniverse, {3, 0, 0, 0});
        s.skipped = {40, 41, 90};
        cases.push_back({"SkippedTicks", s, "", "per-universe-sequence",
                         "3 frames missing upstream, 0 incomplete frames"});
    }
    {
        // dmxnet resends unchanged data with the universe's next number, once a second.
        SenderScript s = Script(Numbering::PerUniverse);
        s.resends = {{20, 3}, {45, 1}, {80, 2}, {81, 0}, {110, 3}};
        cases.push_back({"KeepAliveInTheBurst", s, "", "shared-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
        s.resendInGap = true;
        cases.push_back({"KeepAliveBetweenBursts", s, "", "shared-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
        // dmxnet resends every universe at once; a look held for frames is frames all the same.
        s.resends.clear();
        for (const int f : {30, 75, 100}) {
            for (int u = 0; u < 4; ++u) s.resends.push_back({f, u});
        }
        s.holds = {{50, 56}, {100, 101}};
        cases.push_back({"KeepAliveOfEveryUniverseAndHeldLooks", s, "", "shared-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
        // A timer that fires late inside a held look, the next tick on time: both are frames,
        // at the start of the hold, in its middle and just before the look changes.
        s.late = {{51, 11}, {53, 20}, {56, 11}, {101, 14}};
        cases.push_back({"HeldLooksWithLateTicks", s, "", "shared-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        // Unchanged universes in frames that threads send late.
        SenderScript s = Script(Numbering::PerUniverse);
        s.unchanged = {1, 3};
        s.shuffle = true;
        s.catchUps = {{60, 3}};
        cases.push_back({"UnchangedUniversesCatchingUp", s, "", "shared-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        SenderScript s = Script(Numbering::PerUniverse, {0, 1, 0, 0});
        s.lost = {{50, 2}, {51, 2}, {80, 0}};
        cases.push_back({"LostPackets", s, "", "per-universe-sequence",
                         "0 frames missing upstream, 3 incomplete frames"});
    }
    {
        // OLA's counters run through 0.
        SenderScript s = Script(Numbering::PerUniverse, {5, 0, 9, 0});
        s.zeroInCycle = true;
        s.frames = 600;
        cases.push_back({"CountersThroughZero", s, "", "per-universe-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        // A sender without numbers whose library spreads a frame over 12 ms.
        SenderScript s = Script(Numbering::None);
        s.jitter = true;
        s.spreadMs = 12;
        s.frames = 200;
        cases.push_back({"UnnumberedJitteredBursts", s, "start over in the order", "universe-order",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        SenderScript s = Script(Numbering::None);
        s.shuffle = true;
        s.spreadMs = 2;
        cases.push_back({"UnnumberedShuffledBursts", s, "pauses of more than", "pauses",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        // sACN at line rate: no pause between frames, no synchronization.
        SenderScript s = Script(Numbering::PerUniverse);
        s.sacn = true;
        s.universes.clear();
        for (int u = 0; u < 40; ++u) s.universes.push_back(u);
        s.channels = 8;
        s.fps = 1000;
        s.spreadMs = 0.999;
        s.frames = 400;
        s.cutIntoFirst = 25;  // the capture begins inside a frame
        cases.push_back({"SacnBackToBack", s, "sequence number all universes of a frame share",
                         "shared-sequence", "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        // QLC+'s sACN counters skip 0, one universe a step behind the others.
        SenderScript s = Script(Numbering::PerUniverse, {1, 1, 1, 0});
        s.sacn = true;
        s.sacnSkipsZero = true;
        s.shuffle = true;
        s.frames = 600;
        cases.push_back({"SacnCountersSkippingZero", s, "universe 3 by -1", "per-universe-sequence",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        SenderScript s = Script(Numbering::PerUniverse, {0, 4, 0, 0});
        s.sacn = true;
        s.sync = true;
        s.syncAddress = 1;
        s.shuffle = true;
        cases.push_back({"SacnSynchronized", s, "synchronization packets (address 1)", "sync",
                         "0 frames missing upstream, 0 incomplete frames"});
    }
    {
        // A console reboot: 0.3 s away, counters afresh.
        SenderScript s = Script(Numbering::Shared);
        s.restartAt = 70;
        s.restartMs = 300;
        cases.push_back({"Restart", s, "", "shared-sequence",
                         "12 frames missing upstream, 0 incomplete frames"});
    }
    return cases;
}

class Senders : public testing::TestWithParam<Case> {};

TEST_P(Senders, EveryFrameIsRecordedWholeAndInOrder) {
    const Case& c = GetParam();
    const test::GeneratedShow show = test::Generate(c.script);
    const Outcome o = Record({&show});
    if (*c.framingLine) {
        EXPECT_TRUE(Has(o.log, c.framingLine)) << c.framingLine;
    }
    EXPECT_EQ(o.notes.framing, c.framing);
    std::string why;
    const int first = test::RecordedRun(show, o.recording.frames, &why);
    ASSERT_GE(first, 0) << why;
    // From the first whole frame to the last, none left out.
    EXPECT_LE(first, 1);
    EXPECT_EQ(o.recording.frames.size(), show.sent.size() - static_cast<size_t>(first));
    EXPECT_NE(o.check.find(c.figures), std::string::npos) << o.check;
}

INSTANTIATE_TEST_SUITE_P(Shows, Senders, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Which show and frame each recorded frame is: {show index, frame}, {-1, 0} for a mix.
std::vector<std::pair<int, int>> Sources(const std::vector<Bytes>& recorded,
                                         const std::vector<const test::GeneratedShow*>& shows) {
    std::vector<std::pair<int, int>> out;
    for (const Bytes& frame : recorded) {
        std::pair<int, int> found{-1, 0};
        for (size_t s = 0; s < shows.size() && found.first < 0; ++s) {
            for (const auto& [f, truth] : shows[s]->truth) {
                if (truth == frame) found = {static_cast<int>(s), f};
            }
        }
        out.push_back(found);
    }
    return out;
}

SenderScript Sacn(const std::string& name, uint8_t priority, uint8_t cidLast, bool inverted) {
    SenderScript s;
    s.sacn = true;
    s.numbering = Numbering::PerUniverse;
    s.name = name;
    s.priority = priority;
    s.cid[15] = cidLast;
    s.inverted = inverted;
    s.frames = 200;
    return s;
}

// An sACN data packet of `from`'s, for universe index 1, with `options` set.
test::TimedPacket Extra(const SenderScript& from, uint64_t us, uint8_t options, uint8_t seq) {
    test::SacnDataFields f;
    f.universe = static_cast<uint16_t>(from.universes[1] + 1);
    f.sequence = seq;
    f.priority = from.priority;
    f.options = options;
    f.cid = from.cid;
    f.sourceName = from.name;
    f.data = Bytes(static_cast<size_t>(from.channels), 0xAB);
    test::UdpOptions o = test::SacnUdp(f.universe);
    o.srcIp = from.address;
    return {us, test::UdpFrame(test::SacnData(f), o)};
}

// Two sACN sources on one host are two sources: the second one's data, preview, end of
// stream and synchronization packets never touch the universes recorded from the first.
TEST(SacnSources, ASecondSourceOnTheSameHostTouchesNothing) {
    SenderScript main = Sacn("Main console", 100, 1, false);
    main.sync = true;
    main.syncAddress = 1;
    SenderScript other = Sacn("Visualiser", 50, 2, true);
    other.sync = true;
    other.syncAddress = 1;
    other.startUs += 7'000;  // between the main console's frames
    test::GeneratedShow a = test::Generate(main);
    test::GeneratedShow b = test::Generate(other);
    for (int k = 0; k < 60; ++k) {
        const uint64_t at = other.startUs + static_cast<uint64_t>(k) * 50'000 + 3'000;
        b.packets.push_back(Extra(other, at, 0x80, 0));
        if (k % 20 == 19) b.packets.push_back(Extra(other, at + 10, 0x40, 0));
    }
    // The main console's own synchronization packets out of sequence, and for another
    // address: neither ends a frame.
    for (int f = 10; f < 190; f += 7) {
        const uint64_t mid = main.startUs + static_cast<uint64_t>(f) * 25'000 + 150;
        test::SacnSyncFields late;
        late.sequence = static_cast<uint8_t>(f - 2);  // frame f's packet is f - 1
        late.syncAddress = 1;
        late.cid = main.cid;
        test::SacnSyncFields elsewhere = late;
        elsewhere.sequence = static_cast<uint8_t>(f);
        elsewhere.syncAddress = 7;
        for (const auto& sync : {late, elsewhere}) {
            test::UdpOptions o = test::SacnUdp(sync.syncAddress);
            o.srcIp = main.address;
            a.packets.push_back({mid, test::UdpFrame(test::SacnSync(sync), o)});
        }
    }
    const Outcome o = Record({&a, &b});
    std::string why;
    const int first = test::RecordedRun(a, o.recording.frames, &why);
    ASSERT_GE(first, 0) << why;
    EXPECT_EQ(o.recording.frames.size(), a.sent.size() - static_cast<size_t>(first));
    EXPECT_NE(o.check.find("0 frames missing upstream, 0 incomplete frames"), std::string::npos)
        << o.check;
    EXPECT_TRUE(Has(o.log, "sACN (E1.31) from Main console (10.0.0.1)"));
    EXPECT_EQ(o.notes.universes.at(0).sourceName, "Main console");
    EXPECT_EQ(o.notes.universes.at(0).cid, "51554f52-5645-5800-1020-304050607001");
    // The live view tells the two apart, as sent, and marks the one recorded.
    ASSERT_GE(o.input.size(), 2u);
    const InputRow& recorded = o.input[0].name == "Main console" ? o.input[0] : o.input[1];
    const InputRow& visualiser = &recorded == &o.input[0] ? o.input[1] : o.input[0];
    EXPECT_EQ(recorded.universe, 0);
    EXPECT_EQ(recorded.origin.protocol, Protocol::Sacn);
    EXPECT_EQ(recorded.origin.sentUniverse, 1);
    EXPECT_EQ(recorded.origin.priority, 100);
    EXPECT_EQ(recorded.cid, "51554f52-5645-5800-1020-304050607001");
    EXPECT_TRUE(recorded.recorded);
    EXPECT_EQ(visualiser.name, "Visualiser");
    EXPECT_EQ(visualiser.origin.priority, 50);
    EXPECT_FALSE(visualiser.recorded);
}

// A main console that stops without ending its stream gives way, after E1.31's 2.5 s, to the
// backup sending the same universes; a source of higher priority that appears takes over at
// once. Either way between frames: no recorded frame mixes two sources.
TEST(SacnSources, BackupAndHigherPriorityTakeOverBetweenFrames) {
    for (const bool backup : {true, false}) {
        SCOPED_TRACE(backup ? "backup after the main console stops" : "higher priority appears");
        SenderScript main = Sacn("Main console", 100, 1, false);
        SenderScript second = Sacn(backup ? "Backup" : "Flash", backup ? 50 : 150, 2, true);
        second.startUs += 11'000;
        if (backup) {
            main.frames = 60;  // silent from frame 61 on
        } else {
            second.firstFrame = 120;  // appears with the main console's frame 120
            second.startUs += 119 * 25'000;
        }
        const test::GeneratedShow a = test::Generate(main);
        const test::GeneratedShow b = test::Generate(second);
        const Outcome o = Record({&a, &b});
        const auto from = Sources(o.recording.frames, {&a, &b});
        ASSERT_FALSE(from.empty());
        size_t k = 0;
        for (; k < from.size() && from[k].first == 0; ++k) {
            if (k > 0) {
                EXPECT_EQ(from[k].second, from[k - 1].second + 1) << k;
            }
        }
        ASSERT_GT(k, 50u);
        ASSERT_LT(k, from.size());
        for (size_t j = k; j < from.size(); ++j) {
            ASSERT_EQ(from[j].first, 1) << "recorded frame " << j + 1 << " mixes two sources";
            if (j > k) {
                EXPECT_EQ(from[j].second, from[j - 1].second + 1) << j;
            }
        }
        EXPECT_EQ(from.back().second, 200);
        if (backup) {
            // The backup's first frame 2.5 s after the main console's last.
            EXPECT_NEAR(from[k].second, 60 + 100, 3);
            EXPECT_TRUE(Has(o.log,
                            "Universe 0: Main console (10.0.0.1) stopped; recorded from "
                            "Backup (10.0.0.1) (priority 50) from frame"));
        } else {
            EXPECT_NEAR(from[k].second, 121, 2);
            EXPECT_TRUE(Has(o.log,
                            "Universe 0: Flash (10.0.0.1) (priority 150) takes over from "
                            "Main console (10.0.0.1) at frame"));
        }
        EXPECT_NE(o.check.find("The source of a universe changed 4 times."), std::string::npos)
            << o.check;
    }
}

}  // namespace
}  // namespace quorvex
