// Recognition of ArtDmx/ArtSync frames, both by the pure function and through the capture
// source reading a capture file, plus what only the file reader adds (filter, end of file,
// read budget).

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "capture/art_packet.h"
#include "capture/packet_source.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;

constexpr size_t kEthernet = 14;
constexpr size_t kPayloadStart = kEthernet + 20 + 8;  // UDP payload with a plain IPv4 header
constexpr uint16_t kUntouchedLength = 0xBEEF;
constexpr uint64_t kBaseUs = 1700000000ull * 1000000ull;

using test::Pattern;

// What the record buffer held before the call: any change shows a write.
Bytes PreviousRecord() { return Pattern(kArtRecordSize, 0xA5); }

Bytes DmxFrame(uint8_t net, uint8_t subUni, uint8_t sequence, const Bytes& data,
               const test::UdpOptions& options = {}) {
    test::ArtDmxFields f;
    f.net = net;
    f.subUni = subUni;
    f.sequence = sequence;
    f.physical = 3;
    f.data = data;
    return test::UdpFrame(test::ArtDmx(f), options);
}

struct Outcome {
    ArtKind result = ArtKind::None;
    uint16_t length = kUntouchedLength;
    Bytes record = PreviousRecord();
    uint64_t malformed = 0;  // as the packet source counts them
};

enum class Path { kDirect, kFile };

std::string PathName(const testing::TestParamInfo<Path>& info) {
    return info.param == Path::kDirect ? "Direct" : "ThroughFile";
}

// Every case runs on the pure function and on a one-frame capture file read by the packet source.
class Recognition : public testing::TestWithParam<Path> {
  protected:
    Outcome Run(const Bytes& frame, int captured = -1) {
        Outcome o;
        const size_t cap =
            captured >= 0 && static_cast<size_t>(captured) < frame.size() ? captured : frame.size();
        if (GetParam() == Path::kDirect) {
            // Only the captured bytes exist, so a read past them trips the address sanitizer.
            Bytes present(frame.begin(), frame.begin() + static_cast<long>(cap));
            o.result =
                RecognizeArtFrame(present.data(), cap, frame.size(), o.record.data(), &o.length);
            return o;
        }
        const std::string path = m_dir.File("frame" + std::to_string(m_files++) + ".pcap");
        {
            test::PcapWriter w(path);
            w.Write(frame, kBaseUs, captured);
        }
        PcapSource pcap;
        EXPECT_TRUE(pcap.OpenFile(path));
        pcap.BeginReading();
        o.result = pcap.ReadArtPacket(o.record.data(), &o.length);
        if (o.result != ArtKind::None) {
            Bytes scratch(kArtRecordSize);
            uint16_t len = 0;
            EXPECT_EQ(pcap.ReadArtPacket(scratch.data(), &len), ArtKind::None);
        }
        EXPECT_TRUE(pcap.Ended());
        o.malformed = pcap.MalformedPackets();
        pcap.EndReading();
        return o;
    }

    // A dropped frame writes neither the record nor its length.
    void ExpectDropped(const Bytes& frame, int captured = -1) {
        const Outcome o = Run(frame, captured);
        EXPECT_EQ(o.result, ArtKind::None);
        EXPECT_EQ(o.length, kUntouchedLength);
        EXPECT_EQ(o.record, PreviousRecord());
    }

    // An impossible Length: the packet is passed over and counted, nothing written.
    void ExpectMalformed(const Bytes& frame) {
        const Outcome o = Run(frame);
        EXPECT_EQ(o.result, GetParam() == Path::kDirect ? ArtKind::Malformed : ArtKind::None);
        EXPECT_EQ(o.malformed, GetParam() == Path::kDirect ? 0u : 1u);
        EXPECT_EQ(o.length, kUntouchedLength);
        EXPECT_EQ(o.record, PreviousRecord());
    }

