#include "remote/controller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>

#include "platform/text_format.h"
#include "platform/texts.h"
#include "recording/recording_notes.h"
#include "recording/rgb_file.h"
#include "recording/rgb_format.h"

namespace quorvex::remote {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

constexpr auto kTickPeriod = std::chrono::milliseconds(kFinishTickMs);
constexpr size_t kKeptMessages = 20;
constexpr auto kCallWait = std::chrono::seconds(20);

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

// The live input table, from the monitor's snapshot: the one place that reads it.
json InputTable(const InputMonitor& monitor, InputRates& rates) {
    json rows = json::array();
    for (const InputRow& r : rates.Sample(monitor.Read(), WallClockUs())) {
        rows.push_back({{"universe", r.universe},
                        {"source", Ipv4Text(r.source)},
                        {"packetsPerSecond", r.packetsPerSecond},
                        {"framesPerSecond", r.framesPerSecond},
                        {"secondsSinceSeen", r.secondsSinceSeen},
                        {"length", r.length},
                        {"level", r.level}});
    }
    return rows;
}

json MessagesJson(const std::deque<auto>& messages) {
    json list = json::array();
    for (const auto& m : messages) {
        list.push_back({{"id", m.id}, {"text", m.text}, {"alert", m.alert}});
    }
    return list;
}

}  // namespace

Controller::Controller(ControllerOptions options)
    : m_options(std::move(options)), m_recorder(*this, [&] {
          Recorder::Options r;
          r.recordingFolder = m_options.folder;
          r.beforeFrameWrite = m_options.beforeFrameWrite;
          return r;
      }()) {}

Controller::~Controller() { Shutdown(); }

Status Controller::Start() {
    m_recorder.ListAdapters();
    Status opened;
    if (!m_options.captureFile.empty()) {
        opened = m_recorder.OpenCaptureFile(m_options.captureFile);
    } else if (!m_options.interface.empty()) {
        opened = m_recorder.OpenInterface(m_options.interface);
    }
    if (!opened) return opened;
    Refresh();
    m_thread = std::thread([this] { Loop(); });
    return {};
}

void Controller::Shutdown() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard lock(m_queueMutex);
        m_stopping = true;
    }
    m_queueWake.notify_all();
    m_thread.join();
}

void Controller::Loop() {
    auto nextRefresh = Clock::now();
    for (;;) {
        std::deque<std::function<void()>> calls;
        bool woken = false;
        {
            std::unique_lock lock(m_queueMutex);
            auto until = std::min(nextRefresh, Clock::now() + std::chrono::milliseconds(100));
            if (m_ticksOn) until = std::min(until, m_nextTick);
            m_queueWake.wait_until(lock, until,
                                   [&] { return m_stopping || m_woken || !m_queue.empty(); });
            if (m_stopping) break;
            calls.swap(m_queue);
            woken = std::exchange(m_woken, false);
        }
        if (woken) m_recorder.RunPending();
        for (auto& call : calls) call();
        const auto now = Clock::now();
        if (m_ticksOn && m_nextTick <= now) {
            m_nextTick = std::max(m_nextTick + kTickPeriod, now);
            m_recorder.FinishTick();
        }
        AutosaveIfDue(false);
        if (now >= nextRefresh) {
            nextRefresh = now + m_options.liveEvery;
            Refresh();
        }
    }
    // The recording so far stays in the working file, its header counting its frames.
    m_recorder.Close();
    m_closed = true;
    std::lock_guard lock(m_queueMutex);
    for (auto& call : m_queue) call();  // each answers that the server is going away
    m_queue.clear();
}

ApiReply Controller::Handle(std::string_view method, std::string_view path, std::string_view body) {
    auto parsed = ParseHttpCall(method, path, body);
    if (auto* refusal = std::get_if<ApiReply>(&parsed)) return *refusal;
    return Execute(std::get<ApiCall>(parsed));
}

