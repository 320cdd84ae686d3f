// The tools around a saved recording: its notes file, its preview picture, and playing it
// back as Art-Net (recorded again from the loopback device of a network namespace of the
// test's own).

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/rgb_player.h"
#include "cli/rgb_preview.h"
#include "recording/recording_notes.h"
#include "recording/rgb_preview.h"
#include "tests/support/fake_recorder_host.h"
#include "tests/support/net_isolation.h"
#include "tests/support/recordings.h"

namespace quorvex::cli {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// Frame f of a generated recording; byte 0 differs between any 256 frames.
Bytes FrameOf(uint32_t f, size_t length) {
    Bytes b(length);
    for (size_t i = 0; i < length; ++i) b[i] = static_cast<uint8_t>(f * 7 + i * 13 + i / 256);
    return b;
}

void WriteRecording(const std::string& path, const std::vector<uint16_t>& ports, bool rgbw,
                    uint32_t frames) {
    PortLayout layout{static_cast<int32_t>(ports.size()), ports, 0};
    for (uint16_t p : ports) layout.frameLength += p;
    Bytes b = BuildRgbHeader(layout, IcTypeCode(1), rgbw);
    b[kRgbFrameCountOffset] = static_cast<uint8_t>(frames >> 8);
    b[kRgbFrameCountOffset + 1] = static_cast<uint8_t>(frames);
    for (uint32_t f = 0; f < frames; ++f) {
        const Bytes frame = FrameOf(f, layout.frameLength);
        b.insert(b.end(), frame.begin(), frame.end());
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
}

RecordingNotes SomeNotes() {
    RecordingNotes n;
    n.universes = {{0, 512, "10.0.0.1"}, {7, 60, "10.0.0.2"}};
    n.ports = 2;
    n.icType = "SPI&TTL";
    n.framesPerSecond = 39.5;
    n.startTime = "2024-05-01T20:15:00Z";
    n.check = {200, 5.06, 1, 2, std::nullopt, false};
    return n;
}

PreviewOptions PreviewOf(const std::string& path, const std::string& output = {}) {
    PreviewOptions o;
    o.path = path;
    o.output = output;
    return o;
}

PlayOptions PlayOf(const std::string& path, const std::string& target, int perPort,
                   const std::atomic<int>* stop) {
    PlayOptions o;
    o.path = path;
    o.target = target;
    o.universesPerPort = perPort;
    o.interrupt = stop;
    return o;
}

std::array<uint8_t, 3> PixelAt(const Image& img, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(img.width) + x) * 3;
    return {img.rgb[at], img.rgb[at + 1], img.rgb[at + 2]};
}

TEST(RecordingNotes, RoundTripFollowRenamesAndRefuseWhatIsNotNotes) {
    test::TempDir dir;
    const RecordingNotes notes = SomeNotes();
    const auto parsed = ParseNotesJson(NotesJson(notes));
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(NotesJson(*parsed), NotesJson(notes));
    EXPECT_FALSE(parsed->check.kernelDropped);
    EXPECT_EQ(parsed->universes[1].source, "10.0.0.2");

    // From what the recorder holds: empty slots of the dense table left out, sources dotted.
    UniverseTable table{{0, 0, 512, 0x0A000001}, {1, 0, 0, 0}, {2, 512, 88, 0xC0A80102}};
    RecordingSummary summary;
    summary.framesWritten = 80;
    summary.seconds = 2;
    summary.haveKernelStats = true;
    summary.kernelDropped = 3;
    const RecordingNotes made = NotesFor(table, {1, {600}, 600}, 6, {}, "TM1814", true,
                                         std::chrono::system_clock::from_time_t(86400), summary);
    ASSERT_EQ(made.universes.size(), 2u);
    EXPECT_EQ(made.universes[1].universe, 2);
    EXPECT_EQ(made.universes[1].source, "192.168.1.2");
    EXPECT_EQ(made.framesPerSecond, 40);
    EXPECT_EQ(made.startTime, "1970-01-02T00:00:00Z");
    EXPECT_EQ(ParseNotesJson(NotesJson(made))->check.kernelDropped, 3u);
    EXPECT_EQ(made.universes[1].port, 1);
    // Notes written before the universe selection: the port follows from the number.
    auto old = nlohmann::json::parse(NotesJson(notes));
    for (auto& u : old["universes"]) u.erase("port");
    old.erase("firstUniverse");
    old.erase("selectedUniverses");
    old["universesPerPort"] = 4;
    const auto older = ParseNotesJson(old.dump());
    ASSERT_TRUE(older) << older.error();
    EXPECT_EQ(NotedPort(*older, older->universes[1]), 2);  // universe 7 at 4 a port
    EXPECT_EQ(older->firstUniverse, 0);
    old["selectedUniverses"] = "x";
    EXPECT_FALSE(ParseNotesJson(old.dump()));

    // Written beside the recording, never through a link, no temporary file left.
    const std::string a = dir.File("a.RGB");
    const std::string victim = dir.File("victim");
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, NotesPath(a));
    ASSERT_TRUE(WriteNotes(a, notes));
    EXPECT_FALSE(fs::is_symlink(NotesPath(a)));
    EXPECT_EQ(test::ReadFileBytes(victim), Bytes({'k', 'e', 'e', 'p'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 2);
    auto read = ReadNotes(a);
    ASSERT_TRUE(read && *read) << read.error();
    EXPECT_EQ(NotesJson(**read), NotesJson(notes));

    // A rename carries them along; a recording without notes leaves none behind at its new name.
    const std::string b = dir.File("b.RGB");
    ASSERT_TRUE(MoveNotes(a, b));
    EXPECT_FALSE(fs::exists(NotesPath(a)));
    read = ReadNotes(a);
    ASSERT_TRUE(read);
    EXPECT_FALSE(*read);
    EXPECT_TRUE(ReadNotes(b) && *ReadNotes(b));
    ASSERT_TRUE(MoveNotes(dir.File("c.RGB"), b));
    EXPECT_FALSE(fs::exists(NotesPath(b)));

    const std::string valid = NotesJson(notes);
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string t = valid;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    for (const std::string& bad :
         {std::string("{"), std::string("[]"), std::string(""),
          with("\"universe\": 7", "\"universe\": 0"), with("\"length\": 60", "\"length\": 600"),
          with("\"ports\": 2", "\"ports\": -1"), with("\"rgbw\": false", "\"rgbw\": 0"),
          with("\"kernelDropped\": null,", "")}) {
        EXPECT_FALSE(ParseNotesJson(bad)) << bad;
    }
    std::ofstream(NotesPath(b)) << "not json";
    read = ReadNotes(b);
    ASSERT_FALSE(read);
    EXPECT_NE(read.error().find(NotesPath(b)), std::string::npos) << read.error();
}

TEST(RgbPreview, DrawsEachPortsBytesAsPixelsOneRowPerFrame) {
    test::TempDir dir;
    for (const bool rgbw : {false, true}) {
        // Port 0 ends in a pixel short of a byte; port 1 is whole.
        const std::vector<uint16_t> ports =
            rgbw ? std::vector<uint16_t>{11, 8} : std::vector<uint16_t>{8, 6};
        const std::string path = dir.File(rgbw ? "w.RGB" : "c.RGB");
        WriteRecording(path, ports, rgbw, 5);
        const test::Recording rec = test::ReadRecording(path);
        const FrameSource source = [&](uint32_t i, std::vector<uint8_t>& bytes) -> Status {
            bytes = rec.frames.at(i);
            return {};
        };
        PreviewOptions o = PreviewOf(path);
        const auto img = RenderPreview(rec.header, source, o);
        ASSERT_TRUE(img) << img.error();
        const int bpp = rgbw ? 4 : 3;
        EXPECT_EQ(img->portLeft, std::vector<int>({0, 4}));
        EXPECT_EQ(img->height, img->framesTop + 5);
        for (int f = 0; f < 5; ++f) {
            const int y = img->framesTop + f;
            const Bytes& frame = rec.frames[static_cast<size_t>(f)];
            EXPECT_EQ(PixelAt(*img, 3, y), (std::array<uint8_t, 3>{128, 128, 128}));
            // The LEDs of each port, as the live view and the preview's strips show them.
            const auto leds = PortPixels(rec.header.ports, frame.data(), frame.size());
            ASSERT_EQ(leds.size(), 2u);
            for (int port = 0, offset = 0; port < 2; offset += ports[port++]) {
                for (int px = 0; px * bpp < ports[port]; ++px) {
                    std::array<uint8_t, 3> want{};
                    const auto at = [&](int k) {
                        const int i = px * bpp + k;
                        return i < ports[port] ? frame[offset + i] : 0;
                    };
                    for (int k = 0; k < 3; ++k) {
                        want[k] = static_cast<uint8_t>(std::min(255, at(k) + (rgbw ? at(3) : 0)));
                    }
                    EXPECT_EQ(PixelAt(*img, img->portLeft[port] + px, y), want)
                        << "rgbw " << rgbw << " frame " << f << " port " << port << " px " << px;
                    const size_t led = static_cast<size_t>(px) * 3;
                    EXPECT_EQ((std::array<uint8_t, 3>{leds[port][led], leds[port][led + 1],
                                                      leds[port][led + 2]}),
                              want);
                }
            }
        }
    }

    // Long recordings are sampled: every Nth frame a row, or as many as fit the rows allowed.
    const std::string path = dir.File("c.RGB");
    const test::Recording rec = test::ReadRecording(path);
    std::vector<uint32_t> asked;
    const FrameSource source = [&](uint32_t i, std::vector<uint8_t>& bytes) -> Status {
        asked.push_back(i);
        bytes = rec.frames.at(i);
        return {};
    };
    PreviewOptions o = PreviewOf(path);
    o.every = 2;
    EXPECT_TRUE(RenderPreview(rec.header, source, o));
    EXPECT_EQ(asked, std::vector<uint32_t>({0, 2, 4}));
    asked.clear();
    o.every = 0;
    o.maxRows = 2;
    const auto sampled = RenderPreview(rec.header, source, o);
    ASSERT_TRUE(sampled);
    EXPECT_EQ(sampled->every, 3u);
    EXPECT_EQ(asked, std::vector<uint32_t>({0, 3}));

    // The command writes the same picture as a PNG beside the recording, once.
    ASSERT_EQ(RunPreview(PreviewOf(path)), kExitOk);
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, (path + ".png").c_str()));
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr));
    const auto drawn = RenderPreview(rec.header, source, PreviewOf(path));
    EXPECT_EQ(static_cast<int>(png.width), drawn->width);
    EXPECT_EQ(pixels, drawn->rgb);
    EXPECT_EQ(RunPreview(PreviewOf(path)), kExitRefused);
    EXPECT_EQ(RunPreview(PreviewOf(path, path)), kExitRefused);
}

