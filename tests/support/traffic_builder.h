#pragma once
// Builds Ethernet/IPv4/UDP/Art-Net/sACN frames for tests and writes them to capture files.

#include <pcap/pcap.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvex::test {

using Bytes = std::vector<uint8_t>;

struct ArtDmxFields {
    uint8_t net = 0;
    uint8_t subUni = 0;
    uint8_t sequence = 0;
    uint8_t physical = 0;
    Bytes data;
    // Length field as sent; by default data.size(). Lets a test send a Length that lies.
    int lengthField = -1;
};

Bytes ArtDmx(const ArtDmxFields& f);
Bytes ArtDmx(int universe, uint8_t sequence, const Bytes& data);
Bytes ArtSync();
Bytes ArtPoll();
// A node's poll reply with `shortName` (up to 18 bytes, unterminated at 18).
Bytes ArtPollReply(const std::string& shortName);
Bytes ArtNzs(int universe, uint8_t sequence, const Bytes& data);

// The record the packet reader makes of an ArtDmx payload: ProtVerHi onward.
Bytes RecordOf(const Bytes& artDmxPayload);

// An sACN data packet. The length fields default to the ones the data implies; setting one
// lets a test send a length that lies.
struct SacnDataFields {
    uint16_t universe = 1;
    uint8_t sequence = 0;
    uint8_t priority = 100;
    uint8_t options = 0;
    uint16_t syncAddress = 0;
    uint8_t startCode = 0;
    Bytes data;
    std::array<uint8_t, 16> cid{0x51, 0x55, 0x4F, 0x52, 0x56, 0x45, 0x58, 0x00,
                                0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
    std::string sourceName = "Quorvex test";
    int rootLength = -1;  // 12-bit lengths of each layer's flags & length field
    int framingLength = -1;
    int dmpLength = -1;
    int valueCount = -1;  // DMP property value count, start code included
};

struct SacnSyncFields {
    uint8_t sequence = 0;
    uint16_t syncAddress = 1;
    // The same source as SacnDataFields' by default.
    std::array<uint8_t, 16> cid{0x51, 0x55, 0x4F, 0x52, 0x56, 0x45, 0x58, 0x00,
                                0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
    int rootLength = -1;
    int framingLength = -1;
};

// UDP payloads of an sACN data and synchronization packet.
Bytes SacnData(const SacnDataFields& f);
Bytes SacnSync(const SacnSyncFields& f);

// Offsets of the sACN fields within the UDP payload, for tests that edit a packet.
namespace sacn {
inline constexpr size_t kRootFlagsLength = 16;
inline constexpr size_t kRootVector = 18;
inline constexpr size_t kCid = 22;
inline constexpr size_t kFramingFlagsLength = 38;
inline constexpr size_t kFramingVector = 40;
inline constexpr size_t kSourceName = 44;
inline constexpr size_t kPriority = 108;
inline constexpr size_t kDataSyncAddress = 109;
inline constexpr size_t kSequence = 111;
inline constexpr size_t kOptions = 112;
inline constexpr size_t kUniverse = 113;
inline constexpr size_t kDmpFlagsLength = 115;
inline constexpr size_t kDmpVector = 117;
inline constexpr size_t kAddressType = 118;
inline constexpr size_t kFirstAddress = 119;
inline constexpr size_t kIncrement = 121;
inline constexpr size_t kValueCount = 123;
inline constexpr size_t kStartCode = 125;
inline constexpr size_t kChannels = 126;
inline constexpr size_t kSyncSequence = 44;  // in a synchronization packet
inline constexpr size_t kSyncAddress = 45;
inline constexpr size_t kSyncSize = 49;
}  // namespace sacn

struct UdpOptions {
    uint16_t srcPort = 6454;
    uint16_t dstPort = 6454;
    int ipOptionWords = 0;        // IHL = 5 + this
    uint32_t srcIp = 0x0A000001;  // only written into frames, never sent
    uint32_t dstIp = 0x0A0000FF;
};

// Ethernet II + IPv4 + UDP around `payload`, with valid IPv4 and UDP lengths.
Bytes UdpFrame(const Bytes& payload, const UdpOptions& options = {});
// Ports 5568 and the multicast group of `universe` (239.255.hi.lo), or `unicastIp` if set.
UdpOptions SacnUdp(uint16_t universe, uint32_t unicastIp = 0);

// The ones' complement sum of `length` bytes from `from` (a last odd byte padded with 0),
// added to `sum` and folded to 16 bits.
uint32_t OnesComplementSum(const Bytes& b, size_t from, size_t length, uint32_t sum = 0);
// Rewrites the IPv4 header checksum of an Ethernet frame after its header was edited.
void FixIpv4Checksum(Bytes& frame);

// Writes frames to a pcap file (Ethernet link type) with pcap_open_dead + pcap_dump.
class PcapWriter {
  public:
    explicit PcapWriter(const std::string& path);
    ~PcapWriter();
    PcapWriter(const PcapWriter&) = delete;
    PcapWriter& operator=(const PcapWriter&) = delete;

    // `captured` < frame size writes a truncated capture (len stays the frame size).
    void Write(const Bytes& frame, uint64_t timestampUs, int captured = -1);
    void Close();

  private:
    pcap_t* m_dead = nullptr;
    pcap_dumper_t* m_dumper = nullptr;
};

// A show: `frames` frames, each a packet per universe in `universes` carrying `channels`
// bytes, all packets of frame f with sequence number SequenceOf(f), at `fps`.
struct ShowPlan {
    std::vector<int> universes{0, 1, 2, 3, 4, 5};
    int channels = 512;
    int frames = 10;
    double fps = 40;
    bool sync = false;   // ArtSync after each frame
    int firstFrame = 1;  // number of the first frame written
    // When given, universes[k] goes out as universe sentAs[k], with the data of universes[k]:
    // the same show on other universe numbers.
    std::vector<int> sentAs;
};

// The test pattern of `quorvex-cli send`, as its help documents it. Sequence number of frame
// f: 1 + (f - 1) mod 255, wrapping to 1 (0 means "sequencing off").
uint8_t SequenceOf(int frame);
// Channel c of universe u in frame f: (5 f + 17 u + c) mod 256.
uint8_t ShowByte(int frame, int universe, int channel);
// The channel data of one universe in one frame.
Bytes ShowData(int frame, int universe, int channels);

// The bytes a recording holds for show frame f: the universes' data in the given order.
Bytes ShowFrame(int frame, const std::vector<int>& universes, int channels);

// Writes a whole show to a capture file.
void WriteShow(const std::string& path, const ShowPlan& plan);

// A fresh scratch folder under the system's temporary folder, removed by the destructor.
class TempDir {
  public:
    // Under `base` when given, else under the system's temporary folder.
    explicit TempDir(const std::string& base = {});
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

Bytes ReadFileBytes(const std::string& path);

// `n` bytes that differ from their neighbours, starting at `seed`.
Bytes Pattern(size_t n, uint8_t seed);

// The big-endian 16- and 32-bit numbers at `at`.
uint32_t Be16(const Bytes& b, size_t at);
uint32_t Be32(const Bytes& b, size_t at);

}  // namespace quorvex::test
