#include "platform/duration_text.h"

#include <cstdint>

#include "platform/text_format.h"

namespace quorvex {

namespace {

// More than any show: a larger number is a typing error, and it cannot overflow.
constexpr size_t kMostDigits = 9;
constexpr uint64_t kLongest = 1000000000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The whole number at `at` (advanced past it); nothing without a digit or with too many.
std::optional<uint64_t> Number(const std::string& text, size_t& at) {
    const size_t start = at;
    uint64_t v = 0;
    while (at < text.size() && IsDigit(text[at]))
        v = v * 10 + static_cast<uint64_t>(text[at++] - '0');
    if (at == start || at - start > kMostDigits) return std::nullopt;
    return v;
}

}  // namespace

std::optional<double> ParseDurationText(const std::string& text) {
    size_t at = 0;
    uint64_t total = 0;
    const auto first = Number(text, at);
    if (!first) return std::nullopt;
    if (at == text.size()) {
        total = *first;  // "90": seconds
    } else if (text[at] == ':') {
        // "02:30": minutes, then two digits of seconds.
        const size_t secondsAt = ++at;
        const auto seconds = Number(text, at);
        if (!seconds || at != text.size() || at - secondsAt != 2 || *seconds >= 60) {
            return std::nullopt;
        }
        total = *first * 60 + *seconds;
    } else {
        // "1h2m3s", any of the parts, in that order; after the first, each below 60.
        constexpr struct {
            char unit;
            uint64_t seconds;
        } kUnits[] = {{'h', 3600}, {'m', 60}, {'s', 1}};
        std::optional<uint64_t> value = first;
        size_t unit = 0;
        bool leading = true;
        for (;;) {
            while (unit < 3 && text[at] != kUnits[unit].unit) ++unit;
            if (unit == 3 || (!leading && *value >= 60)) return std::nullopt;
            total += *value * kUnits[unit++].seconds;
            leading = false;
            if (++at == text.size()) break;
            if (!(value = Number(text, at)) || at == text.size()) return std::nullopt;
        }
    }
    if (total == 0 || total > kLongest) return std::nullopt;
    return static_cast<double>(total);
}

std::string MinutesSecondsText(double seconds) {
    const auto s = static_cast<long long>(seconds > 0 ? seconds : 0);
    return Format("%02lld:%02lld", s / 60, s % 60);
}

}  // namespace quorvex
