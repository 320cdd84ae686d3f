#pragma once
// The OSC face of the remote control (UDP, through liblo): messages from the allowed hosts
// become controller calls, and each is answered to its sender with /quorvex/status.

#include <string>
#include <vector>

#include "platform/result.h"
#include "remote/api.h"
#include "remote/controller.h"

namespace quorvex::remote {

class OscServer {
  public:
    OscServer(Controller& controller, std::vector<Ipv4Network> allowed);
    ~OscServer();
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    // Listens on UDP `port` (0: a free one) and serves on liblo's thread. The port bound.
    Result<int> Start(int port);
    void Stop();

    // The handler liblo calls, on its thread.
    void Receive(const char* path, const char* types, void** argv, int argc, void* message);

  private:
    Controller& m_controller;
    std::vector<Ipv4Network> m_allowed;
    void* m_thread = nullptr;  // lo_server_thread
};

// The networks of this machine's own IPv4 addresses (each as a single address), and loopback.
std::vector<Ipv4Network> ThisMachine();

}  // namespace quorvex::remote
