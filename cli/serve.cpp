#include "cli/serve.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "platform/app_paths.h"
#include "platform/capture_rights.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "remote/controller.h"
#include "remote/http_server.h"
#include "remote/osc_server.h"
#include "remote/token.h"

namespace quorvex::cli {

int RunServe(const ServeOptions& o) {
    using namespace quorvex::remote;
    const auto listen = ParseListenAddress(o.listen);
    if (!listen) {
        Say(Format(Tr("--listen needs ADDRESS:PORT, such as 0.0.0.0:8080, not \"%s\""),
                   o.listen.c_str()));
        return kExitUsage;
    }
    std::vector<Ipv4Network> allowed;
    for (const std::string& text : o.oscAllow) {
        const auto network = ParseIpv4Network(text);
        if (!network) {
            Say(Format(Tr("--osc-allow needs a network such as 192.168.1.0/24, not \"%s\""),
                       text.c_str()));
            return kExitUsage;
        }
        allowed.push_back(*network);
    }
    if (allowed.empty()) allowed = ThisMachine();

    // Live capture goes through the capture helper: this process keeps no capability.
    (void)DropCaptureRights();
    InstallInterruptHandlers();

    ControllerOptions co;
    co.folder = o.folder.empty() ? RecordingFolder() : std::filesystem::absolute(o.folder).string();
    co.interface = o.interface;
    co.captureFile = o.file;
    co.autosaveAfter = std::chrono::milliseconds(static_cast<long>(o.autosaveSeconds * 1000));
    if (!EnsureWritableFolder(co.folder)) {
        Say(Format(Tr("cannot write recordings into the folder %s"), co.folder.c_str()));
        return kExitIo;
    }
    Controller controller(co);
    if (const Status started = controller.Start(); !started) {
        Say(started.error());
        return kExitSource;
    }

    HttpOptions http;
    http.listen = *listen;
    http.policy.tokenRequired = o.requireToken || !listen->loopback;
    http.policy.loopbackOnly = listen->loopback;
    if (http.policy.tokenRequired) {
        auto token = LoadOrCreateToken(TokenPath());
        if (!token) {
            Say(token.error());
            return kExitIo;
        }
        http.policy.token = *token;
    }
    HttpServer server(controller, http);
    const auto port = server.Bind();
    if (!port) {
        Say(port.error());
        return kExitSource;
    }
    // On every address the page can be reached at: the phone needs one it can type.
    std::vector<std::string> hosts{listen->host};
    if (listen->host == "0.0.0.0") {
        hosts.clear();
        for (const Ipv4Network& own : ThisMachine()) {
            if (own.mask == ~uint32_t{0}) hosts.push_back(Ipv4Text(own.address));
        }
        if (hosts.empty()) hosts.push_back(listen->host);
    }
    for (const std::string& host : hosts) {
        std::string url = Format("http://%s:%d/", host.c_str(), *port);
        if (http.policy.tokenRequired) url += "?token=" + http.policy.token;
        std::printf("%s\n", Format(Tr("Serving the recorder at %s (recordings in %s)"), url.c_str(),
                                   co.folder.c_str())
                                .c_str());
    }

    OscServer osc(controller, allowed);
    if (o.oscPort >= 0) {
        const auto bound = osc.Start(o.oscPort);
        if (!bound) {
            Say(bound.error());
            return kExitSource;
        }
        std::printf("%s\n", Format(Tr("Listening for OSC on UDP port %d"), *bound).c_str());
    }
    std::fflush(stdout);

    std::thread serving([&] { server.Run(); });
    while (Interrupts().load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    osc.Stop();
    server.Stop();
    serving.join();
    controller.Shutdown();
    return kExitOk;
}

}  // namespace quorvex::cli
