#include "cli/commands.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "capture/adapter_directory.h"
#include "capture/device_list.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/input_view.h"
#include "cli/interrupt.h"
#include "cli/progress_line.h"
#include "cli/rgb_check.h"
#include "cli/terminal_host.h"
#include "platform/capture_rights.h"
#include "platform/duration_text.h"
#include "platform/printable_text.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "platform/unique_fd.h"
#include "recording/recorder.h"
#include "recording/recording_notes.h"
#include "recording/rgb_file.h"
#include "recording/rgb_format.h"

namespace quorvex::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using json = nlohmann::ordered_json;

constexpr double kInterfaceSurveySeconds = 10;
constexpr auto kLoopWait = std::chrono::milliseconds(20);

std::string Errno() { return std::strerror(errno); }

// The capture library's view of each address: diagnostics, so they stay off stdout.
void PrintAddressLines(const std::vector<DeviceEntry>& devices) {
    for (const DeviceEntry& d : devices) {
        for (const std::string& line : d.addressLines) Print(stderr, line + "\n");
    }
    std::fflush(stderr);
}

// The universes found, ascending, without repeats.
UniverseTable Ascending(UniverseTable table) {
    std::stable_sort(table.begin(), table.end(), [](const UniverseSlot& a, const UniverseSlot& b) {
        return a.universe < b.universe;
    });
    return table;
}

// The survey report as JSON: the universes ascending with their senders (sACN sources by name,
// CID and priority) and the ports they fill (null for those the selection leaves out), how the
// recorded sender's frames are told apart, and the ports they make at `perPort` universes per
// port.
json SurveyJson(const UniverseTable& found, int perPort, const UniverseSelection& selection,
                const Framing& framing, const SourceDirectory& sources) {
    json universes = json::array();
    int highest = -1;
    for (const UniverseSlot& s : Ascending(found)) {
        const int32_t port = PortOf(selection, perPort, s.universe);
        json u = {{"universe", s.universe},
                  {"length", s.length},
                  {"source", Ipv4Text(s.source)},
                  {"port", port < 0 ? json(nullptr) : json(port + 1)}};
        if (const auto sacn = sources.Find(SenderOf(s))) {
            u["sourceName"] = sacn->name;
            u["cid"] = CidText(sacn->cid);
            u["priority"] = s.priority;
        }
        universes.push_back(std::move(u));
        highest = std::max(highest, s.universe);
    }
    UniverseTable table = found;
    const PortLayout layout = ComputeFrameLayout(table, perPort, selection);
    json offsets = json::object();
    for (const Framing::Universe& u : framing.universes) {
        if (u.offset != 0) offsets[std::to_string(u.universe)] = u.offset;
    }
    json how = {{"name", FramingName(framing)},
                {"sender", SourceText(sources, framing.sender)},
                {"everyFrame", framing.everyFrame},
                {"reliable", framing.reliable}};
    if (framing.mode == Framing::Mode::Counters && !framing.sharedCounter) how["offsets"] = offsets;
    if (framing.pauseUs > 0) how["pauseMs"] = static_cast<double>(framing.pauseUs) / 1000.0;
    return {{"protocol", ProtocolName(framing.protocol)},
            {"framing", std::move(how)},
            {"universes", std::move(universes)},
            {"highestUniverse", highest},
            {"firstUniverse", selection.list.empty() ? json(selection.first) : json(nullptr)},
            {"selectedUniverses",
             selection.list.empty() ? json(nullptr) : json(UniverseRangesText(selection.list))},
            {"universesPerPort", perPort},
            {"ports", layout.portCount},
            {"portLengths", layout.portLengths},
            {"frameLength", layout.frameLength}};
}

// One run of the recorder: the survey, and for `record` the recording after it.
class RecorderRun {
  public:
    RecorderRun(const RecorderOptions& o, bool record)
        : m_o(o),
          m_record(record),
          // With --json, stdout holds the document alone: the log goes to stderr.
          m_host(o.json ? stderr : stdout, stderr, record),
          m_recorder(m_host, RecorderOptionsFor(o, record)) {}

