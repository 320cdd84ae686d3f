#pragma once
// Show times as people type them: "90s", "2m30s", "1h5m", "90" (seconds), "02:30" (mm:ss).

#include <optional>
#include <string>

namespace quorvex {

// Seconds, or nothing when the text is not a duration above 0.
std::optional<double> ParseDurationText(const std::string& text);
// "02:30"; minutes grow past 99 as needed.
std::string MinutesSecondsText(double seconds);

}  // namespace quorvex