TEST(RgbTools, RefuseDamagedRecordingsAndForeignTargets) {
    test::TempDir dir;
    const std::string path = dir.File("show.RGB");
    WriteRecording(path, {600, 300}, false, 3);

    // Without notes a port goes out as 512-byte universes from port * U; notes give their own.
    const auto header = test::ReadRecording(path).header;
    const auto plain = PlayLayout(header, std::nullopt, 2);
    ASSERT_TRUE(plain) << plain.error();
    ASSERT_EQ(plain->size(), 3u);
    EXPECT_EQ(((*plain)[1].universe), 1);
    EXPECT_EQ(((*plain)[1].offset), 512u);
    EXPECT_EQ(((*plain)[1].length), 88u);
    EXPECT_EQ(((*plain)[2].universe), 2);
    EXPECT_FALSE(PlayLayout(header, std::nullopt, 1));  // 600 bytes do not fit one universe
    RecordingNotes notes = SomeNotes();
    notes.universes = {{0, 512, ""}, {5, 88, ""}, {6, 300, ""}};
    const auto noted = PlayLayout(header, notes, 2);
    ASSERT_TRUE(noted) << noted.error();
    EXPECT_EQ(((*noted)[1].universe), 5);
    notes.universes[2].length = 200;  // notes of another recording
    EXPECT_FALSE(PlayLayout(header, notes, 2));

    std::atomic<int> stop{0};
    EXPECT_EQ(RunPlay(PlayOf(path, "192.0.2.1", 6, &stop)), kExitRefused);
    EXPECT_EQ(RunPlay(PlayOf(path, "localhost", 6, &stop)), kExitUsage);
    EXPECT_EQ(RunPlay(PlayOf(dir.File("none.RGB"), "127.0.0.1", 6, &stop)), kExitIo);
    fs::resize_file(path, fs::file_size(path) - 5);
    EXPECT_EQ(RunPlay(PlayOf(path, "127.0.0.1", 2, &stop)), kExitInvalid);
    EXPECT_EQ(RunPreview(PreviewOf(path)), kExitInvalid);
    EXPECT_FALSE(fs::exists(path + ".png"));
}

