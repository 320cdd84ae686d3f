// The recorder's parts on their own: the recording check, the pattern traffic, the options
// that decide when a recording starts and ends, the input view and the terminal host's log
// lines under concurrent writers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "cli/input_view.h"
#include "cli/pattern_sender.h"
#include "cli/rgb_check.h"
#include "cli/terminal_host.h"
#include "tests/support/traffic_builder.h"

namespace quorvex::cli {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

using test::Bytes;

bool Mentions(const RgbCheck& r, const std::string& text) {
    for (const std::string& p : r.Problems()) {
        if (p.find(text) != std::string::npos) return true;
    }
    return false;
}

// Two ports (100 + 50 bytes) and three frames.
Bytes Recording() {
    Bytes b = BuildRgbHeader(PortLayout{2, {100, 50}, 150}, IcTypeCode(0), false);
    b[kRgbFrameCountOffset + 1] = 3;
    b.resize(b.size() + 3 * 150, 0x55);
    return b;
}

TEST(InspectRgb, AcceptsAWholeRecordingAndNamesEveryMismatch) {
    RgbCheck r = CheckRgb(Recording());
    EXPECT_TRUE(r.Valid()) << testing::PrintToString(r.Problems());
    EXPECT_TRUE(r.gammaIdentity);
    EXPECT_EQ(r.expectedSize, 535u + 26u + 450u);

    Bytes damaged = Recording();
    damaged[1] = 'X';                  // tag
    damaged[23 + 3] = 99;              // port 0 length: no longer sums to 150
    damaged[23 + 13 + 4] = 1;          // a constant byte of port 1
    damaged[23 + 13 + 8] = 6;          // port 1 another IC type
    damaged[12] = 0;                   // stored header length
    damaged[23 + 26 + 2 * 7 + 1] = 9;  // gamma entry 7
    r = CheckRgb(damaged);
    EXPECT_TRUE(Mentions(r, "bad constant bytes: a recording starts"));
    EXPECT_TRUE(Mentions(r, "port lengths sum to 149 bytes, the frame length is 150"));
    EXPECT_TRUE(Mentions(r, "port 1: bad constant bytes"));
    EXPECT_TRUE(Mentions(r, "different IC types"));
    EXPECT_TRUE(Mentions(r, "stored header length"));
    EXPECT_NE(InspectJson(r, "x").find("\"gamma\":[0,1,2,3,4,5,6,9,8,"), std::string::npos);

    EXPECT_TRUE(Mentions(CheckRgb(Bytes(10, 0)), "too few for a recording header"));
    Bytes huge = Recording();
    huge[20] = 0x40;  // 16386 ports: a header longer than the file
    EXPECT_TRUE(Mentions(CheckRgb(huge), "declares 16386 ports"));
    EXPECT_EQ(JsonString("a\"b\\c\nd\x01é"), "\"a\\\"b\\\\c\\nd\\u0001é\"");
    // Bytes that are no UTF-8 (a stray byte, an overlong form, a surrogate, a cut sequence)
    // each become U+FFFD; well-formed four-byte sequences pass.
    std::string replaced;
    for (int k = 0; k < 6; ++k) replaced += "\\ufffd";
    EXPECT_EQ(JsonString("\xff"
                         "\xc0\xaf"
                         "\xed\xa0\x80"
                         "\xf0\x9f\x8e\x86"
                         "\xe2\x82"),
              "\"" + replaced + "\xf0\x9f\x8e\x86\\ufffd\\ufffd\"");
}

TEST(InspectRgb, GammaTablesThatSpoilTheShowAreProblemsAndCurvesAreNot) {
    const auto withGamma = [](const std::function<int(int)>& entry) {
        Bytes b = Recording();
        const size_t gamma = b.size() - 3 * 150 - 512;
        for (int i = 0; i < 256; ++i) {
            b[gamma + 2 * i] = static_cast<uint8_t>(entry(i) >> 8);
            b[gamma + 2 * i + 1] = static_cast<uint8_t>(entry(i) & 0xFF);
        }
        return CheckRgb(b);
    };
    RgbCheck r = withGamma([](int) { return 0; });
    EXPECT_FALSE(r.Valid());
    EXPECT_TRUE(Mentions(r, "the gamma table is all zero: the LEDs would stay dark"));
    r = withGamma([](int i) { return i == 200 ? 10 : i; });
    EXPECT_FALSE(r.Valid());
    EXPECT_TRUE(Mentions(r, "the gamma table decreases at entry 200 (10 after 199)"));

    // A usual 2.2 curve: flat for the dark levels, never falling.
    r = withGamma(
        [](int i) { return static_cast<int>(std::lround(255 * std::pow(i / 255.0, 2.2))); });
    EXPECT_TRUE(r.Valid()) << testing::PrintToString(r.Problems());
    EXPECT_NE(InspectText(r, "x").find("\nGamma:          custom\n"), std::string::npos);
    EXPECT_NE(InspectJson(r, "x").find("\"gammaTable\":\"custom\""), std::string::npos);
    EXPECT_NE(InspectJson(CheckRgb(Recording()), "x").find("\"gammaTable\":\"identity\""),
              std::string::npos);
}

// Universe lists: tests/recording/layout_header_test.cpp, beside the layout they select for.
TEST(PatternSender, Targets) {
    EXPECT_TRUE(IsLoopback(*ParseIpv4("127.200.1.9")));
    EXPECT_FALSE(IsLoopback(*ParseIpv4("10.0.0.1")));
    EXPECT_FALSE(ParseIpv4("127.1"));
}

// Capture files carry valid IPv4 and UDP checksums (the recorder itself ignores them).
TEST(PatternSender, FramesHaveValidChecksums) {
    PatternOptions o;
    o.channels = 7;  // odd: the UDP checksum pads a byte
    std::vector<Bytes> payloads;
    BuildPatternFrame(o, 256, payloads);
    Bytes f;
    BuildUdpFrame(payloads[0], 0x7F000001, 0x7F000002, f);
    EXPECT_EQ(test::OnesComplementSum(f, 14, 20), 0xFFFFu);
    const uint32_t pseudo = test::OnesComplementSum(f, 26, 8) + 17 + (f.size() - 34);
    EXPECT_EQ(test::OnesComplementSum(f, 34, f.size() - 34, pseudo), 0xFFFFu);
}

using test::Be16;
using test::Be32;

// sACN layers at their offsets, per-universe sequences, sync packets; Art-Net sequencing off.
TEST(PatternSender, SacnPacketsAndSequences) {
    PatternOptions o;
    o.protocol = PatternProtocol::Sacn;
    o.universes = {0, 7};
    o.channels = 3;
    o.sync = true;
    std::vector<Bytes> p;
    BuildPatternFrame(o, 1, p);
    ASSERT_EQ(p.size(), 3u);
    const Bytes& d = p[1];
    ASSERT_EQ(d.size(), 126u + 3);
    EXPECT_EQ(Be16(d, 0), 0x0010u);
    EXPECT_EQ(Be16(d, 2), 0u);
    EXPECT_EQ(Bytes(d.begin() + 4, d.begin() + 16),
              (Bytes{'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0}));
    EXPECT_EQ(Be16(d, 16), 0x7000u + 129 - 16);
    EXPECT_EQ(Be32(d, 18), 4u);
    EXPECT_EQ(Be16(d, 38), 0x7000u + 129 - 38);
    EXPECT_EQ(Be32(d, 40), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[44])), "quorvex-cli");
    EXPECT_EQ(d[108], 100);       // priority
    EXPECT_EQ(Be16(d, 109), 1u);  // sync address: the first sACN universe
    EXPECT_EQ(d[111], 0);         // sequence
    EXPECT_EQ(d[112], 0);         // options
    EXPECT_EQ(Be16(d, 113), 8u);  // universe 7 + the offset 1
    EXPECT_EQ(Be16(d, 115), 0x7000u + 129 - 115);
    EXPECT_EQ(Be32(d, 117), 0x02A10000u);  // vector, types, first address
    EXPECT_EQ(Be32(d, 121), 0x00010004u);  // increment, start code + 3 channels
    EXPECT_EQ(d[125], 0);                  // start code
    EXPECT_EQ(d[128], 126);                // (5 + 17 * 7 + 2) mod 256

    const Bytes& sync = p[2];
    ASSERT_EQ(sync.size(), 49u);
    EXPECT_EQ(Bytes(sync.begin(), sync.begin() + 16), Bytes(d.begin(), d.begin() + 16));
    EXPECT_EQ(Be16(sync, 16), 0x7000u + 49 - 16);
    EXPECT_EQ(Be32(sync, 18), 8u);
    EXPECT_EQ(Bytes(sync.begin() + 22, sync.begin() + 38), Bytes(d.begin() + 22, d.begin() + 38));
    EXPECT_EQ(Be16(sync, 38), 0x7000u + 49 - 38);
    EXPECT_EQ(Be32(sync, 40), 1u);
    EXPECT_EQ(Be16(sync, 45), 1u);
    EXPECT_EQ(SacnUniverseOf(o, 0), 1);
    EXPECT_EQ(SacnUniverseOf(o, 2), 1);

    // Every universe and the sync packets count 0..255 and wrap, one step a frame.
    for (const auto& [frame, sequence] : {std::pair{2u, 1}, {256u, 255}, {257u, 0}}) {
        BuildPatternFrame(o, frame, p);
        EXPECT_EQ(p[0][111], sequence) << frame;
        EXPECT_EQ(p[1][111], sequence) << frame;
        EXPECT_EQ(p[2][44], sequence) << frame;
    }
    o.syncAddress = 500;
    BuildPatternFrame(o, 1, p);
    EXPECT_EQ(Be16(p[0], 109), 500u);
    EXPECT_EQ(SacnUniverseOf(o, 2), 500);
    o.sync = false;
    BuildPatternFrame(o, 1, p);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(Be16(p[0], 109), 0u);

    EXPECT_EQ(PatternProblem(o), "");
    o.universes = {63999};
    EXPECT_NE(PatternProblem(o).find("sACN universe 64000, outside 1..63999"), std::string::npos);
    o.sacnOffset = 0;
    EXPECT_EQ(PatternProblem(o), "");
    o.universes = {0};
    EXPECT_NE(PatternProblem(o), "");

    // In a capture file: port 5568 both ways, the group's multicast MAC.
    Bytes f;
    BuildUdpFrame(d, 0x02000001, SacnGroup(0x1234), f, kSacnPort);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 6), (Bytes{0x01, 0x00, 0x5E, 0x7F, 0x12, 0x34}));
    EXPECT_EQ(Be32(f, 30), 0xEFFF1234u);
    EXPECT_EQ(Be32(f, 34), (5568u << 16) | 5568u);

