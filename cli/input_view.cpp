#include "cli/input_view.h"

#include <algorithm>
#include <tuple>

#include "cli/rgb_check.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex::cli {

std::vector<InputTotal> WholeRunInput(const std::vector<InputCounters>& counters, double seconds,
                                      int64_t nowUs) {
    std::vector<InputTotal> out;
    out.reserve(counters.size());
    for (const InputCounters& c : counters) {
        InputTotal t;
        t.packets = c.packets;
        t.row.universe = c.universe;
        t.row.source = c.source;
        if (seconds > 0) {
            t.row.packetsPerSecond = static_cast<double>(c.packets) / seconds;
            t.row.framesPerSecond = static_cast<double>(c.frames) / seconds;
        }
        // Capture times and the wall clock may disagree by a little: never "seen in the future".
        t.row.secondsSinceSeen =
            std::max<double>(0, static_cast<double>(nowUs - c.lastSeenUs) / 1e6);
        t.row.length = c.length;
        t.row.level = c.level;
        out.push_back(t);
    }
    std::sort(out.begin(), out.end(), [](const InputTotal& a, const InputTotal& b) {
        return std::tie(a.row.universe, a.row.source) < std::tie(b.row.universe, b.row.source);
    });
    return out;
}

std::string InputTable(const std::vector<InputRow>& rows, size_t maxRows) {
    std::string out = Tr("Universe  Source           Packets/s  Frames/s  Last seen  Level\n");
    const size_t shown = std::min(rows.size(), maxRows);
    for (size_t i = 0; i < shown; ++i) {
        const InputRow& r = rows[i];
        out += Format("%8d  %-15s  %9.1f  %8.1f  %7.1f s  %5u\n", r.universe,
                      Ipv4Text(r.source).c_str(), r.packetsPerSecond, r.framesPerSecond,
                      r.secondsSinceSeen, static_cast<unsigned>(r.level));
    }
    if (shown < rows.size()) out += Format(Tr("... and %zu more\n"), rows.size() - shown);
    return out;
}

std::string InputJson(const std::string& interface, double seconds,
                      const std::vector<InputTotal>& totals) {
    std::string out = "{\"interface\":" + JsonString(interface) +
                      Format(",\"seconds\":%.3f,\"universes\":[", seconds);
    for (size_t i = 0; i < totals.size(); ++i) {
        const InputRow& r = totals[i].row;
        out += Format(
            "%s{\"universe\":%d,\"source\":\"%s\",\"packets\":%llu,\"packetsPerSecond\":%.2f,"
            "\"framesPerSecond\":%.2f,\"lastSeenSecondsAgo\":%.3f,\"length\":%u,\"level\":%u}",
            i ? "," : "", r.universe, Ipv4Text(r.source).c_str(),
            static_cast<unsigned long long>(totals[i].packets), r.packetsPerSecond,
            r.framesPerSecond, r.secondsSinceSeen, static_cast<unsigned>(r.length),
            static_cast<unsigned>(r.level));
    }
    return out + "]}";
}

}  // namespace quorvex::cli