    void ExpectDmx(const Outcome& o, uint8_t net, uint8_t subUni, uint8_t sequence,
                   const Bytes& data) {
        ASSERT_EQ(o.result, ArtKind::Dmx);
        ASSERT_EQ(o.length, kArtRecordHeader + data.size());
        const Bytes header(o.record.begin(), o.record.begin() + 8);
        const Bytes wantHeader{0,
                               14,
                               sequence,
                               3,
                               subUni,
                               net,
                               static_cast<uint8_t>(data.size() >> 8),
                               static_cast<uint8_t>(data.size() & 0xFF)};
        EXPECT_EQ(header, wantHeader);
        EXPECT_EQ(Bytes(o.record.begin() + 8, o.record.begin() + o.length), data);
        // Nothing written past the record.
        const Bytes before = PreviousRecord();
        EXPECT_TRUE(
            std::equal(o.record.begin() + o.length, o.record.end(), before.begin() + o.length));
    }

    test::TempDir m_dir;
    int m_files = 0;
};

TEST_P(Recognition, ArtDmxRecordIsHeaderThenChannelData) {
    for (size_t channels : {size_t{512}, size_t{2}, size_t{171}}) {
        SCOPED_TRACE(channels);
        const Bytes data = Pattern(channels, static_cast<uint8_t>(channels));
        ExpectDmx(Run(DmxFrame(0x12, 0x34, 0x56, data)), 0x12, 0x34, 0x56, data);
    }
    // A universe holds 2 to 512 channels: any other Length would overrun it or tell nothing.
    for (size_t channels : {size_t{0}, size_t{1}, size_t{513}, size_t{530}}) {
        SCOPED_TRACE(channels);
        ExpectMalformed(DmxFrame(0x12, 0x34, 0x56, Pattern(channels, 1)));
    }
}

TEST_P(Recognition, UniverseAndSequenceReadFromTheRecord) {
    const Outcome o = Run(DmxFrame(0x81, 0x05, 200, Pattern(24, 1)));
    ASSERT_EQ(o.result, ArtKind::Dmx);
    EXPECT_EQ(RecordUniverse(o.record.data()), 261);
    EXPECT_EQ(RecordSequence(o.record.data()), 200);

    const Outcome top = Run(test::UdpFrame(test::ArtDmx(32767, 9, Pattern(2, 0))));
    ASSERT_EQ(top.result, ArtKind::Dmx);
    EXPECT_EQ(RecordUniverse(top.record.data()), 32767);
    EXPECT_EQ(RecordSequence(top.record.data()), 9);
}

TEST_P(Recognition, UdpPayloadOutsideElevenTo599BytesIsDropped) {
    // 18 header bytes + 582 bytes = 600 bytes: too long, whatever its Length says.
    test::ArtDmxFields tooLong{
        .subUni = 1, .sequence = 1, .data = Pattern(582, 0), .lengthField = 512};
    ExpectDropped(test::UdpFrame(test::ArtDmx(tooLong)));
    const Bytes sync = test::ArtSync();
    ExpectDropped(test::UdpFrame(Bytes(sync.begin(), sync.begin() + 10)));
    // Just inside the limit: 512 channels and padding after them.
    test::ArtDmxFields inside{
        .subUni = 1, .sequence = 1, .data = Pattern(581, 3), .lengthField = 512};
    const Outcome o = Run(test::UdpFrame(test::ArtDmx(inside)));
    ASSERT_EQ(o.result, ArtKind::Dmx);
    EXPECT_EQ(o.length, kArtRecordHeader + 512);
}

TEST_P(Recognition, ArtSyncKeepsThePreviousRecord) {
    for (int optionWords : {0, 1}) {
        const Outcome o = Run(test::UdpFrame(test::ArtSync(), {.ipOptionWords = optionWords}));
        EXPECT_EQ(o.result, ArtKind::Sync);
        EXPECT_EQ(o.length, 0);
        EXPECT_EQ(o.record, PreviousRecord());
    }
}