    PatternOptions art;
    BuildPatternFrame(art, 300, p);
    EXPECT_EQ(p[0][12], 45);  // 1 + 299 mod 255
    art.artSequence = false;
    BuildPatternFrame(art, 300, p);
    for (const Bytes& dmx : p) EXPECT_EQ(dmx[12], 0);
}

TEST(RecordLimits, TimeDecidesUnlessFramesAreGivenAndContradictionsAreRefused) {
    // --frames, --duration, --until-stopped, --start-when, --stop-when-released.
    const auto apply = [](RecordLimitsText text, RecorderOptions* o = nullptr) {
        RecorderOptions scratch;
        return ApplyRecordLimits(text, o ? *o : scratch);
    };
    const std::nullopt_t none = std::nullopt;
    RecorderOptions o;
    EXPECT_EQ(apply({}, &o), "");
    EXPECT_EQ(o.frames, 200u);
    EXPECT_EQ(o.start.kind, StartTrigger::Kind::OnCapture);
    EXPECT_EQ(apply({none, "2m30s", false, none, false}, &o), "");
    EXPECT_EQ(o.durationSeconds, 150);
    EXPECT_EQ(o.frames, 65535u);
    EXPECT_EQ(apply({100, "02:30", false, none, false}, &o), "");
    EXPECT_EQ(o.frames, 100u);
    EXPECT_EQ(apply({none, none, true, none, false}, &o), "");
    EXPECT_EQ(o.frames, 65535u);
    EXPECT_EQ(o.durationSeconds, 0);
    EXPECT_EQ(apply({none, none, false, "5/1>=128", true}, &o), "");
    EXPECT_EQ(o.start, (StartTrigger{StartTrigger::Kind::Channel, 5, 1, 128, true}));

    EXPECT_NE(apply({none, "90s", true, none, false}), "");
    EXPECT_NE(apply({10, none, true, none, false}), "");
    // A bad or empty time names the forms; an empty condition is no condition at all.
    for (const char* duration : {"0s", "", "0x10", "1h61m"}) {
        EXPECT_EQ(apply({none, duration, false, none, false}),
                  std::string("--duration needs a time in one of the forms 90, 90s, 2m30s, "
                              "1h2m3s, 02:30, above 0, not \"") +
                      duration + "\"");
    }
    EXPECT_NE(apply({none, none, false, "5/1", false}).find("--start-when: a start condition is"),
              std::string::npos);
    EXPECT_NE(apply({none, none, false, "", false}).find("--start-when: a start condition is"),
              std::string::npos);
    for (const std::optional<std::string>& start :
         {std::optional<std::string>(), std::optional<std::string>("first-light")}) {
        EXPECT_NE(apply({none, none, false, start, true}).find("channel condition"),
                  std::string::npos)
            << start.value_or("(none)");
    }
}

