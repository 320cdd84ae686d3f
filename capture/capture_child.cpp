#include "capture/capture_child.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "capture/packet_source.h"
#include "platform/text_format.h"
#include "platform/texts.h"

extern char** environ;

namespace quorvex {

namespace {

constexpr int kPipeBytes = 1 << 20;  // what the stream holds while its reader is busy
constexpr auto kAnswerWait = std::chrono::milliseconds(250);
constexpr int kEndWaitMs = 5000;
constexpr size_t kMessageLimit = 4096;

// Only the language of the texts passes to the helper, which runs with privileges: nothing
// else of this program's environment reaches it.
std::vector<std::string> HelperEnvironment() {
    std::vector<std::string> vars;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* v = std::getenv(name)) vars.push_back(std::string(name) + "=" + v);
    }
    return vars;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

Result<std::unique_ptr<CaptureChild>> CaptureChild::Start(const std::string& program,
                                                          const std::string& device) {
    int packets[2];
    int messages[2];
    if (pipe2(packets, O_CLOEXEC) != 0) return Fail(std::string("pipe: ") + std::strerror(errno));
    if (pipe2(messages, O_CLOEXEC) != 0) {
        const int error = errno;
        close(packets[0]);
        close(packets[1]);
        return Fail(std::string("pipe: ") + std::strerror(error));
    }
    // A larger pipe than the default 64 KiB: a burst waits here, not in the kernel's ring.
    (void)fcntl(packets[0], F_SETPIPE_SZ, kPipeBytes);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, packets[1], 1);
    posix_spawn_file_actions_adddup2(&actions, messages[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    // Its own process group: the terminal's Ctrl-C stops this program at a frame boundary,
    // and must not end the stream under it. Signals start as the system sets them.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> args{program, "--interface", device};
    std::vector<std::string> env = HelperEnvironment();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &attributes, Pointers(args).data(),
                               Pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(packets[1]);
    close(messages[1]);
    if (rc != 0) {
        close(packets[0]);
        close(messages[0]);
        if (rc == EACCES) {
            // The installed helper may be run by root and the group quorvex alone.
            return Fail(Format(Tr("Cannot run the capture helper %s: only root and the members "
                                  "of the group quorvex may capture. Add yourself to it and log "
                                  "in again: sudo usermod -aG quorvex $USER"),
                               program.c_str()));
        }
        return Fail(
            Format(Tr("Cannot run the capture helper %s: %s"), program.c_str(), std::strerror(rc)));
    }
    return std::unique_ptr<CaptureChild>(new CaptureChild(pid, packets[0], messages[0]));
}

CaptureChild::CaptureChild(pid_t pid, int packetFd, int messageFd)
    : m_pid(pid), m_packetFd(packetFd), m_messageFd(messageFd) {
    m_reader = std::thread([this] {
        pthread_setname_np(pthread_self(), "quorvex-helper");
        ReadMessages();
    });
}

CaptureChild::~CaptureChild() {
    if (m_packetFd >= 0) close(m_packetFd);
    {
        // Its stream's end ends it; this makes sure, and it cannot hit another process.
        std::lock_guard lock(m_mutex);
        if (!m_exited) kill(m_pid, SIGTERM);
    }
    m_reader.join();
    close(m_messageFd);
}

int CaptureChild::TakePacketFd() {
    const int fd = m_packetFd;
    m_packetFd = -1;
    return fd;
}

bool CaptureChild::WaitForStream(int ms) const {
    pollfd stream{m_packetFd, POLLIN, 0};
    for (;;) {
        const int rc = poll(&stream, 1, ms);
        if (rc >= 0) return rc > 0;
        if (errno != EINTR) return false;
    }
}

void CaptureChild::ReadMessages() {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(m_messageFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            Interpret(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        if (pending.size() > kMessageLimit) pending.clear();
    }
    if (!pending.empty()) Interpret(pending);
    // Its standard error closes as it exits.
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    {
        std::lock_guard lock(m_mutex);
        m_exited = true;
        m_waitStatus = status;
    }
    m_changed.notify_all();
}

void CaptureChild::Interpret(const std::string& line) {
    std::lock_guard lock(m_mutex);
    const bool stats = line.rfind(kHelperStatsPrefix, 0) == 0;
    if (stats || line.rfind(kHelperDrainedPrefix, 0) == 0) {
        HelperDrain c;
        unsigned long long streamed = 0;
        const size_t skip = std::strlen(stats ? kHelperStatsPrefix : kHelperDrainedPrefix);
        if (std::sscanf(line.c_str() + skip, "received=%u dropped=%u ifdropped=%u streamed=%llu",
                        &c.received, &c.dropped, &c.interfaceDropped, &streamed) != 4) {
            return;
        }
        c.streamed = streamed;
        if (stats) {
            m_received = c.received;
            m_dropped = c.dropped;
            m_interfaceDropped = c.interfaceDropped;
            ++m_reports;
        } else {
            m_drain = c;
            ++m_drains;
        }
        m_changed.notify_all();
        return;
    }
    if (m_messages.size() >= kMessageLimit) return;
    if (!m_messages.empty()) m_messages += '\n';
    m_messages += line;
}

bool CaptureChild::Ask(std::unique_lock<std::mutex>& lock, int sig, const uint64_t& reports) {
    const uint64_t before = reports;
    // The answer comes within a few milliseconds.
    if (!m_exited) kill(m_pid, sig);
    m_changed.wait_for(lock, kAnswerWait, [&] { return reports > before || m_exited; });
    return reports > before;
}

Result<CaptureStats> CaptureChild::Stats() {
    std::unique_lock lock(m_mutex);
    // SIGUSR1 asks for the counters now; the last ones told do when it cannot answer.
    if (!Ask(lock, SIGUSR1, m_reports) && m_reports == 0) {
        return Fail(Tr("the capture helper has not told its counters"));
    }
    return CaptureStats{m_received, m_dropped, m_interfaceDropped};
}

Result<HelperDrain> CaptureChild::Drain() {
    std::unique_lock lock(m_mutex);
    if (!Ask(lock, SIGUSR2, m_drains)) return Fail("the capture helper did not answer");
    return m_drain;
}

bool CaptureChild::WaitForEnd(int ms) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_exited; });
}

std::string CaptureChild::EndReason() {
    if (!WaitForEnd(kEndWaitMs)) return Tr("the capture helper stopped sending packets");
    std::lock_guard lock(m_mutex);
    if (!m_messages.empty()) return m_messages;
    if (WIFSIGNALED(m_waitStatus)) {
        return Format(Tr("the capture helper ended by signal %d"), WTERMSIG(m_waitStatus));
    }
    return Format(Tr("the capture helper ended with exit status %d"), WEXITSTATUS(m_waitStatus));
}

}  // namespace quorvex
