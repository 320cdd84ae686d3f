#include "cli/commands.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "capture/adapter_directory.h"
#include "capture/device_list.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/rgb_check.h"
#include "cli/terminal_host.h"
#include "platform/capture_rights.h"
#include "platform/text_format.h"
#include "recording/recorder.h"
#include "recording/rgb_file.h"
#include "recording/rgb_header.h"

namespace quorvex::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kInterfaceSurveySeconds = 10;
constexpr auto kLoopWait = std::chrono::milliseconds(20);

void Error(const std::string& text) { std::fprintf(stderr, "quorvex-cli: %s\n", text.c_str()); }

// The capture library's view of each address: diagnostics, so they stay off stdout.
void PrintAddressLines(const std::vector<DeviceEntry>& devices) {
    for (const DeviceEntry& d : devices) {
        for (const std::string& line : d.addressLines) std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stderr);
}

// One run of the recorder: the survey, and for `record` the recording after it.
class RecorderRun {
  public:
    RecorderRun(const RecorderOptions& o, bool record)
        : m_o(o),
          m_record(record),
          m_host(stdout, stderr, record),
          m_recorder(m_host, RecorderOptionsFor(o, record)) {}

    int Run() {
        InstallInterruptHandlers();
        // The devices are listed as the window lists them; the source comes from the command
        // line, so no adapter is chosen by itself.
        m_recorder.ListAdapters();
        if (m_o.verbose) PrintAddressLines(m_recorder.Snapshot().adapters);
        m_recorder.ApplySettings(
            {m_o.icTypeIndex, m_o.universesPerPort, m_o.rgbw, static_cast<int>(m_o.bufferMb)});
        if (!OpenSource()) return kExitSource;
        // One source is all this run opens: the capture rights are not needed any more.
        (void)DropCaptureRights();
        // An alert from listing devices does not matter once the source is open.
        m_alertsBefore = m_host.AlertCount();

        if (const int rc = Survey(); rc != kExitOk) return rc;
        if (!m_record) return kExitOk;
        return Record();
    }

  private:
    static Recorder::Options RecorderOptionsFor(const RecorderOptions& o, bool record) {
        Recorder::Options r;
        // temp.RGB beside the output: the final move stays on one file system.
        if (record) r.recordingFolder = fs::absolute(o.output).parent_path().string();
        return r;
    }

    std::string SourceName() const {
        return m_o.file.empty() ? "interface " + m_o.interface : "capture file " + m_o.file;
    }

    bool OpenSource() {
        const Status opened = m_o.file.empty() ? m_recorder.OpenInterface(m_o.interface)
                                               : m_recorder.OpenCaptureFile(m_o.file);
        if (opened) return true;
        Error(opened.error().empty() ? "cannot open the " + SourceName() : opened.error());
        return false;
    }