TEST(InputView, WholeRunRatesAreTotalsOverTheRunByUniverseThenSender) {
    const InputOrigin art{Protocol::ArtNet, 0x0A000001, 0, 0};
    const InputOrigin sacn{Protocol::Sacn, 0x0A000009, 1, 120};
    const std::vector<InputCounters> counters{
        {3, 0x0A000002, 20, 10, 9'000'000, 170, 7, {Protocol::ArtNet, 0x0A000002, 0, 0}},
        {3, 0x0A000001, 80, 40, 9'500'000, 512, 255, art},
        {0, kSacnSourceBit, 40, 0, 10'000'000, 512, 0, sacn},
    };
    auto totals = WholeRunInput(counters, 2.0, 10'000'000);
    ASSERT_EQ(totals.size(), 3u);
    EXPECT_EQ(totals[0].row.universe, 0);
    EXPECT_EQ(totals[1].row.source, 0x0A000001u);
    EXPECT_EQ(totals[1].row.packetsPerSecond, 40);
    EXPECT_EQ(totals[1].row.framesPerSecond, 20);
    EXPECT_EQ(totals[2].row.secondsSinceSeen, 1);
    EXPECT_FALSE(totals[2].row.stale);
    totals[1].row.name = "Node \"A\"";
    totals[1].row.recorded = true;
    EXPECT_EQ(InputJson("eth\"1", 2, {totals[1]}),
              "{\"interface\":\"eth\\\"1\",\"seconds\":2.000,\"pairs\":1,\"complete\":true,"
              "\"universes\":[{\"universe\":3,\"protocol\":\"Art-Net\",\"source\":\"10.0.0.1\","
              "\"name\":\"Node \\\"A\\\"\",\"recorded\":true,\"packets\":80,"
              "\"packetsPerSecond\":40.00,\"framesPerSecond\":20.00,\"lastSeenSecondsAgo\":0.500,"
              "\"stale\":false,\"length\":512,\"level\":255}]}");
    // More pairs than the monitor follows: the document says it is cut, and why.
    totals[0].row.name = "Desk";
    totals[0].row.cid = "00112233-4455-6677-8899-aabbccddeeff";
    const std::string cut = InputJson("lo", 2, {totals[0]}, 7);
    EXPECT_NE(cut.find("\"complete\":false,\"cut\":{\"reason\":"), std::string::npos) << cut;
    EXPECT_NE(cut.find("\"packetsNotFollowed\":7}"), std::string::npos) << cut;
    EXPECT_NE(cut.find("\"protocol\":\"sACN\",\"sentUniverse\":1,\"source\":\"10.0.0.9\","
                       "\"name\":\"Desk\",\"cid\":\"00112233-4455-6677-8899-aabbccddeeff\","
                       "\"priority\":120,"),
              std::string::npos)
        << cut;

    std::vector<InputRow> rows;
    for (const InputTotal& t : totals) rows.push_back(t.row);
    rows[2].stale = true;
    const std::string table = InputTable(rows, 2);
    EXPECT_EQ(table.substr(0, table.find('\n')),
              " Universe  Protocol  Sent   Source           Name              Priority  "
              "Packets/s  Frames/s  Last seen  Level  CID");
    const std::vector<std::string> lines = Lines(table);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1],
              "        0  sACN          1  10.0.0.9         Desk                   120       "
              "20.0       0.0      0.0 s      0  00112233-4455-6677-8899-aabbccddeeff");
    EXPECT_EQ(lines[2].substr(0, 10), "*       3 ");
    EXPECT_EQ(lines[3], "... and 1 more");
    EXPECT_NE(InputTable(rows).find("stale"), std::string::npos);
}

