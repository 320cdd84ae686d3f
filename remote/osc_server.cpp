#include "remote/osc_server.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <lo/lo.h>

#include <cstring>
#include <string_view>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex::remote {

namespace {

int Handler(const char* path, const char* types, lo_arg** argv, int argc, lo_message message,
            void* self) {
    static_cast<OscServer*>(self)->Receive(path, types, reinterpret_cast<void**>(argv), argc,
                                           message);
    return 0;
}

// A port that another program holds, or a malformed packet: nothing to do but not crash.
void IgnoreError(int, const char*, const char*) {}

}  // namespace

OscServer::OscServer(Controller& controller, std::vector<Ipv4Network> allowed)
    : m_controller(controller), m_allowed(std::move(allowed)) {}

OscServer::~OscServer() { Stop(); }

Result<int> OscServer::Start(int port) {
    const std::string text = std::to_string(port);
    lo_server_thread thread =
        lo_server_thread_new_with_proto(port == 0 ? nullptr : text.c_str(), LO_UDP, IgnoreError);
    if (!thread) return Fail(Format(Tr("cannot listen for OSC on UDP port %d"), port));
    lo_server_thread_add_method(thread, nullptr, nullptr, Handler, this);
    m_thread = thread;
    const int bound = lo_server_thread_get_port(thread);
    if (lo_server_thread_start(thread) != 0) {
        Stop();
        return Fail(Format(Tr("cannot listen for OSC on UDP port %d"), port));
    }
    return bound;
}

void OscServer::Stop() {
    if (!m_thread) return;
    auto* thread = static_cast<lo_server_thread>(m_thread);
    lo_server_thread_stop(thread);
    lo_server_thread_free(thread);
    m_thread = nullptr;
}

void OscServer::Receive(const char* path, const char* types, void** argv, int argc, void* message) {
    const lo_address from = lo_message_get_source(static_cast<lo_message>(message));
    if (!from) return;
    std::string_view host = lo_address_get_hostname(from) ? lo_address_get_hostname(from) : "";
    if (host.starts_with("::ffff:")) host.remove_prefix(7);
    const auto ip = ParseIpv4Address(host);
    bool allowed = false;
    for (const Ipv4Network& n : m_allowed) allowed = allowed || (ip && n.Contains(*ip));
    // Hosts outside the list get no answer at all: nothing to learn, nothing to reflect.
    if (!allowed) return;

    std::vector<OscArgument> arguments;
    // liblo's arguments are only 4-byte aligned: copied out, never read through lo_arg.
    const auto value = [&](int i, auto v) {
        std::memcpy(&v, argv[i], sizeof v);
        return v;
    };
    for (int i = 0; i < argc; ++i) {
        switch (types[i]) {
            case LO_INT32:
                arguments.emplace_back(value(i, int32_t{}));
                break;
            case LO_FLOAT:
                arguments.emplace_back(value(i, float{}));
                break;
            case LO_DOUBLE:
                arguments.emplace_back(static_cast<float>(value(i, double{})));
                break;
            case LO_STRING:
            case LO_SYMBOL:
                arguments.emplace_back(std::string(static_cast<const char*>(argv[i])));
                break;
            default:
                arguments.emplace_back(std::string{});
                break;
        }
    }
    std::string error;
    if (const auto call = ParseOscCall(path, arguments)) {
        const ApiReply reply = m_controller.Execute(*call);
        if (reply.status >= 400) error = reply.body;
    } else {
        error = Format(Tr("unknown OSC message %s"), path);
    }
    lo_server server = lo_server_thread_get_server(static_cast<lo_server_thread>(m_thread));
    if (!error.empty())
        lo_send_from(from, server, LO_TT_IMMEDIATE, "/quorvex/error", "s", error.c_str());
    const auto [phase, frames] = m_controller.Brief();
    lo_send_from(from, server, LO_TT_IMMEDIATE, "/quorvex/status", "si", phase.c_str(),
                 static_cast<int32_t>(frames));
}

std::vector<Ipv4Network> ThisMachine() {
    std::vector<Ipv4Network> networks{*ParseIpv4Network("127.0.0.0/8")};
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) return networks;
    for (const ifaddrs* a = all; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        networks.push_back({ntohl(in->sin_addr.s_addr), ~uint32_t{0}});
    }
    freeifaddrs(all);
    return networks;
}

}  // namespace quorvex::remote
