// A disk that stalls for a second while frames come at 1 GbE line rate (170 universes x 512
// channels, about 210,000 ArtDmx packets a second). The assembly side is paced as the network
// would pace it; behind it the kernel's 32 MiB ring holds about an eighth of a second of
// traffic. Frames that arrive while the ring is full are what the kernel would drop: with the
// frame buffer between assembler and writer there should be none.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "recording/frame_writer.h"
#include "recording/rgb_file.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kUniverses = 170;
constexpr uint32_t kFrameLength = kUniverses * 512;
constexpr double kFramesPerSecond = 210000.0 / kUniverses;
// The kernel's 32 MiB ring holds about 0.13 s of line-rate traffic: a stalled writer without a
// frame buffer loses what comes after that.
constexpr double kRingFrames = 0.13 * kFramesPerSecond;
constexpr uint32_t kStallAtFrame = 300;
constexpr auto kStall = std::chrono::seconds(1);
constexpr double kSeconds = 3;

long MaxRssMb() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return r.ru_maxrss / 1024;
}

// state.range(0): the frame buffer in MiB; 0 gives the smallest, two frames.
void BM_WriteStallAtLineRate(benchmark::State& state) {
    const uint64_t queueBytes = static_cast<uint64_t>(state.range(0)) << 20;
    std::error_code ec;
    test::TempDir dir(std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "");
    const auto frames = static_cast<uint32_t>(kSeconds * kFramesPerSecond);
    double lost = 0, longestWaitMs = 0;
    uint32_t peak = 0, capacity = 0, written = 0;
    const long rssBefore = MaxRssMb();
    for (auto _ : state) {
        RgbFile file;
        std::filesystem::remove(dir.File("stall.RGB"), ec);
        if (!file.Create(dir.File("stall.RGB"), std::vector<uint8_t>(548, 0))) {
            state.SkipWithError("cannot create the recording");
            return;
        }
        FrameWriter::Hooks hooks;
        hooks.beforeWrite = [](uint32_t frame) {
            if (frame == kStallAtFrame) std::this_thread::sleep_for(kStall);
        };
        auto writer = FrameWriter::Create(file, kFrameLength, queueBytes, hooks);
        if (!writer) {
            state.SkipWithError(writer.error().c_str());
            return;
        }
        FrameWriter& w = **writer;
        const auto start = Clock::now();
        double behind = 0;  // seconds the assembly side is behind the network at most
        for (uint32_t f = 1; f <= frames; ++f) {
            const auto arrival =
                start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>((f - 1) / kFramesPerSecond));
            std::this_thread::sleep_until(arrival);
            behind =
                std::max(behind, std::chrono::duration<double>(Clock::now() - arrival).count());
            std::memset(w.Frame(), static_cast<int>(f), kFrameLength);
            const auto before = Clock::now();
            if (!w.FrameCompleted(f)) break;
            longestWaitMs = std::max(
                longestWaitMs, std::chrono::duration<double>(Clock::now() - before).count() * 1e3);
        }
        w.Finish();
        written = w.Written();
        peak = w.PeakQueued();
        capacity = w.QueueCapacity();
        (void)file.FixFrameCountAndClose(written);
        lost = std::max(0.0, behind * kFramesPerSecond - kRingFrames);
    }
    state.counters["frames"] = frames;
    state.counters["written"] = written;
    state.counters["queue_frames"] = capacity;
    state.counters["peak_queued"] = peak;
    state.counters["longest_wait_ms"] = longestWaitMs;
    state.counters["frames_lost"] = lost;
    state.counters["rss_growth_mb"] = static_cast<double>(MaxRssMb() - rssBefore);
    std::printf(
        "write stall of 1 s at line rate, %llu MiB buffer (%u frames): %u of %u frames "
        "written, peak %u queued, assembly waited at most %.0f ms, %.0f frames the kernel "
        "would drop\n",
        static_cast<unsigned long long>(state.range(0)), capacity, written, frames, peak,
        longestWaitMs, lost);
}
BENCHMARK(BM_WriteStallAtLineRate)
    ->Arg(0)
    ->Arg(256)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace quorvex
