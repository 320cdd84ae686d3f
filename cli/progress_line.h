#pragma once
// A status line kept in place on a terminal: each redraw goes over the last one. Nothing is
// drawn when the stream is no terminal, so pipes and log files get only the real lines.

#include <chrono>
#include <cstdio>
#include <string>

namespace quorvex::cli {

// Back to the start of the line and erase it.
inline constexpr char kEraseLine[] = "\r\033[K";

class ProgressLine {
  public:
    explicit ProgressLine(std::FILE* to,
                          std::chrono::milliseconds every = std::chrono::milliseconds(200));
    ~ProgressLine() { End(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool Active() const { return m_active; }
    // Redraws the line, at most once every `every` unless `now`.
    void Show(const std::string& text, bool now = false);
    // Erases the line, for the lines that follow.
    void End();

  private:
    std::FILE* m_to;
    const bool m_active;
    const std::chrono::milliseconds m_every;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_drawn;
};

}  // namespace quorvex::cli
