#include "tests/support/traffic_builder.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "capture/art_packet.h"
#include "capture/sacn_packet.h"

namespace quorvex::test {

namespace {
void PutBe16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v & 0xFF);
}
void PutBe32(Bytes& b, size_t at, uint32_t v) {
    PutBe16(b, at, static_cast<uint16_t>(v >> 16));
    PutBe16(b, at + 2, static_cast<uint16_t>(v & 0xFFFF));
}
Bytes ArtHeader(uint8_t opLow, uint8_t opHigh) {
    return Bytes{'A', 'r', 't', '-', 'N', 'e', 't', 0, opLow, opHigh, 0, 14};
}
}  // namespace

Bytes ArtDmx(const ArtDmxFields& f) {
    Bytes b = ArtHeader(0x00, 0x50);
    const int len = f.lengthField >= 0 ? f.lengthField : static_cast<int>(f.data.size());
    b.insert(b.end(), {f.sequence, f.physical, f.subUni, f.net, static_cast<uint8_t>(len >> 8),
                       static_cast<uint8_t>(len & 0xFF)});
    b.insert(b.end(), f.data.begin(), f.data.end());
    return b;
}

Bytes ArtDmx(int universe, uint8_t sequence, const Bytes& data) {
    Bytes b;
    BuildArtDmxPayload(sequence, universe, data.data(), static_cast<uint16_t>(data.size()), b);
    return b;
}

Bytes ArtSync() {
    Bytes b;
    BuildArtSyncPayload(b);
    return b;
}

Bytes ArtPoll() {
    Bytes b = ArtHeader(0x00, 0x20);
    b.insert(b.end(), {0x02, 0x00});
    return b;
}

Bytes ArtPollReply(const std::string& shortName) {
    Bytes b = ArtHeader(0x00, 0x21);
    b.resize(239, 0);  // the reply's full size; the short name sits at 26, 18 bytes
    std::copy_n(shortName.begin(), std::min<size_t>(shortName.size(), 18), b.begin() + 26);
    return b;
}

Bytes ArtNzs(int universe, uint8_t sequence, const Bytes& data) {
    Bytes b = ArtDmx(universe, sequence, data);
    b[9] = 0x51;
    b[13] = 0x10;  // start code
    return b;
}

Bytes SacnData(const SacnDataFields& f) {
    const size_t n = f.data.size();
    Bytes b(sacn::kChannels + n, 0);
    PutBe16(b, 0, 0x0010);
    const char id[] = "ASC-E1.17";
    std::copy(id, id + sizeof id - 1, b.begin() + 4);
    auto flagsLength = [&](size_t at, int given) {
        const int natural = static_cast<int>(b.size() - at);
        PutBe16(b, at, static_cast<uint16_t>(0x7000 | ((given >= 0 ? given : natural) & 0x0FFF)));
    };
    flagsLength(sacn::kRootFlagsLength, f.rootLength);
    PutBe32(b, sacn::kRootVector, 0x00000004);
    std::copy(f.cid.begin(), f.cid.end(), b.begin() + sacn::kCid);
    flagsLength(sacn::kFramingFlagsLength, f.framingLength);
    PutBe32(b, sacn::kFramingVector, 0x00000002);
    std::copy(f.sourceName.begin(),
              f.sourceName.begin() + static_cast<long>(std::min<size_t>(f.sourceName.size(), 63)),
              b.begin() + sacn::kSourceName);
    b[sacn::kPriority] = f.priority;
    PutBe16(b, sacn::kDataSyncAddress, f.syncAddress);
    b[sacn::kSequence] = f.sequence;
    b[sacn::kOptions] = f.options;
    PutBe16(b, sacn::kUniverse, f.universe);
    flagsLength(sacn::kDmpFlagsLength, f.dmpLength);
    b[sacn::kDmpVector] = 0x02;
    b[sacn::kAddressType] = 0xA1;
    PutBe16(b, sacn::kIncrement, 0x0001);
    PutBe16(b, sacn::kValueCount,
            static_cast<uint16_t>(f.valueCount >= 0 ? f.valueCount : static_cast<int>(n + 1)));
    b[sacn::kStartCode] = f.startCode;
    std::copy(f.data.begin(), f.data.end(), b.begin() + sacn::kChannels);
    return b;
}

Bytes SacnSync(const SacnSyncFields& f) {
    SacnDataFields root;
    root.cid = f.cid;
    root.rootLength = f.rootLength >= 0
                          ? f.rootLength
                          : static_cast<int>(sacn::kSyncSize - sacn::kRootFlagsLength);
    Bytes b = SacnData(root);
    b.resize(sacn::kSyncSize);
    std::fill(b.begin() + sacn::kSourceName, b.end(), 0);
    PutBe32(b, sacn::kRootVector, 0x00000008);
    const int framing = f.framingLength >= 0
                            ? f.framingLength
                            : static_cast<int>(sacn::kSyncSize - sacn::kFramingFlagsLength);
    PutBe16(b, sacn::kFramingFlagsLength, static_cast<uint16_t>(0x7000 | (framing & 0x0FFF)));
    PutBe32(b, sacn::kFramingVector, 0x00000001);
    b[sacn::kSyncSequence] = f.sequence;
    PutBe16(b, sacn::kSyncAddress, f.syncAddress);
    return b;
}

UdpOptions SacnUdp(uint16_t universe, uint32_t unicastIp) {
    UdpOptions o;
    o.srcPort = 50123;  // senders pick any source port
    o.dstPort = kSacnPort;
    o.dstIp = unicastIp ? unicastIp : 0xEFFF0000u | universe;
    return o;
}

