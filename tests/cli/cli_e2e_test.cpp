// quorvex-cli end to end: capture files made by `send --pcap` or the tests' builder, recorded
// by `record --file`, checked byte for byte, then `inspect`, `devices` and the refusals.

#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/exit_codes.h"
#include "recording/recording_notes.h"
#include "tests/cli/cli_process.h"

namespace quorvex::test {
namespace {

namespace fs = std::filesystem;
using namespace quorvex::cli;

const std::vector<int> kSixUniverses{0, 1, 2, 3, 4, 5};

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

TEST(CliRecordFile, RecordsTheSentPatternFrameByFrame) {
    TempDir dir;
    const std::string pcap = dir.File("show.pcap");
    CliResult r = RunCli({"send", "--pcap", pcap, "--frames", "50", "--sync"}, dir.path());
    ASSERT_EQ(r.code, kExitOk) << r.err;

    r = RunCli({"parse", "--file", pcap}, dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    std::string listed;
    for (int u = 0; u < 6; ++u) {
        listed += "  Universe " + std::to_string(u) + ": 512 bytes from 2.0.0.1, port 1\n";
    }
    EXPECT_EQ(r.out,
              "Parse to 6 Universes\n"
              "Max universe num is:5\n"
              "The current setting is that each port carries 6 universes，The capture file will "
              "be set to 1 ports.\n"
              "The length of each frame is 3072 bytes.\n"
              "Art-Net from 2.0.0.1.\n"
              "Frames end at its ArtSync packets.\n"
              "Universes and senders:\n" +
                  listed);
    // The same report as JSON, alone on stdout.
    r = RunCli({"parse", "--file", pcap, "--json", "--universes-per-port", "4"}, dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.err.find("Parse to 6 Universes"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.ends_with("}\n")) << r.out;  // a line, as every --json document is
    const auto report = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(report.is_object()) << r.out;
    EXPECT_EQ(report["universes"].size(), 6u) << r.out;
    EXPECT_EQ(report["framing"]["name"], "sync") << r.out;
    EXPECT_EQ(report["protocol"], "Art-Net") << r.out;
    EXPECT_EQ(
        report["universes"][5],
        nlohmann::json({{"universe", 5}, {"length", 512}, {"source", "2.0.0.1"}, {"port", 2}}));
    EXPECT_EQ(report["highestUniverse"], 5);
    EXPECT_EQ(report["firstUniverse"], 0);
    EXPECT_EQ(report["selectedUniverses"], nullptr);
    EXPECT_EQ(report["ports"], 2);
    EXPECT_EQ(report["portLengths"], nlohmann::json({2048, 1024}));
    EXPECT_EQ(report["frameLength"], 3072);

    // A folder that does not exist is made only when asked; the engine renames show.rgb to
    // show.RGB.
    const std::string out = dir.File("takes/show.rgb");
    r = RunCli({"record", "--file", pcap, "--output", out, "--frames", "30"}, dir.path());
    EXPECT_EQ(r.code, kExitRefused);
    EXPECT_NE(r.err.find("the folder " + dir.File("takes") + " does not exist; add --mkdir"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir.File("takes")));
    r = RunCli({"record", "--file", pcap, "--output", out, "--frames", "30", "--mkdir"},
               dir.path());
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("Saved: " + dir.File("takes/show.RGB")), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir.File("takes/temp.RGB")));
    // The recording thread's throughput, which bench/record_cli.sh reads.
    EXPECT_NE(r.err.find("packets read in"), std::string::npos) << r.err;

    uint32_t first = 0;
    uint32_t count = 0;
    ASSERT_TRUE(HoldsPatternFrames(dir.File("takes/show.RGB"), kSixUniverses, 512, &first, &count));
    EXPECT_EQ(count, 30u);
    // A capture file is recorded from its start, whatever the survey read of it.
    EXPECT_EQ(first, 1u);

    r = RunCli({"inspect", dir.File("takes/show.RGB")}, dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("Valid recording."), std::string::npos) << r.out;
    // The notes beside it, in text and in JSON, and its picture.
    EXPECT_NE(r.out.find("  Universe 5: 512 bytes from 2.0.0.1, port 1\n"), std::string::npos)
        << r.out;
    r = RunCli({"inspect", "--json", dir.File("takes/show.RGB")}, dir.path());
    EXPECT_NE(r.out.find("\"notes\":{"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"framesWritten\": 30"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"whole\":true"), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with("}\n")) << r.out;
    // Played back at the rate it was recorded at, unless --fps says otherwise.
    const auto inspected = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(inspected.is_object()) << r.out;
    const double recordedFps = inspected["notes"]["framesPerSecond"].get<double>();
    EXPECT_GT(recordedFps, 0);
    for (const auto& [args, fps] : {std::pair{std::vector<std::string>{}, recordedFps},
                                    std::pair{std::vector<std::string>{"--fps", "250"}, 250.0}}) {
        std::vector<std::string> play{"play", dir.File("takes/show.RGB")};
        play.insert(play.end(), args.begin(), args.end());
        r = RunCli(play, dir.path());
        EXPECT_EQ(r.code, kExitOk) << r.err;
        char rate[64];
        std::snprintf(rate, sizeof rate, " at %g fps,", fps);
        EXPECT_NE(r.err.find(rate), std::string::npos) << rate << "\n" << r.err;
    }
    r = RunCli({"preview", dir.File("takes/show.RGB"), "--output", dir.File("show.png")},
               dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(ReadFileBytes(dir.File("show.png")).at(1), 'P');

    // Damaged copies.
    const Bytes good = ReadFileBytes(dir.File("takes/show.RGB"));
    WriteBytes(dir.File("truncated.RGB"), Bytes(good.begin(), good.end() - 100));
    r = RunCli({"inspect", dir.File("truncated.RGB")}, dir.path());
    EXPECT_EQ(r.code, kExitInvalid);
    EXPECT_NE(r.err.find("is not a valid recording: the file ends 2972 bytes into a frame"),
              std::string::npos)
        << r.err;
    Bytes miscounted = good;
    miscounted[15] = 31;
    WriteBytes(dir.File("miscounted.RGB"), miscounted);
    r = RunCli({"inspect", "--json", dir.File("miscounted.RGB")}, dir.path());
    EXPECT_EQ(r.code, kExitInvalid);
    EXPECT_NE(r.out.find("\"valid\":false"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("counts 31 frames, the file holds 30"), std::string::npos) << r.out;
    EXPECT_EQ(RunCli({"inspect", dir.File("missing.RGB")}, dir.path()).code, kExitIo);
}

TEST(CliRecordFile, OptionsShapeTheHeaderAndTheFileEndEndsTheRecording) {
    TempDir dir;
    ShowPlan show;
    show.universes = {9, 0, 2};
    show.channels = 170;
    show.frames = 40;
    show.firstFrame = 240;  // the sequence wraps from 255 to 1 on the way
    WriteShow(dir.File("gaps.pcap"), show);

    CliResult r =
        RunCli({"record", "--file", dir.File("gaps.pcap"), "--output", dir.File("gaps.RGB"),
                "--frames", "1000", "--universes-per-port", "4", "--ic-type", "TM1814", "--rgbw"},
               dir.path());
    ASSERT_EQ(r.code, kExitOk) << r.err;
    uint32_t first = 0;
    uint32_t count = 0;
    ASSERT_TRUE(HoldsPatternFrames(dir.File("gaps.RGB"), {0, 2, 9}, 170, &first, &count));
    // Every frame of the file, the last one too: it is whole when the file ends.
    EXPECT_EQ(first, 240u);
    EXPECT_EQ(first + count - 1, 279u);

    r = RunCli({"inspect", "--json", dir.File("gaps.RGB")}, dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("\"portCount\":3,\"ports\":[{\"number\":0,\"length\":340,\"icType\":"
                         "\"TM1814\",\"icCode\":27,\"rgbw\":true,\"constantBytesValid\":true},"
                         "{\"number\":1,\"length\":0,"),
              std::string::npos)
        << r.out;
}

// A show on universes 100-102 lands on port 1 with --first-universe 100 or --universes
// 100-102: one port, the pattern's frames, and parse names the port each universe fills.
TEST(CliRecordFile, UniversesChosenFromTheFirstOrByListFillPortOne) {
    TempDir dir;
    const std::string pcap = dir.File("high.pcap");
    CliResult r =
        RunCli({"send", "--pcap", pcap, "--frames", "20", "--universes", "100-102,7"}, dir.path());
    ASSERT_EQ(r.code, kExitOk) << r.err;
    r = RunCli({"parse", "--file", pcap, "--controller-ports", "8"}, dir.path());
    EXPECT_NE(r.out.find("Port 1 carries no universe, as the lowest universe recorded is 7"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("The recording needs 18 ports, more than the 8 of the controller."),
              std::string::npos)
        << r.out;
    r = RunCli({"parse", "--file", pcap, "--universes", "100-102", "--json"}, dir.path());
    const auto report = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(report.is_object()) << r.out;
    EXPECT_EQ(report["ports"], 1);
    EXPECT_EQ(report["selectedUniverses"], "100-102");
    EXPECT_EQ(report["universes"][0]["port"], nullptr);  // universe 7, left out
    EXPECT_EQ(report["universes"][3]["port"], 1);
    for (const std::vector<std::string>& chosen :
         {std::vector<std::string>{"--first-universe", "100"},
          std::vector<std::string>{"--universes", "100-102"}}) {
        std::vector<std::string> args{"record",   "--file",          pcap,
                                      "--output", dir.File("a.RGB"), "--overwrite"};
        args.insert(args.end(), chosen.begin(), chosen.end());
        r = RunCli(args, dir.path());
        ASSERT_EQ(r.code, kExitOk) << r.err;
        EXPECT_NE(r.out.find("Port 1: universes 100-102, 1536 bytes."), std::string::npos) << r.out;
        uint32_t first = 0;
        uint32_t count = 0;
        EXPECT_TRUE(HoldsPatternFrames(dir.File("a.RGB"), {100, 101, 102}, 512, &first, &count));
        EXPECT_EQ(count, 20u);
        EXPECT_EQ(ReadRecording(dir.File("a.RGB")).header.portCount, 1);
        r = RunCli({"inspect", dir.File("a.RGB")}, dir.path());
        EXPECT_NE(r.out.find("  Universe 102: 512 bytes from 2.0.0.1, port 1\n"), std::string::npos)
            << r.out;
    }
    // One or the other; a list must be universes.
    EXPECT_EQ(
        RunCli({"parse", "--file", pcap, "--first-universe", "1", "--universes", "1"}, dir.path())
            .code,
        kExitUsage);
    r = RunCli({"parse", "--file", pcap, "--universes", "100-x"}, dir.path());
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find("--universes: \"100-x\" is not a universe"), std::string::npos) << r.err;
}

// A universe the survey never saw is told once and the recording goes on with whole frames;
// --strict fails a run only when a recorded frame lacks a surveyed universe.
TEST(CliRecordFile, AStrayUniverseIsToldOnceAndStrictFailsOnlyOnAnIncompleteFrame) {
    TempDir dir;
    const auto write = [&](const std::string& name, int frameWithoutUniverse3) {
        PcapWriter pcap(dir.File(name));
        uint64_t us = 0;
        // 300 frames over 2.4 s; universe 6 comes after the survey's 1.5 s.
        for (int f = 1; f <= 300; ++f) {
            for (int u = 0; u < (f <= 250 ? 6 : 7); ++u) {
                if (f == frameWithoutUniverse3 && u == 3) continue;
                pcap.Write(UdpFrame(ArtDmx(u, SequenceOf(f), ShowData(f, u, 512))), us += 1000);
            }
            us += 2000;
        }
    };
    write("grows.pcap", 0);
    write("gap.pcap", 30);
    CliResult r = RunCli({"record", "--file", dir.File("grows.pcap"), "--output", dir.File("g.RGB"),
                          "--strict", "--buffer-mb", "1", "--frames", "1000"},
                         dir.path());
    ASSERT_EQ(r.code, kExitOk) << r.err;
    const std::string stray = "Universe num:6, out of range！";
    const size_t told = r.out.find(stray);
    EXPECT_NE(told, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(stray, told + 1), std::string::npos) << r.out;
    uint32_t first = 0;
    uint32_t count = 0;
    ASSERT_TRUE(HoldsPatternFrames(dir.File("g.RGB"), kSixUniverses, 512, &first, &count));
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(first + count - 1, 300u);

    r = RunCli({"record", "--file", dir.File("gap.pcap"), "--output", dir.File("gap.RGB"),
                "--strict", "--frames", "1000"},
               dir.path());
    EXPECT_EQ(r.code, kExitNotWhole) << r.err;
    EXPECT_NE(r.out.find(", 1 incomplete frames,"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("not whole"), std::string::npos) << r.err;
    EXPECT_EQ(ReadRecording(dir.File("gap.RGB")).header.frameCount, 300);  // saved all the same
    // inspect's verdict tells what the notes counted: valid, but not whole.
    r = RunCli({"inspect", dir.File("gap.RGB")}, dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("\nValid recording, but not whole: its notes count 1 incomplete frames "
                         "and 0 frames lost while it was recorded.\n"),
              std::string::npos)
        << r.out;
    r = RunCli({"inspect", "--json", dir.File("gap.RGB")}, dir.path());
    EXPECT_NE(r.out.find("\"valid\":true,\"whole\":false"), std::string::npos) << r.out;
}

// Time and start triggers pick the frames: channel 1 of universe 5 carries (5f + 85) mod 256,
// so it reaches 128 in frame 9 and falls below it in frame 35.
TEST(CliRecordFile, DurationAndStartTriggersChooseTheFramesRecorded) {
    TempDir dir;
    const std::string pcap = dir.File("show.pcap");
    ASSERT_EQ(RunCli({"send", "--pcap", pcap, "--frames", "200"}, dir.path()).code, kExitOk);
    ASSERT_EQ(
        RunCli({"send", "--pcap", dir.File("dark.pcap"), "--frames", "40", "--dark-frames", "10"},
               dir.path())
            .code,
        kExitOk);
    int run = 0;
    const auto record = [&](const std::string& from, std::vector<std::string> more, uint32_t* first,
                            uint32_t* count) {
        const std::string output = dir.File("r" + std::to_string(++run) + ".RGB");
        std::vector<std::string> args{"record", "--file", from, "--output", output};
        args.insert(args.end(), more.begin(), more.end());
        const CliResult r = RunCli(args, dir.path());
        EXPECT_EQ(r.code, kExitOk) << r.err;
        return HoldsPatternFrames(output, kSixUniverses, 512, first, count);
    };
    uint32_t first = 0;
    uint32_t count = 0;
    // 2 s at 40 frames per second; --frames, when given too, may come first.
    EXPECT_TRUE(record(pcap, {"--duration", "2s"}, &first, &count));
    EXPECT_EQ(count, 80u);
    EXPECT_TRUE(record(pcap, {"--duration", "00:02", "--frames", "50"}, &first, &count));
    EXPECT_EQ(count, 50u);
    EXPECT_TRUE(record(pcap, {"--until-stopped"}, &first, &count));
    EXPECT_EQ(first + count - 1, 200u);  // the file's end stopped it

    EXPECT_TRUE(record(pcap, {"--start-when", "5/1>=128", "--frames", "5"}, &first, &count));
    EXPECT_EQ(first, 9u);
    EXPECT_EQ(count, 5u);
    EXPECT_TRUE(record(pcap, {"--start-when", "5/1>=128", "--stop-when-released"}, &first, &count));
    EXPECT_EQ(first, 9u);
    EXPECT_EQ(first + count - 1, 34u);
    EXPECT_TRUE(record(dir.File("dark.pcap"), {"--start-when", "first-light"}, &first, &count));
    EXPECT_EQ(first, 11u);
    EXPECT_EQ(first + count - 1, 40u);

    // A channel the survey did not find is the recorder's refusal; a bad condition a usage error.
    CliResult r =
        RunCli({"record", "--file", pcap, "--output", dir.File("x.RGB"), "--start-when", "9/1>=1"},
               dir.path());
    EXPECT_EQ(r.code, kExitRefused);
    EXPECT_NE(r.err.find("universe 9"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("x.RGB")));
    EXPECT_FALSE(fs::exists(dir.File("temp.RGB")));
    r = RunCli({"record", "--file", pcap, "--output", dir.File("x.RGB"), "--start-when",
                "first-light", "--stop-when-released"},
               dir.path());
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find("--stop-when-released needs a channel condition"), std::string::npos)
        << r.err;
}

// Where record `n` (from 0) of a capture file written here starts (host byte order).
size_t PcapRecordAt(const Bytes& pcap, int n) {
    size_t at = 24;
    for (int k = 0; k < n; ++k) {
        uint32_t captured = 0;
        std::memcpy(&captured, &pcap[at + 8], 4);
        at += 16 + captured;
    }
    return at;
}

// A capture that breaks half-way, or a disk that fills up, ends the run with exit 6 and the
// frames so far saved whole.
TEST(CliRecordFile, ABrokenCaptureOrAFullDiskSavesTheFramesSoFarAndExits6) {
    TempDir dir;
    const std::string pcap = dir.File("show.pcap");
    ASSERT_EQ(RunCli({"send", "--pcap", pcap, "--frames", "600"}, dir.path()).code, kExitOk);
    const Bytes whole = ReadFileBytes(pcap);
    // After the survey's 1.5 s, which then never meets the break.
    const size_t half = PcapRecordAt(whole, 6 * 100);
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(half + 16 + 100));
    Bytes garbage = whole;
    std::memset(&garbage[half + 8], 0xEE, 4);  // a captured length no packet has
    const auto recordsAndFails = [&](const std::string& output, const std::string& reason) {
        const CliResult r =
            RunCli({"record", "--file", pcap, "--output", output, "--frames", "1000"}, dir.path());
        EXPECT_EQ(r.code, kExitIo) << r.err;
        size_t said = 0;
        for (size_t at = 0; (at = r.out.find(reason, at)) != std::string::npos; ++at) ++said;
        EXPECT_EQ(said, 1u) << r.out;
        EXPECT_EQ(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("Saved: " + output), std::string::npos) << r.out;
        uint32_t first = 0;
        uint32_t count = 0;
        EXPECT_TRUE(HoldsPatternFrames(output, kSixUniverses, 512, &first, &count));
        EXPECT_GT(count, 0u);
        return count;
    };
    // Both breaks are in frame 101: nothing after them is recorded.
    WriteBytes(pcap, cut);
    EXPECT_LE(recordsAndFails(dir.File("cut.RGB"), "Capture error: "), 100u);
    WriteBytes(pcap, garbage);
    EXPECT_LE(recordsAndFails(dir.File("garbage.RGB"), "Capture error: "), 100u);

    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
    // A mount namespace of the test's own: the file system never shows outside it.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
        GTEST_SKIP() << "cannot make a mount namespace: " << std::strerror(errno);
    }
    const std::string small = dir.File("small");
    fs::create_directory(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    }
    WriteBytes(pcap, whole);  // about 2 MB of frames for 1 MB of room
    EXPECT_LT(recordsAndFails(small + "/full.RGB", "Writing the recording failed: "), 600u);
    umount2(small.c_str(), MNT_DETACH);
}

// The system calls of a `strace -f` log, "name(arguments) = result", in the order they ended;
// one split by another thread's call is joined again.
std::vector<std::string> TracedCalls(const std::string& log) {
    std::map<std::string, std::string> started;  // by thread
    std::vector<std::string> calls;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        // The thread id is padded to a width: "2413  openat(...)".
        const size_t space = line.find(' ');
        const size_t start = line.find_first_not_of(' ', space);
        if (start == std::string::npos) continue;
        const std::string thread = line.substr(0, space);
        std::string call = line.substr(start);
        if (const size_t at = call.find(" <unfinished ...>"); at != std::string::npos) {
            started[thread] = call.substr(0, at);
            continue;
        }
        if (call.rfind("<... ", 0) == 0) {
            call = started[thread] + call.substr(call.find(" resumed>") + 9);
        }
        calls.push_back(call);
    }
    return calls;
}

// The descriptor a call returned, or -1.
int ReturnedFd(const std::string& call) {
    const size_t at = call.rfind(" = ");
    return at == std::string::npos ? -1 : std::atoi(call.c_str() + at + 3);
}

TEST(CliDurableSave, TheFileIsSyncedBeforeItsMoveAndItsFolderAfter) {
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "strace is missing or cannot trace here (scripts/setup.sh installs it)";
    }
    // LeakSanitizer cannot run under a tracer; the sanitizer builds run this test too.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    TempDir dir;
    ShowPlan plan;
    plan.frames = 200;
    WriteShow(dir.File("show.pcap"), plan);
    const std::string log = dir.File("strace.log");
    // Each batch of frames is held back 0.4 s: a recording of more than a second, whose count
    // is brought up to date on the way.
    const CliResult r =
        CliProcess({"record", "--file", dir.File("show.pcap"), "--output", dir.File("d.RGB"),
                    "--frames", "200"},
                   dir.path(), -1,
                   {"strace", "-f", "-s", "4096", "-o", log, "-e",
                    "trace=openat,close,fsync,fdatasync,rename,renameat,renameat2,writev,pwrite64",
                    "-e", "inject=writev:delay_enter=400000"})
            .Wait();
    ASSERT_EQ(r.code, kExitOk) << r.err;
    const std::vector<std::string> calls = TracedCalls(ReadText(log));
    const auto find = [&](size_t from, const std::string& start, const std::string& has = "") {
        for (size_t i = from; i < calls.size(); ++i) {
            if (calls[i].rfind(start, 0) == 0 && calls[i].find(has) != std::string::npos) return i;
        }
        return calls.size();
    };
    const std::string working = dir.File("temp.RGB");
    const size_t created = find(0, "openat(AT_FDCWD, \"" + working + "\"", "O_CREAT");
    ASSERT_LT(created, calls.size()) << "temp.RGB was never created";
    const std::string fd = std::to_string(ReturnedFd(calls[created]));
    const size_t moved = find(created, "rename", "\"" + working + "\", \"" + dir.File("d.RGB"));
    ASSERT_LT(moved, calls.size()) << "temp.RGB was never renamed to d.RGB";
    const size_t synced = find(created, "fsync(" + fd + ")", " = 0");
    EXPECT_LT(synced, moved) << "temp.RGB was not synced before its move";
    // Every count written into the header follows a sync of the frames written before it, so
    // that a crash never leaves a count that runs ahead of the frames on the medium.
    size_t counts = 0;
    bool framesSynced = true;
    for (size_t i = created; i < moved; ++i) {
        const std::string& call = calls[i];
        if (call.rfind("writev(" + fd + ",", 0) == 0) framesSynced = false;
        if ((call.rfind("fdatasync(" + fd + ")", 0) == 0 ||
             call.rfind("fsync(" + fd + ")", 0) == 0) &&
            call.find(" = 0") != std::string::npos) {
            framesSynced = true;
        }
        if (call.rfind("pwrite64(" + fd + ",", 0) == 0 &&
            call.find(", 2, 14)") != std::string::npos && call.find(" = 2") != std::string::npos) {
            ++counts;
            EXPECT_TRUE(framesSynced)
                << "the count was written before the frames were synced: " << call;
        }
    }
    EXPECT_GE(counts, 2u) << "the count was not brought up to date during the recording";
    EXPECT_LT(synced, find(created, "close(" + fd + ")")) << "temp.RGB was closed unsynced";
    const size_t folder = find(moved, "openat(AT_FDCWD, \"" + dir.path() + "\"", "O_DIRECTORY");
    ASSERT_LT(folder, calls.size()) << "the folder was not opened after the move";
    EXPECT_LT(find(folder, "fsync(" + std::to_string(ReturnedFd(calls[folder])) + ")", " = 0"),
              calls.size())
        << "the folder was not synced after the move";
}

