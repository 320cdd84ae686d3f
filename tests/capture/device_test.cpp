// Listing and opening live capture devices.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/device_list.h"
#include "capture/packet_source.h"
#include "tests/capture/capture_rights.h"
#include "tests/support/traffic_builder.h"

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
    const auto devices = ListCaptureDevices();
    ASSERT_TRUE(devices) << devices.error();
    bool found = false;
    for (const DeviceEntry& d : *devices) {
        if (d.name == "lo") {
            EXPECT_EQ(d.address, "127.0.0.1");
            EXPECT_NE(
                std::find(d.addressLines.begin(), d.addressLines.end(), "\tAddress: 127.0.0.1"),
                d.addressLines.end());
            found = true;
        }
    }
    EXPECT_TRUE(found) << "no device named lo";
}

// What a show can be recorded from: Ethernet-like interfaces by the kernel's link type, read
// from a stand-in for /sys/class/net; not libpcap's pseudo-devices, which have no interface.
TEST(Devices, EthernetLikeDevicesByTheirLinkType) {
    const test::TempDir net;
    for (const auto& [name, type] : {std::pair{"eth0", "1\n"},
                                     {"lo", "772\n"},
                                     {"wlan0", "1"},
                                     {"sit0", "776\n"},
                                     {"can0", "280\n"},
                                     {"odd", "x\n"}}) {
        std::filesystem::create_directories(net.File(name));
        std::ofstream(net.File(name) + "/type") << type;
    }
    for (const char* name : {"eth0", "lo", "wlan0"}) EXPECT_TRUE(IsEthernetLike(name, net.path()));
    for (const char* name : {"sit0", "can0", "odd", "any", "nflog", "dbus-system",
                             "bluetooth-monitor", "", "..", "../eth0"}) {
        EXPECT_FALSE(IsEthernetLike(name, net.path())) << name;
    }
    // This machine's own.
    EXPECT_TRUE(IsEthernetLike("lo"));
    EXPECT_FALSE(IsEthernetLike("any"));
}

TEST(Devices, ListingTwiceGivesTheSameList) {
    // Other tests may add or remove interfaces between the two calls: retry a few times.
    bool same = false;
    for (int attempt = 0; attempt < 3 && !same; ++attempt) {
        const auto first = ListCaptureDevices();
        const auto second = ListCaptureDevices();
        ASSERT_TRUE(first && second);
        ASSERT_GT(first->size(), 0u);
        if (first->size() != second->size()) continue;
        same = true;
        for (size_t i = 0; i < first->size(); ++i) {
            same = same && SameEntry((*first)[i], (*second)[i]);
        }
    }
    EXPECT_TRUE(same) << "the second listing differs from the first";
}

TEST(Devices, OpeningNoDeviceFails) {
    PcapSource pcap;
    EXPECT_FALSE(pcap.OpenDevice(""));
    EXPECT_FALSE(pcap.IsOpen());
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

    PcapSource pcap;
    const Status opened = pcap.OpenDevice(kName);
    EXPECT_FALSE(opened);
    EXPECT_FALSE(pcap.IsOpen());
    const std::vector<std::string> lines = Lines(opened.error());
    ASSERT_GE(lines.size(), 2u) << opened.error();
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
    PcapSource pcap;
    ASSERT_TRUE(pcap.OpenDevice("lo"));
    EXPECT_TRUE(pcap.IsOpen());
    EXPECT_FALSE(pcap.IsFile());
    EXPECT_FALSE(pcap.Ended());
    EXPECT_TRUE(pcap.Stats());
    // Raised only for the open: no longer effective, still permitted for the next one.
    const CaptureRightsState rights = CurrentCaptureRights();
    EXPECT_FALSE(rights.effective);
    EXPECT_TRUE(rights.permitted);
}

TEST_F(LiveDevices, NonEthernetDeviceIsRefusedWithTheReasonAndNothingPrinted) {
    // "any" delivers Linux cooked frames, not Ethernet.
    PcapSource pcap;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const Status opened = pcap.OpenDevice("any");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(opened);
    EXPECT_FALSE(pcap.IsOpen());
    EXPECT_EQ(opened.error(), "打开网卡出错!\nThis program works only on Ethernet networks.");
}

}  // namespace
}  // namespace quorvex
