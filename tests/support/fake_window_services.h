#pragma once
// A window-services double for the engine's tests. It records every call, queues posted
// messages and armed timers, and delivers them only when the test pumps them.

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/choice_list.h"
#include "platform/window_services.h"

namespace quorvex::test {

class FakeWindowServices : public IWindowServices {
  public:
    void SetTarget(IWindowTarget* target) { m_target = target; }

    // IWindowServices
    void AppendLog(const std::string& text) override;
    void PostMessage(WindowMessage message) override;
    int GetCurSel(ListId list) const override;
    std::string GetListText(ListId list) const override;
    void ResetContent(ListId list) override;
    void AddString(ListId list, const std::string& text) override;
    void SetCurSel(ListId list, int index) override;
    void EnableButton(ButtonId button, bool enable) override;
    void MessageBox(const std::string& text) override;
    void SetTimer(int id) override;
    void KillTimer(int id) override;
    void PushFields(const BoundFields& fields) override;
    bool PullFields(BoundFields& fields) override;
    std::optional<std::string> AskSavePath(const std::string& defaultName) override;

    // Delivers every queued message to the target; returns how many.
    int PumpMessages();
    // One tick of every armed timer (ascending id); returns how many ticks.
    int TickTimers();
    // Pumps messages and ticks timers until `done` holds or `timeout` passes (real time,
    // sleeping a little between rounds). Returns whether `done` held.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // What happened.
    std::vector<std::string> Log() const;
    std::vector<std::string> MessageBoxes() const;
    std::vector<std::string> SaveAsDefaults() const;
    bool TimerArmed(int id) const;
    bool ButtonEnabled(ButtonId button) const;
    BoundFields Shown() const;  // what the window shows in the bound fields
    std::vector<std::string> ListEntries(ListId list) const;

    // What the user does.
    void SelectListItem(ListId list, int index);              // user picks an entry
    void TypeListText(ListId list, const std::string& text);  // user types: no selection
    void TypeMaxFrames(const std::string& text);              // user types into Capture Frames
    void AnswerSaveAs(std::optional<std::string> path) { m_saveAnswer = std::move(path); }

  private:
    ChoiceList& L(ListId id) { return m_lists[static_cast<int>(id) - 1000]; }
    const ChoiceList& L(ListId id) const { return m_lists[static_cast<int>(id) - 1000]; }

    mutable std::mutex m_mutex;
    IWindowTarget* m_target = nullptr;
    std::vector<std::string> m_log;
    std::deque<WindowMessage> m_posted;
    std::set<int> m_timers;
    ChoiceList m_lists[9];
    std::set<int> m_enabled{1001, 1002, 1003, 1004};
    std::vector<std::string> m_boxes;
    std::vector<std::string> m_saveDefaults;
    std::optional<std::string> m_saveAnswer;
    std::string m_frameNumText;
    std::string m_maxFramesText = "200";
};

}  // namespace quorvex::test
