#pragma once
// The main window: a thin Qt front-end. Every decision is CQuorvexDlg's; the window shows
// controls, carries calls from worker threads to its own thread and runs the dialogs.

#include <QDialog>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/window_services.h"
#include "recording/quorvex_dlg.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace quorvex::app {

class HotKeys;

inline constexpr char kCaption[] = "Quorvex V1.49.1";
inline constexpr char kHotKeysUnavailable[] =
    "System-wide hot keys are not available: Alt+F7/F8/F9 work while Quorvex has the focus.";
inline constexpr char kUnsignedNeeded[] = "Please enter an unsigned integer.";

class MainWindow : public QDialog, public IWindowServices {
    Q_OBJECT

  public:
    struct Options {
        CQuorvexDlg::Options logic;
        bool logToStderr = false;  // log lines and message-box texts also go to stderr
    };

    explicit MainWindow(QWidget* parent = nullptr);
    explicit MainWindow(Options options, QWidget* parent = nullptr);
    ~MainWindow() override;

    CQuorvexDlg& Logic() { return m_dlg; }
    // When set, Save As hands the configured dialog to this instead of running it.
    std::function<std::optional<std::string>(QFileDialog& dialog)> saveAsHook;
    // Posted messages and timer ticks go to the logic unless redirected.
    void SetWindowTarget(IWindowTarget* target) { m_target = target; }
    bool TimerArmed(int id) const;
    void ShowAbout();

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

  public slots:
    // Cancel, Esc and the close box all end here.
    void done(int result) override;

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // What other threads (and the logic, for log lines) hand to the window thread.
    struct Delivery {
        enum Kind { Log, Message, ArmTimer, StopTimer, Box } kind;
        std::string text;
        int value = 0;
    };
    void Deliver(Delivery delivery);
    Q_INVOKABLE void DrainInbox();
    void BuildControls();
    void Shutdown();
    bool OnWindowThread() const;
    void AppendLine(const std::string& text);
    void ArmTimer(int id);
    void StopTimer(int id);
    void HotKey(void (CQuorvexDlg::*command)());
    QComboBox* Combo(ListId list) const;

    Options m_options;
    QPushButton* m_capture = nullptr;
    QPushButton* m_cancel = nullptr;
    QComboBox* m_ip = nullptr;
    QPushButton* m_parse = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_stop = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QComboBox* m_icType = nullptr;
    QComboBox* m_universes = nullptr;
    QLabel* m_frameDisplay = nullptr;
    QLineEdit* m_captureFrames = nullptr;
    QCheckBox* m_rgbw = nullptr;
    QMenu* m_contextMenu = nullptr;

    std::mutex m_inboxMutex;
    std::deque<Delivery> m_inbox;
    bool m_wakePending = false;
    std::map<int, QTimer*> m_timers;
    bool m_closed = false;
    std::unique_ptr<HotKeys> m_hotKeys;
    CQuorvexDlg m_dlg;
    IWindowTarget* m_target = &m_dlg;
};

}  // namespace quorvex::app
