// quorvex-cli serve's recorder under its clients: a generated capture file (64 universes x
// 2000 frames) recorded through the controller, once alone and once while 100 clients poll
// the status and 10 follow the live stream over loopback. The frames must be the same; the
// packet rates tell what the clients cost.

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "cli/pattern_sender.h"
#include "remote/controller.h"
#include "remote/http_server.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using json = nlohmann::json;
constexpr int kUniverses = 64;
constexpr uint32_t kFrames = 2000;

struct Load {
    double packetsPerSecond = 0;
    uint32_t frames = 0;
    uint64_t polls = 0;
    uint64_t events = 0;
};

json LiveOf(remote::Controller& c) { return json::parse(c.Live()); }

Load RecordUnderLoad(const std::string& pcap, int pollers, int streams) {
    std::error_code ec;
    test::TempDir out(std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "");
    remote::ControllerOptions co;
    co.folder = out.path();
    co.captureFile = pcap;
    co.autosaveAfter = std::chrono::hours(1);
    remote::Controller controller(co);
    if (!controller.Start()) return {};
    remote::HttpOptions ho;
    ho.listen = {"127.0.0.1", 0, true};
    remote::HttpServer server(controller, ho);
    const auto port = server.Bind();
    if (!port) return {};
    std::thread serving([&] { server.Run(); });

    (void)controller.Handle("PUT", "/api/settings", R"({"universesPerPort":8})");
    (void)controller.Handle("POST", "/api/parse", "");
    while (LiveOf(controller)["survey"]["universes"] != kUniverses) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    Load load;
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> polls{0}, events{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < pollers; ++i) {
        clients.emplace_back([&] {
            httplib::Client c("127.0.0.1", *port);
            while (!stop) {
                if (auto r = c.Get("/api/status"); r && r->status == 200) ++polls;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    for (int i = 0; i < streams; ++i) {
        clients.emplace_back([&] {
            httplib::Client c("127.0.0.1", *port);
            while (!stop) {
                c.Get("/api/events", [&](const char*, size_t) {
                    ++events;
                    return !stop.load();
                });
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    (void)controller.Handle("POST", "/api/capture", R"({"frames":65535})");
    while (!LiveOf(controller)["unsaved"].is_object()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    load.frames = LiveOf(controller)["frames"];
    load.packetsPerSecond = static_cast<double>(kUniverses) * (kFrames - 3) / seconds;
    stop = true;
    for (auto& t : clients) t.join();
    load.polls = polls;
    load.events = events;
    server.Stop();
    serving.join();
    controller.Shutdown();
    return load;
}

void BM_ServeUnderLoad(benchmark::State& state) {
    test::TempDir dir;
    const std::string pcap = dir.File("show.pcap");
    cli::PatternOptions o;
    o.universes.clear();
    for (int u = 0; u < kUniverses; ++u) o.universes.push_back(u);
    o.frames = kFrames;
    if (const std::string error = cli::WritePatternCapture(pcap, o); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    Load quiet, loaded;
    for (auto _ : state) {
        quiet = RecordUnderLoad(pcap, 0, 0);
        loaded = RecordUnderLoad(pcap, 100, 10);
    }
    state.counters["quiet_pps"] = quiet.packetsPerSecond;
    state.counters["loaded_pps"] = loaded.packetsPerSecond;
    state.counters["quiet_frames"] = quiet.frames;
    state.counters["loaded_frames"] = loaded.frames;
    state.counters["polls"] = static_cast<double>(loaded.polls);
    state.counters["stream_events"] = static_cast<double>(loaded.events);
    std::printf(
        "serve: alone %u frames at %.0f packets/s; with 100 pollers and 10 streams %u "
        "frames at %.0f packets/s (%llu polls, %llu stream chunks)\n",
        quiet.frames, quiet.packetsPerSecond, loaded.frames, loaded.packetsPerSecond,
        static_cast<unsigned long long>(loaded.polls),
        static_cast<unsigned long long>(loaded.events));
}
BENCHMARK(BM_ServeUnderLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvex
