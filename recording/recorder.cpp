#include "recording/recorder.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "capture/adapter_directory.h"
#include "platform/app_paths.h"
#include "platform/capture_rights.h"
#include "platform/duration_text.h"
#include "platform/removable_media.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "recording/recording_notes.h"
#include "recording/rgb_format.h"

namespace quorvex {

std::string SummaryLine(const RecordingSummary& s) {
    // The last clause says where the frames came from, or what the kernel dropped.
    const std::string drops = s.fromFile ? Tr("read from a capture file.")
                              : s.haveKernelStats
                                  ? Format(Tr("%u packets dropped by the kernel."), s.kernelDropped)
                                  : Tr("kernel drops unknown.");
    std::string line =
        s.seconds > 0
            ? Format(Tr("Recording check: %u frames written in %.1f s (%.1f frames/s), %u "
                        "frames missing upstream, %u incomplete frames, %s"),
                     s.framesWritten, s.seconds, s.framesWritten / s.seconds, s.missingUpstream,
                     s.incompleteFrames, drops.c_str())
            : Format(Tr("Recording check: %u frames written, %u frames missing upstream, %u "
                        "incomplete frames, %s"),
                     s.framesWritten, s.missingUpstream, s.incompleteFrames, drops.c_str());
    // What went wrong beyond that, only when something did.
    if (s.lostLocally > 0) {
        line += Format(Tr(" %u frames were lost on this machine (the kernel dropped them)."),
                       s.lostLocally);
    }
    if (s.senderRestarts > 0) {
        line += Format(Tr(" The sender was away for %.1f s (%u times)."), s.awaySeconds,
                       s.senderRestarts);
    }
    if (s.universesNotFound > 0) {
        line += Format(Tr(" %u universes arrived that Parse did not find; they are not in the "
                          "recording."),
                       s.universesNotFound);
    }
    if (s.sourceChanges > 0) {
        line += Format(Tr(" The source of a universe changed %u times."), s.sourceChanges);
    }
    if (s.malformedPackets > 0) {
        line += Format(Tr(" %llu malformed packets were passed over."),
                       static_cast<unsigned long long>(s.malformedPackets));
    }
    return line;
}

Recorder::Recorder(RecorderHost& host) : Recorder(host, Options{}) {}

Recorder::Recorder(RecorderHost& host, Options options)
    : m_host(host), m_options(std::move(options)) {}

Recorder::~Recorder() {
    // The host may be gone already: end everything without a word to it.
    m_detached = true;
    EndWorkers();
    if (m_file.IsOpen()) (void)m_file.FixFrameCountAndClose(m_writer ? m_writer->Written() : 0);
}

// ---- adapters ----

void Recorder::ListAdapters() {
    auto devices = ListCaptureDevices();
    if (!devices) {
        Emit(Alert{devices.error()});
        return;
    }
    m_devices = std::move(*devices);
    DescribeDevices(m_devices);
    m_selected = m_devices.empty() ? -1 : 0;
    Emit(AdaptersListed{m_devices, m_selected});
}

std::optional<size_t> Recorder::AutoSelectAdapter() {
    const size_t shown = m_devices.size();
    auto devices = ListCaptureDevices();
    if (!devices) {
        Emit(Alert{devices.error()});
        return std::nullopt;
    }
    if (devices->empty()) return std::nullopt;
    // The list the user sees keeps its lines; the new reading comes after them.
    DescribeDevices(*devices);
    m_devices.insert(m_devices.end(), devices->begin(), devices->end());
    const auto choice = quorvex::ChooseAdapter(m_devices, shown, LinkStateOfDevice);
    if (!choice) return std::nullopt;
    m_selected = static_cast<int>(*choice);
    Emit(AdapterSelected{m_selected});
    if (!m_source.IsOpen()) {
        // Not asked for by the user: a failure waits for Parse or Capture to be told.
        const Status opened = OpenDevice(m_devices[*choice].name);
        if (!opened) Log(opened.error());
    }
    return choice;
}

void Recorder::ChooseAdapter(int index) {
    if (index < 0 || static_cast<size_t>(index) >= m_devices.size()) return;
    m_selected = index;
    const Status opened = OpenDevice(m_devices[static_cast<size_t>(index)].name);
    if (!opened) Emit(Alert{opened.error()});
}

Status Recorder::OpenDevice(const std::string& name) {
    // An adapter that went away is opened afresh when picked again.
    if (m_source.IsOpen() && !m_source.IsFile() && !m_source.Ended() && name == m_openDevice) {
        return {};
    }
    const Status opened = OpenLive(name);
    if (!opened) {
        if (!m_source.IsOpen()) m_openDevice.clear();
        return opened;
    }
    m_openDevice = name;
    m_monitor.Clear();
    ResumeMonitoring();
    return opened;
}

Status Recorder::OpenLive(const std::string& name) {
    // Root, or a program given the capture capabilities, opens the device itself; any other
    // reads it through the capture helper, which alone holds them. A new adapter means a new
    // helper: the one before ends with its stream.
    if (CurrentCaptureRights().permitted) return m_source.OpenDevice(name);
    const std::string helper = CaptureHelperPath();
    if (helper.empty()) {
        return Fail(
            Tr("打开网卡出错!\nCapturing needs root or the capture helper quorvex-capture, "
               "which is neither beside this program nor installed."));
    }
    return m_source.OpenThroughHelper(helper, name);
}

Status Recorder::OpenInterface(const std::string& name) {
    if (m_devices.empty()) {
        auto devices = ListCaptureDevices();
        if (!devices) return Fail(devices.error());
        m_devices = std::move(*devices);
    }
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].name != name) continue;
        m_selected = static_cast<int>(i);
        return OpenDevice(name);
    }
    return Fail(
        Format(Tr("no capture device is named \"%s\" (see quorvex-cli devices)"), name.c_str()));
}

