// Whole recordings through the recording logic, driven by the window-services double, over
// capture files whose frame content is a function of the frame number.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/app_paths.h"
#include "recording/quorvex_dlg.h"
#include "recording/rgb_header.h"
#include "tests/support/fake_window_services.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;
using test::FakeWindowServices;

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

struct Recording {
    RgbHeaderInfo header;
    std::vector<Bytes> frames;
    size_t trailing = 0;  // bytes after the last whole frame
};

Recording ReadRecording(const std::string& path) {
    const Bytes bytes = test::ReadFileBytes(path);
    Recording r;
    auto info = ParseRgbHeader(bytes);
    EXPECT_TRUE(info) << path;
    if (!info) return r;
    r.header = *info;
    size_t at = info->headerLength;
    const size_t len = info->frameLength;
    while (len && at + len <= bytes.size()) {
        r.frames.emplace_back(bytes.begin() + static_cast<long>(at),
                              bytes.begin() + static_cast<long>(at + len));
        at += len;
    }
    r.trailing = bytes.size() - at;
    return r;
}

class Rig {
  public:
    explicit Rig(CQuorvexDlg::Options options = {}) {
        if (options.recordingFolder.empty()) options.recordingFolder = dir.File("rec");
        dlg = std::make_unique<CQuorvexDlg>(ui, options);
        ui.SetTarget(dlg.get());
        dlg->OnInitDialog();
    }
    ~Rig() { dlg->OnDestroy(); }

    bool OpenFile(const std::string& path) { return dlg->m_pcap.OpenFile(path); }

    // Writes the show to a capture file, opens it and runs the survey over it.
    bool SurveyShow(const test::ShowPlan& show, const std::string& name = "show.pcap") {
        test::WriteShow(dir.File(name), show);
        return OpenFile(dir.File(name)) && Parse();
    }

    bool Parse() {
        const size_t before = ui.Log().size();
        dlg->OnBnClickedParse();
        return ui.PumpUntil([&] {
            const auto log = ui.Log();
            for (size_t i = before; i < log.size(); ++i) {
                if (log[i].rfind("Parse to ", 0) == 0) return true;
            }
            return false;
        });
    }

    // Presses Capture and runs until the finish step has asked for a name.
    bool RecordToEnd(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        const size_t asked = ui.SaveAsDefaults().size();
        dlg->OnBnClickedCapture();
        return WaitFinished(asked, timeout);
    }
    bool WaitFinished(size_t asked, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        return ui.PumpUntil([&] { return ui.SaveAsDefaults().size() > asked; }, timeout);
    }

    test::TempDir dir;
    FakeWindowServices ui;
    std::unique_ptr<CQuorvexDlg> dlg;
};

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
    const auto log = rig.ui.Log();
    EXPECT_TRUE(Contains(log, "Parse to 6 Universes"));
    EXPECT_TRUE(Contains(log, "Max universe num is:6"));
    EXPECT_TRUE(Contains(log, "The length of each frame is 3072 bytes."));

    rig.ui.AnswerSaveAs(rig.dir.File("show.rgb"));
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_EQ(rig.ui.SaveAsDefaults().front(), "Sc-01-01.RGB");
    EXPECT_EQ(rig.dlg->m_nSceneNo, 2);
    EXPECT_TRUE(rig.ui.MessageBoxes().empty());

    const Recording r = ReadRecording(rig.dir.File("show.RGB"));
    EXPECT_EQ(r.header.frameCount, 200);
    EXPECT_EQ(r.header.frameLength, 3072u);
    EXPECT_EQ(r.header.headerLength, 548u);
    ASSERT_EQ(r.frames.size(), 200u);
    EXPECT_EQ(r.trailing, 0u);
    // The survey uses frames 1-3 of the file; the recording starts at frame 4.
    for (size_t i = 0; i < r.frames.size(); ++i) {
        ASSERT_EQ(r.frames[i], test::ShowFrame(static_cast<int>(i) + 4, kSix, 512))
            << "frame " << i;
    }
    const auto after = rig.ui.Log();
    EXPECT_TRUE(Contains(after, "Start capture......"));
    EXPECT_EQ(CountOf(after, "Stopped！"), 1u);
    EXPECT_EQ(LineStartingWith(after, "Recording check:"),
              "Recording check: 200 frames written in 5.0 s (40.0 frames/s), 0 frames missing "
              "upstream, read from a capture file.");
    EXPECT_TRUE(Contains(after, "Saved: " + rig.dir.File("show.RGB")));
    EXPECT_FALSE(std::filesystem::exists(rig.dlg->WorkingFilePath()));
    EXPECT_EQ(rig.ui.Shown().frameNum, "200");
    // Buttons back to idle.
    EXPECT_TRUE(rig.ui.ButtonEnabled(ButtonId::Parse));
    EXPECT_TRUE(rig.ui.ButtonEnabled(ButtonId::Capture));
    EXPECT_FALSE(rig.ui.ButtonEnabled(ButtonId::Pause));
    EXPECT_FALSE(rig.ui.ButtonEnabled(ButtonId::Stop));
}

