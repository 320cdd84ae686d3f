#pragma once
// The recorder's host in a terminal: log lines go to stdout, alerts go to stderr and fail the
// run, and the control thread is whatever thread calls Pump (the main thread).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "recording/recorder.h"

namespace quorvex::cli {

class TerminalHost : public RecorderHost {
  public:
    // `progress`: keep a live progress line below the log (only when `out` is a terminal).
    TerminalHost(std::FILE* out, std::FILE* err, bool progress);

    // What Save As answers; empty: the recording stays the working file.
    void SetSavePath(std::string path) { m_savePath = std::move(path); }

    // The control thread's loop: runs what the workers handed over and a due finish tick, then
    // waits up to `maxWait` (less when a tick falls due first, or a worker wakes it).
    void Pump(Recorder& recorder, std::chrono::milliseconds maxWait);

    // What happened, for the command that drives the run.
    int AlertCount() const { return m_alerts; }
    Phase CurrentPhase() const { return m_phase; }
    // The universe count of the survey, once it has finished.
    std::optional<size_t> Surveyed() const { return m_surveyed; }
    const std::optional<RecordingFinished>& Finished() const { return m_finished; }

    // Starts / ends the live progress line of a recording of `total` frames.
    void StartProgress(unsigned total);
    void EndProgress();
    // Prints a status line on stderr, clear of the progress line.
    void Status(const std::string& text);

    // RecorderHost
    void Log(const std::string& line) override;
    void WakeControl() override;
    void SetFinishTicks(bool on) override;
    void OnEvent(const RecorderEvent& event) override;
    std::optional<std::string> AskSavePath(const SaveRequest& request) override;

  private:
    using Clock = std::chrono::steady_clock;

    void ShowFramesWritten(unsigned frames);
    // Callers hold m_outMutex.
    void ClearProgressLocked();
    void DrawProgressLocked();

    std::FILE* m_out;
    std::FILE* m_err;
    const bool m_progressWanted;

    // Control thread only.
    std::string m_savePath;
    bool m_ticksOn = false;
    Clock::time_point m_nextTick;
    int m_alerts = 0;
    Phase m_phase = Phase::Idle;
    std::optional<size_t> m_surveyed;
    std::optional<RecordingFinished> m_finished;

    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_woken{false};

    std::mutex m_outMutex;  // every write to the terminal
    bool m_progressShown = false;
    unsigned m_progressTotal = 0;
    unsigned m_progressFrames = 0;
    unsigned m_progressFirst = 0;  // frames written when the rate's clock started
    double m_progressRate = 0;
    Clock::time_point m_progressStart;
    Clock::time_point m_progressDrawn;
};

}  // namespace quorvex::cli
