#pragma once
// The main window: a thin Qt front-end. Every decision is the Recorder's; the window shows
// controls, carries calls from worker threads to its own thread and runs the dialogs.

#include <QCoreApplication>
#include <QDialog>
#include <QKeyCombination>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/version.h"
#include "recording/recorder.h"

class QAbstractButton;
class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QMessageBox;
class QPlainTextEdit;
class QSessionManager;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace quorvex::app {

class HotKeys;
class PreviewDialog;

// The project's version, from CMake; the About box shows it too.
inline constexpr char kCaption[] = "Quorvex V" QUORVEX_VERSION;
// Texts the window shows through tr(), in the source language of its translations.
inline constexpr char kHotKeysUnavailableFor[] = QT_TRANSLATE_NOOP(
    "quorvex::app::MainWindow",
    "System-wide hot keys are not available: %1 work while Quorvex has the focus.");
// What it says with the default keys.
inline constexpr char kHotKeysUnavailable[] =
    "System-wide hot keys are not available: Alt+F7/F8/F9 work while Quorvex has the focus.";
// A key another X client has grabbed reaches that client, whichever window has the focus.
inline constexpr char kHotKeysHeld[] =
    QT_TRANSLATE_NOOP("quorvex::app::MainWindow",
                      "Another program (often the desktop) has taken these hot keys, so they do "
                      "not reach Quorvex: %1. Pick others in Settings (right-click the window).");
inline constexpr char kHotKeyAlone[] =
    QT_TRANSLATE_NOOP("quorvex::app::MainWindow",
                      "%1 would be taken from every other program: hold Ctrl, Alt or Meta with "
                      "it, or choose a function key.");
inline constexpr char kHotKeyTwice[] =
    QT_TRANSLATE_NOOP("quorvex::app::MainWindow",
                      "Capture, Pause and Stop need keys of their own: %1 is chosen twice.");
inline constexpr char kUnsignedNeeded[] =
    QT_TRANSLATE_NOOP("quorvex::app::MainWindow", "Please enter an unsigned integer.");
// The adapter pre-selection runs this long after start.
inline constexpr int kAutoSelectDelayMs = 500;
// Where the window keeps its settings (QSettings).
inline constexpr char kSettingsOrganisation[] = "Quorvex";
inline constexpr char kSettingsApplication[] = "Quorvex";
inline constexpr char kFrameBufferKey[] = "frameBufferMb";
inline constexpr char kAdapterKey[] = "adapter";
// The hot keys of Capture, Pause and Stop, as QKeySequence's portable text.
inline constexpr const char* kHotKeyKeys[] = {"hotKeys/capture", "hotKeys/pause", "hotKeys/stop"};
inline constexpr int kMaxFrameBufferMb = 1 << 20;
inline constexpr char kDurationNeeded[] = QT_TRANSLATE_NOOP(
    "quorvex::app::MainWindow", "Please enter a duration as mm:ss, for example 02:30.");
// How often the live input view reads the counters.
inline constexpr int kInputViewMs = 250;
// The live input view's columns.
enum InputColumn {
    kColUniverse,
    kColRecorded,
    kColProtocol,
    kColSent,
    kColSource,
    kColName,
    kColPriority,
    kColPackets,
    kColFrames,
    kColLastSeen,
    kColLevel,
    kColCid,
    kInputColumns
};
// The channel grid: 32 lines of 16.
inline constexpr int kGridRows = 32;
inline constexpr int kGridColumns = 16;
inline constexpr char kWaitingForTrigger[] =
    QT_TRANSLATE_NOOP("quorvex::app::MainWindow", "waiting for start trigger");
// The folder Save As opened last, and what the Settings dialog keeps.
inline constexpr char kSaveFolderKey[] = "saveFolder";
inline constexpr char kControllerPortsKey[] = "controllerPorts";
inline constexpr char kNotesInRecordingFolderKey[] = "notesInRecordingFolder";

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
    // The same for the file dialog of "Preview a recording…".
    std::function<std::optional<std::string>(QFileDialog& dialog)> openRecordingHook;
    // When set, a question (closing while something runs, an unsaved recording) is handed to
    // this, configured, instead of being shown; it returns the button it chose.
    std::function<QAbstractButton*(QMessageBox& box)> questionHook;
    // The adapter pre-selection is still to run; the finish ticks run.
    bool AutoSelectPending() const;
    bool FinishTicksOn() const;
    void ShowAbout();
    // The settings dialog of the context menu; what it sets is kept for the next start.
    void ShowSettings();
    // "Save the last recording…": Save As for the working file a recording left unsaved.
    void SaveLastRecording();

    // RecorderHost
    void Log(const std::string& line) override;
    void WakeControl() override;
    void SetFinishTicks(bool on) override;
    void OnEvent(const RecorderEvent& event) override;
    std::optional<std::string> AskSavePath(const SaveRequest& request) override;

