// quorvex-capture: the one program of Quorvex that holds the capture capabilities. It opens one
// adapter as the recorder would open it, joins sACN multicast groups when asked, gives up every
// capability, and writes the packets to its standard output as a pcap stream, which the window
// and quorvex-cli read as they read a capture file. It never looks inside a packet.
//
// Its standard error carries its messages and its counters, once a second, when asked with
// SIGUSR1 and at the end: "stats received=R dropped=D ifdropped=I streamed=S", the kernel's
// counters and the packets put into the stream so far. Asked, it first passes on what the
// kernel holds, so that a reader knows how much of the stream was captured before it asked.
// SIGUSR2 asks it to let go of what the kernel captured before then, which it skips without
// streaming, and to tell "drained ..." with the counters once it has: the packets of the
// stream up to S are old, the kernel's drops after D are of packets after them.
// It ends when the reader of its stream goes away, at SIGTERM, SIGINT or SIGHUP, and when its
// parent dies.

#include <arpa/inet.h>
#include <fcntl.h>
#include <getopt.h>
#include <grp.h>
#include <net/if.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_child.h"
#include "capture/live_device.h"
#include "platform/app_paths.h"
#include "platform/capture_rights.h"
#include "platform/multicast_membership.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "platform/version.h"

namespace {

using namespace quorvex;
using Clock = std::chrono::steady_clock;

// Exit codes, as quorvex-cli's where they mean the same.
enum ExitCode : int {
    kExitOk = 0,       // the reader closed the stream, or a signal ended it
    kExitUsage = 1,    // bad command line, or standard output is a terminal
    kExitRefused = 2,  // a user outside the group, or capabilities that would not go
    kExitSource = 3,   // the interface could not be opened, or a group not joined
    kExitFailed = 6,   // the capture failed (the interface went away) or the stream broke
};

constexpr char kGroup[] = "quorvex";
constexpr size_t kQueueLimit = 1 << 20;  // stream bytes waiting for the reader
// Packets taken from the ring at a time: libpcap would otherwise take all it holds, which
// after a pause of the reader is the whole 32 MiB.
constexpr int kBatch = 256;
constexpr auto kStatsEvery = std::chrono::seconds(1);
// A packet shows in the kernel's ring within a few milliseconds of its capture.
constexpr auto kSettle = std::chrono::milliseconds(5);
constexpr int kLastWriteMs = 1000;

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_statsAsked = 0;
volatile sig_atomic_t g_drainAsked = 0;

void Say(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

void OnStop(int) { g_stop = 1; }
void OnStatsAsked(int) { g_statsAsked = 1; }
void OnDrainAsked(int) { g_drainAsked = 1; }

void InstallSignals() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnStop;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
    action.sa_handler = OnStatsAsked;
    sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = OnDrainAsked;
    sigaction(SIGUSR2, &action, nullptr);
    // A reader that went away shows as EPIPE.
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
}

bool InGroup(gid_t group) {
    if (getgid() == group || getegid() == group) return true;
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<size_t>(i)] == group) return true;
    }
    return false;
}

// Only root and the group quorvex may use the capabilities, whatever the file's mode says.
bool MayCapture() {
    if (getuid() == 0) return true;
    const group* g = getgrnam(kGroup);
    if (g && InGroup(g->gr_gid)) return true;
    Say(g ? Tr("Only root and the members of the group quorvex may capture. Add yourself to it "
               "and log in again: sudo usermod -aG quorvex $USER")
          : Tr("Only root and the members of the group quorvex may capture, and there is no such "
               "group. Create it and add yourself to it, then log in again: sudo addgroup "
               "--system quorvex && sudo usermod -aG quorvex $USER"));
    return false;
}

void PrintUsage(FILE* to) {
    std::fputs(Tr("Usage: quorvex-capture --interface NAME [--join 239.255.X.Y]...\n"
                  "Opens the network interface NAME for capture as Quorvex does, gives up every\n"
                  "capability and writes its UDP packets to standard output as a pcap stream.\n"
                  "  --interface NAME  the interface to capture on\n"
                  "  --join GROUP      join this sACN multicast group on it (repeatable)\n"
                  "  --help            print this help and exit\n"
                  "  --version         print the program's name and version and exit\n"),
               to);
}

struct Arguments {
    std::string interface;
    std::vector<uint32_t> groups;  // host byte order
};

// The arguments, or the exit code when there is nothing to capture.
std::optional<int> ReadArguments(int argc, char** argv, Arguments& a) {
    static const option kOptions[] = {{"interface", required_argument, nullptr, 'i'},
                                      {"join", required_argument, nullptr, 'j'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {"version", no_argument, nullptr, 'V'},
                                      {nullptr, 0, nullptr, 0}};
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, "", kOptions, nullptr)) != -1;) {
        switch (c) {
            case 'i':
                a.interface = optarg;
                break;
            case 'j': {
                in_addr group{};
                // sACN's groups alone: 239.255.hi.lo for universe 256 hi + lo.
                if (inet_pton(AF_INET, optarg, &group) != 1 ||
                    (ntohl(group.s_addr) >> 16) != 0xEFFF) {
                    Say(Format(Tr("--join needs an sACN multicast group 239.255.X.Y, not \"%s\""),
                               optarg));
                    return kExitUsage;
                }
                a.groups.push_back(ntohl(group.s_addr));
                break;
            }
            case 'h':
                PrintUsage(stdout);
                return kExitOk;
            case 'V':
                std::printf("quorvex-capture %s\n", kQuorvexVersion);
                return kExitOk;
            default:
                PrintUsage(stderr);
                return kExitUsage;
        }
    }
    if (optind < argc || a.interface.empty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    // A network interface and nothing else: libpcap also opens USB, Bluetooth and D-Bus.
    if (a.interface.size() >= IFNAMSIZ || if_nametoindex(a.interface.c_str()) == 0) {
        Say(Format(Tr("打开网卡出错!\n%s"),
                   Format(Tr("no interface %s"), a.interface.c_str()).c_str()));
        return kExitSource;
    }
    if (isatty(STDOUT_FILENO)) {
        Say(Tr("Standard output is a terminal: send the packet stream to a file or a pipe."));
        return kExitUsage;
    }
    return std::nullopt;
}

void Tell(const char* prefix, const pcap_stat& st, uint64_t streamed) {
    std::fprintf(stderr, "%sreceived=%u dropped=%u ifdropped=%u streamed=%llu\n", prefix,
                 st.ps_recv, st.ps_drop, st.ps_ifdrop, static_cast<unsigned long long>(streamed));
}

void TellStats(pcap_t* handle, uint64_t streamed) {
    pcap_stat st{};
    if (pcap_stats(handle, &st) == 0) Tell(kHelperStatsPrefix, st, streamed);
}

// The pcap stream on standard output, written without blocking: while the reader is busy the
// packets wait in the kernel's ring, which counts what it cannot hold, and the counters still
// answer.
class Stream {
  public:
    explicit Stream(pcap_t* handle)
        : m_records(open_memstream(&m_memory, &m_size)),
          m_dumper(m_records ? pcap_dump_fopen(handle, m_records) : nullptr) {
        if (m_dumper) Collect();  // the stream's header, first thing sent
    }
    ~Stream() {
        if (m_dumper) pcap_dump_close(m_dumper);  // closes m_records too
        std::free(m_memory);
    }
    bool Ready() const { return m_dumper != nullptr; }
    size_t Waiting() const { return m_pending.size() - m_sent; }
    // The packets libpcap has for us now; their number, or -1 when the capture failed.
    int Take(pcap_t* handle) {
        const int n = pcap_dispatch(handle, kBatch, pcap_dump, reinterpret_cast<u_char*>(m_dumper));
        if (n > 0) {
            Collect();
            m_packets += static_cast<uint64_t>(n);
        }
        return n;
    }
    uint64_t Packets() const { return m_packets; }
    // Skips what the kernel captured before now, up to the first packet captured since, which
    // is streamed, and tells the counters. Skipping is much faster than
    // streaming, so a reader that fell behind starts afresh without the kernel dropping what
    // comes meanwhile.
    int Drain(pcap_t* handle) {
        const uint64_t streamed = m_packets;
        Skipping skipping{{}, m_dumper, 0};
        gettimeofday(&skipping.before, nullptr);
        int n = 0;
        do {
            n = pcap_dispatch(handle, kBatch, SkipOld, reinterpret_cast<u_char*>(&skipping));
        } while (n > 0 && skipping.kept == 0);
        // Counted once the ring has room again: what it dropped while full came before the
        // first packet kept.
        pcap_stat st{};
        if (pcap_stats(handle, &st) == 0) Tell(kHelperDrainedPrefix, st, streamed);
        if (skipping.kept > 0) {
            Collect();
            m_packets += skipping.kept;
        }
        return n;
    }
    // Writes what the pipe takes; false when the reader is gone or the write failed.
    bool Send() {
        while (m_sent < m_pending.size()) {
            const ssize_t w =
                write(STDOUT_FILENO, m_pending.data() + m_sent, m_pending.size() - m_sent);
            if (w > 0) {
                m_sent += static_cast<size_t>(w);
            } else if (w < 0 && errno == EINTR) {
                continue;
            } else if (w < 0 && errno == EAGAIN) {
                // A reader that only just keeps up may never empty the queue: let go of what it
                // took.
                if (m_sent >= kQueueLimit) {
                    m_pending.erase(m_pending.begin(),
                                    m_pending.begin() + static_cast<ptrdiff_t>(m_sent));
                    m_sent = 0;
                }
                return true;
            } else {
                if (errno != EPIPE) {
                    Say(Format(Tr("Writing the packet stream failed: %s"), std::strerror(errno)));
                    m_failed = true;
                }
                return false;
            }
        }
        m_pending.clear();
        m_sent = 0;
        return true;
    }
    bool Failed() const { return m_failed; }

  private:
    struct Skipping {
        timeval before;
        pcap_dumper_t* dumper;
        uint64_t kept;
    };
    static void SkipOld(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
        auto* s = reinterpret_cast<Skipping*>(user);
        if (!s->kept && timercmp(&header->ts, &s->before, <)) return;
        pcap_dump(reinterpret_cast<u_char*>(s->dumper), header, bytes);
        ++s->kept;
    }

    // Moves what libpcap wrote into the queue; the memory stream starts afresh.
    void Collect() {
        pcap_dump_flush(m_dumper);
        m_pending.insert(m_pending.end(), m_memory, m_memory + m_size);
        rewind(m_records);
    }

    char* m_memory = nullptr;
    size_t m_size = 0;
    FILE* m_records;
    pcap_dumper_t* m_dumper;
    std::vector<char> m_pending;  // records not yet taken by the reader, from m_sent on
    size_t m_sent = 0;
    bool m_failed = false;
    uint64_t m_packets = 0;
};

int Capture(pcap_t* handle) {
    Stream stream(handle);
    if (!stream.Ready()) {
        Say(Format(Tr("Writing the packet stream failed: %s"), std::strerror(errno)));
        return kExitFailed;
    }
    const int output = STDOUT_FILENO;
    fcntl(output, F_SETFL, fcntl(output, F_GETFL) | O_NONBLOCK);
    (void)fcntl(output, F_SETPIPE_SZ, static_cast<int>(kQueueLimit));
    const int input = pcap_get_selectable_fd(handle);
    auto nextStats = Clock::now() + kStatsEvery;
    // When asked: the time to answer, once what the ring holds has settled.
    constexpr auto kNotAsked = Clock::time_point::max();
    auto answerAt = kNotAsked;
    bool more = false;  // libpcap may hold more than one poll() shows
    int status = kExitOk;
    // The signals that ask something come only while it waits, so none is missed between a
    // look at the flags and the wait.
    sigset_t asking;
    sigset_t waiting;
    sigemptyset(&asking);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&asking, sig);
    sigprocmask(SIG_BLOCK, &asking, &waiting);
    bool readerGone = !stream.Send();
    while (!readerGone && !g_stop) {
        if (g_drainAsked) {
            g_drainAsked = 0;
            if (stream.Drain(handle) < 0) {
                Say(pcap_geterr(handle));
                status = kExitFailed;
                break;
            }
        }
        if (g_statsAsked) {
            g_statsAsked = 0;
            if (answerAt == kNotAsked) answerAt = Clock::now() + kSettle;
        }
        const bool room = stream.Waiting() < kQueueLimit;
        pollfd fds[2] = {{input, static_cast<short>(room ? POLLIN : 0), 0},
                         {output, static_cast<short>(stream.Waiting() ? POLLOUT : 0), 0}};
        const auto due = std::min(answerAt, nextStats);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
        const auto timeout = more && room ? std::chrono::milliseconds(0)
                                          : std::max(wait, std::chrono::milliseconds(0));
        const auto seconds = std::chrono::floor<std::chrono::seconds>(timeout);
        const timespec limit{static_cast<time_t>(seconds.count()),
                             static_cast<long>((timeout - seconds).count() * 1000000)};
        if (ppoll(fds, 2, &limit, &waiting) < 0 && errno != EINTR) break;
        // A pipe's writer hears of its reader's end as POLLERR.
        if (fds[1].revents & (POLLERR | POLLHUP)) break;
        const auto now = Clock::now();
        const bool answer = now >= answerAt;
        more = false;
        // Also on a quiet wake: an interface that went down and then away tells the socket
        // only of the first, and libpcap finds the second only when it is read again.
        if (room) {
            // To answer, everything the ring holds goes into the stream first.
            int n = 0;
            do {
                n = stream.Take(handle);
                more = more || n > 0;
            } while (answer && n > 0 && stream.Waiting() < kQueueLimit);
            if (n < 0) {
                Say(pcap_geterr(handle));
                status = kExitFailed;
                break;
            }
        }
        if (answer || now >= nextStats) {
            TellStats(handle, stream.Packets());
            answerAt = kNotAsked;
            nextStats = now + kStatsEvery;
        }
        readerGone = !stream.Send();
    }
    if (stream.Failed()) status = kExitFailed;
    // What was captured before the end still goes to the reader, for a while.
    const auto give = Clock::now() + std::chrono::milliseconds(kLastWriteMs);
    while (!readerGone && stream.Waiting() && Clock::now() < give) {
        pollfd out{output, POLLOUT, 0};
        poll(&out, 1, 50);
        readerGone = !stream.Send();
    }
    TellStats(handle, stream.Packets());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything else: a request for the counters must never end the process.
    InstallSignals();
    SetLanguage(LanguageFromEnvironment());
    if (!MayCapture()) return kExitRefused;
    Arguments args;
    if (const auto done = ReadArguments(argc, argv, args)) return *done;

    const std::string self = ExecutableFolder() + "/quorvex-capture";
    const auto opened = OpenLiveDevice(
        args.interface,
        Format(Tr("\nThe capture helper %s lacks the capture capabilities (a file system without "
                  "extended attributes?). Give them to it: sudo setcap "
                  "cap_net_raw,cap_net_admin=ep %s"),
               self.c_str(), self.c_str()));
    if (!opened) {
        Say(opened.error());
        return kExitSource;
    }
    pcap_t* handle = *opened;
    MulticastMembership membership;
    for (const uint32_t group : args.groups) {
        if (const Status joined = membership.Join(args.interface, group); !joined) {
            Say(Format(Tr("Cannot join a multicast group: %s"), joined.error().c_str()));
            pcap_close(handle);
            return kExitSource;
        }
    }
    // The device is open: nothing from here on needs, or may gain, a privilege.
    if (const Status dropped = DropEveryCapability(); !dropped) {
        Say(Format(Tr("Cannot give up the capture capabilities: %s"), dropped.error().c_str()));
        pcap_close(handle);
        return kExitRefused;
    }
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int status = Capture(handle);
    pcap_close(handle);
    return status;
}
