// quorvex-cli on live traffic: `send --target 127.0.0.1` recorded from the loopback device of
// a network namespace of the test's own, so no other test's Art-Net gets in and nothing
// leaves the machine. As root it opens the device itself; without any capability, as a user
// of the package runs it, it records through the capture helper.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli/exit_codes.h"
#include "recording/recording_notes.h"
#include "tests/cli/cli_process.h"
#include "tests/support/net_isolation.h"
#include "tests/support/unprivileged.h"

namespace quorvex::test {
namespace {

namespace fs = std::filesystem;
const std::vector<int> kSixUniverses{0, 1, 2, 3, 4, 5};

class CliLive : public testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root: live capture in a network namespace";
        std::string why;
        if (!IsolateNetwork(&why)) GTEST_SKIP() << why;
    }
    std::unique_ptr<CliProcess> StartSender(std::vector<std::string> more = {}) {
        // Until Ctrl-C, which each test sends it.
        std::vector<std::string> args{"send", "--target", "127.0.0.1", "--frames", "0"};
        args.insert(args.end(), more.begin(), more.end());
        return std::make_unique<CliProcess>(args, dir.path());
    }
    // Waits until temp.RGB holds `frames` frames of the pattern.
    void WaitForFrames(size_t frames) const {
        WaitUntil([&] {
            std::error_code ec;
            const auto n = fs::file_size(dir.File("temp.RGB"), ec);
            return !ec && n >= 548 + frames * 3072;
        });
    }
    TempDir dir;
};

// Art-Net, then senders that number no frames: Art-Net with Sequence 0 and sACN, each with and
// without synchronization packets. The survey starts wherever the sender happens to be.
TEST_F(CliLive, RecordsThePatternSentToLoopback) {
    const std::vector<std::vector<std::string>> senders{
        {"--target", "127.0.0.1"},
        {"--target", "127.0.0.1", "--no-sequence", "--fps", "100"},
        {"--target", "127.0.0.1", "--no-sequence", "--sync", "--fps", "100"},
        {"--protocol", "sacn", "--multicast", "--fps", "100"},
        {"--protocol", "sacn", "--target", "127.0.0.1", "--sync", "--fps", "100"}};
    for (const auto& how : senders) {
        SCOPED_TRACE(testing::PrintToString(how));
        std::vector<std::string> args{"send", "--duration", "120"};
        args.insert(args.end(), how.begin(), how.end());
        CliProcess sender(args, dir.path());
        const std::string output = dir.File("live.RGB");
        const CliResult r = RunCli({"record", "--interface", "lo", "--frames", "100", "--output",
                                    output, "--overwrite", "--join"},
                                   dir.path());
        sender.Signal(SIGINT);
        EXPECT_EQ(sender.Wait().code, cli::kExitInterrupted);
        ASSERT_EQ(r.code, cli::kExitOk) << r.err;
        uint32_t first = 0;
        uint32_t count = 0;
        EXPECT_TRUE(HoldsPatternFrames(output, kSixUniverses, 512, &first, &count));
        EXPECT_EQ(count, 100u);
        const bool sacn = how[0] == "--protocol";
        EXPECT_EQ(r.out.find("Joined the multicast groups of 6 sACN universes on lo.") !=
                      std::string::npos,
                  sacn)
            << r.out;
    }
}

// --duration counts recorded time by the packets' capture times, whatever the sender's pace:
// the recording ends with the first frame at or past it (the frame counts themselves are
// checked against capture files, whose times are exact).
TEST_F(CliLive, ADurationEndsTheRecording) {
    const auto sender = StartSender();
    const CliResult r = RunCli(
        {"record", "--interface", "lo", "--duration", "2s", "--output", dir.File("timed.RGB")},
        dir.path());
    sender->Signal(SIGINT);
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    uint32_t first = 0;
    uint32_t count = 0;
    EXPECT_TRUE(HoldsPatternFrames(dir.File("timed.RGB"), kSixUniverses, 512, &first, &count));
    EXPECT_GT(count, 1u);
    const auto notes = ReadNotes(dir.File("timed.RGB"));
    ASSERT_TRUE(notes && *notes) << notes.error();
    EXPECT_GE((*notes)->check.seconds, 2.0);
    EXPECT_EQ((*notes)->check.framesWritten, count);
}

