// Whole recordings through the recording logic, driven by the window-services double, over
// capture files whose frame content is a function of the frame number.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "cli/pattern_sender.h"
#include "platform/app_paths.h"
#include "platform/text_format.h"
#include "recording/recorder.h"
#include "recording/recording_notes.h"
#include "recording/rgb_format.h"
#include "tests/support/fake_recorder_host.h"
#include "tests/support/recordings.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;
using test::ReadRecording;
using test::Recording;

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}
size_t CountOf(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}
std::string LineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& l : lines) {
        if (l.rfind(prefix, 0) == 0) return l;
    }
    return {};
}
bool AnyStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return !LineStartingWith(lines, prefix).empty();
}

using Rig = test::RecorderRig;

const std::vector<int> kSix{0, 1, 2, 3, 4, 5};

test::ShowPlan Plan(int frames, int channels, std::vector<int> universes = kSix) {
    test::ShowPlan plan;
    plan.frames = frames;
    plan.channels = channels;
    plan.universes = std::move(universes);
    return plan;
}

TEST(Recording, EveryFrameOfAShowIsRecordedByteForByte) {
    Rig rig;
    test::ShowPlan show = Plan(260, 512);
    show.sync = true;
    ASSERT_TRUE(rig.SurveyShow(show));
    const auto log = rig.host.LogLines();
    EXPECT_TRUE(Contains(log, "Parse to 6 Universes"));
    EXPECT_TRUE(Contains(log, "Max universe num is:5"));
    EXPECT_TRUE(Contains(log, "The length of each frame is 3072 bytes."));

    rig.host.AnswerSaveAs(rig.dir.File("show.rgb"));
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_EQ(rig.host.SaveAsDefaults().front(), "Sc-01-01.RGB");
    EXPECT_EQ(rig.Status().sceneNumber, 2);
    EXPECT_TRUE(rig.host.Alerts().empty());

    const Recording r = ReadRecording(rig.dir.File("show.RGB"));
    EXPECT_EQ(r.header.frameCount, 200);
    EXPECT_EQ(r.header.frameLength, 3072u);
    EXPECT_EQ(r.header.headerLength, 548u);
    ASSERT_EQ(r.frames.size(), 200u);
    EXPECT_EQ(r.trailing, 0u);
    // The survey read frames 1-3, but a capture file is recorded from its first whole frame.
    for (size_t i = 0; i < r.frames.size(); ++i) {
        ASSERT_EQ(r.frames[i], test::ShowFrame(static_cast<int>(i) + 1, kSix, 512))
            << "frame " << i;
    }
    const auto after = rig.host.LogLines();
    EXPECT_TRUE(Contains(after, "Start capture......"));
    EXPECT_EQ(CountOf(after, "Stopped！"), 1u);
    EXPECT_EQ(LineStartingWith(after, "Recording check:"),
              "Recording check: 200 frames written in 5.0 s (40.0 frames/s), 0 frames missing "
              "upstream, 0 incomplete frames, read from a capture file.");
    EXPECT_TRUE(Contains(after, "Saved: " + rig.dir.File("show.RGB")));
    EXPECT_FALSE(std::filesystem::exists(rig.WorkingFile()));
    EXPECT_EQ(rig.host.FrameDisplay(), "200");
    // Notes beside it: universes and senders, the layout, and when the show was recorded.
    const auto notes = ReadNotes(rig.dir.File("show.RGB"));
    ASSERT_TRUE(notes && *notes);
    EXPECT_EQ((*notes)->universes.size(), 6u);
    EXPECT_EQ((*notes)->universes[5].source, "10.0.0.1");
    EXPECT_EQ((*notes)->ports, 1);
    EXPECT_EQ((*notes)->icType, "SPI&TTL");
    EXPECT_EQ((*notes)->startTime, "2023-11-14T22:13:20Z");
    EXPECT_EQ((*notes)->check.framesWritten, 200u);
    EXPECT_DOUBLE_EQ((*notes)->framesPerSecond, 40);
    // Buttons back to idle.
    EXPECT_TRUE(rig.host.Buttons().parse);
    EXPECT_TRUE(rig.host.Buttons().capture);
    EXPECT_FALSE(rig.host.Buttons().pause);
    EXPECT_FALSE(rig.host.Buttons().stop);
}

// A recording made by an earlier build of the same capture: the file format and the frame
// assembly must not change a byte.
TEST(Recording, SameCaptureGivesTheSameFileAsBefore) {
    Rig rig;
    cli::PatternOptions pattern;
    pattern.universes = {0, 1, 2, 5};
    pattern.channels = 30;
    pattern.frames = 12;
    ASSERT_EQ(cli::WritePatternCapture(rig.dir.File("pattern.pcap"), pattern), "");
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("pattern.pcap")));
    rig.settings.universesPerPort = 2;
    rig.settings.rgbw = true;
    ASSERT_TRUE(rig.Parse());
    rig.host.AnswerSaveAs(rig.dir.File("pattern.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_EQ(test::ReadFileBytes(rig.dir.File("pattern.RGB")),
              test::ReadFileBytes(QUORVEX_TEST_DATA "/pattern-0-2-5x30-u2-rgbw.RGB"));
}

