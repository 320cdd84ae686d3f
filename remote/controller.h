#pragma once
// The recorder behind the remote control: one control thread runs every recorder command
// and the recorder's deliveries, HTTP and OSC threads hand it calls and wait for the reply,
// and a live status document is refreshed a few times a second for pollers and streams.
// Nothing here depends on a client staying connected.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "analysis/input_monitor.h"
#include "platform/result.h"
#include "recording/recorder.h"
#include "remote/api.h"

namespace quorvex::remote {

struct ControllerOptions {
    std::string folder;       // where recordings are saved and listed
    std::string interface;    // the adapter to open at start; or
    std::string captureFile;  // a capture file, reopened for each Parse
    // A stopped recording nobody saved is saved under the next free scene name after this.
    std::chrono::milliseconds autosaveAfter{10000};
    std::chrono::milliseconds liveEvery{250};
    std::function<void(uint32_t frame)> beforeFrameWrite;  // tests hold the writer with it
};

class Controller : public RecorderHost {
  public:
    explicit Controller(ControllerOptions options);
    ~Controller() override;
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Opens the source and starts the control thread.
    Status Start();
    // Ends the control thread; a recording in progress is stopped and kept.
    void Shutdown();

    // Any thread: parses and runs one HTTP request.
    ApiReply Handle(std::string_view method, std::string_view path, std::string_view body);
    // Any thread: runs a call (on the control thread when it touches the recorder).
    ApiReply Execute(const ApiCall& call);

    // Any thread: the latest live document, and its number (it grows with each refresh).
    std::string Live(uint64_t* version = nullptr) const;
    // Waits until a document newer than `after` is there, or `wait` passed.
    std::string WaitLive(uint64_t after, std::chrono::milliseconds wait, uint64_t* version) const;
    // Any thread: the phase's name and the frames written, as the latest refresh saw them.
    std::pair<std::string, uint32_t> Brief() const;

    const std::string& Folder() const { return m_options.folder; }

    // RecorderHost
    void Log(const std::string& line) override;
    void WakeControl() override;
    void SetFinishTicks(bool on) override;
    void OnEvent(const RecorderEvent& event) override;
    std::optional<std::string> AskSavePath(const SaveRequest& request) override;

  private:
    using Clock = std::chrono::steady_clock;

    void Loop();
    // Control thread.
    ApiReply Run(const ApiCall& call);
    ApiReply Capture(const CaptureOrder& order);
    ApiReply Save(const std::string& file);
    void AutosaveIfDue(bool now);
    void Refresh();
    std::string SettingsJson() const;
    std::string AdaptersJson();
    // Refusals the recorder sent while `command` ran, as a reply.
    ApiReply Answer(const std::function<void()>& command);

    ControllerOptions m_options;
    Recorder m_recorder;
    RecordingSettings m_settings;
    InputRates m_rates;  // control thread

    // Control thread state, from events.
    bool m_ticksOn = false;
    Clock::time_point m_nextTick;
    std::optional<Clock::time_point> m_autosaveAt;
    bool m_closed = false;
    std::string m_saveAs;  // the name asked for before the recording stopped
    std::vector<std::string> m_report;
    size_t m_surveyed = 0;
    uint32_t m_frames = 0;
    double m_seconds = 0;
    std::string m_check;
    std::string m_lastSaved;
    std::vector<std::string> m_alerts;  // since the command that runs began
    struct Message {
        uint64_t id;
        std::string text;
        bool alert;
    };
    std::deque<Message> m_messages;
    uint64_t m_nextMessage = 1;

    std::mutex m_logMutex;  // Log comes from any thread
    std::deque<Message> m_log;

    // Calls handed to the control thread.
    std::mutex m_queueMutex;
    std::condition_variable m_queueWake;
    std::deque<std::function<void()>> m_queue;
    bool m_woken = false;
    bool m_stopping = false;
    std::thread m_thread;

    mutable std::mutex m_liveMutex;
    mutable std::condition_variable m_liveWake;
    std::string m_live;
    uint64_t m_liveVersion = 0;
    std::string m_phase = "Idle";
    uint32_t m_liveFrames = 0;
};

// The recordings in `folder` with their notes, as JSON.
std::string RecordingsJson(const std::string& folder);
// Opens a recording for reading: a regular file, never through a link. -1 when it cannot.
int OpenRecording(const std::string& path);

}  // namespace quorvex::remote
