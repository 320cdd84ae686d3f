// An independent decoder, Wireshark's tshark, reads the capture files the test builder writes:
// if the builder got the Art-Net layout wrong, the other tests would agree with it silently.

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "capture/art_packet.h"
#include "capture/packet_source.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;

// One Art-Net packet as a decoder sees it; sync packets carry no universe.
struct Decoded {
    bool sync = false;
    int universe = -1;
    int sequence = -1;
    int length = -1;
    bool operator==(const Decoded&) const = default;
};

void PrintTo(const Decoded& d, std::ostream* os) {
    if (d.sync) {
        *os << "{sync}";
    } else {
        *os << "{u" << d.universe << " s" << d.sequence << " len " << d.length << "}";
    }
}

bool HaveTshark() {
    for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
        if (access((std::string(dir) + "tshark").c_str(), X_OK) == 0) return true;
    }
    return false;
}

std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    EXPECT_EQ(status, 0) << command;
    return out;
}

std::vector<Decoded> DecodeWithTshark(const std::string& path) {
    // stderr dropped: tshark warns when run as root.
    const std::string out =
        RunCommand("tshark -n -r '" + path +
                   "' -Y artnet -T fields -E separator=/t -e artnet.header.opcode"
                   " -e artnet.output.universe -e artnet.output.sequence -e artnet.output.length"
                   " 2>/dev/null");
    std::vector<Decoded> rows;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) f.push_back(cell);
        f.resize(4);
        const unsigned opcode = static_cast<unsigned>(std::stoul(f[0], nullptr, 0));
        if (opcode == 0x5200) {
            rows.push_back({.sync = true});
        } else if (opcode == 0x5000) {
            rows.push_back({false, std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3])});
        } else {
            ADD_FAILURE() << "unexpected Art-Net packet: " << line;
        }
    }
    return rows;
}

std::vector<Decoded> DecodeWithCapture(const std::string& path) {
    PcapSource pcap;
    std::vector<Decoded> rows;
    if (!pcap.OpenFile(path)) {
        ADD_FAILURE() << "cannot open " << path;
        return rows;
    }
    pcap.BeginReading();
    Bytes record(kArtRecordSize);
    uint16_t len = 0;
    for (ArtKind r; (r = pcap.ReadArtPacket(record.data(), &len)) != ArtKind::None;) {
        if (r == ArtKind::Sync) {
            rows.push_back({.sync = true});
        } else {
            rows.push_back({false, RecordUniverse(record.data()), RecordSequence(record.data()),
                            len - static_cast<int>(kArtRecordHeader)});
        }
    }
    pcap.EndReading();
    return rows;
}

class TsharkCrossCheck : public testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTshark()) GTEST_SKIP() << "tshark is not installed (apt-get install tshark)";
    }
    test::TempDir m_dir;
};

TEST_F(TsharkCrossCheck, ShowFilesDecodeToTheSameUniversesSequencesAndLengths) {
    test::ShowPlan plan;
    plan.universes = {0, 1, 15, 16, 261, 32767};
    plan.channels = 512;
    plan.frames = 260;  // the sequence wraps from 255 to 1
    plan.sync = true;
    const std::string path = m_dir.File("show.pcap");
    test::WriteShow(path, plan);

    std::vector<Decoded> want;
    for (int f = 1; f <= plan.frames; ++f) {
        for (int u : plan.universes) want.push_back({false, u, test::SequenceOf(f), 512});
        want.push_back({.sync = true});
    }
    EXPECT_EQ(DecodeWithTshark(path), want);
    EXPECT_EQ(DecodeWithCapture(path), want);
}

TEST_F(TsharkCrossCheck, HandBuiltFramesDecodeAlike) {
    const std::string path = m_dir.File("hand.pcap");
    {
        test::PcapWriter w(path);
        uint64_t ts = 1700000000ull * 1000000ull;
        test::ArtDmxFields f{.net = 0x01, .subUni = 0x05, .sequence = 77, .data = Bytes(24, 9)};
        w.Write(test::UdpFrame(test::ArtDmx(f)), ts++);
        w.Write(test::UdpFrame(test::ArtDmx(42, 0, {})), ts++);
        w.Write(test::UdpFrame(test::ArtDmx(7, 3, Bytes(511, 1)), {.ipOptionWords = 1}), ts++);
        w.Write(test::UdpFrame(test::ArtDmx(300, 255, Bytes(2, 0)), {.srcPort = 40000}), ts++);
        w.Write(test::UdpFrame(test::ArtSync(), {.ipOptionWords = 2}), ts++);
    }
    const std::vector<Decoded> want{{false, 261, 77, 24},
                                    {false, 42, 0, 0},
                                    {false, 7, 3, 511},
                                    {false, 300, 255, 2},
                                    {.sync = true}};
    EXPECT_EQ(DecodeWithTshark(path), want);
    // An ArtDmx with no channels brings nothing: the recorder passes it over as malformed.
    std::vector<Decoded> ours = want;
    ours.erase(ours.begin() + 1);
    EXPECT_EQ(DecodeWithCapture(path), ours);
}

}  // namespace
}  // namespace quorvex