// A writer slower than the show fills the frame buffer (20 frames here), then holds up the
// assembly thread: frames wait, none is lost or torn.
TEST(Recording, SlowWriterLosesNoFrame) {
    Recorder::Options options;
    options.beforeFrameWrite = [](uint32_t frame) {
        if (frame % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(15));
    };
    Rig rig(options);
    std::vector<int> hundred(100);
    for (int u = 0; u < 100; ++u) hundred[static_cast<size_t>(u)] = u;
    test::ShowPlan show = Plan(70, 512, hundred);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.settings.frameBufferMb = 1;
    rig.frames = 60;
    rig.host.AnswerSaveAs(rig.dir.File("slow.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    const Recording r = ReadRecording(rig.dir.File("slow.RGB"));
    EXPECT_EQ(r.header.frameCount, 60);
    ASSERT_EQ(r.frames.size(), 60u);
    for (size_t i = 0; i < r.frames.size(); ++i) {
        ASSERT_EQ(r.frames[i], test::ShowFrame(static_cast<int>(i) + 1, hundred, 512))
            << "frame " << i;
    }
}

// The disk stalls before frame 5 until every frame of the recording has been assembled: the
// assembly thread never waits for it, and no frame is lost or torn.
TEST(Recording, AStalledDiskHoldsUpNoFrame) {
    std::atomic<bool> release{false};
    Recorder::Options options;
    options.beforeFrameWrite = [&release](uint32_t frame) {
        while (frame == 5 && !release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    Rig rig(options);
    ASSERT_TRUE(rig.SurveyShow(Plan(70, 512)));
    rig.frames = 60;
    rig.host.AnswerSaveAs(rig.dir.File("stalled.RGB"));
    rig.Capture();
    const bool queued = rig.host.PumpUntil([&] { return rig.Status().framesCompleted == 60; });
    const uint32_t writtenMeanwhile = rig.Status().framesWritten;
    const bool finishedMeanwhile = !rig.host.SaveAsDefaults().empty();
    release = true;
    ASSERT_TRUE(queued);
    EXPECT_LE(writtenMeanwhile, 4u);
    EXPECT_FALSE(finishedMeanwhile);  // the finish waits for the queue to reach the disk
    ASSERT_TRUE(rig.WaitFinished(0));
    const Recording r = ReadRecording(rig.dir.File("stalled.RGB"));
    EXPECT_EQ(r.header.frameCount, 60);
    ASSERT_EQ(r.frames.size(), 60u);
    for (size_t i = 0; i < r.frames.size(); ++i) {
        ASSERT_EQ(r.frames[i], test::ShowFrame(static_cast<int>(i) + 1, kSix, 512))
            << "frame " << i;
    }
}

// A capture file is recorded whole: from its first whole frame to its last whole one. One cut
// by the start or the end of the capture is left out, unless an ArtSync closes the last.
TEST(Recording, EndOfFileEndsTheRecordingAsStopWouldAndCountsGaps) {
    for (const bool synced : {false, true}) {
        SCOPED_TRACE(synced ? "ArtSync after the cut last frame" : "cut last frame");
        Rig rig;
        // Frames 1..30, but frames 10 and 11 never made it onto the wire, the capture began
        // after universe 0 of frame 1 and ended before universe 1 of frame 30.
        test::PcapWriter w(rig.dir.File("gaps.pcap"));
        uint64_t ts = 1000000;
        for (int f = 1; f <= 30; ++f, ts += 25000) {
            if (f == 10 || f == 11) continue;
            for (int u : {0, 1}) {
                if ((f == 1 && u == 0) || (f == 30 && u == 1)) continue;
                w.Write(
                    test::UdpFrame(test::ArtDmx(u, test::SequenceOf(f), test::ShowData(f, u, 16))),
                    ts);
            }
        }
        if (synced) w.Write(test::UdpFrame(test::ArtSync()), ts);
        w.Close();
        ASSERT_TRUE(rig.OpenFile(rig.dir.File("gaps.pcap")));
        ASSERT_TRUE(rig.Parse());
        rig.host.AnswerSaveAs(rig.dir.File("gaps.RGB"));
        ASSERT_TRUE(rig.RecordToEnd());
        // Frames 2..29 less the two missing, and frame 30 when the ArtSync closed it.
        const size_t frames = synced ? 27 : 26;
        const Recording r = ReadRecording(rig.dir.File("gaps.RGB"));
        EXPECT_EQ(r.header.frameCount, frames);
        ASSERT_EQ(r.frames.size(), frames);
        EXPECT_EQ(r.frames[0], test::ShowFrame(2, {0, 1}, 16));
        EXPECT_EQ(r.frames[7], test::ShowFrame(9, {0, 1}, 16));
        EXPECT_EQ(r.frames[8], test::ShowFrame(12, {0, 1}, 16));
        if (synced) {
            // Universe 1 keeps what it sent in frame 29.
            Bytes last = test::ShowData(30, 0, 16);
            const Bytes one = test::ShowData(29, 1, 16);
            last.insert(last.end(), one.begin(), one.end());
            EXPECT_EQ(r.frames.back(), last);
        }
        const std::string check = LineStartingWith(rig.host.LogLines(), "Recording check:");
        EXPECT_EQ(check.rfind(Format("Recording check: %zu frames written", frames), 0), 0u)
            << check;
        EXPECT_NE(check.find(Format(", 2 frames missing upstream, %d incomplete", synced ? 1 : 0)),
                  std::string::npos)
            << check;
    }
}

TEST(Recording, ARecordingStopsAtTheLargestCountTheHeaderHolds) {
    Rig rig;
    test::ShowPlan show = Plan(65545, 2, {0});
    show.fps = 1000;
    ASSERT_TRUE(rig.SurveyShow(show, "long.pcap"));
    rig.frames = 100000;
    rig.host.AnswerSaveAs(rig.dir.File("long.RGB"));
    ASSERT_TRUE(rig.RecordToEnd(std::chrono::minutes(2)));
    EXPECT_TRUE(Contains(rig.host.LogLines(),
                         "A recording holds at most 65535 frames; this one stops there."));
    const Recording r = ReadRecording(rig.dir.File("long.RGB"));
    EXPECT_EQ(r.header.frameCount, 65535);
    EXPECT_EQ(r.frames.size(), 65535u);
}

TEST(Recording, FrameLimitZeroGivesAHeaderOnlyFile) {
    Rig rig;
    test::ShowPlan show = Plan(10, 32);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.frames = 0;
    rig.host.AnswerSaveAs(rig.dir.File("empty.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    const Bytes bytes = test::ReadFileBytes(rig.dir.File("empty.RGB"));
    EXPECT_EQ(bytes.size(), RgbHeaderLength(1));
    EXPECT_EQ(bytes[14], 0);
    EXPECT_EQ(bytes[15], 0);
}

// A universe above the table, a second sender of a surveyed universe (with sequence numbers of
// its own, or none) and the show's own Sequence 0 packets: none ends the recording or tears a
// frame, and each is told once.
TEST(Recording, ForeignTrafficNeitherEndsNorTearsTheRecording) {
    Rig rig;
    test::PcapWriter w(rig.dir.File("foreign.pcap"));
    test::UdpOptions other;
    other.srcIp = 0x0A000002;
    uint64_t ts = 1000000;
    for (int f = 1; f <= 80; ++f, ts += 25000) {
        const uint8_t seq = test::SequenceOf(f);
        w.Write(test::UdpFrame(test::ArtDmx(0, seq, test::ShowData(f, 0, 8))), ts);
        if (f >= 6) {
            w.Write(test::UdpFrame(test::ArtDmx(1, static_cast<uint8_t>(100 + f), Bytes(8, 0x66)),
                                   other),
                    ts);
            w.Write(test::UdpFrame(test::ArtDmx(1, 0, Bytes(8, 0x67)), other), ts);
            w.Write(test::UdpFrame(test::ArtDmx(0, 0, test::ShowData(f, 0, 8))), ts);
        }
        // After the survey's 1.5 s: above every universe it found.
        if (f == 69 || f == 72) w.Write(test::UdpFrame(test::ArtDmx(7, seq, Bytes(8, 1))), ts);
        // Universe 1 sends nothing in frame 16: it keeps what it sent in frame 15.
        if (f != 16) w.Write(test::UdpFrame(test::ArtDmx(1, seq, test::ShowData(f, 1, 8))), ts);
    }
    w.Close();
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("foreign.pcap")));
    ASSERT_TRUE(rig.Parse());
    rig.host.AnswerSaveAs(rig.dir.File("foreign.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    const auto phases = rig.host.Phases();
    EXPECT_EQ(std::count(phases.begin(), phases.end(), Phase::Halted), 0);
    const Recording r = ReadRecording(rig.dir.File("foreign.RGB"));
    // Frames 1..80: the last one is whole too.
    ASSERT_EQ(r.frames.size(), 80u);
    for (size_t i = 0; i < r.frames.size(); ++i) {
        const int f = static_cast<int>(i) + 1;
        Bytes expected = test::ShowData(f, 0, 8);
        const Bytes one = test::ShowData(f == 16 ? 15 : f, 1, 8);
        expected.insert(expected.end(), one.begin(), one.end());
        EXPECT_EQ(r.frames[i], expected) << "frame " << f;
    }
    const auto log = rig.host.LogLines();
    EXPECT_EQ(CountOf(log, "Universe num:7, out of range！"), 1u);
    EXPECT_EQ(CountOf(log,
                      "Universe 1 also arrives from 10.0.0.2; only 10.0.0.1, found by Parse, "
                      "is recorded."),
              1u);
    EXPECT_EQ(CountOf(log, "Stopped！"), 1u);
    const std::string check = LineStartingWith(log, "Recording check:");
    EXPECT_NE(check.find(", 0 frames missing upstream, 1 incomplete frames,"), std::string::npos)
        << check;
}

// Shows whose sender numbers no frames: sACN (its sequence numbers are per universe) and
// Art-Net with Sequence 0, each with and without synchronization packets. The capture begins
// inside a burst, universe 3 is left out of some bursts, and the same universe also comes in
// the other protocol: the recording still holds the sender's frames, whole.
struct Unsequenced {
    bool sacn;
    bool sync;
};
class UnsequencedShows : public testing::TestWithParam<Unsequenced> {};
test::SacnDataFields OtherProtocolPacket() {
    test::SacnDataFields f;
    f.data = Bytes(9, 9);
    return f;
}

TEST_P(UnsequencedShows, AreRecordedFrameByFrame) {
    const auto [sacn, sync] = GetParam();
    constexpr int kFrames = 100;
    constexpr int kChannels = 16;
    const std::vector<int> universes{0, 1, 2, 3};
    Rig rig;
    test::PcapWriter w(rig.dir.File("show.pcap"));
    uint8_t sacnSequence[4] = {};
    auto data = [&](int u, const Bytes& values, uint64_t ts, uint8_t startCode = 0) {
        if (!sacn) return w.Write(test::UdpFrame(test::ArtDmx(u, 0, values)), ts);
        test::SacnDataFields f;
        f.universe = static_cast<uint16_t>(u + 1);
        f.sequence = sacnSequence[u]++;
        f.syncAddress = sync ? 1 : 0;
        f.startCode = startCode;
        f.data = values;
        w.Write(test::UdpFrame(test::SacnData(f), test::SacnUdp(f.universe)), ts);
    };
    for (int f = 0; f <= kFrames; ++f) {
        uint64_t ts = 1000000 + static_cast<uint64_t>(f) * 25000;
        for (const int u : universes) {
            // The capture begins inside frame 0; frames 10 to 13 leave universe 3 out.
            if ((f == 0 && u < 2) || (u == 3 && f >= 10 && f <= 13)) continue;
            if (sacn && u == 2 && (f == 70 || f == 71)) {
                ++sacnSequence[u];  // two packets lost on the way: the frames lack universe 2
                continue;
            }
            data(u, test::ShowData(f, u, kChannels), ts += 150);
            // Per-address priority shares the universe's sequence but is not recorded.
            if (sacn && u == 1) data(u, Bytes(kChannels, 0xEE), ts += 20, 0xDD);
        }
        if (f % 20 == 5) {
            // Universe 0 in the other protocol, from the same sender.
            w.Write(sacn ? test::UdpFrame(test::ArtDmx(0, 0, Bytes(kChannels, 9)))
                         : test::UdpFrame(test::SacnData(OtherProtocolPacket()), test::SacnUdp(1)),
                    ts += 20);
        }
        if (sync) {
            test::SacnSyncFields syncFields;
            syncFields.sequence = static_cast<uint8_t>(f);
            w.Write(sacn ? test::UdpFrame(test::SacnSync(syncFields), test::SacnUdp(1))
                         : test::UdpFrame(test::ArtSync()),
                    ts + 40);
        }
    }
    if (sacn) {
        // The stream ends: its data is ignored.
        test::SacnDataFields end;
        end.sequence = sacnSequence[0];
        end.options = 0x40;
        end.data = Bytes(kChannels, 0x55);
        w.Write(test::UdpFrame(test::SacnData(end), test::SacnUdp(1)), 4000000);
    }
    w.Close();
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("show.pcap")));
    ASSERT_TRUE(rig.Parse());
    auto log = rig.host.LogLines();
    EXPECT_TRUE(Contains(log, "Parse to 4 Universes"));
    // An sACN source is named by its name and address.
    EXPECT_TRUE(
        Contains(log, sacn ? "sACN (E1.31) from Quorvex test (10.0.0.1): sACN universe N "
                             "is recorded as universe N - 1 (the sACN offset)."
                           : "Art-Net from 10.0.0.1 without sequence numbers (Sequence 0)."));
    EXPECT_TRUE(sync ? Contains(log, sacn ? "Frames end at its synchronization packets (address 1)."
                                          : "Frames end at its ArtSync packets.")
                     : Contains(log,
                                "Frames end where its universes start over in the order it "
                                "sends them."));
    rig.host.AnswerSaveAs(rig.dir.File("show.RGB"));
    rig.frames = 1000;
    ASSERT_TRUE(rig.RecordToEnd());
    const Recording r = ReadRecording(rig.dir.File("show.RGB"));
    ASSERT_EQ(r.frames.size(), static_cast<size_t>(kFrames));
    for (int f = 1; f <= kFrames; ++f) {
        Bytes expected;
        for (const int u : universes) {
            const int sent = u == 3 && f >= 10 && f <= 13           ? 9
                             : sacn && u == 2 && f >= 70 && f <= 71 ? 69
                                                                    : f;
            const Bytes d = test::ShowData(sent, u, kChannels);
            expected.insert(expected.end(), d.begin(), d.end());
        }
        EXPECT_EQ(r.frames[static_cast<size_t>(f - 1)], expected) << "frame " << f;
    }
    log = rig.host.LogLines();
    EXPECT_EQ(CountOf(log, sacn ? "Universe 0 also arrives as Art-Net; only sACN, found by Parse, "
                                  "is recorded."
                                : "Universe 0 also arrives as sACN; only Art-Net, found by Parse, "
                                  "is recorded."),
              1u);
    EXPECT_EQ(CountOf(log,
                      "Universe 0 from Quorvex test (10.0.0.1) ended its sACN stream; its data is "
                      "not recorded until it sends again."),
              sacn ? 1u : 0u);
    const std::string check = LineStartingWith(log, "Recording check:");
    EXPECT_NE(check.find(sacn ? ", 0 frames missing upstream, 6 incomplete frames,"
                              : ", 0 frames missing upstream, 4 incomplete frames,"),
              std::string::npos)
        << check;
}

INSTANTIATE_TEST_SUITE_P(Senders, UnsequencedShows,
                         testing::Values(Unsequenced{true, false}, Unsequenced{true, true},
                                         Unsequenced{false, false}, Unsequenced{false, true}),
                         [](const auto& info) {
                             return std::string(info.param.sacn ? "Sacn" : "ArtNet") +
                                    (info.param.sync ? "WithSync" : "Bursts");
                         });

// The start trigger holds frames back until one fires it; the first recorded frame is that one.
// Channel 1 of universe 5 in frame f is (5 f + 85) mod 256: 130 in frame 9, 4 in frame 35.
TEST(Recording, StartTriggerDurationAndRelease) {
    Rig rig;
    ASSERT_TRUE(rig.SurveyShow(Plan(80, 16)));
    const auto record = [&](const std::string& name) {
        rig.host.AnswerSaveAs(rig.dir.File(name));
        EXPECT_TRUE(rig.RecordToEnd());
        return ReadRecording(rig.dir.File(name));
    };
    const auto firstFrameIs = [&](const Recording& r, int first, size_t count) {
        ASSERT_EQ(r.frames.size(), count);
        for (size_t i = 0; i < count; ++i) {
            EXPECT_EQ(r.frames[i], test::ShowFrame(first + static_cast<int>(i), kSix, 16)) << i;
        }
    };
    const StartTrigger channel{StartTrigger::Kind::Channel, 5, 1, 128, false};

    rig.settings.start = channel;
    rig.frames = 10;
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("show.pcap")) && rig.Parse());
    firstFrameIs(record("trigger.RGB"), 9, 10);  // up to Capture Frames
    const auto log = rig.host.LogLines();
    EXPECT_TRUE(Contains(log,
                         "Start trigger armed: the recording begins with the first frame with "
                         "universe 5 channel 1 >= 128."));
    EXPECT_TRUE(Contains(log, "Start trigger fired: recording from this frame on."));

    // Released: frames 9..34, the frame that falls below the value is not recorded.
    rig.settings.start.stopWhenReleased = true;
    rig.frames = 1000;
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("show.pcap")) && rig.Parse());
    firstFrameIs(record("released.RGB"), 9, 26);

    // A duration counts recorded show time by packet timestamps: 0.5 s at 40 frames/s.
    rig.settings.start = {};
    rig.settings.durationSeconds = 0.5;
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("show.pcap")) && rig.Parse());
    firstFrameIs(record("half.RGB"), 1, 20);
    EXPECT_TRUE(Contains(rig.host.LogLines(),
                         "The recording ends after 00:00 of show time, or at 1000 frames."));

    // A channel Parse did not find is refused before anything is written.
    rig.settings.durationSeconds = 0;
    rig.settings.start = {StartTrigger::Kind::Channel, 7, 1, 1, false};
    rig.Capture();
    EXPECT_EQ(rig.host.Alerts().back(),
              "The start trigger watches universe 7, which Parse did not find.");
    EXPECT_EQ(rig.Status().phase, Phase::Idle);
    EXPECT_EQ(rig.host.Alerts().size(), 1u);
}