    int Run() {
        InstallInterruptHandlers();
        // The devices are listed as the window lists them; the source comes from the command
        // line, so no adapter is chosen by itself.
        m_recorder.ListAdapters();
        if (m_o.verbose) PrintAddressLines(m_recorder.Snapshot().adapters);
        RecordingSettings settings;
        settings.icTypeIndex = m_o.icTypeIndex;
        settings.universesPerPort = m_o.universesPerPort;
        settings.rgbw = m_o.rgbw;
        settings.frameBufferMb = static_cast<int>(m_o.bufferMb);
        settings.durationSeconds = m_o.durationSeconds;
        settings.start = m_o.start;
        settings.sacnOffset = m_o.sacnOffset;
        settings.joinMulticast = m_o.join || !m_o.joinUniverses.empty();
        settings.joinUniverses = m_o.joinUniverses;
        settings.selection = m_o.selection;
        settings.controllerPorts = m_o.controllerPorts;
        m_recorder.ApplySettings(settings);
        if (!OpenSource()) return kExitSource;
        // One source is all this run opens: the capture rights are not needed any more.
        (void)DropCaptureRights();
        // An alert from listing devices does not matter once the source is open.
        m_alertsBefore = m_host.AlertCount();
        m_writeFailuresBefore = m_host.WriteFailures();

        if (const int rc = Survey(); rc != kExitOk) return rc;
        if (!m_record) {
            if (m_o.json) {
                PrintSurveyJson();
            } else {
                PrintUniverses();
            }
            return kExitOk;
        }
        return Record();
    }

  private:
    static Recorder::Options RecorderOptionsFor(const RecorderOptions& o, bool record) {
        Recorder::Options r;
        // temp.RGB beside the output: the final move stays on one file system.
        if (record) r.recordingFolder = fs::absolute(o.output).parent_path().string();
        return r;
    }

    void PrintSurveyJson() const {
        json j = m_o.file.empty() ? json{{"interface", m_o.interface}} : json{{"file", m_o.file}};
        j.update(SurveyJson(m_host.SurveyTable(), m_o.universesPerPort, m_o.selection,
                            m_host.SurveyFraming(), m_recorder.Sources()));
        std::printf("%s\n",
                    j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        std::fflush(stdout);
    }

    // The universes found with their senders, and the ports they fill.
    void PrintUniverses() const {
        std::string text = Tr("Universes and senders:\n");
        for (const UniverseSlot& s : Ascending(m_host.SurveyTable())) {
            const int32_t port = PortOf(m_o.selection, m_o.universesPerPort, s.universe);
            const std::string from = Ipv4Text(s.source);
            text += port < 0 ? Format(Tr("  Universe %d: %u bytes from %s, not recorded\n"),
                                      s.universe, unsigned{s.length}, from.c_str())
                             : Format(Tr("  Universe %d: %u bytes from %s, port %d\n"), s.universe,
                                      unsigned{s.length}, from.c_str(), port + 1);
        }
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }

    // One text for an interface, another for a capture file, each naming it.
    std::string AboutSource(const char* interfaceText, const char* fileText) const {
        return m_o.file.empty() ? Format(interfaceText, m_o.interface.c_str())
                                : Format(fileText, m_o.file.c_str());
    }

    bool OpenSource() {
        const Status opened = m_o.file.empty() ? m_recorder.OpenInterface(m_o.interface)
                                               : m_recorder.OpenCaptureFile(m_o.file);
        if (opened) return true;
        Say(opened.error().empty() ? AboutSource(Tr("cannot open the interface %s"),
                                                 Tr("cannot open the capture file %s"))
                                   : opened.error());
        return false;
    }

    int Survey() {
        double timeout = m_o.timeoutSeconds;
        if (timeout < 0) timeout = m_o.file.empty() ? kInterfaceSurveySeconds : 0;
        m_recorder.Parse();
        if (Refused()) return kExitRefused;
        const char* name = m_o.file.empty() ? m_o.interface.c_str() : m_o.file.c_str();
        m_host.Status(
            "quorvex-cli: " +
            (timeout <= 0 ? AboutSource(Tr("surveying the interface %s"),
                                        Tr("surveying the capture file %s"))
             : m_o.file.empty()
                 ? Format(Tr("surveying the interface %s (time-out %g s)"), name, timeout)
                 : Format(Tr("surveying the capture file %s (time-out %g s)"), name, timeout)));
        const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(timeout));
        while (!m_host.Surveyed()) {
            m_host.Pump(m_recorder, kLoopWait);
            if (Interrupts().load()) {
                Say(Tr("interrupted during the survey; nothing recorded"));
                return kExitInterrupted;
            }
            if (timeout > 0 && Clock::now() >= deadline) {
                // On an interface, say what to try next.
                Say(m_o.file.empty()
                        ? Format(Tr("no whole Art-Net frame seen on the interface %s within %g "
                                    "s; check the cable and the adapter, run 'quorvex-cli "
                                    "devices' to list the adapters, or 'quorvex-cli monitor "
                                    "--interface %s' to watch what arrives"),
                                 name, timeout, name)
                        : Format(Tr("no whole Art-Net frame seen on the capture file %s within "
                                    "%g s"),
                                 name, timeout));
                return kExitNoData;
            }
        }
        if (Refused()) return kExitRefused;
        if (*m_host.Surveyed() == 0) {
            Say(AboutSource(Tr("no Art-Net universe found on the interface %s"),
                            Tr("no Art-Net universe found on the capture file %s")));
            return kExitNoData;
        }
        return kExitOk;
    }

