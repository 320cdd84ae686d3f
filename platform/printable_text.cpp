#include "platform/printable_text.h"

#include <cstdint>
#include <cstdio>

namespace quorvex {

size_t Utf8SequenceLength(std::string_view s, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = byte(at);
    if (c < 0x80) return 1;
    size_t n = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (at + n > s.size()) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return n;
}

std::string Printable(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    char escape[8];
    for (size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const size_t n = Utf8SequenceLength(text, at);
        if (n == 0 || c < 0x20 || c == 0x7F) {
            if (keepLineBreaks && (c == '\n' || c == '\t')) {
                out += static_cast<char>(c);
            } else {
                std::snprintf(escape, sizeof escape, "\\x%02x", c);
                out += escape;
            }
            ++at;
            continue;
        }
        // C1 controls: U+0080..U+009F, two bytes C2 80..C2 9F.
        const auto next = n == 2 ? static_cast<unsigned char>(text[at + 1]) : 0;
        if (c == 0xC2 && next <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", next);
            out += escape;
        } else {
            out.append(text, at, n);
        }
        at += n;
    }
    return out;
}

}  // namespace quorvex
