// quorvex-cli on live traffic: `send --target 127.0.0.1` recorded from the loopback device of
// a network namespace of the test's own, so no other test's Art-Net gets in and nothing
// leaves the machine.

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/exit_codes.h"
#include "tests/cli/cli_process.h"
#include "tests/support/net_isolation.h"

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
    std::unique_ptr<CliProcess> StartSender() {
        return std::make_unique<CliProcess>(
            std::vector<std::string>{"send", "--target", "127.0.0.1", "--duration", "120"},
            dir.path());
    }
    TempDir dir;
};

TEST_F(CliLive, RecordsThePatternSentToLoopback) {
    const auto sender = StartSender();
    const CliResult r =
        RunCli({"record", "--interface", "lo", "--frames", "100", "--output", dir.File("live.RGB")},
               dir.path());
    sender->Signal(SIGINT);
    EXPECT_EQ(sender->Wait().code, cli::kExitInterrupted);
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    uint32_t first = 0;
    uint32_t count = 0;
    EXPECT_TRUE(HoldsPatternFrames(dir.File("live.RGB"), kSixUniverses, 512, &first, &count));
    EXPECT_EQ(count, 100u);
}

TEST_F(CliLive, CtrlCStopsAndSavesTheFramesSoFar) {
    const auto sender = StartSender();
    CliProcess recorder(
        {"record", "--interface", "lo", "--frames", "60000", "--output", dir.File("cut.rgb")},
        dir.path());
    // Stop once some frames are on disk.
    WaitUntil([&] {
        std::error_code ec;
        const auto n = fs::file_size(dir.File("temp.RGB"), ec);
        return !ec && n >= 548 + 20 * 3072;
    });
    recorder.Signal(SIGINT);
    const CliResult r = recorder.Wait();
    sender->Signal(SIGINT);
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    EXPECT_NE(r.out.find("Saved: " + dir.File("cut.RGB")), std::string::npos) << r.out;
    uint32_t first = 0;
    uint32_t count = 0;
    EXPECT_TRUE(HoldsPatternFrames(dir.File("cut.RGB"), kSixUniverses, 512, &first, &count));
    EXPECT_GE(count, 20u);
}

TEST_F(CliLive, SilentNetworkTimesOutOrIsInterrupted) {
    CliResult r = RunCli({"parse", "--interface", "lo", "--timeout", "1"}, dir.path());
    EXPECT_EQ(r.code, cli::kExitNoData);
    EXPECT_NE(r.err.find("no whole Art-Net frame seen on the interface lo within 1 s"),
              std::string::npos)
        << r.err;

    CliProcess recorder(
        {"record", "--interface", "lo", "--timeout", "0", "--output", dir.File("never.RGB")},
        dir.path());
    WaitUntil([&] { return recorder.ErrSoFar().find("surveying") != std::string::npos; });
    recorder.Signal(SIGINT);
    r = recorder.Wait();
    EXPECT_EQ(r.code, cli::kExitInterrupted) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("never.RGB")));
    EXPECT_FALSE(fs::exists(dir.File("temp.RGB")));
}

}  // namespace
}  // namespace quorvex::test
