// Recognition of sACN data and synchronization packets by the pure function. The capture
// source does not hand out sACN yet, so there is no run through a capture file here.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "capture/sacn_packet.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;
namespace sacn = test::sacn;

constexpr size_t kEthernet = 14;
constexpr size_t kPayloadStart = kEthernet + 20 + 8;  // UDP payload with a plain IPv4 header
constexpr uint32_t kSender = 0x0A000001;              // UdpFrame's source address

using test::Pattern;

// What `out` held before the call: any change shows a write.
const uint8_t kElsewhere[1] = {0};
SacnPacket Previous() {
    SacnPacket p;
    p.kind = SacnKind::Data;
    p.universe = 0xBEEF;
    p.sequence = p.priority = p.options = p.startCode = 0xA5;
    p.syncAddress = 0xBEEF;
    p.preview = p.terminated = true;
    p.data = p.sourceName = kElsewhere;
    p.length = 0xBEEF;
    p.sourceIp = 0xDEADBEEF;
    for (uint8_t& c : p.cid) c = 0xA5;
    return p;
}

auto Fields(const SacnPacket& p) {
    return std::make_tuple(p.kind, p.universe, p.sequence, p.priority, p.options, p.syncAddress,
                           p.preview, p.terminated, p.startCode, p.length, p.sourceIp,
                           Bytes(p.cid, p.cid + 16));
}

struct Outcome {
    SacnKind result = SacnKind::None;
    SacnPacket packet = Previous();
    bool untouched = false;
    long dataAt = -1;  // offsets of the pointers within the frame
    long nameAt = -1;
    Bytes data;
};

// Runs the recogniser on the first `captured` bytes of `frame` (all when negative), sent
// with `wire` bytes on the wire (the frame size when negative).
Outcome Recognize(const Bytes& frame, int captured = -1, int wire = -1) {
    const size_t cap =
        captured >= 0 && static_cast<size_t>(captured) < frame.size() ? captured : frame.size();
    // Only the captured bytes exist, so a read past them trips the address sanitizer.
    const Bytes present(frame.begin(), frame.begin() + static_cast<long>(cap));
    Outcome o;
    o.result = FindSacnPacket(present.data(), cap, wire >= 0 ? wire : frame.size(), &o.packet);
    const SacnPacket before = Previous();
    o.untouched = Fields(o.packet) == Fields(before) && o.packet.data == before.data &&
                  o.packet.sourceName == before.sourceName;
    if (o.packet.data && o.packet.data != kElsewhere) {
        o.dataAt = o.packet.data - present.data();
        o.data.assign(o.packet.data, o.packet.data + o.packet.length);
    }
    if (o.packet.sourceName && o.packet.sourceName != kElsewhere)
        o.nameAt = o.packet.sourceName - present.data();
    return o;
}

void ExpectDropped(const Bytes& frame, int captured = -1, int wire = -1) {
    const Outcome o = Recognize(frame, captured, wire);
    EXPECT_EQ(o.result, SacnKind::None);
    EXPECT_TRUE(o.untouched);
}

test::SacnDataFields DataFields(size_t channels = 24) {
    test::SacnDataFields f;
    f.universe = 7;
    f.sequence = 3;
    f.data = Pattern(channels, 9);
    return f;
}

Bytes Frame(const Bytes& payload) { return test::UdpFrame(payload, test::SacnUdp(7)); }

