#pragma once
// Text from outside the program (file names, notes files, packet payloads) made safe to show:
// no control character reaches a terminal or the window's log, where an escape sequence could
// retitle or clear the terminal, or forge a line the user trusts.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvex {

// Length of the well-formed UTF-8 sequence at `at` (1 for ASCII), or 0 for a byte that starts
// none: a stray continuation byte, an overlong form, a surrogate, a cut sequence.
size_t Utf8SequenceLength(std::string_view text, size_t at);

// `text` with every control character written as an escape: C0 and DEL as \xNN, C1 (U+0080 to
// U+009F) as \uNNNN, and a byte that is not well-formed UTF-8 as \xNN. Everything else passes
// unchanged. With `keepLineBreaks`, new lines and tabs stay: the layout of a text of our own.
std::string Printable(std::string_view text, bool keepLineBreaks = false);

}  // namespace quorvex
