#pragma once
// A manual-reset event: once set it stays set until reset.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quorvex {

class ManualResetEvent {
  public:
    void Set();
    void Reset();
    // True when the event is set, false after the time-out.
    bool WaitFor(std::chrono::milliseconds timeout);
    bool IsSet() const;

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set = false;
};

// Wakes the writer thread when the assembler completes a frame.
extern ManualResetEvent g_hWriteEvent;

}  // namespace quorvex
