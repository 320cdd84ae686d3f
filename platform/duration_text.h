#pragma once
// Show times as people type them, in exactly these forms: "90" (seconds), "90s", "2m30s",
// "1h2m3s" (hours, minutes and seconds, each part optional but in that order), "02:30"
// (minutes and two-digit seconds).

#include <optional>
#include <string>

namespace quorvex {

// The forms ParseDurationText accepts, for messages that name them.
inline constexpr const char* kDurationForms = "90, 90s, 2m30s, 1h2m3s, 02:30";

// Seconds, or nothing when the text is not one of the forms, a part is out of range (minutes
// or seconds after a larger unit, and the seconds of mm:ss, below 60) or the time is 0.
std::optional<double> ParseDurationText(const std::string& text);
// "02:30"; minutes grow past 99 as needed.
std::string MinutesSecondsText(double seconds);

}  // namespace quorvex
