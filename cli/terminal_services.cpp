#include "cli/terminal_services.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/text_format.h"

namespace quorvex::cli {

namespace {
constexpr auto kTimerPeriod = std::chrono::milliseconds(kTimerPeriodMs);
// The progress line is redrawn at most this often; a log line always redraws it.
constexpr auto kProgressRedraw = std::chrono::milliseconds(100);
constexpr char kClearLine[] = "\r\033[K";
}  // namespace

TerminalServices::TerminalServices(std::FILE* out, std::FILE* err, bool progress)
    : m_out(out), m_err(err), m_progressWanted(progress && isatty(fileno(out)) == 1) {
    m_lists[ListId::Ip];
    m_lists[ListId::IcType];
    m_lists[ListId::Universes];
}

void TerminalServices::SetSavePath(std::string path) {
    std::lock_guard lock(m_mutex);
    m_savePath = std::move(path);
}

void TerminalServices::SetMaxFrames(unsigned frames) {
    std::lock_guard lock(m_mutex);
    m_fields.maxFrames = frames;
}

void TerminalServices::PumpOnce(std::chrono::milliseconds maxWait) {
    for (;;) {
        WindowMessage m;
        {
            std::lock_guard lock(m_mutex);
            if (m_posted.empty()) break;
            m = m_posted.front();
            m_posted.pop_front();
            if (m == WindowMessage::ParseFinished) ++m_parseFinished;
        }
        if (m_target) m_target->OnWindowMessage(m);
    }

    std::vector<int> due;
    {
        std::lock_guard lock(m_mutex);
        const auto now = Clock::now();
        for (auto& [id, next] : m_timers) {
            if (next > now) continue;
            due.push_back(id);
            // Like a window timer: ticks that fell behind are not made up.
            next += kTimerPeriod;
            if (next <= now) next = now + kTimerPeriod;
        }
    }
    for (int id : due) {
        // A timer killed by an earlier tick of this round does not tick.
        if (TimerArmed(id) && m_target) m_target->OnTimer(id);
    }

    std::unique_lock lock(m_mutex);
    if (!m_posted.empty()) return;
    auto until = Clock::now() + maxWait;
    for (const auto& [id, next] : m_timers) until = std::min(until, next);
    m_wake.wait_until(lock, until, [this] { return !m_posted.empty(); });
}

int TerminalServices::MessageBoxCount() const {
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

int TerminalServices::ParseFinishedDelivered() const {
    std::lock_guard lock(m_mutex);
    return m_parseFinished;
}

int TerminalServices::FinishTimerKills() const {
    std::lock_guard lock(m_mutex);
    return m_finishKills;
}

bool TerminalServices::TimerArmed(int id) const {
    std::lock_guard lock(m_mutex);
    return m_timers.count(id) != 0;
}

void TerminalServices::StartProgress(unsigned total) {
    std::lock_guard lock(m_outMutex);
    m_progressTotal = total;
    m_progressFrames = 0;
    m_progressRate = 0;
    m_progressShown = m_progressWanted;
    DrawProgressLocked();
}

void TerminalServices::EndProgress() {
    std::lock_guard lock(m_outMutex);
    ClearProgressLocked();
    m_progressShown = false;
}

void TerminalServices::Status(const std::string& text) {
    std::lock_guard lock(m_outMutex);
    ClearProgressLocked();
    std::fprintf(m_err, "%s\n", text.c_str());
    std::fflush(m_err);
    DrawProgressLocked();
}

void TerminalServices::ClearProgressLocked() {
    if (!m_progressShown) return;
    std::fputs(kClearLine, m_out);
    std::fflush(m_out);
}

void TerminalServices::DrawProgressLocked() {
    if (!m_progressShown) return;
    std::string line = Format("%u frames written of %u", m_progressFrames, m_progressTotal);
    if (m_progressRate > 0) line += Format(", %.1f frames per second", m_progressRate);
    std::fprintf(m_out, "%s%s", kClearLine, line.c_str());
    std::fflush(m_out);
    m_progressDrawn = Clock::now();
}

void TerminalServices::AppendLog(const std::string& text) {
    std::lock_guard lock(m_outMutex);
    ClearProgressLocked();
    std::fprintf(m_out, "%s\n", text.c_str());
    std::fflush(m_out);
    DrawProgressLocked();
}

void TerminalServices::PostMessage(WindowMessage message) {
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(message);
    }
    m_wake.notify_one();
}

int TerminalServices::GetCurSel(ListId list) const {
    std::lock_guard lock(m_mutex);
    return m_lists.at(list).selected;
}

std::string TerminalServices::GetListText(ListId list) const {
    std::lock_guard lock(m_mutex);
    return m_lists.at(list).Text();
}

void TerminalServices::ResetContent(ListId list) {
    std::lock_guard lock(m_mutex);
    ListOf(list) = ChoiceList{};
}

void TerminalServices::AddString(ListId list, const std::string& text) {
    std::lock_guard lock(m_mutex);
    ListOf(list).entries.push_back(text);
}

void TerminalServices::SetCurSel(ListId list, int index) {
    std::lock_guard lock(m_mutex);
    ListOf(list).Select(index);
}

void TerminalServices::EnableButton(ButtonId, bool) {}

void TerminalServices::MessageBox(const std::string& text) {
    {
        std::lock_guard lock(m_mutex);
        ++m_boxes;
    }
    std::lock_guard lock(m_outMutex);
    ClearProgressLocked();
    std::fprintf(m_err, "quorvex-cli: %s\n", text.c_str());
    std::fflush(m_err);
    DrawProgressLocked();
}

void TerminalServices::SetTimer(int id) {
    std::lock_guard lock(m_mutex);
    m_timers[id] = Clock::now() + kTimerPeriod;
}

void TerminalServices::KillTimer(int id) {
    std::lock_guard lock(m_mutex);
    // The finish step starts by killing its timer, so this counts finish steps.
    if (id == kTimerFinish && m_timers.erase(id)) ++m_finishKills;
    m_timers.erase(id);
}

void TerminalServices::PushFields(const BoundFields& fields) {
    {
        std::lock_guard lock(m_mutex);
        m_fields = fields;
    }
    const unsigned frames =
        static_cast<unsigned>(std::strtoul(fields.frameNum.c_str(), nullptr, 10));
    std::lock_guard lock(m_outMutex);
    if (!m_progressShown || frames == m_progressFrames) return;
    const auto now = Clock::now();
    if (m_progressFrames == 0) {
        m_progressStart = now;
        m_progressFirst = frames;
    }
    m_progressFrames = frames;
    // The rate as of the last frame: it stays put while the recording is finished.
    const double seconds = std::chrono::duration<double>(now - m_progressStart).count();
    if (frames > m_progressFirst && seconds > 0) {
        m_progressRate = (frames - m_progressFirst) / seconds;
    }
    if (now - m_progressDrawn >= kProgressRedraw || frames >= m_progressTotal) {
        DrawProgressLocked();
    }
}

bool TerminalServices::PullFields(BoundFields& fields) {
    std::lock_guard lock(m_mutex);
    fields = m_fields;
    return true;
}

std::optional<std::string> TerminalServices::AskSavePath(const std::string&) {
    std::lock_guard lock(m_mutex);
    if (m_savePath.empty()) return std::nullopt;
    return m_savePath;
}

}  // namespace quorvex::cli