TEST(SacnRecognition, DataPacketFieldsAreReported) {
    struct Case {
        const char* name;
        test::SacnDataFields f;
        test::UdpOptions udp;
        size_t trailer = 0;  // bytes after the IPv4 datagram, as Ethernet padding
    };
    const auto fields = [](uint16_t universe, uint8_t sequence, uint8_t priority, uint8_t options,
                           uint8_t startCode, size_t channels) {
        test::SacnDataFields f;
        f.universe = universe;
        f.sequence = sequence;
        f.priority = priority;
        f.options = options;
        f.startCode = startCode;
        f.syncAddress = static_cast<uint16_t>(universe + 1);
        f.data = Pattern(channels, static_cast<uint8_t>(channels));
        return f;
    };
    test::UdpOptions ipOptions = test::SacnUdp(5);
    ipOptions.ipOptionWords = 1;
    test::UdpOptions longestIpHeader = test::SacnUdp(5);
    longestIpHeader.ipOptionWords = 10;
    const Case cases[] = {
        {"multicast 512", fields(1, 0x56, 100, 0, 0, 512), test::SacnUdp(1)},
        {"unicast one channel", fields(2, 255, 0, 0, 0, 1), test::SacnUdp(2, 0x0A000002)},
        {"empty, top universe", fields(63999, 0, 200, 0x20, 0, 0), test::SacnUdp(63999)},
        {"start code DD", fields(300, 9, 150, 0, 0xDD, 171), test::SacnUdp(300)},
        {"preview", fields(4, 10, 100, 0x80, 0, 8), test::SacnUdp(4)},
        {"terminated", fields(4, 11, 100, 0x40, 0, 8), test::SacnUdp(4)},
        {"preview and terminated", fields(4, 12, 100, 0xC0, 0, 8), test::SacnUdp(4)},
        {"IHL 6", fields(5, 1, 100, 0, 0, 512), ipOptions},
        {"IHL 15", fields(5, 2, 100, 0, 0, 64), longestIpHeader},
        {"Ethernet padding", fields(6, 3, 100, 0, 0, 2), test::SacnUdp(6), 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes frame = test::UdpFrame(test::SacnData(c.f), c.udp);
        frame.insert(frame.end(), c.trailer, 0xEE);
        const Outcome o = Recognize(frame);
        ASSERT_EQ(o.result, SacnKind::Data);
        const SacnPacket& p = o.packet;
        EXPECT_EQ(p.kind, SacnKind::Data);
        EXPECT_EQ(p.universe, c.f.universe);
        EXPECT_EQ(p.sequence, c.f.sequence);
        EXPECT_EQ(p.priority, c.f.priority);
        EXPECT_EQ(p.options, c.f.options);
        EXPECT_EQ(p.syncAddress, c.f.syncAddress);
        EXPECT_EQ(p.preview, (c.f.options & 0x80) != 0);
        EXPECT_EQ(p.terminated, (c.f.options & 0x40) != 0);
        EXPECT_EQ(p.startCode, c.f.startCode);
        EXPECT_EQ(p.length, c.f.data.size());
        EXPECT_EQ(o.data, c.f.data);
        const size_t payload = kPayloadStart + 4 * static_cast<size_t>(c.udp.ipOptionWords);
        EXPECT_EQ(o.dataAt, static_cast<long>(payload + sacn::kChannels));
        EXPECT_EQ(o.nameAt, static_cast<long>(payload + sacn::kSourceName));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.data() + o.nameAt)),
                  c.f.sourceName);
        EXPECT_EQ(p.sourceIp, kSender);
        EXPECT_EQ(Bytes(p.cid, p.cid + 16), Bytes(c.f.cid.begin(), c.f.cid.end()));
        EXPECT_EQ(FindSacnPacket(frame.data(), frame.size(), frame.size(), nullptr),
                  SacnKind::Data);
    }
}

TEST(SacnRecognition, LayersEndingBeforeThePacketEndBoundTheChannels) {
    // Consistent lengths four bytes short: the bytes after the root layer are not channels.
    test::SacnDataFields f = DataFields(10);
    const int n = static_cast<int>(sacn::kChannels + 10);
    f.rootLength = n - 4 - static_cast<int>(sacn::kRootFlagsLength);
    f.framingLength = n - 4 - static_cast<int>(sacn::kFramingFlagsLength);
    f.dmpLength = n - 4 - static_cast<int>(sacn::kDmpFlagsLength);
    f.valueCount = 7;
    const Outcome o = Recognize(Frame(test::SacnData(f)));
    ASSERT_EQ(o.result, SacnKind::Data);
    EXPECT_EQ(o.data, Bytes(f.data.begin(), f.data.begin() + 6));
}

TEST(SacnRecognition, SyncPacketFieldsAreReported) {
    for (uint16_t address : {uint16_t{1}, uint16_t{63999}}) {
        SCOPED_TRACE(address);
        test::SacnSyncFields f{.sequence = 77, .syncAddress = address};
        f.cid[0] = 0x42;
        f.cid[15] = 0x24;
        const Bytes frame = test::UdpFrame(test::SacnSync(f), test::SacnUdp(address));
        const Outcome o = Recognize(frame);
        ASSERT_EQ(o.result, SacnKind::Sync);
        EXPECT_EQ(o.packet.kind, SacnKind::Sync);
        EXPECT_EQ(o.packet.sequence, 77);
        EXPECT_EQ(o.packet.syncAddress, address);
        EXPECT_EQ(o.packet.universe, 0);
        EXPECT_EQ(o.packet.length, 0);
        EXPECT_EQ(o.packet.data, nullptr);
        EXPECT_EQ(o.packet.sourceIp, kSender);
        EXPECT_EQ(Bytes(o.packet.cid, o.packet.cid + 16), Bytes(f.cid.begin(), f.cid.end()));
    }
}