TEST(Recording, SlowWriterLosesNoFrame) {
    CQuorvexDlg::Options options;
    options.beforeFrameWrite = [](uint32_t frame) {
        if (frame % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(15));
    };
    Rig rig(options);
    test::ShowPlan show = Plan(70, 64);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.ui.TypeMaxFrames("60");
    rig.ui.AnswerSaveAs(rig.dir.File("slow.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    const Recording r = ReadRecording(rig.dir.File("slow.RGB"));
    EXPECT_EQ(r.header.frameCount, 60);
    ASSERT_EQ(r.frames.size(), 60u);
    for (size_t i = 0; i < r.frames.size(); ++i) {
        ASSERT_EQ(r.frames[i], test::ShowFrame(static_cast<int>(i) + 4, kSix, 64)) << "frame " << i;
    }
}

TEST(Recording, EndOfFileEndsTheRecordingAsStopWouldAndCountsGaps) {
    Rig rig;
    // Frames 1..30 but frames 10 and 11 never made it onto the wire.
    test::PcapWriter w(rig.dir.File("gaps.pcap"));
    uint64_t ts = 1000000;
    for (int f = 1; f <= 30; ++f, ts += 25000) {
        if (f == 10 || f == 11) continue;
        for (int u : {0, 1}) {
            w.Write(test::UdpFrame(test::ArtDmx(u, test::SequenceOf(f), test::ShowData(f, u, 16))),
                    ts);
        }
    }
    w.Close();
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("gaps.pcap")));
    ASSERT_TRUE(rig.Parse());
    rig.ui.AnswerSaveAs(rig.dir.File("gaps.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    // Frames 4..29 complete (frame 30 is in progress at the end), less the two missing.
    const Recording r = ReadRecording(rig.dir.File("gaps.RGB"));
    EXPECT_EQ(r.header.frameCount, 24);
    ASSERT_EQ(r.frames.size(), 24u);
    EXPECT_EQ(r.frames[5], test::ShowFrame(9, {0, 1}, 16));
    EXPECT_EQ(r.frames[6], test::ShowFrame(12, {0, 1}, 16));
    const std::string check = LineStartingWith(rig.ui.Log(), "Recording check:");
    EXPECT_EQ(check.rfind("Recording check: 24 frames written", 0), 0u) << check;
    EXPECT_NE(check.find(", 2 frames missing upstream"), std::string::npos) << check;
}

TEST(Recording, ARecordingStopsAtTheLargestCountTheHeaderHolds) {
    Rig rig;
    test::ShowPlan show = Plan(65545, 1, {0});
    show.fps = 1000;
    ASSERT_TRUE(rig.SurveyShow(show, "long.pcap"));
    rig.ui.TypeMaxFrames("100000");
    rig.ui.AnswerSaveAs(rig.dir.File("long.RGB"));
    ASSERT_TRUE(rig.RecordToEnd(std::chrono::minutes(2)));
    EXPECT_TRUE(
        Contains(rig.ui.Log(), "A recording holds at most 65535 frames; this one stops there."));
    const Recording r = ReadRecording(rig.dir.File("long.RGB"));
    EXPECT_EQ(r.header.frameCount, 65535);
    EXPECT_EQ(r.frames.size(), 65535u);
}

TEST(Recording, FrameLimitZeroGivesAHeaderOnlyFile) {
    Rig rig;
    test::ShowPlan show = Plan(10, 32);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.ui.TypeMaxFrames("0");
    rig.ui.AnswerSaveAs(rig.dir.File("empty.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    const Bytes bytes = test::ReadFileBytes(rig.dir.File("empty.RGB"));
    EXPECT_EQ(bytes.size(), RgbHeaderLength(1));
    EXPECT_EQ(bytes[14], 0);
    EXPECT_EQ(bytes[15], 0);
}

TEST(Recording, UniverseAboveTheTableHaltsUntilStopAndKeepsTheFrames) {
    Rig rig;
    test::PcapWriter w(rig.dir.File("stray.pcap"));
    uint64_t ts = 1000000;
    for (int f = 1; f <= 20; ++f, ts += 25000) {
        for (int u : {0, 1}) {
            w.Write(test::UdpFrame(test::ArtDmx(u, test::SequenceOf(f), test::ShowData(f, u, 8))),
                    ts);
        }
        if (f == 9) w.Write(test::UdpFrame(test::ArtDmx(7, test::SequenceOf(f), Bytes(8, 1))), ts);
    }
    w.Close();
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("stray.pcap")));
    ASSERT_TRUE(rig.Parse());
    rig.dlg->OnBnClickedCapture();
    ASSERT_TRUE(rig.ui.PumpUntil([&] { return !rig.dlg->m_bCapturing; }));
    rig.ui.PumpMessages();
    const auto log = rig.ui.Log();
    const auto it = std::find(log.begin(), log.end(), "Universe num:7, out of range！");
    ASSERT_NE(it, log.end());
    ASSERT_NE(it + 1, log.end());
    EXPECT_EQ(*(it + 1), "Stopped！");
    // Halted: nothing finishes by itself; Stop still lets the user save.
    EXPECT_TRUE(rig.ui.ButtonEnabled(ButtonId::Stop));
    EXPECT_TRUE(rig.ui.SaveAsDefaults().empty());
    rig.ui.AnswerSaveAs(rig.dir.File("halted.RGB"));
    const size_t asked = rig.ui.SaveAsDefaults().size();
    rig.dlg->OnBnClickedStop();
    ASSERT_TRUE(rig.WaitFinished(asked));
    const Recording r = ReadRecording(rig.dir.File("halted.RGB"));
    // Frames 4..8 were complete when frame 9 brought the stray universe.
    EXPECT_EQ(r.header.frameCount, 5);
    ASSERT_EQ(r.frames.size(), 5u);
    EXPECT_EQ(r.frames[4], test::ShowFrame(8, {0, 1}, 8));
}

TEST(Recording, UniverseMissingFromTheSurveyIsNotRecordedAndToldOnce) {
    Rig rig;
    test::PcapWriter w(rig.dir.File("late.pcap"));
    uint64_t ts = 1000000;
    for (int f = 1; f <= 12; ++f, ts += 25000) {
        for (int u : {0, 2}) {
            w.Write(test::UdpFrame(test::ArtDmx(u, test::SequenceOf(f), test::ShowData(f, u, 8))),
                    ts);
        }
        // Universe 1 shows up only after the survey, and longer than anything surveyed.
        if (f >= 5) {
            w.Write(test::UdpFrame(test::ArtDmx(1, test::SequenceOf(f), Bytes(300, 0xEE))), ts);
        }
    }
    w.Close();
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("late.pcap")));
    ASSERT_TRUE(rig.Parse());
    rig.ui.AnswerSaveAs(rig.dir.File("late.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    const Recording r = ReadRecording(rig.dir.File("late.RGB"));
    ASSERT_EQ(r.frames.size(), 8u);
    for (size_t i = 0; i < r.frames.size(); ++i) {
        EXPECT_EQ(r.frames[i], test::ShowFrame(static_cast<int>(i) + 4, {0, 2}, 8));
    }
    EXPECT_EQ(CountOf(rig.ui.Log(), "Universe 1 was not found by Parse; its data is not recorded."),
              1u);
}

TEST(Recording, CancelKeepsAWholeTempFileAndTheSceneNumber) {
    Rig rig;
    test::ShowPlan show = Plan(20, 16);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.ui.TypeMaxFrames("10");
    rig.ui.AnswerSaveAs(std::nullopt);
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_EQ(rig.dlg->m_nSceneNo, 1);
    const Recording r = ReadRecording(rig.dlg->WorkingFilePath());
    EXPECT_EQ(r.header.frameCount, 10);
    EXPECT_EQ(r.frames.size(), 10u);
    EXPECT_EQ(rig.dlg->m_nWrittenFrame, 0u);
    EXPECT_EQ(rig.dlg->m_nFrameCount, 0u);
}

TEST(Recording, FailedMoveSaysWhereTheRecordingWasKept) {
    Rig rig;
    test::ShowPlan show = Plan(12, 16);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.ui.AnswerSaveAs(rig.dir.File("no/such/folder/show.rgb"));
    ASSERT_TRUE(rig.RecordToEnd());
    const auto boxes = rig.ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("It was kept as \"temp.RGB\": " + rig.dlg->WorkingFilePath()),
              std::string::npos)
        << boxes[0];
    EXPECT_EQ(rig.dlg->m_nSceneNo, 1);
    const Recording r = ReadRecording(rig.dlg->WorkingFilePath());
    EXPECT_EQ(r.header.frameCount, r.frames.size());
    EXPECT_GT(r.frames.size(), 0u);
}

TEST(Recording, FailedFrameWriteEndsTheRecordingAndKeepsWhatWasWritten) {
    // The file may not grow past the header and three frames of 64 bytes.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = RgbHeaderLength(1) + 3 * 64;
    Rig rig;
    test::ShowPlan show = Plan(30, 64, {0});
    ASSERT_TRUE(rig.SurveyShow(show));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    rig.ui.AnswerSaveAs(std::nullopt);
    const bool finished = rig.RecordToEnd();
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(finished);
    EXPECT_TRUE(AnyStartsWith(rig.ui.Log(), "Writing the recording failed: File too large"));
    const Recording r = ReadRecording(rig.dlg->WorkingFilePath());
    EXPECT_EQ(r.header.frameCount, 3);
    ASSERT_EQ(r.frames.size(), 3u);
    EXPECT_EQ(r.trailing, 0u);
    EXPECT_EQ(r.frames[2], test::ShowFrame(7, {0}, 64));  // one packet a frame: starts at 5
}

TEST(Commands, RefusalsAndTheirMessages) {
    Rig rig;
    // Capture before any survey.
    rig.dlg->OnBnClickedCapture();
    EXPECT_EQ(rig.ui.MessageBoxes().back(),
              "Please click the parse button first to parse the data packet！");
    EXPECT_FALSE(rig.dlg->WorkersRunning());

    // Parse with no adapter selected and nothing open starts no worker.
    rig.ui.SelectListItem(ListId::Ip, -1);
    rig.dlg->OnBnClickedParse();
    EXPECT_FALSE(rig.dlg->WorkersRunning());
    EXPECT_EQ(rig.dlg->m_bParsing, 0);

    // Pause while idle: flag, log line, buttons; Stop then does nothing.
    rig.dlg->OnBnClickedPause();
    EXPECT_EQ(rig.dlg->m_bPaused, 1);
    EXPECT_EQ(rig.ui.Log().back(), "Paused......");
    EXPECT_FALSE(rig.ui.ButtonEnabled(ButtonId::Parse));
    EXPECT_TRUE(rig.ui.ButtonEnabled(ButtonId::Capture));
    rig.dlg->OnBnClickedStop();
    EXPECT_FALSE(rig.ui.TimerArmed(kTimerFinish));
}

TEST(Commands, UniversesPerPortTypedByTheUser) {
    Rig rig;
    test::ShowPlan show = Plan(12, 8, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    test::WriteShow(rig.dir.File("show.pcap"), show);
    ASSERT_TRUE(rig.OpenFile(rig.dir.File("show.pcap")));

    rig.ui.TypeListText(ListId::Universes, "4");
    ASSERT_TRUE(rig.Parse());
    EXPECT_TRUE(AnyStartsWith(rig.ui.Log(),
                              "The current setting is that each port carries 4 universes，The "
                              "capture file will be set to 3 ports."));

    rig.ui.TypeListText(ListId::Universes, "nine");
    rig.dlg->ReportSurvey();
    EXPECT_EQ(rig.ui.MessageBoxes().back(), kUniversesPerPortText);
    const size_t boxes = rig.ui.MessageBoxes().size();
    rig.dlg->OnBnClickedCapture();
    EXPECT_EQ(rig.ui.MessageBoxes().size(), boxes + 1);
    EXPECT_EQ(rig.ui.MessageBoxes().back(), kUniversesPerPortText);
    EXPECT_FALSE(rig.dlg->WorkersRunning());
    EXPECT_EQ(rig.dlg->m_bCapturing, 0);
}

TEST(Commands, NonNumericCaptureFramesKeepsTheOldValueAndStartsNothing) {
    Rig rig;
    test::ShowPlan show = Plan(12, 8);
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.ui.TypeMaxFrames("12x");
    rig.dlg->OnBnClickedCapture();
    EXPECT_EQ(rig.dlg->m_nMaxFrames, 200u);
    EXPECT_EQ(rig.ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(rig.dlg->m_bCapturing, 0);
    EXPECT_FALSE(rig.dlg->WorkersRunning());
}

TEST(Commands, SecondRecordingWithoutNewSurveyAndHaltedRestart) {
    Rig rig;
    test::ShowPlan show = Plan(60, 16, {1, 3});
    ASSERT_TRUE(rig.SurveyShow(show));
    rig.ui.TypeMaxFrames("5");
    rig.ui.AnswerSaveAs(rig.dir.File("one.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    rig.ui.AnswerSaveAs(rig.dir.File("two.RGB"));
    ASSERT_TRUE(rig.RecordToEnd());
    EXPECT_EQ(rig.ui.SaveAsDefaults().back(), "Sc-02-01.RGB");
    const Recording one = ReadRecording(rig.dir.File("one.RGB"));
    const Recording two = ReadRecording(rig.dir.File("two.RGB"));
    ASSERT_EQ(one.frames.size(), 5u);
    ASSERT_EQ(two.frames.size(), 5u);
    EXPECT_EQ(one.frames[0], test::ShowFrame(4, {1, 3}, 16));
    // The second recording skips the frame in progress (frame 10) and starts at 11.
    EXPECT_EQ(two.frames[0], test::ShowFrame(11, {1, 3}, 16));
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
