// Recordings of live Art-Net traffic on the loopback device.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "capture/art_packet.h"
#include "recording/rgb_format.h"
#include "tests/support/fake_recorder_host.h"
#include "tests/support/loopback_sender.h"
#include "tests/support/net_isolation.h"
#include "tests/support/recordings.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;

class LiveRecording : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        if (!test::IsolateNetwork(&why)) GTEST_SKIP() << "live capture needs root: " << why;
        OpenLoopback({});
    }

    // A fresh recorder with the loopback device chosen.
    void OpenLoopback(const Recorder::Options& options) {
        rig.reset();
        rig = std::make_unique<test::RecorderRig>(options);
        rig->rec->ListAdapters();
        const auto devices = rig->host.Adapters();
        const auto lo = std::find_if(devices.begin(), devices.end(),
                                     [](const DeviceEntry& d) { return d.name == "lo"; });
        ASSERT_NE(lo, devices.end());
        rig->rec->ChooseAdapter(static_cast<int>(lo - devices.begin()));
        ASSERT_TRUE(rig->Status().sourceOpen);
    }

    bool Finished() const { return !rig->host.SaveAsDefaults().empty(); }
    bool Logged(const std::string& line) const {
        const auto log = rig->host.LogLines();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    void Wait(std::chrono::milliseconds time) {
        const auto until = std::chrono::steady_clock::now() + time;
        rig->host.PumpUntil([&] { return std::chrono::steady_clock::now() >= until; });
    }
    std::vector<int> FramesIn(const std::string& path, const std::vector<int>& universes,
                              int channels, int lastSent, uint16_t* count) {
        const test::Recording r = test::ReadRecording(path);
        *count = r.header.frameCount;
        return test::ShowFramesIn(r, universes, channels, lastSent);
    }

    std::unique_ptr<test::RecorderRig> rig;
};

const std::vector<int> kSix{0, 1, 2, 3, 4, 5};

TEST_F(LiveRecording, HundredFramesAreExactlyConsecutiveSentFrames) {
    test::ShowSender sender(kSix, 512);
    ASSERT_TRUE(rig->Parse());
    EXPECT_EQ(rig->host.LogLines().front(), "Waiting for Art-Net or sACN on lo\u2026");
    EXPECT_EQ(rig->host.LogLines().at(1), "Parse to 6 Universes");
    rig->frames = 100;
    rig->host.AnswerSaveAs(rig->dir.File("live.RGB"));
    rig->Capture();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return Finished(); }, std::chrono::seconds(60)));
    sender.Stop();
    uint16_t count = 0;
    const auto frames = FramesIn(rig->dir.File("live.RGB"), kSix, 512, sender.FramesSent(), &count);
    EXPECT_EQ(count, 100);
    ASSERT_EQ(frames.size(), 100u);
    ASSERT_GT(frames[0], 0);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], frames[0] + static_cast<int>(i)) << "frame " << i;
    }
    const auto log = rig->host.LogLines();
    const auto check = std::find_if(log.begin(), log.end(), [](const std::string& l) {
        return l.rfind("Recording check: 100 frames written", 0) == 0;
    });
    ASSERT_NE(check, log.end());
    EXPECT_NE(check->find("packets dropped by the kernel"), std::string::npos) << *check;
}

