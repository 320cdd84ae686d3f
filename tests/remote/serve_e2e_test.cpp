// quorvex-cli serve end to end on 127.0.0.1: a capture file recorded through HTTP calls and
// through OSC, downloaded byte for byte as `record --file` makes it, and the refusals of
// requests without the token, from other sites, malformed, too large or never finished.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <lo/lo.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "tests/cli/cli_process.h"
#include "tests/support/net_isolation.h"
#include "tests/support/unprivileged.h"

namespace quorvex::test {
namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

// `quorvex-cli serve` on 127.0.0.1 with a free port, recording into `folder`.
class Serve {
  public:
    Serve(const TempDir& dir, std::vector<std::string> args, std::vector<std::string> env = {},
          const std::string& program = QUORVEX_CLI_PATH) {
        static int serial = 0;
        const std::string out = dir.File("serve-" + std::to_string(++serial) + ".out");
        m_out = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        args.insert(args.begin(), {"serve", "--listen", "127.0.0.1:0"});
        m_process = std::make_unique<CliProcess>(args, dir.path(), m_out,
                                                 std::vector<std::string>{}, env, program);
        const std::regex http("http://127\\.0\\.0\\.1:([0-9]+)/");
        const std::regex osc("UDP port ([0-9]+)");
        WaitUntil([&] {
            const std::string text = ReadText(out);
            std::smatch m;
            if (std::regex_search(text, m, http)) port = std::stoi(m[1]);
            if (std::regex_search(text, m, osc)) oscPort = std::stoi(m[1]);
            return port > 0 && (oscPort > 0 || text.find("OSC") == std::string::npos);
        });
    }
    ~Serve() {
        if (m_out >= 0) ::close(m_out);
    }
    ChildResult End() {
        m_process->Signal(SIGTERM);
        return m_process->Wait(std::chrono::seconds(30));
    }
    pid_t Pid() const { return m_process->Pid(); }
    httplib::Client Client() const {
        httplib::Client c("127.0.0.1", port);
        c.set_read_timeout(30, 0);
        return c;
    }
    json Status() const {
        auto r = Client().Get("/api/status");
        return r ? json::parse(r->body, nullptr, false) : json();
    }

    int port = 0;
    int oscPort = 0;

  private:
    int m_out = -1;
    std::unique_ptr<CliProcess> m_process;
};

std::string ShowCapture(const TempDir& dir) {
    const std::string pcap = dir.File("show.pcap");
    ShowPlan plan;
    plan.frames = 80;
    plan.sync = true;
    WriteShow(pcap, plan);
    return pcap;
}

TEST(ServeHttp, RecordsAndDownloadsWhatRecordFileMakes) {
    TempDir dir;
    const std::string pcap = ShowCapture(dir);
    CliResult r = RunCli(
        {"record", "--file", pcap, "--frames", "30", "--output", dir.File("cli.RGB")}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err;

    fs::create_directory(dir.File("rec"));
    Serve serve(dir, {"--file", pcap, "--folder", dir.File("rec")});
    ASSERT_GT(serve.port, 0);
    httplib::Client c = serve.Client();
    auto page = c.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("EventSource"), std::string::npos);
    EXPECT_EQ(page->body.find("://"), std::string::npos);  // nothing from elsewhere

    EXPECT_EQ(c.Post("/api/parse", "", "application/json")->status, 200);
    WaitUntil([&] { return serve.Status()["survey"]["universes"] == 6; });
    EXPECT_EQ(c.Post("/api/capture", R"({"frames":30})", "application/json")->status, 200);
    WaitUntil([&] { return serve.Status()["unsaved"].is_object(); });
    EXPECT_EQ(serve.Status()["frames"], 30);

    // A live stream tells the same; closing it changes nothing.
    {
        httplib::Client stream = serve.Client();
        std::string events;
        stream.Get("/api/events", [&](const char* data, size_t length) {
            events.append(data, length);
            return events.find("\n\n") == std::string::npos;
        });
        ASSERT_TRUE(events.starts_with("data: {")) << events;
        EXPECT_EQ(json::parse(events.substr(6))["frames"], 30);
    }

    EXPECT_EQ(c.Post("/api/save", R"({"name":"web"})", "application/json")->status, 200);
    auto download = c.Get("/api/recordings/web.RGB");
    ASSERT_TRUE(download);
    EXPECT_EQ(download->status, 200);
    const Bytes cli = ReadFileBytes(dir.File("cli.RGB"));
    EXPECT_EQ(download->body, std::string(cli.begin(), cli.end()));
    const json list = json::parse(c.Get("/api/recordings")->body);
    EXPECT_EQ(list["recordings"][0]["notes"]["check"]["framesWritten"], 30);
    EXPECT_EQ(c.Delete("/api/recordings/web.RGB")->status, 200);
    EXPECT_EQ(c.Get("/api/recordings/web.RGB")->status, 404);
    EXPECT_EQ(serve.End().code, 0);
}

// Live from the loopback device of a network namespace of the test's own, started by root as
// the package's service would be: serve gives up the capture rights at once and captures
// through the helper; the live input and a recording come through it.
TEST(ServeLive, CapturesThroughTheHelperWithoutCaptureRights) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: live capture in a network namespace";
    std::string why;
    if (!IsolateNetwork(&why)) GTEST_SKIP() << why;
    TempDir dir;
    ASSERT_TRUE(InstallWithHelper(dir.path(), {QUORVEX_CLI_PATH}, QUORVEX_CAPTURE_HELPER, &why))
        << why;
    CliProcess sender({"send", "--target", "127.0.0.1", "--frames", "0"}, dir.path());
    Serve serve(dir, {"--interface", "lo", "--folder", dir.path()}, {}, dir.File("quorvex-cli"));
    ASSERT_GT(serve.port, 0);
    ThreadsHoldingNone(serve.Pid(), kNetAdminAndRaw);
    WaitUntil([&] { return serve.Status()["input"].size() == 6; });
    EXPECT_EQ(serve.Status()["input"].size(), 6u);