// Nothing on disk is written through, replaced or lost by a run that records nothing.
TEST(CliWorkingFile, ExistingFilesAreNeitherWrittenThroughNorReplacedNorLost) {
    TempDir dir;
    const std::string pcap = dir.File("show.pcap");
    ASSERT_EQ(RunCli({"send", "--pcap", pcap, "--frames", "40"}, dir.path()).code, kExitOk);
    const auto record = [&](const std::string& output, const std::string& from) {
        return RunCli({"record", "--file", from, "--output", dir.File(output), "--frames", "5",
                       "--overwrite"},
                      dir.path());
    };
    const std::string working = dir.File("temp.RGB");
    WriteBytes(dir.File("victim"), Bytes{'k', 'e', 'e', 'p'});
    fs::create_symlink(dir.File("victim"), working);
    for (bool fifo : {false, true}) {
        const CliResult r = record("a.RGB", pcap);
        EXPECT_EQ(r.code, kExitRefused) << "fifo " << fifo;
        EXPECT_NE(r.err.find(working + " is not a regular file"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir.File("a.RGB")));
        fs::remove(working);
        ASSERT_TRUE(fifo || mkfifo(working.c_str(), 0600) == 0);
    }
    EXPECT_EQ(ReadText(dir.File("victim")), "keep");

    ASSERT_EQ(record("a.RGB", pcap).code, kExitOk);
    const Bytes saved = ReadFileBytes(dir.File("a.RGB"));
    CliResult r = RunCli({"record", "--file", pcap, "--output", dir.File("a.rgb")}, dir.path());
    EXPECT_EQ(r.code, kExitRefused);
    EXPECT_EQ(r.err, "quorvex-cli: " + dir.File("a.RGB") +
                         " already exists; add --overwrite to replace it\n");

    // A start trigger that never fires (channel 1 of universe 0 is 5f mod 256, 255 first in
    // frame 51): nothing is recorded, nothing replaced.
    r = RunCli({"record", "--file", pcap, "--output", dir.File("a.RGB"), "--overwrite",
                "--start-when", "0/1>=255"},
               dir.path());
    EXPECT_EQ(r.code, kExitNoData) << r.err;
    EXPECT_EQ(ReadFileBytes(dir.File("a.RGB")), saved);
    EXPECT_FALSE(fs::exists(working));

    // As a crash leaves it: frames, a count of 0, part of a frame.
    Bytes left = saved;
    left[kRgbFrameCountOffset] = left[kRgbFrameCountOffset + 1] = 0;
    left.insert(left.end(), {1, 2, 3});
    WriteBytes(working, left);
    r = record("b.RGB", pcap);
    ASSERT_EQ(r.code, kExitOk) << r.err;
    std::smatch moved;
    ASSERT_TRUE(
        std::regex_search(r.out, moved,
                          std::regex("An unsaved recording of 5 frames was moved aside: (.*/"
                                     "Unsaved-[0-9]{8}-[0-9]{6}\\.RGB)\n")))
        << r.out;
    EXPECT_EQ(fs::path(moved[1].str()).parent_path(), fs::path(dir.path()));
    EXPECT_EQ(ReadFileBytes(moved[1].str()), saved);
}

