#include "capture/adapter_info.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "capture/win_pcap.h"

namespace quorvex {
namespace {

// ---- Pure adapter choice ----

struct StatusTable {
    std::map<std::string, int> status;
    int operator()(const std::string& name) const {
        const auto found = status.find(name);
        return found == status.end() ? -1 : found->second;
    }
};

TEST(ChooseAdapterTest, FirstUpDeviceWithGigabitDescriptionIsChosen) {
    const StatusTable allUp{{{"a", 1}, {"b", 1}, {"c", 1}}};
    // "GbE" in any case.
    EXPECT_EQ(
        ChooseAdapter({{"Wireless", "a", ""}, {"Intel(R) 82574L gBE NIC", "b", ""}}, 2, allUp), 1);
    // "1000" anywhere in the text.
    EXPECT_EQ(ChooseAdapter({{"Realtek 100Mb/s", "a", ""}, {"r8169 1000Mb/s", "b", ""}}, 2, allUp),
              1);
    // Of two matches the lower index wins.
    EXPECT_EQ(
        ChooseAdapter({{"", "a", ""}, {"x 1000Mb/s", "b", ""}, {"Onboard GbE", "c", ""}}, 3, allUp),
        1);
}

TEST(ChooseAdapterTest, DevicesWithoutOperationalLinkArePassedOver) {
    const StatusTable table{{{"down", 0}, {"gone", -1}, {"up", 1}}};
    const std::vector<DeviceEntry> devices = {
        {"Intel GbE", "down", ""}, {"Intel GbE", "gone", ""}, {"e1000e 1000Mb/s", "up", ""}};
    EXPECT_EQ(ChooseAdapter(devices, devices.size(), table), 2);
    EXPECT_EQ(ChooseAdapter({devices[0], devices[1]}, 2, table), -1);
}

TEST(ChooseAdapterTest, NoChoiceWhenNothingQualifiesOrTheMatchIsNotShown) {
    const StatusTable table{{{"a", 1}, {"b", 0}, {"c", 1}}};
    EXPECT_EQ(ChooseAdapter({}, 0, table), -1);
    EXPECT_EQ(ChooseAdapter({{"Gigabit Ethernet", "a", ""}, {"", "c", ""}}, 2, table), -1);

    // After a re-enumeration the list holds every device twice; the user sees only the first
    // copy. Here the only up match lies in the second copy.
    std::vector<DeviceEntry> twice = {{"veth", "a", ""}, {"Intel GbE", "b", ""}};
    twice.push_back({"veth", "a", ""});
    twice.push_back({"Intel GbE", "c", ""});
    EXPECT_EQ(ChooseAdapter(twice, 2, table), -1);
    EXPECT_EQ(ChooseAdapter(twice, 4, table), 3);
    EXPECT_EQ(ChooseAdapter({{"Intel GbE", "a", ""}}, 0, table), -1);
}

// ---- Real interfaces ----

TEST(AdapterInfoTest, LoopbackAndMissingInterfaces) {
    CAdapterInfo info;
    info.Fill();
    EXPECT_TRUE(info.IsValid());

    const int lo = CAdapterInfo::GetAdapterIndex("lo");
    ASSERT_GT(lo, 0);
    EXPECT_EQ(static_cast<unsigned>(lo), if_nametoindex("lo"));
    // Loopback reports its operational state as "unknown"; up and running counts.
    EXPECT_EQ(CAdapterInfo::GetLinkStatus(lo), 1);
    EXPECT_EQ(CAdapterInfo::LinkStatusOfDevice("lo"), 1);

    const std::string missing = "qvNo" + std::to_string(getpid());
    EXPECT_EQ(CAdapterInfo::GetAdapterIndex(""), -1);
    EXPECT_EQ(CAdapterInfo::GetAdapterIndex(missing), -1);
    EXPECT_EQ(CAdapterInfo::GetAdapterIndex("averylonginterfacename"), -1);
    EXPECT_EQ(CAdapterInfo::GetAdapterIndex("any"), -1);  // libpcap's pseudo-device
    EXPECT_EQ(CAdapterInfo::LinkStatusOfDevice(missing), -1);

    EXPECT_EQ(CAdapterInfo::GetLinkStatus(0), -1);
    EXPECT_EQ(CAdapterInfo::GetLinkStatus(-3), -1);
    char name[IF_NAMESIZE];
    ASSERT_EQ(if_indextoname(INT_MAX, name), nullptr) << "index INT_MAX is in use";
    EXPECT_EQ(CAdapterInfo::GetLinkStatus(INT_MAX), -1);

    EXPECT_EQ(CAdapterInfo::DescribeDevice(""), "");
    EXPECT_EQ(CAdapterInfo::DescribeDevice(missing), "");
    EXPECT_EQ(CAdapterInfo::DescribeDevice("../lo"), "");
}

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A veth pair with one end here and the peer in a namespace of its own; both are removed
// whatever happens to the test.
class VethPair {
  public:
    VethPair()
        : local("qvA" + std::to_string(getpid())),
          peer("qvB" + std::to_string(getpid())),
          ns("qvns" + std::to_string(getpid())) {
        Remove();  // leftovers of a killed run with the same pid
        created = Shell("ip netns add " + ns) &&
                  Shell("ip link add " + local + " type veth peer name " + peer + " netns " + ns);
    }
    ~VethPair() { Remove(); }
    VethPair(const VethPair&) = delete;
    VethPair& operator=(const VethPair&) = delete;