// Two senders at different rates, one of them with more universes than a short table would
// hold, watched as JSON and as the table a pipe gets, each with one universe's channels, which
// follow the sent pattern: channel c is channel 0 plus c.
TEST_F(CliLive, MonitorShowsEachUniverseAtItsOwnRate) {
    const auto fast = StartSender({"--universes", "0-1", "--fps", "40"});
    const auto slow = StartSender({"--universes", "2-1201", "--fps", "10"});
    CliProcess json({"monitor", "--interface", "lo", "--seconds", "2", "--json", "--universe", "1"},
                    dir.path());
    CliProcess table({"monitor", "--interface", "lo", "--seconds", "2", "--universe", "2"},
                     dir.path());
    const CliResult j = json.Wait();
    const CliResult t = table.Wait();
    fast->Signal(SIGINT);
    slow->Signal(SIGINT);
    ASSERT_EQ(j.code, cli::kExitOk) << j.err;
    ASSERT_EQ(t.code, cli::kExitOk) << t.err;

    EXPECT_EQ(j.out.rfind("{\"interface\":\"lo\",\"seconds\":", 0), 0u) << j.out;
    EXPECT_NE(j.out.find("\"pairs\":1202,\"complete\":true,"), std::string::npos);
    const std::regex row(
        "\\{\"universe\":([0-9]+),\"protocol\":\"Art-Net\",\"source\":\"127\\.0\\.0\\.1\","
        "\"recorded\":false,\"packets\":[1-9][0-9]*,\"packetsPerSecond\":[0-9.]+,"
        "\"framesPerSecond\":([0-9.]+),\"lastSeenSecondsAgo\":[0-9.]+,\"stale\":false,"
        "\"length\":512,\"level\":255\\}");
    std::map<int, double> fps;
    for (std::sregex_iterator m(j.out.begin(), j.out.end(), row), end; m != end; ++m) {
        fps[std::stoi((*m)[1])] = std::stod((*m)[2]);
    }
    ASSERT_EQ(fps.size(), 1202u);
    EXPECT_GT(fps[0], fps[2]);
    EXPECT_GT(fps[2], 0);
    const size_t channels =
        j.out.find("\"channels\":{\"universe\":1,\"length\":512,\"channels\":[");
    ASSERT_NE(channels, std::string::npos) << j.out;
    std::istringstream values(j.out.substr(j.out.find('[', channels) + 1));
    std::vector<int> sent;
    for (int v; values >> v; values.ignore(1)) sent.push_back(v);
    ASSERT_EQ(sent.size(), 512u) << j.out;
    for (int c = 0; c < 512; ++c) ASSERT_EQ(sent[c], (sent[0] + c) % 256) << c;

    EXPECT_EQ(t.out.rfind("Art-Net input on lo over ", 0), 0u) << t.out;
    EXPECT_TRUE(std::regex_search(
        t.out, std::regex("\n +2  Art-Net +127\\.0\\.0\\.1 +[0-9.]+ +[0-9.]+ +[0-9.]+ s +255")))
        << t.out;
    const size_t grid = t.out.find("Universe 2, 512 channels:\n");
    ASSERT_NE(grid, std::string::npos) << t.out;
    std::istringstream lines(t.out.substr(grid));
    std::string line;
    std::getline(lines, line);
    int first = -1;
    for (int l = 0; l < 32 && std::getline(lines, line); ++l) {
        std::istringstream cells(line);
        int number = 0;
        cells >> number;
        EXPECT_EQ(number, l * 16 + 1);
        for (int c = 0, v; c < 16 && cells >> v; ++c) {
            if (first < 0) first = v;
            EXPECT_EQ(v, (first + l * 16 + c) % 256) << line;
        }
    }
    EXPECT_EQ(t.out.find('\x1b'), std::string::npos);
}

