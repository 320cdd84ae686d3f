#pragma once
// The monitor's view of the live input: a table for people, one JSON document for scripts,
// and the channels of one universe as a grid.

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/input_monitor.h"

namespace quorvex::cli {

// One universe from one sender over a whole run.
struct InputTotal {
    InputRow row;  // rates over the run
    uint64_t packets = 0;
};

// Rates of the counters' totals over `seconds`, last seen as of `nowUs`; sorted by universe,
// then sender.
std::vector<InputTotal> WholeRunInput(const std::vector<InputCounters>& counters, double seconds,
                                      int64_t nowUs);

// A column heading, then one line per row, each ending in a new line; at most `maxRows` rows
// and then a line that counts the rest. A recorded pair is marked '*', a stale one's level
// reads "stale".
std::string InputTable(const std::vector<InputRow>& rows, size_t maxRows = SIZE_MAX);

// Every pair of `totals`; `overflowed` packets of pairs beyond the monitor's capacity say the
// document is not complete.
std::string InputJson(const std::string& interface, double seconds,
                      const std::vector<InputTotal>& totals, uint64_t overflowed = 0);

// The 512 channels of `grid`, 16 to a line with the first channel's number before them. With
// `highlight`, channels whose value differs from `before` are shown in reverse video.
std::string ChannelGrid(const ChannelSnapshot& grid, const ChannelSnapshot& before, bool highlight);
std::string ChannelJson(const ChannelSnapshot& grid);

}  // namespace quorvex::cli