// The log lines of terminal output: what follows each erase-line up to a new line. A log
// line written over the progress line without erasing it first keeps the progress text.
std::string LogLinesOf(std::string shown) {
    for (size_t at; (at = shown.find("\r\n")) != std::string::npos;) shown.erase(at, 1);
    std::string lines;
    for (size_t at = 0, next = 0; next != shown.size(); at = next + 4) {
        next = std::min(shown.find("\r\033[K", at), shown.size());
        const std::string part = shown.substr(at, next - at);
        if (!part.empty() && part.back() == '\n') lines += part;
    }
    return lines;
}

TEST(CliRecordFile, TheProgressLineOnATerminalLeavesTheLogWhole) {
    TempDir dir;
    WriteShow(dir.File("show.pcap"), ShowPlan{});
    // Both runs write p.RGB: the second replaces the first.
    const std::vector<std::string> args{"record",   "--file",          dir.File("show.pcap"),
                                        "--output", dir.File("p.RGB"), "--frames",
                                        "5",        "--overwrite"};
    const CliResult plain = RunCli(args, dir.path());
    ASSERT_EQ(plain.code, kExitOk) << plain.err;

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    const CliResult onTerminal = CliProcess(args, dir.path(), slave).Wait();
    EXPECT_EQ(onTerminal.code, kExitOk) << onTerminal.err;
    fcntl(master, F_SETFL, O_NONBLOCK);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
    close(slave);
    close(master);

    EXPECT_NE(shown.find("5 frames written of 5"), std::string::npos) << shown;
    EXPECT_EQ(LogLinesOf(shown), plain.out) << shown;
}

