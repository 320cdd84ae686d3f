#pragma once
// The window services of the command-line recorder: the log pane is the terminal, message
// boxes go to stderr and fail the run, and the window thread is whatever thread calls
// PumpOnce (the main thread).

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/choice_list.h"
#include "platform/window_services.h"

namespace quorvex::cli {

class TerminalServices : public IWindowServices {
  public:
    // `progress`: keep a live progress line below the log (only when `out` is a terminal).
    TerminalServices(std::FILE* out, std::FILE* err, bool progress);

    void SetTarget(IWindowTarget* target) { m_target = target; }
    // What Save As answers.
    void SetSavePath(std::string path);
    // As if the user typed into Capture Frames.
    void SetMaxFrames(unsigned frames);

    // The window thread's loop: delivers posted messages, runs due timers, then waits up to
    // `maxWait` (less when a timer falls due first, or a message arrives).
    void PumpOnce(std::chrono::milliseconds maxWait);

    // What happened, for the command that drives the run.
    int MessageBoxCount() const;
    int ParseFinishedDelivered() const;
    int FinishTimerKills() const;
    bool TimerArmed(int id) const;
    // Starts / ends the live progress line of a recording of `total` frames.
    void StartProgress(unsigned total);
    void EndProgress();
    // Prints a status line on stderr, clear of the progress line.
    void Status(const std::string& text);

    // IWindowServices
    void AppendLog(const std::string& text) override;
    void PostMessage(WindowMessage message) override;
    int GetCurSel(ListId list) const override;
    std::string GetListText(ListId list) const override;
    void ResetContent(ListId list) override;
    void AddString(ListId list, const std::string& text) override;
    void SetCurSel(ListId list, int index) override;
    void EnableButton(ButtonId button, bool enable) override;
    void MessageBox(const std::string& text) override;
    void SetTimer(int id) override;
    void KillTimer(int id) override;
    void PushFields(const BoundFields& fields) override;
    bool PullFields(BoundFields& fields) override;
    std::optional<std::string> AskSavePath(const std::string& defaultName) override;

  private:
    using Clock = std::chrono::steady_clock;

    ChoiceList& ListOf(ListId id) { return m_lists[id]; }
    // Callers hold m_outMutex.
    void ClearProgressLocked();
    void DrawProgressLocked();

    IWindowTarget* m_target = nullptr;
    std::FILE* m_out;
    std::FILE* m_err;
    const bool m_progressWanted;

    mutable std::mutex m_mutex;  // lists, fields, timers, queue, counters
    std::condition_variable m_wake;
    std::map<ListId, ChoiceList> m_lists;
    BoundFields m_fields;
    std::string m_savePath;
    std::map<int, Clock::time_point> m_timers;  // id -> next tick
    std::deque<WindowMessage> m_posted;
    int m_boxes = 0;
    int m_parseFinished = 0;
    int m_finishKills = 0;

    std::mutex m_outMutex;  // every write to the terminal
    bool m_progressShown = false;
    unsigned m_progressTotal = 0;
    unsigned m_progressFrames = 0;
    unsigned m_progressFirst = 0;
    double m_progressRate = 0;  // frames written when the rate's clock started
    Clock::time_point m_progressStart;
    Clock::time_point m_progressDrawn;
};

}  // namespace quorvex::cli
