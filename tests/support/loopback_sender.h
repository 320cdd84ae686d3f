#pragma once
// Art-Net to 127.0.0.1:6454 for live tests (run inside a namespace of their own).

#include <netinet/in.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "tests/support/traffic_builder.h"

namespace quorvex::test {

// A UDP socket aimed at the loopback Art-Net port, or at the Art-Net port of `to`.
class LoopbackSocket {
  public:
    // `from`: the 127.x.y.z address it sends from (host byte order); 0 lets the system choose.
    // `to` (host byte order): where it sends, in a namespace of the test's own.
    explicit LoopbackSocket(uint32_t from = 0, uint32_t to = INADDR_LOOPBACK);
    ~LoopbackSocket();
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;
    bool ok() const { return m_fd >= 0; }
    // Sends one datagram; false when it did not all go out.
    bool Send(const Bytes& payload) const;
    bool SendArtDmx(int universe, uint8_t sequence, const Bytes& data) const;

  private:
    int m_fd = -1;
    sockaddr_in m_to{};
};

// Sends a show from a thread of its own, about 40 frames a second, until stopped.
class ShowSender {
  public:
    struct Plan {
        std::vector<int> universes{0, 1, 2, 3, 4, 5};
        int channels = 512;
        bool frozenSequence = false;    // every packet with sequence 7: no frame boundary ever
        int periodMs = 25;              // between frames
        uint32_t from = 0;              // sending address, as LoopbackSocket takes it
        uint32_t to = INADDR_LOOPBACK;  // destination, as LoopbackSocket takes it
        // Channel data of a universe in a frame; ShowData by default.
        std::function<Bytes(int frame, int universe, int channels)> data;
    };

    explicit ShowSender(Plan plan);
    ShowSender(std::vector<int> universes, int channels, bool frozenSequence = false);
    ~ShowSender() { Stop(); }
    ShowSender(const ShowSender&) = delete;
    ShowSender& operator=(const ShowSender&) = delete;
    void Stop();
    // Whole frames sent so far.
    int FramesSent() const { return m_sent; }

  private:
    Plan m_plan;
    LoopbackSocket m_socket;
    std::atomic<bool> m_run{true};
    std::atomic<int> m_sent{0};
    std::thread m_thread;
};

}  // namespace quorvex::test