Status Recorder::OpenCaptureFile(const std::string& path) {
    // A file is read once, by Parse and the recording: the live view must not consume it.
    m_monitorWorker.Stop();
    m_monitor.Clear();
    const Status opened = m_source.OpenFile(path);
    if (opened || !m_source.IsOpen()) m_openDevice.clear();
    if (opened) m_capturePath = path;
    return opened;
}

std::string Recorder::LiveAdapterName() const {
    if (m_source.IsFile() || m_selected < 0 ||
        static_cast<size_t>(m_selected) >= m_devices.size()) {
        return {};
    }
    return m_devices[static_cast<size_t>(m_selected)].name;
}

void Recorder::ResumeMonitoring() {
    // Started from RunPending, not here: a front-end that gives up its capture rights right
    // after opening the adapter must do so before the thread starts, or it would keep them.
    if (m_monitorWanted) return;
    m_monitorWanted = true;
    if (!m_detached) m_host.WakeControl();
}

void Recorder::StartMonitoring() {
    if (m_closed || m_state.phase != Phase::Idle || !m_source.IsOpen() || m_source.IsFile()) {
        return;
    }
    if (m_surveyWorker.Running() || m_assemblyWorker.Running() || m_monitorWorker.Running()) {
        return;
    }
    m_monitorWorker.Start(m_source, m_monitor);
}

void Recorder::ApplySettings(const RecordingSettings& settings) { m_settings = settings; }

bool Recorder::EnsureSourceOpen() {
    if (m_source.IsOpen()) return true;
    if (m_selected >= 0 && static_cast<size_t>(m_selected) < m_devices.size()) {
        const Status opened = OpenDevice(m_devices[static_cast<size_t>(m_selected)].name);
        if (!opened) Emit(Alert{opened.error()});
        return opened.ok();
    }
    Emit(Alert{Tr("Please choose a network adapter in the IP address list first！")});
    return false;
}

// ---- commands ----

void Recorder::Parse() { Apply(Input::Parse); }

void Recorder::Capture(std::optional<unsigned> frames) {
    if (frames) m_flags.maxFrames = *frames;
    if (!frames && Next(m_state, Input::Capture).action == Action::StartRecording) {
        // The user was just asked to correct Capture Frames: record nothing with a stale value.
        return;
    }
    Apply(Input::Capture);
}

void Recorder::Pause() { Apply(Input::Pause); }

void Recorder::Stop() {
    if (m_state.phase == Phase::Surveying && m_captureAfterSurvey) {
        m_captureAfterSurvey = false;
        Log(Tr("The recording that was to follow Parse is cancelled."));
    }
    Apply(Input::Stop);
}
void Recorder::Close() { Apply(Input::Close); }

