#pragma once
// The recorder: Parse, Capture, Pause and Stop over one packet source, the workers behind
// them and the finish step that saves the recording. Front-ends (the window, quorvex-cli,
// the tests) give it commands on their control thread and learn what happened from the
// events it sends to its host.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "analysis/frame_layout.h"
#include "analysis/input_monitor.h"
#include "analysis/start_trigger.h"
#include "analysis/universe_survey.h"
#include "capture/device_list.h"
#include "capture/packet_source.h"
#include "platform/multicast_membership.h"
#include "platform/result.h"
#include "platform/text_catalogue.h"
#include "recording/frame_writer.h"
#include "recording/packet_workers.h"
#include "recording/recorder_control.h"
#include "recording/recording_notes.h"
#include "recording/recording_summary.h"
#include "recording/rgb_file.h"
#include "recording/rgb_preview.h"

namespace quorvex {

inline constexpr const char* kUniversesPerPortText =
    TrLater("Universes/Port must be a whole number from 1 to 8！");
inline constexpr char kWorkingFileName[] = "temp.RGB";
inline constexpr int kFinishTickMs = 500;
inline constexpr int kDefaultFrames = 200;
inline constexpr int kDefaultUniversesPerPort = 6;
inline constexpr int kDefaultIcType = 1;  // SPI&TTL
inline constexpr const char* kIcTypeNames[] = {"DMX512", "SPI&TTL", "TM1814"};

// What the user chose for the next recording.
struct RecordingSettings {
    int icTypeIndex = kDefaultIcType;                 // position in kIcTypeNames
    int universesPerPort = kDefaultUniversesPerPort;  // 1..8; 0 when the user gave no such number
    bool rgbw = false;
    int frameBufferMb = kDefaultFrameBufferMb;  // frames waiting for the disk, in MiB
    // Recorded show time after which the recording ends, pauses left out; 0: no such limit
    // (the frame count still applies).
    double durationSeconds = 0;
    StartTrigger start;                   // when the first recorded frame comes
    int sacnOffset = kDefaultSacnOffset;  // sACN universe N is recorded as N - this; at Parse
    // Join the multicast groups of the surveyed sACN universes and their synchronization
    // address, for switches with IGMP snooping.
    bool joinMulticast = false;
    // sACN universes whose groups are joined as Parse begins, before anything was surveyed.
    std::vector<int> joinUniverses;
    // The universes recorded, and the one port 1 begins with.
    UniverseSelection selection;
    int controllerPorts = 0;  // outputs of the user's controller; 0: not given
    // The notes (FILE.RGB.json) go into the recording folder instead of beside the recording.
    bool notesInRecordingFolder = false;
};

// Events, delivered on the control thread.
struct PhaseChanged {
    Phase phase;
    bool paused;
    ButtonStates buttons;
};
// A refusal or failure the user must see (a message box in the window).
struct Alert {
    std::string text;
    // The recording could not be written, synced or moved: a failure, not a refusal. The text
    // says where the recording is.
    bool writeFailed = false;
};
struct AdaptersListed {
    std::vector<DeviceEntry> adapters;
    int selected = -1;
};
struct AdapterSelected {
    int index = -1;
};
struct SurveyFinished {
    size_t universes = 0;
    std::vector<std::string> report;
    UniverseTable table;  // the universes found, in arrival order
    Framing framing;      // how the recorded sender's frames end
};
struct FramesWritten {
    uint32_t frames = 0;
    double seconds = 0;  // the time recorded so far, pauses left out
};
struct RecordingFinished {
    RecordingSummary summary;
    // Why the recording ended early: a failed write or a broken source; empty otherwise.
    std::string failure;
    std::string savedPath;    // empty when the recording was not saved under a chosen name
    std::string workingFile;  // where it stays when it was not saved
    // Why the notes beside the saved recording could not be written; empty otherwise.
    std::string notesFailure;
};
using RecorderEvent = std::variant<PhaseChanged, Alert, AdaptersListed, AdapterSelected,
                                   SurveyFinished, FramesWritten, RecordingFinished>;

struct SaveRequest {
    std::string defaultName;  // "Sc-01-01.RGB", ..., free in `folder`
    std::string folder;       // where the working file is
    uint32_t frames = 0;      // frames the recording holds
    int scene = 1;            // the scene number of the default name, before a free one was sought
};

// What a front-end provides.
class RecorderHost {
  public:
    virtual ~RecorderHost() = default;
    // Any thread, never blocks: one line for the log.
    virtual void Log(const std::string& line) = 0;
    // Any thread, never blocks: call Recorder::RunPending on the control thread soon.
    virtual void WakeControl() = 0;
    // Control thread: call Recorder::FinishTick every 500 ms from now on, or no more.
    virtual void SetFinishTicks(bool on) = 0;
    // Control thread.
    virtual void OnEvent(const RecorderEvent& event) = 0;
    // Control thread, modal: the chosen full path, or nothing when the user cancels.
    virtual std::optional<std::string> AskSavePath(const SaveRequest& request) = 0;
};

// A snapshot for front-ends and tests.
struct RecorderStatus {
    Phase phase = Phase::Idle;
    bool paused = false;
    ButtonStates buttons;
    bool workersRunning = false;
    bool sourceOpen = false;
    bool sourceIsFile = false;
    std::vector<DeviceEntry> adapters;
    int selectedAdapter = -1;
    std::string adapterName;
    size_t universes = 0;  // slots of the universe table (dense once a recording started)
    uint32_t framesCompleted = 0;
    uint32_t framesWritten = 0;
    double recordedSeconds = 0;  // the time recorded so far, pauses left out
    uint32_t maxFrames = kDefaultFrames;
    bool triggerArmed = false;  // the recording waits for its start trigger
    RecordingSettings settings;
    std::string recordingFolder;  // empty until the first Capture
    std::string workingFile;
    int sceneNumber = 1;
    RecordingSummary lastSummary;
};

class Recorder {
  public:
    struct Options {
        std::string recordingFolder;  // empty: the usual RGBFiles folder
        // Called on the writer thread before each frame is written (tests slow it down).
        std::function<void(uint32_t frame)> beforeFrameWrite;
        // How long Parse waits on a live adapter before it tells what it sees instead.
        int surveyHintMs = 5000;
    };

