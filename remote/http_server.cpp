#include "remote/http_server.h"

#include <httplib.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <thread>

#include "platform/texts.h"

namespace quorvex::remote {

namespace {

// A fixed set of workers and a short queue: when both are full the accepting thread waits,
// so further connections wait in the kernel's backlog instead of growing memory.
class BoundedPool : public httplib::TaskQueue {
  public:
    BoundedPool(size_t workers, size_t queued) : m_queued(queued) {
        for (size_t i = 0; i < workers; ++i) m_threads.emplace_back([this] { Work(); });
    }

    void enqueue(std::function<void()> fn) override {
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] { return m_jobs.size() < m_queued || m_shutdown; });
        m_jobs.push_back(std::move(fn));
        lock.unlock();
        m_ready.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard lock(m_mutex);
            m_shutdown = true;
        }
        m_ready.notify_all();
        m_space.notify_all();
        for (auto& t : m_threads) t.join();
    }

  private:
    void Work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [&] { return !m_jobs.empty() || m_shutdown; });
                if (m_jobs.empty()) return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            m_space.notify_one();
            job();
        }
    }

    const size_t m_queued;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    bool m_shutdown = false;
};

void Send(httplib::Response& res, const ApiReply& reply) {
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType.c_str());
}

}  // namespace

HttpServer::HttpServer(Controller& controller, HttpOptions options)
    : m_controller(controller),
      m_options(std::move(options)),
      m_server(std::make_unique<httplib::Server>()) {
    httplib::Server& s = *m_server;
    const size_t workers = static_cast<size_t>(std::max(2, m_options.workers));
    s.new_task_queue = [workers] { return new BoundedPool(workers, workers * 2); };
    s.set_payload_max_length(kMaxBodyBytes);
    s.set_read_timeout(m_options.timeoutSeconds, 0);
    s.set_write_timeout(m_options.timeoutSeconds, 0);
    s.set_keep_alive_timeout(m_options.timeoutSeconds);
    s.set_keep_alive_max_count(100);
    // img-src data: lets the page name an empty icon, so browsers ask for no /favicon.ico.
    s.set_default_headers({
        {"Cache-Control", "no-store"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
         "connect-src 'self'; img-src 'self' data:; frame-ancestors 'none'"},
    });

    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        RequestFacts facts;
        facts.host = req.get_header_value("Host");
        facts.origin = req.get_header_value("Origin");
        facts.authorization = req.get_header_value("Authorization");
        facts.tokenParameter = req.get_param_value("token");
        const Access access = CheckAccess(m_options.policy, facts);
        if (access == Access::Allowed) {
            if (m_options.policy.tokenRequired) m_delays.Succeeded(req.remote_addr);
            return httplib::Server::HandlerResponse::Unhandled;
        }
        if (access == Access::BadToken) {
            // Guessing costs time; the worker is held, but the pool is bounded.
            std::this_thread::sleep_for(
                m_delays.Failed(req.remote_addr, std::chrono::steady_clock::now()));
            Send(res, ErrorReply(401, Tr("a valid token is needed")));
        } else {
            Send(res, ErrorReply(403, Tr("requests from other sites are refused")));
        }
        return httplib::Server::HandlerResponse::Handled;
    });

    const auto handle = [this](const httplib::Request& req, httplib::Response& res) {
        auto parsed = ParseHttpCall(req.method, req.path, req.body);
        if (auto* refusal = std::get_if<ApiReply>(&parsed)) return Send(res, *refusal);
        const ApiCall& call = std::get<ApiCall>(parsed);
        if (call.route == Route::Page) {
            return Send(res, ApiReply{200, "text/html; charset=utf-8", PageHtml(), {}});
        }
        if (call.route == Route::Events) {
            if (m_streams.fetch_add(1) >= m_options.maxStreams) {
                m_streams.fetch_sub(1);
                return Send(res, ErrorReply(503, Tr("too many live streams")));
            }
            auto version = std::make_shared<uint64_t>(0);
            res.set_header("X-Accel-Buffering", "no");
            res.set_chunked_content_provider(
                "text/event-stream",
                [this, version](size_t, httplib::DataSink& sink) {
                    if (m_stopping) return false;
                    const std::string live = m_controller.WaitLive(
                        *version, std::chrono::milliseconds(1000), version.get());
                    const std::string event = "data: " + live + "\n\n";
                    return sink.write(event.data(), event.size());
                },
                [this](bool) { m_streams.fetch_sub(1); });
            return;
        }
        const ApiReply reply = m_controller.Execute(call);
        if (reply.file.empty()) return Send(res, reply);
        const int fd = OpenRecording(reply.file);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            if (fd >= 0) ::close(fd);
            return Send(res, ErrorReply(404, Tr("no such recording")));
        }
        res.set_header("Content-Disposition", "attachment; filename=\"" + call.name + "\"");
        res.set_content_provider(
            static_cast<size_t>(st.st_size), "application/octet-stream",
            [fd](size_t offset, size_t length, httplib::DataSink& sink) {
                char buffer[64 * 1024];
                const ssize_t n = ::pread(fd, buffer, std::min(length, sizeof buffer),
                                          static_cast<off_t>(offset));
                if (n <= 0) return false;
                return sink.write(buffer, static_cast<size_t>(n));
            },
            [fd](bool) { ::close(fd); });
    };
    s.Get(".*", handle);
    s.Post(".*", handle);
    s.Put(".*", handle);
    s.Delete(".*", handle);
    s.Options(".*", [](const httplib::Request&, httplib::Response& res) {
        Send(res, ErrorReply(405, Tr("method not allowed")));
    });
}

HttpServer::~HttpServer() { Stop(); }

Result<int> HttpServer::Bind() {
    const std::string& host = m_options.listen.host;
    if (m_options.listen.port == 0) {
        const int port = m_server->bind_to_any_port(host);
        if (port <= 0) return Fail(Format(Tr("cannot listen on %s"), host.c_str()));
        return port;
    }
    if (!m_server->bind_to_port(host, m_options.listen.port)) {
        return Fail(Format(Tr("cannot listen on %s:%d"), host.c_str(), m_options.listen.port));
    }
    return m_options.listen.port;
}

void HttpServer::Run() { m_server->listen_after_bind(); }

void HttpServer::Stop() {
    m_stopping = true;
    m_server->stop();
}

}  // namespace quorvex::remote
