// The window as the package installs it: a copy of the program beside a copy of the capture
// helper that alone holds the capture capabilities, started without any capability of its
// own. It captures through the helper, no thread of it holds a capability, and the helper
// ends when the window dies. Runs as root in a network namespace of its own.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/child_process.h"
#include "tests/support/loopback_sender.h"
#include "tests/support/net_isolation.h"
#include "tests/support/unprivileged.h"

namespace quorvex::test {
namespace {

namespace fs = std::filesystem;

TEST(WindowProcess, HoldsNoCapabilityAndCapturesThroughTheHelper) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: capabilities and a network namespace";
    std::string why;
    if (!IsolateNetwork(&why)) GTEST_SKIP() << why;
    TempDir dir;
    ASSERT_TRUE(InstallWithHelper(dir.path(), {QUORVEX_PROGRAM}, QUORVEX_CAPTURE_HELPER, &why))
        << why;
    // The adapter used last time: the window opens it half a second after start.
    fs::create_directories(dir.File("config/Quorvex"));
    std::ofstream(dir.File("config/Quorvex/Quorvex.conf")) << "[General]\nadapter=lo\n";
    ChildProcess window(
        dir.File("quorvex"), {}, dir.path(), -1, WithoutCapabilities(),
        {"QT_QPA_PLATFORM=offscreen", "QUORVEX_LOG_STDERR=1", "HOME=" + dir.path(),
         "XDG_CONFIG_HOME=" + dir.File("config"), "XDG_DATA_HOME=" + dir.File("data")});
    // The live view reads the adapter once it is open.
    WaitForThread(window.Pid(), "quorvex-monitor");
    const std::vector<pid_t> helpers = ChildrenNamed(window.Pid(), "quorvex-capture");
    ASSERT_EQ(helpers.size(), 1u) << window.ErrSoFar();
    const pid_t helper = helpers[0];

    // Art-Net flows while the window's threads are looked at.
    LoopbackSocket socket;
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(socket.SendArtDmx(i % 4, 1, Bytes(512, 1)));
    const std::set<std::string> threads = ThreadsHoldingNone(window.Pid(), kEveryCapability);
    EXPECT_TRUE(threads.count("quorvex-monitor")) << testing::PrintToString(threads);
    ThreadsHoldingNone(helper, kEveryCapability);
    EXPECT_EQ(StatusField(helper, "NoNewPrivs"), "1");

    window.Signal(SIGKILL);
    EXPECT_EQ(window.Wait().code, 128 + SIGKILL);
    EXPECT_TRUE(EndsSoon(helper)) << "the helper outlived the window";
}

}  // namespace
}  // namespace quorvex::test
