#include "cli/input_view.h"

#include <algorithm>
#include <tuple>

#include "cli/rgb_check.h"
#include "platform/printable_text.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex::cli {

namespace {

uint32_t AddressOf(const InputRow& r) { return r.origin.address ? r.origin.address : r.source; }

// At most `columns` characters of `text`, never cutting one in two.
std::string FirstColumns(const std::string& text, size_t columns) {
    size_t at = 0;
    for (size_t n = 0; at < text.size() && n < columns; ++n) {
        at += std::max<size_t>(1, Utf8SequenceLength(text, at));
    }
    return text.substr(0, std::min(at, text.size()));
}

}  // namespace

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
        t.row.stale = t.row.secondsSinceSeen > kStaleAfterSeconds;
        t.row.length = c.length;
        t.row.level = c.level;
        t.row.origin = c.origin;
        out.push_back(t);
    }
    std::sort(out.begin(), out.end(), [](const InputTotal& a, const InputTotal& b) {
        return std::tie(a.row.universe, a.row.source) < std::tie(b.row.universe, b.row.source);
    });
    return out;
}

std::string InputTable(const std::vector<InputRow>& rows, size_t maxRows) {
    std::string out =
        Tr(" Universe  Protocol  Sent   Source           Name              Priority  Packets/s  "
           "Frames/s  Last seen  Level  CID\n");
    const size_t shown = std::min(rows.size(), maxRows);
    for (size_t i = 0; i < shown; ++i) {
        const InputRow& r = rows[i];
        const bool sacn = r.origin.protocol == Protocol::Sacn;
        const std::string name = FirstColumns(Printable(r.name), 16);
        // Pad by characters, not bytes: a name may be Chinese.
        size_t width = 0;
        for (size_t at = 0; at < name.size(); ++width) {
            at += std::max<size_t>(1, Utf8SequenceLength(name, at));
        }
        out += Format("%c%8d  %-8s  %5s  %-15s  %s%s  %8s  %9.1f  %8.1f  %7.1f s  %5s  %s\n",
                      r.recorded ? '*' : ' ', r.universe, ProtocolName(r.origin.protocol),
                      sacn ? std::to_string(r.origin.sentUniverse).c_str() : "",
                      Ipv4Text(AddressOf(r)).c_str(), name.c_str(),
                      std::string(16 - std::min<size_t>(width, 16), ' ').c_str(),
                      sacn ? std::to_string(r.origin.priority).c_str() : "", r.packetsPerSecond,
                      r.framesPerSecond, r.secondsSinceSeen,
                      r.stale ? Tr("stale") : std::to_string(r.level).c_str(), r.cid.c_str());
    }
    if (shown < rows.size()) out += Format(Tr("... and %zu more\n"), rows.size() - shown);
    return out;
}

std::string InputJson(const std::string& interface, double seconds,
                      const std::vector<InputTotal>& totals, uint64_t overflowed) {
    std::string out = "{\"interface\":" + JsonString(interface) +
                      Format(",\"seconds\":%.3f,\"pairs\":%zu,\"complete\":%s", seconds,
                             totals.size(), overflowed ? "false" : "true");
    if (overflowed) {
        out += Format(
            ",\"cut\":{\"reason\":\"more universe and sender pairs than the monitor "
            "follows\",\"capacity\":%u,\"packetsNotFollowed\":%llu}",
            InputMonitor::kCapacity, static_cast<unsigned long long>(overflowed));
    }
    out += ",\"universes\":[";
    for (size_t i = 0; i < totals.size(); ++i) {
        const InputRow& r = totals[i].row;
        const bool sacn = r.origin.protocol == Protocol::Sacn;
        out += Format("%s{\"universe\":%d,\"protocol\":\"%s\",", i ? "," : "", r.universe,
                      ProtocolName(r.origin.protocol));
        if (sacn) out += Format("\"sentUniverse\":%u,", unsigned{r.origin.sentUniverse});
        out += "\"source\":\"" + Ipv4Text(AddressOf(r)) + "\"";
        if (!r.name.empty()) out += ",\"name\":" + JsonString(r.name);
        if (sacn) {
            if (!r.cid.empty()) out += ",\"cid\":\"" + r.cid + "\"";
            out += Format(",\"priority\":%u", unsigned{r.origin.priority});
        }
        out += Format(
            ",\"recorded\":%s,\"packets\":%llu,\"packetsPerSecond\":%.2f,"
            "\"framesPerSecond\":%.2f,\"lastSeenSecondsAgo\":%.3f,\"stale\":%s,\"length\":%u,"
            "\"level\":%u}",
            r.recorded ? "true" : "false", static_cast<unsigned long long>(totals[i].packets),
            r.packetsPerSecond, r.framesPerSecond, r.secondsSinceSeen, r.stale ? "true" : "false",
            static_cast<unsigned>(r.length), static_cast<unsigned>(r.level));
    }
    return out + "]}";
}

std::string ChannelGrid(const ChannelSnapshot& grid, const ChannelSnapshot& before,
                        bool highlight) {
    std::string out;
    const bool compare = highlight && before.universe == grid.universe;
    for (int line = 0; line < 32; ++line) {
        out += Format("%3d ", line * 16 + 1);
        for (int c = line * 16; c < line * 16 + 16; ++c) {
            const bool changed = compare && grid.values[c] != before.values[c];
            out += changed ? Format(" \x1b[7m%3u\x1b[0m", unsigned{grid.values[c]})
                           : Format(" %3u", unsigned{grid.values[c]});
        }
        out += "\n";
    }
    return out;
}

std::string ChannelJson(const ChannelSnapshot& grid) {
    std::string out = Format("{\"universe\":%d,\"length\":%u,\"channels\":[", grid.universe,
                             unsigned{grid.length});
    for (size_t c = 0; c < grid.values.size(); ++c) {
        out += Format("%s%u", c ? "," : "", unsigned{grid.values[c]});
    }
    return out + "]}";
}

}  // namespace quorvex::cli
