// The remote control's core without sockets: what requests and OSC messages may ask, who may
// ask, the token file, and the controller recording a capture file through its API.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "remote/api.h"
#include "remote/controller.h"
#include "remote/token.h"
#include "tests/support/child_process.h"
#include "tests/support/recordings.h"
#include "tests/support/traffic_builder.h"

namespace quorvex::test {
namespace {

using namespace quorvex::remote;
using json = nlohmann::json;
namespace fs = std::filesystem;

int StatusOf(std::string_view method, std::string_view path, std::string_view body = {}) {
    auto parsed = ParseHttpCall(method, path, body);
    if (const auto* reply = std::get_if<ApiReply>(&parsed)) return reply->status;
    return 0;
}

TEST(RemoteApi, RoutesAndRefusesRequests) {
    EXPECT_EQ(StatusOf("GET", "/"), 0);
    EXPECT_EQ(StatusOf("POST", "/api/parse"), 0);
    EXPECT_EQ(StatusOf("GET", "/api/parse"), 405);
    EXPECT_EQ(StatusOf("POST", "/api/status"), 405);
    EXPECT_EQ(StatusOf("GET", "/api/nothing"), 404);
    EXPECT_EQ(StatusOf("GET", "/etc/passwd"), 404);
    EXPECT_EQ(StatusOf("POST", "/api/capture", "{\"frames\":"), 400);
    EXPECT_EQ(StatusOf("POST", "/api/capture", "[1]"), 400);
    EXPECT_EQ(StatusOf("POST", "/api/capture", "{\"frames\":0}"), 400);
    EXPECT_EQ(StatusOf("POST", "/api/capture", "{\"frames\":70000}"), 400);
    EXPECT_EQ(StatusOf("POST", "/api/capture", "{\"frames\":10,\"untilStopped\":true}"), 400);
    EXPECT_EQ(StatusOf("POST", "/api/capture", "{\"bogus\":1}"), 400);
    EXPECT_EQ(StatusOf("POST", "/api/capture", std::string(kMaxBodyBytes + 1, ' ')), 413);
    EXPECT_EQ(StatusOf("PUT", "/api/settings", "{\"universesPerPort\":9}"), 400);
    EXPECT_EQ(StatusOf("PUT", "/api/settings", "{\"icType\":\"WS2811\"}"), 400);
    EXPECT_EQ(StatusOf("PUT", "/api/settings", "{\"universes\":\"5-2\"}"), 400);
    EXPECT_EQ(StatusOf("POST", "/api/save", "{\"name\":\"a\",\"more\":1}"), 400);
    for (const char* bad : {"../x", ".hidden", "a/b", "temp", "temp.RGB", "x.txt", "", "a\nb"}) {
        EXPECT_EQ(StatusOf("POST", "/api/save", json{{"name", bad}}.dump()), 400) << bad;
        EXPECT_EQ(StatusOf("DELETE", std::string("/api/recordings/") + bad), 400) << bad;
    }

    auto call = std::get<ApiCall>(
        ParseHttpCall("POST", "/api/capture", R"({"duration":"1:30","startWhen":"first-light"})"));
    EXPECT_EQ(call.route, Route::Capture);
    EXPECT_EQ(call.capture.durationSeconds, 90);
    EXPECT_FALSE(call.capture.frames);
    EXPECT_EQ(call.capture.start.kind, StartTrigger::Kind::FirstLight);
    call = std::get<ApiCall>(ParseHttpCall(
        "PUT", "/api/settings",
        R"({"universesPerPort":4,"icType":"TM1814","rgbw":true,"universes":"0-2,7"})"));
    EXPECT_EQ(call.settings.universesPerPort, 4);
    EXPECT_EQ(call.settings.icType, 2);
    EXPECT_EQ(call.settings.rgbw, true);
    EXPECT_EQ(call.settings.universes, (std::vector<int>{0, 1, 2, 7}));
    call = std::get<ApiCall>(ParseHttpCall("POST", "/api/save", R"({"name":"show"})"));
    EXPECT_EQ(call.name, "show.RGB");
    call = std::get<ApiCall>(ParseHttpCall("GET", "/api/recordings/Sc-01-01.rgb", ""));
    EXPECT_EQ(call.route, Route::Download);
    EXPECT_EQ(call.name, "Sc-01-01.RGB");

    // OSC: the address space and its arguments.
    EXPECT_EQ(ParseOscCall("/quorvex/record", {int32_t{300}})->capture.frames, 300u);
    EXPECT_FALSE(ParseOscCall("/quorvex/record", {})->capture.frames);
    EXPECT_EQ(ParseOscCall("/quorvex/record/duration", {2.5f})->capture.durationSeconds, 2.5);
    EXPECT_EQ(ParseOscCall("/quorvex/save", {std::string("act1")})->name, "act1.RGB");
    EXPECT_EQ(ParseOscCall("/quorvex/stop", {})->route, Route::Stop);
    EXPECT_FALSE(ParseOscCall("/quorvex/record", {std::string("x")}));
    EXPECT_FALSE(ParseOscCall("/quorvex/record", {int32_t{0}}));
    EXPECT_FALSE(ParseOscCall("/quorvex/record/duration", {-1.0f}));
    EXPECT_FALSE(ParseOscCall("/quorvex/save", {std::string("../etc")}));
    EXPECT_FALSE(ParseOscCall("/quorvex/stop", {int32_t{1}}));
    EXPECT_FALSE(ParseOscCall("/other", {}));
}

TEST(RemoteAccess, TokenOriginHostAndAddresses) {
    const AccessPolicy open{false, "", true};
    const AccessPolicy guarded{true, "0123456789abcdef0123", false};
    EXPECT_EQ(CheckAccess(open, {"127.0.0.1:8080", "", "", ""}), Access::Allowed);
    EXPECT_EQ(CheckAccess(open, {"localhost:8080", "http://localhost:8080", "", ""}),
              Access::Allowed);
    EXPECT_EQ(CheckAccess(open, {"[::1]:8080", "", "", ""}), Access::Allowed);
    // A name of someone else's that resolves to this machine (DNS rebinding).
    EXPECT_EQ(CheckAccess(open, {"evil.example:8080", "", "", ""}), Access::BadHost);
    EXPECT_EQ(CheckAccess(open, {"", "", "", ""}), Access::BadHost);
    EXPECT_EQ(CheckAccess(open, {"127.0.0.1:8080", "http://evil.example", "", ""}),
              Access::CrossOrigin);
    EXPECT_EQ(CheckAccess(open, {"127.0.0.1:8080", "null", "", ""}), Access::CrossOrigin);
    EXPECT_EQ(CheckAccess(guarded, {"10.0.0.5:8080", "", "", ""}), Access::BadToken);
    EXPECT_EQ(CheckAccess(guarded, {"10.0.0.5:8080", "", "Bearer 0123456789abcdef0124", ""}),
              Access::BadToken);
    EXPECT_EQ(CheckAccess(guarded, {"10.0.0.5:8080", "", "Bearer 0123456789abcdef0123", ""}),
              Access::Allowed);
    EXPECT_EQ(
        CheckAccess(guarded, {"10.0.0.5:8080", "http://10.0.0.5:8080", "", "0123456789abcdef0123"}),
        Access::Allowed);
    EXPECT_EQ(
        CheckAccess(guarded, {"10.0.0.5:8080", "http://10.0.0.9", "", "0123456789abcdef0123"}),
        Access::CrossOrigin);
    EXPECT_FALSE(SameSecret("abc", "ab"));
    EXPECT_FALSE(SameSecret("abc", "abcd"));
    EXPECT_FALSE(SameSecret("", ""));

    FailureDelay delays;
    const auto now = FailureDelay::Clock::now();
    EXPECT_EQ(delays.Failed("a", now).count(), 250);
    EXPECT_EQ(delays.Failed("a", now).count(), 500);
    EXPECT_EQ(delays.Failed("b", now).count(), 250);
    for (int i = 0; i < 5; ++i) (void)delays.Failed("a", now);
    EXPECT_EQ(delays.Failed("a", now).count(), 4000);
    delays.Succeeded("a");
    EXPECT_EQ(delays.Failed("a", now).count(), 250);

    EXPECT_TRUE(ParseListenAddress("127.0.0.1:0")->loopback);
    EXPECT_TRUE(ParseListenAddress("localhost:80")->loopback);
    EXPECT_FALSE(ParseListenAddress("0.0.0.0:8080")->loopback);
    EXPECT_FALSE(ParseListenAddress("0.0.0.0"));
    EXPECT_FALSE(ParseListenAddress("1.2.3:80"));
    EXPECT_FALSE(ParseListenAddress("1.2.3.4:70000"));
    const auto net = ParseIpv4Network("192.168.1.0/24");
    EXPECT_TRUE(net->Contains(*ParseIpv4Address("192.168.1.77")));
    EXPECT_FALSE(net->Contains(*ParseIpv4Address("192.168.2.1")));
    EXPECT_TRUE(ParseIpv4Network("0.0.0.0/0")->Contains(*ParseIpv4Address("8.8.8.8")));
    EXPECT_FALSE(ParseIpv4Network("10.0.0.0/33"));
    EXPECT_FALSE(ParseIpv4Network("10.0.0/8"));
}

TEST(RemoteToken, MadeOnceReadableByTheUserAloneNeverThroughALink) {
    TempDir dir;
    const std::string path = dir.File("config/quorvex/serve-token");
    const auto made = LoadOrCreateToken(path);
    ASSERT_TRUE(made) << made.error();
    EXPECT_EQ(made->size(), 32u);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(*LoadOrCreateToken(path), *made);

    ::chmod(path.c_str(), 0644);
    EXPECT_FALSE(LoadOrCreateToken(path));
    const std::string link = dir.File("link-token");
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    EXPECT_FALSE(LoadOrCreateToken(link));
}

// Polls the controller's status until `done` holds for it.
json WaitForStatus(Controller& c, const std::function<bool(const json&)>& done) {
    json status;
    WaitUntil([&] {
        status = json::parse(c.Handle("GET", "/api/status", "").body);
        return done(status);
    });
    return status;
}

bool IdleWithFrames(const json& s) { return s["phase"] == "idle" && s["frames"] > 0; }

TEST(RemoteController, RecordsSavesByNameOrSceneAndManagesRecordings) {
    TempDir dir;
    ShowPlan plan;
    plan.frames = 60;
    plan.sync = true;
    WriteShow(dir.File("show.pcap"), plan);
    fs::create_directory(dir.File("rec"));
    ControllerOptions options;
    options.folder = dir.File("rec");
    options.captureFile = dir.File("show.pcap");
    options.autosaveAfter = std::chrono::hours(1);
    options.liveEvery = std::chrono::milliseconds(20);
    std::atomic<bool> hold{false};
    std::atomic<bool> held{false};
    options.beforeFrameWrite = [&](uint32_t) {
        while (hold) {
            held = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    {
        Controller c(options);
        ASSERT_TRUE(c.Start());
        EXPECT_EQ(c.Handle("PUT", "/api/settings", R"({"universesPerPort":3})").status, 200);
        EXPECT_EQ(c.Handle("POST", "/api/save", R"({"name":"early"})").status, 409);
        EXPECT_EQ(c.Handle("POST", "/api/parse", "").status, 200);
        json s = WaitForStatus(c, [](const json& j) { return j["survey"]["universes"] == 6; });
        EXPECT_FALSE(s["survey"]["report"].empty());
        EXPECT_EQ(c.Handle("POST", "/api/capture", R"({"frames":20})").status, 200);
        s = WaitForStatus(c, IdleWithFrames);
        EXPECT_EQ(s["frames"], 20);
        EXPECT_EQ(s["unsaved"]["frames"], 20);
        EXPECT_NE(s["check"].get<std::string>().find("20 frames"), std::string::npos) << s;

        EXPECT_EQ(c.Handle("POST", "/api/save", R"({"name":"act1"})").status, 200);
        EXPECT_EQ(ReadRecording(dir.File("rec/act1.RGB")).header.frameCount, 20u);
        EXPECT_EQ(c.Handle("POST", "/api/save", R"({"name":"act1"})").status, 409);
        const json list = json::parse(c.Handle("GET", "/api/recordings", "").body);
        ASSERT_EQ(list["recordings"].size(), 1u) << list;
        EXPECT_EQ(list["recordings"][0]["name"], "act1.RGB");
        EXPECT_EQ(list["recordings"][0]["notes"]["universesPerPort"], 3);

        // Settings are refused while a recording runs; a name given then is used at its end.
        hold = true;
        EXPECT_EQ(c.Handle("POST", "/api/capture", R"({"untilStopped":true})").status, 200);
        WaitUntil([&] { return held.load(); });
        EXPECT_EQ(c.Handle("PUT", "/api/settings", R"({"rgbw":true})").status, 409);
        EXPECT_EQ(c.Handle("POST", "/api/save", R"({"name":"act2"})").status, 202);
        EXPECT_EQ(c.Handle("POST", "/api/stop", "").status, 200);
        hold = false;
        WaitUntil([&] { return fs::exists(dir.File("rec/act2.RGB")); });
        EXPECT_TRUE(fs::exists(dir.File("rec/act2.RGB")));

        const ApiReply download = c.Handle("GET", "/api/recordings/act1.RGB", "");
        EXPECT_EQ(download.file, dir.File("rec/act1.RGB"));
        fs::create_symlink(dir.File("show.pcap"), dir.File("rec/link.RGB"));
        EXPECT_EQ(c.Handle("GET", "/api/recordings/link.RGB", "").status, 404);
        EXPECT_EQ(c.Handle("DELETE", "/api/recordings/link.RGB", "").status, 404);
        EXPECT_TRUE(fs::exists(dir.File("show.pcap")));
        EXPECT_EQ(c.Handle("DELETE", "/api/recordings/act1.RGB", "").status, 200);
        EXPECT_FALSE(fs::exists(dir.File("rec/act1.RGB")));
        EXPECT_FALSE(fs::exists(dir.File("rec/act1.RGB.json")));
    }

    // Nobody names it: it gets the next free scene name once the wait is over.
    options.autosaveAfter = std::chrono::milliseconds(50);
    Controller c(options);
    ASSERT_TRUE(c.Start());
    EXPECT_EQ(c.Handle("POST", "/api/capture", R"({"frames":5})").status, 200);
    WaitUntil([&] { return fs::exists(dir.File("rec/Sc-01-01.RGB")); });
    EXPECT_EQ(ReadRecording(dir.File("rec/Sc-01-01.RGB")).header.frameCount, 5u);
    const json s = WaitForStatus(c, [](const json& j) { return j["lastSaved"] != ""; });
    EXPECT_EQ(s["lastSaved"], "Sc-01-01.RGB");
    EXPECT_EQ(s["unsaved"], nullptr);
}

}  // namespace
}  // namespace quorvex::test
