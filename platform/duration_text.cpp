#include "platform/duration_text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "platform/text_format.h"

namespace quorvex {

std::optional<double> ParseDurationText(const std::string& raw) {
    std::string text;
    for (const char c : raw) {
        if (!std::isspace(static_cast<unsigned char>(c))) text += c;
    }
    if (text.empty()) return std::nullopt;
    double total = 0;
    if (const size_t colon = text.find(':'); colon != std::string::npos) {
        // mm:ss (or h:mm:ss): whole numbers, seconds below 60.
        double parts[3] = {0, 0, 0};
        int n = 0;
        size_t at = 0;
        while (at <= text.size()) {
            const size_t end = std::min(text.find(':', at), text.size());
            if (end == at || n == 3) return std::nullopt;
            double v = 0;
            for (size_t i = at; i < end; ++i) {
                if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
                v = v * 10 + (text[i] - '0');
                if (v > 1e7) return std::nullopt;
            }
            parts[n++] = v;
            at = end + 1;
        }
        if (n < 2 || parts[n - 1] >= 60 || (n == 3 && parts[1] >= 60)) return std::nullopt;
        total = n == 2 ? parts[0] * 60 + parts[1] : parts[0] * 3600 + parts[1] * 60 + parts[2];
    } else {
        // 1h5m30s, 2m30s, 90s, 1.5m, or a bare number of seconds.
        size_t at = 0;
        char lastUnit = 0;
        while (at < text.size()) {
            const char* begin = text.c_str() + at;
            char* end = nullptr;
            if (!std::isdigit(static_cast<unsigned char>(*begin)) && *begin != '.') {
                return std::nullopt;
            }
            const double v = std::strtod(begin, &end);
            if (end == begin || !std::isfinite(v)) return std::nullopt;
            at += static_cast<size_t>(end - begin);
            char unit = 's';
            if (at < text.size())
                unit = static_cast<char>(std::tolower(text[at++]));
            else if (lastUnit)
                return std::nullopt;  // "2m30": say what 30 is
            const int rank = unit == 'h' ? 3 : unit == 'm' ? 2 : unit == 's' ? 1 : 0;
            const int lastRank = lastUnit == 'h' ? 3 : lastUnit == 'm' ? 2 : lastUnit ? 1 : 4;
            if (rank == 0 || rank >= lastRank) return std::nullopt;
            total += v * (unit == 'h' ? 3600 : unit == 'm' ? 60 : 1);
            lastUnit = unit;
        }
    }
    if (!(total > 0) || total > 1e9) return std::nullopt;
    return total;
}

std::string MinutesSecondsText(double seconds) {
    const auto s = static_cast<long long>(seconds > 0 ? seconds : 0);
    return Format("%02lld:%02lld", s / 60, s % 60);
}

}  // namespace quorvex