  public slots:
    // Cancel, Esc, Ctrl+Q and the close box: while Parse or a recording runs, or the last
    // recording waits unsaved, the user is asked first.
    void reject() override;
    // Closing for good, asked or not.
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
    // A warning over `parent`, the window when none is given.
    void MessageBox(const QString& text, QWidget* parent = nullptr);
    void ShowButtons(const ButtonStates& buttons);
    void ShowCaptureFrames();
    void ShowAdapters(const AdaptersListed& listed);
    void SelectAdapterLine(int index);
    void ShowFramesWritten(const FramesWritten& written);
    void ShowInput();
    void SelectInputRow();
    void ShowChannels();
    void ShowPixels();
    void ShowTriggerFields();
    void ShowSelectionFields();
    // Whether the window may close now; asks when something would be lost.
    bool ReadyToClose(bool sessionEnding);
    // The session ends (logging out): asked as for a close, or the recording is kept.
    void CommitData(QSessionManager& manager);
    QAbstractButton* Ask(QMessageBox& box);
    // Save As, in the folder used last, offering a name that is free there.
    std::optional<std::string> RunSaveAs(const SaveRequest& request);
    // The picture of a saved recording, and for a removable medium the offer to eject it.
    void AfterSaved(const std::string& path);
    void Eject();
    // The picture of the recording at `path` in the preview dialog. `asked`: the user chose
    // the file, so a failure gets a message box and the dialog comes to the front.
    void ShowPreview(const std::string& path, bool asked);
    // "Preview a recording…": asks for a file and shows its picture.
    void PreviewRecording();

    // Commands, from the buttons, the hot keys and the IP address list.
    void Parse();
    void Capture();
    void Pause();
    void Stop();
    void PickAdapter(int index);
    void RefreshAdapters();
    // The pre-selection: the adapter of the last run when it is listed, else the automatic one.
    void PreselectAdapter();
    void HotKey(void (MainWindow::*command)());
    // Grabs the chosen hot keys anew and shows them in the buttons' tooltips. `report`: the
    // log says which keys work only inside the window.
    void GrabHotKeys(bool report);

    RecordingSettings CurrentSettings() const;
    int UniversesPerPort() const;
    // The universes chosen for the recording; nothing, after telling the user, when the list
    // is no list of universes.
    std::optional<UniverseSelection> ReadSelection(bool tell);
    void ApplySettings();
    // The Capture Frames field as a number; tells the user when it is none.
    std::optional<unsigned> ReadCaptureFrames();
    // The Duration field in seconds, 0 when empty; tells the user when it is no duration.
    std::optional<double> ReadDuration();
    // The user's choices of the last run (QSettings), and keeping them for the next.
    void RestoreChoices();
    void StoreChoices();
    void StoreAdapter();
    // The first line of the adapter list for device `name`, or -1.
    int AdapterIndex(const std::string& name) const;
    // Line `index`, device `name`: selected and opened.
    void SelectAdapter(int index, const std::string& name);

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
    QPushButton* m_refresh = nullptr;
    QLineEdit* m_duration = nullptr;
    QComboBox* m_start = nullptr;
    QSpinBox* m_startUniverse = nullptr;
    QSpinBox* m_startChannel = nullptr;
    QSpinBox* m_startValue = nullptr;
    QCheckBox* m_stopWhenReleased = nullptr;
    QSpinBox* m_firstUniverse = nullptr;
    QLineEdit* m_universeList = nullptr;
    QLabel* m_triggerState = nullptr;
    QTableWidget* m_inputView = nullptr;
    QPushButton* m_clearInput = nullptr;
    QLabel* m_channelLabel = nullptr;
    QTableWidget* m_channelGrid = nullptr;
    QLabel* m_pixelLabel = nullptr;
    QLabel* m_pixelStrips = nullptr;
    int m_watchedUniverse = -1;  // the universe whose channels the grid shows; -1: none
    uint32_t m_watchedSource = 0;
    std::vector<uint32_t> m_rowSources;  // the sender of each row shown
    ChannelSnapshot m_shownChannels;
    QTimer* m_inputTimer = nullptr;
    QMenu* m_contextMenu = nullptr;
    QAction* m_saveLast = nullptr;
    QAction* m_eject = nullptr;
    PreviewDialog* m_preview = nullptr;  // made at its first use
    QTimer* m_autoSelectTimer = nullptr;
    QTimer* m_finishTimer = nullptr;

    std::mutex m_inboxMutex;
    std::deque<Delivery> m_inbox;
    bool m_wakePending = false;
    bool m_closed = false;
    // The last number taken from Capture Frames: each refresh of the display writes it back,
    // so refused text does not stay in the field.
    unsigned m_captureFramesValue = kDefaultFrames;
    // The duration last taken at Capture; a paused recording keeps it when it resumes.
    double m_durationSeconds = 0;
    bool m_idle = true;  // no survey or recording runs: the adapter list may be re-read
    InputRates m_inputRates;
    int m_frameBufferMb = kDefaultFrameBufferMb;
    int m_sacnOffset = kDefaultSacnOffset;  // sACN universe N is recorded as N - this
    bool m_joinMulticast = false;           // join the surveyed sACN universes' groups
    int m_controllerPorts = 0;              // outputs of the user's controller; 0: not given
    bool m_notesInRecordingFolder = false;  // the notes stay in the recording folder
    UniverseSelection m_selection;          // as last read from the fields
    bool m_closeAfterFinish = false;        // "Stop and save" was the answer to closing
    std::string m_ejectDevice;              // the removable medium saved to last
    // The hot keys of Capture, Pause and Stop.
    std::array<QKeyCombination, 3> m_hotKeyChoice;
    std::unique_ptr<HotKeys> m_hotKeys;
    Recorder m_recorder;
};

}  // namespace quorvex::app
