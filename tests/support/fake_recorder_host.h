#pragma once
// A recorder host for the engine's tests. It records every event, queues wake-ups and finish
// ticks, and delivers them only when the test pumps.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "recording/recorder.h"
#include "tests/support/traffic_builder.h"

namespace quorvex::test {

class FakeRecorderHost : public RecorderHost {
  public:
    void SetRecorder(Recorder* recorder) { m_recorder = recorder; }

    // RecorderHost
    void Log(const std::string& line) override;
    void WakeControl() override { m_woken = true; }
    void SetFinishTicks(bool on) override;
    void OnEvent(const RecorderEvent& event) override;
    std::optional<std::string> AskSavePath(const SaveRequest& request) override;

    // Runs what the workers handed over; true when anything was pending.
    bool PumpPending();
    // One finish tick, when ticks are on; true when it ticked.
    bool Tick();
    // Pumps and ticks until `done` holds or `timeout` passes (real time, sleeping a little
    // between rounds). Returns whether `done` held.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // What happened.
    std::vector<std::string> LogLines() const;
    std::vector<std::string> Alerts() const;
    std::vector<std::string> SaveAsDefaults() const;
    std::vector<SaveRequest> SaveRequests() const;
    std::vector<RecordingFinished> Finished() const;
    std::vector<SurveyFinished> Surveys() const;
    std::vector<Phase> Phases() const;
    bool TicksOn() const { return m_ticks; }
    ButtonStates Buttons() const;
    std::string FrameDisplay() const;  // the last FramesWritten, as the window shows it
    std::vector<DeviceEntry> Adapters() const;
    int SelectedAdapter() const;

    // What Save As answers: a path, or nothing (cancel).
    void AnswerSaveAs(std::optional<std::string> path) { m_saveAnswer = std::move(path); }

  private:
    Recorder* m_recorder = nullptr;
    std::atomic<bool> m_woken{false};
    bool m_ticks = false;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_log;
    std::vector<std::string> m_alerts;
    std::vector<SaveRequest> m_saveRequests;
    std::vector<RecordingFinished> m_finished;
    std::vector<SurveyFinished> m_surveys;
    std::vector<Phase> m_phases;
    ButtonStates m_buttons;
    std::string m_frameDisplay;
    std::vector<DeviceEntry> m_adapters;
    int m_selected = -1;
    std::optional<std::string> m_saveAnswer;
};

// A recorder over a fake host with a scratch recording folder, driven as a front-end would.
class RecorderRig {
  public:
    explicit RecorderRig(Recorder::Options options = {}) {
        if (options.recordingFolder.empty()) options.recordingFolder = dir.File("rec");
        rec = std::make_unique<Recorder>(host, options);
        host.SetRecorder(rec.get());
    }
    ~RecorderRig() { rec->Close(); }

    bool OpenFile(const std::string& path) { return rec->OpenCaptureFile(path).ok(); }

    // Writes the show to a capture file, opens it and runs the survey over it.
    bool SurveyShow(const test::ShowPlan& show, const std::string& name = "show.pcap") {
        test::WriteShow(dir.File(name), show);
        return OpenFile(dir.File(name)) && Parse();
    }

    bool Parse() {
        rec->ApplySettings(settings);
        const size_t before = host.Surveys().size();
        rec->Parse();
        return host.PumpUntil([&] { return host.Surveys().size() > before; });
    }

    void Capture() {
        rec->ApplySettings(settings);
        rec->Capture(frames);
    }

    // Presses Capture and runs until the finish step has asked for a name.
    bool RecordToEnd(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        const size_t asked = host.SaveAsDefaults().size();
        Capture();
        return WaitFinished(asked, timeout);
    }
    bool WaitFinished(size_t asked, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        return host.PumpUntil([&] { return host.SaveAsDefaults().size() > asked; }, timeout);
    }

    RecorderStatus Status() const { return rec->Snapshot(); }
    std::string WorkingFile() const { return rec->Snapshot().workingFile; }

    TempDir dir;
    FakeRecorderHost host;
    std::unique_ptr<Recorder> rec;
    RecordingSettings settings;
    std::optional<unsigned> frames = 200;  // Capture Frames; nothing when it holds no number
};

}  // namespace quorvex::test
