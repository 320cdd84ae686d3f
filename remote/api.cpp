#include "remote/api.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

#include "analysis/frame_layout.h"
#include "platform/duration_text.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "recording/recorder.h"
#include "recording/rgb_format.h"

namespace quorvex::remote {

namespace {

using json = nlohmann::json;

constexpr std::string_view kApi = "/api/";
constexpr std::string_view kRecordings = "recordings/";

// The body as a JSON object; an empty body is an empty object.
std::optional<json> BodyObject(std::string_view body) {
    if (body.find_first_not_of(" \t\r\n") == std::string_view::npos) return json::object();
    json j = json::parse(body, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    return j;
}

std::optional<int> IcTypeOf(const json& value) {
    constexpr int kCount = static_cast<int>(std::size(kIcTypeNames));
    if (value.is_number_integer()) {
        const auto index = value.get<int64_t>();
        if (index >= 0 && index < kCount) return static_cast<int>(index);
    } else if (value.is_string()) {
        for (int i = 0; i < kCount; ++i) {
            if (value.get<std::string>() == kIcTypeNames[i]) return i;
        }
    }
    return std::nullopt;
}

// The settings in `body`, or why they are refused.
std::variant<SettingsChange, std::string> SettingsFrom(const json& body) {
    SettingsChange change;
    for (const auto& [key, value] : body.items()) {
        if (key == "universesPerPort") {
            if (!value.is_number_integer() || value.get<int64_t>() < 1 ||
                value.get<int64_t>() > 8) {
                return std::string(Tr(kUniversesPerPortText));
            }
            change.universesPerPort = value.get<int>();
        } else if (key == "icType") {
            change.icType = IcTypeOf(value);
            if (!change.icType) return std::string(Tr("icType must be DMX512, SPI&TTL or TM1814"));
        } else if (key == "rgbw") {
            if (!value.is_boolean()) return std::string(Tr("rgbw must be true or false"));
            change.rgbw = value.get<bool>();
        } else if (key == "universes") {
            if (!value.is_string()) return std::string(Tr("universes must be a text like 0-5,8"));
            const std::string text = value.get<std::string>();
            if (text.empty()) {
                change.universes = std::vector<int>{};
                continue;
            }
            std::string error;
            auto list = ParseUniverseList(text, &error);
            if (!list) return "universes: " + error;
            change.universes = std::move(*list);
        } else {
            return Format(Tr("unknown setting \"%s\""), key.c_str());
        }
    }
    return change;
}

std::variant<CaptureOrder, std::string> CaptureFrom(const json& body) {
    CaptureOrder order;
    for (const auto& [key, value] : body.items()) {
        if (key == "frames") {
            if (!value.is_number_integer() || value.get<int64_t>() < 1 ||
                value.get<int64_t>() > kMaxRecordedFrames) {
                return Format(Tr("frames must be a whole number from 1 to %u"),
                              unsigned{kMaxRecordedFrames});
            }
            order.frames = value.get<unsigned>();
        } else if (key == "duration") {
            std::optional<double> seconds;
            if (value.is_number() && value.get<double>() > 0 && value.get<double>() < 1e7) {
                seconds = value.get<double>();
            } else if (value.is_string()) {
                seconds = ParseDurationText(value.get<std::string>());
            }
            if (!seconds) {
                return Format(Tr("duration needs a time in one of the forms %s, above 0"),
                              kDurationForms);
            }
            order.durationSeconds = *seconds;
        } else if (key == "untilStopped") {
            if (!value.is_boolean()) return std::string(Tr("untilStopped must be true or false"));
            order.untilStopped = value.get<bool>();
        } else if (key == "startWhen") {
            if (!value.is_string()) return std::string(Tr("startWhen must be a text"));
            auto trigger = ParseStartCondition(value.get<std::string>());
            if (!trigger) return "startWhen: " + trigger.error();
            order.start = *trigger;
        } else {
            return Format(Tr("unknown capture option \"%s\""), key.c_str());
        }
    }
    if (order.untilStopped && (order.frames || order.durationSeconds > 0)) {
        return std::string(Tr("untilStopped excludes frames and duration"));
    }
    return order;
}

}  // namespace

ApiReply JsonReply(int status, const std::string& body) {
    return ApiReply{status, "application/json", body, {}};
}

ApiReply ErrorReply(int status, const std::string& message) {
    return JsonReply(status,
                     json{{"error", message}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

std::optional<std::string> RecordingFileName(std::string_view name) {
    if (name.empty() || name.size() > 200 || name.front() == '.') return std::nullopt;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) return std::nullopt;
    }
    std::string base(name);
    if (const size_t dot = base.rfind('.'); dot != std::string::npos) {
        std::string ending = base.substr(dot);
        std::transform(ending.begin(), ending.end(), ending.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (ending != ".RGB") return std::nullopt;
        base.erase(dot);
    }
    // The working file belongs to the recorder.
    if (base.empty() || base == "temp") return std::nullopt;
    return base + ".RGB";
}

std::variant<ApiCall, ApiReply> ParseHttpCall(std::string_view method, std::string_view path,
                                              std::string_view body) {
    const auto notFound = [] { return ErrorReply(404, Tr("no such page")); };
    const auto wrongMethod = [] { return ErrorReply(405, Tr("method not allowed")); };
    if (body.size() > kMaxBodyBytes) return ErrorReply(413, Tr("request too large"));
    ApiCall call;
    if (path == "/" || path == "/index.html") {
        if (method != "GET") return wrongMethod();
        call.route = Route::Page;
        return call;
    }
    if (!path.starts_with(kApi)) return notFound();
    const std::string_view rest = path.substr(kApi.size());
    const bool get = method == "GET";
    const bool post = method == "POST";
    const bool put = method == "PUT";
    if (rest.starts_with(kRecordings)) {
        const auto name = RecordingFileName(rest.substr(kRecordings.size()));
        if (!name) return ErrorReply(400, Tr("not a recording's name"));
        call.name = *name;
        if (get) {
            call.route = Route::Download;
        } else if (method == "DELETE") {
            call.route = Route::Delete;
        } else {
            return wrongMethod();
        }
        return call;
    }
    struct Simple {
        std::string_view path;
        bool needsPost;
        Route route;
    };
    static constexpr Simple kSimple[] = {
        {"status", false, Route::Status},     {"events", false, Route::Events},
        {"adapters", false, Route::Adapters}, {"recordings", false, Route::Recordings},
        {"parse", true, Route::Parse},        {"pause", true, Route::Pause},
        {"stop", true, Route::Stop},
    };
    for (const Simple& s : kSimple) {
        if (rest != s.path) continue;
        if (s.needsPost ? !post : !get) return wrongMethod();
        call.route = s.route;
        return call;
    }
    if (rest != "settings" && rest != "adapter" && rest != "capture" && rest != "save") {
        return notFound();
    }
    if (rest == "settings" && get) {
        call.route = Route::GetSettings;
        return call;
    }
    if ((rest == "settings" || rest == "adapter") ? !put : !post) return wrongMethod();
    const auto object = BodyObject(body);
    if (!object) return ErrorReply(400, Tr("the body must be a JSON object"));
    if (rest == "settings") {
        auto change = SettingsFrom(*object);
        if (auto* why = std::get_if<std::string>(&change)) return ErrorReply(400, *why);
        call.route = Route::PutSettings;
        call.settings = std::get<SettingsChange>(change);
    } else if (rest == "capture") {
        auto order = CaptureFrom(*object);
        if (auto* why = std::get_if<std::string>(&order)) return ErrorReply(400, *why);
        call.route = Route::Capture;
        call.capture = std::get<CaptureOrder>(order);
    } else {
        const auto name = object->find("name");
        if (name == object->end() || !name->is_string() || object->size() != 1) {
            return ErrorReply(400, Tr("the body must be {\"name\": \"...\"}"));
        }
        call.name = name->get<std::string>();
        if (rest == "save") {
            const auto file = RecordingFileName(call.name);
            if (!file) return ErrorReply(400, Tr("not a recording's name"));
            call.name = *file;
            call.route = Route::Save;
        } else {
            call.route = Route::ChooseAdapter;
        }
    }
    return call;
}

std::optional<ApiCall> ParseOscCall(std::string_view address,
                                    const std::vector<OscArgument>& args) {
    ApiCall call;
    const auto none = args.empty();
    if (address == "/quorvex/parse" && none) {
        call.route = Route::Parse;
    } else if (address == "/quorvex/pause" && none) {
        call.route = Route::Pause;
    } else if (address == "/quorvex/stop" && none) {
        call.route = Route::Stop;
    } else if (address == "/quorvex/record" && args.size() <= 1) {
        call.route = Route::Capture;
        if (!none) {
            const auto* frames = std::get_if<int32_t>(&args[0]);
            if (!frames || *frames < 1 || static_cast<uint32_t>(*frames) > kMaxRecordedFrames) {
                return std::nullopt;
            }
            call.capture.frames = static_cast<unsigned>(*frames);
        }
    } else if (address == "/quorvex/record/duration" && args.size() == 1) {
        call.route = Route::Capture;
        double seconds = 0;
        if (const auto* f = std::get_if<float>(&args[0])) seconds = *f;
        if (const auto* i = std::get_if<int32_t>(&args[0])) seconds = *i;
        if (!(seconds > 0 && seconds < 1e7)) return std::nullopt;
        call.capture.durationSeconds = seconds;
    } else if (address == "/quorvex/save" && args.size() == 1) {
        const auto* name = std::get_if<std::string>(&args[0]);
        const auto file = name ? RecordingFileName(*name) : std::nullopt;
        if (!file) return std::nullopt;
        call.route = Route::Save;
        call.name = *file;
    } else if (address == "/quorvex/status" && none) {
        call.route = Route::Status;
    } else {
        return std::nullopt;
    }
    return call;
}

std::optional<uint32_t> ParseIpv4Address(std::string_view text) {
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return std::nullopt;
            text.remove_prefix(1);
        }
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        const size_t used = static_cast<size_t>(end - text.data());
        if (ec != std::errc() || used == 0 || used > 3 || value > 255) return std::nullopt;
        address = address << 8 | value;
        text.remove_prefix(used);
    }
    if (!text.empty()) return std::nullopt;
    return address;
}

std::optional<Ipv4Network> ParseIpv4Network(std::string_view text) {
    const size_t slash = text.find('/');
    const auto address = ParseIpv4Address(text.substr(0, slash));
    if (!address) return std::nullopt;
    unsigned bits = 32;
    if (slash != std::string_view::npos) {
        const std::string_view b = text.substr(slash + 1);
        const auto [end, ec] = std::from_chars(b.data(), b.data() + b.size(), bits);
        if (ec != std::errc() || end != b.data() + b.size() || b.empty() || bits > 32) {
            return std::nullopt;
        }
    }
    const uint32_t mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
    return Ipv4Network{*address, mask};
}

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    ListenAddress listen;
    listen.host = std::string(text.substr(0, colon));
    const std::string_view port = text.substr(colon + 1);
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), listen.port);
    if (ec != std::errc() || end != port.data() + port.size() || port.empty() || listen.port < 0 ||
        listen.port > 65535) {
        return std::nullopt;
    }
    if (listen.host == "localhost") {
        listen.host = "127.0.0.1";
    }
    const auto address = ParseIpv4Address(listen.host);
    if (!address) return std::nullopt;
    listen.loopback = (*address >> 24) == 127;
    return listen;
}

