#include "cli/terminal_host.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "cli/progress_line.h"
#include "platform/duration_text.h"
#include "platform/printable_text.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex::cli {

namespace {
constexpr auto kTickPeriod = std::chrono::milliseconds(kFinishTickMs);
// The progress line is redrawn at most this often; a log line always redraws it.
constexpr auto kProgressRedraw = std::chrono::milliseconds(100);
constexpr char kEraseLineAbove[] = "\033[A\033[K";
}  // namespace

TerminalHost::TerminalHost(std::FILE* out, std::FILE* err, bool progress)
    : m_out(out), m_err(err), m_progressWanted(progress && isatty(fileno(out)) == 1) {}

void TerminalHost::Pump(Recorder& recorder, std::chrono::milliseconds maxWait) {
    if (m_woken.exchange(false)) recorder.RunPending();
    const auto now = Clock::now();
    if (m_ticksOn && m_nextTick <= now) {
        // Like a window timer: ticks that fell behind are not made up.
        m_nextTick += kTickPeriod;
        if (m_nextTick <= now) m_nextTick = now + kTickPeriod;
        recorder.FinishTick();
    }

    auto until = Clock::now() + maxWait;
    if (m_ticksOn) until = std::min(until, m_nextTick);
    std::unique_lock lock(m_wakeMutex);
    m_wake.wait_until(lock, until, [this] { return m_woken.load(); });
}

void TerminalHost::WakeControl() {
    {
        std::lock_guard lock(m_wakeMutex);
        m_woken = true;
    }
    m_wake.notify_one();
}

void TerminalHost::SetFinishTicks(bool on) {
    if (on && !m_ticksOn) m_nextTick = Clock::now() + kTickPeriod;
    m_ticksOn = on;
}

void TerminalHost::OnEvent(const RecorderEvent& event) {
    if (const auto* p = std::get_if<PhaseChanged>(&event)) {
        m_phase = p->phase;
    } else if (const auto* a = std::get_if<Alert>(&event)) {
        ++m_alerts;
        if (a->writeFailed) ++m_writeFailures;
        std::lock_guard lock(m_outMutex);
        ClearProgressLocked();
        std::fprintf(m_err, "quorvex-cli: %s\n", Printable(a->text, true).c_str());
        std::fflush(m_err);
        DrawProgressLocked();
    } else if (const auto* s = std::get_if<SurveyFinished>(&event)) {
        m_surveyed = s->universes;
        m_surveyTable = s->table;
        m_surveyFraming = s->framing;
    } else if (const auto* w = std::get_if<FramesWritten>(&event)) {
        ShowFramesWritten(w->frames, w->seconds);
    } else if (const auto* r = std::get_if<RecordingFinished>(&event)) {
        m_finished = *r;
    }
}

std::optional<std::string> TerminalHost::AskSavePath(const SaveRequest& request) {
    // A recording without a frame is worth nothing: it never becomes, or replaces, a file.
    if (m_savePath.empty() || request.frames == 0) return std::nullopt;
    return m_savePath;
}

void TerminalHost::StartProgress(const ProgressPlan& plan) {
    std::lock_guard lock(m_outMutex);
    ClearProgressLocked();
    m_plan = plan;
    m_block.clear();
    m_progressFrames = 0;
    m_progressSeconds = 0;
    m_progressRate = 0;
    m_progressShown = m_progressWanted;
    DrawProgressLocked();
}

void TerminalHost::ShowBlock(const std::string& text) {
    std::lock_guard lock(m_outMutex);
    ClearProgressLocked();
    m_block = text;
    m_progressShown = m_progressWanted;
    DrawProgressLocked();
}

void TerminalHost::EndProgress() {
    std::lock_guard lock(m_outMutex);
    ClearProgressLocked();
    m_progressShown = false;
}

void TerminalHost::Status(const std::string& text) {
    std::lock_guard lock(m_outMutex);
    ClearProgressLocked();
    std::fprintf(m_err, "%s\n", Printable(text, true).c_str());
    std::fflush(m_err);
    DrawProgressLocked();
}

void TerminalHost::Log(const std::string& line) {
    std::lock_guard lock(m_outMutex);
    ClearProgressLocked();
    std::fprintf(m_out, "%s\n", Printable(line, true).c_str());
    std::fflush(m_out);
    DrawProgressLocked();
}

void TerminalHost::ClearProgressLocked() {
    if (!m_progressShown || m_shownLines == 0) return;
    std::fputs(kEraseLine, m_out);
    for (int i = 1; i < m_shownLines; ++i) std::fputs(kEraseLineAbove, m_out);
    std::fflush(m_out);
    m_shownLines = 0;
}

std::string TerminalHost::ProgressLineLocked() const {
    if (m_progressFrames == 0 && !m_plan.waitingFor.empty()) {
        return Format(Tr("waiting for %s"), m_plan.waitingFor.c_str());
    }
    // Clauses, each whole in every language, joined by the language's comma.
    const char* comma = Tr(", ");
    std::string line = m_plan.framesShown
                           ? Format(Tr("%u frames written of %u"), m_progressFrames, m_plan.frames)
                           : Format(Tr("%u frames written"), m_progressFrames);
    if (m_progressRate > 0) line += comma + Format(Tr("%.1f frames per second"), m_progressRate);
    const std::string recorded = MinutesSecondsText(m_progressSeconds);
    line += comma + (m_plan.seconds > 0 ? Format(Tr("%s of %s recorded"), recorded.c_str(),
                                                 MinutesSecondsText(m_plan.seconds).c_str())
                                        : Format(Tr("%s recorded"), recorded.c_str()));
    // Time decides when it was given; frames left at the present rate otherwise, or first.
    double left = -1;
    if (m_plan.seconds > 0) left = std::max(0.0, m_plan.seconds - m_progressSeconds);
    if (m_plan.framesShown && m_progressRate > 0 && m_plan.frames >= m_progressFrames) {
        const double byFrames = (m_plan.frames - m_progressFrames) / m_progressRate;
        left = left < 0 ? byFrames : std::min(left, byFrames);
    }
    // Rounded up: "00:00 left" only once nothing is.
    if (left >= 0) {
        line += comma + Format(Tr("%s left"), MinutesSecondsText(std::ceil(left)).c_str());
    }
    return line;
}

void TerminalHost::DrawProgressLocked() {
    if (!m_progressShown) return;
    const std::string text = m_block.empty() ? ProgressLineLocked() : m_block;
    std::fprintf(m_out, "%s%s", kEraseLine, text.c_str());
    std::fflush(m_out);
    m_shownLines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    m_progressDrawn = Clock::now();
}

void TerminalHost::ShowFramesWritten(unsigned frames, double seconds) {
    std::lock_guard lock(m_outMutex);
    if (!m_progressShown || frames == m_progressFrames) return;
    const auto now = Clock::now();
    if (m_progressFrames == 0) {
        m_progressStart = now;
        m_progressFirst = frames;
    }
    m_progressFrames = frames;
    m_progressSeconds = seconds;
    // The rate as of the last frame: it stays put while the recording is finished.
    const double wall = std::chrono::duration<double>(now - m_progressStart).count();
    if (frames > m_progressFirst && wall > 0) {
        m_progressRate = (frames - m_progressFirst) / wall;
    }
    if (now - m_progressDrawn >= kProgressRedraw || frames >= m_plan.frames) {
        DrawProgressLocked();
    }
}

}  // namespace quorvex::cli
