// The whole engine recording a generated capture file (64 universes x 512 channels x 2000
// frames), beside a bare pcap_next_ex loop over the same file, which is the limit.

#include <benchmark/benchmark.h>
#include <pcap/pcap.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "cli/pattern_sender.h"
#include "recording/recorder.h"
#include "tests/support/fake_recorder_host.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

constexpr int kUniverses = 64;
constexpr uint32_t kFrames = 2000;

struct Capture {
    test::TempDir dir;
    std::string path = dir.File("show.pcap");
    uint64_t packets = 0;
    Capture() {
        cli::PatternOptions o;
        o.universes.clear();
        for (int u = 0; u < kUniverses; ++u) o.universes.push_back(u);
        o.frames = kFrames;
        const std::string error = cli::WritePatternCapture(path, o);
        if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
    }
};

Capture& SharedCapture() {
    static Capture capture;
    return capture;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Packets per second of a bare read of the whole file.
double BareReadRate(const std::string& path, uint64_t* packets) {
    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
    if (!p) return 0;
    pcap_pkthdr* h = nullptr;
    const u_char* data = nullptr;
    uint64_t n = 0;
    const auto start = std::chrono::steady_clock::now();
    while (pcap_next_ex(p, &h, &data) == 1) {
        benchmark::DoNotOptimize(data);
        ++n;
    }
    const double s = Seconds(std::chrono::steady_clock::now() - start);
    pcap_close(p);
    *packets = n;
    return n / s;
}

// Packets per second of the engine recording the file from the end of the survey to the end
// of the file, the writer included.
double EngineRate(const std::string& path, uint32_t* frames) {
    // The recording goes to memory when it can, so that the engine is measured, not the disk.
    std::error_code ec;
    test::TempDir out(std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "");
    test::FakeRecorderHost host;
    Recorder::Options options;
    options.recordingFolder = out.path();
    Recorder recorder(host, options);
    host.SetRecorder(&recorder);
    if (!recorder.OpenCaptureFile(path)) return 0;
    recorder.Parse();
    host.PumpUntil([&] { return !host.Surveys().empty(); });
    RecordingSettings settings;
    settings.universesPerPort = 8;
    recorder.ApplySettings(settings);
    host.AnswerSaveAs(out.File("bench.RGB"));
    const auto start = std::chrono::steady_clock::now();
    // More frames than the file holds.
    recorder.Capture(1000000);
    // Done when the file has been read to its end and every frame is on disk.
    for (;;) {
        host.PumpPending();
        const RecorderStatus status = recorder.Snapshot();
        if (status.phase != Phase::Recording && status.framesWritten == status.framesCompleted) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double s = Seconds(std::chrono::steady_clock::now() - start);
    host.PumpUntil([&] { return !host.Finished().empty(); }, std::chrono::minutes(5));
    *frames = host.Finished().empty() ? 0 : host.Finished().back().summary.framesWritten;
    // Every packet after the survey's three frames went through the engine.
    return static_cast<double>(kUniverses) * (kFrames - 3) / s;
}

void BM_OfflineRecording(benchmark::State& state) {
    Capture& capture = SharedCapture();
    double bare = 0, engine = 0;
    uint64_t packets = 0;
    uint32_t frames = 0;
    // Each ratio from one run, both sides back to back; the best of the runs, so that another
    // program's moment on the processor does not count.
    for (auto _ : state) {
        const double b = BareReadRate(capture.path, &packets);
        const double e = EngineRate(capture.path, &frames);
        if (b > 0 && (bare == 0 || e / b > engine / bare)) {
            bare = b;
            engine = e;
        }
    }
    state.counters["bare_pps"] = bare;
    state.counters["engine_pps"] = engine;
    state.counters["ratio"] = bare > 0 ? engine / bare : 0;
    state.counters["frames"] = frames;
    std::printf("offline recording: bare read %.0f packets/s, engine %.0f packets/s, %.0f%%\n",
                bare, engine, bare > 0 ? 100 * engine / bare : 0);
}
BENCHMARK(BM_OfflineRecording)->Iterations(3)->Unit(benchmark::kMillisecond);

// The bare read alone, of $QUORVEX_BENCH_CAPTURE when set (bench/record_cli.sh uses it).
void BM_BareRead(benchmark::State& state) {
    const char* given = std::getenv("QUORVEX_BENCH_CAPTURE");
    const std::string path = given && *given ? given : SharedCapture().path;
    double rate = 0;
    uint64_t packets = 0;
    for (auto _ : state) rate = BareReadRate(path, &packets);
    state.counters["bare_pps"] = rate;
    state.counters["packets"] = static_cast<double>(packets);
    std::printf("bare read: %.0f packets/s\n", rate);
}
BENCHMARK(BM_BareRead)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvex
