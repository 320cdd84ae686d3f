#pragma once
// Turns the surveyed universes into the frame layout of a recording: ascending universe
// order, byte offsets, controller ports of U consecutive universes, and a dense table in
// which slot k describes universe k. Which universes are taken, and which one begins port 1,
// is the user's universe selection.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/universe_table.h"

namespace quorvex {

struct PortLayout {
    int32_t portCount = 0;
    std::vector<uint16_t> portLengths;  // bytes per port in one frame
    uint32_t frameLength = 0;           // bytes in one frame
};

// The universes a recording takes, in the order they fill the ports: every universe from
// `first` on, or the universes of `list`. Port 1 begins with the first universe taken, and
// each port holds the next U of them, whether the show sends them or not.
struct UniverseSelection {
    int32_t first = 0;
    std::vector<int> list;  // ascending, without repeats; empty: every universe from `first`
    bool operator==(const UniverseSelection&) const = default;

    bool TakesAll() const { return first == 0 && list.empty(); }
    // Where `universe` falls in the run of universes taken, the first being 0; -1 when it is
    // not taken.
    int32_t PlaceOf(int32_t universe) const;
    // "100-102,200" for a list, "100-" from a first universe, "0-" for all.
    std::string Text() const;
};

// "0-5,8,10": ascending and without repeats, each 0..`maxUniverse`. Nothing, with the reason
// in `error`, for anything else.
std::optional<std::vector<int>> ParseUniverseList(const std::string& text, std::string* error,
                                                  int maxUniverse = 0x7FFF);
// "0-3,5,8-9" for ascending numbers.
std::string UniverseRangesText(const std::vector<int>& sorted);

// Reshapes `table` in place and returns the ports for `perPort` (1..8): universes the
// selection does not take are dropped (their numbers, ascending, go to `leftOut`), the rest
// sorted, given offsets and made dense. The layout has no port when nothing is left.
PortLayout ComputeFrameLayout(UniverseTable& table, int perPort,
                              const UniverseSelection& selection = {},
                              std::vector<int>* leftOut = nullptr);
// The port (from 0) a universe of the selection fills, or -1.
inline int32_t PortOf(const UniverseSelection& selection, int perPort, int32_t universe) {
    const int32_t place = selection.PlaceOf(universe);
    return place < 0 || perPort < 1 ? -1 : place / perPort;
}
// Ports the universes of `table` that `selection` takes need at `perPort`.
int32_t PortsNeeded(const UniverseTable& table, int perPort, const UniverseSelection& selection);

// The log lines of the layout a recording uses: universes per port, then each port with its
// universes and bytes. `table` as ComputeFrameLayout left it, `leftOut` as it told.
// `controllerPorts`: the outputs of the user's controller, 0 when not given.
std::vector<std::string> LayoutInUseLines(const UniverseTable& table, const PortLayout& layout,
                                          int perPort, const UniverseSelection& selection = {},
                                          const std::vector<int>& leftOut = {},
                                          int controllerPorts = 0);
// What the selection means for the universes found, and what the ports will not fit: the
// first universe or the list, universes found but left out, leading ports that carry nothing,
// more ports than the controller has. Nothing for a layout without surprises.
std::vector<std::string> SelectionReportLines(const UniverseTable& found, int perPort,
                                              const UniverseSelection& selection,
                                              int controllerPorts);

}  // namespace quorvex
