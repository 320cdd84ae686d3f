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
#include "recording/quorvex_dlg.h"
#include "recording/rgb_header.h"
#include "tests/support/fake_window_services.h"
#include "tests/support/net_isolation.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;

// Sends the show to 127.0.0.1:6454 from its own thread until stopped.
class Sender {
  public:
    enum class Mode { Show, FrozenSequence };

    explicit Sender(std::vector<int> universes, int channels, Mode mode = Mode::Show)
        : m_universes(std::move(universes)), m_channels(channels), m_mode(mode) {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(kArtNetPort);
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_thread = std::thread([this] { Run(); });
    }
    ~Sender() { Stop(); }
    void Stop() {
        m_run = false;
        if (m_thread.joinable()) m_thread.join();
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }
    int FramesSent() const { return m_sent; }

  private:
    void Run() {
        Bytes payload;
        auto next = std::chrono::steady_clock::now();
        for (int f = 1; m_run; ++f) {
            const uint8_t seq = m_mode == Mode::Show ? test::SequenceOf(f) : 7;
            for (int u : m_universes) {
                const Bytes data = test::ShowData(f, u, m_channels);
                BuildArtDmxPayload(seq, u, data.data(), static_cast<uint16_t>(data.size()),
                                   payload);
                sendto(m_fd, payload.data(), payload.size(), 0,
                       reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to);
            }
            m_sent = f;
            next += std::chrono::milliseconds(25);
            std::this_thread::sleep_until(next);
        }
    }

    std::vector<int> m_universes;
    int m_channels;
    Mode m_mode;
    int m_fd = -1;
    sockaddr_in m_to{};
    std::atomic<bool> m_run{true};
    std::atomic<int> m_sent{0};
    std::thread m_thread;
};

// Show frame numbers of the recorded frames, -1 where a frame matches no show frame.
std::vector<int> ShowFramesIn(const std::string& path, const std::vector<int>& universes,
                              int channels, int lastSent, uint16_t* count) {
    const Bytes bytes = test::ReadFileBytes(path);
    const auto info = ParseRgbHeader(bytes);
    std::vector<int> frames;
    if (!info) return frames;
    *count = info->frameCount;
    const size_t len = info->frameLength;
    for (size_t at = info->headerLength; len && at + len <= bytes.size(); at += len) {
        const Bytes frame(bytes.begin() + static_cast<long>(at),
                          bytes.begin() + static_cast<long>(at + len));
        int found = -1;
        for (int f = 1; f <= lastSent && found < 0; ++f) {
            if (frame == test::ShowFrame(f, universes, channels)) found = f;
        }
        frames.push_back(found);
    }
    return frames;
}

class LiveRecording : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        if (!test::IsolateNetwork(&why)) GTEST_SKIP() << "live capture needs root: " << why;
        CQuorvexDlg::Options options;
        options.recordingFolder = dir.File("rec");
        dlg = std::make_unique<CQuorvexDlg>(ui, options);
        ui.SetTarget(dlg.get());
        dlg->OnInitDialog();
        ui.PumpUntil([] { return false; }, std::chrono::milliseconds(10));  // timer 2 ran
        const auto& devices = dlg->m_pcap.m_devices;
        const auto lo = std::find_if(devices.begin(), devices.end(),
                                     [](const DeviceEntry& d) { return d.name == "lo"; });
        ASSERT_NE(lo, devices.end());
        ui.SelectListItem(ListId::Ip, static_cast<int>(lo - devices.begin()));
        dlg->OnCbnSelchangeIp();
        ASSERT_EQ(dlg->m_pcap.m_bOpen, 1);
    }
    void TearDown() override {
        if (dlg) dlg->OnDestroy();
    }

    bool Parse() {
        dlg->OnBnClickedParse();
        return ui.PumpUntil([&] {
            const auto log = ui.Log();
            return std::any_of(log.begin(), log.end(),
                               [](const std::string& l) { return l.rfind("Parse to ", 0) == 0; });
        });
    }
    bool Finished() { return !ui.SaveAsDefaults().empty(); }

    test::TempDir dir;
    test::FakeWindowServices ui;
    std::unique_ptr<CQuorvexDlg> dlg;
};

const std::vector<int> kSix{0, 1, 2, 3, 4, 5};

TEST_F(LiveRecording, HundredFramesAreExactlyConsecutiveSentFrames) {
    Sender sender(kSix, 512);
    ASSERT_TRUE(Parse());
    EXPECT_EQ(ui.Log().front(), "Parse to 6 Universes");
    ui.TypeMaxFrames("100");
    ui.AnswerSaveAs(dir.File("live.RGB"));
    dlg->OnBnClickedCapture();
    ASSERT_TRUE(ui.PumpUntil([&] { return Finished(); }, std::chrono::seconds(60)));
    sender.Stop();
    uint16_t count = 0;
    const auto frames = ShowFramesIn(dir.File("live.RGB"), kSix, 512, sender.FramesSent(), &count);
    EXPECT_EQ(count, 100);
    ASSERT_EQ(frames.size(), 100u);
    ASSERT_GT(frames[0], 0);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], frames[0] + static_cast<int>(i)) << "frame " << i;
    }
    const auto log = ui.Log();
    const auto check = std::find_if(log.begin(), log.end(), [](const std::string& l) {
        return l.rfind("Recording check: 100 frames written", 0) == 0;
    });
    ASSERT_NE(check, log.end());
    EXPECT_NE(check->find("packets dropped by the kernel"), std::string::npos) << *check;
}

