// The recorder's parts on their own: the recording check, the pattern traffic and the
// terminal window services.

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "capture/art_packet.h"
#include "cli/pattern_sender.h"
#include "cli/rgb_inspect.h"
#include "cli/terminal_services.h"
#include "cli/test_pattern.h"
#include "recording/frame_layout.h"
#include "tests/support/traffic_builder.h"

namespace quorvex::cli {
namespace {

using test::Bytes;

bool Mentions(const InspectReport& r, const std::string& text) {
    for (const std::string& p : r.problems) {
        if (p.find(text) != std::string::npos) return true;
    }
    return false;
}

// Two ports (100 + 50 bytes) and three frames.
Bytes Recording() {
    PortLayout layout{2, {100, 50}, 150};
    Bytes b = BuildRgbHeader(layout, IcTypeCode(0), false);
    b[kRgbFrameCountOffset + 1] = 3;
    b.resize(b.size() + 3 * 150, 0x55);
    return b;
}

TEST(InspectRgb, AcceptsAWholeRecording) {
    const InspectReport r = InspectRgb(Recording());
    EXPECT_TRUE(r.Valid()) << testing::PrintToString(r.problems);
    EXPECT_TRUE(r.gammaIdentity);
    EXPECT_EQ(r.wholeFrames, 3u);
    EXPECT_EQ(r.expectedSize, 535u + 26u + 450u);
    const std::string text = InspectText(r, "a.RGB");
    EXPECT_NE(text.find("IC type:        DMX512 (code 3)"), std::string::npos) << text;
    EXPECT_NE(text.find("Gamma:          identity 0..255"), std::string::npos) << text;
}

TEST(InspectRgb, NamesEveryMismatch) {
    Bytes truncated = Recording();
    truncated.resize(truncated.size() - 10);
    InspectReport r = InspectRgb(truncated);
    EXPECT_TRUE(Mentions(r, "ends 140 bytes into a frame"));
    EXPECT_TRUE(Mentions(r, "counts 3 frames, the file holds 2"));

    Bytes damaged = Recording();
    damaged[1] = 'X';                  // tag
    damaged[23 + 3] = 99;              // port 0 length: no longer sums to 150
    damaged[23 + 13 + 4] = 1;          // a constant byte of port 1
    damaged[23 + 13 + 8] = 6;          // port 1 another IC type
    damaged[12] = 0;                   // stored header length
    damaged[23 + 26 + 2 * 7 + 1] = 9;  // gamma entry 7
    r = InspectRgb(damaged);
    EXPECT_FALSE(r.Valid());
    EXPECT_TRUE(Mentions(r, "bad constant bytes: a recording starts"));
    EXPECT_TRUE(Mentions(r, "port lengths sum to 149 bytes, the frame length is 150"));
    EXPECT_TRUE(Mentions(r, "port 1: bad constant bytes"));
    EXPECT_TRUE(Mentions(r, "different IC types"));
    EXPECT_TRUE(Mentions(r, "stored header length"));
    EXPECT_FALSE(r.gammaIdentity);
    EXPECT_NE(InspectJson(r, "x").find("\"gamma\":[0,1,2,3,4,5,6,9,8,"), std::string::npos);

    r = InspectRgb(Bytes(10, 0));
    EXPECT_FALSE(r.header);
    EXPECT_TRUE(Mentions(r, "too few for a recording header"));
    Bytes huge = Recording();
    huge[20] = 0x40;  // 16386 ports: a header longer than the file
    r = InspectRgb(huge);
    EXPECT_FALSE(r.Valid());
    EXPECT_TRUE(Mentions(r, "declares 16386 ports"));
}

TEST(InspectRgb, JsonStringsAreEscaped) {
    EXPECT_EQ(JsonString("a\"b\\c\nd\x01é"), "\"a\\\"b\\\\c\\nd\\u0001é\"");
    const std::string j = InspectJson(InspectRgb(Recording()), "my \"show\".RGB");
    EXPECT_EQ(j.rfind("{\"file\":\"my \\\"show\\\".RGB\",\"size\":1011,\"valid\":true,", 0), 0u)
        << j;
    EXPECT_EQ(j.back(), '}');
}

TEST(PatternSender, UniverseListsAndTargets) {
    std::string error;
    EXPECT_EQ(ParseUniverseList("0-5,8,10", &error), (std::vector<int>{0, 1, 2, 3, 4, 5, 8, 10}));
    EXPECT_EQ(ParseUniverseList(" 9, 3,3 ,32767", &error), (std::vector<int>{3, 9, 32767}));
    for (const char* bad : {"", "5-3", "1,,2", "-1", "32768", "a", "1-"}) {
        EXPECT_FALSE(ParseUniverseList(bad, &error)) << bad;
    }
    EXPECT_TRUE(IsLoopback(*ParseIpv4("127.0.0.1")));
    EXPECT_TRUE(IsLoopback(*ParseIpv4("127.200.1.9")));
    EXPECT_FALSE(IsLoopback(*ParseIpv4("10.0.0.1")));
    EXPECT_FALSE(IsLoopback(*ParseIpv4("128.0.0.1")));
    EXPECT_FALSE(ParseIpv4("127.1"));
    EXPECT_FALSE(ParseIpv4("::1"));
}

uint32_t OnesComplementSum(const Bytes& b, size_t from, size_t length, uint32_t sum = 0) {
    for (size_t i = 0; i < length; i += 2) {
        sum += (b[from + i] << 8) | (i + 1 < length ? b[from + i + 1] : 0);
    }
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

TEST(PatternSender, FramesCarryThePatternAndValidChecksums) {
    PatternOptions o;
    o.universes = {0, 300};
    o.channels = 7;  // odd: the UDP checksum pads a byte
    o.sync = true;
    std::vector<Bytes> payloads;
    BuildPatternFrame(o, 256, payloads);
    ASSERT_EQ(payloads.size(), 3u);
    for (size_t i = 0; i < payloads.size(); ++i) {
        Bytes frame;
        BuildUdpFrame(payloads[i], 0x7F000001, 0x7F000002, frame);
        EXPECT_EQ(OnesComplementSum(frame, 14, 20), 0xFFFFu);
        const uint32_t pseudo = OnesComplementSum(frame, 26, 8) + 17 + (frame.size() - 34);
        EXPECT_EQ(OnesComplementSum(frame, 34, frame.size() - 34, pseudo), 0xFFFFu);

        uint8_t record[kArtRecordSize];
        uint16_t length = 0;
        const ArtResult r =
            RecognizeArtFrame(frame.data(), frame.size(), frame.size(), record, &length);
        if (i == 2) {
            EXPECT_EQ(r, kArtSync);
            continue;
        }
        ASSERT_EQ(r, kArtDmx);
        EXPECT_EQ(RecordUniverse(record), o.universes[i]);
        EXPECT_EQ(RecordSequence(record), 1);  // frame 256 wraps to 1
        ASSERT_EQ(length, kArtRecordHeader + 7);
        for (int c = 0; c < 7; ++c) {
            EXPECT_EQ(record[kArtRecordHeader + c], TestPatternByte(256, o.universes[i], c));
        }
    }
}

// Records what the window thread is given, and on which thread.
struct Target : IWindowTarget {
    void OnWindowMessage(WindowMessage m) override {
        messages.push_back(m);
        threads.push_back(std::this_thread::get_id());
    }
    void OnTimer(int id) override {
        ticks.push_back(id);
        if (killAfter && ticks.size() == killAfter) services->KillTimer(id);
    }
    TerminalServices* services = nullptr;
    size_t killAfter = 0;
    std::vector<WindowMessage> messages;
    std::vector<std::thread::id> threads;
    std::vector<int> ticks;
};

TEST(TerminalServices, LinesStayWholeAndBoxesFailTheRun) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    TerminalServices services(out, err, true);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&services, t] {
            for (int i = 0; i < 300; ++i) {
                services.AppendLog("thread " + std::to_string(t) + " line " + std::to_string(i) +
                                   std::string(200, 'x'));
            }
        });
    }
    for (auto& w : writers) w.join();
    services.MessageBox("Please click the parse button first！");
    EXPECT_EQ(services.MessageBoxCount(), 1);

    std::rewind(out);
    char line[512];
    int lines = 0;
    while (std::fgets(line, sizeof line, out)) {
        int t = -1;
        int i = -1;
        char tail[260] = {};
        ASSERT_EQ(std::sscanf(line, "thread %d line %d%259s", &t, &i, tail), 3) << line;
        EXPECT_EQ(std::string(tail), std::string(200, 'x')) << line;
        ++lines;
    }
    EXPECT_EQ(lines, 1200);  // no progress line: `out` is no terminal
    std::rewind(err);
    ASSERT_TRUE(std::fgets(line, sizeof line, err));
    EXPECT_STREQ(line, "quorvex-cli: Please click the parse button first！\n");
    std::fclose(out);
    std::fclose(err);
}