ApiReply Controller::Execute(const ApiCall& call) {
    switch (call.route) {
        case Route::Status:
            return JsonReply(200, Live());
        case Route::Recordings:
            return JsonReply(200, RecordingsJson(m_options.folder));
        case Route::Download: {
            const std::string path = m_options.folder + "/" + call.name;
            const int fd = OpenRecording(path);
            if (fd < 0) return ErrorReply(404, Tr("no such recording"));
            ::close(fd);
            ApiReply reply{200, "application/octet-stream", {}, path};
            return reply;
        }
        case Route::Delete: {
            const std::string path = m_options.folder + "/" + call.name;
            std::error_code ec;
            if (!fs::is_regular_file(fs::symlink_status(path, ec))) {
                return ErrorReply(404, Tr("no such recording"));
            }
            if (::unlink(path.c_str()) != 0) return ErrorReply(500, std::strerror(errno));
            (void)::unlink(NotesPath(path).c_str());
            return JsonReply(200, Dump({{"deleted", call.name}}));
        }
        case Route::Page:
        case Route::Events:
            return ErrorReply(404, Tr("no such page"));
        default:
            break;
    }
    auto task = std::make_shared<std::packaged_task<ApiReply()>>([this, call] {
        if (m_closed) return ErrorReply(503, Tr("the server is shutting down"));
        return Run(call);
    });
    auto answer = task->get_future();
    {
        std::lock_guard lock(m_queueMutex);
        if (m_stopping || !m_thread.joinable()) {
            return ErrorReply(503, Tr("the server is shutting down"));
        }
        m_queue.push_back([task] { (*task)(); });
    }
    m_queueWake.notify_one();
    if (answer.wait_for(kCallWait) != std::future_status::ready) {
        return ErrorReply(503, Tr("the recorder did not answer in time"));
    }
    return answer.get();
}

ApiReply Controller::Answer(const std::function<void()>& command) {
    m_alerts.clear();
    command();
    Refresh();
    if (m_alerts.empty()) return JsonReply(200, Live());
    std::string text;
    for (const std::string& a : m_alerts) text += (text.empty() ? "" : "\n") + a;
    return ErrorReply(409, text);
}

ApiReply Controller::Run(const ApiCall& call) {
    const RecorderStatus s = m_recorder.Snapshot();
    const bool idle = s.phase == Phase::Idle && !s.workersRunning;
    switch (call.route) {
        case Route::Adapters:
            return JsonReply(200, AdaptersJson());
        case Route::ChooseAdapter: {
            if (!idle) return ErrorReply(409, Tr("the adapter can be changed only while idle"));
            const Status opened = m_recorder.OpenInterface(call.name);
            if (!opened) return ErrorReply(409, opened.error());
            m_options.captureFile.clear();
            return JsonReply(200, AdaptersJson());
        }
        case Route::GetSettings:
            return JsonReply(200, SettingsJson());
        case Route::PutSettings: {
            if (!idle) return ErrorReply(409, Tr("settings can be changed only while idle"));
            const SettingsChange& c = call.settings;
            if (c.universesPerPort) m_settings.universesPerPort = *c.universesPerPort;
            if (c.icType) m_settings.icTypeIndex = *c.icType;
            if (c.rgbw) m_settings.rgbw = *c.rgbw;
            if (c.universes) {
                m_settings.selection = UniverseSelection{};
                m_settings.selection.list = *c.universes;
            }
            m_recorder.ApplySettings(m_settings);
            return JsonReply(200, SettingsJson());
        }
        case Route::Parse:
            // The recorder reads a capture file from its start at each Parse.
            return Answer([&] {
                m_recorder.ApplySettings(m_settings);
                m_recorder.Parse();
            });
        case Route::Capture:
            return Capture(call.capture);
        case Route::Pause:
            return Answer([&] { m_recorder.Pause(); });
        case Route::Stop:
            return Answer([&] { m_recorder.Stop(); });
        case Route::Save:
            return Save(call.name);
        default:
            return ErrorReply(404, Tr("no such page"));
    }
}

ApiReply Controller::Capture(const CaptureOrder& order) {
    const RecorderStatus s = m_recorder.Snapshot();
    if (s.phase == Phase::Paused || s.paused)
        return Answer([&] { m_recorder.Capture(std::nullopt); });
    // The next recording would move an unsaved one aside: give it its scene name first.
    AutosaveIfDue(true);
    RecordingSettings settings = m_settings;
    settings.durationSeconds = order.durationSeconds;
    settings.start = order.start;
    unsigned frames = kDefaultFrames;
    if (order.frames) {
        frames = *order.frames;
    } else if (order.untilStopped || order.durationSeconds > 0) {
        frames = kMaxRecordedFrames;
    }
    return Answer([&] {
        m_recorder.ApplySettings(settings);
        m_recorder.Capture(frames);
    });
}

