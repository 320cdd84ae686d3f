#include "analysis/frame_layout.h"

#include <algorithm>

#include "platform/text_format.h"
#include "platform/texts.h"

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

namespace quorvex {

namespace {

// "0-3,5,8-9"
std::string RangesText(const std::vector<int>& sorted) {
    std::string text;
    for (size_t i = 0; i < sorted.size();) {
        size_t j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1) ++j;
        if (!text.empty()) text += ",";
        text += j == i ? Format("%d", sorted[i]) : Format("%d-%d", sorted[i], sorted[j]);
        i = j + 1;
    }
    return text;
}

}  // namespace

std::vector<std::string> LayoutInUseLines(const UniverseTable& table, const PortLayout& layout,
                                          int perPort) {
    // Enough to check a show; a layout of thousands of ports is summed up.
    constexpr int kPortsListed = 64;
    std::vector<std::string> lines;
    lines.push_back(
        Format(Tr("Layout in use: %d universes per port, %d ports, %u bytes per frame."), perPort,
               layout.portCount, layout.frameLength));
    std::vector<std::vector<int>> universes(static_cast<size_t>(layout.portCount));
    for (const UniverseSlot& s : table) {
        if (s.length && perPort > 0 && s.universe / perPort < layout.portCount) {
            universes[static_cast<size_t>(s.universe / perPort)].push_back(s.universe);
        }
    }
    for (int p = 0; p < layout.portCount && p < kPortsListed; ++p) {
        const auto& list = universes[static_cast<size_t>(p)];
        lines.push_back(Format(Tr("Port %d: universes %s, %u bytes."), p + 1,
                               list.empty() ? Tr("none") : RangesText(list).c_str(),
                               static_cast<unsigned>(layout.portLengths[static_cast<size_t>(p)])));
    }
    if (layout.portCount > kPortsListed) {
        lines.push_back(Format(Tr("... and %d more ports."), layout.portCount - kPortsListed));
    }
    return lines;
}

}  // namespace quorvex
