// quorvex-cli end to end: capture files made by `send --pcap` or the tests' builder, recorded
// by `record --file`, checked byte for byte, then `inspect`, `devices` and the refusals.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "cli/exit_codes.h"
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
    EXPECT_EQ(r.out,
              "Parse to 6 Universes\n"
              "Max universe num is:6\n"
              "The current setting is that each port carries 6 universes，The capture file will "
              "be set to 1 ports.\n"
              "The length of each frame is 3072 bytes.\n");

    // Into a folder that does not exist yet; the engine renames show.rgb to show.RGB.
    const std::string out = dir.File("takes/show.rgb");
    r = RunCli({"record", "--file", pcap, "--output", out, "--frames", "30"}, dir.path());
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
    // The survey skips frame 1, surveys frame 2 and ends on the first packet of frame 3; the
    // recording starts at the next boundary.
    EXPECT_EQ(first, 4u);

    r = RunCli({"inspect", dir.File("takes/show.RGB")}, dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("Valid recording."), std::string::npos) << r.out;

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
    EXPECT_EQ(first, 243u);
    // Every whole frame up to the end of the file: the last one never sees its end.
    EXPECT_EQ(first + count - 1, 278u);

    r = RunCli({"inspect", "--json", dir.File("gaps.RGB")}, dir.path());
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("\"portCount\":3,\"ports\":[{\"number\":0,\"length\":340,\"icType\":"
                         "\"TM1814\",\"icCode\":27,\"rgbw\":true,\"constantBytesValid\":true},"
                         "{\"number\":1,\"length\":0,"),
              std::string::npos)
        << r.out;
}

// A universe the survey never saw halts the recording: the run stops it and saves the frames
// before it, as Stop does in the window.
TEST(CliRecordFile, AnErrorInTheDataEndsTheRecordingWithTheFramesSoFar) {
    TempDir dir;
    {
        PcapWriter pcap(dir.File("grows.pcap"));
        uint64_t us = 0;
        for (int f = 1; f <= 40; ++f) {
            for (int u = 0; u < (f <= 20 ? 6 : 7); ++u) {
                pcap.Write(UdpFrame(ArtDmx(u, SequenceOf(f), ShowData(f, u, 512))), us += 1000);
            }
        }
    }
    const CliResult r = RunCli(
        {"record", "--file", dir.File("grows.pcap"), "--output", dir.File("g.RGB")}, dir.path());
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find("Universe num:6, out of range！"), std::string::npos) << r.out;
    uint32_t first = 0;
    uint32_t count = 0;
    ASSERT_TRUE(HoldsPatternFrames(dir.File("g.RGB"), kSixUniverses, 512, &first, &count));
    EXPECT_EQ(first, 4u);
    EXPECT_EQ(first + count - 1, 20u);
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

TEST(CliRefusals, ExitCodesTellWhatWentWrong) {
    TempDir dir;
    CliResult r = RunCli({"send", "--target", "10.0.0.1", "--frames", "1"}, dir.path());
    EXPECT_EQ(r.code, kExitRefused);
    EXPECT_NE(r.err.find("--allow-network"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("real show network"), std::string::npos) << r.err;

    EXPECT_EQ(RunCli({"record", "--output", dir.File("x.RGB")}, dir.path()).code, kExitUsage);

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
}

}  // namespace
}  // namespace quorvex::test