TEST_F(LiveRecording, PauseResumeAndStopKeepWholeFrames) {
    test::ShowSender sender({0, 1}, 64);
    ASSERT_TRUE(rig->Parse());
    rig->frames = 100000;
    rig->host.AnswerSaveAs(rig->dir.File("paused.RGB"));
    rig->Capture();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return rig->Status().framesWritten >= 5; }));
    rig->rec->Pause();
    EXPECT_FALSE(rig->host.Buttons().pause);
    EXPECT_TRUE(rig->host.Buttons().capture);
    const int pausedAt = sender.FramesSent();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return sender.FramesSent() >= pausedAt + 8; }));
    const uint32_t countWhilePaused = rig->Status().framesCompleted;
    rig->Capture();  // resume
    EXPECT_TRUE(rig->host.Buttons().pause);
    ASSERT_TRUE(
        rig->host.PumpUntil([&] { return rig->Status().framesWritten >= countWhilePaused + 5; }));
    rig->rec->Stop();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return Finished(); }, std::chrono::seconds(10)));
    sender.Stop();

    uint16_t count = 0;
    const auto frames =
        FramesIn(rig->dir.File("paused.RGB"), {0, 1}, 64, sender.FramesSent(), &count);
    EXPECT_EQ(count, frames.size());
    ASSERT_GE(frames.size(), 10u);
    // Every frame is a whole sent frame; they only move forward; the pause left a gap.
    int gaps = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_GT(frames[i], 0) << "frame " << i << " is mixed";
        if (i > 0) {
            EXPECT_GT(frames[i], frames[i - 1]);
            if (frames[i] > frames[i - 1] + 1) ++gaps;
        }
    }
    EXPECT_EQ(gaps, 1);
    const auto log = rig->host.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Stopped！"), 1);
}

TEST_F(LiveRecording, StopEndsTheRecordingWhenTrafficStopsOrNeverAdvances) {
    {
        test::ShowSender sender(kSix, 16);
        ASSERT_TRUE(rig->Parse());
    }
    for (const bool frozen : {false, true}) {
        SCOPED_TRACE(frozen ? "sequence never changes" : "no traffic");
        std::unique_ptr<test::ShowSender> sender;
        if (frozen) sender = std::make_unique<test::ShowSender>(kSix, 16, true);
        const size_t asked = rig->host.SaveAsDefaults().size();
        rig->host.AnswerSaveAs(rig->dir.File(frozen ? "frozen.RGB" : "silent.RGB"));
        rig->Capture();
        ASSERT_EQ(rig->Status().phase, Phase::Recording);
        rig->rec->Stop();
        ASSERT_TRUE(rig->host.PumpUntil([&] { return rig->host.SaveAsDefaults().size() > asked; },
                                        std::chrono::seconds(10)));
        EXPECT_EQ(rig->host.LogLines().back().rfind("Saved: ", 0), 0u)
            << rig->host.LogLines().back();
        const Bytes bytes =
            test::ReadFileBytes(rig->dir.File(frozen ? "frozen.RGB" : "silent.RGB"));
        EXPECT_EQ(bytes.size(), RgbHeaderLength(1));
    }
}

// Two seconds without a frame are told once, and so is their end (the rule, pauses included,
// on a clock of the test's own: SilenceWatch in recorder_control_test).
TEST_F(LiveRecording, SilenceIsToldOnceAndSoIsItsEnd) {
    const std::string silent = "No frame for 2 s: is the show still sending to lo?";
    const std::string again = "Frames arrive again.";
    const auto count = [&](const std::string& line) {
        const auto log = rig->host.LogLines();
        return std::count(log.begin(), log.end(), line);
    };
    auto sender = std::make_unique<test::ShowSender>(kSix, 16);
    ASSERT_TRUE(rig->Parse());
    rig->frames = 100000;
    rig->host.AnswerSaveAs(rig->dir.File("silence.RGB"));
    rig->Capture();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return rig->Status().framesWritten >= 3; }));
    sender.reset();
    // Paused and resumed without traffic: the watch starts again from the resume.
    rig->rec->Pause();
    rig->Capture();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return count(silent) > 0; }));
    sender = std::make_unique<test::ShowSender>(kSix, 16);
    ASSERT_TRUE(rig->host.PumpUntil([&] { return count(again) > 0; }));
    rig->rec->Stop();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return Finished(); }, std::chrono::seconds(10)));
    EXPECT_EQ(count(silent), 1);
    EXPECT_EQ(count(again), 1);
}

