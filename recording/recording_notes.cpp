#include "recording/recording_notes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "analysis/input_monitor.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "platform/unique_fd.h"
#include "recording/rgb_file.h"
#include "recording/rgb_format.h"

namespace quorvex {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int32_t kMaxUniverse = 0x7FFF;
constexpr uint16_t kMaxDmxLength = 512;
// Far more than the 32768 universes notes can list: anything larger is not notes.
constexpr off_t kMaxNotesBytes = 16 << 20;

std::string Errno() { return std::strerror(errno); }

double Finite(double v) { return std::isfinite(v) ? v : 0; }

// Reads `key` of `j` as a whole number in [lo, hi].
Result<int64_t> Whole(const json& j, const char* key, int64_t lo, int64_t hi) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number_integer()) {
        return Fail(Format(Tr("\"%s\" is missing or not a whole number"), key));
    }
    const auto v = it->get<int64_t>();
    if (it->is_number_unsigned() ? it->get<uint64_t>() > static_cast<uint64_t>(hi)
                                 : v < lo || v > hi) {
        return Fail(Format(Tr("\"%s\" must be from %lld to %lld"), key, static_cast<long long>(lo),
                           static_cast<long long>(hi)));
    }
    return v;
}

Result<double> Number(const json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number() || it->get<double>() < 0) {
        return Fail(Format(Tr("\"%s\" is missing or not a number of at least 0"), key));
    }
    return it->get<double>();
}

Result<std::string> Text(const json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_string())
        return Fail(Format(Tr("\"%s\" is missing or not text"), key));
    return it->get<std::string>();
}

Result<bool> Flag(const json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_boolean()) {
        return Fail(Format(Tr("\"%s\" is missing or not true/false"), key));
    }
    return it->get<bool>();
}

Result<std::vector<NotesUniverse>> Universes(const json& j) {
    const auto it = j.find("universes");
    if (it == j.end() || !it->is_array()) return Fail(Tr("\"universes\" is missing or not a list"));
    std::vector<NotesUniverse> out;
    for (const json& u : *it) {
        if (!u.is_object()) return Fail(Tr("an entry of \"universes\" is not an object"));
        const auto number = Whole(u, "universe", 0, kMaxUniverse);
        const auto length = Whole(u, "length", 0, kMaxDmxLength);
        const auto source = Text(u, "source");
        if (!number) return Fail("universes: " + number.error());
        if (!length) return Fail("universes: " + length.error());
        if (!source) return Fail("universes: " + source.error());
        // The frame is laid out in this order, so it must be the recorder's order.
        if (!out.empty() && *number <= out.back().universe) {
            return Fail(Tr("\"universes\" must be in ascending order without repeats"));
        }
        // Notes from before the universe selection have no port: it follows from the number.
        int port = 0;
        if (u.contains("port")) {
            const auto given = Whole(u, "port", 1, kMaxRgbPorts);
            if (!given) return Fail("universes: " + given.error());
            port = static_cast<int>(*given);
        }
        NotesUniverse entry{static_cast<int32_t>(*number), static_cast<uint16_t>(*length), *source,
                            port};
        if (const auto name = Text(u, "sourceName")) entry.sourceName = *name;
        if (const auto cid = Text(u, "cid")) entry.cid = *cid;
        out.push_back(std::move(entry));
    }
    return out;
}