    int Survey() {
        double timeout = m_o.timeoutSeconds;
        if (timeout < 0) timeout = m_o.file.empty() ? kInterfaceSurveySeconds : 0;
        m_recorder.Parse();
        if (Refused()) return kExitRefused;
        m_host.Status("quorvex-cli: surveying the " + SourceName() +
                      (timeout > 0 ? Format(" (time-out %g s)", timeout) : std::string()));
        const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(timeout));
        while (!m_host.Surveyed()) {
            m_host.Pump(m_recorder, kLoopWait);
            if (Interrupts().load()) {
                Error("interrupted during the survey; nothing recorded");
                return kExitInterrupted;
            }
            if (timeout > 0 && Clock::now() >= deadline) {
                Error(Format("no whole Art-Net frame seen on the %s within %g s",
                             SourceName().c_str(), timeout));
                return kExitNoData;
            }
        }
        if (Refused()) return kExitRefused;
        if (*m_host.Surveyed() == 0) {
            Error("no Art-Net universe found on the " + SourceName());
            return kExitNoData;
        }
        return kExitOk;
    }

    int Record() {
        if (Interrupts().load()) {
            Error("interrupted before the recording started; nothing recorded");
            return kExitInterrupted;
        }
        m_host.SetSavePath(fs::absolute(m_o.output).string());
        m_recorder.Capture(m_o.frames);
        if (Refused()) return kExitRefused;
        m_host.Status(
            Format("quorvex-cli: recording up to %u frames; Ctrl-C stops and saves", m_o.frames));
        m_host.StartProgress(m_o.frames);
        bool stopAsked = false;
        // The finish step ends with the recorder idle again.
        while (m_host.CurrentPhase() != Phase::Idle) {
            m_host.Pump(m_recorder, kLoopWait);
            const int interrupts = Interrupts().load();
            if (interrupts >= 2) {
                m_host.EndProgress();
                m_recorder.Close();
                Error("aborted; the frames recorded so far are kept in " +
                      m_recorder.Snapshot().workingFile);
                return kExitInterrupted;
            }
            if (interrupts == 1 && !stopAsked) {
                stopAsked = true;
                m_host.Status("quorvex-cli: stopping at the next frame boundary");
                m_recorder.Stop();
            }
            // A recording cut short by an error waits for Stop, as it does in the window.
            if (m_host.CurrentPhase() == Phase::Halted) m_recorder.Stop();
        }
        m_host.EndProgress();
        if (Refused()) return kExitRefused;
        return CheckSaved();
    }

    int CheckSaved() {
        const auto& finished = m_host.Finished();
        const std::string final = FinalRgbName(fs::absolute(m_o.output).string());
        if (finished && finished->summary.framesWritten == 0 && finished->savedPath.empty()) {
            // Nothing recorded: an existing file stays as it was, and no empty file is left.
            std::error_code ec;
            fs::remove(finished->workingFile, ec);
            std::error_code exists;
            Error(fs::exists(fs::symlink_status(final, exists))
                      ? "no frame was recorded; " + final + " was left as it was"
                      : "no frame was recorded; nothing was saved");
            return Interrupts().load() ? kExitInterrupted : kExitNoData;
        }
        const std::string saved =
            finished && !finished->savedPath.empty() ? finished->savedPath : final;
        std::ifstream in(saved, std::ios::binary);
        std::vector<uint8_t> head(kRgbFrameCountOffset + 2);
        if (!in.read(reinterpret_cast<char*>(head.data()), static_cast<long>(head.size()))) {
            Error("the recording was not saved as " + saved);
            return kExitIo;
        }
        const unsigned frames = (head[kRgbFrameCountOffset] << 8) | head[kRgbFrameCountOffset + 1];
        m_host.Status(Format("quorvex-cli: %u frames saved in %s", frames, saved.c_str()));
        const RecordingSummary s = finished ? finished->summary : RecordingSummary{};
        if (s.processingSeconds > 0) {
            m_host.Status(Format("quorvex-cli: %llu packets read in %.3f s (%.0f packets/s)",
                                 static_cast<unsigned long long>(s.packetsRead),
                                 s.processingSeconds, s.packetsRead / s.processingSeconds));
        }
        if (frames == 0) {
            Error("no frame was recorded");
            return Interrupts().load() ? kExitInterrupted : kExitNoData;
        }
        // The reason was logged once; what was recorded is saved, but the run failed.
        if (finished && !finished->failure.empty()) return kExitIo;
        if (m_o.strict && (s.incompleteFrames > 0 || s.missingUpstream > 0)) {
            Error(
                Format("the recording is not whole: %u incomplete frames, %u frames missing "
                       "upstream (--strict)",
                       s.incompleteFrames, s.missingUpstream));
            return kExitNotWhole;
        }
        return kExitOk;
    }

    bool Refused() const { return m_host.AlertCount() > m_alertsBefore; }

    const RecorderOptions& m_o;
    const bool m_record;
    int m_alertsBefore = 0;
    TerminalHost m_host;  // outlives the recorder, which may still tell it things as it ends
    Recorder m_recorder;
};

}  // namespace

int RunDevices(const DevicesOptions& o) {
    auto listed = ListCaptureDevices();
    if (!listed) {
        std::fprintf(stderr, "%s\n", listed.error().c_str());
        return kExitSource;
    }
    std::vector<DeviceEntry> devices = std::move(*listed);
    if (o.verbose) PrintAddressLines(devices);
    DescribeDevices(devices);
    const auto chosen = ChooseAdapter(devices, devices.size(), LinkStateOfDevice);
    size_t nameWidth = 4;
    size_t descriptionWidth = 11;
    for (const DeviceEntry& d : devices) {
        nameWidth = std::max(nameWidth, d.name.size());
        descriptionWidth = std::max(descriptionWidth, d.description.size());
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        const DeviceEntry& d = devices[i];
        std::printf("%c %2zu  %-*s  %-15s  %-*s  %s\n", chosen == i ? '*' : ' ', i,
                    static_cast<int>(nameWidth), d.name.c_str(),
                    d.address.empty() ? "-" : d.address.c_str(), static_cast<int>(descriptionWidth),
                    d.description.empty() ? "-" : d.description.c_str(),
                    LinkStateText(LinkStateOfDevice(d.name)));
    }
    std::fflush(stdout);
    if (chosen) std::fprintf(stderr, "* the adapter the window would choose by itself\n");
    return kExitOk;
}

