// Per-packet costs: recognising a frame, and the assembler's step with and without the live
// input view watching it (argument 1: with).

#include <benchmark/benchmark.h>

#include <vector>

#include "analysis/frame_assembler.h"
#include "analysis/frame_layout.h"
#include "analysis/input_monitor.h"
#include "capture/art_packet.h"
#include "cli/pattern_sender.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

std::vector<uint8_t> DmxFrame(int universe, uint8_t seq) {
    std::vector<uint8_t> data(512, 0x5A), payload, frame;
    BuildArtDmxPayload(seq, universe, data.data(), 512, payload);
    cli::BuildUdpFrame(payload, 0x0A000001, 0x0A0000FF, frame);
    return frame;
}

void BM_RecognizeArtDmx(benchmark::State& state) {
    const auto frame = DmxFrame(3, 1);
    uint8_t record[kArtRecordSize];
    uint16_t length = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            RecognizeArtFrame(frame.data(), frame.size(), frame.size(), record, &length));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecognizeArtDmx);

// The recording thread's work for one packet: admit it, give it its frame, place its data,
// and at each frame's end close it and open the next.
void BM_AssemblerStep(benchmark::State& state) {
    UniverseTable table;
    for (int u = 0; u < 64; ++u) table.push_back({u, 0, 512, 0x0A000001});
    const PortLayout layout = ComputeFrameLayout(table, 6);
    std::vector<uint8_t> frames[2] = {std::vector<uint8_t>(layout.frameLength),
                                      std::vector<uint8_t>(layout.frameLength)};
    FrameAssembler assembler;
    assembler.Start(&table, layout.frameLength, Framing{}, frames[0].data());
    // A frame's 64 packets, for each of the 255 sequence numbers.
    std::vector<std::vector<uint8_t>> records;
    for (int seq = 1; seq <= 255; ++seq) {
        for (int u = 0; u < 64; ++u) {
            std::vector<uint8_t> data(512, static_cast<uint8_t>(u + seq)), payload;
            BuildArtDmxPayload(static_cast<uint8_t>(seq), u, data.data(), 512, payload);
            records.push_back(test::RecordOf(payload));
        }
    }
    PacketFacts facts;
    facts.sender = facts.address = 0x0A000001;
    const bool watched = state.range(0) != 0;
    InputMonitor monitor;
    size_t i = 0;
    int current = 0;
    int64_t nowUs = 1'000'000;
    for (auto _ : state) {
        const auto& r = records[i++ % records.size()];
        const auto length = static_cast<uint16_t>(r.size());
        // About 200,000 packets a second, as at line rate.
        nowUs += 5;
        if (watched) {
            monitor.Observe(RecordUniverse(r.data()), 0x0A000001, r[2], nowUs,
                            r.data() + kArtRecordHeader,
                            static_cast<uint16_t>(length - kArtRecordHeader));
        }
        const auto admitted = assembler.Admit(r.data(), length, facts, nowUs);
        if (admitted.recorded) assembler.Offer(r.data(), length, admitted, nowUs);
        while (assembler.FrameOver()) {
            if (assembler.Close(false, false, ~0u) == FrameAssembler::Boundary::NewFrame) {
                current ^= 1;
            }
            assembler.Open(frames[current].data());
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AssemblerStep)->Arg(0)->Arg(1);

// The packet thread's cost per packet against the number of universes a show carries
// (argument 0): recording them (argument 1: 1) or not, with the live input view watching
// (argument 2: 1) or not. Each frame sends every universe once, from two senders in turn; a
// flat cost is the point.
void BM_PacketThreadByUniverses(benchmark::State& state) {
    const int universes = static_cast<int>(state.range(0));
    const bool recording = state.range(1) != 0;
    const bool watched = state.range(2) != 0;
    UniverseTable table;
    for (int u = 0; u < universes; ++u) table.push_back({u, 0, 512, 0x0A000001});
    const PortLayout layout = ComputeFrameLayout(table, 6);
    std::vector<uint8_t> frames[2];
    FrameAssembler assembler;
    if (recording) {
        frames[0].resize(layout.frameLength);
        frames[1].resize(layout.frameLength);
        assembler.Start(&table, layout.frameLength, Framing{}, frames[0].data());
    }
    std::vector<uint8_t> data(512, 0x5A), payload;
    BuildArtDmxPayload(1, 0, data.data(), 512, payload);
    std::vector<uint8_t> r = test::RecordOf(payload);
    const auto length = static_cast<uint16_t>(r.size());
    PacketFacts facts;
    facts.sender = facts.address = 0x0A000001;
    InputMonitor monitor;
    int universe = 0;
    uint8_t seq = 1;
    int current = 0;
    int64_t nowUs = 1'000'000;
    for (auto _ : state) {
        r[2] = seq;
        r[4] = static_cast<uint8_t>(universe & 0xFF);
        r[5] = static_cast<uint8_t>(universe >> 8);
        nowUs += 5;
        if (watched) {
            monitor.Observe(universe, facts.sender + (seq & 1), seq, nowUs,
                            r.data() + kArtRecordHeader,
                            static_cast<uint16_t>(length - kArtRecordHeader),
                            {Protocol::ArtNet, facts.address, 0, 0});
        }
        if (recording) {
            const auto admitted = assembler.Admit(r.data(), length, facts, nowUs);
            if (admitted.recorded) assembler.Offer(r.data(), length, admitted, nowUs);
            while (assembler.FrameOver()) {
                if (assembler.Close(false, false, ~0u) == FrameAssembler::Boundary::NewFrame) {
                    current ^= 1;
                }
                assembler.Open(frames[current].data());
            }
        }
        if (++universe == universes) {
            universe = 0;
            seq = static_cast<uint8_t>(seq == 255 ? 1 : seq + 1);
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PacketThreadByUniverses)
    ->Args({170, 0, 1})
    ->Args({4096, 0, 1})
    ->Args({32768, 0, 1})
    ->Args({170, 1, 0})
    ->Args({4096, 1, 0})
    ->Args({32768, 1, 0})
    ->Args({170, 1, 1})
    ->Args({4096, 1, 1})
    ->Args({32768, 1, 1})
    ->ArgNames({"universes", "recording", "watched"});

}  // namespace
}  // namespace quorvex