TEST_F(LiveRecording, PauseResumeAndStopKeepWholeFrames) {
    Sender sender({0, 1}, 64);
    ASSERT_TRUE(Parse());
    ui.TypeMaxFrames("100000");
    ui.AnswerSaveAs(dir.File("paused.RGB"));
    dlg->OnBnClickedCapture();
    ASSERT_TRUE(ui.PumpUntil([&] { return dlg->m_nWrittenFrame >= 5; }));
    dlg->OnBnClickedPause();
    EXPECT_FALSE(ui.ButtonEnabled(ButtonId::Pause));
    EXPECT_TRUE(ui.ButtonEnabled(ButtonId::Capture));
    const int pausedAt = sender.FramesSent();
    ASSERT_TRUE(ui.PumpUntil([&] { return sender.FramesSent() >= pausedAt + 8; }));
    const uint32_t countWhilePaused = dlg->m_nFrameCount;
    dlg->OnBnClickedCapture();  // resume
    EXPECT_TRUE(ui.ButtonEnabled(ButtonId::Pause));
    ASSERT_TRUE(ui.PumpUntil([&] { return dlg->m_nWrittenFrame >= countWhilePaused + 5; }));
    dlg->OnBnClickedStop();
    ASSERT_TRUE(ui.PumpUntil([&] { return Finished(); }, std::chrono::seconds(10)));
    sender.Stop();

    uint16_t count = 0;
    const auto frames =
        ShowFramesIn(dir.File("paused.RGB"), {0, 1}, 64, sender.FramesSent(), &count);
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
    const auto log = ui.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Stopped！"), 1);
}

TEST_F(LiveRecording, StopEndsTheRecordingWhenTrafficStopsOrNeverAdvances) {
    {
        Sender sender(kSix, 16);
        ASSERT_TRUE(Parse());
    }
    for (const bool frozen : {false, true}) {
        SCOPED_TRACE(frozen ? "sequence never changes" : "no traffic");
        std::unique_ptr<Sender> sender;
        if (frozen) sender = std::make_unique<Sender>(kSix, 16, Sender::Mode::FrozenSequence);
        const size_t asked = ui.SaveAsDefaults().size();
        ui.AnswerSaveAs(dir.File(frozen ? "frozen.RGB" : "silent.RGB"));
        dlg->OnBnClickedCapture();
        ASSERT_EQ(dlg->m_bCapturing, 1);
        dlg->OnBnClickedStop();
        ASSERT_TRUE(ui.PumpUntil([&] { return ui.SaveAsDefaults().size() > asked; },
                                 std::chrono::seconds(10)));
        EXPECT_EQ(ui.Log().back().rfind("Saved: ", 0), 0u) << ui.Log().back();
        const Bytes bytes = test::ReadFileBytes(dir.File(frozen ? "frozen.RGB" : "silent.RGB"));
        EXPECT_EQ(bytes.size(), RgbHeaderLength(1));
    }
}

TEST_F(LiveRecording, SecondParseWhileOneRunsIsRefused) {
    dlg->OnBnClickedParse();  // no traffic: the survey keeps waiting
    ASSERT_EQ(dlg->m_bParsing, 1);
    dlg->OnBnClickedParse();
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0], "Parsing network packets, please wait for the result！");
    dlg->OnBnClickedCapture();
    EXPECT_EQ(ui.MessageBoxes().back(), "Parsing network packets, please start again later！");
    // Closing the window ends the survey too.
    dlg->OnDestroy();
    EXPECT_FALSE(dlg->WorkersRunning());
    EXPECT_EQ(dlg->m_bParsing, 0);
}

TEST_F(LiveRecording, ClosingDuringARecordingKeepsTempRgbWithoutAPrompt) {
    Sender sender(kSix, 32);
    ASSERT_TRUE(Parse());
    ui.TypeMaxFrames("100000");
    dlg->OnBnClickedCapture();
    ASSERT_TRUE(ui.PumpUntil([&] { return dlg->m_nWrittenFrame >= 3; }));
    dlg->OnDestroy();
    sender.Stop();
    EXPECT_TRUE(ui.SaveAsDefaults().empty());
    EXPECT_EQ(dlg->m_pData1, nullptr);
    uint16_t count = 0;
    const auto frames = ShowFramesIn(dlg->WorkingFilePath(), kSix, 32, sender.FramesSent(), &count);
    EXPECT_GE(frames.size(), 3u);
    EXPECT_EQ(count, frames.size());
    for (int f : frames) EXPECT_GT(f, 0);
}

}  // namespace
}  // namespace quorvex
