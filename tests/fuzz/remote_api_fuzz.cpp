// libFuzzer target for the remote control's request handling: HTTP calls, OSC messages,
// the access check and the addresses it parses.
//
// Input: byte 0 picks the method, then the path up to the first newline, then the body. The
// same bytes also go in as an OSC address with arguments, as Host/Origin/token headers, and
// as listen addresses and networks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "remote/api.h"

namespace {

using namespace quorvex::remote;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// A name the API accepts stays a plain .RGB file in the folder.
void CheckName(const std::string& name) {
    Check(!name.empty() && name.front() != '.');
    Check(name.find('/') == std::string::npos && name.find('\0') == std::string::npos);
    Check(name.size() > 4 && name.ends_with(".RGB") && name != "temp.RGB");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static constexpr const char* kMethods[] = {"GET", "POST", "PUT", "DELETE", "OPTIONS", "PATCH"};
    const std::string method = kMethods[data[0] % 6];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t newline = rest.find('\n');
    const std::string_view path = rest.substr(0, newline);
    const std::string_view body =
        newline == std::string_view::npos ? std::string_view{} : rest.substr(newline + 1);

    const auto parsed = ParseHttpCall(method, path, body);
    if (const auto* call = std::get_if<ApiCall>(&parsed)) {
        if (call->route == Route::Save || call->route == Route::Download ||
            call->route == Route::Delete) {
            CheckName(call->name);
        }
        if (call->route == Route::Capture) {
            Check(!call->capture.untilStopped ||
                  (!call->capture.frames && call->capture.durationSeconds == 0));
            Check(!call->capture.frames ||
                  (*call->capture.frames >= 1 && *call->capture.frames <= 65535));
        }
        if (call->settings.universesPerPort) {
            Check(*call->settings.universesPerPort >= 1 && *call->settings.universesPerPort <= 8);
        }
    } else {
        Check(std::get<ApiReply>(parsed).status >= 400);
    }

    std::vector<OscArgument> arguments;
    if (body.size() >= 4) {
        int32_t i = 0;
        float f = 0;
        __builtin_memcpy(&i, body.data(), 4);
        __builtin_memcpy(&f, body.data(), 4);
        arguments.emplace_back(data[0] & 1 ? OscArgument(i) : OscArgument(f));
    }
    if (data[0] & 2) arguments.emplace_back(std::string(body));
    if (const auto osc = ParseOscCall(path, arguments); osc && osc->route == Route::Save) {
        CheckName(osc->name);
    }

    const AccessPolicy policy{(data[0] & 4) != 0, "0123456789abcdef", (data[0] & 8) != 0};
    const std::string text(path);
    (void)CheckAccess(policy, {text, std::string(body), "Bearer " + text, std::string(body)});
    if (const auto listen = ParseListenAddress(path)) {
        Check(listen->port >= 0 && listen->port <= 65535);
    }
    (void)ParseIpv4Network(path);
    return 0;
}
