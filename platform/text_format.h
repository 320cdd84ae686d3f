#pragma once
// printf-style formatting into std::string, for the system's fixed log and message texts.

#include <cstdarg>
#include <string>

namespace quorvex {

[[gnu::format(printf, 1, 2)]] std::string Format(const char* fmt, ...);

}  // namespace quorvex