void Recorder::FinishTick() {
    Apply(RecordingBusy() ? Input::TickWhileRunning : Input::TickAfterEnd);
}

bool Recorder::RecordingBusy() const {
    // The finish step waits for queued frames here, not on the control thread.
    return m_flags.running.load(std::memory_order_acquire) || (m_writer && !m_writer->Drained());
}

void Recorder::Post(std::atomic<bool>& flag) {
    // One wake-up per delivery: the flag stays set until RunPending takes it, so posts before
    // then (a frame written each millisecond) need none of their own.
    if (flag.exchange(true, std::memory_order_acq_rel)) return;
    if (!m_detached) m_host.WakeControl();
}

void Recorder::RunPending() {
    if (m_monitorWanted) {
        m_monitorWanted = false;
        StartMonitoring();
    }
    if (m_framesWritten.exchange(false) && m_writer) {
        Emit(FramesWritten{m_writer->Written(), m_assemblyWorker.RecordedSeconds()});
    }
    if (m_surveyEnded.exchange(false)) Apply(Input::SurveyEnded);
    if (m_recordingHalted.exchange(false)) Apply(Input::RecordingHalted);
    if (m_recordingEnded.exchange(false)) Apply(Input::RecordingEnded);
    // A capture file that has ended needs no finish tick: nothing more can come.
    if (m_state.phase == Phase::Stopping && m_source.IsFile() && !RecordingBusy()) {
        Apply(Input::TickAfterEnd);
    }
}

void Recorder::Apply(Input input) {
    const Transition t = Next(m_state, input);
    switch (t.action) {
        case Action::None:
            break;
        case Action::RefuseWhileRecording:
            Emit(Alert{Tr("Currently Capturing , please stop and try！")});
            break;
        case Action::RefuseSecondSurvey:
            Emit(Alert{Tr("Parsing network packets, please wait for the result！")});
            break;
        case Action::RefuseWhileSurveying:
            Emit(Alert{Tr("Parsing network packets, please start again later！")});
            break;
        case Action::StartSurvey:
            if (!BeginSurvey()) return;
            break;
        case Action::StartRecording:
            if (!BeginRecording()) return;
            break;
        case Action::Resume:
            m_flags.paused = false;
            break;
        case Action::Pause:
            m_flags.paused = true;
            Log(Tr("Paused......"));
            break;
        case Action::RequestStop:
            m_flags.paused = false;
            m_flags.stopRequested = true;
            m_host.SetFinishTicks(true);
            break;
        case Action::StartTicks:
            m_flags.paused = false;
            m_host.SetFinishTicks(true);
            break;
        case Action::ForceStop:
            m_flags.forceStop = true;
            break;
        case Action::Finish:
            m_host.SetFinishTicks(false);
            SetState(t.next);
            Finish();
            Apply(Input::FinishDone);
            return;
        case Action::ReportSurvey:
            m_surveyWorker.Join();
            SetState(t.next);
            ReportSurvey();
            return;
        case Action::Shutdown:
            m_closed = true;
            m_host.SetFinishTicks(false);
            EndWorkers();
            // No save prompt: the recording stays the working file, with a header that counts
            // its frames.
            if (m_file.IsOpen()) {
                const uint32_t frames = m_writer ? m_writer->Written() : 0;
                (void)m_file.FixFrameCountAndClose(frames);
                if (frames > 0) {
                    Log(Format(Tr("The recording was not saved: its %u frames are kept in %s "
                                  "until the next Capture moves them aside."),
                               frames, WorkingFilePath().c_str()));
                }
            }
            m_writer.reset();
            break;
    }
    SetState(t.next);
}

void Recorder::SetState(ControlState next) {
    const bool changed = !(next == m_state);
    m_state = next;
    if (changed) Emit(PhaseChanged{next.phase, next.paused, ButtonsFor(next)});
    if (next.phase == Phase::Idle) ResumeMonitoring();
}

void Recorder::Emit(const RecorderEvent& event) { m_host.OnEvent(event); }

// ---- survey ----