    int Record() {
        if (Interrupts().load()) {
            Say(Tr("interrupted before the recording started; nothing recorded"));
            return kExitInterrupted;
        }
        m_host.SetSavePath(fs::absolute(m_o.output).string());
        m_recorder.Capture(m_o.frames);
        if (const int rc = AlertExit(); rc != kExitOk) return rc;
        m_host.Status(RecordingPlanText());
        const bool timed = m_o.untilStopped || m_o.durationSeconds > 0;
        m_host.StartProgress({m_o.frames, !timed || m_o.frames < kMaxRecordedFrames,
                              m_o.durationSeconds, TriggerText()});
        bool stopAsked = false;
        // The finish step ends with the recorder idle again.
        while (m_host.CurrentPhase() != Phase::Idle) {
            m_host.Pump(m_recorder, kLoopWait);
            const int interrupts = Interrupts().load();
            if (interrupts >= 2) {
                m_host.EndProgress();
                m_recorder.Close();
                Say(Format(Tr("aborted; the frames recorded so far are kept in %s"),
                           m_recorder.Snapshot().workingFile.c_str()));
                return kExitInterrupted;
            }
            if (interrupts == 1 && !stopAsked) {
                stopAsked = true;
                m_host.Status(std::string("quorvex-cli: ") +
                              Tr("stopping at the next frame boundary"));
                m_recorder.Stop();
            }
            // A recording cut short by an error waits for Stop, as it does in the window.
            if (m_host.CurrentPhase() == Phase::Halted) m_recorder.Stop();
        }
        m_host.EndProgress();
        // A failure to finish or move the recording was told with where the recording is.
        if (const int rc = AlertExit(); rc != kExitOk) return rc;
        return CheckSaved();
    }

    std::string TriggerText() const {
        return m_o.start.kind == StartTrigger::Kind::OnCapture ? std::string()
                                                               : DescribeStartTrigger(m_o.start);
    }

    // What ends the recording, and what starts it when that is not now.
    std::string RecordingPlanText() const {
        const std::string time = MinutesSecondsText(m_o.durationSeconds);
        std::string ends;
        if (m_o.untilStopped) {
            ends = Format(Tr("until stopped (at most %u frames)"), m_o.frames);
        } else if (m_o.durationSeconds > 0 && m_o.frames >= kMaxRecordedFrames) {
            ends = Format(Tr("for %s"), time.c_str());
        } else if (m_o.durationSeconds > 0) {
            ends = Format(Tr("for %s or up to %u frames, whichever comes first"), time.c_str(),
                          m_o.frames);
        } else {
            ends = Format(Tr("up to %u frames"), m_o.frames);
        }
        if (m_o.start.kind == StartTrigger::Kind::Channel && m_o.start.stopWhenReleased) {
            ends += Format(Tr(" or until the channel falls below %d again"), m_o.start.value);
        }
        const std::string trigger = TriggerText();
        return "quorvex-cli: " +
               (trigger.empty()
                    ? Format(Tr("recording %s; Ctrl-C stops and saves"), ends.c_str())
                    : Format(Tr("waiting for %s, then recording %s; Ctrl-C stops and saves"),
                             trigger.c_str(), ends.c_str()));
    }

