#include "cli/commands.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "capture/adapter_info.h"
#include "capture/win_pcap.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/rgb_check.h"
#include "cli/terminal_services.h"
#include "platform/text_format.h"
#include "recording/quorvex_dlg.h"
#include "recording/rgb_header.h"

namespace quorvex::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kInterfaceSurveySeconds = 10;
constexpr auto kLoopWait = std::chrono::milliseconds(20);

void Error(const std::string& text) { std::fprintf(stderr, "quorvex-cli: %s\n", text.c_str()); }

// The capture library prints a diagnostic line per device address on stdout while listing
// devices. For as long as this lives, stdout goes to /dev/null (or stderr with --verbose) and
// the command's own output goes to Out(), the real stdout.
class StdoutGuard {
  public:
    explicit StdoutGuard(bool toStderr) {
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        const int sink = toStderr ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY);
        if (sink >= 0) {
            dup2(sink, STDOUT_FILENO);
            close(sink);
        }
        m_out = m_saved >= 0 ? fdopen(dup(m_saved), "w") : nullptr;
        if (!m_out) m_out = stderr;
    }
    ~StdoutGuard() {
        std::fflush(stdout);
        if (m_out != stderr) std::fclose(m_out);
        if (m_saved >= 0) {
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
        }
    }
    StdoutGuard(const StdoutGuard&) = delete;
    StdoutGuard& operator=(const StdoutGuard&) = delete;
    std::FILE* Out() const { return m_out; }

  private:
    int m_saved = -1;
    std::FILE* m_out = nullptr;
};

const char* LinkText(int status) {
    switch (status) {
        case 1:
            return "up";
        case 0:
            return "down";
        default:
            return "unknown";
    }
}

// One run of the window's logic: the survey, and for `record` the recording after it.
class RecorderRun {
  public:
    RecorderRun(const RecorderOptions& o, bool record)
        : m_o(o),
          m_record(record),
          m_guard(o.verbose),
          m_services(m_guard.Out(), stderr, record),
          m_dlg(m_services, DialogOptions(o, record)) {
        m_services.SetTarget(&m_dlg);
    }

    int Run() {
        InstallInterruptHandlers();
        m_dlg.OnInitDialog();
        // The source comes from the command line: no automatic adapter choice.
        m_services.KillTimer(kTimerAutoSelect);
        m_services.SetCurSel(ListId::Universes, m_o.universesPerPort - 1);
        m_services.SetCurSel(ListId::IcType, m_o.icTypeIndex);
        m_services.SetMaxFrames(m_o.frames);
        if (m_o.rgbw) m_dlg.OnBnClickedRgbw(true);
        if (!OpenSource()) return kExitSource;
        // A box from listing devices does not matter once the source is open.
        m_boxesBefore = m_services.MessageBoxCount();

        if (const int rc = Survey(); rc != kExitOk) return rc;
        if (!m_record) return kExitOk;
        return Record();
    }

  private:
    static CQuorvexDlg::Options DialogOptions(const RecorderOptions& o, bool record) {
        CQuorvexDlg::Options d;
        // temp.RGB beside the output: the final move stays on one file system.
        if (record) d.recordingFolder = fs::absolute(o.output).parent_path().string();
        return d;
    }

    std::string SourceName() const {
        return m_o.file.empty() ? "interface " + m_o.interface : "capture file " + m_o.file;
    }

    bool OpenSource() {
        const int boxes = m_services.MessageBoxCount();
        bool opened = false;
        if (!m_o.file.empty()) {
            opened = m_dlg.m_pcap.OpenFile(m_o.file);
        } else {
            const auto& devices = m_dlg.m_pcap.m_devices;
            const auto it = std::find_if(devices.begin(), devices.end(), [&](const DeviceEntry& d) {
                return d.name == m_o.interface;
            });
            if (it == devices.end()) {
                Error("no capture device is named \"" + m_o.interface +
                      "\" (see quorvex-cli devices)");
                return false;
            }
            m_services.SetCurSel(ListId::Ip, static_cast<int>(it - devices.begin()));
            m_dlg.m_strDevName = it->name;
            m_dlg.m_strDevIp = it->address;
            opened = m_dlg.m_pcap.OpenDevice(it->name);
        }
        // The capture source told why, unless it failed on its own quietly.
        if (!opened && m_services.MessageBoxCount() == boxes) {
            Error("cannot open the " + SourceName());
        }
        return opened;
    }