bool Recorder::BeginSurvey() {
    if (!EnsureSourceOpen()) return false;
    EndWorkers();
    m_surveyed.clear();
    // A capture file is surveyed from its start, however often Parse is pressed.
    if (m_source.IsFile() && !m_capturePath.empty()) {
        if (const Status reopened = m_source.OpenFile(m_capturePath); !reopened) {
            Emit(Alert{reopened.error()});
            return false;
        }
    }
    m_surveyedOffset = m_settings.sacnOffset;
    m_source.SetSacnOffset(m_surveyedOffset);
    if (!m_settings.joinUniverses.empty()) JoinGroups(m_settings.joinUniverses);
    m_surveyWorker.Start(
        m_source, m_survey, m_monitor, LiveAdapterName(), m_options.surveyHintMs,
        [this](const std::string& l) { Log(l); }, [this] { Post(m_surveyEnded); });
    return true;
}

void Recorder::JoinGroups(const std::vector<int>& sacnUniverses) {
    const std::string adapter = LiveAdapterName();
    if (adapter.empty()) return;
    const size_t before = m_membership.Groups();
    for (const int u : sacnUniverses) {
        if (const Status joined = m_membership.Join(adapter, SacnGroup(u)); !joined) {
            Log(Format(Tr("Cannot join a multicast group: %s"), joined.error().c_str()));
            return;
        }
    }
    if (m_membership.Groups() > before) {
        Log(Format(Tr("Joined the multicast groups of %zu sACN universes on %s."),
                   m_membership.Groups() - before, adapter.c_str()));
    }
}

void Recorder::ReportSurvey() {
    const int perPort = m_settings.universesPerPort;
    m_framing = m_survey.SurveyedFraming();
    m_surveyed = m_universes;
    SurveyFinished finished{
        m_universes.size(),
        SurveyReportLines(m_universes, perPort, m_settings.selection, m_settings.controllerPorts),
        m_universes, m_framing};
    if (!m_universes.empty()) {
        for (std::string& line : FramingReportLines(
                 m_framing, m_surveyedOffset, SourceText(m_source.Sources(), m_framing.sender))) {
            finished.report.push_back(std::move(line));
        }
    }
    if (m_settings.joinMulticast && m_framing.protocol == Protocol::Sacn && !m_universes.empty()) {
        std::vector<int> groups;
        for (const UniverseSlot& slot : m_universes) {
            groups.push_back(slot.universe + m_surveyedOffset);
        }
        if (m_framing.syncAddress) groups.push_back(m_framing.syncAddress);
        JoinGroups(groups);
    }
    for (const std::string& line : finished.report) Log(line);
    if (perPort == 0 && !m_universes.empty() && !m_captureAfterSurvey) {
        Emit(Alert{Tr(kUniversesPerPortText)});
    }
    Emit(finished);
    if (m_captureAfterSurvey) {
        m_captureAfterSurvey = false;
        if (m_surveyed.empty()) {
            Log(Tr("Nothing to record: Parse found no universe."));
        } else {
            Apply(Input::Capture);
        }
    }
}

// ---- recording ----

std::string Recorder::WorkingFilePath() const { return m_folder + "/" + kWorkingFileName; }

void Recorder::EndWorkers() {
    m_monitorWorker.Stop();
    m_surveyWorker.Cancel();
    m_flags.running = false;
    m_assemblyWorker.Join();
    if (m_writer) m_writer->Finish();
}

std::vector<std::vector<uint8_t>> Recorder::LivePortPixels() {
    const int perPort = m_settings.universesPerPort;
    UniverseTable table = m_surveyed;
    const PortLayout layout = perPort < 1 || perPort > 8 || table.empty()
                                  ? PortLayout{}
                                  : ComputeFrameLayout(table, perPort, m_settings.selection);
    // The ports whose universes fit among the watched ones, in port order.
    std::vector<std::vector<const UniverseSlot*>> byPort(static_cast<size_t>(layout.portCount));
    for (const UniverseSlot& u : table) {
        const int p = PortOf(m_settings.selection, perPort, u.universe);
        if (u.length && p >= 0 && p < layout.portCount)
            byPort[static_cast<size_t>(p)].push_back(&u);
    }
    std::vector<const UniverseSlot*> shown;
    std::vector<int> universes;
    std::vector<RgbHeaderInfo::Port> ports;
    uint32_t frameLength = 0;
    for (int p = 0; p < layout.portCount; ++p) {
        const auto& in = byPort[static_cast<size_t>(p)];
        if (universes.size() + in.size() > InputMonitor::kWatched) break;
        for (const UniverseSlot* u : in) {
            shown.push_back(u);
            universes.push_back(u->universe);
        }
        RgbHeaderInfo::Port port;
        port.number = static_cast<uint16_t>(p + 1);
        port.length = layout.portLengths[static_cast<size_t>(p)];
        port.rgbw = m_settings.rgbw;
        ports.push_back(port);
        frameLength += port.length;
    }
    if (universes != m_watchedUniverses) {
        m_watchedUniverses = universes;
        m_monitor.WatchUniverses(universes);
    }
    std::vector<uint8_t> frame(frameLength, 0);
    for (const UniverseSlot* slot : shown) {
        const UniverseSlot& u = *slot;
        const ChannelSnapshot now = m_monitor.WatchedChannels(u.universe);
        if (now.universe < 0 || u.offset >= frame.size()) continue;
        const size_t n = std::min<size_t>({u.length, now.length, frame.size() - u.offset});
        std::copy_n(now.values.begin(), n, frame.begin() + u.offset);
    }
    return PortPixels(ports, frame.data(), frame.size());
}