TEST(CliInspect, AFifoIsRefusedAtOnceAndAnyFileNameGivesValidJson) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.File("pipe.RGB").c_str(), 0600), 0);
    CliResult r = CliProcess({"inspect", dir.File("pipe.RGB")}, dir.path()).Wait();
    EXPECT_EQ(r.code, kExitIo);  // -1 when it hung on the read
    EXPECT_NE(r.err.find(dir.File("pipe.RGB") + " is not a regular file"), std::string::npos)
        << r.err;
    // What a repair refuses tells by its exit code, in any language.
    WriteBytes(dir.File("notes.txt"), Bytes(600, 'n'));
    for (const char* locale : {"LANG=C", "LANG=zh_CN.UTF-8"}) {
        EXPECT_EQ(
            CliProcess({"inspect", "--repair", dir.File("notes.txt")}, dir.path(), -1, {}, {locale})
                .Wait()
                .code,
            kExitInvalid)
            << locale;
    }
    EXPECT_EQ(RunCli({"inspect", "--repair", dir.File("missing.RGB")}, dir.path()).code, kExitIo);
    r = RunCli({"inspect", dir.File("missing.RGB")}, dir.path());
    EXPECT_EQ(r.code, kExitIo);
    EXPECT_EQ(r.err, "quorvex-cli: No such file: " + dir.File("missing.RGB") + "\n");

    // Two frames, a gamma curve, and a name that is no UTF-8.
    Bytes rgb = BuildRgbHeader(PortLayout{1, {30}, 30}, IcTypeCode(1), false);
    const size_t gamma = rgb.size() - 512;
    for (int i = 0; i < 256; ++i) rgb[gamma + 2 * i + 1] = static_cast<uint8_t>(i * i / 255);
    rgb[kRgbFrameCountOffset + 1] = 2;
    rgb.resize(rgb.size() + 60, 7);
    const std::string odd = dir.File("bad\xff.RGB");
    WriteBytes(odd, rgb);
    r = RunCli({"inspect", "--json", odd}, dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    if (std::system("python3 -c 'import json' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is missing: cannot check the JSON (scripts/setup.sh installs it)";
    }
    WriteBytes(dir.File("report.json"), Bytes(r.out.begin(), r.out.end()));
    const std::string check =
        "python3 -c 'import json,sys; d = json.loads(sys.stdin.buffer.read().decode(\"utf-8\")); "
        "print(d[\"gammaTable\"], d[\"valid\"], d[\"file\"].endswith(\"/bad\\ufffd.RGB\"))' < " +
        dir.File("report.json") + " 2>&1";
    std::string parsed;
    if (std::FILE* p = popen(check.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p)) parsed += buffer;
        pclose(p);
    }
    EXPECT_EQ(parsed, "custom True True\n") << r.out;
}