    bool SetLocal(const char* state) { return Shell("ip link set " + local + " " + state); }
    bool SetPeer(const char* state) {
        return Shell("ip -n " + ns + " link set " + peer + " " + state);
    }

    const std::string local, peer, ns;
    bool created = false;

  private:
    void Remove() {
        Shell("ip link del " + local);  // takes the peer with it
        Shell("ip netns del " + ns);
    }
};

// Link changes reach the operational state asynchronously; wait for the expected answer
// for a while and hand back the last one.
int AwaitStatus(int index, int expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = CAdapterInfo::GetLinkStatus(index);
    while (status != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        status = CAdapterInfo::GetLinkStatus(index);
    }
    return status;
}

class VethTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to create a veth pair and a namespace";
        if (!Shell("ip -V")) GTEST_SKIP() << "needs the 'ip' command (iproute2)";
    }
};

TEST_F(VethTest, LinkStatusFollowsBothEnds) {
    VethPair pair;
    ASSERT_TRUE(pair.created);
    const int index = CAdapterInfo::GetAdapterIndex(pair.local);
    ASSERT_GT(index, 0);
    EXPECT_EQ(static_cast<unsigned>(index), if_nametoindex(pair.local.c_str()));
    // The peer lives in another namespace: not visible from here.
    EXPECT_EQ(CAdapterInfo::GetAdapterIndex(pair.peer), -1);

    EXPECT_EQ(CAdapterInfo::GetLinkStatus(index), 0);  // created administratively down

    ASSERT_TRUE(pair.SetLocal("up"));
    ASSERT_TRUE(pair.SetPeer("up"));
    EXPECT_EQ(AwaitStatus(index, 1), 1);
    EXPECT_EQ(CAdapterInfo::LinkStatusOfDevice(pair.local), 1);

    // Our end stays up, but without its peer it has no carrier.
    ASSERT_TRUE(pair.SetPeer("down"));
    EXPECT_EQ(AwaitStatus(index, 0), 0);

    ASSERT_TRUE(pair.SetPeer("up"));
    EXPECT_EQ(AwaitStatus(index, 1), 1);
}

TEST_F(VethTest, DescriptionNamesDriverAndSpeedWhateverTheLinkState) {
    VethPair pair;
    ASSERT_TRUE(pair.created);
    // The veth driver always reports 10000 Mb/s.
    EXPECT_EQ(CAdapterInfo::DescribeDevice(pair.local), "veth 10000Mb/s");
    ASSERT_TRUE(pair.SetLocal("up"));
    ASSERT_TRUE(pair.SetPeer("up"));
    EXPECT_EQ(CAdapterInfo::DescribeDevice(pair.local), "veth 10000Mb/s");

    std::vector<DeviceEntry> devices = {{"", pair.local, ""},
                                        {"given by the library", pair.local, ""},
                                        {"", "qvNo" + std::to_string(getpid()), ""}};
    CAdapterInfo::DescribeDevices(devices);
    EXPECT_EQ(devices[0].description, "veth 10000Mb/s");
    EXPECT_EQ(devices[1].description, "given by the library");
    EXPECT_EQ(devices[2].description, "");
}

TEST_F(VethTest, AutomaticChoiceFromTheCaptureDeviceList) {
    VethPair pair;
    ASSERT_TRUE(pair.created);
    ASSERT_TRUE(pair.SetLocal("up"));
    ASSERT_TRUE(pair.SetPeer("up"));
    const int index = CAdapterInfo::GetAdapterIndex(pair.local);
    ASSERT_EQ(AwaitStatus(index, 1), 1);

    CAdapterInfo info;
    info.Fill();
    CWinPcap pcap;
    ASSERT_EQ(pcap.FindDevices(), 1);
    std::vector<DeviceEntry> devices = pcap.m_devices;
    CAdapterInfo::DescribeDevices(devices);
    auto veth = std::find_if(devices.begin(), devices.end(),
                             [&](const DeviceEntry& d) { return d.name == pair.local; });
    ASSERT_NE(veth, devices.end()) << "libpcap does not list " << pair.local;
    EXPECT_EQ(veth->description, "veth 10000Mb/s");
    // Other adapters of this machine may qualify too; put the veth first so the outcome
    // depends on the veth alone.
    std::rotate(devices.begin(), veth, veth + 1);

    const auto status = [&info](const std::string& name) { return info.LinkStatusOfDevice(name); };
    EXPECT_EQ(ChooseAdapter(devices, devices.size(), status), 0);

    ASSERT_TRUE(pair.SetPeer("down"));
    ASSERT_EQ(AwaitStatus(index, 0), 0);
    EXPECT_NE(ChooseAdapter(devices, devices.size(), status), 0);
}

}  // namespace
}  // namespace quorvex