    int CheckSaved() {
        const auto& finished = m_host.Finished();
        const std::string final = FinalRgbName(fs::absolute(m_o.output).string());
        // The reason was logged once; what was recorded is saved, but the run failed.
        const bool failed = finished && !finished->failure.empty();
        if (finished && finished->summary.framesWritten == 0 && finished->savedPath.empty()) {
            // Nothing recorded: an existing file stays as it was, and no empty file is left.
            std::error_code ec;
            fs::remove(finished->workingFile, ec);
            std::error_code exists;
            Say(fs::exists(fs::symlink_status(final, exists))
                    ? Format(Tr("no frame was recorded; %s was left as it was"), final.c_str())
                    : Tr("no frame was recorded; nothing was saved"));
            if (failed) return kExitIo;
            return Interrupts().load() ? kExitInterrupted : kExitNoData;
        }
        const std::string saved =
            finished && !finished->savedPath.empty() ? finished->savedPath : final;
        std::ifstream in(saved, std::ios::binary);
        std::vector<uint8_t> head(kRgbFrameCountOffset + 2);
        if (!in.read(reinterpret_cast<char*>(head.data()), static_cast<long>(head.size()))) {
            Say(Format(Tr("the recording was not saved as %s"), saved.c_str()));
            return kExitIo;
        }
        const unsigned frames = (head[kRgbFrameCountOffset] << 8) | head[kRgbFrameCountOffset + 1];
        m_host.Status("quorvex-cli: " + Format(Tr("%u frames saved in %s"), frames, saved.c_str()));
        const RecordingSummary s = finished ? finished->summary : RecordingSummary{};
        if (s.processingSeconds > 0) {
            m_host.Status("quorvex-cli: " +
                          Format(Tr("%llu packets read in %.3f s (%.0f packets/s)"),
                                 static_cast<unsigned long long>(s.packetsRead),
                                 s.processingSeconds, s.packetsRead / s.processingSeconds));
        }
        if (failed) return kExitIo;
        if (frames == 0) {
            Say(Tr("no frame was recorded"));
            return Interrupts().load() ? kExitInterrupted : kExitNoData;
        }
        // The recording is whole without its notes: the run succeeds, with a warning.
        if (finished && !finished->notesFailure.empty()) {
            Say(Format(Tr("warning: %s is saved, but its notes could not be written: %s"),
                       saved.c_str(), finished->notesFailure.c_str()));
        }
        // Frames the sender never sent are the show's; frames lost here are the recording's.
        const uint32_t kernel = s.haveKernelStats ? s.kernelDropped : 0;
        if (m_o.strict && (s.incompleteFrames > 0 || s.lostLocally > 0 || kernel > 0)) {
            Say(Format(Tr("the recording is not whole: %u incomplete frames, %u frames lost on "
                          "this machine, %u packets dropped by the kernel (--strict)"),
                       s.incompleteFrames, s.lostLocally, kernel));
            return kExitNotWhole;
        }
        return kExitOk;
    }

    bool Refused() const { return m_host.AlertCount() > m_alertsBefore; }
    // What the alerts since the source opened mean: a recording that could not be written,
    // a refusal, or nothing.
    int AlertExit() const {
        if (m_host.WriteFailures() > m_writeFailuresBefore) return kExitIo;
        return Refused() ? kExitRefused : kExitOk;
    }

    const RecorderOptions& m_o;
    const bool m_record;
    int m_alertsBefore = 0;
    int m_writeFailuresBefore = 0;
    TerminalHost m_host;  // outlives the recorder, which may still tell it things as it ends
    Recorder m_recorder;
};

}  // namespace

namespace {

// What the system says of an interface beyond the capture library's list.
struct InterfaceFacts {
    std::vector<std::string> addresses;  // IPv4, dotted
    std::optional<unsigned> flags;       // IFF_*; nothing when the system has no such interface
};

std::map<std::string, InterfaceFacts> InterfaceFactsByName() {
    std::map<std::string, InterfaceFacts> facts;
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) return facts;
    for (const ifaddrs* a = all; a; a = a->ifa_next) {
        InterfaceFacts& f = facts[a->ifa_name];
        f.flags = a->ifa_flags;
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
            f.addresses.push_back(Ipv4Text(ntohl(in->sin_addr.s_addr)));
        }
    }
    freeifaddrs(all);
    return facts;
}

json DevicesJson(const std::vector<DeviceEntry>& devices, std::optional<size_t> chosen) {
    const auto facts = InterfaceFactsByName();
    json list = json::array();
    for (size_t i = 0; i < devices.size(); ++i) {
        const DeviceEntry& d = devices[i];
        const auto it = facts.find(d.name);
        const InterfaceFacts known = it == facts.end() ? InterfaceFacts{} : it->second;
        const auto flag = [&](unsigned bit) {
            return known.flags ? json(bool(*known.flags & bit)) : json(nullptr);
        };
        const LinkState link = LinkStateOfDevice(d.name);
        list.push_back({{"index", i},
                        {"name", d.name},
                        {"description", d.description},
                        {"address", d.address.empty() ? json(nullptr) : json(d.address)},
                        {"addresses", known.addresses},
                        {"link", link == LinkState::Up     ? "up"
                                 : link == LinkState::Down ? "down"
                                                           : "unknown"},
                        {"up", flag(IFF_UP)},
                        {"running", flag(IFF_RUNNING)},
                        {"loopback", flag(IFF_LOOPBACK)},
                        {"automatic", chosen == i}});
    }
    return {{"devices", std::move(list)}};
}

}  // namespace