TEST_P(Recognition, OtherOpCodesAndPortsAreDropped) {
    const Bytes data = Pattern(512, 4);
    ExpectDropped(test::UdpFrame(test::ArtNzs(1, 1, data)));
    ExpectDropped(test::UdpFrame(test::ArtPoll()));
    ExpectDropped(test::UdpFrame(test::ArtDmx(1, 1, data), {.dstPort = 6455}));
    ExpectDropped(test::UdpFrame(test::ArtSync(), {.srcPort = 6454, .dstPort = 5568}));
    Bytes opcode5001 = test::ArtDmx(1, 1, data);  // the whole OpCode counts, not its high byte
    opcode5001[8] = 0x01;
    ExpectDropped(test::UdpFrame(opcode5001));
    Bytes wrongId = test::ArtDmx(1, 1, data);
    wrongId[6] = 'T';
    ExpectDropped(test::UdpFrame(wrongId));
}

TEST_P(Recognition, IpOptionsMoveTheUdpHeader) {
    const Bytes data = Pattern(512, 9);
    for (int words : {1, 10}) {  // IHL 6 and the largest, 15
        SCOPED_TRACE(words);
        ExpectDmx(Run(DmxFrame(0, 7, 8, data, {.ipOptionWords = words})), 0, 7, 8, data);
    }
}

TEST_P(Recognition, IhlBelowFiveIsDropped) {
    // The UDP header really does start where the short IHL points, so only the check on
    // IHL itself stops the frame.
    for (size_t ihl : {size_t{4}, size_t{3}}) {
        SCOPED_TRACE(ihl);
        Bytes f = DmxFrame(0, 1, 1, Pattern(64, 0));
        f.erase(f.begin() + static_cast<long>(kEthernet + ihl * 4),
                f.begin() + static_cast<long>(kEthernet + 20));
        f[kEthernet] = static_cast<uint8_t>(0x40 | ihl);
        ExpectDropped(f);
    }
}

TEST_P(Recognition, TruncatedCapturesAreDropped) {
    const Bytes dmx = DmxFrame(0, 1, 1, Pattern(512, 5));
    const int p = static_cast<int>(kPayloadStart);
    for (int captured : {10, 30, p - 4, p + 5, p + 9, p + 12, p + 17, p + 18, p + 118,
                         static_cast<int>(dmx.size()) - 1}) {
        SCOPED_TRACE(captured);
        ExpectDropped(dmx, captured);
    }
    ExpectDropped(test::UdpFrame(test::ArtSync()), p + 9);  // cut inside the OpCode
}

TEST_P(Recognition, LengthBeyondThePacketIsDroppedAndBeyond512Malformed) {
    for (int lengthField : {513, 600, 1024, 0xFFFF}) {
        SCOPED_TRACE(lengthField);
        test::ArtDmxFields f{.subUni = 1, .data = Pattern(512, 6), .lengthField = lengthField};
        ExpectMalformed(test::UdpFrame(test::ArtDmx(f)));
    }
    test::ArtDmxFields noData{.subUni = 1, .data = {}, .lengthField = 2};
    ExpectDropped(test::UdpFrame(test::ArtDmx(noData)));
}

TEST_P(Recognition, LengthShorterThanThePacketBoundsTheRecord) {
    const Bytes data = Pattern(512, 7);
    test::ArtDmxFields f{.subUni = 2, .sequence = 4, .data = data, .lengthField = 100};
    const Outcome o = Run(test::UdpFrame(test::ArtDmx(f)));
    ASSERT_EQ(o.result, ArtKind::Dmx);
    ASSERT_EQ(o.length, 108);
    EXPECT_EQ(Bytes(o.record.begin() + 8, o.record.begin() + 108),
              Bytes(data.begin(), data.begin() + 100));
    EXPECT_EQ(o.record[108], PreviousRecord()[108]);
}

INSTANTIATE_TEST_SUITE_P(Paths, Recognition, testing::Values(Path::kDirect, Path::kFile), PathName);

// ---- What only the capture-file reader does ----

struct Read {
    ArtKind result;
    int universe;
    int sequence;
    uint16_t length;
};