// Ctrl-C, and a closed terminal or a quit key alike.
TEST_F(CliLive, StopSignalsStopAndSaveTheFramesSoFar) {
    const auto sender = StartSender();
    for (int sig : {SIGINT, SIGHUP, SIGQUIT}) {
        const std::string output = dir.File("cut-" + std::to_string(sig) + ".RGB");
        CliProcess recorder({"record", "--interface", "lo", "--frames", "60000", "--output",
                             dir.File("cut-" + std::to_string(sig) + ".rgb")},
                            dir.path());
        WaitForFrames(20);
        recorder.Signal(sig);
        const CliResult r = recorder.Wait();
        ASSERT_EQ(r.code, cli::kExitOk) << "signal " << sig << ": " << r.err;
        EXPECT_NE(r.out.find("Saved: " + output), std::string::npos) << r.out;
        uint32_t first = 0;
        uint32_t count = 0;
        EXPECT_TRUE(HoldsPatternFrames(output, kSixUniverses, 512, &first, &count));
        EXPECT_GE(count, 20u) << "signal " << sig;
    }
    sender->Signal(SIGINT);
}

// kill -9 leaves temp.RGB with a count that never runs ahead of its frames; --repair makes it
// whole. Meanwhile a second recorder may not take the same folder.
TEST_F(CliLive, AKilledRecordingLeavesACountedFileThatRepairs) {
    const auto sender = StartSender();
    const std::string working = dir.File("temp.RGB");
    CliProcess recorder(
        {"record", "--interface", "lo", "--frames", "60000", "--output", dir.File("k.RGB")},
        dir.path());
    // The header counts the frames once a second: at 40 a second, 60 take a second count.
    WaitUntil([&] { return ReadRecording(working).header.frameCount >= 60; });

    WriteShow(dir.File("show.pcap"), ShowPlan{});
    CliResult r =
        RunCli({"record", "--file", dir.File("show.pcap"), "--output", dir.File("second.RGB")},
               dir.path());
    EXPECT_EQ(r.code, cli::kExitRefused);
    EXPECT_NE(r.err.find("Another recording is writing " + working + " right now"),
              std::string::npos)
        << r.err;

    recorder.Signal(SIGKILL);
    ASSERT_EQ(recorder.Wait().code, 128 + SIGKILL);
    sender->Signal(SIGINT);
    const Recording killed = ReadRecording(working);
    ASSERT_TRUE(killed.valid);
    EXPECT_GE(killed.header.frameCount, 60u);
    EXPECT_LE(killed.header.frameCount, killed.frames.size());

    r = RunCli({"inspect", "--repair", working}, dir.path());
    EXPECT_EQ(r.code, cli::kExitOk) << r.err;
    const std::string told =
        killed.header.frameCount == killed.frames.size() && killed.trailing == 0
            ? "Nothing to repair in " + working
            : "Repaired " + working + ": the header counted " +
                  std::to_string(killed.header.frameCount) + " frames, now " +
                  std::to_string(killed.frames.size());
    EXPECT_EQ(r.out.rfind(told, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Valid recording."), std::string::npos) << r.out;
    uint32_t first = 0;
    uint32_t count = 0;
    EXPECT_TRUE(HoldsPatternFrames(working, kSixUniverses, 512, &first, &count));
    EXPECT_EQ(count, killed.frames.size());
}

// Once its device is open neither a recording nor the monitor keeps a capture right, in any
// thread.
TEST_F(CliLive, RecordingAndMonitorHoldNoCaptureRights) {
    const auto sender = StartSender();
    CliProcess recorder(
        {"record", "--interface", "lo", "--frames", "60000", "--output", dir.File("r.RGB")},
        dir.path());
    WaitForFrames(5);
    std::set<std::string> threads = ThreadsHoldingNone(recorder.Pid(), kNetAdminAndRaw);
    EXPECT_TRUE(threads.count("quorvex-packets") && threads.count("quorvex-writer"))
        << testing::PrintToString(threads);
    recorder.Signal(SIGINT);
    EXPECT_EQ(recorder.Wait().code, cli::kExitOk);

    // Ends by itself: a Ctrl-C before its first packet would rightly exit "nothing seen".
    CliProcess monitor({"monitor", "--interface", "lo", "--seconds", "2"}, dir.path());
    WaitForThread(monitor.Pid(), "quorvex-monitor");
    threads = ThreadsHoldingNone(monitor.Pid(), kNetAdminAndRaw);
    EXPECT_TRUE(threads.count("quorvex-monitor")) << testing::PrintToString(threads);
    EXPECT_EQ(monitor.Wait().code, cli::kExitOk);
    sender->Signal(SIGINT);
}

// quorvex-cli as the package installs it: a copy beside a copy of the capture helper that
// alone holds the capture capabilities, run without any capability of its own.
class CliThroughHelper : public CliLive {
  protected:
    void SetUp() override {
        CliLive::SetUp();
        if (IsSkipped()) return;
        std::string why;
        ASSERT_TRUE(InstallWithHelper(dir.path(), {QUORVEX_CLI_PATH}, QUORVEX_CAPTURE_HELPER, &why))
            << why;
    }
    std::unique_ptr<CliProcess> Start(const std::vector<std::string>& args) const {
        return std::make_unique<CliProcess>(args, dir.path(), -1, WithoutCapabilities(),
                                            std::vector<std::string>{}, dir.File("quorvex-cli"));
    }
    // The helper of `pid`, once it runs.
    pid_t HelperOf(pid_t pid) const {
        std::vector<pid_t> helpers;
        WaitUntil([&] { return !(helpers = ChildrenNamed(pid, "quorvex-capture")).empty(); });
        EXPECT_EQ(helpers.size(), 1u);
        return helpers.empty() ? -1 : helpers[0];
    }
};

// No thread of the recorder holds a capability; the helper holds none once its device is open
// and can gain none. The survey, the recording and the kernel's counters come through it, and
// it ends with the recorder, also with one killed outright.
TEST_F(CliThroughHelper, RecordsWithoutAnyCapability) {
    const auto sender = StartSender();
    const auto recorder =
        Start({"record", "--interface", "lo", "--frames", "60000", "--output", dir.File("r.RGB")});
    WaitForFrames(5);
    const std::set<std::string> threads = ThreadsHoldingNone(recorder->Pid(), kEveryCapability);
    EXPECT_TRUE(threads.count("quorvex-packets") && threads.count("quorvex-writer"))
        << testing::PrintToString(threads);
    const pid_t helper = HelperOf(recorder->Pid());
    ASSERT_GT(helper, 0);
    ThreadsHoldingNone(helper, kEveryCapability);
    EXPECT_EQ(StatusField(helper, "NoNewPrivs"), "1");
    recorder->Signal(SIGINT);
    const CliResult r = recorder->Wait();
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    EXPECT_NE(r.out.find("Waiting for Art-Net or sACN on lo"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" packets dropped by the kernel."), std::string::npos) << r.out;
    uint32_t first = 0;
    uint32_t count = 0;
    EXPECT_TRUE(HoldsPatternFrames(dir.File("r.RGB"), kSixUniverses, 512, &first, &count));
    EXPECT_GE(count, 5u);
    EXPECT_TRUE(EndsSoon(helper));

    // On a silent network, where no write of the helper would fail.
    sender->Signal(SIGINT);
    EXPECT_EQ(sender->Wait().code, cli::kExitInterrupted);
    const auto monitor = Start({"monitor", "--interface", "lo"});
    const pid_t watching = HelperOf(monitor->Pid());
    ASSERT_GT(watching, 0);
    monitor->Signal(SIGKILL);
    EXPECT_EQ(monitor->Wait().code, 128 + SIGKILL);
    EXPECT_TRUE(EndsSoon(watching)) << "the helper outlived a killed monitor";
}

// The interface goes away during a recording: it ends with the reason, what was recorded is
// saved, and the exit code is 6.
TEST_F(CliThroughHelper, AnInterfaceThatGoesAwayEndsTheRecording) {
    // A veth pair in this namespace: Art-Net sent out of one end to a neighbour of its own
    // arrives at the other, which nothing else uses.
    ASSERT_EQ(std::system("ip link add qvc0 type veth peer name qvc1 && ip link set qvc0 up && "
                          "ip link set qvc1 up && ip addr add 10.99.0.1/24 dev qvc1 && "
                          "ip neigh add 10.99.0.9 lladdr 02:00:00:00:00:09 dev qvc1"),
              0);
    CliProcess sender({"send", "--target", "10.99.0.9", "--allow-network", "--frames", "0"},
                      dir.path());
    const auto recorder = Start(
        {"record", "--interface", "qvc0", "--frames", "60000", "--output", dir.File("v.RGB")});
    WaitForFrames(20);
    // Down first, then gone: the capture hears only of the first, and must look again.
    ASSERT_EQ(std::system("ip link set qvc0 down && sleep 0.3 && ip link del qvc0"), 0);
    const CliResult r = recorder->Wait();
    EXPECT_EQ(r.code, cli::kExitIo) << r.err;
    EXPECT_NE(r.out.find("Capture error: The interface disappeared"), std::string::npos) << r.out;
    uint32_t first = 0;
    uint32_t count = 0;
    EXPECT_TRUE(HoldsPatternFrames(dir.File("v.RGB"), kSixUniverses, 512, &first, &count));
    EXPECT_GE(count, 20u);
}

// Interrupted before the first frame, in the survey or after it: an existing output stays as
// it was and no temp.RGB is left.
TEST_F(CliLive, SilentNetworkTimesOutOrIsInterrupted) {
    CliResult r = RunCli({"parse", "--interface", "lo", "--timeout", "1"}, dir.path());
    EXPECT_EQ(r.code, cli::kExitNoData);
    EXPECT_NE(r.err.find("no whole Art-Net frame seen on the interface lo within 1 s"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("quorvex-cli monitor --interface lo"), std::string::npos) << r.err;

    r = RunCli({"monitor", "--interface", "lo", "--seconds", "0.5", "--json"}, dir.path());
    EXPECT_EQ(r.code, cli::kExitNoData);
    EXPECT_NE(r.out.find("\"universes\":[]}"), std::string::npos) << r.out;

    const std::string output = dir.File("never.RGB");
    std::ofstream(output) << "keep";
    for (bool surveyed : {false, true}) {
        CliProcess recorder(
            {"record", "--interface", "lo", "--timeout", "0", "--output", output, "--overwrite"},
            dir.path());
        WaitUntil([&] { return recorder.ErrSoFar().find("surveying") != std::string::npos; });
        // Four frames: the survey takes three, the fourth never ends.
        std::unique_ptr<CliProcess> sender;
        if (surveyed) {
            sender = std::make_unique<CliProcess>(
                std::vector<std::string>{"send", "--target", "127.0.0.1", "--frames", "4", "--fps",
                                         "8"},
                dir.path());
            WaitUntil(
                [&] { return recorder.ErrSoFar().find("recording up to") != std::string::npos; });
            ASSERT_NE(recorder.ErrSoFar().find("recording up to"), std::string::npos);
        }
        recorder.Signal(SIGINT);
        r = recorder.Wait();
        EXPECT_EQ(r.code, cli::kExitInterrupted) << r.err;
        EXPECT_EQ(ReadText(output), "keep") << "surveyed " << surveyed;
        EXPECT_FALSE(fs::exists(dir.File("temp.RGB"))) << "surveyed " << surveyed;
    }
}

}  // namespace
}  // namespace quorvex::test
