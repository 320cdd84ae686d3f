#include "tests/support/loopback_sender.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "capture/art_packet.h"

namespace quorvex::test {

LoopbackSocket::LoopbackSocket(uint32_t from, uint32_t to) : m_fd(socket(AF_INET, SOCK_DGRAM, 0)) {
    if (from != 0 && m_fd >= 0) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(from);
        if (bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    m_to.sin_family = AF_INET;
    m_to.sin_port = htons(kArtNetPort);
    m_to.sin_addr.s_addr = htonl(to);
}

LoopbackSocket::~LoopbackSocket() {
    if (m_fd >= 0) close(m_fd);
}

bool LoopbackSocket::Send(const Bytes& payload) const {
    const ssize_t n = sendto(m_fd, payload.data(), payload.size(), 0,
                             reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to);
    return n == static_cast<ssize_t>(payload.size());
}

bool LoopbackSocket::SendArtDmx(int universe, uint8_t sequence, const Bytes& data) const {
    Bytes payload;
    BuildArtDmxPayload(sequence, universe, data.data(), static_cast<uint16_t>(data.size()),
                       payload);
    return Send(payload);
}

ShowSender::ShowSender(std::vector<int> universes, int channels, bool frozenSequence)
    : ShowSender(Plan{std::move(universes), channels, frozenSequence, 25, 0, INADDR_LOOPBACK, {}}) {
}

ShowSender::ShowSender(Plan plan) : m_plan(std::move(plan)), m_socket(m_plan.from, m_plan.to) {
    if (!m_plan.data) m_plan.data = ShowData;
    m_thread = std::thread([this] {
        auto next = std::chrono::steady_clock::now();
        for (int f = 1; m_run; ++f) {
            const uint8_t seq = m_plan.frozenSequence ? 7 : SequenceOf(f);
            for (int u : m_plan.universes) {
                m_socket.SendArtDmx(u, seq, m_plan.data(f, u, m_plan.channels));
            }
            m_sent = f;
            next += std::chrono::milliseconds(m_plan.periodMs);
            std::this_thread::sleep_until(next);
        }
    });
}

void ShowSender::Stop() {
    m_run = false;
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace quorvex::test