int RunDevices(const DevicesOptions& o) {
    auto listed = ListCaptureDevices();
    if (!listed) {
        Print(stderr, listed.error() + "\n");
        return kExitSource;
    }
    std::vector<DeviceEntry> devices = std::move(*listed);
    // What a show cannot be recorded from is left out unless asked for.
    if (!o.all) {
        std::erase_if(devices, [](const DeviceEntry& d) { return !IsEthernetLike(d.name); });
    }
    if (o.verbose) PrintAddressLines(devices);
    DescribeDevices(devices);
    const auto chosen = ChooseAdapter(devices, devices.size(), LinkStateOfDevice);
    if (o.json) {
        std::printf("%s\n", DevicesJson(devices, chosen)
                                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                                .c_str());
        std::fflush(stdout);
        return kExitOk;
    }
    size_t nameWidth = 4;
    size_t descriptionWidth = 11;
    for (const DeviceEntry& d : devices) {
        nameWidth = std::max(nameWidth, d.name.size());
        descriptionWidth = std::max(descriptionWidth, d.description.size());
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        const DeviceEntry& d = devices[i];
        Print(stdout, Format("%c %2zu  %-*s  %-15s  %-*s  %s\n", chosen == i ? '*' : ' ', i,
                             static_cast<int>(nameWidth), d.name.c_str(),
                             d.address.empty() ? "-" : d.address.c_str(),
                             static_cast<int>(descriptionWidth),
                             d.description.empty() ? "-" : d.description.c_str(),
                             LinkStateText(LinkStateOfDevice(d.name))));
    }
    std::fflush(stdout);
    if (chosen) std::fprintf(stderr, "%s", Tr("* the adapter the window would choose by itself\n"));
    return kExitOk;
}

int RunParse(const RecorderOptions& o) { return RecorderRun(o, false).Run(); }

int RunRecord(const RecorderOptions& o) {
    std::error_code ec;
    if (o.output.empty() || o.output.back() == '/' || fs::is_directory(o.output, ec)) {
        Say(Format(Tr("--output must name a file, not a folder: %s"), o.output.c_str()));
        return kExitUsage;
    }
    // A typing error in the folder must not scatter recordings into new folders.
    const fs::path folder = fs::absolute(o.output).parent_path();
    if (!fs::is_directory(folder, ec)) {
        if (fs::exists(folder, ec)) {
            Say(Format(Tr("the folder of --output, %s, is not a folder"), folder.c_str()));
            return kExitRefused;
        }
        if (!o.makeFolder) {
            Say(Format(Tr("the folder %s does not exist; add --mkdir to create it"),
                       folder.c_str()));
            return kExitRefused;
        }
        if (fs::create_directories(folder, ec); ec) {
            Say(Format(Tr("cannot create the folder %s: %s"), folder.c_str(),
                       ec.message().c_str()));
            return kExitIo;
        }
    }
    const std::string final = FinalRgbName(fs::absolute(o.output).string());
    if (!o.overwrite && fs::exists(fs::symlink_status(final, ec))) {
        Say(Format(Tr("%s already exists; add --overwrite to replace it"), final.c_str()));
        return kExitRefused;
    }
    return RecorderRun(o, true).Run();
}

std::string ApplyRecordLimits(const RecordLimitsText& t, RecorderOptions& o) {
    if (t.untilStopped && t.duration)
        return Tr("--until-stopped and --duration exclude each other");
    if (t.untilStopped && t.frames) return Tr("--until-stopped and --frames exclude each other");
    o.untilStopped = t.untilStopped;
    o.durationSeconds = 0;
    if (t.duration) {
        const auto seconds = ParseDurationText(*t.duration);
        if (!seconds) {
            return Format(Tr("--duration needs a time in one of the forms %s, above 0, not \"%s\""),
                          kDurationForms, t.duration->c_str());
        }
        o.durationSeconds = *seconds;
    }
    // Time decides, unless a frame count was asked for as well.
    if (t.frames) {
        o.frames = *t.frames;
    } else {
        o.frames = t.untilStopped || o.durationSeconds > 0 ? kMaxRecordedFrames
                                                           : static_cast<unsigned>(kDefaultFrames);
    }
    o.start = StartTrigger{};
    if (t.startWhen) {
        auto trigger = ParseStartCondition(*t.startWhen);
        if (!trigger) return "--start-when: " + trigger.error();
        o.start = *trigger;
    }
    if (t.stopWhenReleased) {
        if (o.start.kind != StartTrigger::Kind::Channel) {
            return Tr(
                "--stop-when-released needs a channel condition, such as --start-when "
                "5/1>=128");
        }
        o.start.stopWhenReleased = true;
    }
    return {};
}