// First light: the show is dark until frame 12.
TEST(Recording, FirstLightStartsWithTheFirstFrameThatIsNotDark) {
    Rig rig;
    test::PcapWriter w(rig.dir.File("dark.pcap"));
    for (int f = 1; f <= 30; ++f) {
        for (int u : {0, 1}) {
            const Bytes data = f < 12 ? Bytes(8, 0) : test::ShowData(f, u, 8);
            w.Write(test::UdpFrame(test::ArtDmx(u, test::SequenceOf(f), data)),
                    1000000 + static_cast<uint64_t>(f) * 25000);
        }
    }
    w.Close();
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("dark.pcap")));
    ASSERT_TRUE(rig.Parse());
    rig.settings.start.kind = StartTrigger::Kind::FirstLight;
    rig.host.AnswerSaveAs(rig.dir.File("light.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    const Recording r = ReadRecording(rig.dir.File("light.RGB"));
    ASSERT_EQ(r.frames.size(), 19u);  // 12..30
    EXPECT_EQ(r.frames[0], test::ShowFrame(12, {0, 1}, 8));
    EXPECT_EQ(r.frames[17], test::ShowFrame(29, {0, 1}, 8));
}

TEST(Recording, UniverseMissingFromTheSurveyIsNotRecordedAndToldOnce) {
    Rig rig;
    test::PcapWriter w(rig.dir.File("late.pcap"));
    uint64_t ts = 1000000;
    for (int f = 1; f <= 80; ++f, ts += 25000) {
        for (int u : {0, 2}) {
            w.Write(test::UdpFrame(test::ArtDmx(u, test::SequenceOf(f), test::ShowData(f, u, 8))),
                    ts);
        }
        // Universe 1 shows up only after the survey's 1.5 s, and longer than anything surveyed.
        if (f >= 65) {
            w.Write(test::UdpFrame(test::ArtDmx(1, test::SequenceOf(f), Bytes(300, 0xEE))), ts);
        }
    }
    w.Close();
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("late.pcap")));
    ASSERT_TRUE(rig.Parse());
    rig.host.AnswerSaveAs(rig.dir.File("late.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    const Recording r = ReadRecording(rig.dir.File("late.RGB"));
    ASSERT_EQ(r.frames.size(), 80u);
    for (size_t i = 0; i < r.frames.size(); ++i) {
        EXPECT_EQ(r.frames[i], test::ShowFrame(static_cast<int>(i) + 1, {0, 2}, 8));
    }
    EXPECT_EQ(CountOf(rig.host.LogLines(),
                      "Universe 1 was not found by Parse; its data is not recorded."),
              1u);
    // The check counts it too: the recording is not the whole show.
    EXPECT_NE(LineStartingWith(rig.host.LogLines(), "Recording check:")
                  .find("1 universes arrived that Parse did not find"),
              std::string::npos);
}

TEST(Recording, CancelKeepsAWholeTempFileAndTheSceneNumber) {
    Rig rig;
    test::ShowPlan show = Plan(20, 16);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.frames = 10;
    rig.host.AnswerSaveAs(std::nullopt);
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_EQ(rig.Status().sceneNumber, 1);
    const Recording r = ReadRecording(rig.WorkingFile());
    EXPECT_EQ(r.header.frameCount, 10);
    EXPECT_EQ(r.frames.size(), 10u);
    EXPECT_EQ(rig.Status().framesWritten, 0u);
    EXPECT_EQ(rig.Status().framesCompleted, 0u);
}

TEST(Recording, FailedMoveSaysWhereTheRecordingWasKept) {
    Rig rig;
    test::ShowPlan show = Plan(12, 16);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.host.AnswerSaveAs(rig.dir.File("no/such/folder/show.rgb"));
    ASSERT_TRUE(rig.RecordToEnd());
    const auto boxes = rig.host.Alerts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("It was kept as \"temp.RGB\": " + rig.WorkingFile()), std::string::npos)
        << boxes[0];
    EXPECT_EQ(rig.Status().sceneNumber, 1);
    const Recording r = ReadRecording(rig.WorkingFile());
    EXPECT_EQ(r.header.frameCount, r.frames.size());
    EXPECT_GT(r.frames.size(), 0u);
}