    httplib::Client c = serve.Client();
    EXPECT_EQ(c.Post("/api/parse", "", "application/json")->status, 200);
    WaitUntil([&] { return serve.Status()["survey"]["universes"] == 6; });
    EXPECT_EQ(c.Post("/api/capture", R"({"frames":20})", "application/json")->status, 200);
    WaitUntil([&] { return serve.Status()["unsaved"].is_object(); });
    EXPECT_EQ(c.Post("/api/save", R"({"name":"live"})", "application/json")->status, 200);
    uint32_t first = 0;
    uint32_t count = 0;
    EXPECT_TRUE(HoldsPatternFrames(dir.File("live.RGB"), {0, 1, 2, 3, 4, 5}, 512, &first, &count));
    EXPECT_EQ(count, 20u);
    sender.Signal(SIGINT);
    EXPECT_EQ(serve.End().code, 0);
}

// Sends one OSC message from `client` and returns the /quorvex/status answer.
std::pair<std::string, int> Osc(lo_server client, lo_address to, const char* path,
                                lo_message message, int waits = 100) {
    lo_send_message_from(to, client, path, message);
    lo_message_free(message);
    std::pair<std::string, int> status{"", -1};
    lo_server_add_method(
        client, "/quorvex/status", "si",
        [](const char*, const char*, lo_arg** argv, int, lo_message, void* out) {
            // Only 4-byte aligned: copied out, not read through lo_arg.
            int32_t frames = 0;
            std::memcpy(&frames, argv[1], sizeof frames);
            *static_cast<std::pair<std::string, int>*>(out) = {
                static_cast<const char*>(static_cast<void*>(argv[0])), frames};
            return 0;
        },
        &status);
    for (int i = 0; i < waits && status.second < 0; ++i) lo_server_recv_noblock(client, 100);
    lo_server_del_method(client, "/quorvex/status", "si");
    return status;
}

TEST(ServeOsc, RecordsAndSavesFromShowControl) {
    TempDir dir;
    const std::string pcap = ShowCapture(dir);
    fs::create_directory(dir.File("rec"));
    Serve serve(dir, {"--file", pcap, "--folder", dir.File("rec"), "--osc", "0"});
    ASSERT_GT(serve.oscPort, 0);
    lo_server client = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
    ASSERT_TRUE(client);
    lo_address to = lo_address_new("127.0.0.1", std::to_string(serve.oscPort).c_str());

    EXPECT_EQ(Osc(client, to, "/quorvex/parse", lo_message_new()).first, "surveying");
    WaitUntil([&] { return serve.Status()["survey"]["universes"] == 6; });
    lo_message record = lo_message_new();
    lo_message_add_int32(record, 25);
    EXPECT_NE(Osc(client, to, "/quorvex/record", record).second, -1);
    WaitUntil([&] { return serve.Status()["unsaved"].is_object(); });
    lo_message save = lo_message_new();
    lo_message_add_string(save, "cue1");
    const auto saved = Osc(client, to, "/quorvex/save", save);
    EXPECT_EQ(saved, (std::pair<std::string, int>{"idle", 25}));
    EXPECT_EQ(ReadRecording(dir.File("rec/cue1.RGB")).header.frameCount, 25u);
    // Unknown messages are answered with the status all the same.
    EXPECT_EQ(Osc(client, to, "/quorvex/dance", lo_message_new()).first, "idle");

    lo_address_free(to);
    EXPECT_EQ(serve.End().code, 0);

    // Hosts outside --osc-allow are not heard, nor answered.
    Serve elsewhere(dir, {"--file", pcap, "--folder", dir.File("rec"), "--osc", "0", "--osc-allow",
                          "192.0.2.0/24"});
    to = lo_address_new("127.0.0.1", std::to_string(elsewhere.oscPort).c_str());
    EXPECT_EQ(Osc(client, to, "/quorvex/parse", lo_message_new(), 10).second, -1);
    EXPECT_EQ(elsewhere.Status()["phase"], "idle");
    lo_address_free(to);
    lo_server_free(client);
    EXPECT_EQ(elsewhere.End().code, 0);
}

