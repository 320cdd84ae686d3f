// quorvex_replay: sends the packets of a capture file out of one network interface at a set
// rate, for bench/stress.sh. The whole file is loaded first so that reading it costs nothing
// while sending; the clock is a busy wait, since a sleep cannot pace 5 us packets.
//
//   quorvex_replay --interface IF --pcap FILE [--pps N | --line-rate | --speed X | --top-speed]
//                  [--method mmsg|send|inject] [--batch N] [--ready FILE] [--go FILE]

#include <net/if.h>
#include <netpacket/packet.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Preamble, start delimiter, frame check sequence and inter-frame gap: bytes a frame costs on
// the wire beyond what a capture holds.
constexpr double kWireOverhead = 8 + 4 + 12;
constexpr double kGigabit = 1e9;

struct Capture {
    std::vector<uint8_t> bytes;
    std::vector<size_t> offset;   // packet i is bytes[offset[i] .. offset[i + 1])
    std::vector<double> seconds;  // capture timestamps, from the first packet
    size_t Count() const { return seconds.size(); }
    size_t Length(size_t i) const { return offset[i + 1] - offset[i]; }
};

bool Load(const std::string& path, Capture& c, std::string& error) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
    if (!p) {
        error = errbuf;
        return false;
    }
    std::error_code ec;
    c.bytes.reserve(std::filesystem::file_size(path, ec));
    pcap_pkthdr* h = nullptr;
    const u_char* data = nullptr;
    double first = -1;
    while (pcap_next_ex(p, &h, &data) == 1) {
        const double t = h->ts.tv_sec + h->ts.tv_usec * 1e-6;
        if (first < 0) first = t;
        c.offset.push_back(c.bytes.size());
        c.bytes.insert(c.bytes.end(), data, data + h->caplen);
        c.seconds.push_back(t - first);
    }
    c.offset.push_back(c.bytes.size());
    pcap_close(p);
    if (c.Count() == 0) error = "no packets in " + path;
    return c.Count() > 0;
}

volatile std::sig_atomic_t g_stop = 0;

// The three ways out tried; mmsg is the fastest here (see the README).
class Sender {
  public:
    virtual ~Sender() = default;
    // Sends packets [from, from + n); returns how many went, or -1 on an error.
    virtual int Send(const Capture& c, size_t from, int n) = 0;
};

class SocketSender : public Sender {
  public:
    SocketSender(int fd, bool batched, int batch) : m_fd(fd), m_batched(batched) {
        m_msgs.resize(static_cast<size_t>(batch));
        m_iov.resize(static_cast<size_t>(batch));
    }
    ~SocketSender() override { close(m_fd); }
    int Send(const Capture& c, size_t from, int n) override {
        if (!m_batched) {
            for (int k = 0; k < n; ++k) {
                const size_t i = from + static_cast<size_t>(k);
                if (send(m_fd, &c.bytes[c.offset[i]], c.Length(i), 0) < 0) {
                    return k > 0 ? k : (errno == ENOBUFS || errno == EAGAIN ? 0 : -1);
                }
            }
            return n;
        }
        for (int k = 0; k < n; ++k) {
            const size_t i = from + static_cast<size_t>(k);
            m_iov[k].iov_base = const_cast<uint8_t*>(&c.bytes[c.offset[i]]);
            m_iov[k].iov_len = c.Length(i);
            m_msgs[k] = {};
            m_msgs[k].msg_hdr.msg_iov = &m_iov[k];
            m_msgs[k].msg_hdr.msg_iovlen = 1;
        }
        const int sent = sendmmsg(m_fd, m_msgs.data(), static_cast<unsigned>(n), 0);
        if (sent < 0) return errno == ENOBUFS || errno == EAGAIN ? 0 : -1;
        return sent;
    }

  private:
    int m_fd;
    bool m_batched;
    std::vector<mmsghdr> m_msgs;
    std::vector<iovec> m_iov;
};

class InjectSender : public Sender {
  public:
    explicit InjectSender(pcap_t* p) : m_p(p) {}
    ~InjectSender() override { pcap_close(m_p); }
    int Send(const Capture& c, size_t from, int n) override {
        for (int k = 0; k < n; ++k) {
            const size_t i = from + static_cast<size_t>(k);
            if (pcap_inject(m_p, &c.bytes[c.offset[i]], c.Length(i)) < 0) {
                return k > 0 ? k : (errno == ENOBUFS ? 0 : -1);
            }
        }
        return n;
    }

  private:
    pcap_t* m_p;
};

// A packet socket of protocol 0 receives nothing, so the kernel does not loop every packet
// sent back to it; the queueing layer is skipped as a NIC driver's own ring would be.
int OpenPacketSocket(const std::string& device, std::string& error) {
    const int fd = socket(AF_PACKET, SOCK_RAW, 0);
    if (fd < 0) {
        error = std::string("packet socket: ") + std::strerror(errno);
        return -1;
    }
    sockaddr_ll addr{};
    addr.sll_family = AF_PACKET;
    addr.sll_ifindex = static_cast<int>(if_nametoindex(device.c_str()));
    if (addr.sll_ifindex == 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = "cannot bind to " + device + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, SOL_PACKET, PACKET_QDISC_BYPASS, &one, sizeof one);
    const int buffer = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    return fd;
}