bool Recorder::BeginRecording() {
    const int perPort = m_settings.universesPerPort;
    if (perPort < 1 || perPort > 8) {
        Emit(Alert{Tr(kUniversesPerPortText)});
        return false;
    }
    if (m_surveyed.empty()) {
        // As quorvex-cli record does: the survey first, the recording as soon as it ends.
        if (!EnsureSourceOpen()) return false;
        Log(
            Tr("No survey yet: Parse runs first, and the recording starts as soon as it has "
               "found the universes."));
        m_captureAfterSurvey = true;
        Apply(Input::Parse);
        if (m_state.phase != Phase::Surveying) m_captureAfterSurvey = false;
        return false;
    }
    if (!EnsureSourceOpen()) return false;
    // From a halted recording: its threads have ended; finish with them and its file.
    EndWorkers();
    if (m_file.IsOpen()) (void)m_file.FixFrameCountAndClose(m_writer ? m_writer->Written() : 0);
    m_writer.reset();
    // A capture file is recorded from its start: the frames the survey read are not lost.
    if (m_source.IsFile()) {
        if (const Status reopened = m_source.OpenFile(m_capturePath); !reopened) {
            Emit(Alert{reopened.error()});
            return false;
        }
    }

    m_folder = m_options.recordingFolder.empty() ? RecordingFolder() : m_options.recordingFolder;
    EnsureWritableFolder(m_folder);
    const UniverseSelection& selection = m_settings.selection;
    m_universes = m_surveyed;
    std::vector<int> leftOut;
    m_layout = ComputeFrameLayout(m_universes, perPort, selection, &leftOut);
    if (m_layout.portCount == 0) {
        Emit(Alert{Format(Tr("None of the universes found by Parse (%s) is among the universes "
                             "chosen (%s)."),
                          UniverseRangesText(leftOut).c_str(), selection.Text().c_str())});
        return false;
    }
    const int highest = m_universes.back().universe;
    if (m_layout.portCount > kMaxRgbPorts) {
        // The header's 16-bit length field cannot describe that many ports.
        Emit(Alert{Format(Tr("Universe %d at %d universes per port needs %d ports; a recording "
                             "holds at most %d. Choose more universes per port, or keep universe "
                             "%d out of the show."),
                          highest, perPort, m_layout.portCount, kMaxRgbPorts, highest)});
        return false;
    }
    if (const Status armed = m_trigger.Start(m_settings.start, m_universes, m_layout.frameLength);
        !armed) {
        Emit(Alert{armed.error()});
        return false;
    }
    const auto header =
        BuildRgbHeader(m_layout, IcTypeCode(m_settings.icTypeIndex), m_settings.rgbw);
    // Nothing recorded is ever overwritten: a kept working file moves aside first.
    const auto setAside = SetAsideWorkingFile(WorkingFilePath(), std::time(nullptr));
    if (!setAside) {
        Emit(Alert{setAside.error()});
        return false;
    }
    if (*setAside) {
        Log(Format(Tr("An unsaved recording of %u frames was moved aside: %s"), (*setAside)->frames,
                   (*setAside)->path.c_str()));
    }
    bool inUse = false;
    if (const Status created = m_file.Create(WorkingFilePath(), header, &inUse); !created) {
        Emit(Alert{Format(Tr("Cannot write the recording file %s\n%s"), WorkingFilePath().c_str(),
                          created.error().c_str()),
                   !inUse});
        return false;
    }

    m_flags.paused = false;
    m_flags.stopRequested = false;
    m_flags.forceStop = false;
    m_flags.maxRecordedUs =
        m_settings.durationSeconds > 0 ? static_cast<int64_t>(m_settings.durationSeconds * 1e6) : 0;
    m_flags.triggerArmed = m_trigger.Armed();
    m_flags.running = true;
    {
        std::lock_guard lock(m_failureMutex);
        m_failure.clear();
    }
    FrameWriter::Hooks hooks;
    hooks.beforeWrite = m_options.beforeFrameWrite;
    hooks.written = [this](uint32_t) { Post(m_framesWritten); };
    hooks.failed = [this](const std::string& reason) {
        {
            std::lock_guard lock(m_failureMutex);
            m_failure = Format(Tr("Writing the recording failed: %s"), reason.c_str());
        }
        Log(Format(Tr("Writing the recording failed: %s"), reason.c_str()));
        m_flags.stopRequested = true;
        m_flags.paused = false;
        if (m_flags.running.exchange(false)) Log(Tr(kStoppedText));
        Post(m_recordingEnded);
    };
    auto writer = FrameWriter::Create(
        m_file, m_layout.frameLength,
        static_cast<uint64_t>(std::max(m_settings.frameBufferMb, 1)) << 20, std::move(hooks));
    if (!writer) {
        m_file.Close();
        std::error_code ec;
        std::filesystem::remove(WorkingFilePath(), ec);
        Emit(Alert{writer.error()});
        return false;
    }
    m_writer = std::move(*writer);
    m_recorded = m_settings;
    // The layout the file gets, which the settings may have changed since Parse.
    for (const std::string& line : LayoutInUseLines(m_universes, m_layout, perPort, selection,
                                                    leftOut, m_settings.controllerPorts)) {
        Log(line);
    }
    Log(Tr("Start capture......"));
    if (m_flags.maxFrames > kMaxRecordedFrames) {
        // More would not fit the header's 16-bit frame count.
        Log(Format(Tr("A recording holds at most %u frames; this one stops there."),
                   kMaxRecordedFrames));
    }
    if (m_settings.durationSeconds > 0) {
        Log(Format(Tr("The recording ends after %s of show time, or at %u frames."),
                   MinutesSecondsText(m_settings.durationSeconds).c_str(),
                   std::min<uint32_t>(m_flags.maxFrames, kMaxRecordedFrames)));
    }
    if (m_trigger.Armed()) {
        Log(Format(Tr("Start trigger armed: the recording begins with the first frame with %s."),
                   DescribeStartTrigger(m_settings.start).c_str()));
    }
    m_unsavedNotes.reset();
    // What the front-ends show starts again from nothing, also while a trigger is awaited.
    Emit(FramesWritten{0, 0});
    m_assemblyWorker.Start(
        m_source, m_universes, m_layout.frameLength, m_flags, *m_writer, m_monitor, m_trigger,
        m_framing, LiveAdapterName(), [this](const std::string& l) { Log(l); },
        [this](AssemblyWorker::End end) {
            switch (end) {
                case AssemblyWorker::End::SourceEnded:
                    if (const std::string why = m_source.EndReason(); !why.empty()) {
                        std::lock_guard lock(m_failureMutex);
                        m_failure = Format(Tr("Capture error: %s"), why.c_str());
                    }
                    Post(m_recordingEnded);
                    break;
                case AssemblyWorker::End::AtLimit:
                    Post(m_recordingEnded);
                    break;
                case AssemblyWorker::End::Halted:
                    Post(m_recordingHalted);
                    break;
                case AssemblyWorker::End::AtStop:
                case AssemblyWorker::End::Abandoned:
                    break;
            }
        });
    return true;
}

