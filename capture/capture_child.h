#pragma once
// The capture helper (quorvex-capture) as a child process. It alone holds the capture
// capabilities: it opens the device, gives them up, and writes the packets to a pipe as a pcap
// stream, which a packet source reads as it reads a capture file. Its kernel counters and its
// messages come on its standard error, which a thread of ours reads as they come.

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/result.h"

namespace quorvex {

struct CaptureStats;

// The first word of the helper's counter lines:
// "stats received=R dropped=D ifdropped=I streamed=S"; the same after "drained " answers a
// drain, with the kernel's counters once it had let go of what came before.
inline constexpr char kHelperStatsPrefix[] = "stats ";
inline constexpr char kHelperDrainedPrefix[] = "drained ";

// Where the helper let go of what it had captured before it was asked to.
struct HelperDrain {
    uint64_t streamed = 0;  // packets of the stream captured before
    unsigned received = 0;  // the kernel's counters once the ring had room again
    unsigned dropped = 0;
    unsigned interfaceDropped = 0;
};

class CaptureChild {
  public:
    // Runs `program --interface device`, in a process group of its own so that a Ctrl-C meant
    // for this program does not cut its stream short. The helper ends when its stream's reader
    // closes it or when the thread that started it ends (its parent-death signal).
    static Result<std::unique_ptr<CaptureChild>> Start(const std::string& program,
                                                       const std::string& device);
    // Ends the helper, if it still runs, and waits for it.
    ~CaptureChild();
    CaptureChild(const CaptureChild&) = delete;
    CaptureChild& operator=(const CaptureChild&) = delete;

    // The read end of the packet stream, once; the caller closes it.
    int TakePacketFd();
    // Waits up to `ms` for the stream to begin (the device is open) or the helper to end.
    bool WaitForStream(int ms) const;
    // The kernel's counters as the helper last told them; it is asked for fresh ones first
    // and given a moment to answer.
    Result<CaptureStats> Stats();
    // Has the helper skip what the kernel captured before now rather than stream it, and
    // waits for it to tell where its stream starts afresh.
    Result<HelperDrain> Drain();
    // The reader counts the packets it takes from the stream: any thread, one at a time.
    void Took() { m_taken.fetch_add(1, std::memory_order_relaxed); }
    uint64_t Taken() const { return m_taken.load(std::memory_order_relaxed); }
    // Why the helper ended: its messages, or how it exited. Waits for it to end (a few
    // seconds at most).
    std::string EndReason();
    pid_t Pid() const { return m_pid; }

  private:
    CaptureChild(pid_t pid, int packetFd, int messageFd);
    void ReadMessages();
    void Interpret(const std::string& line);
    // Asks for a report with `sig` and waits a moment for one counted in `reports`; false
    // when none ever came.
    bool Ask(std::unique_lock<std::mutex>& lock, int sig, const uint64_t& reports);
    bool WaitForEnd(int ms);

    const pid_t m_pid;
    int m_packetFd;
    const int m_messageFd;
    std::thread m_reader;
    std::atomic<uint64_t> m_taken{0};

    mutable std::mutex m_mutex;  // guards everything below, and signalling the helper
    std::condition_variable m_changed;
    bool m_exited = false;  // reaped: its process id may belong to another process now
    int m_waitStatus = 0;
    uint64_t m_reports = 0;  // counter lines so far
    unsigned m_received = 0;
    unsigned m_dropped = 0;
    unsigned m_interfaceDropped = 0;
    uint64_t m_drains = 0;  // drain answers so far
    HelperDrain m_drain;
    std::string m_messages;
};

}  // namespace quorvex
