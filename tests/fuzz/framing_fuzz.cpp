// libFuzzer target for the survey and the frame assembler: an arbitrary sequence of data and
// synchronization packets from a few Art-Net and sACN senders is surveyed, laid out and
// recorded as the recording thread does it. Never a crash, and never a byte outside the frame
// the layout gives.
//
// Input: byte 0 is the universes per port, then 6 bytes a packet:
//   0  bits 0-1: 0 or 1 data, 2 synchronization, 3 a silence before the next packet;
//      bit 2 sACN; bits 3-4 the sender; bit 5 not recordable; bit 6 stream terminated
//   1  universe (0..23, or 0x7FF0 on with bit 7)
//   2  sequence number
//   3  channels: 0..512 in steps of 2 (above 512 the recogniser would refuse it)
//   4  time since the packet before, in half milliseconds (a silence: in 20 ms steps)
//   5  the value the channels start from; for sACN also the priority

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/frame_assembler.h"
#include "analysis/frame_layout.h"
#include "analysis/universe_survey.h"
#include "capture/art_packet.h"
#include "capture/source_directory.h"
#include "recording/rgb_format.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

enum class Kind { Data, Sync, None };

struct Packet {
    Kind kind = Kind::None;
    quorvex::PacketFacts facts;
    int64_t timeUs = 0;
    std::vector<uint8_t> record;
};

std::vector<Packet> Decode(const uint8_t* data, size_t size) {
    std::vector<Packet> packets;
    int64_t now = 1'000'000;
    for (size_t i = 0; i + 6 <= size; i += 6) {
        const uint8_t* op = data + i;
        const int what = op[0] & 3;
        if (what == 3) {
            now += int64_t{op[4]} * 20'000;
            continue;
        }
        now += int64_t{op[4]} * 500;
        Packet p;
        p.kind = what == 2 ? Kind::Sync : Kind::Data;
        p.timeUs = now;
        const bool sacn = op[0] & 4;
        const uint32_t who = (op[0] >> 3) & 3;
        p.facts.protocol = sacn ? quorvex::Protocol::Sacn : quorvex::Protocol::ArtNet;
        p.facts.sender = sacn ? (quorvex::kSacnSourceBit | who) : 0x0A000001u + who;
        p.facts.address = 0x0A000001u + (who & 1);
        p.facts.priority = sacn ? static_cast<uint8_t>(op[5] % 201) : 100;
        p.facts.terminated = sacn && (op[0] & 0x40);
        p.facts.recordable = !(sacn && (op[0] & 0x20)) && !p.facts.terminated;
        p.facts.sequence = op[2];
        const int universe = (op[1] & 0x80) ? 0x7FF0 + (op[1] & 0x0F) : (op[1] & 0x7F) % 24;
        p.facts.sentUniverse = static_cast<uint16_t>(universe + 1);
        p.facts.syncAddress = sacn ? static_cast<uint16_t>(op[1] & 1) : 0;
        if (p.kind == Kind::Data) {
            const uint16_t channels =
                p.facts.recordable ? static_cast<uint16_t>(std::min(op[3] * 2, 512)) : 0;
            p.record.assign(quorvex::kArtRecordHeader + channels, 0);
            p.record[1] = 14;
            p.record[2] = op[2];
            p.record[4] = static_cast<uint8_t>(universe & 0xFF);
            p.record[5] = static_cast<uint8_t>(universe >> 8);
            p.record[6] = static_cast<uint8_t>(channels >> 8);
            p.record[7] = static_cast<uint8_t>(channels & 0xFF);
            for (uint16_t c = 0; c < channels; ++c) {
                p.record[quorvex::kArtRecordHeader + c] = static_cast<uint8_t>(op[5] + c);
            }
        }
        packets.push_back(std::move(p));
    }
    return packets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using quorvex::FrameAssembler;
    if (size < 1) return 0;
    const int perPort = 1 + data[0] % 32;
    const std::vector<Packet> packets = Decode(data + 1, size - 1);

    quorvex::UniverseTable table;
    quorvex::UniverseSurvey survey(table);
    bool done = false;
    for (const Packet& p : packets) {
        if (p.kind == Kind::Sync) survey.FeedSync(p.facts, p.timeUs);
        if (p.kind != Kind::Data) continue;
        if (survey.Feed(p.record.data(), static_cast<uint16_t>(p.record.size()), p.facts,
                        p.timeUs)) {
            done = true;
            break;
        }
    }
    if (!done && !survey.Finish()) return 0;
    const quorvex::PortLayout layout = quorvex::ComputeFrameLayout(table, perPort);
    if (layout.portCount == 0 || layout.portCount > quorvex::kMaxRgbPorts) return 0;
    uint32_t sum = 0;
    for (const uint16_t l : layout.portLengths) sum += l;
    Check(sum == layout.frameLength);

    // Frames of exactly the layout's length, each its own allocation: a byte written past one
    // is an address sanitizer report.
    std::vector<std::vector<uint8_t>> frames(2, std::vector<uint8_t>(layout.frameLength));
    size_t current = 0;
    FrameAssembler assembler;
    assembler.Start(&table, layout.frameLength, survey.SurveyedFraming(), frames[current].data());
    uint32_t counted = 0;
    const auto closeFrames = [&] {
        while (assembler.FrameOver()) {
            const bool countable = assembler.Countable();
            if (countable) assembler.CarryOver(frames[1 - current].data(), frames[current].data());
            const auto boundary = assembler.Close(!countable, false, UINT32_MAX);
            Check(boundary == FrameAssembler::Boundary::NewFrame ||
                  boundary == FrameAssembler::Boundary::Continue);
            if (boundary == FrameAssembler::Boundary::NewFrame) {
                Check(assembler.FrameCount() == ++counted);
                current = 1 - current;
            }
            Check(assembler.Open(frames[current].data()) == FrameAssembler::Placement::Placed);
        }
    };
    for (const Packet& p : packets) {
        if (p.kind == Kind::Sync) {
            assembler.Sync(p.facts);
        } else {
            const auto admitted = assembler.Admit(
                p.record.data(), static_cast<uint16_t>(p.record.size()), p.facts, p.timeUs);
            if (admitted.recorded) {
                Check(admitted.slotLength <= layout.frameLength);
                assembler.Offer(p.record.data(), static_cast<uint16_t>(p.record.size()), admitted,
                                p.timeUs);
            }
        }
        closeFrames();
    }
    assembler.End();
    closeFrames();
    const auto& figures = assembler.Result();
    Check(figures.frames == counted && figures.incomplete <= counted);
    uint32_t position = 0;
    uint16_t length = 0;
    Check(!assembler.ReceiveError(&position, &length));
    return 0;
}