RecordingSummary Recorder::Summarize() {
    const AssemblyWorker::Figures& f = m_assemblyWorker.Result();
    RecordingSummary s;
    s.framesWritten = m_writer ? m_writer->Written() : 0;
    s.missingUpstream = f.missingUpstream;
    s.lostLocally = f.lostLocally;
    s.incompleteFrames = f.incompleteFrames;
    s.seconds = static_cast<double>(f.recordedUs) / 1e6;
    s.awaySeconds = static_cast<double>(f.awayUs) / 1e6;
    s.senderRestarts = f.restarts;
    s.universesNotFound = f.notSurveyed;
    s.sourceChanges = f.sourceChanges;
    s.malformedPackets = f.malformed;
    s.fromFile = m_source.IsFile();
    // Taken as the recording ended: drops after it are not the recording's.
    s.haveKernelStats = f.haveKernelStats;
    s.kernelDropped = f.kernelDropped;
    s.packetsRead = f.packetsRead;
    s.startUs = f.firstFrameUs;
    s.processingSeconds = f.seconds;
    return s;
}

void Recorder::Finish() {
    EndWorkers();
    // The last frames were written as the workers ended.
    if (m_framesWritten.exchange(false) && m_writer) {
        Emit(FramesWritten{m_writer->Written(), m_assemblyWorker.RecordedSeconds()});
    }
    if (!m_file.IsOpen()) {
        m_writer.reset();
        return;
    }
    m_lastSummary = Summarize();
    Log(SummaryLine(m_lastSummary));
    RecordingFinished outcome;
    outcome.summary = m_lastSummary;
    {
        std::lock_guard lock(m_failureMutex);
        outcome.failure = m_failure;
    }
    outcome.workingFile = WorkingFilePath();
    const auto start = m_lastSummary.startUs > 0
                           ? std::chrono::system_clock::time_point(
                                 std::chrono::microseconds(m_lastSummary.startUs))
                           : std::chrono::system_clock::now();
    m_unsavedNotes =
        NotesFor(m_universes, m_layout, m_recorded.universesPerPort, m_recorded.selection,
                 kIcTypeNames[std::clamp(m_recorded.icTypeIndex, 0, 2)], m_recorded.rgbw, start,
                 m_lastSummary, m_framing, &m_source.Sources());
    const auto chosen = m_host.AskSavePath({FreeSaveName(m_folder, m_sceneNumber), m_folder,
                                            m_lastSummary.framesWritten, m_sceneNumber});
    if (chosen && !chosen->empty()) {
        Save(*chosen, outcome);
    } else {
        // Abandoned: the file stays the working file, still a whole recording.
        (void)m_file.FixFrameCountAndClose(m_lastSummary.framesWritten);
    }
    if (outcome.savedPath.empty() && m_lastSummary.framesWritten > 0) {
        Log(Format(Tr("The recording was not saved: its %u frames are kept in %s until the next "
                      "Capture moves them aside."),
                   m_lastSummary.framesWritten, outcome.workingFile.c_str()));
    }
    m_writer.reset();
    Emit(outcome);
}