// Parse says what it waits for and, when no whole frame comes, what arrives instead; then it
// goes on waiting.
TEST_F(LiveRecording, ParseTellsWhatItWaitsForAndWhatArrivesInstead) {
    const std::pair<const char*, std::string> cases[] = {
        {"nothing",
         "Nothing arrives on lo: no packet in 0.2 s. Check the cable, and that the show "
         "sends to this network."},
        {"poll", "Packets arrive on lo, but no Art-Net ArtDmx among them in 0.2 s."},
    };
    Recorder::Options quick;
    quick.surveyHintMs = 200;
    for (const auto& [traffic, hint] : cases) {
        SCOPED_TRACE(traffic);
        OpenLoopback(quick);
        std::atomic<bool> sending{true};
        std::thread sender([&, kind = std::string(traffic)] {
            test::LoopbackSocket socket;
            while (sending) {
                if (kind == "poll") socket.Send(test::ArtPoll());
                if (kind == "unnumbered") socket.SendArtDmx(3, 0, Bytes(8, 1));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        rig->rec->Parse();
        const bool told = rig->host.PumpUntil([&] { return Logged(hint); });
        sending = false;
        sender.join();
        ASSERT_TRUE(told);
        EXPECT_EQ(rig->host.LogLines().front(), "Waiting for Art-Net or sACN on lo\u2026");
    }
    // A show that numbers nothing is surveyed as any other, without a hint.
    std::atomic<bool> sending{true};
    std::thread unnumbered([&] {
        test::LoopbackSocket socket;
        for (uint8_t v = 0; sending; ++v) {
            socket.SendArtDmx(3, 0, Bytes(8, v));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    ASSERT_TRUE(rig->host.PumpUntil([&] { return !rig->host.Surveys().empty(); }));
    sending = false;
    unnumbered.join();
    EXPECT_TRUE(Logged("Parse to 1 Universes"));
    const auto lines = rig->host.LogLines();
    EXPECT_FALSE(std::any_of(lines.begin(), lines.end(),
                             [](const std::string& l) { return l.find("ArtDmx arrives") == 0; }));
    test::ShowSender show({0, 1}, 8);
    rig->rec->Parse();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return rig->host.Surveys().size() == 2; }));
    EXPECT_TRUE(Logged("Parse to 2 Universes"));
}

// An adapter that goes away ends what reads it with the reason; once it is back, picking it
// again opens it afresh rather than keeping the dead one.
TEST_F(LiveRecording, AnAdapterThatCameBackOpensAfreshWhenPickedAgain) {
    const auto addLink = [] {
        // Sent to a neighbour of its own out of one end, Art-Net arrives at the other.
        return std::system(
                   "ip link add qvr0 type veth peer name qvr1 && ip link set qvr0 up && "
                   "ip link set qvr1 up && ip addr add 10.98.0.1/24 dev qvr1 && "
                   "ip neigh add 10.98.0.9 lladdr 02:00:00:00:00:09 dev qvr1") == 0;
    };
    // Refresh, then a click on its line, as in the window.
    const auto pick = [this] {
        rig->rec->ListAdapters();
        const auto devices = rig->host.Adapters();
        const auto it = std::find_if(devices.begin(), devices.end(),
                                     [](const DeviceEntry& d) { return d.name == "qvr0"; });
        ASSERT_NE(it, devices.end());
        rig->rec->ChooseAdapter(static_cast<int>(it - devices.begin()));
        ASSERT_EQ(rig->Status().adapterName, "qvr0");
    };
    ASSERT_TRUE(addLink());
    pick();
    ASSERT_EQ(std::system("ip link del qvr0"), 0);
    ASSERT_TRUE(rig->Parse());
    EXPECT_EQ(rig->host.Surveys().back().universes, 0u);
    EXPECT_TRUE(Logged("Capture error: The interface disappeared"));

    ASSERT_TRUE(addLink());
    pick();
    test::ShowSender::Plan plan;
    plan.universes = {0, 1};
    plan.channels = 16;
    plan.to = 0x0A620009;  // 10.98.0.9
    test::ShowSender show(plan);
    ASSERT_TRUE(rig->Parse());
    EXPECT_EQ(rig->host.Surveys().back().universes, 2u);
    std::system("ip link del qvr0");
}

// The live input view follows the chosen adapter before Parse, and during a recording; each
// universe and sender is a row of its own, with its own rate.
TEST_F(LiveRecording, InputViewShowsEachUniverseAndSenderFromTheStart) {
    test::ShowSender fast({0, 1}, 16);  // 40 frames a second from 127.0.0.1
    test::ShowSender::Plan plan;
    plan.universes = {7};
    plan.channels = 8;
    plan.periodMs = 100;
    plan.from = 0x7F000002;
    auto slow = std::make_unique<test::ShowSender>(plan);
    const auto packetsOf = [&](int universe) {
        for (const InputCounters& c : rig->rec->Monitor().Read()) {
            if (c.universe == universe) return c.packets;
        }
        return uint64_t{0};
    };
    ASSERT_TRUE(rig->host.PumpUntil([&] { return rig->rec->Monitor().Read().size() == 3; }));
    InputRates rates;
    rates.Sample(rig->rec->Monitor().Read(), WallClockUs());
    Wait(std::chrono::milliseconds(1000));
    const auto rows = rates.Sample(rig->rec->Monitor().Read(), WallClockUs());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].universe, 0);
    EXPECT_EQ(Ipv4Text(rows[0].source), "127.0.0.1");
    EXPECT_EQ(rows[0].length, 16);
    EXPECT_EQ(rows[2].universe, 7);
    EXPECT_EQ(Ipv4Text(rows[2].source), "127.0.0.2");
    EXPECT_GT(rows[2].framesPerSecond, 0);
    EXPECT_GT(rows[0].framesPerSecond, rows[2].framesPerSecond);
    EXPECT_GT(rows[1].level, 0);

    slow.reset();  // a second sender would only confuse the survey
    ASSERT_TRUE(rig->Parse());
    rig->frames = 100000;
    rig->Capture();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return rig->Status().framesWritten >= 2; }));
    const uint64_t during = packetsOf(0);
    ASSERT_TRUE(rig->host.PumpUntil([&] { return rig->Status().framesWritten >= 6; }));
    EXPECT_GT(packetsOf(0), during);
    rig->rec->Close();
}

