#pragma once
// printf-style formatting into std::string, for the system's fixed log and message texts.

#include <cstdarg>
#include <cstdint>
#include <string>

namespace quorvex {

[[gnu::format(printf, 1, 2)]] std::string Format(const char* fmt, ...);

// "10.0.0.5" for an IPv4 address in host byte order.
std::string Ipv4Text(uint32_t address);

}  // namespace quorvex