void Usage() {
    std::fprintf(stderr,
                 "usage: quorvex_replay --interface IF --pcap FILE\n"
                 "         [--pps N | --line-rate | --speed X | --top-speed]\n"
                 "         [--method mmsg|send|inject] [--batch N] [--ready FILE] [--go FILE]\n"
                 "  --pps N       N packets per second\n"
                 "  --line-rate   the packets per second of 1 GbE for the capture's packet sizes\n"
                 "  --speed X     the capture's own timing, X times faster\n"
                 "  --top-speed   as fast as the machine sends\n"
                 "  --ready FILE  created once the capture is loaded; with --go FILE, sending\n"
                 "                starts when FILE appears\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string device, path, method = "mmsg", ready, go;
    double pps = 0, speed = 0;
    bool lineRate = false, top = false;
    int batch = 16;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(1);
            }
            return argv[++i];
        };
        if (a == "--interface") {
            device = value();
        } else if (a == "--pcap") {
            path = value();
        } else if (a == "--pps") {
            pps = std::atof(value().c_str());
        } else if (a == "--speed") {
            speed = std::atof(value().c_str());
        } else if (a == "--line-rate") {
            lineRate = true;
        } else if (a == "--top-speed") {
            top = true;
        } else if (a == "--method") {
            method = value();
        } else if (a == "--batch") {
            batch = std::max(1, std::atoi(value().c_str()));
        } else if (a == "--ready") {
            ready = value();
        } else if (a == "--go") {
            go = value();
        } else {
            Usage();
            return 1;
        }
    }
    if (device.empty() || path.empty() || (pps <= 0 && speed <= 0 && !lineRate && !top)) {
        Usage();
        return 1;
    }

    Capture c;
    std::string error;
    if (!Load(path, c, error)) {
        std::fprintf(stderr, "quorvex_replay: %s\n", error.c_str());
        return 3;
    }
    if (lineRate) {
        const double bytes = static_cast<double>(c.bytes.size()) / c.Count() + kWireOverhead;
        pps = kGigabit / (8 * bytes);
    }

    std::unique_ptr<Sender> sender;
    if (method == "inject") {
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        pcap_t* p = pcap_open_live(device.c_str(), 65535, 0, 1, errbuf);
        if (!p) {
            std::fprintf(stderr, "quorvex_replay: %s\n", errbuf);
            return 3;
        }
        sender = std::make_unique<InjectSender>(p);
    } else if (method == "mmsg" || method == "send") {
        const int fd = OpenPacketSocket(device, error);
        if (fd < 0) {
            std::fprintf(stderr, "quorvex_replay: %s\n", error.c_str());
            return 3;
        }
        sender = std::make_unique<SocketSender>(fd, method == "mmsg", batch);
    } else {
        Usage();
        return 1;
    }

    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    if (!ready.empty()) {
        if (FILE* f = std::fopen(ready.c_str(), "w")) std::fclose(f);
    }
    if (!go.empty()) {
        while (!g_stop && !std::filesystem::exists(go)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Packet i is due at start + i / pps (or its capture time / speed); a late sender catches
    // up in batches, so the average rate holds while it can.
    const size_t n = c.Count();
    const auto start = Clock::now();
    size_t sent = 0;
    uint64_t calls = 0, refused = 0;
    double maxLag = 0;
    int rc = 0;
    while (sent < n && !g_stop) {
        const double now = std::chrono::duration<double>(Clock::now() - start).count();
        size_t due = n;
        if (!top) {
            if (speed > 0) {
                due = static_cast<size_t>(
                    std::upper_bound(c.seconds.begin() + static_cast<long>(sent), c.seconds.end(),
                                     now * speed) -
                    c.seconds.begin());
            } else {
                due = std::min(n, static_cast<size_t>(now * pps) + 1);
            }
        }
        if (due <= sent) continue;  // the busy wait
        const double dueAt = speed > 0 ? c.seconds[sent] / speed : sent / pps;
        if (!top) maxLag = std::max(maxLag, now - dueAt);
        const int k = static_cast<int>(std::min<size_t>(due - sent, static_cast<size_t>(batch)));
        const int went = sender->Send(c, sent, k);
        ++calls;
        if (went < 0) {
            std::fprintf(stderr, "quorvex_replay: sending failed: %s\n", std::strerror(errno));
            rc = 6;
            break;
        }
        if (went == 0) ++refused;
        sent += static_cast<size_t>(went);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sender.reset();

    const double target = top         ? 0
                          : speed > 0 ? (n > 1 ? (n - 1) / (c.seconds.back() / speed) : 0)
                                      : pps;
    std::printf("packets sent: %zu of %zu\n", sent, n);
    std::printf("seconds: %.3f\n", seconds);
    std::printf("target pps: %.0f\n", target);
    std::printf("reached pps: %.0f\n", sent / seconds);
    std::printf("wire Mbit/s: %.1f\n",
                (static_cast<double>(c.offset[sent]) + kWireOverhead * sent) * 8 / seconds / 1e6);
    std::printf("max lag ms: %.3f\n", maxLag * 1e3);
    std::printf("send calls: %llu, refused: %llu\n", static_cast<unsigned long long>(calls),
                static_cast<unsigned long long>(refused));
    return g_stop ? 130 : rc;
}