std::vector<Read> ReadAll(PcapSource& pcap, Bytes& record) {
    std::vector<Read> out;
    for (int guard = 0; guard < 10000; ++guard) {
        uint16_t len = kUntouchedLength;
        const ArtKind r = pcap.ReadArtPacket(record.data(), &len);
        if (r == ArtKind::None) break;
        out.push_back({r, r == ArtKind::Dmx ? RecordUniverse(record.data()) : -1,
                       r == ArtKind::Dmx ? RecordSequence(record.data()) : -1, len});
    }
    return out;
}

bool operator==(const Read& a, const Read& b) {
    return a.result == b.result && a.universe == b.universe && a.sequence == b.sequence &&
           a.length == b.length;
}

void PrintTo(const Read& r, std::ostream* os) {
    *os << "{" << static_cast<int>(r.result) << ", u" << r.universe << ", s" << r.sequence
        << ", len " << r.length << "}";
}

class FileReader : public testing::Test {
  protected:
    std::string Write(const std::vector<std::pair<Bytes, int>>& frames) {
        const std::string path = m_dir.File("show.pcap");
        test::PcapWriter w(path);
        uint64_t ts = kBaseUs;
        for (const auto& [frame, captured] : frames) w.Write(frame, ts += 1000, captured);
        return path;
    }

    // Turns the frame into a non-UDP one that the pure function alone would still accept.
    static Bytes AsTcp(Bytes f) {
        f[kEthernet + 9] = 6;
        test::FixIpv4Checksum(f);
        return f;
    }
    static Bytes AsArp(Bytes f) {
        f[12] = 0x08;
        f[13] = 0x06;
        return f;
    }

    test::TempDir m_dir;
    Bytes m_record = PreviousRecord();
};

TEST_F(FileReader, MixedTrafficYieldsOnlyArtDmxAndArtSyncInOrder) {
    const Bytes data = Pattern(512, 1);
    // Poll replies name their nodes, the latest name winning; they are no data.
    const std::string path = Write({
        {test::UdpFrame(test::ArtPoll()), -1},
        {test::UdpFrame(test::ArtPollReply("Old name")), -1},
        {test::UdpFrame(test::ArtPollReply("Stage left node 18+"), {.srcIp = 0x0A000002}), -1},
        {test::UdpFrame(test::ArtPollReply("Desk\x1b")), -1},
        {test::UdpFrame(test::ArtPollReply("Short")), 40},
        {test::UdpFrame(test::ArtDmx(1, 10, data)), -1},
        {test::UdpFrame(test::ArtNzs(1, 11, data)), -1},
        {test::UdpFrame(test::ArtSync()), -1},
        {test::UdpFrame(test::ArtDmx(2, 12, data), {.dstPort = 6455}), -1},
        {AsTcp(test::UdpFrame(test::ArtDmx(3, 13, data))), -1},
        {test::UdpFrame(test::ArtDmx(4, 14, data), {.ipOptionWords = 1}), -1},
        {test::UdpFrame(test::ArtDmx(5, 15, data)), 100},
        {test::UdpFrame(test::ArtDmx(261, 16, Pattern(24, 2))), -1},
        {test::UdpFrame(test::ArtSync()), -1},
        {test::UdpFrame(Bytes(600, 0)), -1},
    });
    PcapSource pcap;
    ASSERT_TRUE(pcap.OpenFile(path));
    EXPECT_TRUE(pcap.IsFile());
    EXPECT_TRUE(pcap.IsOpen());
    pcap.BeginReading();
    const std::vector<Read> want{{ArtKind::Dmx, 1, 10, 520},
                                 {ArtKind::Sync, -1, -1, 0},
                                 {ArtKind::Dmx, 4, 14, 520},
                                 {ArtKind::Dmx, 261, 16, 32},
                                 {ArtKind::Sync, -1, -1, 0}};
    EXPECT_EQ(ReadAll(pcap, m_record), want);
    // The last ArtSync left the ArtDmx of universe 261 in the buffer.
    EXPECT_EQ(RecordUniverse(m_record.data()), 261);
    EXPECT_TRUE(pcap.Ended());
    EXPECT_EQ(pcap.EndReason(), "");
    uint16_t len = 0;
    EXPECT_EQ(pcap.ReadArtPacket(m_record.data(), &len), ArtKind::None);
    EXPECT_TRUE(pcap.Ended());
    EXPECT_FALSE(pcap.Stats());
    pcap.EndReading();
    EXPECT_EQ(pcap.Nodes().Find(0x0A000001), "Desk?");
    EXPECT_EQ(pcap.Nodes().Find(0x0A000002), "Stage left node 18");
    EXPECT_EQ(pcap.Nodes().Find(0x0A000003), "");
}