TEST(InputView, ChannelGridMarksWhatChanged) {
    ChannelSnapshot before;
    before.universe = 2;
    before.length = 512;
    for (int c = 0; c < 512; ++c) before.values[c] = static_cast<uint8_t>(c);
    ChannelSnapshot now = before;
    now.values[17] = 200;
    const std::vector<std::string> plain = Lines(ChannelGrid(now, before, false));
    ASSERT_EQ(plain.size(), 32u);
    EXPECT_EQ(plain[1].substr(0, 12), " 17   16 200");
    EXPECT_EQ(plain[31].substr(plain[31].size() - 4), " 255");
    const std::string marked = ChannelGrid(now, before, true);
    EXPECT_NE(marked.find("\x1b[7m200\x1b[0m"), std::string::npos);
    EXPECT_EQ(std::count(marked.begin(), marked.end(), '\x1b'), 2);
    const std::string json = ChannelJson(now);
    EXPECT_EQ(json.rfind("{\"universe\":2,\"length\":512,\"channels\":[0,1,2,", 0), 0u);
    EXPECT_NE(json.find(",16,200,18,"), std::string::npos) << json;
}

TEST(TerminalHost, LinesStayWholeAndAlertsGoToStderr) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    TerminalHost host(out, err, true);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&host, t] {
            for (int i = 0; i < 300; ++i) host.Log(std::to_string(t) + " " + std::string(200, 'x'));
        });
    }
    for (auto& w : writers) w.join();
    host.OnEvent(Alert{"Please click the parse button first！"});
    EXPECT_EQ(host.AlertCount(), 1);

    std::rewind(out);
    char line[512];
    int lines = 0;
    for (; std::fgets(line, sizeof line, out); ++lines) {
        ASSERT_EQ(std::string(line + 2), std::string(200, 'x') + "\n") << line;
    }
    EXPECT_EQ(lines, 1200);  // and no progress line: `out` is no terminal
    std::rewind(err);
    ASSERT_TRUE(std::fgets(line, sizeof line, err));
    EXPECT_STREQ(line, "quorvex-cli: Please click the parse button first！\n");
    std::fclose(out);
    std::fclose(err);
}

}  // namespace
}  // namespace quorvex::cli
