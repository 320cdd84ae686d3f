#include "capture/adapter_directory.h"

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

#include "capture/device_list.h"

namespace quorvex {
namespace {

// ---- Pure adapter choice ----

// Link states by name: 1 up, 0 down, anything else unknown.
struct StatusTable {
    std::map<std::string, int> status;
    LinkState operator()(const std::string& name) const {
        const auto found = status.find(name);
        if (found == status.end() || found->second < 0) return LinkState::Unknown;
        return found->second == 1 ? LinkState::Up : LinkState::Down;
    }
};

DeviceEntry Dev(const std::string& description, const std::string& name) {
    DeviceEntry d;
    d.description = description;
    d.name = name;
    return d;
}

// The chosen index, or -1 for no choice.
int Choose(const std::vector<DeviceEntry>& devices, size_t shown, const StatusTable& table) {
    const auto choice = ChooseAdapter(devices, shown, table);
    return choice ? static_cast<int>(*choice) : -1;
}

TEST(ChooseAdapterTest, FirstUpDeviceWithGigabitDescriptionIsChosen) {
    const StatusTable allUp{{{"a", 1}, {"b", 1}, {"c", 1}}};
    // "GbE" in any case.
    EXPECT_EQ(Choose({Dev("Wireless", "a"), Dev("Intel(R) 82574L gBE NIC", "b")}, 2, allUp), 1);
    // "1000" anywhere in the text.
    EXPECT_EQ(Choose({Dev("Realtek 100Mb/s", "a"), Dev("r8169 1000Mb/s", "b")}, 2, allUp), 1);
    // Of two matches the lower index wins.
    EXPECT_EQ(Choose({Dev("", "a"), Dev("x 1000Mb/s", "b"), Dev("Onboard GbE", "c")}, 3, allUp), 1);
}

TEST(ChooseAdapterTest, DevicesWithoutOperationalLinkArePassedOver) {
    const StatusTable table{{{"down", 0}, {"gone", -1}, {"up", 1}}};
    const std::vector<DeviceEntry> devices = {Dev("Intel GbE", "down"), Dev("Intel GbE", "gone"),
                                              Dev("e1000e 1000Mb/s", "up")};
    EXPECT_EQ(Choose(devices, devices.size(), table), 2);
    EXPECT_EQ(Choose({devices[0], devices[1]}, 2, table), -1);
}

TEST(ChooseAdapterTest, NoChoiceWhenNothingQualifiesOrTheMatchIsNotShown) {
    const StatusTable table{{{"a", 1}, {"b", 0}, {"c", 1}}};
    EXPECT_EQ(Choose({}, 0, table), -1);
    EXPECT_EQ(Choose({Dev("Gigabit Ethernet", "a"), Dev("", "c")}, 2, table), -1);

    // After a re-enumeration the list holds every device twice; the user sees only the first
    // copy. Here the only up match lies in the second copy.
    std::vector<DeviceEntry> twice = {Dev("veth", "a"), Dev("Intel GbE", "b")};
    twice.push_back(Dev("veth", "a"));
    twice.push_back(Dev("Intel GbE", "c"));
    EXPECT_EQ(Choose(twice, 2, table), -1);
    EXPECT_EQ(Choose(twice, 4, table), 3);
    EXPECT_EQ(Choose({Dev("Intel GbE", "a")}, 0, table), -1);
}

// ---- Real interfaces ----

TEST(AdapterInfoTest, LoopbackAndMissingInterfaces) {
    const auto lo = InterfaceIndex("lo");
    ASSERT_TRUE(lo);
    EXPECT_EQ(static_cast<unsigned>(*lo), if_nametoindex("lo"));
    // Loopback reports its operational state as "unknown"; up and running counts.
    EXPECT_EQ(LinkStateOfIndex(*lo), LinkState::Up);
    EXPECT_EQ(LinkStateOfDevice("lo"), LinkState::Up);

    const std::string missing = "qvNo" + std::to_string(getpid());
    EXPECT_FALSE(InterfaceIndex(""));
    EXPECT_FALSE(InterfaceIndex(missing));
    EXPECT_FALSE(InterfaceIndex("averylonginterfacename"));
    EXPECT_FALSE(InterfaceIndex("any"));  // libpcap's pseudo-device
    EXPECT_EQ(LinkStateOfDevice(missing), LinkState::Unknown);

    EXPECT_EQ(LinkStateOfIndex(0), LinkState::Unknown);
    EXPECT_EQ(LinkStateOfIndex(-3), LinkState::Unknown);
    char name[IF_NAMESIZE];
    ASSERT_EQ(if_indextoname(INT_MAX, name), nullptr) << "index INT_MAX is in use";
    EXPECT_EQ(LinkStateOfIndex(INT_MAX), LinkState::Unknown);

    EXPECT_EQ(DescribeDevice(""), "");
    EXPECT_EQ(DescribeDevice(missing), "");
    EXPECT_EQ(DescribeDevice("../lo"), "");
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
LinkState AwaitStatus(int index, LinkState expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    LinkState status = LinkStateOfIndex(index);
    while (status != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        status = LinkStateOfIndex(index);
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
    const auto found = InterfaceIndex(pair.local);
    ASSERT_TRUE(found);
    const int index = *found;
    EXPECT_EQ(static_cast<unsigned>(index), if_nametoindex(pair.local.c_str()));
    // The peer lives in another namespace: not visible from here.
    EXPECT_FALSE(InterfaceIndex(pair.peer));

    EXPECT_EQ(LinkStateOfIndex(index), LinkState::Down);  // created administratively down

    ASSERT_TRUE(pair.SetLocal("up"));
    ASSERT_TRUE(pair.SetPeer("up"));
    EXPECT_EQ(AwaitStatus(index, LinkState::Up), LinkState::Up);
    EXPECT_EQ(LinkStateOfDevice(pair.local), LinkState::Up);

    // Our end stays up, but without its peer it has no carrier.
    ASSERT_TRUE(pair.SetPeer("down"));
    EXPECT_EQ(AwaitStatus(index, LinkState::Down), LinkState::Down);

    ASSERT_TRUE(pair.SetPeer("up"));
    EXPECT_EQ(AwaitStatus(index, LinkState::Up), LinkState::Up);
}

TEST_F(VethTest, DescriptionNamesDriverAndSpeedWhateverTheLinkState) {
    VethPair pair;
    ASSERT_TRUE(pair.created);
    // The veth driver always reports 10000 Mb/s.
    EXPECT_EQ(DescribeDevice(pair.local), "veth 10000Mb/s");
    ASSERT_TRUE(pair.SetLocal("up"));
    ASSERT_TRUE(pair.SetPeer("up"));
    EXPECT_EQ(DescribeDevice(pair.local), "veth 10000Mb/s");

    std::vector<DeviceEntry> devices = {Dev("", pair.local),
                                        Dev("given by the library", pair.local),
                                        Dev("", "qvNo" + std::to_string(getpid()))};
    DescribeDevices(devices);
    EXPECT_EQ(devices[0].description, "veth 10000Mb/s");
    EXPECT_EQ(devices[1].description, "given by the library");
    EXPECT_EQ(devices[2].description, "");
}

TEST_F(VethTest, AutomaticChoiceFromTheCaptureDeviceList) {
    VethPair pair;
    ASSERT_TRUE(pair.created);
    ASSERT_TRUE(pair.SetLocal("up"));
    ASSERT_TRUE(pair.SetPeer("up"));
    const int index = InterfaceIndex(pair.local).value_or(-1);
    ASSERT_EQ(AwaitStatus(index, LinkState::Up), LinkState::Up);

    auto listed = ListCaptureDevices();
    ASSERT_TRUE(listed) << listed.error();
    std::vector<DeviceEntry> devices = *listed;
    DescribeDevices(devices);
    auto veth = std::find_if(devices.begin(), devices.end(),
                             [&](const DeviceEntry& d) { return d.name == pair.local; });
    ASSERT_NE(veth, devices.end()) << "libpcap does not list " << pair.local;
    EXPECT_EQ(veth->description, "veth 10000Mb/s");
    // Other adapters of this machine may qualify too; put the veth first so the outcome
    // depends on the veth alone.
    std::rotate(devices.begin(), veth, veth + 1);

    const auto status = [](const std::string& name) { return LinkStateOfDevice(name); };
    EXPECT_EQ(ChooseAdapter(devices, devices.size(), status), 0u);

    ASSERT_TRUE(pair.SetPeer("down"));
    ASSERT_EQ(AwaitStatus(index, LinkState::Down), LinkState::Down);
    EXPECT_NE(ChooseAdapter(devices, devices.size(), status), std::optional<size_t>(0));
}

}  // namespace
}  // namespace quorvex