    int Survey() {
        double timeout = m_o.timeoutSeconds;
        if (timeout < 0) timeout = m_o.file.empty() ? kInterfaceSurveySeconds : 0;
        m_dlg.OnBnClickedParse();
        if (BoxShown()) return kExitRefused;
        m_services.Status("quorvex-cli: surveying the " + SourceName() +
                          (timeout > 0 ? Format(" (time-out %g s)", timeout) : std::string()));
        const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(timeout));
        while (m_services.ParseFinishedDelivered() == 0) {
            m_services.PumpOnce(kLoopWait);
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
        if (BoxShown()) return kExitRefused;
        if (m_dlg.m_universes.empty()) {
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
        m_services.SetSavePath(fs::absolute(m_o.output).string());
        m_dlg.OnBnClickedCapture();
        if (BoxShown()) return kExitRefused;
        m_services.Status(
            Format("quorvex-cli: recording up to %u frames; Ctrl-C stops and saves", m_o.frames));
        m_services.StartProgress(m_o.frames);
        bool stopAsked = false;
        while (m_services.FinishTimerKills() == 0) {
            m_services.PumpOnce(kLoopWait);
            const int interrupts = Interrupts().load();
            if (interrupts >= 2) {
                m_services.EndProgress();
                m_dlg.OnDestroy();
                Error("aborted; the frames recorded so far are kept in " + m_dlg.WorkingFilePath());
                return kExitInterrupted;
            }
            if (interrupts == 1 && !stopAsked) {
                stopAsked = true;
                m_services.Status("quorvex-cli: stopping at the next frame boundary");
                m_dlg.OnBnClickedStop();
            }
            // A recording cut short by an error waits for Stop, as it does in the window.
            if (!m_dlg.m_bCapturing && !m_services.TimerArmed(kTimerFinish) &&
                m_services.FinishTimerKills() == 0) {
                m_dlg.OnBnClickedStop();
            }
        }
        m_services.EndProgress();
        if (BoxShown()) return kExitRefused;
        return CheckSaved();
    }

    int CheckSaved() {
        const std::string saved = FinalRgbName(fs::absolute(m_o.output).string());
        std::ifstream in(saved, std::ios::binary);
        std::vector<uint8_t> head(kRgbFrameCountOffset + 2);
        if (!in.read(reinterpret_cast<char*>(head.data()), static_cast<long>(head.size()))) {
            Error("the recording was not saved as " + saved);
            return kExitIo;
        }
        const unsigned frames = (head[kRgbFrameCountOffset] << 8) | head[kRgbFrameCountOffset + 1];
        m_services.Status(Format("quorvex-cli: %u frames saved in %s", frames, saved.c_str()));
        const RecordingSummary& s = m_dlg.LastSummary();
        if (s.processingSeconds > 0) {
            m_services.Status(Format("quorvex-cli: %llu packets read in %.3f s (%.0f packets/s)",
                                     static_cast<unsigned long long>(s.packetsRead),
                                     s.processingSeconds, s.packetsRead / s.processingSeconds));
        }
        if (frames == 0) {
            Error("no frame was recorded");
            return Interrupts().load() ? kExitInterrupted : kExitNoData;
        }
        return kExitOk;
    }

    bool BoxShown() const { return m_services.MessageBoxCount() > m_boxesBefore; }

    const RecorderOptions& m_o;
    const bool m_record;
    int m_boxesBefore = 0;
    StdoutGuard m_guard;
    TerminalServices m_services;
    CQuorvexDlg m_dlg;
};

}  // namespace

int RunDevices(const DevicesOptions& o) {
    std::vector<DeviceEntry> devices;
    {
        StdoutGuard guard(o.verbose);
        CWinPcap pcap;
        if (!pcap.FindDevices()) return kExitSource;
        devices = pcap.m_devices;
    }
    CAdapterInfo::DescribeDevices(devices);
    const int chosen = ChooseAdapter(devices, devices.size(), [](const std::string& name) {
        return CAdapterInfo::LinkStatusOfDevice(name);
    });
    size_t nameWidth = 4;
    size_t descriptionWidth = 11;
    for (const DeviceEntry& d : devices) {
        nameWidth = std::max(nameWidth, d.name.size());
        descriptionWidth = std::max(descriptionWidth, d.description.size());
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        const DeviceEntry& d = devices[i];
        std::printf("%c %2zu  %-*s  %-15s  %-*s  %s\n", static_cast<int>(i) == chosen ? '*' : ' ',
                    i, static_cast<int>(nameWidth), d.name.c_str(),
                    d.address.empty() ? "-" : d.address.c_str(), static_cast<int>(descriptionWidth),
                    d.description.empty() ? "-" : d.description.c_str(),
                    LinkText(CAdapterInfo::LinkStatusOfDevice(d.name)));
    }
    std::fflush(stdout);
    if (chosen >= 0) {
        std::fprintf(stderr, "* the adapter the window would choose by itself\n");
    }
    return kExitOk;
}

int RunParse(const RecorderOptions& o) { return RecorderRun(o, false).Run(); }

int RunRecord(const RecorderOptions& o) {
    std::error_code ec;
    if (o.output.empty() || o.output.back() == '/' || fs::is_directory(o.output, ec)) {
        Error("--output must name a file, not a folder: " + o.output);
        return kExitUsage;
    }
    return RecorderRun(o, true).Run();
}

int RunInspect(const InspectOptions& o) {
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