namespace {

constexpr auto kMonitorRedraw = std::chrono::milliseconds(250);
constexpr double kMonitorForgetSeconds = 10;

// The terminal's rows and columns; 24 x 80 when it does not tell.
winsize TerminalSize() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) {
        size.ws_row = 24;
        size.ws_col = 80;
    }
    return size;
}

// A line wider than the terminal would wrap, and the block would no longer redraw in place.
std::string CutLines(const std::string& text, size_t columns) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        out += text.substr(at, std::min(end - at, columns));
        if (end < text.size()) out += '\n';
        at = end + 1;
    }
    return out;
}

// "Art-Net", "sACN" or both, as the rows have them; empty before any.
std::string ProtocolsSeen(const std::vector<InputRow>& rows) {
    bool art = false;
    bool sacn = false;
    for (const InputRow& r : rows) (r.origin.protocol == Protocol::Sacn ? sacn : art) = true;
    if (art && sacn) return Tr("Art-Net and sACN");
    return art ? "Art-Net" : sacn ? "sACN" : "";
}

std::string InputHeading(const std::vector<InputRow>& rows, const std::string& interface) {
    const std::string seen = ProtocolsSeen(rows);
    return seen.empty() ? Format(Tr("Input on %s"), interface.c_str())
                        : Format(Tr("%s input on %s"), seen.c_str(), interface.c_str());
}

}  // namespace

int RunMonitor(const MonitorOptions& o) {
    InstallInterruptHandlers();
    // With --json, stdout holds the document alone: the log goes to stderr.
    TerminalHost host(o.json ? stderr : stdout, stderr, !o.json);
    Recorder recorder(host);
    recorder.ListAdapters();
    const Status opened = recorder.OpenInterface(o.interface);
    if (!opened) {
        Say(opened.error().empty() ? Format(Tr("cannot open the interface %s"), o.interface.c_str())
                                   : opened.error());
        return kExitSource;
    }
    (void)DropCaptureRights();
    if (o.universe) recorder.WatchChannels(*o.universe);

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(o.seconds));
    InputRates rates;
    ChannelSnapshot shownGrid;
    auto nextDraw = start;
    const auto describe = [&recorder](std::vector<InputRow>& rows) {
        DescribeSenders(rows, recorder.Sources(), recorder.Nodes(), recorder.Surveyed());
    };
    while (!Interrupts().load() && (o.seconds <= 0 || Clock::now() < deadline)) {
        if (host.OnTerminal() && Clock::now() >= nextDraw) {
            nextDraw += kMonitorRedraw;
            auto rows = rates.Sample(recorder.Monitor().Read(), WallClockUs());
            // A sender gone for good leaves the live table; the final one keeps every pair.
            std::erase_if(
                rows, [](const InputRow& r) { return r.secondsSinceSeen > kMonitorForgetSeconds; });
            describe(rows);
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            const winsize size = TerminalSize();
            std::string grid;
            unsigned gridRows = 0;
            if (o.universe) {
                const ChannelSnapshot now = recorder.Monitor().Channels();
                grid = now.universe < 0
                           ? Format(Tr("Universe %d: nothing seen yet.\n"), *o.universe)
                           : Format(Tr("Universe %d, %u channels:\n"), *o.universe,
                                    unsigned{now.length}) +
                                 ChannelGrid(now, shownGrid, true);
                gridRows = static_cast<unsigned>(std::count(grid.begin(), grid.end(), '\n'));
                shownGrid = now;
            }
            // The headings and "... and N more" take three rows; one stays free.
            const unsigned room = size.ws_row > 5u + gridRows ? size.ws_row - 4u - gridRows : 1u;
            std::string block =
                InputHeading(rows, o.interface) +
                Format(Tr(", %s (Ctrl-C ends)\n"), MinutesSecondsText(elapsed).c_str()) +
                (rows.empty() ? Tr("No Art-Net or sACN seen yet.\n") : InputTable(rows, room));
            block.pop_back();
            // The grid is narrower than any terminal; its highlights are no text to cut.
            host.ShowBlock(grid + CutLines(block, size.ws_col - 1u));
        }
        host.Pump(recorder, kLoopWait);
    }
    host.EndProgress();

    // Rates over the whole run, from the counters' totals.
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    auto totals = WholeRunInput(recorder.Monitor().Read(), seconds, WallClockUs());
    std::vector<InputRow> rows;
    for (const InputTotal& t : totals) rows.push_back(t.row);
    describe(rows);
    for (size_t i = 0; i < rows.size(); ++i) totals[i].row = rows[i];
    const uint64_t more = recorder.Monitor().Overflowed();
    const ChannelSnapshot grid = recorder.Monitor().Channels();
    if (o.json) {
        std::string doc = InputJson(o.interface, seconds, totals, more);
        if (o.universe) {
            doc.pop_back();
            doc +=
                ",\"channels\":" + (grid.universe < 0 ? std::string("null") : ChannelJson(grid)) +
                "}";
        }
        std::printf("%s\n", doc.c_str());
    } else {
        std::fputs(
            (InputHeading(rows, o.interface) + Format(Tr(" over %.1f s:\n"), seconds)).c_str(),
            stdout);
        std::fputs(rows.empty() ? Tr("No Art-Net or sACN seen.\n") : InputTable(rows).c_str(),
                   stdout);
        if (more) {
            std::fputs(Format(Tr("%llu packets of further universes and senders were not "
                                 "followed\n"),
                              static_cast<unsigned long long>(more))
                           .c_str(),
                       stdout);
        }
        if (o.universe) {
            std::fputs(grid.universe < 0
                           ? Format(Tr("Universe %d: nothing seen.\n"), *o.universe).c_str()
                           : (Format(Tr("Universe %d, %u channels:\n"), *o.universe,
                                     unsigned{grid.length}) +
                              ChannelGrid(grid, grid, false))
                                 .c_str(),
                       stdout);
        }
    }
    std::fflush(stdout);
    if (totals.empty()) {
        Say(Format(Tr("no Art-Net or sACN seen on the interface %s; check the cable and the "
                      "adapter, or run 'quorvex-cli devices' to list the adapters"),
                   o.interface.c_str()));
        return kExitNoData;
    }
    // Ctrl-C is how a watch ends: nothing is lost by it.
    return kExitOk;
}