void Recorder::Save(const std::string& chosenPath, RecordingFinished& outcome) {
    const std::string working = WorkingFilePath();
    if (const Status fixed = m_file.FixFrameCountAndClose(m_lastSummary.framesWritten); !fixed) {
        Emit(Alert{Format(Tr("The recording could not be finished (%s).\nIt was kept as "
                             "\"temp.RGB\": %s"),
                          fixed.error().c_str(), working.c_str()),
                   true});
        return;
    }
    const std::string final = FinalRgbName(chosenPath);
    std::error_code ec;
    Status synced;
    if (std::filesystem::equivalent(working, final, ec)) {
        synced = SyncFolderOf(final);
    } else {
        if (const Status moved = RenameFile(working, final); !moved) {
            Emit(Alert{Format(Tr("The recording could not be saved as %s (%s).\nIt was kept as "
                                 "\"temp.RGB\": %s"),
                              final.c_str(), moved.error().c_str(), working.c_str()),
                       true});
            return;
        }
        synced = SyncFolderOf(final);
    }
    // From here on the recording is at its final name, whatever fails.
    ++m_sceneNumber;
    outcome.savedPath = final;
    outcome.notesFailure = AfterSave(final, synced, m_unsavedNotes);
    m_unsavedNotes.reset();
}