TEST(Recording, FailedFrameWriteEndsTheRecordingAndKeepsWhatWasWritten) {
    // The file may not grow past the header, three frames of 64 bytes and 20 bytes of a
    // fourth: the write stops inside a frame, whose part must not stay.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = RgbHeaderLength(1) + 3 * 64 + 20;
    Rig rig;
    test::ShowPlan show = Plan(30, 64, {0});
    ASSERT_TRUE(rig.SurveyShow(show));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    rig.host.AnswerSaveAs(std::nullopt);
    const bool finished = rig.RecordToEnd();
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(finished);
    EXPECT_TRUE(AnyStartsWith(rig.host.LogLines(), "Writing the recording failed: File too large"));
    const Recording r = ReadRecording(rig.WorkingFile());
    EXPECT_EQ(r.header.frameCount, 3);
    ASSERT_EQ(r.frames.size(), 3u);
    EXPECT_EQ(r.trailing, 0u);
    EXPECT_EQ(r.frames[2], test::ShowFrame(3, {0}, 64));
}

// ---- Working-file safety ----

TEST(WorkingFile, APlantedLinkOrSpecialFileIsRefusedAndNeverWrittenThrough) {
    Rig rig;
    ASSERT_TRUE(rig.SurveyShow(Plan(30, 8)));
    std::filesystem::create_directories(rig.dir.File("rec"));
    const std::string working = rig.dir.File("rec/temp.RGB");
    { std::ofstream(rig.dir.File("victim")) << "precious"; }
    std::filesystem::create_symlink(rig.dir.File("victim"), working);
    rig.Capture();
    ASSERT_FALSE(rig.host.Alerts().empty());
    EXPECT_NE(rig.host.Alerts().back().find("is not a regular file"), std::string::npos);
    EXPECT_EQ(rig.Status().phase, Phase::Idle);
    EXPECT_EQ(test::ReadFileBytes(rig.dir.File("victim")),
              Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    EXPECT_TRUE(std::filesystem::is_symlink(working));

    std::filesystem::remove(working);
    ASSERT_EQ(mkfifo(working.c_str(), 0600), 0);
    rig.Capture();
    EXPECT_NE(rig.host.Alerts().back().find("is not a regular file"), std::string::npos);
    EXPECT_EQ(rig.Status().phase, Phase::Idle);
}

TEST(WorkingFile, AnUnsavedRecordingIsMovedAsideNotTruncated) {
    Rig rig;
    ASSERT_TRUE(rig.SurveyShow(Plan(60, 8)));
    rig.frames = 10;
    rig.host.AnswerSaveAs(std::nullopt);  // cancelled: kept as temp.RGB
    ASSERT_TRUE(rig.RecordToEnd());
    // As a crash leaves it: frames on disk, a count of 0, half a frame at the end.
    {
        std::fstream f(rig.WorkingFile(), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(14);
        f.put(0).put(0);
        f.seekp(0, std::ios::end);
        f.write("abc", 3);
    }
    rig.frames = 0;  // even a recording of no frame must not destroy it
    rig.host.AnswerSaveAs(std::nullopt);
    ASSERT_TRUE(rig.RecordToEnd());
    const std::string moved = LineStartingWith(rig.host.LogLines(), "An unsaved recording");
    const std::string prefix = "An unsaved recording of 10 frames was moved aside: ";
    ASSERT_EQ(moved.rfind(prefix, 0), 0u) << moved;
    const std::string path = moved.substr(prefix.size());
    EXPECT_EQ(std::filesystem::path(path).parent_path(), rig.dir.File("rec"));
    EXPECT_EQ(std::filesystem::path(path).filename().string().rfind("Unsaved-", 0), 0u) << path;
    const Recording kept = ReadRecording(path);
    EXPECT_EQ(kept.header.frameCount, 10);
    EXPECT_EQ(kept.frames.size(), 10u);
    EXPECT_EQ(kept.trailing, 0u);
    EXPECT_EQ(kept.frames[0], test::ShowFrame(1, kSix, 8));
}

TEST(WorkingFile, AWorkingFileInUseByAnotherRecordingIsRefused) {
    Rig first;
    ASSERT_TRUE(first.SurveyShow(Plan(400, 8)));
    first.frames = 1000;
    first.Capture();
    ASSERT_EQ(first.Status().phase, Phase::Recording);

    Recorder::Options sameFolder;
    sameFolder.recordingFolder = first.dir.File("rec");
    Rig second(sameFolder);
    ASSERT_TRUE(second.SurveyShow(Plan(60, 8)));
    second.Capture();
    ASSERT_FALSE(second.host.Alerts().empty());
    EXPECT_NE(second.host.Alerts().back().find("Another recording is writing"), std::string::npos)
        << second.host.Alerts().back();
    EXPECT_EQ(second.Status().phase, Phase::Idle);

    first.host.AnswerSaveAs(first.dir.File("first.RGB"));
    ASSERT_TRUE(first.WaitFinished(0));
    const Recording r = ReadRecording(first.dir.File("first.RGB"));
    EXPECT_EQ(r.header.frameCount, r.frames.size());
    for (size_t i = 0; i < r.frames.size(); ++i) {
        ASSERT_EQ(r.frames[i], test::ShowFrame(static_cast<int>(i) + 1, kSix, 8));
    }
}

TEST(WorkingFile, TooManyPortsAreRefusedBeforeAnythingIsWritten) {
    Rig rig;
    ASSERT_TRUE(rig.SurveyShow(Plan(12, 8, {0, 30000})));
    rig.Capture();
    ASSERT_FALSE(rig.host.Alerts().empty());
    EXPECT_EQ(rig.host.Alerts().back(),
              "Universe 30000 at 6 universes per port needs 5001 ports; a recording holds at "
              "most 5000. Choose more universes per port, or keep universe 30000 out of the "
              "show.");
    EXPECT_EQ(rig.Status().phase, Phase::Idle);
    EXPECT_FALSE(std::filesystem::exists(rig.dir.File("rec/temp.RGB")));
    // 5000 ports still fit.
    rig.settings.universesPerPort = 7;
    rig.host.AnswerSaveAs(rig.dir.File("wide.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_EQ(ReadRecording(rig.dir.File("wide.RGB")).header.portCount, 4286);
}

TEST(Commands, RefusalsAndTheirMessages) {
    Rig rig;
    // Capture before any survey surveys first, which needs an adapter.
    rig.Capture();
    EXPECT_EQ(rig.host.Alerts().back(),
              "Please choose a network adapter in the IP address list first！");
    EXPECT_FALSE(rig.Status().workersRunning);
    EXPECT_EQ(rig.Status().phase, Phase::Idle);

    // Parse with no adapter selected and nothing open starts no worker.
    rig.rec->Parse();
    EXPECT_EQ(rig.host.Alerts().back(),
              "Please choose a network adapter in the IP address list first！");
    EXPECT_FALSE(rig.Status().workersRunning);
    EXPECT_EQ(rig.Status().phase, Phase::Idle);

    // Pause while idle: flag, log line, buttons; Stop then does nothing.
    rig.rec->Pause();
    EXPECT_EQ(rig.Status().paused, true);
    EXPECT_EQ(rig.host.LogLines().back(), "Paused......");
    EXPECT_FALSE(rig.host.Buttons().parse);
    EXPECT_TRUE(rig.host.Buttons().capture);
    rig.rec->Stop();
    EXPECT_FALSE(rig.host.TicksOn());
}

// Capture before Parse surveys first, as quorvex-cli record does, and records once the
// universes are known, without a message box.
TEST(Commands, CaptureBeforeParseSurveysFirst) {
    Rig rig;
    test::WriteShow(rig.dir.File("show.pcap"), Plan(30, 64));
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("show.pcap")));
    rig.host.AnswerSaveAs(rig.dir.File("first.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_TRUE(rig.host.Alerts().empty());
    const auto log = rig.host.LogLines();
    const auto at = [&](const std::string& line) {
        return std::find(log.begin(), log.end(), line) - log.begin();
    };
    EXPECT_LT(at("No survey yet: Parse runs first, and the recording starts as soon as it has "
                 "found the universes."),
              at("Parse to 6 Universes"));
    EXPECT_LT(at("Parse to 6 Universes"), at("Start capture......"));
    EXPECT_LT(at("Start capture......"), static_cast<std::ptrdiff_t>(log.size()));
    EXPECT_EQ(ReadRecording(rig.dir.File("first.RGB")).frames.size(), 30u);
    // The notes beside it; a setting keeps them in the recording folder instead.
    EXPECT_TRUE(std::filesystem::exists(rig.dir.File("first.RGB.json")));
    rig.settings.notesInRecordingFolder = true;
    rig.host.AnswerSaveAs(rig.dir.File("second.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_TRUE(std::filesystem::exists(rig.dir.File("rec/second.RGB.json")));
    EXPECT_FALSE(std::filesystem::exists(rig.dir.File("second.RGB.json")));
}

// A cancelled Save As says where the recording is; it can be saved later, with its notes,
// until the next Capture moves it aside. Save As offers only names that are free.
TEST(Commands, AnUnsavedRecordingIsSavedLaterUnderAFreeName) {
    Rig rig;
    ASSERT_TRUE(rig.SurveyShow(Plan(12, 16)));
    std::filesystem::create_directories(rig.dir.File("rec"));
    for (const char* taken : {"rec/Sc-01-01.RGB", "rec/Sc-02-01.RGB"}) {
        std::ofstream(rig.dir.File(taken)) << "x";
    }
    rig.host.AnswerSaveAs(std::nullopt);
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_EQ(rig.host.SaveAsDefaults().back(), "Sc-03-01.RGB");
    const std::string working = rig.dir.File("rec/temp.RGB");
    EXPECT_TRUE(
        Contains(rig.host.LogLines(), "The recording was not saved: its 12 frames are kept in " +
                                          working + " until the next Capture moves them aside."));
    const auto kept = rig.rec->KeptRecording();
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->frames, 12u);
    EXPECT_EQ(kept->path, working);

    const auto saved = rig.rec->SaveKeptRecording(rig.dir.File("later.rgb"));
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_EQ(*saved, rig.dir.File("later.RGB"));
    EXPECT_TRUE(Contains(rig.host.LogLines(), "Saved: " + rig.dir.File("later.RGB")));
    EXPECT_EQ(ReadRecording(*saved).frames.size(), 12u);
    const auto notes = ReadNotes(*saved);
    ASSERT_TRUE(notes && *notes);
    EXPECT_EQ((*notes)->check.framesWritten, 12u);
    EXPECT_FALSE(rig.rec->KeptRecording());
    EXPECT_FALSE(rig.rec->SaveKeptRecording(rig.dir.File("again.RGB")));
    EXPECT_FALSE(std::filesystem::exists(rig.dir.File("again.RGB")));
    EXPECT_EQ(rig.Status().sceneNumber, 2);
}

// A show on universes 100-102 lands on port 1 when 100 is the first universe, or 100-102 the
// list, byte for byte as the same show on 0-2; a universe outside them is told once and not
// recorded. The notes say which universe fills which port.
TEST(Commands, AShowOnUniverses100To102LandsOnPortOne) {
    Rig low;
    ASSERT_TRUE(low.SurveyShow(Plan(20, 512, {0, 1, 2})));
    low.host.AnswerSaveAs(low.dir.File("low.RGB"));
    ASSERT_TRUE(low.RecordToEnd());
    const Bytes expected = test::ReadFileBytes(low.dir.File("low.RGB"));
    ASSERT_EQ(ReadRecording(low.dir.File("low.RGB")).header.portCount, 1);

    for (const UniverseSelection& selection :
         {UniverseSelection{100, {}}, UniverseSelection{0, {100, 101, 102}}}) {
        Rig rig;
        rig.settings.selection = selection;
        test::ShowPlan show = Plan(20, 512, {0, 1, 2, 9});
        show.sentAs = {100, 101, 102, 7};
        ASSERT_TRUE(rig.SurveyShow(show));
        rig.host.AnswerSaveAs(rig.dir.File("high.RGB"));
        ASSERT_TRUE(rig.RecordToEnd());
        EXPECT_EQ(test::ReadFileBytes(rig.dir.File("high.RGB")), expected);
        const auto log = rig.host.LogLines();
        EXPECT_TRUE(Contains(log,
                             "Not recorded, as they are outside the universes chosen: "
                             "universes 7."));
        EXPECT_TRUE(Contains(log, "Port 1: universes 100-102, 1536 bytes."));
        EXPECT_EQ(CountOf(log, "Universe 7 was not found by Parse; its data is not recorded."), 1u);
        EXPECT_EQ(rig.Status().lastSummary.incompleteFrames, 0u);
        const auto notes = ReadNotes(rig.dir.File("high.RGB"));
        ASSERT_TRUE(notes && *notes);
        ASSERT_EQ((*notes)->universes.size(), 3u);
        for (const NotesUniverse& u : (*notes)->universes) EXPECT_EQ(u.port, 1);
        EXPECT_EQ((*notes)->ports, 1);
        EXPECT_EQ((*notes)->firstUniverse, selection.list.empty() ? 100 : 0);
        EXPECT_EQ((*notes)->selectedUniverses, selection.list.empty() ? "" : "100-102");
    }

    // Chosen universes the show does not send: refused before anything is recorded.
    Rig none;
    none.settings.selection = UniverseSelection{0, {200, 201}};
    ASSERT_TRUE(none.SurveyShow(Plan(5, 8, {0, 1})));
    none.Capture();
    ASSERT_FALSE(none.host.Alerts().empty());
    EXPECT_EQ(none.host.Alerts().back(),
              "None of the universes found by Parse (0-1) is among the universes chosen "
              "(200-201).");
    EXPECT_EQ(none.Status().phase, Phase::Idle);
}

TEST(Commands, UniversesPerPortTypedByTheUser) {
    Rig rig;
    test::ShowPlan show = Plan(12, 8, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    test::WriteShow(rig.dir.File("show.pcap"), show);
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("show.pcap")));

    rig.settings.universesPerPort = 4;
    ASSERT_TRUE(rig.Parse());
    EXPECT_TRUE(AnyStartsWith(rig.host.LogLines(),
                              "The current setting is that each port carries 4 universes，The "
                              "capture file will be set to 3 ports."));

    rig.settings.universesPerPort = 0;  // the user typed "nine"
    ASSERT_TRUE(rig.Parse());
    EXPECT_EQ(rig.host.Alerts().back(), kUniversesPerPortText);
    const size_t boxes = rig.host.Alerts().size();
    rig.Capture();
    EXPECT_EQ(rig.host.Alerts().size(), boxes + 1);
    EXPECT_EQ(rig.host.Alerts().back(), kUniversesPerPortText);
    EXPECT_FALSE(rig.Status().workersRunning);
    EXPECT_EQ(rig.Status().phase, Phase::Idle);

    // Changed after Parse: the log tells the layout the file really gets.
    rig.settings.universesPerPort = 2;
    rig.host.AnswerSaveAs(rig.dir.File("two.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    const auto log = rig.host.LogLines();
    EXPECT_TRUE(Contains(log, "Layout in use: 2 universes per port, 5 ports, 72 bytes per frame."));
    EXPECT_TRUE(Contains(log, "Port 1: universes 0-1, 16 bytes."));
    EXPECT_TRUE(Contains(log, "Port 5: universes 8, 8 bytes."));
    EXPECT_EQ(ReadRecording(rig.dir.File("two.RGB")).header.portCount, 5);
}

TEST(Commands, PausedRecordingResumesEvenWhenCaptureFramesHoldsNoNumber) {
    Rig rig;
    ASSERT_TRUE(rig.SurveyShow(Plan(40, 8)));
    rig.frames = 30;
    rig.Capture();
    rig.rec->Pause();
    EXPECT_EQ(rig.Status().phase, Phase::Paused);
    EXPECT_EQ(rig.host.Buttons(), (ButtonStates{false, true, false, true}));
    rig.frames = std::nullopt;
    rig.Capture();
    EXPECT_EQ(rig.Status().phase, Phase::Recording);
    EXPECT_EQ(rig.Status().maxFrames, 30u);
    EXPECT_EQ(rig.host.Buttons(), (ButtonStates{false, false, true, true}));
    rig.host.AnswerSaveAs(std::nullopt);
    ASSERT_TRUE(rig.WaitFinished(0));
}

TEST(Commands, NonNumericCaptureFramesKeepsTheOldValueAndStartsNothing) {
    Rig rig;
    test::ShowPlan show = Plan(12, 8);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.frames = std::nullopt;
    rig.Capture();
    EXPECT_EQ(rig.Status().maxFrames, 200u);
    EXPECT_TRUE(rig.host.Alerts().empty());  // the front-end told the user
    EXPECT_EQ(rig.Status().phase, Phase::Idle);
    EXPECT_FALSE(rig.Status().workersRunning);
}

TEST(Commands, SecondRecordingWithoutNewSurveyAndHaltedRestart) {
    Rig rig;
    test::ShowPlan show = Plan(60, 16, {1, 3});
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.frames = 5;
    rig.host.AnswerSaveAs(rig.dir.File("one.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    rig.host.AnswerSaveAs(rig.dir.File("two.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_EQ(rig.host.SaveAsDefaults().back(), "Sc-02-01.RGB");
    const Recording one = ReadRecording(rig.dir.File("one.RGB"));
    const Recording two = ReadRecording(rig.dir.File("two.RGB"));
    ASSERT_EQ(one.frames.size(), 5u);
    ASSERT_EQ(two.frames.size(), 5u);
    // Each recording of a capture file starts at its first whole frame.
    EXPECT_EQ(one.frames[0], test::ShowFrame(1, {1, 3}, 16));
    EXPECT_EQ(two.frames[0], test::ShowFrame(1, {1, 3}, 16));
    EXPECT_EQ(two.header.portCount, 1);
}

TEST(Commands, RecordingFolderFallsBackWhenBesideTheProgramIsNotUsable) {
    const std::string beside = ExecutableFolder() + "/RGBFiles";
    std::error_code ec;
    if (std::filesystem::exists(beside, ec)) GTEST_SKIP() << beside << " already exists";
    test::TempDir home;
    setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    {
        // A file named RGBFiles stands where the folder would go.
        std::ofstream(beside) << "x";
        EXPECT_EQ(RecordingFolder(), home.path() + "/Quorvex/RGBFiles");
        std::filesystem::remove(beside, ec);
    }
    EXPECT_EQ(RecordingFolder(), beside);
    EXPECT_TRUE(std::filesystem::is_directory(beside));
    std::filesystem::remove_all(beside, ec);
    unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace quorvex