std::string NotesText(const RecordingNotes& n, const std::string& path) {
    // The notes file is anybody's text: each string is shown with its controls escaped.
    std::string text = Format(Tr("Notes (%s):\n"), Printable(path).c_str());
    for (const NotesUniverse& u : n.universes) {
        text += Format(Tr("  Universe %d: %u bytes from %s, port %d\n"), u.universe,
                       unsigned{u.length}, Printable(u.source).c_str(), NotedPort(n, u));
    }
    if (!n.selectedUniverses.empty()) {
        text += "  " +
                Format(Tr("Universes recorded, in port order: %s."),
                       Printable(n.selectedUniverses).c_str()) +
                "\n";
    } else if (n.firstUniverse > 0) {
        text += "  " + Format(Tr("Port 1 begins at universe %d."), n.firstUniverse) + "\n";
    }
    text += Format(n.rgbw ? Tr("  %d universes per port, %d ports, IC type %s, RGBW\n")
                          : Tr("  %d universes per port, %d ports, IC type %s\n"),
                   n.universesPerPort, n.ports, Printable(n.icType).c_str());
    text += Format(Tr("  Recorded from %s at %.1f frames/s\n"), Printable(n.startTime).c_str(),
                   n.framesPerSecond);
    RecordingSummary s;
    s.framesWritten = n.check.framesWritten;
    s.seconds = n.check.seconds;
    s.missingUpstream = n.check.missingUpstream;
    s.incompleteFrames = n.check.incompleteFrames;
    s.fromFile = n.check.fromFile;
    s.haveKernelStats = n.check.kernelDropped.has_value();
    s.kernelDropped = n.check.kernelDropped.value_or(0);
    text += "  " + SummaryLine(s) + "\n";
    return text;
}

