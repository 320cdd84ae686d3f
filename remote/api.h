#pragma once
// The remote control's requests as plain values: what an HTTP request or an OSC message asks
// for, checked before anything reaches the recorder, and who may ask at all. No sockets here,
// so that all of it can be tested and fuzzed alone.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "analysis/start_trigger.h"

namespace quorvex::remote {

inline constexpr int kDefaultHttpPort = 8080;
inline constexpr size_t kMaxBodyBytes = 16 * 1024;

enum class Route {
    Page,
    Events,
    Status,
    Adapters,
    ChooseAdapter,
    GetSettings,
    PutSettings,
    Parse,
    Capture,
    Pause,
    Stop,
    Save,
    Recordings,
    Download,
    Delete,
};

// Settings a client changes; what it leaves out stays as it was.
struct SettingsChange {
    std::optional<int> universesPerPort;  // 1..8
    std::optional<int> icType;            // index into kIcTypeNames
    std::optional<bool> rgbw;
    std::optional<std::vector<int>> universes;  // empty: every universe
};

// How a recording starts and ends, as the CLI's record options take it.
struct CaptureOrder {
    std::optional<unsigned> frames;
    double durationSeconds = 0;  // 0: none
    bool untilStopped = false;
    StartTrigger start;
};

struct ApiCall {
    Route route = Route::Status;
    std::string name;  // adapter, or recording file name
    SettingsChange settings;
    CaptureOrder capture;
};

struct ApiReply {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::string file;  // when set: send this file as the body (a download)
};

ApiReply JsonReply(int status, const std::string& body);
ApiReply ErrorReply(int status, const std::string& message);

// The call an HTTP request makes, or the refusal to answer it with.
std::variant<ApiCall, ApiReply> ParseHttpCall(std::string_view method, std::string_view path,
                                              std::string_view body);

// A recording's file name as clients may name it: a plain name (no folder, not hidden, no
// control characters). `NAME` alone gets ".RGB"; any other ending is refused.
std::optional<std::string> RecordingFileName(std::string_view name);

// One OSC argument, as the OSC shell decodes it.
using OscArgument = std::variant<int32_t, float, std::string>;
// The call an OSC message makes; nothing for an address or arguments it does not know.
std::optional<ApiCall> ParseOscCall(std::string_view address,
                                    const std::vector<OscArgument>& arguments);

// An IPv4 network "a.b.c.d/n" (a single address without "/n").
struct Ipv4Network {
    uint32_t address = 0;  // host byte order
    uint32_t mask = 0;
    bool Contains(uint32_t ip) const { return (ip & mask) == (address & mask); }
};
std::optional<Ipv4Network> ParseIpv4Network(std::string_view text);
std::optional<uint32_t> ParseIpv4Address(std::string_view text);

// ADDR:PORT, where ADDR is IPv4 or "localhost".
struct ListenAddress {
    std::string host;
    int port = kDefaultHttpPort;
    bool loopback = true;
};
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

// Who may ask. The token is needed whenever the server can be reached from another machine.
struct AccessPolicy {
    bool tokenRequired = false;
    std::string token;
    bool loopbackOnly = true;  // the Host header must name this machine (DNS rebinding)
};
struct RequestFacts {
    std::string host;            // the Host header
    std::string origin;          // the Origin header, when sent
    std::string authorization;   // "Bearer TOKEN"
    std::string tokenParameter;  // ?token=TOKEN (an EventSource cannot send headers)
};
enum class Access { Allowed, BadToken, CrossOrigin, BadHost };
Access CheckAccess(const AccessPolicy& policy, const RequestFacts& facts);

// Equal texts, in a time that does not tell how much of them matched.
bool SameSecret(std::string_view expected, std::string_view given);

// Bad tokens slow their sender down: each failure from a client doubles its wait, from 250 ms
// up to 4 s; a success forgets it. Thread-safe.
class FailureDelay {
  public:
    using Clock = std::chrono::steady_clock;
    std::chrono::milliseconds Failed(const std::string& client, Clock::time_point now);
    void Succeeded(const std::string& client);

  private:
    struct Record {
        int failures = 0;
        Clock::time_point last;
    };
    std::mutex m_mutex;
    std::map<std::string, Record> m_clients;
};

}  // namespace quorvex::remote
