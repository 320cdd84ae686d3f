#include "analysis/frame_layout.h"

#include <algorithm>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {

std::optional<int> ParseNumber(const std::string& text, int max) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int v = std::stoi(text);
    if (v > max) return std::nullopt;
    return v;
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// The universes of `table` that bring data, ascending, without repeats.
std::vector<int> UniversesWithData(const UniverseTable& table) {
    std::vector<int> out;
    for (const UniverseSlot& s : table) {
        if (s.length) out.push_back(s.universe);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// What the selection means for the universes taken (ascending) and left out, and what the
// ports will not fit.
std::vector<std::string> SelectionNotes(const std::vector<int>& taken,
                                        const std::vector<int>& leftOut, int perPort,
                                        const UniverseSelection& selection, int ports,
                                        int controllerPorts) {
    std::vector<std::string> lines;
    if (!selection.list.empty()) {
        lines.push_back(Format(Tr("Universes recorded, in port order: %s."),
                               UniverseRangesText(selection.list).c_str()));
    } else if (selection.first > 0) {
        lines.push_back(Format(Tr("Port 1 begins at universe %d."), selection.first));
    }
    if (!leftOut.empty()) {
        lines.push_back(Format(Tr("Not recorded, as they are outside the universes chosen: "
                                  "universes %s."),
                               UniverseRangesText(leftOut).c_str()));
    }
    if (!taken.empty() && perPort > 0) {
        const int lowest = taken.front();
        const int empty = selection.PlaceOf(lowest) / perPort;
        if (empty == 1) {
            lines.push_back(Format(Tr("Port 1 carries no universe, as the lowest universe "
                                      "recorded is %d: choose %d as the first universe so that "
                                      "port 1 begins with it."),
                                   lowest, lowest));
        } else if (empty > 1) {
            lines.push_back(Format(Tr("Ports 1 to %d carry no universe, as the lowest universe "
                                      "recorded is %d: choose %d as the first universe so that "
                                      "port 1 begins with it."),
                                   empty, lowest, lowest));
        }
    }
    if (controllerPorts > 0 && ports > controllerPorts) {
        lines.push_back(Format(Tr("The recording needs %d ports, more than the %d of the "
                                  "controller."),
                               ports, controllerPorts));
    }
    return lines;
}

}  // namespace

int32_t UniverseSelection::PlaceOf(int32_t universe) const {
    if (list.empty()) return universe >= first ? universe - first : -1;
    const auto it = std::lower_bound(list.begin(), list.end(), universe);
    return it != list.end() && *it == universe ? static_cast<int32_t>(it - list.begin()) : -1;
}

std::string UniverseSelection::Text() const {
    return list.empty() ? Format("%d-", first) : UniverseRangesText(list);
}

std::optional<std::vector<int>> ParseUniverseList(const std::string& text, std::string* error,
                                                  int maxUniverse) {
    std::vector<int> out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = Trim(text.substr(start, comma - start));
        const size_t dash = item.find('-');
        const auto first = ParseNumber(item.substr(0, dash), maxUniverse);
        const auto last =
            dash == std::string::npos ? first : ParseNumber(item.substr(dash + 1), maxUniverse);
        if (!first || !last || *last < *first) {
            if (error) {
                *error = Format(Tr("\"%s\" is not a universe (0..%d) or a range like 0-5"),
                                item.c_str(), maxUniverse);
            }
            return std::nullopt;
        }
        for (int u = *first; u <= *last; ++u) out.push_back(u);
        start = comma + 1;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::string UniverseRangesText(const std::vector<int>& sorted) {
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

PortLayout ComputeFrameLayout(UniverseTable& table, int perPort, const UniverseSelection& selection,
                              std::vector<int>* leftOut) {
    std::sort(table.begin(), table.end(),
              [](const UniverseSlot& a, const UniverseSlot& b) { return a.universe < b.universe; });
    std::vector<int> dropped;
    std::erase_if(table, [&](const UniverseSlot& s) {
        if (selection.PlaceOf(s.universe) >= 0) return false;
        if (s.length && (dropped.empty() || dropped.back() != s.universe)) {
            dropped.push_back(s.universe);
        }
        return true;
    });
    if (leftOut) *leftOut = std::move(dropped);

    uint32_t sum = 0;
    int32_t highest = -1;  // the place of the highest universe taken
    for (UniverseSlot& s : table) {
        s.offset = sum;
        sum += s.length;
        highest = std::max(highest, selection.PlaceOf(s.universe));
    }

    PortLayout layout;
    const int32_t n = highest + 1;
    layout.portCount = n / perPort + (n % perPort ? 1 : 0);
    layout.portLengths.assign(static_cast<size_t>(layout.portCount), 0);
    for (const UniverseSlot& s : table) {
        uint16_t& port =
            layout.portLengths[static_cast<size_t>(PortOf(selection, perPort, s.universe))];
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

int32_t PortsNeeded(const UniverseTable& table, int perPort, const UniverseSelection& selection) {
    if (perPort < 1) return 0;
    int32_t highest = -1;
    for (const UniverseSlot& s : table) {
        if (s.length) highest = std::max(highest, selection.PlaceOf(s.universe));
    }
    const int32_t n = highest + 1;
    return n / perPort + (n % perPort ? 1 : 0);
}

std::vector<std::string> LayoutInUseLines(const UniverseTable& table, const PortLayout& layout,
                                          int perPort, const UniverseSelection& selection,
                                          const std::vector<int>& leftOut, int controllerPorts) {
    // Enough to check a show; a layout of thousands of ports is summed up.
    constexpr int kPortsListed = 64;
    std::vector<std::string> lines;
    lines.push_back(
        Format(Tr("Layout in use: %d universes per port, %d ports, %u bytes per frame."), perPort,
               layout.portCount, layout.frameLength));
    for (std::string& line : SelectionNotes(UniversesWithData(table), leftOut, perPort, selection,
                                            layout.portCount, controllerPorts)) {
        lines.push_back(std::move(line));
    }
    std::vector<std::vector<int>> universes(static_cast<size_t>(layout.portCount));
    for (const UniverseSlot& s : table) {
        const int32_t port = PortOf(selection, perPort, s.universe);
        if (s.length && port >= 0 && port < layout.portCount) {
            universes[static_cast<size_t>(port)].push_back(s.universe);
        }
    }
    for (int p = 0; p < layout.portCount && p < kPortsListed; ++p) {
        const auto& list = universes[static_cast<size_t>(p)];
        lines.push_back(Format(Tr("Port %d: universes %s, %u bytes."), p + 1,
                               list.empty() ? Tr("none") : UniverseRangesText(list).c_str(),
                               static_cast<unsigned>(layout.portLengths[static_cast<size_t>(p)])));
    }
    if (layout.portCount > kPortsListed) {
        lines.push_back(Format(Tr("... and %d more ports."), layout.portCount - kPortsListed));
    }
    return lines;
}

std::vector<std::string> SelectionReportLines(const UniverseTable& found, int perPort,
                                              const UniverseSelection& selection,
                                              int controllerPorts) {
    std::vector<int> taken;
    std::vector<int> leftOut;
    for (const int u : UniversesWithData(found)) {
        (selection.PlaceOf(u) >= 0 ? taken : leftOut).push_back(u);
    }
    return SelectionNotes(taken, leftOut, perPort, selection,
                          PortsNeeded(found, perPort, selection), controllerPorts);
}

}  // namespace quorvex