    explicit Recorder(RecorderHost& host);
    Recorder(RecorderHost& host, Options options);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Adapters. Listing selects the first one; nothing is opened until it is needed.
    void ListAdapters();
    // The pre-selection half a second after start: re-reads the devices and selects the first
    // gigabit adapter whose link is up, and opens it when no source is open yet, so that the
    // live input view fills. Its index, or nothing.
    std::optional<size_t> AutoSelectAdapter();
    // The user picked line `index` of the adapter list: it is opened at once (an adapter that
    // is open already stays open, with its live counters).
    void ChooseAdapter(int index);
    // Opens an adapter by device name, or a capture file, as the source.
    Status OpenInterface(const std::string& name);
    Status OpenCaptureFile(const std::string& path);

    void ApplySettings(const RecordingSettings& settings);

    // Commands.
    void Parse();
    // Starts a recording of `frames` frames, or resumes a paused one. Nothing for `frames`:
    // Capture Frames held no valid number (the front-end told the user); a paused recording
    // still resumes.
    void Capture(std::optional<unsigned> frames);
    void Pause();
    void Stop();
    // The window closes: workers end, the working file keeps a header that counts its frames.
    void Close();
    // Logs a working file an earlier run left with frames in it, if there is one.
    void ReportUnsavedRecording();
    // The working file of a recording that was not saved (a cancelled Save As, a closed window,
    // an earlier run), while it still holds frames and no recording runs.
    std::optional<KeptWorkingFile> KeptRecording() const;
    // Saves that working file under the name chosen, as the finish step would have, with the
    // recording's notes when this run made it. Where it was saved, or why not (also logged).
    Result<std::string> SaveKeptRecording(const std::string& chosenPath);

    // Control-thread deliveries the host makes.
    void RunPending();
    void FinishTick();

