// libFuzzer target for RecognizeArtFrame and FindSacnPacket.
//
// Input: byte 0 picks how the wire length relates to the captured bytes, bytes 1-2 (big
// endian) are the difference, the rest is the captured frame. So the fuzzer drives both a
// capture cut short of the wire length and a wire length below the captured bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "capture/art_packet.h"
#include "capture/sacn_packet.h"

namespace {

constexpr uint8_t kSentinel = 0xA5;
constexpr uint16_t kUntouched = 0xBEEF;
constexpr uint32_t kNoSource = 0xDEADBEEF;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// What the sACN recogniser reports must come from inside the present bytes.
quorvex::SacnKind CheckSacn(const std::vector<uint8_t>& frame, size_t wire) {
    using quorvex::SacnKind;
    quorvex::SacnPacket out;
    std::memset(&out, kSentinel, sizeof out);
    quorvex::SacnPacket before;
    std::memcpy(&before, &out, sizeof out);
    const size_t captured = frame.size();
    const SacnKind r = quorvex::FindSacnPacket(frame.data(), captured, wire, &out);
    Check(quorvex::FindSacnPacket(frame.data(), captured, wire, nullptr) == r);
    if (r == SacnKind::None) {
        Check(std::memcmp(&out, &before, sizeof out) == 0);
        return r;
    }
    Check(out.kind == r);
    const size_t present = captured < wire ? captured : wire;
    Check(present >= 34);
    const size_t ihl = frame[14] & 0x0F;
    const size_t payload = 14 + ihl * 4 + 8;
    Check(ihl >= 5 && payload <= present);
    Check(((frame[payload - 6] << 8) | frame[payload - 5]) == quorvex::kSacnPort);
    Check(out.sourceIp == ((uint32_t{frame[26]} << 24) | (uint32_t{frame[27]} << 16) |
                           (uint32_t{frame[28]} << 8) | uint32_t{frame[29]}));
    Check(std::memcmp(out.cid, frame.data() + payload + 22, sizeof out.cid) == 0);
    if (r == SacnKind::Sync) {
        Check(payload + 49 <= present);
        Check(out.syncAddress >= 1 && out.syncAddress <= quorvex::kSacnMaxUniverse);
        Check(out.universe == 0 && out.length == 0 && out.data == nullptr);
        return r;
    }
    Check(r == SacnKind::Data);
    // Start code, channels and the source name all lie inside the present bytes.
    const uint8_t* start = frame.data() + payload + 125;
    Check(out.data == start + 1 && payload + 126 + out.length <= present);
    Check(out.startCode == *start && out.length <= quorvex::kSacnMaxChannels);
    Check(out.sourceName == frame.data() + payload + 44);
    Check(out.universe >= 1 && out.universe <= quorvex::kSacnMaxUniverse);
    Check(out.priority <= quorvex::kSacnMaxPriority);
    Check(out.preview == ((out.options & 0x80) != 0));
    Check(out.terminated == ((out.options & 0x40) != 0));
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const bool truncated = data[0] & 1;
    const size_t delta = (static_cast<size_t>(data[1]) << 8) | data[2];
    // A buffer of exactly the captured bytes, so any read past them is caught.
    const std::vector<uint8_t> frame(data + 3, data + size);
    const size_t captured = frame.size();
    const size_t wire = truncated ? captured + delta : (delta > captured ? 0 : captured - delta);

    std::vector<uint8_t> record(quorvex::kArtRecordSize, kSentinel);
    uint16_t length = kUntouched;
    uint32_t source = kNoSource;
    const quorvex::ArtKind r =
        quorvex::RecognizeArtFrame(frame.data(), captured, wire, record.data(), &length, &source);

    const size_t present = captured < wire ? captured : wire;
    // A recognised packet names its IPv4 sender, read from inside the present bytes.
    if (r == quorvex::ArtKind::Dmx || r == quorvex::ArtKind::Sync) {
        Check(present >= 30);
        Check(source == ((uint32_t{frame[26]} << 24) | (uint32_t{frame[27]} << 16) |
                         (uint32_t{frame[28]} << 8) | uint32_t{frame[29]}));
    }
    size_t written = 0;
    switch (r) {
        case quorvex::ArtKind::None:
            Check(length == kUntouched && source == kNoSource);
            break;
        case quorvex::ArtKind::Malformed: {
            // An ArtDmx whose Length no receiver could take: counted, nothing written.
            Check(length == kUntouched && source == kNoSource && present > 14);
            const size_t payload = 14 + (frame[14] & 0x0F) * 4 + 8;
            Check(payload + 18 <= present);
            const size_t field =
                (static_cast<size_t>(frame[payload + 16]) << 8) | frame[payload + 17];
            Check(field < quorvex::kArtMinLength || field > quorvex::kArtMaxLength);
            break;
        }
        case quorvex::ArtKind::Sync:
            Check(length == 0);
            break;
        case quorvex::ArtKind::Dmx: {
            Check(length >= quorvex::kArtRecordHeader && length <= quorvex::kArtRecordSize);
            // The record is ProtVerHi onward, taken from inside the present bytes.
            const size_t ihl = frame[14] & 0x0F;
            const size_t start = 14 + ihl * 4 + 8 + 10;
            Check(ihl >= 5 && start + length <= present);
            Check(std::memcmp(record.data(), frame.data() + start, length) == 0);
            const size_t field = (static_cast<size_t>(record[6]) << 8) | record[7];
            Check(field + quorvex::kArtRecordHeader == length);
            written = length;
            break;
        }
        default:
            Check(false);
    }
    for (size_t i = written; i < record.size(); ++i) Check(record[i] == kSentinel);

    // The two protocols use different ports, so a frame is at most one of them.
    const quorvex::SacnKind sacn = CheckSacn(frame, wire);
    Check(r == quorvex::ArtKind::None || sacn == quorvex::SacnKind::None);
    return 0;
}
