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
        cases.push_back({"SacnBackToBack", s, "sequence number all universes of a frame share",
                         "shared-sequence", "0 frames missing upstream, 0 incomplete frames"});
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

}  // namespace
}  // namespace quorvex
