#pragma once
// The monitor's view of the live input: a table for people, one JSON document for scripts.

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
// and then a line that counts the rest.
std::string InputTable(const std::vector<InputRow>& rows, size_t maxRows = SIZE_MAX);

std::string InputJson(const std::string& interface, double seconds,
                      const std::vector<InputTotal>& totals);

}  // namespace quorvex::cli