// A raw connection to the server, for requests no client library would send.
class Raw {
  public:
    explicit Raw(int port) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Raw() { ::close(m_fd); }
    void Send(const std::string& text) {
        (void)!::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL);
    }
    // The answer's head, or what came before the server closed the connection.
    std::string Answer() {
        std::string all;
        char buffer[4096];
        ssize_t n;
        while (all.find("\r\n\r\n") == std::string::npos &&
               (n = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0) {
            all.append(buffer, static_cast<size_t>(n));
        }
        return all;
    }
    bool connected = false;

  private:
    int m_fd;
};

TEST(ServeRefusals, TokenOriginAndAbuse) {
    TempDir dir;
    const std::string pcap = ShowCapture(dir);
    Serve serve(dir, {"--file", pcap, "--folder", dir.path(), "--require-token"},
                {"XDG_CONFIG_HOME=" + dir.File("config")});
    ASSERT_GT(serve.port, 0);
    std::string token = ReadText(dir.File("config/quorvex/serve-token"));
    ASSERT_EQ(token.size(), 33u);
    token.pop_back();

    httplib::Client c = serve.Client();
    EXPECT_EQ(c.Get("/api/status")->status, 401);
    EXPECT_EQ(c.Get("/api/status", {{"Authorization", "Bearer " + std::string(32, '0')}})->status,
              401);
    const httplib::Headers good{{"Authorization", "Bearer " + token}};
    EXPECT_EQ(c.Get("/api/status", good)->status, 200);
    EXPECT_EQ(c.Get("/api/status?token=" + token)->status, 200);
    httplib::Headers foreign = good;
    foreign.emplace("Origin", "http://evil.example");
    const auto refused = c.Post("/api/parse", foreign, "", "application/json");
    EXPECT_EQ(refused->status, 403);
    EXPECT_FALSE(refused->has_header("Access-Control-Allow-Origin"));
    EXPECT_EQ(c.Post("/api/capture", good, std::string(100000, ' '), "application/json")->status,
              413);
    EXPECT_EQ(c.Post("/api/capture", good, "{\"frames\":", "application/json")->status, 400);

    const std::string auth = "Authorization: Bearer " + token + "\r\n";
    {
        Raw rebinding(serve.port);
        rebinding.Send("GET /api/status HTTP/1.1\r\nHost: evil.example\r\n" + auth + "\r\n");
        EXPECT_TRUE(rebinding.Answer().starts_with("HTTP/1.1 403"));
    }
    {
        Raw garbage(serve.port);
        static constexpr char kGarbage[] = "\x16\x03\x01\x02\x00 nonsense\r\n\r\n";
        garbage.Send(std::string(kGarbage, sizeof kGarbage - 1));
        const std::string answer = garbage.Answer();
        EXPECT_TRUE(answer.empty() || answer.starts_with("HTTP/1.1 400")) << answer;
    }
    // Connections that never finish a request are closed by the server, and more of them
    // than it serves at once do not keep others out for good.
    std::vector<std::unique_ptr<Raw>> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(std::make_unique<Raw>(serve.port));
        idle.back()->Send("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    }
    EXPECT_EQ(c.Get("/api/status", good)->status, 200);
    EXPECT_FALSE(idle.front()->Answer().starts_with("HTTP/1.1 200"));
    idle.clear();
    EXPECT_EQ(serve.End().code, 0);
}

}  // namespace
}  // namespace quorvex::test