TEST(TerminalServices, TheLoopDeliversMessagesAndTimersOnItsThread) {
    std::FILE* sink = std::tmpfile();
    TerminalServices services(sink, sink, false);
    Target target;
    target.services = &services;
    target.killAfter = 2;
    services.SetTarget(&target);

    std::thread poster([&] {
        services.PostMessage(WindowMessage::FrameWritten);
        services.PostMessage(WindowMessage::ParseFinished);
    });
    poster.join();
    services.SetTimer(kTimerFinish);
    for (int round = 0; round < 1000 && target.ticks.size() < 2; ++round) {
        services.PumpOnce(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(target.messages, (std::vector<WindowMessage>{WindowMessage::FrameWritten,
                                                           WindowMessage::ParseFinished}));
    EXPECT_EQ(target.threads[0], std::this_thread::get_id());
    EXPECT_EQ(services.ParseFinishedDelivered(), 1);
    ASSERT_EQ(target.ticks, (std::vector<int>{kTimerFinish, kTimerFinish}));
    // Killed by its second tick: no third one however long the loop runs.
    EXPECT_FALSE(services.TimerArmed(kTimerFinish));
    EXPECT_EQ(services.FinishTimerKills(), 1);
    for (int round = 0; round < 40; ++round) services.PumpOnce(std::chrono::milliseconds(20));
    EXPECT_EQ(target.ticks.size(), 2u);
    std::fclose(sink);
}

}  // namespace
}  // namespace quorvex::cli