int RunParse(const RecorderOptions& o) { return RecorderRun(o, false).Run(); }

int RunRecord(const RecorderOptions& o) {
    std::error_code ec;
    if (o.output.empty() || o.output.back() == '/' || fs::is_directory(o.output, ec)) {
        Error("--output must name a file, not a folder: " + o.output);
        return kExitUsage;
    }
    const std::string final = FinalRgbName(fs::absolute(o.output).string());
    if (!o.overwrite && fs::exists(fs::symlink_status(final, ec))) {
        Error(final + " already exists; add --overwrite to replace it");
        return kExitRefused;
    }
    return RecorderRun(o, true).Run();
}

int RunInspect(const InspectOptions& o) {
    // A FIFO or a device would block the read, or never end it.
    struct stat st {};
    if (::stat(o.path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        Error(o.path + " is not a regular file");
        return kExitIo;
    }
    if (o.repair) {
        const auto repaired = RepairRecording(o.path);
        if (!repaired) {
            Error("cannot repair " + o.path + ": " + repaired.error());
            return repaired.error().find("header") != std::string::npos ? kExitInvalid : kExitIo;
        }
        if (repaired->Changed()) {
            std::printf("Repaired %s: the header counted %u frames, now %u", o.path.c_str(),
                        repaired->countBefore, repaired->wholeFrames);
            if (repaired->droppedBytes) {
                std::printf("; %llu bytes of a partial frame at the end were dropped",
                            static_cast<unsigned long long>(repaired->droppedBytes));
            }
            std::printf(".\n");
        } else {
            std::printf("Nothing to repair in %s: its header counts its %u whole frames.\n",
                        o.path.c_str(), repaired->wholeFrames);
        }
    }
    std::ifstream in(o.path, std::ios::binary);
    std::error_code ec;
    const auto size = fs::file_size(o.path, ec);
    if (!in || ec) {
        Error("cannot read " + o.path);
        return kExitIo;
    }
    std::vector<uint8_t> head(std::min<uintmax_t>(size, kLongestRgbHeader));
    if (!in.read(reinterpret_cast<char*>(head.data()), static_cast<long>(head.size()))) {
        Error("cannot read " + o.path);
        return kExitIo;
    }
    const InspectReport report = InspectRgb(head, size);
    if (o.json) {
        std::printf("%s\n", InspectJson(report, o.path).c_str());
    } else {
        std::fputs(InspectText(report, o.path).c_str(), stdout);
    }
    std::fflush(stdout);
    if (report.Valid()) return kExitOk;
    Error(o.path + " is not a valid recording: " + report.problems.front());
    return kExitInvalid;
}

int RunSend(const SendOptions& o) {
    if (!o.pcap.empty()) {
        const std::string error = WritePatternCapture(o.pcap, o.pattern);
        if (!error.empty()) {
            Error(error);
            return kExitIo;
        }
        std::fprintf(stderr, "quorvex-cli: %u frames written to %s\n", o.pattern.frames,
                     o.pcap.c_str());
        return kExitOk;
    }
    const auto target = ParseIpv4(o.target);
    if (!target) {
        Error("--target needs an IPv4 address like 127.0.0.1, not \"" + o.target + "\"");
        return kExitUsage;
    }
    if (!IsLoopback(*target) && !o.allowNetwork) {
        Error("refusing to send to " + o.target +
              ": test traffic must not reach a real show network by accident. Targets outside "
              "127.0.0.0/8 need --allow-network.");
        return kExitRefused;
    }
    InstallInterruptHandlers();
    uint32_t sent = 0;
    const std::string error = SendPattern(*target, o.pattern, Interrupts(), &sent);
    std::fprintf(stderr, "quorvex-cli: %u frames sent to %s:6454\n", sent, o.target.c_str());
    if (!error.empty()) {
        Error(error);
        return kExitIo;
    }
    return Interrupts().load() ? kExitInterrupted : kExitOk;
}

}  // namespace quorvex::cli