    RecorderStatus Snapshot() const;
    // The live input view's counters: read them (InputMonitor::Read) from any thread. They
    // follow the chosen adapter whenever it is open, also during Parse and recording.
    const InputMonitor& Monitor() const { return m_monitor; }
    // The live view copies this universe's channels (-1: none) for InputMonitor::Channels.
    void WatchChannels(int universe) { m_monitor.SelectUniverse(universe); }
    // The live view's rows are forgotten; what comes next fills them anew.
    void ClearInput() { m_monitor.Clear(); }
    // What the LEDs of each port would show now, by the surveyed universes and the settings
    // (RGB or RGBW, universes per port): a pixel is 3 bytes R, G, B. Only the ports whose
    // universes are among the first InputMonitor::kWatched; none before a survey. Control
    // thread; the first call after a change of layout starts watching its universes.
    std::vector<std::vector<uint8_t>> LivePortPixels();
    // The sACN sources seen so far, by their identities (any thread).
    const SourceDirectory& Sources() const { return m_source.Sources(); }
    // The Art-Net nodes that named themselves (any thread).
    const NodeNames& Nodes() const { return m_source.Nodes(); }
    // Which sender each universe is recorded from, as the last survey found (control thread).
    const UniverseTable& Surveyed() const { return m_surveyed; }

  private:
    void Apply(Input input);
    void SetState(ControlState next);
    void Emit(const RecorderEvent& event);
    void Log(const std::string& line) {
        if (!m_detached) m_host.Log(line);
    }
    bool EnsureSourceOpen();
    Status OpenDevice(const std::string& name);
    Status OpenLive(const std::string& name);
    bool BeginSurvey();
    bool BeginRecording();
    void ReportSurvey();
    void JoinGroups(const std::vector<int>& sacnUniverses);
    void EndWorkers();
    // The live input view follows an open adapter whenever no other worker reads it.
    void ResumeMonitoring();
    void StartMonitoring();
    std::string LiveAdapterName() const;
    // The recording thread runs, or the writer still has frames to write.
    bool RecordingBusy() const;
    void Finish();
    void Save(const std::string& chosenPath, RecordingFinished& outcome);
    // "Saved", and whether the medium may be pulled out now; then the notes, if any.
    // After a recording reached its final name: tells whether it is synced, and writes its
    // notes; what kept them from being written, or nothing.
    std::string AfterSave(const std::string& final, const Status& synced,
                          const std::optional<RecordingNotes>& notes);
    std::string FolderInUse() const;
    RecordingSummary Summarize();
    std::string WorkingFilePath() const;
    void Post(std::atomic<bool>& flag);

    RecorderHost& m_host;
    Options m_options;
    ControlState m_state;
    RecordingSettings m_settings;

    PcapSource m_source;
    std::vector<DeviceEntry> m_devices;
    int m_selected = -1;
    std::string m_openDevice;   // the device the source reads; empty for a file or none
    std::string m_capturePath;  // the capture file last opened

    InputMonitor m_monitor;
    std::vector<int> m_watchedUniverses;  // what the monitor keeps for LivePortPixels
    MonitorWorker m_monitorWorker;
    bool m_closed = false;
    bool m_monitorWanted = false;  // start the idle monitor at the next RunPending

    UniverseTable m_universes;  // the survey fills it; a recording lays it out
    UniverseSurvey m_survey{m_universes};
    UniverseTable m_surveyed;           // what the last survey found, for each recording to lay out
    bool m_captureAfterSurvey = false;  // Capture came before any survey: record once it ends
    Framing m_framing;                  // how the surveyed show's frames end
    int m_surveyedOffset = kDefaultSacnOffset;
    MulticastMembership m_membership;
    SurveyWorker m_surveyWorker;

    RecordingFlags m_flags;
    AssemblyWorker m_assemblyWorker;
    TriggerWatch m_trigger;
    RgbFile m_file;
    std::unique_ptr<FrameWriter> m_writer;
    PortLayout m_layout;
    RecordingSettings m_recorded;  // the settings the recording in progress started with
    std::string m_folder;
    int m_sceneNumber = 1;
    RecordingSummary m_lastSummary;
    // The notes of the last recording while it waits unsaved in the working file.
    std::optional<RecordingNotes> m_unsavedNotes;
    std::string m_failure;  // why the recording in progress ended early; set by the workers
    std::mutex m_failureMutex;

    // Worker to control thread, collected by RunPending.
    std::atomic<bool> m_surveyEnded{false};
    std::atomic<bool> m_recordingEnded{false};
    std::atomic<bool> m_recordingHalted{false};
    std::atomic<bool> m_framesWritten{false};
    std::atomic<bool> m_detached{false};  // destroyed: the host is no longer told anything
};

}  // namespace quorvex