// Played to the loopback device and recorded there again, a recording comes back byte for
// byte, with the universe numbers of its notes when it has them.
TEST(RgbPlay, ARecordingPlayedAndRecordedAgainComesBackWhole) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: live capture in a network namespace";
    std::string why;
    if (!test::IsolateNetwork(&why)) GTEST_SKIP() << why;
    struct Case {
        std::vector<uint16_t> ports;
        int perPort;
        std::optional<std::vector<NotesUniverse>> notes;
        const char* highest;  // as the survey reports it
    };
    const Case cases[] = {{{600, 300}, 2, std::nullopt, "Max universe num is:2"},
                          {{100, 60},
                           6,
                           std::vector<NotesUniverse>{{0, 100, ""}, {7, 60, ""}},
                           "Max universe num is:7"}};
    for (const Case& c : cases) {
        test::RecorderRig rig;
        const std::string path = rig.dir.File("played.RGB");
        constexpr uint32_t kFrames = 12;
        WriteRecording(path, c.ports, false, kFrames);
        if (c.notes) {
            RecordingNotes notes = SomeNotes();
            notes.universes = *c.notes;
            notes.universesPerPort = c.perPort;
            ASSERT_TRUE(WriteNotes(path, notes));
        }
        rig.rec->ListAdapters();
        const auto devices = rig.host.Adapters();
        const auto lo = std::find_if(devices.begin(), devices.end(),
                                     [](const DeviceEntry& d) { return d.name == "lo"; });
        ASSERT_NE(lo, devices.end());
        rig.rec->ChooseAdapter(static_cast<int>(lo - devices.begin()));

        std::atomic<int> stop{0};
        std::atomic<uint32_t> rounds{0};
        PlayOptions play = PlayOf(path, "127.0.0.1", c.perPort, &stop);
        play.fps = 100;
        play.loop = true;
        play.progress = [&](const PlayProgress& p) { rounds = p.round; };
        int played = -1;
        std::thread player([&] { played = RunPlay(play); });
        rig.settings.universesPerPort = c.perPort;
        const bool parsed = rig.Parse();
        rig.frames = 30;
        rig.host.AnswerSaveAs(rig.dir.File("again.RGB"));
        const bool recorded = parsed && rig.RecordToEnd();
        stop = 1;
        player.join();
        ASSERT_TRUE(recorded);
        EXPECT_EQ(played, kExitInterrupted);
        EXPECT_GE(rounds.load(), 2u);
        const auto report = rig.host.Surveys().back().report;
        EXPECT_NE(std::find(report.begin(), report.end(), c.highest), report.end())
            << testing::PrintToString(report);

        const test::Recording sent = test::ReadRecording(path);
        const test::Recording got = test::ReadRecording(rig.dir.File("again.RGB"));
        ASSERT_EQ(got.frames.size(), 30u);
        for (size_t p = 0; p < c.ports.size(); ++p) {
            EXPECT_EQ(got.header.ports.at(p).length, c.ports[p]);
        }
        const auto first = std::find(sent.frames.begin(), sent.frames.end(), got.frames[0]);
        ASSERT_NE(first, sent.frames.end());
        for (size_t i = 0; i < got.frames.size(); ++i) {
            const size_t want = (static_cast<size_t>(first - sent.frames.begin()) + i) % kFrames;
            EXPECT_EQ(got.frames[i], sent.frames[want]) << "recorded frame " << i;
        }
    }
}

}  // namespace
}  // namespace quorvex::cli
