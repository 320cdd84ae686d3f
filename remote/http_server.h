#pragma once
// The HTTP face of the remote control: cpp-httplib with limits on body size, time and
// connections, the access check before any route, and the live stream. The routes themselves
// are the controller's.

#include <atomic>
#include <memory>
#include <string>

#include "platform/result.h"
#include "remote/api.h"
#include "remote/controller.h"

namespace httplib {
class Server;
}

namespace quorvex::remote {

struct HttpOptions {
    ListenAddress listen;
    AccessPolicy policy;
    int workers = 24;        // connections served at once; more wait in the kernel's queue
    int maxStreams = 16;     // live streams at once, so that pollers keep workers
    int timeoutSeconds = 5;  // for reading a request and writing a reply
};

class HttpServer {
  public:
    HttpServer(Controller& controller, HttpOptions options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds the listening socket; the port bound (the one asked for, or a free one for 0).
    Result<int> Bind();
    // Serves until Stop.
    void Run();
    // Any thread.
    void Stop();

  private:
    Controller& m_controller;
    HttpOptions m_options;
    std::unique_ptr<httplib::Server> m_server;
    FailureDelay m_delays;
    std::atomic<int> m_streams{0};
    std::atomic<bool> m_stopping{false};
};

// The page, with everything it needs inline.
const std::string& PageHtml();

}  // namespace quorvex::remote
