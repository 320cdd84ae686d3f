// Listing and opening live capture devices.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "capture/win_pcap.h"
#include "tests/capture/capture_rights.h"
#include "tests/support/fake_window_services.h"

namespace quorvex {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

bool SameEntry(const DeviceEntry& a, const DeviceEntry& b) {
    return a.name == b.name && a.description == b.description && a.address == b.address;
}

TEST(Devices, LoopbackIsListedWithItsAddress) {
    test::FakeWindowServices ui;
    CWinPcap pcap(&ui);
    ASSERT_EQ(pcap.FindDevices(), 1);
    bool found = false;
    for (const DeviceEntry& d : pcap.m_devices) {
        if (d.name == "lo") {
            EXPECT_EQ(d.address, "127.0.0.1");
            found = true;
        }
    }
    EXPECT_TRUE(found) << "no device named lo";
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST(Devices, EnumeratingTwiceAppendsTheSameListAgain) {
    // Other tests may add or remove interfaces between the two calls: retry a few times.
    bool same = false;
    std::vector<DeviceEntry> devices;
    for (int attempt = 0; attempt < 3 && !same; ++attempt) {
        CWinPcap pcap;
        ASSERT_EQ(pcap.FindDevices(), 1);
        const size_t once = pcap.m_devices.size();
        ASSERT_GT(once, 0u);
        ASSERT_EQ(pcap.FindDevices(), 1);
        devices = pcap.m_devices;
        if (devices.size() != 2 * once) continue;
        same = true;
        for (size_t i = 0; i < once; ++i) same = same && SameEntry(devices[i], devices[once + i]);
    }
    EXPECT_TRUE(same) << "second listing differs from the first (" << devices.size()
                      << " entries in all)";
}

TEST(Devices, OpeningNoDeviceFailsQuietly) {
    test::FakeWindowServices ui;
    CWinPcap pcap(&ui);
    EXPECT_FALSE(pcap.OpenDevice(""));
    EXPECT_EQ(pcap.m_bOpen, 0);
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST(Devices, OpeningAMissingDeviceShowsLibpcapsReason) {
    const char kName[] = "qvx-nosuchdev0";
    // What libpcap itself says about this device.
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* probe = pcap_create(kName, errbuf);
    std::string reason = errbuf;
    if (probe) {
        EXPECT_LT(pcap_activate(probe), 0);
        reason = pcap_geterr(probe);
        pcap_close(probe);
    }
    ASSERT_FALSE(reason.empty());

    test::FakeWindowServices ui;
    CWinPcap pcap(&ui);
    EXPECT_FALSE(pcap.OpenDevice(kName));
    EXPECT_EQ(pcap.m_bOpen, 0);
    const std::vector<std::string> boxes = ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    const std::vector<std::string> lines = Lines(boxes[0]);
    ASSERT_GE(lines.size(), 2u) << boxes[0];
    EXPECT_EQ(lines[0], "打开网卡出错!");
    EXPECT_EQ(lines[1], reason);
}

class LiveDevices : public testing::Test {
  protected:
    void SetUp() override {
        if (!test::CanCaptureOn("lo")) GTEST_SKIP() << test::kNoRightsMessage;
    }
};

TEST_F(LiveDevices, LoopbackOpens) {
    test::FakeWindowServices ui;
    CWinPcap pcap(&ui);
    ASSERT_TRUE(pcap.OpenDevice("lo"));
    EXPECT_EQ(pcap.m_bOpen, 1);
    EXPECT_FALSE(pcap.IsFile());
    EXPECT_FALSE(pcap.SourceEnded());
    EXPECT_TRUE(pcap.Stats().has_value());
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(LiveDevices, NonEthernetDeviceIsRefusedAndTheUserIsTold) {
    // "any" delivers Linux cooked frames, not Ethernet.
    test::FakeWindowServices ui;
    CWinPcap pcap(&ui);
    testing::internal::CaptureStderr();
    const bool opened = pcap.OpenDevice("any");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(opened);
    EXPECT_EQ(err, "\nThis program works only on Ethernet networks.\n");
    EXPECT_EQ(pcap.m_bOpen, 0);
    // The window's user reads no stderr: a box says it too.
    EXPECT_EQ(
        ui.MessageBoxes(),
        std::vector<std::string>{"打开网卡出错!\nThis program works only on Ethernet networks."});
}

}  // namespace
}  // namespace quorvex
