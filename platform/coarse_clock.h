#pragma once
// A coarse monotonic clock in milliseconds: a few ms of resolution, cheap enough to read at
// every packet. Wraps like any 32-bit tick counter.

#include <time.h>

#include <cstdint>

namespace quorvex {

inline uint32_t CoarseMonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000);
}

}  // namespace quorvex