ApiReply Controller::Save(const std::string& file) {
    const RecorderStatus s = m_recorder.Snapshot();
    const std::string path = m_options.folder + "/" + file;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) {
        return ErrorReply(409, Format(Tr("%s already exists"), file.c_str()));
    }
    if (s.phase != Phase::Idle || s.workersRunning) {
        if (s.phase == Phase::Surveying) {
            return ErrorReply(409, Tr("no recording runs or waits to be saved"));
        }
        // Saved under this name as soon as it stops.
        m_saveAs = file;
        return JsonReply(202, Dump({{"willSave", file}}));
    }
    if (!m_recorder.KeptRecording()) {
        return ErrorReply(409, Tr("no recording runs or waits to be saved"));
    }
    const auto saved = m_recorder.SaveKeptRecording(path);
    if (!saved) return ErrorReply(500, saved.error());
    m_autosaveAt.reset();
    m_lastSaved = *saved;
    Refresh();
    return JsonReply(200, Dump({{"saved", fs::path(*saved).filename().string()}}));
}

void Controller::AutosaveIfDue(bool now) {
    if (!m_autosaveAt || (!now && Clock::now() < *m_autosaveAt)) return;
    m_autosaveAt.reset();
    const RecorderStatus s = m_recorder.Snapshot();
    const std::string named = std::exchange(m_saveAs, {});
    if (!m_recorder.KeptRecording()) return;
    std::string path = m_options.folder + "/" + named;
    std::error_code ec;
    if (named.empty() || fs::exists(fs::symlink_status(path, ec))) {
        path = m_options.folder + "/" + FreeSaveName(m_options.folder, s.sceneNumber);
    }
    if (const auto saved = m_recorder.SaveKeptRecording(path)) m_lastSaved = *saved;
}

std::string Controller::SettingsJson() const {
    const RecordingSettings& s = m_settings;
    return Dump({{"universesPerPort", s.universesPerPort},
                 {"icType", kIcTypeNames[std::clamp(s.icTypeIndex, 0, 2)]},
                 {"rgbw", s.rgbw},
                 {"universes", UniverseRangesText(s.selection.list)},
                 {"icTypes", kIcTypeNames}});
}

std::string Controller::AdaptersJson() {
    const RecorderStatus s = m_recorder.Snapshot();
    json list = json::array();
    for (const DeviceEntry& d : s.adapters) {
        list.push_back({{"name", d.name}, {"description", d.description}, {"address", d.address}});
    }
    return Dump({{"adapters", std::move(list)},
                 {"selected", s.sourceIsFile ? "" : s.adapterName},
                 {"file", m_options.captureFile}});
}

void Controller::Refresh() {
    const RecorderStatus s = m_recorder.Snapshot();
    std::deque<Message> log;
    {
        std::lock_guard lock(m_logMutex);
        log = m_log;
    }
    json unsaved = nullptr;
    if (s.phase == Phase::Idle && !s.workersRunning) {
        if (const auto kept = m_recorder.KeptRecording()) {
            unsaved = {{"frames", kept->frames}};
            if (m_autosaveAt) {
                const auto left = std::chrono::duration<double>(*m_autosaveAt - Clock::now());
                unsaved["autosaveSeconds"] = std::max(0.0, left.count());
            }
        }
    }
    const json live = {
        {"phase", PhaseName(s.phase)},
        {"paused", s.paused},
        {"buttons",
         {{"parse", s.buttons.parse},
          {"capture", s.buttons.capture},
          {"pause", s.buttons.pause},
          {"stop", s.buttons.stop}}},
        {"source", m_options.captureFile.empty() ? s.adapterName : m_options.captureFile},
        {"sourceIsFile", !m_options.captureFile.empty()},
        {"frames", m_frames},
        {"seconds", m_seconds},
        {"maxFrames", s.maxFrames},
        {"waitingForTrigger", s.triggerArmed},
        {"survey", {{"universes", m_surveyed}, {"report", m_report}}},
        {"check", m_check},
        {"unsaved", unsaved},
        {"lastSaved", m_lastSaved.empty() ? "" : fs::path(m_lastSaved).filename().string()},
        {"messages", MessagesJson(m_messages)},
        {"log", MessagesJson(log)},
        {"input", InputTable(m_recorder.Monitor(), m_rates)},
    };
    {
        std::lock_guard lock(m_liveMutex);
        m_live = Dump(live);
        ++m_liveVersion;
        m_phase = PhaseName(s.phase);
        m_liveFrames = m_frames;
    }
    m_liveWake.notify_all();
}