Bytes UdpFrame(const Bytes& payload, const UdpOptions& o) {
    const size_t ipHeader = 20 + 4 * static_cast<size_t>(o.ipOptionWords);
    Bytes f(14 + ipHeader + 8 + payload.size(), 0);
    // Ethernet: broadcast destination, a local source, IPv4.
    for (int i = 0; i < 6; ++i) f[static_cast<size_t>(i)] = 0xFF;
    const uint8_t src[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    std::copy(src, src + 6, f.begin() + 6);
    f[12] = 0x08;
    f[13] = 0x00;
    // IPv4.
    const size_t ip = 14;
    f[ip] = static_cast<uint8_t>(0x40 | (5 + o.ipOptionWords));
    PutBe16(f, ip + 2, static_cast<uint16_t>(ipHeader + 8 + payload.size()));
    f[ip + 8] = 64;
    f[ip + 9] = 17;  // UDP
    PutBe32(f, ip + 12, o.srcIp);
    PutBe32(f, ip + 16, o.dstIp);
    for (size_t i = 20; i < ipHeader; ++i) f[ip + i] = 0x01;  // NOP options
    FixIpv4Checksum(f);
    // UDP, checksum 0 (none).
    const size_t udp = ip + ipHeader;
    PutBe16(f, udp, o.srcPort);
    PutBe16(f, udp + 2, o.dstPort);
    PutBe16(f, udp + 4, static_cast<uint16_t>(8 + payload.size()));
    std::copy(payload.begin(), payload.end(), f.begin() + static_cast<long>(udp + 8));
    return f;
}

PcapWriter::PcapWriter(const std::string& path) {
    m_dead = pcap_open_dead(DLT_EN10MB, 65535);
    m_dumper = pcap_dump_open(m_dead, path.c_str());
    if (!m_dumper) throw std::runtime_error("cannot write " + path);
}

PcapWriter::~PcapWriter() { Close(); }

void PcapWriter::Write(const Bytes& frame, uint64_t timestampUs, int captured) {
    pcap_pkthdr h{};
    h.ts.tv_sec = static_cast<time_t>(timestampUs / 1000000);
    h.ts.tv_usec = static_cast<suseconds_t>(timestampUs % 1000000);
    h.len = static_cast<bpf_u_int32>(frame.size());
    h.caplen = captured >= 0 && static_cast<size_t>(captured) < frame.size()
                   ? static_cast<bpf_u_int32>(captured)
                   : h.len;
    pcap_dump(reinterpret_cast<u_char*>(m_dumper), &h, frame.data());
}

void PcapWriter::Close() {
    if (m_dumper) pcap_dump_close(m_dumper);
    if (m_dead) pcap_close(m_dead);
    m_dumper = nullptr;
    m_dead = nullptr;
}

// The pattern `quorvex-cli send --help` documents, written out here: a test never checks the
// product against its own formulas.
uint8_t SequenceOf(int frame) { return static_cast<uint8_t>(1 + (frame - 1) % 255); }

uint8_t ShowByte(int frame, int universe, int channel) {
    return static_cast<uint8_t>((5 * frame + 17 * universe + channel) % 256);
}

Bytes ShowData(int frame, int universe, int channels) {
    Bytes d(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c) d[static_cast<size_t>(c)] = ShowByte(frame, universe, c);
    return d;
}

Bytes ShowFrame(int frame, const std::vector<int>& universes, int channels) {
    Bytes out;
    for (int u : universes) {
        const Bytes d = ShowData(frame, u, channels);
        out.insert(out.end(), d.begin(), d.end());
    }
    return out;
}

void WriteShow(const std::string& path, const ShowPlan& plan) {
    PcapWriter w(path);
    const uint64_t base = 1700000000ull * 1000000ull;
    const double periodUs = 1e6 / plan.fps;
    for (int i = 0; i < plan.frames; ++i) {
        const int frame = plan.firstFrame + i;
        uint64_t ts = base + static_cast<uint64_t>(i * periodUs);
        for (size_t k = 0; k < plan.universes.size(); ++k) {
            const int u = plan.universes[k];
            const int sentAs = k < plan.sentAs.size() ? plan.sentAs[k] : u;
            w.Write(UdpFrame(ArtDmx(sentAs, SequenceOf(frame), ShowData(frame, u, plan.channels))),
                    ts++);
        }
        if (plan.sync) w.Write(UdpFrame(ArtSync()), ts);
    }
}

TempDir::TempDir(const std::string& base) {
    const std::filesystem::path root =
        base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base);
    std::string tmpl = (root / "quorvex-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

uint32_t Be16(const Bytes& b, size_t at) { return (uint32_t{b.at(at)} << 8) | b.at(at + 1); }
uint32_t Be32(const Bytes& b, size_t at) { return (Be16(b, at) << 16) | Be16(b, at + 2); }

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes RecordOf(const Bytes& artDmxPayload) {
    constexpr long kRecordStart = 10;  // ProtVerHi within the payload
    return Bytes(artDmxPayload.begin() + kRecordStart, artDmxPayload.end());
}

uint32_t OnesComplementSum(const Bytes& b, size_t from, size_t length, uint32_t sum) {
    for (size_t i = 0; i < length; i += 2) {
        sum += (b[from + i] << 8) | (i + 1 < length ? b[from + i + 1] : 0);
    }
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

void FixIpv4Checksum(Bytes& f) {
    constexpr size_t ip = 14;
    const size_t ihl = (f[ip] & 0x0F) * 4u;
    PutBe16(f, ip + 10, 0);
    PutBe16(f, ip + 10, static_cast<uint16_t>(~OnesComplementSum(f, ip, ihl) & 0xFFFF));
}

}  // namespace quorvex::test