TEST_F(LiveRecording, SecondParseWhileOneRunsIsRefused) {
    rig->rec->Parse();  // no traffic: the survey keeps waiting
    ASSERT_EQ(rig->Status().phase, Phase::Surveying);
    rig->rec->Parse();
    ASSERT_EQ(rig->host.Alerts().size(), 1u);
    EXPECT_EQ(rig->host.Alerts()[0], "Parsing network packets, please wait for the result！");
    rig->Capture();
    EXPECT_EQ(rig->host.Alerts().back(), "Parsing network packets, please start again later！");
    // Closing the window ends the survey too.
    rig->rec->Close();
    EXPECT_FALSE(rig->Status().workersRunning);
    EXPECT_EQ(rig->Status().phase, Phase::Idle);
}

TEST_F(LiveRecording, ClosingDuringARecordingKeepsTempRgbWithoutAPrompt) {
    test::ShowSender sender(kSix, 32);
    ASSERT_TRUE(rig->Parse());
    rig->frames = 100000;
    rig->Capture();
    ASSERT_TRUE(rig->host.PumpUntil([&] { return rig->Status().framesWritten >= 3; }));
    rig->rec->Close();
    sender.Stop();
    EXPECT_TRUE(rig->host.SaveAsDefaults().empty());
    uint16_t count = 0;
    const auto frames = FramesIn(rig->WorkingFile(), kSix, 32, sender.FramesSent(), &count);
    EXPECT_GE(frames.size(), 3u);
    EXPECT_EQ(count, frames.size());
    for (int f : frames) EXPECT_GT(f, 0);
}

}  // namespace
}  // namespace quorvex