// --repair touches only what a crash leaves: a sound header whose count is off, and at most
// part of a frame at the end. A damage anywhere in the header refuses it, the file unchanged.
TEST(CliInspect, RepairChangesOnlyWhatACrashLeaves) {
    TempDir dir;
    // Two ports (300 + 212 bytes), ten frames: H = 561, 5681 bytes.
    Bytes whole = BuildRgbHeader(PortLayout{2, {300, 212}, 512}, IcTypeCode(1), false);
    ASSERT_EQ(whole.size(), 561u);
    whole[kRgbFrameCountOffset + 1] = 10;
    for (int f = 0; f < 10; ++f) {
        const Bytes frame = Pattern(512, static_cast<uint8_t>(f));
        whole.insert(whole.end(), frame.begin(), frame.end());
    }
    // As a crash leaves it: a count of 0 and 100 bytes of an eleventh frame.
    Bytes crashed = whole;
    crashed[kRgbFrameCountOffset + 1] = 0;
    crashed.resize(crashed.size() + 100, 0xAB);
    const std::string path = dir.File("r.RGB");
    const auto repair = [&](const Bytes& bytes) {
        WriteBytes(path, bytes);
        return RunCli({"inspect", "--repair", path}, dir.path());
    };

    CliResult r = repair(crashed);
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(ReadFileBytes(path), whole);
    EXPECT_NE(r.out.find("Repaired " + path +
                         ": the header counted 0 frames, now 10; 100 bytes of a partial frame at "
                         "the end were dropped."),
              std::string::npos)
        << r.out;
    Bytes overcounted = whole;
    overcounted[kRgbFrameCountOffset + 1] = 12;
    EXPECT_EQ(repair(overcounted).code, kExitOk);
    EXPECT_EQ(ReadFileBytes(path), whole);
    r = repair(whole);
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_NE(r.out.find("Nothing to repair"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFileBytes(path), whole);

    struct Damage {
        const char* what;
        size_t at;
        std::vector<uint8_t> bytes;
    };
    const size_t port1 = 23 + 13;
    const size_t gamma = 23 + 26;
    const Damage damages[] = {
        {"tag RGB0", 0, {'X'}},
        {"tag 1001", 5, {'1'}},
        {"FF FF FF FF", 8, {0xFE}},
        {"H - 1", 12, {0x02, 0x31}},
        {"frame length 700", 16, {0, 0, 0x02, 0xBC}},
        {"frame length 0", 16, {0, 0, 0, 0}},
        {"impossible frame length", 16, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"port count 1", 20, {0, 1}},
        {"port count 3", 20, {0, 3}},
        {"port count 0", 20, {0, 0}},
        {"01 at 22", 22, {0x02}},
        {"port number", 23, {0, 1}},
        {"port length", 25, {0x01, 0x2D}},
        {"zero bytes of a port", 27, {0, 0, 1, 0}},
        {"IC code", 31, {5}},
        {"80 of a port", 32, {0}},
        {"00 after 80", 33, {1}},
        {"RGBW byte", 34, {0x40}},
        {"last byte of a port", 35, {1}},
        {"second port's IC type", port1 + 8, {3}},
        {"second port's RGBW", port1 + 11, {0x80}},
        {"gamma all zero", gamma, Bytes(512, 0)},
        {"gamma falling", gamma + 2 * 200, {0, 10}},
    };
    for (const Damage& d : damages) {
        Bytes damaged = crashed;
        std::copy(d.bytes.begin(), d.bytes.end(), damaged.begin() + static_cast<long>(d.at));
        r = repair(damaged);
        EXPECT_EQ(r.code, kExitInvalid) << d.what << ": " << r.err;
        EXPECT_EQ(ReadFileBytes(path), damaged) << d.what;
        EXPECT_NE(r.err.find("cannot repair " + path + ", left as it was: "), std::string::npos)
            << d.what << ": " << r.err;
    }
    // More frames than a header can count: cutting them would lose the show.
    Bytes tiny = BuildRgbHeader(PortLayout{1, {1}, 1}, IcTypeCode(1), false);
    tiny.resize(tiny.size() + 65536, 7);
    r = repair(tiny);
    EXPECT_EQ(r.code, kExitInvalid) << r.err;
    EXPECT_NE(r.err.find("it holds 65536 whole frames, more than a header counts (65535)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFileBytes(path), tiny);
}

// Every failure to write, sync, update or move the recording ends the run with exit 6 and a
// message that says where the recording is; what could be saved is saved.
TEST(CliRecordFile, EachFailureToWriteTheRecordingExits6AndSaysWhereItIs) {
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "strace is missing or cannot trace here (scripts/setup.sh installs it)";
    }
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // LeakSanitizer cannot run under a tracer
    TempDir dir;
    ShowPlan plan;
    plan.frames = 200;
    WriteShow(dir.File("show.pcap"), plan);
    const std::string working = dir.File("temp.RGB");
    const std::string output = dir.File("out.RGB");
    enum Left { kNothing, kOutput, kWorking };
    struct Case {
        const char* inject;  // strace's tampering, on temp.RGB or, with `folder`, its folder
        bool folder;
        std::vector<std::string> said;  // on stdout or stderr
        Left left;
    };
    const std::string unfinished = "The recording could not be finished (";
    const std::string keptAt = ").\nIt was kept as \"temp.RGB\": " + working + "\n";
    const Case cases[] = {
        {"writev:error=EIO:when=1",
         false,
         {"Writing the recording failed: Input/output error\n",
          "no frame was recorded; nothing was saved\n"},
         kNothing},
        {"writev:error=ENOSPC:when=2",
         false,
         {"Writing the recording failed: No space left on device\n", "Saved: " + output + "\n"},
         kOutput},
        {"write:error=ENOSPC:when=1",
         false,
         {"Cannot write the recording file " + working + "\nNo space left on device\n"},
         kNothing},
        {"fdatasync:error=EIO", false, {unfinished + "Input/output error" + keptAt}, kWorking},
        {"fsync:error=ENOSPC", false, {unfinished + "No space left on device" + keptAt}, kWorking},
        {"pwrite64:error=EIO", false, {unfinished + "Input/output error" + keptAt}, kWorking},
        {"rename,renameat,renameat2:error=EIO",
         false,
         {"The recording could not be saved as " + output + " (Input/output error" + keptAt},
         kWorking},
        {"fsync:error=EIO:when=1",
         true,
         {"The recording is at " + output +
          ", but its folder could not be synced (Input/output error): a power cut now may "
          "lose it.\n"},
         kOutput},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inject);
        fs::remove(output);
        fs::remove(NotesPath(output));
        fs::remove(working);
        const CliResult r =
            CliProcess(
                {"record", "--file", dir.File("show.pcap"), "--output", output, "--frames", "200"},
                dir.path(), -1,
                {"strace", "-f", "-o", "/dev/null", "-P", c.folder ? dir.path() : working, "-e",
                 std::string("inject=") + c.inject})
                .Wait();
        EXPECT_EQ(r.code, kExitIo) << r.err;
        for (const std::string& said : c.said) {
            EXPECT_NE((r.out + r.err).find(said), std::string::npos) << r.out << r.err;
        }
        // "Saved" only once the recording and its folder are on the medium.
        EXPECT_EQ(r.out.find("Saved: ") != std::string::npos, c.left == kOutput && !c.folder)
            << r.out;
        EXPECT_EQ(fs::exists(output), c.left == kOutput);
        EXPECT_EQ(fs::exists(working), c.left == kWorking);
        if (c.left == kOutput) {
            uint32_t first = 0;
            uint32_t count = 0;
            EXPECT_TRUE(HoldsPatternFrames(output, kSixUniverses, 512, &first, &count));
            EXPECT_GT(count, 0u);
        }
        if (c.left == kWorking) {
            // Every frame, whole; the count is set, or left for --repair when the frames could
            // not be synced before it.
            const Recording kept = ReadRecording(working);
            EXPECT_EQ(kept.frames.size(), 200u);
            EXPECT_EQ(kept.trailing, 0u);
        }
    }

    // A file size limit stops the writes inside the fourth frame: three whole frames saved.
    fs::remove(output);
    fs::remove(NotesPath(output));
    const std::string limit = "--fsize=" + std::to_string(RgbHeaderLength(1) + 3 * 3072 + 1000);
    CliResult limited = CliProcess({"record", "--file", dir.File("show.pcap"), "--output", output,
                                    "--frames", "200"},
                                   dir.path(), -1, {"prlimit", limit})
                            .Wait();
    EXPECT_EQ(limited.code, kExitIo) << limited.err;
    EXPECT_NE(limited.out.find("Writing the recording failed: File too large\n"), std::string::npos)
        << limited.out;
    uint32_t first = 0;
    uint32_t count = 0;
    EXPECT_TRUE(HoldsPatternFrames(output, kSixUniverses, 512, &first, &count));
    EXPECT_EQ(count, 3u);

    // Notes that cannot be written (a folder in their place) leave a whole recording: a
    // warning, and success.
    fs::remove(working);
    fs::remove(output);
    fs::remove(NotesPath(output));
    fs::create_directory(NotesPath(output));
    const CliResult r =
        RunCli({"record", "--file", dir.File("show.pcap"), "--output", output, "--frames", "20"},
               dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.err.find("quorvex-cli: warning: " + output +
                         " is saved, but its notes could not be written: cannot write " +
                         NotesPath(output) + ": Is a directory\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(HoldsPatternFrames(output, kSixUniverses, 512, &first, &count));
    EXPECT_EQ(count, 20u);
    EXPECT_TRUE(fs::is_directory(NotesPath(output)));
}

// Control characters in a file name or a notes file never reach the terminal: they are shown
// escaped.
TEST(CliInspect, NamesAndNotesReachTheTerminalEscaped) {
    TempDir dir;
    // An OSC that retitles the terminal, a clear screen, a carriage return, a C1 CSI.
    const std::string evil = "\x1b]0;owned\x07\x1b[2J\r\xc2\x9b";
    const std::string shown = "\\x1b]0;owned\\x07\\x1b[2J\\x0d\\u009b";
    Bytes rgb = BuildRgbHeader(PortLayout{1, {6}, 6}, IcTypeCode(1), false);
    rgb[kRgbFrameCountOffset + 1] = 1;
    rgb.resize(rgb.size() + 6, 9);
    // A file name need not be UTF-8 either: a lone CSI byte.
    const std::string path = dir.File("show" + evil + "\x9b.RGB");
    const std::string pathShown = dir.File("show" + shown + "\\x9b.RGB");
    WriteBytes(path, rgb);
    RecordingNotes notes;
    notes.universes = {{0, 6, "10.0.0.1" + evil}};
    notes.ports = 1;
    notes.icType = "SPI&TTL" + evil;
    notes.startTime = "2024-05-01T20:15:00Z" + evil;
    ASSERT_TRUE(WriteNotes(path, notes));
    // The texts around them are ASCII, or UTF-8 without a 9B byte.
    const auto clean = [](const std::string& text) {
        return text.find_first_of("\x1b\x07\r\x9b") == std::string::npos;
    };
    CliResult r = RunCli({"inspect", path}, dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_TRUE(clean(r.out)) << r.out;
    EXPECT_NE(r.out.find("File:           " + pathShown + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  Universe 0: 6 bytes from 10.0.0.1" + shown + ", port 1\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("IC type SPI&TTL" + shown + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Recorded from 2024-05-01T20:15:00Z" + shown + " at"), std::string::npos)
        << r.out;
    // Damaged, under --repair, previewed, played, and as a capture file: every message.
    rgb.push_back(1);
    WriteBytes(path, rgb);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"inspect", path}, {"preview", path}, {"play", path}, {"parse", "--file", path}}) {
        r = RunCli(args, dir.path());
        EXPECT_NE(r.code, kExitOk) << args[0];
        EXPECT_TRUE(clean(r.out + r.err)) << args[0] << ": " << r.out << r.err;
        EXPECT_NE(r.err.find(pathShown), std::string::npos) << args[0] << ": " << r.err;
    }
}

// sACN into a capture file, read back with libpcap: per frame one data packet per universe
// to its multicast group, then a synchronization packet; or all to a unicast --target.
TEST(CliSend, SacnCaptureCarriesDataThenSyncPerFrame) {
    TempDir dir;
    const auto read = [&](const std::vector<std::string>& more) {
        std::vector<std::string> args{
            "send",     "--pcap", dir.File("sacn.pcap"), "--protocol", "sacn", "--universes", "0-2",
            "--frames", "4",      "--channels",          "10"};
        args.insert(args.end(), more.begin(), more.end());
        const CliResult r = RunCli(args, dir.path());
        EXPECT_EQ(r.code, kExitOk) << r.err;
        std::vector<Bytes> udp;
        char error[PCAP_ERRBUF_SIZE];
        pcap_t* p = pcap_open_offline(dir.File("sacn.pcap").c_str(), error);
        if (!p) {
            ADD_FAILURE() << error;
            return udp;
        }
        pcap_pkthdr* h = nullptr;
        const u_char* data = nullptr;
        while (pcap_next_ex(p, &h, &data) == 1) udp.emplace_back(data + 14, data + h->caplen);
        pcap_close(p);
        return udp;
    };

    std::vector<Bytes> packets = read({"--sync"});
    ASSERT_EQ(packets.size(), 4u * 4);
    for (size_t i = 0; i < packets.size(); ++i) {
        const Bytes& ip = packets[i];
        const size_t frame = i / 4;
        const bool sync = i % 4 == 3;
        EXPECT_EQ(Be16(ip, 20), 5568);
        EXPECT_EQ(Be16(ip, 22), 5568);
        EXPECT_EQ(ip.size(), 28u + (sync ? 49 : 136)) << i;
        // Data to 239.255.0.(u + 1); sync to the first universe's group, sequence per frame.
        EXPECT_EQ(Bytes(ip.begin() + 16, ip.begin() + 20),
                  (Bytes{239, 255, 0, static_cast<uint8_t>(sync ? 1 : i % 4 + 1)}))
            << i;
        EXPECT_EQ(ip.at(28 + (sync ? 44 : 111)), frame) << i;
    }
    packets = read({"--target", "10.1.2.3"});
    ASSERT_EQ(packets.size(), 4u * 3);
    EXPECT_EQ(Bytes(packets[5].begin() + 16, packets[5].begin() + 20), (Bytes{10, 1, 2, 3}));
}

TEST(CliRefusals, ExitCodesTellWhatWentWrong) {
    TempDir dir;
    CliResult r = RunCli({"send", "--target", "10.0.0.1", "--frames", "1"}, dir.path());
    EXPECT_EQ(r.code, kExitRefused);
    EXPECT_NE(r.err.find("--allow-network"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("real show network"), std::string::npos) << r.err;
    // sACN-only options with Art-Net, and sACN universes past 63999.
    EXPECT_EQ(RunCli({"send", "--pcap", dir.File("m.pcap"), "--multicast"}, dir.path()).code,
              kExitUsage);
    EXPECT_EQ(
        RunCli({"send", "--pcap", dir.File("m.pcap"), "--protocol", "sacn", "--universes", "63999"},
               dir.path())
            .code,
        kExitUsage);
    // play guards the network as send does, and checks the file first.
    WriteBytes(dir.File("cut.RGB"), Bytes{'R', 'G', 'B', '0'});
    EXPECT_EQ(RunCli({"play", dir.File("cut.RGB")}, dir.path()).code, kExitInvalid);
    r = RunCli({"play", dir.File("cut.RGB"), "--target", "10.0.0.1"}, dir.path());
    EXPECT_EQ(r.code, kExitRefused) << r.err;

    EXPECT_EQ(RunCli({"record", "--output", dir.File("x.RGB")}, dir.path()).code, kExitUsage);
    // An empty value is no value: a usage error, never "none".
    for (const char* option : {"--duration", "--start-when"}) {
        r = RunCli(
            {"record", "--file", dir.File("cut.RGB"), "--output", dir.File("x.RGB"), option, ""},
            dir.path());
        EXPECT_EQ(r.code, kExitUsage) << option << ": " << r.err;
    }
    EXPECT_NE(r.err.find("--start-when: a start condition is"), std::string::npos) << r.err;
    r = RunCli({"record", "--file", dir.File("cut.RGB"), "--output", dir.File("x.RGB"),
                "--duration", "0x10"},
               dir.path());
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_EQ(r.err,
              "quorvex-cli: --duration needs a time in one of the forms 90, 90s, 2m30s, 1h2m3s, "
              "02:30, above 0, not \"0x10\"\n");

    WriteBytes(dir.File("notes.txt"), Bytes{'n', 'o', 't', ' ', 'p', 'c', 'a', 'p'});
    r = RunCli({"parse", "--file", dir.File("notes.txt")}, dir.path());
    EXPECT_EQ(r.code, kExitSource);
    EXPECT_NE(r.err.find("Cannot open the capture file"), std::string::npos) << r.err;
    EXPECT_EQ(RunCli({"parse", "--interface", "no-such-adapter0"}, dir.path()).code, kExitSource);

    // A capture without Art-Net: nothing to record, and nothing left behind.
    PcapWriter(dir.File("empty.pcap")).Write(UdpFrame(ArtPoll()), 1);
    r = RunCli({"record", "--file", dir.File("empty.pcap"), "--output", dir.File("e.RGB")},
               dir.path());
    EXPECT_EQ(r.code, kExitNoData);
    EXPECT_FALSE(fs::exists(dir.File("temp.RGB")));

    // More ports than a header can describe: refused before anything is written.
    ASSERT_EQ(RunCli({"send", "--pcap", dir.File("wide.pcap"), "--universes", "0,30000", "--frames",
                      "20", "--channels", "8"},
                     dir.path())
                  .code,
              kExitOk);
    r = RunCli({"record", "--file", dir.File("wide.pcap"), "--output", dir.File("w.RGB")},
               dir.path());
    EXPECT_EQ(r.code, kExitRefused);
    EXPECT_NE(r.err.find("Universe 30000 at 6 universes per port needs 5001 ports"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir.File("w.RGB")));
    EXPECT_FALSE(fs::exists(dir.File("temp.RGB")));
}

TEST(CliDevices, ListsLoopbackWithoutTheLibraryDiagnostics) {
    TempDir dir;
    CliResult r = RunCli({"devices"}, dir.path());
    ASSERT_EQ(r.code, kExitOk) << r.err;
    // "index  name  address  description  link", names padded to one width.
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n?. +[0-9]+  lo +127\\.0\\.0\\.1"))) << r.out;
    EXPECT_EQ(r.out.find("Address:"), std::string::npos) << r.out;

    r = RunCli({"devices", "--verbose"}, dir.path());
    EXPECT_NE(r.err.find("\tAddress: 127.0.0.1"), std::string::npos) << r.err;

    r = RunCli({"devices", "--json", "--verbose"}, dir.path());
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_TRUE(r.out.ends_with("}\n")) << r.out;
    const auto listed = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(listed.is_object()) << r.out;
    nlohmann::json lo;
    for (const auto& d : listed["devices"]) {
        if (d["name"] == "lo") lo = d;
    }
    EXPECT_EQ(lo["addresses"], nlohmann::json({"127.0.0.1"})) << r.out;
    EXPECT_EQ(lo["loopback"], true) << r.out;
    EXPECT_EQ(lo["up"], true) << r.out;
    EXPECT_EQ(lo["automatic"], false) << r.out;

    // libpcap's pseudo-devices ("any" on every Linux) only with --all.
    const auto names = [](const std::string& json) {
        std::vector<std::string> out;
        const auto listed = nlohmann::json::parse(json);
        for (const auto& d : listed["devices"]) out.push_back(d["name"]);
        return out;
    };
    const auto ethernetLike = names(r.out);
    EXPECT_EQ(std::count(ethernetLike.begin(), ethernetLike.end(), "any"), 0) << r.out;
    r = RunCli({"devices", "--json", "--all"}, dir.path());
    const auto all = names(r.out);
    EXPECT_EQ(std::count(all.begin(), all.end(), "any"), 1) << r.out;
    EXPECT_GT(all.size(), ethernetLike.size());
}

// The locale's language, decided by LC_ALL, LC_MESSAGES and LANG alone: Chinese for a Chinese
// locale, English for any other and for none, in ASCII; the texts as written only when asked
// for with QUORVEX_TEXTS=original.
TEST(CliUsage, MessagesComeInTheLanguageOfTheLocale) {
    TempDir dir;
    const std::string pcap = dir.File("show.pcap");
    ASSERT_EQ(RunCli({"send", "--pcap", pcap, "--frames", "5"}, dir.path()).code, kExitOk);
    WriteBytes(dir.File("a.RGB"), Bytes{1});
    const auto run = [&](const std::vector<std::string>& args, const std::string& locale) {
        return CliProcess(args, dir.path(), -1, {}, {locale}).Wait();
    };
    const std::vector<std::string> refused{"record", "--file", pcap, "--output", dir.File("a.RGB")};
    CliResult r = run(refused, "LANG=zh_CN.UTF-8");
    EXPECT_EQ(r.code, kExitRefused);
    EXPECT_EQ(r.err, "quorvex-cli: " + dir.File("a.RGB") + " 已存在；加上 --overwrite 可替换它\n");
    r = run(refused, "LANG=en_US.UTF-8");
    EXPECT_EQ(r.err, "quorvex-cli: " + dir.File("a.RGB") +
                         " already exists; add --overwrite to replace it\n");
    // English mends what the original texts got wrong, whatever the locale that is not Chinese.
    const std::vector<std::string> recorded{"record", "--file", pcap, "--output",
                                            dir.File("b.RGB")};
    for (const char* locale : {"LANG=en_US.UTF-8", "LC_ALL=C", "LANG=C.UTF-8", "LC_ALL=POSIX",
                               "LANG=de_DE.UTF-8", "QUORVEX_TEXTS="}) {
        r = run({"parse", "--file", pcap}, locale);
        EXPECT_NE(r.out.find("Universes found: 6\nHighest universe: 5\nUniverses per port: 6; "
                             "ports in the recording: 1.\n"),
                  std::string::npos)
            << locale << "\n"
            << r.out;
        std::filesystem::remove(dir.File("b.RGB"));
        CliResult saved = run(recorded, locale);
        EXPECT_EQ(saved.code, kExitOk) << saved.err;
        EXPECT_NE(saved.out.find("Stopped!\n"), std::string::npos) << locale;
        for (const std::string* text : {&r.out, &r.err, &saved.out, &saved.err}) {
            EXPECT_TRUE(std::all_of(text->begin(), text->end(),
                                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
                << locale << ": not ASCII:\n"
                << *text;
        }
    }
    r = run({"parse", "--file", pcap}, "QUORVEX_TEXTS=original");
    EXPECT_NE(r.out.find("each port carries 6 universes，The capture file will be set to 1 ports"),
              std::string::npos)
        << r.out;
}

TEST(CliUsage, VersionAndHelpNameTheProgramNotItsPath) {
    TempDir dir;
    CliResult r = RunCli({"--version"}, dir.path());
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("quorvex-cli [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << r.out;
    r = RunCli({"record", "--help"}, dir.path());
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_NE(r.out.find("Usage: quorvex-cli record [OPTIONS]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(QUORVEX_CLI_PATH), std::string::npos) << r.out;
}

}  // namespace
}  // namespace quorvex::test
