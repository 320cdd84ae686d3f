#include "analysis/frame_layout.h"

#include <algorithm>

namespace quorvex {

PortLayout ComputeFrameLayout(UniverseTable& table, int perPort) {
    std::sort(table.begin(), table.end(),
              [](const UniverseSlot& a, const UniverseSlot& b) { return a.universe < b.universe; });

    uint32_t sum = 0;
    int32_t highest = 0;
    for (UniverseSlot& s : table) {
        s.offset = sum;
        sum += s.length;
        highest = std::max(highest, s.universe);
    }

    PortLayout layout;
    const int32_t n = highest + 1;
    layout.portCount = n / perPort + (n % perPort ? 1 : 0);
    layout.portLengths.assign(static_cast<size_t>(layout.portCount), 0);
    for (const UniverseSlot& s : table) {
        uint16_t& port = layout.portLengths[static_cast<size_t>(s.universe / perPort)];
        port = static_cast<uint16_t>(port + s.length);
        layout.frameLength += s.length;
    }

    // Dense: fill the gaps with empty slots so universe k sits at index k.
    const UniverseTable sorted = table;
    table.clear();
    for (const UniverseSlot& s : sorted) {
        while (static_cast<int32_t>(table.size()) < s.universe) {
            table.push_back(UniverseSlot{static_cast<int32_t>(table.size()), 0, 0});
        }
        table.push_back(s);
    }
    return layout;
}

}  // namespace quorvex