TEST_F(FileReader, FilterKeepsNonUdpFramesAway) {
    const Bytes data = Pattern(512, 2);
    const Bytes tcp = AsTcp(test::UdpFrame(test::ArtDmx(3, 1, data)));
    const Bytes arp = AsArp(test::UdpFrame(test::ArtDmx(4, 2, data)));
    // The pure function does not look at the protocol: only the filter stops these.
    for (const Bytes* f : {&tcp, &arp}) {
        Bytes rec(kArtRecordSize);
        uint16_t len = 0;
        ASSERT_EQ(RecognizeArtFrame(f->data(), f->size(), f->size(), rec.data(), &len),
                  ArtKind::Dmx);
    }
    const std::string path = Write({{tcp, -1}, {arp, -1}});
    PcapSource pcap;
    ASSERT_TRUE(pcap.OpenFile(path));
    pcap.BeginReading();
    EXPECT_TRUE(ReadAll(pcap, m_record).empty());
    EXPECT_TRUE(pcap.Ended());
    pcap.EndReading();
    EXPECT_EQ(m_record, PreviousRecord());
}

TEST_F(FileReader, DrainDiscardsNothingFromAFile) {
    test::ShowPlan plan;
    plan.universes = {0, 1};
    plan.frames = 3;
    plan.sync = true;
    const std::string path = m_dir.File("show.pcap");
    test::WriteShow(path, plan);
    PcapSource pcap;
    ASSERT_TRUE(pcap.OpenFile(path));
    pcap.BeginReading();
    pcap.Drain();
    const std::vector<Read> got = ReadAll(pcap, m_record);
    pcap.EndReading();
    std::vector<Read> want;
    for (int f = 1; f <= 3; ++f) {
        for (int u : plan.universes) want.push_back({ArtKind::Dmx, u, test::SequenceOf(f), 520});
        want.push_back({ArtKind::Sync, -1, -1, 0});
    }
    EXPECT_EQ(got, want);
}

// Tick sources are plain function pointers, so their state is global.
std::atomic<uint32_t> g_ticks{0};
uint32_t JumpingTicks() { return g_ticks.fetch_add(100001); }
uint32_t CreepingTicks() { return g_ticks.fetch_add(1); }

TEST_F(FileReader, FrameAfterTheReadBudgetIsNotExamined) {
    const std::string path = Write({{test::UdpFrame(test::ArtDmx(1, 1, Pattern(512, 1))), -1},
                                    {test::UdpFrame(test::ArtDmx(2, 2, Pattern(512, 2))), -1}});
    PcapSource pcap;
    ASSERT_TRUE(pcap.OpenFile(path));
    pcap.BeginReading();
    // The jump also crosses the 32-bit wrap.
    g_ticks = 0xFFFF0000u;
    pcap.SetTickSource(&JumpingTicks);
    uint16_t len = kUntouchedLength;
    EXPECT_EQ(pcap.ReadArtPacket(m_record.data(), &len), ArtKind::None);
    EXPECT_EQ(len, kUntouchedLength);
    EXPECT_EQ(m_record, PreviousRecord());
    EXPECT_FALSE(pcap.Ended());

    // A tick counter that wraps without the budget running out does not cut the read short.
    g_ticks = 0xFFFFFFFEu;
    pcap.SetTickSource(&CreepingTicks);
    const std::vector<Read> want{{ArtKind::Dmx, 2, 2, 520}};  // the first frame was consumed
    EXPECT_EQ(ReadAll(pcap, m_record), want);
    EXPECT_TRUE(pcap.Ended());
    pcap.EndReading();
}

}  // namespace
}  // namespace quorvex