Bytes Poke(Bytes b, size_t at, uint8_t value) {
    b[at] = value;
    return b;
}

// Flags nibble 0x6 instead of 0x7, length kept.
Bytes WrongFlags(const Bytes& b, size_t at) {
    return Poke(b, at, static_cast<uint8_t>(0x60 | (b[at] & 0x0F)));
}

TEST(SacnRecognition, MalformedPacketsAreDropped) {
    const Bytes data = test::SacnData(DataFields());
    const Bytes sync = test::SacnSync({.sequence = 1, .syncAddress = 7});
    const int n = static_cast<int>(data.size());
    const int root = n - static_cast<int>(sacn::kRootFlagsLength);
    const int framing = n - static_cast<int>(sacn::kFramingFlagsLength);
    const int dmp = n - static_cast<int>(sacn::kDmpFlagsLength);
    const int values = 24 + 1;
    const auto with = [](auto edit) {
        test::SacnDataFields f = DataFields();
        edit(f);
        return test::SacnData(f);
    };
    test::SacnDataFields full = DataFields(513);  // consistent lengths, one channel too many
    Bytes discovery = Poke(sync, sacn::kRootVector + 3, 0x08);
    discovery[sacn::kFramingVector + 3] = 0x02;
    Bytes syncTooLong = test::SacnSync({.syncAddress = 7, .rootLength = 34, .framingLength = 12});
    syncTooLong.push_back(0);
    const Bytes syncTooShort(sync.begin(), sync.end() - 1);

    const std::pair<const char*, Bytes> cases[] = {
        {"preamble size", Poke(data, 1, 0x11)},
        {"post-amble size", Poke(data, 3, 0x01)},
        {"ACN identifier", Poke(data, 12, '8')},
        {"ACN identifier padding", Poke(data, 15, 0x01)},
        {"root vector 3", Poke(data, sacn::kRootVector + 3, 0x03)},
        {"root vector extended on data", Poke(data, sacn::kRootVector + 3, 0x08)},
        {"framing vector sync on data", Poke(data, sacn::kFramingVector + 3, 0x01)},
        {"framing vector 3", Poke(data, sacn::kFramingVector + 3, 0x03)},
        {"DMP vector", Poke(data, sacn::kDmpVector, 0x01)},
        {"address and data type", Poke(data, sacn::kAddressType, 0xA2)},
        {"first property address", Poke(data, sacn::kFirstAddress + 1, 0x01)},
        {"address increment", Poke(data, sacn::kIncrement + 1, 0x02)},
        {"root flags", WrongFlags(data, sacn::kRootFlagsLength)},
        {"framing flags", WrongFlags(data, sacn::kFramingFlagsLength)},
        {"DMP flags", WrongFlags(data, sacn::kDmpFlagsLength)},
        {"root length too long", with([&](auto& f) { f.rootLength = root + 1; })},
        {"root length 0xFFF", with([&](auto& f) { f.rootLength = 0xFFF; })},
        {"root length too short", with([&](auto& f) { f.rootLength = root - 1; })},
        {"framing length too long", with([&](auto& f) { f.framingLength = framing + 1; })},
        {"framing length too short", with([&](auto& f) { f.framingLength = framing - 1; })},
        {"DMP length too long", with([&](auto& f) { f.dmpLength = dmp + 1; })},
        {"DMP length too short", with([&](auto& f) { f.dmpLength = dmp - 1; })},
        {"value count beyond the packet", with([&](auto& f) { f.valueCount = values + 1; })},
        {"value count 0xFFFF", with([&](auto& f) { f.valueCount = 0xFFFF; })},
        {"value count too short", with([&](auto& f) { f.valueCount = values - 1; })},
        {"value count 0", with([&](auto& f) { f.valueCount = 0; })},
        {"513 channels", test::SacnData(full)},
        {"universe 0", with([](auto& f) { f.universe = 0; })},
        {"universe 64000", with([](auto& f) { f.universe = 64000; })},
        {"universe 0xFFFF", with([](auto& f) { f.universe = 0xFFFF; })},
        {"priority 201", with([](auto& f) { f.priority = 201; })},
        {"sync address 0", test::SacnSync({.syncAddress = 0})},
        {"sync address 64000", test::SacnSync({.syncAddress = 64000})},
        {"sync on the data root vector", Poke(sync, sacn::kRootVector + 3, 0x04)},
        {"sync framing flags", WrongFlags(sync, sacn::kFramingFlagsLength)},
        {"sync root length too long", test::SacnSync({.syncAddress = 7, .rootLength = 34})},
        {"sync framing length too short", test::SacnSync({.syncAddress = 7, .framingLength = 10})},
        {"sync longer than its layout", syncTooLong},
        {"sync short of the reserved bytes", syncTooShort},
        {"universe discovery", discovery},
    };
    ASSERT_EQ(Recognize(Frame(data)).result, SacnKind::Data);
    ASSERT_EQ(Recognize(Frame(sync)).result, SacnKind::Sync);
    for (const auto& [name, payload] : cases) {
        SCOPED_TRACE(name);
        ExpectDropped(Frame(payload));
    }
}

