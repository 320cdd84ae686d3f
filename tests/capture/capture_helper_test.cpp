// The capture helper: whom it refuses and which arguments, what it keeps of its privileges,
// and its stream as a live packet source (kernel drops, a device that goes away, another
// adapter). Live cases run as root in a network namespace of the test's own.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "capture/art_packet.h"
#include "capture/packet_source.h"
#include "tests/support/loopback_sender.h"
#include "tests/support/net_isolation.h"
#include "tests/support/traffic_builder.h"
#include "tests/support/unprivileged.h"

namespace quorvex::test {
namespace {

using Clock = std::chrono::steady_clock;

struct ShellRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line with its output into files of `dir`.
ShellRun Shell(const std::string& command, const TempDir& dir) {
    const std::string out = dir.File("out"), err = dir.File("err");
    const int status = std::system((command + " >" + out + " 2>" + err + " </dev/null").c_str());
    const Bytes o = ReadFileBytes(out), e = ReadFileBytes(err);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(o.begin(), o.end()),
            std::string(e.begin(), e.end())};
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Even a copy that carries the capabilities serves root and the group quorvex alone, and it
// opens network interfaces only. Nothing reaches standard output when it refuses.
TEST(CaptureHelper, RefusesOutsidersAndAnythingButAnInterface) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: runs the helper as nobody";
    TempDir dir;
    std::string why;
    ASSERT_TRUE(InstallWithHelper(dir.path(), {}, QUORVEX_CAPTURE_HELPER, &why)) << why;
    const std::string helper = dir.File("quorvex-capture");

    ShellRun r = Shell(
        "setpriv --reuid nobody --regid nogroup --clear-groups " + helper + " --interface lo", dir);
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_TRUE(Contains(r.err, "members of the group quorvex may capture")) << r.err;
    EXPECT_TRUE(Contains(r.err, "sudo usermod -aG quorvex $USER")) << r.err;
    EXPECT_EQ(r.out, "");

    r = Shell(helper, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Contains(r.err, "Usage: quorvex-capture --interface NAME")) << r.err;
    r = Shell(helper + " --interface lo --join 10.0.0.1", dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Contains(r.err,
                         "--join needs an sACN multicast group 239.255.X.Y, not "
                         "\"10.0.0.1\""))
        << r.err;
    // libpcap would open these; they are no network interface.
    for (const std::string device : {"any", "dbus-system", "../lo"}) {
        r = Shell(helper + " --interface " + device, dir);
        EXPECT_EQ(r.code, 3) << device;
        EXPECT_TRUE(Contains(r.err, "No interface " + device)) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

class HelperStream : public testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root: live capture in a network namespace";
        std::string why;
        if (!IsolateNetwork(&why)) GTEST_SKIP() << why;
    }
    void TearDown() override {
        if (m_reading) m_pcap.EndReading();
    }
    void Open(const std::string& device) {
        ASSERT_TRUE(m_pcap.OpenThroughHelper(QUORVEX_CAPTURE_HELPER, device));
        if (!m_reading) m_pcap.BeginReading();
        m_reading = true;
    }
    // ArtDmx records read until `enough` came or a few seconds passed.
    int Read(int enough) {
        int got = 0;
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (got < enough && Clock::now() < until && !m_pcap.Ended()) {
            const uint8_t* record = nullptr;
            uint16_t length = 0;
            if (m_pcap.NextArtRecord(&record, &length) == ArtKind::Dmx) ++got;
        }
        return got;
    }
    std::vector<pid_t> Helpers() const { return ChildrenNamed(getpid(), "quorvex-capture"); }

