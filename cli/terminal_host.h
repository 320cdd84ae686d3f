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
    // The alerts that told of a recording that could not be written, synced or moved.
    int WriteFailures() const { return m_writeFailures; }
    Phase CurrentPhase() const { return m_phase; }
    // The universe count of the survey, once it has finished, and what it found.
    std::optional<size_t> Surveyed() const { return m_surveyed; }
    const UniverseTable& SurveyTable() const { return m_surveyTable; }
    const Framing& SurveyFraming() const { return m_surveyFraming; }
    const std::optional<RecordingFinished>& Finished() const { return m_finished; }

    // What a recording is heading for, for its progress line.
    struct ProgressPlan {
        unsigned frames = 0;      // the frame limit
        bool framesShown = true;  // false: the header's limit, no goal anyone chose
        double seconds = 0;       // the recorded time that ends it; 0: none
        std::string waitingFor;   // the start trigger, shown until the first frame
    };
    // Starts / ends the live progress line of a recording.
    void StartProgress(const ProgressPlan& plan);
    void EndProgress();
    // Shows `text` (lines, the last without a new line) below the log in place, instead of the
    // progress line; EndProgress takes it away. Only on a terminal.
    void ShowBlock(const std::string& text);
    bool OnTerminal() const { return m_progressWanted; }
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

    void ShowFramesWritten(unsigned frames, double seconds);
    // Callers hold m_outMutex.
    std::string ProgressLineLocked() const;
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
    int m_writeFailures = 0;
    Phase m_phase = Phase::Idle;
    std::optional<size_t> m_surveyed;
    UniverseTable m_surveyTable;
    Framing m_surveyFraming;
    std::optional<RecordingFinished> m_finished;

    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_woken{false};

    std::mutex m_outMutex;  // every write to the terminal
    bool m_progressShown = false;
    int m_shownLines = 0;  // of the progress line or the block, as drawn
    std::string m_block;
    ProgressPlan m_plan;
    unsigned m_progressFrames = 0;
    double m_progressSeconds = 0;
    unsigned m_progressFirst = 0;  // frames written when the rate's clock started
    double m_progressRate = 0;
    Clock::time_point m_progressStart;
    Clock::time_point m_progressDrawn;
};

}  // namespace quorvex::cli