std::string Recorder::AfterSave(const std::string& final, const Status& synced,
                                const std::optional<RecordingNotes>& notes) {
    if (synced) {
        Log(Format(Tr("Saved: %s"), final.c_str()));
        // Moving the file synced it and its folder: nothing waits in the page cache.
        if (const auto medium = MountHolding(CurrentRemovableMounts(), final)) {
            Log(Format(Tr("It is on the removable medium %s (%s), synced: the medium can be "
                          "pulled out now."),
                       MediumName(*medium).c_str(), medium->device.c_str()));
        }
    } else {
        Emit(Alert{Format(Tr("The recording is at %s, but its folder could not be synced (%s): a "
                             "power cut now may lose it."),
                          final.c_str(), synced.error().c_str()),
                   true});
    }
    if (!notes) return {};
    // The notes help playback and inspection; the controller never needs them, so a failure
    // here is told but does not undo the save.
    const std::string path =
        m_settings.notesInRecordingFolder
            ? FolderInUse() + "/" + std::filesystem::path(NotesPath(final)).filename().string()
            : NotesPath(final);
    if (const Status written = ReplaceFileDurably(path, NotesJson(*notes)); !written) {
        Log(Format(Tr("The recording notes could not be written: %s"), written.error().c_str()));
        return written.error();
    }
    return {};
}

std::string Recorder::FolderInUse() const {
    if (!m_folder.empty()) return m_folder;
    return m_options.recordingFolder.empty() ? RecordingFolder() : m_options.recordingFolder;
}

std::optional<KeptWorkingFile> Recorder::KeptRecording() const {
    if (m_writer || m_file.IsOpen()) return std::nullopt;
    return FindKeptWorkingFile(FolderInUse() + "/" + kWorkingFileName);
}

Result<std::string> Recorder::SaveKeptRecording(const std::string& chosenPath) {
    const std::string working = FolderInUse() + "/" + kWorkingFileName;
    if (m_writer || m_file.IsOpen()) {
        return Fail(Format(Tr("Another recording is writing %s right now."), working.c_str()));
    }
    const std::string final = FinalRgbName(chosenPath);
    std::error_code ec;
    const auto saved = std::filesystem::equivalent(working, final, ec)
                           ? Result<uint32_t>(Fail(Tr("it is the working file itself")))
                           : SaveKeptWorkingFile(working, final);
    if (!saved) {
        const std::string why =
            Format(Tr("The recording could not be saved as %s (%s).\nIt was kept as "
                      "\"temp.RGB\": %s"),
                   final.c_str(), saved.error().c_str(), working.c_str());
        Log(why);
        return Fail(why);
    }
    ++m_sceneNumber;
    // The notes belong to it only when this run made it and nothing was recorded since.
    const bool ours = m_unsavedNotes && m_unsavedNotes->check.framesWritten == *saved;
    (void)AfterSave(final, Status{}, ours ? m_unsavedNotes : std::nullopt);
    m_unsavedNotes.reset();
    return final;
}

void Recorder::ReportUnsavedRecording() {
    if (const auto kept = KeptRecording()) {
        Log(Format(Tr("An unsaved recording of %u frames is kept in %s; the next Capture moves "
                      "it aside."),
                   kept->frames, kept->path.c_str()));
    }
}

RecorderStatus Recorder::Snapshot() const {
    RecorderStatus s;
    s.phase = m_state.phase;
    s.paused = m_state.paused;
    s.buttons = ButtonsFor(m_state);
    s.workersRunning =
        m_surveyWorker.Running() || m_assemblyWorker.Running() || m_writer != nullptr;
    s.sourceOpen = m_source.IsOpen();
    s.sourceIsFile = m_source.IsFile();
    s.adapters = m_devices;
    s.selectedAdapter = m_selected;
    if (m_selected >= 0 && static_cast<size_t>(m_selected) < m_devices.size()) {
        s.adapterName = m_devices[static_cast<size_t>(m_selected)].name;
    }
    // The survey worker fills the table: read it only when no survey runs.
    if (m_state.phase != Phase::Surveying) s.universes = m_universes.size();
    s.framesCompleted = m_writer ? m_writer->Completed() : 0;
    s.framesWritten = m_writer ? m_writer->Written() : 0;
    s.recordedSeconds = m_assemblyWorker.RecordedSeconds();
    s.maxFrames = m_flags.maxFrames.load();
    s.triggerArmed = m_flags.running.load() && m_flags.triggerArmed.load();
    s.settings = m_settings;
    s.recordingFolder = m_folder;
    s.workingFile = m_folder.empty() ? std::string() : WorkingFilePath();
    s.sceneNumber = m_sceneNumber;
    s.lastSummary = m_lastSummary;
    return s;
}

}  // namespace quorvex