int RunInspect(const InspectOptions& o) {
    // A FIFO or a device would block the read, or never end it.
    struct stat st {};
    const bool found = ::stat(o.path.c_str(), &st) == 0;
    if (!found && errno == ENOENT) {
        Say(Format(Tr("No such file: %s"), o.path.c_str()));
        return kExitIo;
    }
    if (found && !S_ISREG(st.st_mode)) {
        Say(Format(Tr("%s is not a regular file"), o.path.c_str()));
        return kExitIo;
    }
    if (o.repair) {
        RgbFault fault = RgbFault::Unreadable;
        const auto repaired = RepairRecording(o.path, &fault);
        if (!repaired) {
            Say(Format(fault == RgbFault::Invalid ? Tr("cannot repair %s, left as it was: %s")
                                                  : Tr("cannot repair %s: %s"),
                       o.path.c_str(), repaired.error().c_str()));
            return fault == RgbFault::Invalid ? kExitInvalid : kExitIo;
        }
        const char* path = o.path.c_str();
        if (!repaired->Changed()) {
            std::fputs(Format(Tr("Nothing to repair in %s: its header counts its %u whole "
                                 "frames.\n"),
                              path, repaired->wholeFrames)
                           .c_str(),
                       stdout);
        } else if (repaired->droppedBytes) {
            std::fputs(Format(Tr("Repaired %s: the header counted %u frames, now %u; %llu bytes "
                                 "of a partial frame at the end were dropped.\n"),
                              path, repaired->countBefore, repaired->wholeFrames,
                              static_cast<unsigned long long>(repaired->droppedBytes))
                           .c_str(),
                       stdout);
        } else {
            std::fputs(Format(Tr("Repaired %s: the header counted %u frames, now %u.\n"), path,
                              repaired->countBefore, repaired->wholeFrames)
                           .c_str(),
                       stdout);
        }
    }
    UniqueFd fd(::open(o.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const auto report = fd.ok() ? CheckRgbFile(fd.get()) : Result<RgbCheck>(Fail(Errno()));
    if (!report) {
        Say(Format(Tr("cannot read %s: %s"), o.path.c_str(), report.error().c_str()));
        return kExitIo;
    }
    // Notes that cannot be read are told, but do not make the recording invalid: the
    // controller never reads them.
    std::optional<RecordingNotes> notes;
    if (auto read = ReadNotes(o.path); !read) {
        Say(read.error());
    } else {
        notes = std::move(*read);
    }
    if (o.json) {
        std::string json = InspectJson(*report, o.path, notes ? &*notes : nullptr);
        if (!json.empty() && json.back() == '}') {
            json.pop_back();
            std::string n = notes ? NotesJson(*notes) : "null";
            while (!n.empty() && n.back() == '\n') n.pop_back();
            json += ",\"notes\":" + n + "}";
        }
        std::printf("%s\n", json.c_str());
    } else {
        Print(stdout, InspectText(*report, o.path, notes ? &*notes : nullptr));
        if (notes) Print(stdout, NotesText(*notes, NotesPath(o.path)));
    }
    std::fflush(stdout);
    if (report->Valid()) return kExitOk;
    Say(Format(Tr("%s is not a valid recording: %s"), o.path.c_str(),
               report->Problems().front().c_str()));
    return kExitInvalid;
}

int RunSend(const SendOptions& o) {
    const bool sacn = o.pattern.protocol == PatternProtocol::Sacn;
    PatternDestination to;
    to.leaveHost = o.allowNetwork;
    if (!o.pcap.empty()) {
        // Nothing leaves the machine: any address may go into the file.
        if (!o.target.empty() && !(to.address = ParseIpv4(o.target))) {
            Say(Format(Tr("--target needs an IPv4 address like 127.0.0.1, not \"%s\""),
                       o.target.c_str()));
            return kExitUsage;
        }
        const std::string error = WritePatternCapture(o.pcap, o.pattern, to);
        if (!error.empty()) {
            Say(error);
            return kExitIo;
        }
        Say(Format(Tr("%u frames written to %s"), o.pattern.frames, o.pcap.c_str()));
        return kExitOk;
    }
    std::string where;
    if (o.multicast) {
        where = o.allowNetwork ? Tr("the sACN multicast groups")
                               : Tr("the sACN multicast groups on this host");
    } else {
        std::string why;
        int code = kExitOk;
        to.address = SendTarget(o.target, o.allowNetwork, Tr("test traffic"), &why, &code);
        if (!to.address) {
            Say(why);
            return code;
        }
        where = o.target + (sacn ? ":5568" : ":6454");
    }
    InstallInterruptHandlers();
    uint32_t sent = 0;
    ProgressLine line(stderr);
    std::function<void(uint32_t)> progress;
    if (line.Active()) {
        progress = [&](uint32_t frames) {
            const uint32_t of = o.pattern.frames;
            line.Show(of ? Format(Tr("%u frames sent of %u"), frames, of)
                         : Format(Tr("%u frames sent, until Ctrl-C"), frames),
                      frames == of);
        };
    }
    const std::string error = SendPattern(to, o.pattern, Interrupts(), &sent, progress);
    line.End();
    Say(Format(Tr("%u frames sent to %s"), sent, where.c_str()));
    if (!error.empty()) {
        Say(error);
        return kExitIo;
    }
    return Interrupts().load() ? kExitInterrupted : kExitOk;
}

}  // namespace quorvex::cli
