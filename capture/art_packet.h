#pragma once
// Recognising Art-Net ArtDmx and ArtSync packets in captured Ethernet frames.

#include <cstddef>
#include <cstdint>

namespace quorvex {

inline constexpr uint16_t kArtNetPort = 6454;
inline constexpr size_t kArtRecordSize = 2000;  // size of the caller's record buffer
inline constexpr size_t kArtRecordHeader = 8;   // ProtVerHi .. Length copied before the data

// What the packet reader found in a frame. Malformed: an ArtDmx (or, from a packet source, an
// sACN data packet) whose length is impossible, which is counted and never recorded.
enum class ArtKind { Dmx, Sync, None, Malformed };

// The channel counts an ArtDmx Length may give.
inline constexpr uint16_t kArtMinLength = 2;
inline constexpr uint16_t kArtMaxLength = 512;

// Recognises one Ethernet II / IPv4 / UDP frame. `captured` is how many bytes of the frame
// are present, `wireLength` its length on the wire. For ArtDmx `record` is pointed at the
// record inside `frame` (ProtVerHi onward: 8 header bytes and the channel data) and its length
// stored in `recordLength`; for ArtSync `recordLength` is set to 0 and `record` is left alone.
// For both, the IPv4 source address (host byte order) is stored in `sourceIp` when it is
// given. An ArtDmx whose Length is outside 2..512 gives ArtKind::Malformed and writes nothing.
// Anything else, or any field that would run past the captured bytes or a record of
// kArtRecordSize bytes, gives ArtKind::None and writes nothing.
ArtKind FindArtRecord(const uint8_t* frame, size_t captured, size_t wireLength,
                      const uint8_t** record, uint16_t* recordLength, uint32_t* sourceIp = nullptr);
// The same, with the ArtDmx record copied into `record` (kArtRecordSize bytes).
ArtKind RecognizeArtFrame(const uint8_t* frame, size_t captured, size_t wireLength, uint8_t* record,
                          uint16_t* recordLength, uint32_t* sourceIp = nullptr);

// An ArtPollReply: the node's address (host byte order) and its short name, 18 bytes as
// sent (NUL-padded, maybe unterminated). Anything else gives false and writes nothing.
inline constexpr size_t kArtShortNameSize = 18;
bool FindArtPollReply(const uint8_t* frame, size_t captured, size_t wireLength, uint32_t* sourceIp,
                      const uint8_t** shortName);

// Fields of an ArtDmx record.
inline int RecordUniverse(const uint8_t* record) { return (record[5] & 0x7F) * 256 + record[4]; }
inline uint8_t RecordSequence(const uint8_t* record) { return record[2]; }

}  // namespace quorvex

#include <vector>

namespace quorvex {

// Builds the UDP payload of an ArtDmx packet (protocol version 14) for `universe`
// (15-bit Port-Address) carrying `length` channel bytes.
void BuildArtDmxPayload(uint8_t sequence, int universe, const uint8_t* data, uint16_t length,
                        std::vector<uint8_t>& out);
// Builds the UDP payload of an ArtSync packet.
void BuildArtSyncPayload(std::vector<uint8_t>& out);

}  // namespace quorvex