Result<RecordingNotes::Check> CheckOf(const json& j) {
    const auto it = j.find("check");
    if (it == j.end() || !it->is_object()) return Fail(Tr("\"check\" is missing or not an object"));
    const json& c = *it;
    const auto written = Whole(c, "framesWritten", 0, UINT32_MAX);
    const auto seconds = Number(c, "seconds");
    const auto missing = Whole(c, "missingUpstream", 0, UINT32_MAX);
    const auto incomplete = Whole(c, "incompleteFrames", 0, UINT32_MAX);
    const auto fromFile = Flag(c, "fromFile");
    for (const std::string* e : {&written.error(), &seconds.error(), &missing.error(),
                                 &incomplete.error(), &fromFile.error()}) {
        if (!e->empty()) return Fail("check: " + *e);
    }
    RecordingNotes::Check out;
    out.framesWritten = static_cast<uint32_t>(*written);
    out.seconds = *seconds;
    out.missingUpstream = static_cast<uint32_t>(*missing);
    out.incompleteFrames = static_cast<uint32_t>(*incomplete);
    out.fromFile = *fromFile;
    // Figures newer notes add; older notes lack them.
    auto optional = [&](const char* key, auto& into, int64_t hi) -> Status {
        if (!c.contains(key)) return {};
        const auto v = Whole(c, key, 0, hi);
        if (!v) return Fail("check: " + v.error());
        into = static_cast<std::remove_reference_t<decltype(into)>>(*v);
        return {};
    };
    for (const Status& st : {optional("lostLocally", out.lostLocally, UINT32_MAX),
                             optional("senderRestarts", out.senderRestarts, UINT32_MAX),
                             optional("universesNotFound", out.universesNotFound, UINT32_MAX),
                             optional("sourceChanges", out.sourceChanges, UINT32_MAX),
                             optional("malformedPackets", out.malformedPackets, INT64_MAX)}) {
        if (!st) return Fail(st.error());
    }
    if (c.contains("senderAwaySeconds")) {
        const auto away = Number(c, "senderAwaySeconds");
        if (!away) return Fail("check: " + away.error());
        out.senderAwaySeconds = *away;
    }
    const auto dropped = c.find("kernelDropped");
    if (dropped == c.end()) return Fail(Tr("check: \"kernelDropped\" is missing"));
    if (!dropped->is_null()) {
        const auto n = Whole(c, "kernelDropped", 0, UINT32_MAX);
        if (!n) return Fail(Format(Tr("check: %s (or null when unknown)"), n.error().c_str()));
        out.kernelDropped = static_cast<uint32_t>(*n);
    }
    return out;
}

}  // namespace

