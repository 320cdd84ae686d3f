#include "tests/support/fake_window_services.h"

#include <cstdlib>
#include <thread>

namespace quorvex::test {

void FakeWindowServices::AppendLog(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_log.push_back(text);
}

void FakeWindowServices::PostMessage(WindowMessage message) {
    std::lock_guard lock(m_mutex);
    m_posted.push_back(message);
}

int FakeWindowServices::GetCurSel(ListId list) const {
    std::lock_guard lock(m_mutex);
    return L(list).selected;
}

std::string FakeWindowServices::GetListText(ListId list) const {
    std::lock_guard lock(m_mutex);
    return L(list).Text();
}

void FakeWindowServices::ResetContent(ListId list) {
    std::lock_guard lock(m_mutex);
    L(list) = ChoiceList{};
}

void FakeWindowServices::AddString(ListId list, const std::string& text) {
    std::lock_guard lock(m_mutex);
    L(list).entries.push_back(text);
}

void FakeWindowServices::SetCurSel(ListId list, int index) {
    std::lock_guard lock(m_mutex);
    L(list).Select(index);
}

void FakeWindowServices::EnableButton(ButtonId button, bool enable) {
    std::lock_guard lock(m_mutex);
    if (enable) {
        m_enabled.insert(static_cast<int>(button));
    } else {
        m_enabled.erase(static_cast<int>(button));
    }
}

void FakeWindowServices::MessageBox(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_boxes.push_back(text);
}

void FakeWindowServices::SetTimer(int id) {
    std::lock_guard lock(m_mutex);
    m_timers.insert(id);
}

void FakeWindowServices::KillTimer(int id) {
    std::lock_guard lock(m_mutex);
    m_timers.erase(id);
}

void FakeWindowServices::PushFields(const BoundFields& fields) {
    std::lock_guard lock(m_mutex);
    m_frameNumText = fields.frameNum;
    m_maxFramesText = std::to_string(fields.maxFrames);
}

bool FakeWindowServices::PullFields(BoundFields& fields) {
    std::lock_guard lock(m_mutex);
    fields.frameNum = m_frameNumText;
    const std::string& t = m_maxFramesText;
    char* end = nullptr;
    const unsigned long v = std::strtoul(t.c_str(), &end, 10);
    const bool ok = !t.empty() && t.find_first_not_of("0123456789") == std::string::npos && end &&
                    *end == '\0' && v <= 0xFFFFFFFFul;
    if (!ok) {
        m_boxes.push_back("Please enter an unsigned integer.");
        return false;
    }
    fields.maxFrames = static_cast<unsigned>(v);
    return true;
}

std::optional<std::string> FakeWindowServices::AskSavePath(const std::string& defaultName) {
    std::lock_guard lock(m_mutex);
    m_saveDefaults.push_back(defaultName);
    return m_saveAnswer;
}

int FakeWindowServices::PumpMessages() {
    int n = 0;
    for (;;) {
        WindowMessage m;
        {
            std::lock_guard lock(m_mutex);
            if (m_posted.empty()) break;
            m = m_posted.front();
            m_posted.pop_front();
        }
        if (m_target) m_target->OnWindowMessage(m);
        ++n;
    }
    return n;
}

int FakeWindowServices::TickTimers() {
    std::set<int> armed;
    {
        std::lock_guard lock(m_mutex);
        armed = m_timers;
    }
    for (int id : armed) {
        if (m_target) m_target->OnTimer(id);
    }
    return static_cast<int>(armed.size());
}

bool FakeWindowServices::PumpUntil(const std::function<bool()>& done,
                                   std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        PumpMessages();
        if (done()) return true;
        TickTimers();
        PumpMessages();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    PumpMessages();
    return done();
}

std::vector<std::string> FakeWindowServices::Log() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

std::vector<std::string> FakeWindowServices::MessageBoxes() const {
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

std::vector<std::string> FakeWindowServices::SaveAsDefaults() const {
    std::lock_guard lock(m_mutex);
    return m_saveDefaults;
}

bool FakeWindowServices::TimerArmed(int id) const {
    std::lock_guard lock(m_mutex);
    return m_timers.count(id) != 0;
}

bool FakeWindowServices::ButtonEnabled(ButtonId button) const {
    std::lock_guard lock(m_mutex);
    return m_enabled.count(static_cast<int>(button)) != 0;
}

BoundFields FakeWindowServices::Shown() const {
    std::lock_guard lock(m_mutex);
    BoundFields f;
    f.frameNum = m_frameNumText;
    f.maxFrames = static_cast<unsigned>(std::strtoul(m_maxFramesText.c_str(), nullptr, 10));
    return f;
}

std::vector<std::string> FakeWindowServices::ListEntries(ListId list) const {
    std::lock_guard lock(m_mutex);
    return L(list).entries;
}

void FakeWindowServices::SelectListItem(ListId list, int index) { SetCurSel(list, index); }

void FakeWindowServices::TypeListText(ListId list, const std::string& text) {
    std::lock_guard lock(m_mutex);
    L(list).selected = kNoSelection;
    L(list).typed = text;
}

void FakeWindowServices::TypeMaxFrames(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_maxFramesText = text;
}

}  // namespace quorvex::test