TEST(SacnRecognition, FramesThatAreNotWholeUdpToPort5568AreDropped) {
    const Bytes payload = test::SacnData(DataFields());
    const Bytes good = Frame(payload);
    ASSERT_EQ(Recognize(good).result, SacnKind::Data);
    const size_t ip = kEthernet;
    const size_t udp = ip + 20;
    const auto be16 = [](Bytes b, size_t at, uint16_t v) {
        b[at] = static_cast<uint8_t>(v >> 8);
        b[at + 1] = static_cast<uint8_t>(v & 0xFF);
        return b;
    };
    const uint16_t total = static_cast<uint16_t>(good.size() - kEthernet);
    test::UdpOptions artNetPort = test::SacnUdp(7);
    artNetPort.dstPort = 6454;
    test::UdpOptions sourcePortOnly = test::SacnUdp(7);
    sourcePortOnly.srcPort = 5568;
    sourcePortOnly.dstPort = 5569;
    Bytes ihl4 = good;  // the UDP header really starts where the short IHL points
    ihl4.erase(ihl4.begin() + static_cast<long>(ip + 16), ihl4.begin() + static_cast<long>(udp));
    ihl4[ip] = 0x44;
    ihl4 = be16(ihl4, ip + 2, static_cast<uint16_t>(total - 4));

    const std::pair<const char*, Bytes> cases[] = {
        {"Art-Net port", test::UdpFrame(payload, artNetPort)},
        {"5568 as source port only", test::UdpFrame(payload, sourcePortOnly)},
        {"EtherType IPv6", be16(good, 12, 0x86DD)},
        {"IP version 6", Poke(good, ip, 0x65)},
        {"IHL 4", ihl4},
        {"TCP", Poke(good, ip + 9, 6)},
        {"more fragments", Poke(good, ip + 6, 0x20)},
        {"fragment offset", Poke(good, ip + 7, 0x01)},
        {"IPv4 length beyond the frame", be16(good, ip + 2, static_cast<uint16_t>(total + 1))},
        {"IPv4 length inside its header", be16(good, ip + 2, 19)},
        {"IPv4 length cuts the datagram", be16(good, ip + 2, static_cast<uint16_t>(total - 1))},
        {"UDP length beyond the datagram",
         be16(good, udp + 4, static_cast<uint16_t>(total - 20 + 1))},
        {"UDP length cuts the packet", be16(good, udp + 4, static_cast<uint16_t>(total - 20 - 1))},
        {"UDP length below its header", be16(good, udp + 4, 7)},
    };
    for (const auto& [name, frame] : cases) {
        SCOPED_TRACE(name);
        ExpectDropped(frame);
    }
}

TEST(SacnRecognition, TruncatedCapturesAreDropped) {
    const Bytes data = Frame(test::SacnData(DataFields(512)));
    const int p = static_cast<int>(kPayloadStart);
    for (int captured : {10, 14, 33, p - 1, p + 15, p + 37, p + 48, p + 114, p + 125,
                         static_cast<int>(data.size()) - 1}) {
        SCOPED_TRACE(captured);
        ExpectDropped(data, captured);
    }
    const Bytes sync = Frame(test::SacnSync({.syncAddress = 7}));
    ExpectDropped(sync, static_cast<int>(sync.size()) - 1);
    // Bytes past the wire length are not part of the frame.
    ExpectDropped(data, -1, static_cast<int>(data.size()) - 1);
}

}  // namespace
}  // namespace quorvex
