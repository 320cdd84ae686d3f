#pragma once
// The main window: a thin Qt front-end. Every decision is the Recorder's; the window shows
// controls, carries calls from worker threads to its own thread and runs the dialogs.

#include <QDialog>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "recording/recorder.h"

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
// The adapter pre-selection runs this long after start.
inline constexpr int kAutoSelectDelayMs = 500;
// Where the window keeps its settings (QSettings).
inline constexpr char kSettingsOrganisation[] = "Quorvex";
inline constexpr char kSettingsApplication[] = "Quorvex";
inline constexpr char kFrameBufferKey[] = "frameBufferMb";
inline constexpr int kMaxFrameBufferMb = 1 << 20;

class MainWindow : public QDialog, public RecorderHost {
    Q_OBJECT

  public:
    struct Options {
        Recorder::Options recorder;
        bool logToStderr = false;  // log lines and message-box texts also go to stderr
    };

    explicit MainWindow(QWidget* parent = nullptr);
    explicit MainWindow(Options options, QWidget* parent = nullptr);
    ~MainWindow() override;

    Recorder& recorder() { return m_recorder; }
    // When set, Save As hands the configured dialog to this instead of running it.
    std::function<std::optional<std::string>(QFileDialog& dialog)> saveAsHook;
    // The adapter pre-selection is still to run; the finish ticks run.
    bool AutoSelectPending() const;
    bool FinishTicksOn() const;
    void ShowAbout();
    // The settings dialog of the context menu; what it sets is kept for the next start.
    void ShowSettings();

    // RecorderHost
    void Log(const std::string& line) override;
    void WakeControl() override;
    void SetFinishTicks(bool on) override;
    void OnEvent(const RecorderEvent& event) override;
    std::optional<std::string> AskSavePath(const SaveRequest& request) override;

  public slots:
    // Cancel, Esc and the close box all end here.
    void done(int result) override;

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // What other threads (and the recorder, for log lines) hand to the window thread.
    struct Delivery {
        enum Kind { Line, Wake } kind;
        std::string text;
    };
    void Deliver(Delivery delivery);
    Q_INVOKABLE void DrainInbox();
    void BuildControls();
    void FillLists();
    void Shutdown();
    void AppendLine(const std::string& text);
    void MessageBox(const std::string& text);
    void ShowButtons(const ButtonStates& buttons);
    void ShowCaptureFrames();
    void ShowAdapters(const AdaptersListed& listed);
    void SelectAdapterLine(int index);
    void ShowFramesWritten(const FramesWritten& written);

    // Commands, from the buttons, the hot keys and the IP address list.
    void Parse();
    void Capture();
    void Pause();
    void Stop();
    void PickAdapter(int index);
    void HotKey(void (MainWindow::*command)());

    RecordingSettings CurrentSettings() const;
    int UniversesPerPort() const;
    void ApplySettings();
    // The Capture Frames field as a number; tells the user when it is none.
    std::optional<unsigned> ReadCaptureFrames();

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
    QLabel* m_elapsedDisplay = nullptr;  // the time recorded, mm:ss
    QLineEdit* m_captureFrames = nullptr;
    QCheckBox* m_rgbw = nullptr;
    QMenu* m_contextMenu = nullptr;
    QTimer* m_autoSelectTimer = nullptr;
    QTimer* m_finishTimer = nullptr;

    std::mutex m_inboxMutex;
    std::deque<Delivery> m_inbox;
    bool m_wakePending = false;
    bool m_closed = false;
    // The last number taken from Capture Frames: each refresh of the display writes it back,
    // so refused text does not stay in the field.
    unsigned m_captureFramesValue = kDefaultFrames;
    int m_frameBufferMb = kDefaultFrameBufferMb;
    std::unique_ptr<HotKeys> m_hotKeys;
    Recorder m_recorder;
};

}  // namespace quorvex::app