std::string Controller::Live(uint64_t* version) const {
    std::lock_guard lock(m_liveMutex);
    if (version) *version = m_liveVersion;
    return m_live;
}

std::string Controller::WaitLive(uint64_t after, std::chrono::milliseconds wait,
                                 uint64_t* version) const {
    std::unique_lock lock(m_liveMutex);
    m_liveWake.wait_for(lock, wait, [&] { return m_liveVersion > after; });
    *version = m_liveVersion;
    return m_live;
}

std::pair<std::string, uint32_t> Controller::Brief() const {
    std::lock_guard lock(m_liveMutex);
    return {m_phase, m_liveFrames};
}

void Controller::Log(const std::string& line) {
    std::lock_guard lock(m_logMutex);
    m_log.push_back({m_nextMessage++, line, false});
    if (m_log.size() > kKeptMessages) m_log.pop_front();
}

void Controller::WakeControl() {
    {
        std::lock_guard lock(m_queueMutex);
        m_woken = true;
    }
    m_queueWake.notify_one();
}

void Controller::SetFinishTicks(bool on) {
    if (on && !m_ticksOn) m_nextTick = Clock::now() + kTickPeriod;
    m_ticksOn = on;
}

void Controller::OnEvent(const RecorderEvent& event) {
    if (const auto* a = std::get_if<Alert>(&event)) {
        m_alerts.push_back(a->text);
        std::lock_guard lock(m_logMutex);
        m_messages.push_back({m_nextMessage++, a->text, true});
        if (m_messages.size() > kKeptMessages) m_messages.pop_front();
    } else if (const auto* survey = std::get_if<SurveyFinished>(&event)) {
        m_surveyed = survey->universes;
        m_report = survey->report;
    } else if (const auto* written = std::get_if<FramesWritten>(&event)) {
        m_frames = written->frames;
        m_seconds = written->seconds;
    } else if (const auto* p = std::get_if<PhaseChanged>(&event)) {
        if (p->phase == Phase::Surveying) m_check.clear();
    } else if (const auto* done = std::get_if<RecordingFinished>(&event)) {
        m_check = SummaryLine(done->summary);
        m_frames = done->summary.framesWritten;
        if (!done->savedPath.empty()) {
            m_lastSaved = done->savedPath;
        } else if (done->summary.framesWritten > 0) {
            m_autosaveAt = Clock::now() + (m_saveAs.empty() ? m_options.autosaveAfter
                                                            : std::chrono::milliseconds(0));
        }
    }
}

std::optional<std::string> Controller::AskSavePath(const SaveRequest&) {
    // Nobody is asked: the recording waits for a name, or for its scene name.
    return std::nullopt;
}

std::string RecordingsJson(const std::string& folder) {
    json list = json::array();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const auto valid = RecordingFileName(name);
        if (!valid || *valid != name || !entry.is_regular_file(ec) || entry.is_symlink(ec)) {
            continue;
        }
        json item = {{"name", name}, {"bytes", entry.file_size(ec)}};
        json notes = nullptr;
        if (auto read = ReadNotes(entry.path().string()); read && *read) {
            notes = json::parse(NotesJson(**read), nullptr, false);
            if (notes.is_discarded()) notes = nullptr;
        }
        item["notes"] = std::move(notes);
        list.push_back(std::move(item));
    }
    std::sort(list.begin(), list.end(),
              [](const json& a, const json& b) { return a["name"] < b["name"]; });
    return Dump({{"recordings", std::move(list)}});
}

int OpenRecording(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace quorvex::remote
