#include "tests/support/fake_recorder_host.h"

#include <thread>

namespace quorvex::test {

void FakeRecorderHost::Log(const std::string& line) {
    std::lock_guard lock(m_mutex);
    m_log.push_back(line);
}

void FakeRecorderHost::SetFinishTicks(bool on) { m_ticks = on; }

void FakeRecorderHost::OnEvent(const RecorderEvent& event) {
    std::lock_guard lock(m_mutex);
    if (const auto* e = std::get_if<PhaseChanged>(&event)) {
        m_phases.push_back(e->phase);
        m_buttons = e->buttons;
    } else if (const auto* a = std::get_if<Alert>(&event)) {
        m_alerts.push_back(a->text);
    } else if (const auto* l = std::get_if<AdaptersListed>(&event)) {
        m_adapters = l->adapters;
        m_selected = l->selected;
    } else if (const auto* s = std::get_if<AdapterSelected>(&event)) {
        m_selected = s->index;
    } else if (const auto* f = std::get_if<SurveyFinished>(&event)) {
        m_surveys.push_back(*f);
    } else if (const auto* w = std::get_if<FramesWritten>(&event)) {
        m_frameDisplay = std::to_string(w->frames);
    } else if (const auto* r = std::get_if<RecordingFinished>(&event)) {
        m_finished.push_back(*r);
    }
}

std::optional<std::string> FakeRecorderHost::AskSavePath(const SaveRequest& request) {
    std::lock_guard lock(m_mutex);
    m_saveRequests.push_back(request);
    return m_saveAnswer;
}

bool FakeRecorderHost::PumpPending() {
    if (!m_woken.exchange(false)) return false;
    if (m_recorder) m_recorder->RunPending();
    return true;
}

bool FakeRecorderHost::Tick() {
    if (!m_ticks || !m_recorder) return false;
    m_recorder->FinishTick();
    return true;
}

bool FakeRecorderHost::PumpUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        PumpPending();
        if (done()) return true;
        Tick();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

#define QUORVEX_GETTER(Type, Name, member) \
    Type FakeRecorderHost::Name() const {  \
        std::lock_guard lock(m_mutex);     \
        return member;                     \
    }
QUORVEX_GETTER(std::vector<std::string>, LogLines, m_log)
QUORVEX_GETTER(std::vector<std::string>, Alerts, m_alerts)
QUORVEX_GETTER(std::vector<SaveRequest>, SaveRequests, m_saveRequests)
QUORVEX_GETTER(std::vector<RecordingFinished>, Finished, m_finished)
QUORVEX_GETTER(std::vector<SurveyFinished>, Surveys, m_surveys)
QUORVEX_GETTER(std::vector<Phase>, Phases, m_phases)
QUORVEX_GETTER(ButtonStates, Buttons, m_buttons)
QUORVEX_GETTER(std::string, FrameDisplay, m_frameDisplay)
QUORVEX_GETTER(std::vector<DeviceEntry>, Adapters, m_adapters)
QUORVEX_GETTER(int, SelectedAdapter, m_selected)
#undef QUORVEX_GETTER

std::vector<std::string> FakeRecorderHost::SaveAsDefaults() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> names;
    for (const SaveRequest& r : m_saveRequests) names.push_back(r.defaultName);
    return names;
}

}  // namespace quorvex::test