std::string IsoUtcText(std::chrono::system_clock::time_point time) {
    const time_t t = std::chrono::system_clock::to_time_t(time);
    tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

RecordingNotes NotesFor(const UniverseTable& table, const PortLayout& layout, int universesPerPort,
                        const UniverseSelection& selection, const std::string& icType, bool rgbw,
                        std::chrono::system_clock::time_point start,
                        const RecordingSummary& summary, const Framing& framing,
                        const SourceDirectory* sources) {
    RecordingNotes n;
    for (const UniverseSlot& s : table) {
        if (s.length == 0) continue;
        NotesUniverse u{s.universe, s.length, Ipv4Text(s.source),
                        PortOf(selection, universesPerPort, s.universe) + 1};
        if (const auto sacn = sources ? sources->Find(SenderOf(s)) : std::nullopt) {
            u.sourceName = sacn->name;
            u.cid = CidText(sacn->cid);
        }
        n.universes.push_back(std::move(u));
    }
    if (!n.universes.empty()) {
        n.protocol = ProtocolName(framing.protocol);
        n.framing = FramingName(framing);
        n.framingReliable = framing.reliable;
    }
    n.universesPerPort = universesPerPort;
    n.ports = layout.portCount;
    n.firstUniverse = selection.list.empty() ? selection.first : 0;
    n.selectedUniverses = UniverseRangesText(selection.list);
    n.icType = icType;
    n.rgbw = rgbw;
    n.framesPerSecond = summary.seconds > 0 ? summary.framesWritten / summary.seconds : 0;
    n.startTime = IsoUtcText(start);
    n.check.framesWritten = summary.framesWritten;
    n.check.seconds = summary.seconds;
    n.check.missingUpstream = summary.missingUpstream;
    n.check.incompleteFrames = summary.incompleteFrames;
    if (summary.haveKernelStats && !summary.fromFile) n.check.kernelDropped = summary.kernelDropped;
    n.check.fromFile = summary.fromFile;
    n.check.lostLocally = summary.lostLocally;
    n.check.senderAwaySeconds = summary.awaySeconds;
    n.check.senderRestarts = summary.senderRestarts;
    n.check.universesNotFound = summary.universesNotFound;
    n.check.sourceChanges = summary.sourceChanges;
    n.check.malformedPackets = summary.malformedPackets;
    return n;
}

std::string NotesJson(const RecordingNotes& n) {
    json universes = json::array();
    for (const NotesUniverse& u : n.universes) {
        json entry = {{"universe", u.universe},
                      {"length", u.length},
                      {"source", u.source},
                      {"port", NotedPort(n, u)}};
        if (!u.sourceName.empty()) entry["sourceName"] = u.sourceName;
        if (!u.cid.empty()) entry["cid"] = u.cid;
        universes.push_back(std::move(entry));
    }
    json check = {{"framesWritten", n.check.framesWritten},
                  {"seconds", Finite(n.check.seconds)},
                  {"missingUpstream", n.check.missingUpstream},
                  {"incompleteFrames", n.check.incompleteFrames},
                  {"kernelDropped", nullptr},
                  {"fromFile", n.check.fromFile},
                  {"lostLocally", n.check.lostLocally},
                  {"senderAwaySeconds", Finite(n.check.senderAwaySeconds)},
                  {"senderRestarts", n.check.senderRestarts},
                  {"universesNotFound", n.check.universesNotFound},
                  {"sourceChanges", n.check.sourceChanges},
                  {"malformedPackets", n.check.malformedPackets}};
    if (n.check.kernelDropped) check["kernelDropped"] = *n.check.kernelDropped;
    json j = {{"universes", std::move(universes)},
              {"universesPerPort", n.universesPerPort},
              {"ports", n.ports},
              {"firstUniverse", n.firstUniverse},
              {"selectedUniverses",
               n.selectedUniverses.empty() ? json(nullptr) : json(n.selectedUniverses)},
              {"icType", n.icType},
              {"rgbw", n.rgbw},
              {"framesPerSecond", Finite(n.framesPerSecond)},
              {"startTime", n.startTime},
              {"check", std::move(check)}};
    if (!n.protocol.empty()) j["protocol"] = n.protocol;
    if (!n.framing.empty()) {
        j["framing"] = n.framing;
        j["framingReliable"] = n.framingReliable;
    }
    // Text that is not UTF-8 (a sender's name one day) must not make the notes unwritable.
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

Result<RecordingNotes> ParseNotesJson(const std::string& text) {
    const json j = json::parse(text, nullptr, false);
    if (j.is_discarded()) return Fail(Tr("not valid JSON"));
    if (!j.is_object()) return Fail(Tr("not recording notes: a JSON object is expected"));
    RecordingNotes n;
    const auto universes = Universes(j);
    const auto perPort = Whole(j, "universesPerPort", 1, 8);
    const auto ports = Whole(j, "ports", 0, kMaxRgbPorts);
    const auto icType = Text(j, "icType");
    const auto rgbw = Flag(j, "rgbw");
    const auto fps = Number(j, "framesPerSecond");
    const auto start = Text(j, "startTime");
    const auto check = CheckOf(j);
    for (const std::string* e :
         {&universes.error(), &perPort.error(), &ports.error(), &icType.error(), &rgbw.error(),
          &fps.error(), &start.error(), &check.error()}) {
        if (!e->empty()) return Fail(Format(Tr("not recording notes: %s"), e->c_str()));
    }
    n.universes = *universes;
    n.universesPerPort = static_cast<int>(*perPort);
    if (j.contains("firstUniverse")) {
        const auto first = Whole(j, "firstUniverse", 0, kMaxUniverse);
        if (!first) return Fail(Format(Tr("not recording notes: %s"), first.error().c_str()));
        n.firstUniverse = static_cast<int>(*first);
    }
    if (const auto it = j.find("selectedUniverses"); it != j.end() && !it->is_null()) {
        std::string error;
        if (!it->is_string() || !ParseUniverseList(it->get<std::string>(), &error)) {
            return Fail(Format(Tr("not recording notes: %s"),
                               Tr("\"selectedUniverses\" is not a list of universes")));
        }
        n.selectedUniverses = it->get<std::string>();
    }
    n.ports = static_cast<int>(*ports);
    n.icType = *icType;
    n.rgbw = *rgbw;
    n.framesPerSecond = *fps;
    n.startTime = *start;
    n.check = *check;
    if (const auto protocol = Text(j, "protocol")) n.protocol = *protocol;
    if (const auto framing = Text(j, "framing")) n.framing = *framing;
    if (const auto reliable = Flag(j, "framingReliable")) n.framingReliable = *reliable;
    return n;
}

Status ReplaceFileDurably(const std::string& path, const std::string& bytes) {
    static std::atomic<unsigned> counter{0};
    const fs::path target(path);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = (folder / Format(".%s.%d-%u.tmp", target.filename().c_str(), ::getpid(),
                                counter.fetch_add(1)))
                   .string();
        // Fresh, never through a link: nobody can make us write into someone else's file.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return Fail(temp + ": " + Errno());
    }
    if (fd < 0) return Fail(Format(Tr("cannot create a temporary file beside %s"), path.c_str()));
    std::string error;
    {
        UniqueFd held(fd);
        for (size_t done = 0; done < bytes.size() && error.empty();) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n < 0 ? Errno() : Tr("the file takes no more data");
            } else {
                done += static_cast<size_t>(n);
            }
        }
        // On the medium before the name points at it.
        if (error.empty() && ::fsync(fd) != 0) error = Errno();
    }
    if (error.empty()) {
        if (const Status moved = MoveFile(temp, path); !moved) error = moved.error();
    }
    if (!error.empty()) {
        ::unlink(temp.c_str());
        return Fail(Format(Tr("cannot write %s: %s"), path.c_str(), error.c_str()));
    }
    return {};
}

