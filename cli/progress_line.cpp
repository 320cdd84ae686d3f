#include "cli/progress_line.h"

#include <unistd.h>

namespace quorvex::cli {

ProgressLine::ProgressLine(std::FILE* to, std::chrono::milliseconds every)
    : m_to(to), m_active(isatty(fileno(to)) == 1), m_every(every) {}

void ProgressLine::Show(const std::string& text, bool now) {
    if (!m_active) return;
    const auto time = std::chrono::steady_clock::now();
    if (m_shown && !now && time - m_drawn < m_every) return;
    std::fprintf(m_to, "%s%s", kEraseLine, text.c_str());
    std::fflush(m_to);
    m_shown = true;
    m_drawn = time;
}

void ProgressLine::End() {
    if (!m_shown) return;
    std::fputs(kEraseLine, m_to);
    std::fflush(m_to);
    m_shown = false;
}

}  // namespace quorvex::cli