    PcapSource m_pcap;
    bool m_reading = false;
};

// Once the device is open the helper holds no capability in any set, the bounding set
// included (it runs as root here), and can gain none.
TEST_F(HelperStream, TheHelperKeepsNothingButTheOpenDevice) {
    Open("lo");
    const std::vector<pid_t> helpers = Helpers();
    ASSERT_EQ(helpers.size(), 1u);
    ThreadsHoldingNone(helpers[0], kEveryCapability);
    EXPECT_EQ(StatusField(helpers[0], "CapBnd"), "0000000000000000");
    EXPECT_EQ(StatusField(helpers[0], "NoNewPrivs"), "1");
    LoopbackSocket socket;
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(socket.SendArtDmx(3, 1, Bytes(512, 9)));
    EXPECT_EQ(Read(10), 10);
    const auto stats = m_pcap.Stats();
    ASSERT_TRUE(stats) << stats.error();
    EXPECT_GE(stats->received, 10u);
    EXPECT_EQ(stats->dropped, 0u);
}

// A reader that falls behind leaves the packets in the helper's kernel ring, which counts what
// it cannot hold; the counters still answer, and the stream goes on. A drain lets go of the
// rest in the helper itself, not through the stream (at line rate the ring would overflow
// again meanwhile), and the kernel's drops count afresh from it.
TEST_F(HelperStream, KernelDropsAreCountedAndADrainStartsAfresh) {
    Open("lo");
    LoopbackSocket socket;
    const Bytes data(512, 7);
    // About 70 MB: twice what the 32 MiB ring and the pipe hold.
    for (int i = 0; i < 120000; ++i) ASSERT_TRUE(socket.SendArtDmx(i % 8, 1, data));
    const auto stats = m_pcap.Stats();
    ASSERT_TRUE(stats) << stats.error();
    EXPECT_GT(stats->dropped, 0u);
    EXPECT_GE(stats->received, 120000u);
    EXPECT_GT(Read(1000), 999);
    EXPECT_FALSE(m_pcap.Ended());

    const uint64_t pulled = m_pcap.FramesRead();
    const auto atDrain = m_pcap.Drain();
    ASSERT_TRUE(atDrain);
    EXPECT_GE(atDrain->dropped, stats->dropped);
    // No more than the pipe and the helper's queue held: the ring alone holds 50,000.
    EXPECT_LT(m_pcap.FramesRead() - pulled, 10000u);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(socket.SendArtDmx(9, 1, data));
    const uint8_t* record = nullptr;
    uint16_t length = 0;
    while (m_pcap.NextArtRecord(&record, &length) != ArtKind::Dmx && !m_pcap.Ended()) {
    }
    ASSERT_FALSE(m_pcap.Ended());
    EXPECT_EQ(RecordUniverse(record), 9) << "a packet from before the drain came after it";
    const auto after = m_pcap.Stats();
    ASSERT_TRUE(after) << after.error();
    EXPECT_EQ(after->dropped, atDrain->dropped);
}

// The device goes away: the stream ends with the helper's reason, and the helper is gone.
TEST_F(HelperStream, ADeviceThatGoesAwayEndsTheStream) {
    ASSERT_EQ(std::system("ip link add qvh0 type veth peer name qvh1 && ip link set qvh0 up && "
                          "ip link set qvh1 up"),
              0);
    Open("qvh0");
    EXPECT_FALSE(m_pcap.Ended());
    ASSERT_EQ(std::system("ip link del qvh0"), 0);
    Read(1);
    ASSERT_TRUE(m_pcap.Ended());
    EXPECT_TRUE(Contains(m_pcap.EndReason(), "The interface disappeared")) << m_pcap.EndReason();
    EXPECT_TRUE(Helpers().empty());
}

// Another adapter, another helper: the one before ends and is waited for, and so is the last
// with its source.
TEST_F(HelperStream, EachAdapterHasAHelperOfItsOwn) {
    {
        PcapSource pcap;
        ASSERT_TRUE(pcap.OpenThroughHelper(QUORVEX_CAPTURE_HELPER, "lo"));
        const std::vector<pid_t> first = Helpers();
        ASSERT_EQ(first.size(), 1u);
        ASSERT_TRUE(pcap.OpenThroughHelper(QUORVEX_CAPTURE_HELPER, "lo"));
        const std::vector<pid_t> second = Helpers();
        ASSERT_EQ(second.size(), 1u);
        EXPECT_NE(second[0], first[0]);
    }
    EXPECT_TRUE(Helpers().empty());
}

}  // namespace
}  // namespace quorvex::test