Status WriteNotes(const std::string& rgbPath, const RecordingNotes& notes) {
    return ReplaceFileDurably(NotesPath(rgbPath), NotesJson(notes));
}

Result<std::optional<RecordingNotes>> ReadNotes(const std::string& rgbPath) {
    const std::string path = NotesPath(rgbPath);
    // Non-blocking: a FIFO in its place must not hang the reader.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.ok()) {
        if (errno == ENOENT) return std::optional<RecordingNotes>();
        return Fail(path + ": " + Errno());
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return Fail(path + ": " + Errno());
    if (!S_ISREG(st.st_mode)) return Fail(Format(Tr("%s is not a regular file"), path.c_str()));
    if (st.st_size > kMaxNotesBytes) {
        return Fail(Format(Tr("%s is too large for recording notes"), path.c_str()));
    }
    std::string text(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Fail(path + ": " + Errno());
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    text.resize(done);
    auto parsed = ParseNotesJson(text);
    if (!parsed) return Fail(path + ": " + parsed.error());
    return std::optional<RecordingNotes>(std::move(*parsed));
}

Status MoveNotes(const std::string& fromRgb, const std::string& toRgb) {
    const std::string from = NotesPath(fromRgb);
    const std::string to = NotesPath(toRgb);
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        if (errno != ENOENT) return Fail(from + ": " + Errno());
        if (::lstat(to.c_str(), &st) != 0) return {};
        if (::unlink(to.c_str()) != 0) {
            return Fail(Format(Tr("cannot remove %s: %s"), to.c_str(), Errno().c_str()));
        }
        return SyncFolderOf(to);
    }
    std::error_code ec;
    if (from == to || fs::equivalent(from, to, ec)) return {};
    if (const Status moved = MoveFile(from, to); !moved) {
        return Fail(Format(Tr("cannot move %s to %s: %s"), from.c_str(), to.c_str(),
                           moved.error().c_str()));
    }
    return {};
}

}  // namespace quorvex
