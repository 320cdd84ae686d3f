#pragma once
// Turns the surveyed universes into the frame layout of a recording: ascending universe
// order, byte offsets, controller ports of U consecutive universe numbers, and a dense table
// in which slot k describes universe k.

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/universe_table.h"

namespace quorvex {

struct PortLayout {
    int32_t portCount = 0;
    std::vector<uint16_t> portLengths;  // bytes per port in one frame
    uint32_t frameLength = 0;           // bytes in one frame
};

// Reshapes `table` (at least one slot) in place and returns the ports for `perPort` (1..8).
PortLayout ComputeFrameLayout(UniverseTable& table, int perPort);
// The log lines of the layout a recording uses: universes per port, then each port with its
// universes and bytes. `table` as ComputeFrameLayout left it.
std::vector<std::string> LayoutInUseLines(const UniverseTable& table, const PortLayout& layout,
                                          int perPort);

}  // namespace quorvex