bool SameSecret(std::string_view expected, std::string_view given) {
    if (expected.empty()) return false;
    unsigned diff = expected.size() != given.size();
    for (size_t i = 0; i < expected.size(); ++i) {
        const char g = given.empty() ? '\0' : given[i % given.size()];
        diff |= static_cast<unsigned char>(expected[i] ^ g);
    }
    return diff == 0;
}

namespace {

// The host part of a Host header or an origin's authority, lower case, without the port.
std::string HostName(std::string_view authority) {
    const size_t bracket = authority.find(']');
    if (const size_t colon = authority.rfind(':');
        colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        authority = authority.substr(0, colon);
    }
    std::string host(authority);
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host;
}

bool NamesThisMachine(std::string_view host) {
    const std::string name = HostName(host);
    if (name == "localhost" || name == "[::1]") return true;
    const auto ip = ParseIpv4Address(name);
    return ip && (*ip >> 24) == 127;
}

}  // namespace

Access CheckAccess(const AccessPolicy& policy, const RequestFacts& facts) {
    if (facts.host.empty()) return Access::BadHost;
    if (policy.loopbackOnly && !NamesThisMachine(facts.host)) return Access::BadHost;
    // A page from anywhere else may not drive the recorder through the user's browser.
    if (!facts.origin.empty()) {
        std::string_view origin = facts.origin;
        if (!origin.starts_with("http://")) return Access::CrossOrigin;
        origin.remove_prefix(7);
        std::string lowerOrigin(origin), lowerHost(facts.host);
        for (std::string* s : {&lowerOrigin, &lowerHost}) {
            std::transform(s->begin(), s->end(), s->begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        }
        if (lowerOrigin != lowerHost) return Access::CrossOrigin;
    }
    if (!policy.tokenRequired) return Access::Allowed;
    std::string_view given = facts.tokenParameter;
    constexpr std::string_view kBearer = "Bearer ";
    if (std::string_view(facts.authorization).starts_with(kBearer)) {
        given = std::string_view(facts.authorization).substr(kBearer.size());
    }
    return SameSecret(policy.token, given) ? Access::Allowed : Access::BadToken;
}

std::chrono::milliseconds FailureDelay::Failed(const std::string& client, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    // A flood of addresses must not grow the table without bound: forget the quiet ones.
    if (m_clients.size() > 4096) {
        std::erase_if(m_clients, [&](const auto& c) {
            return now - c.second.last > std::chrono::minutes(10);
        });
        if (m_clients.size() > 4096) m_clients.clear();
    }
    Record& r = m_clients[client];
    r.failures = std::min(r.failures + 1, 5);
    r.last = now;
    return std::chrono::milliseconds(250) * (1 << (r.failures - 1));
}

void FailureDelay::Succeeded(const std::string& client) {
    std::lock_guard lock(m_mutex);
    m_clients.erase(client);
}

}  // namespace quorvex::remote
