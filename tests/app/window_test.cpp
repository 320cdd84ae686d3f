// The main window on the offscreen platform: the start-up display, the controls' wiring, the
// recorder host under worker threads, the dialogs, and whole recordings from a capture file
// and (with capture rights) from live loopback traffic.

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "app/preview_dialog.h"
#include "app/window_language.h"
#include "recording/rgb_file.h"
#include "recording/rgb_format.h"
#include "recording/rgb_preview.h"
#include "tests/app/window_test_support.h"
#include "tests/support/recordings.h"
#include "tests/support/traffic_builder.h"

using namespace quorvex;
using namespace quorvex::test;
using app::MainWindow;

namespace {

constexpr size_t kHeader = 548;  // one port
constexpr size_t kFrame = 3072;  // six universes of 512 channels

QSettings Stored() {
    return QSettings(QString::fromLatin1(app::kSettingsOrganisation),
                     QString::fromLatin1(app::kSettingsApplication));
}

// The window, noting every recorder event and whether it came on another thread than the
// window's.
class SpyWindow : public MainWindow {
  public:
    using MainWindow::MainWindow;
    void OnEvent(const RecorderEvent& event) override {
        offThread |= QThread::currentThread() != thread();
        events.push_back(event);
        MainWindow::OnEvent(event);
    }
    template <class E>
    std::vector<E> Events() const {
        std::vector<E> found;
        for (const RecorderEvent& e : events) {
            if (const auto* x = std::get_if<E>(&e)) found.push_back(*x);
        }
        return found;
    }
    std::vector<RecorderEvent> events;
    bool offThread = false;
};

// Holds the writer back at frame 20 until `release` is set: the recording thread goes on into
// the frame buffer meanwhile. Let go when the test ends, however it ends.
struct HeldWriter {
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);
    ~HeldWriter() { *release = true; }
    std::function<void(uint32_t)> BeforeWrite() const {
        return [release = release](uint32_t frame) {
            for (int i = 0; frame >= 20 && !*release && i < 20000; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        };
    }
};

// What the test's Save As hook saw, and the answer it gave.
struct SaveAsSeen {
    int calls = 0;
    QString defaultName;
    QString folder;
    QStringList filters;
    QString suffix;
    bool confirmsOverwrite = false;
    QStringList listed;  // names the dialog shows in its folder
    QSize size;
    bool namesStretch = false;  // the name column takes what the others leave
    QList<QUrl> places;         // the side bar
};

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        // Every test starts as a first run: nothing kept by an earlier one.
        Stored().clear();
        m_dir = std::make_unique<test::TempDir>();
        m_responder = std::make_unique<test::ModalResponder>();
    }
    void cleanup() {
        m_window.reset();
        app::UseWindowLanguage(app::WindowLanguage::Original);
        m_responder.reset();
        m_dir.reset();
    }

    void startupDisplay() {
        MainWindow& w = Create();
        // Before any event: the adapter pre-selection has not run yet.
        auto* ip = Get<QComboBox>("ipCombo");
        QVERIFY(!ip->isEditable());
        QVERIFY(ip->count() > 0);
        // The IPv4 address first, then the name; an adapter without one by its name.
        const std::vector<DeviceEntry> adapters = StatusOf(w).adapters;
        for (int i = 0; i < ip->count(); ++i) {
            const DeviceEntry& d = adapters[static_cast<size_t>(i)];
            const std::string head = d.address.empty() ? d.name : d.address + "  " + d.name;
            QVERIFY2(ip->itemText(i).startsWith(QString::fromStdString(head)),
                     qPrintable(ip->itemText(i)));
        }
        QCOMPARE(ip->currentIndex(), 0);
        auto* ic = Get<QComboBox>("icTypeCombo");
        QVERIFY(!ic->isEditable());
        QCOMPARE(Items(ic), QStringList({"DMX512", "SPI&TTL", "TM1814"}));
        QCOMPARE(ic->currentText(), QStringLiteral("SPI&TTL"));
        auto* universes = Get<QComboBox>("universesCombo");
        QVERIFY(universes->isEditable());
        QCOMPARE(Items(universes), QStringList({"1", "2", "3", "4", "5", "6", "7", "8"}));
        QCOMPARE(universes->currentText(), QStringLiteral("6"));
        QCOMPARE(Get<QLineEdit>("captureFramesEdit")->text(), QStringLiteral("200"));
        QCOMPARE(Get<QLineEdit>("durationEdit")->text(), QString());
        QCOMPARE(Get<QSpinBox>("firstUniverseSpin")->value(), 0);
        QCOMPARE(Get<QLineEdit>("universeListEdit")->text(), QString());
        auto* start = Get<QComboBox>("startCombo");
        QCOMPARE(Items(start), QStringList({"On Capture", "First light", "Channel"}));
        QCOMPARE(start->currentIndex(), 0);
        QCOMPARE(Get<QLabel>("frameDisplay")->text(), QString());
        QVERIFY(!Get<QCheckBox>("rgbwCheck")->isChecked());
        QVERIFY(Get<QPushButton>("parseButton")->isEnabled());
        QVERIFY(Get<QPushButton>("captureButton")->isEnabled());
        QVERIFY(!Get<QPushButton>("pauseButton")->isEnabled());
        QVERIFY(!Get<QPushButton>("stopButton")->isEnabled());
        // The recorder has the controls' settings from the start.
        const RecordingSettings settings = StatusOf(w).settings;
        QCOMPARE(settings.icTypeIndex, 1);
        QCOMPARE(settings.universesPerPort, 6);
        QVERIFY(!settings.rgbw);
        QVERIFY(w.AutoSelectPending());
        QVERIFY(!w.FinishTicksOn());

        Show(w);
        QCOMPARE(w.windowTitle(), QStringLiteral("Quorvex V1.49.1"));
        QVERIFY(!w.windowIcon().isNull());
        const std::map<const char*, const char*> texts = {
            {"captureButton", "Cpature"},
            {"cancelButton", "Cancel"},
            {"parseButton", "Parse"},
            {"pauseButton", "Pause"},
            {"stopButton", "Stop"},
            {"ipLabel", "IP address："},
            {"icTypeLabel", "IC Type:"},
            {"universesLabel", "Universes/Port:"},
            {"currentFrameLabel", "Current frame num:"},
            {"captureFramesLabel", "Cpature Frames:"},
            {"refreshAdaptersButton", "Refresh"},
            {"durationLabel", "Duration (mm:ss):"},
            {"startLabel", "Start:"},
            {"stopWhenReleasedCheck", "Stop when released"},
            {"firstUniverseLabel", "First universe:"},
            {"universeListLabel", "Universes:"}};
        for (const auto& [name, text] : texts) {
            const QObject* o = Get<QWidget>(name);
            const QString shown = o->property("text").toString();
            QVERIFY2(shown == QString::fromUtf8(text), name);
        }
        QCOMPARE(Get<QGroupBox>("localNetworkBox")->title(), QStringLiteral("Local network"));
        QCOMPARE(Get<QGroupBox>("parametersBox")->title(), QStringLiteral("Parameters"));
        QCOMPARE(Get<QGroupBox>("logBox")->title(), QStringLiteral("Log"));
        QCOMPARE(Get<QGroupBox>("inputBox")->title(), QStringLiteral("Live input"));
        auto* input = Get<QTableWidget>("inputView");
        QStringList headers;
        for (int c = 0; c < input->columnCount(); ++c) {
            headers << input->horizontalHeaderItem(c)->text();
        }
        QCOMPARE(headers,
                 QStringList({"Universe", "Recorded", "Protocol", "Sent as", "Source", "Name",
                              "Priority", "Packets/s", "Frames/s", "Last seen", "Level", "CID"}));
        QCOMPARE(Get<QCheckBox>("rgbwCheck")->text(), QStringLiteral("RGBW"));
        QVERIFY(Get<QPushButton>("captureButton")->isDefault());
        auto* log = Get<QPlainTextEdit>("logPane");
        QVERIFY(log->isReadOnly());
        QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        // Long lines wrap: nothing needs scrolling sideways.
        QCOMPARE(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

        // Arrangement: boxes top to bottom, the button row under them, RGBW beside IC type.
        const auto top = [&](const char* n) { return Get<QWidget>(n)->mapTo(&w, QPoint()).y(); };
        QVERIFY(top("localNetworkBox") < top("parametersBox"));
        QVERIFY(top("parametersBox") < top("inputBox"));
        QVERIFY(top("inputBox") < top("logBox"));
        QVERIFY(top("logBox") < top("parseButton"));
        int lastX = -1;
        for (const char* b :
             {"parseButton", "captureButton", "pauseButton", "stopButton", "cancelButton"}) {
            const QPoint at = Get<QWidget>(b)->mapTo(&w, QPoint());
            QVERIFY2(at.x() > lastX && at.y() == top("parseButton"), b);
            lastX = at.x();
        }
        QVERIFY(Get<QWidget>("rgbwCheck")->x() > ic->geometry().right());

        // Tab order, and the focus on Cpature at start.
        QList<QWidget*> expected;
        for (const char* n : {"captureButton", "cancelButton", "ipCombo", "parseButton",
                              "pauseButton", "stopButton", "logPane", "icTypeCombo",
                              "universesCombo", "captureFramesEdit", "rgbwCheck"}) {
            expected << Get<QWidget>(n);
        }
        QList<QWidget*> chain;
        QWidget* x = expected.first();
        for (int guard = 0; guard < 500 && chain.size() < expected.size(); ++guard) {
            if (expected.contains(x) && !chain.contains(x)) chain << x;
            x = x->nextInFocusChain();
        }
        QCOMPARE(chain, expected);
        QCOMPARE(QApplication::focusWidget(), expected.first());

        // The one-shot pre-selection runs and ends its timer.
        QTRY_VERIFY(!w.AutoSelectPending());
        QVERIFY(m_responder->seen.empty());
    }

    void hostCallsFromManyThreads() {
        SpyWindow& w = Show(Create());
        QTRY_VERIFY(!w.AutoSelectPending());
        const size_t eventsBefore = w.events.size();
        constexpr int kThreads = 4, kLines = 400;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&w, t] {
                for (int i = 0; i < kLines; ++i) {
                    w.Log("thread " + std::to_string(t) + " line " + std::to_string(i));
                    w.WakeControl();
                }
            });
        }
        for (auto& t : threads) t.join();
        const auto ours = [&] { return LogLines(w).filter(QRegularExpression("^thread ")); };
        QTRY_COMPARE_WITH_TIMEOUT(ours().size(), kThreads * kLines, 20000);
        std::vector<int> next(kThreads, 0);
        const QRegularExpression whole("^thread (\\d) line (\\d+)$");
        for (const QString& line : ours()) {
            const auto m = whole.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            QCOMPARE(m.captured(2).toInt(), next[m.captured(1).toInt()]++);
        }
        // A name from a packet or a file shows its control characters escaped.
        w.Log("from \x1b]0;owned\x07 sender");
        QVERIFY(WaitForLog(w, QStringLiteral("from \\x1b]0;owned\\x07 sender")));
        // The newest line comes into view, also after the user scrolled up.
        QScrollBar* bar = Get<QPlainTextEdit>("logPane")->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(0);
        w.Log("newest");
        QVERIFY(WaitForLog(w, "newest"));
        QCOMPARE(bar->value(), bar->maximum());
        // Wake-ups with nothing handed over change nothing.
        QCOMPARE(w.events.size(), eventsBefore);
        QCOMPARE(StatusOf(w).phase, Phase::Idle);
    }

    void typedFields() {
        MainWindow& w = Show(Create());
        auto* frames = Get<QLineEdit>("captureFramesEdit");
        frames->clear();
        QTest::keyClicks(frames, "12x");
        Click(w, "captureButton");
        // Only the prompt: Capture goes no further with a value the user must correct.
        QTRY_COMPARE(m_responder->seen.size(), size_t{1});
        const auto& prompt = m_responder->seen[0];
        QCOMPARE(prompt.kind, QStringLiteral("box"));
        QCOMPARE(prompt.title, QStringLiteral("Quorvex"));
        QCOMPARE(prompt.texts, QStringList{app::kUnsignedNeeded});
        QCOMPARE(prompt.buttons.size(), 1);
        QCOMPARE(w.focusWidget(), frames);  // where the focus is when the window is active
        QCOMPARE(StatusOf(w).maxFrames, 200u);

        // Capture before any Parse surveys first, without a message box (here finding nothing).
        OpenEmptyCapture(w, m_dir->File("empty.pcap"));
        frames->setText(" 350 ");
        Click(w, "captureButton");
        QVERIFY(WaitForLog(w, kSurveyFirst));
        QVERIFY(WaitForLog(w, kNothingToRecord));
        QCOMPARE(m_responder->seen.size(), size_t{1});
        QCOMPARE(StatusOf(w).maxFrames, 350u);

        // Picking an IP address checks the field too; it then shows the number last taken.
        QTRY_VERIFY(!w.AutoSelectPending());
        frames->setText("-1");
        PickIpLine(w, 0);
        QTRY_VERIFY(m_responder->seen.size() >= 2);
        QCOMPARE(m_responder->seen[1].texts, QStringList{app::kUnsignedNeeded});
        QTRY_COMPARE(frames->text(), QStringLiteral("350"));
        m_responder->seen.clear();

        // Universes/Port: text typed over the selection counts, not the selected line.
        QLineEdit* typed = Get<QComboBox>("universesCombo")->lineEdit();
        for (const auto& [text, perPort] :
             {std::pair{"3", 3}, std::pair{"6", 6}, std::pair{"9", 0}, std::pair{"", 0}}) {
            typed->clear();
            QTest::keyClicks(typed, text);
            QCOMPARE(StatusOf(w).settings.universesPerPort, perPort);
        }
        Get<QComboBox>("universesCombo")->setCurrentIndex(1);
        QCOMPARE(StatusOf(w).settings.universesPerPort, 2);

        QTest::keyClick(Get<QComboBox>("icTypeCombo"), Qt::Key_Down);
        QCOMPARE(StatusOf(w).settings.icTypeIndex, 2);
        QTest::mouseClick(Get<QCheckBox>("rgbwCheck"), Qt::LeftButton);
        QVERIFY(StatusOf(w).settings.rgbw);
    }

    void aboutFromContextMenu() {
        Show(Create());
        // A right click on the window background (here over a group box) opens the menu.
        QWidget* box = Get<QWidget>("parametersBox");
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(4, 4),
                                box->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(box, &event);
        QTRY_COMPARE(m_responder->seen.size(), size_t{2});
        QCOMPARE(m_responder->seen[0].kind, QStringLiteral("menu"));
        QCOMPARE(m_responder->seen[0].texts,
                 (QStringList{"关于 Quorvex(&A)...", "Settings…", "Preview a recording…",
                              "Save the last recording…", "Eject"}));
        const auto& about = m_responder->seen[1];
        QCOMPARE(about.title, QStringLiteral("关于 Quorvex"));
        QCOMPARE(about.texts.size(), 2);
        QCOMPARE(about.texts[0], QStringLiteral("Quorvex，版本 1.49.1"));  // the title's version
        QCOMPARE(about.buttons, QStringList{"确定"});
        QVERIFY(about.hasPixmap);
    }

    void languageFromEnvironment_data() {
        QTest::addColumn<QByteArrayList>("lcAllLcMessagesLang");
        QTest::addColumn<int>("language");
        const int original = int(app::WindowLanguage::Original),
                  en = int(app::WindowLanguage::English), zh = int(app::WindowLanguage::Chinese);
        // LC_ALL, LC_MESSAGES, LANG and QUORVEX_TEXTS.
        QTest::newRow("unset") << QByteArrayList{"", "", "", ""} << en;
        QTest::newRow("C.UTF-8") << QByteArrayList{"", "", "C.UTF-8", ""} << en;
        QTest::newRow("POSIX") << QByteArrayList{"", "", "POSIX", ""} << en;
        QTest::newRow("German") << QByteArrayList{"", "", "de_DE.UTF-8", ""} << en;
        QTest::newRow("LANG") << QByteArrayList{"", "", "en_GB.UTF-8", ""} << en;
        QTest::newRow("LC_MESSAGES") << QByteArrayList{"", "zh_CN.UTF-8", "en_US.UTF-8", ""} << zh;
        QTest::newRow("LC_ALL") << QByteArrayList{"C", "zh_CN.UTF-8", "zh_CN.UTF-8", ""} << en;
        QTest::newRow("original") << QByteArrayList{"", "", "zh_CN.UTF-8", "original"} << original;
    }
    void languageFromEnvironment() {
        QFETCH(QByteArrayList, lcAllLcMessagesLang);
        QFETCH(int, language);
        const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG", "QUORVEX_TEXTS"};
        QByteArrayList saved;
        for (int i = 0; i < 4; ++i) {
            saved << qgetenv(names[i]);
            qputenv(names[i], lcAllLcMessagesLang[i]);
        }
        const app::WindowLanguage chosen = app::WindowLanguageFromEnvironment();
        for (int i = 0; i < 4; ++i) qputenv(names[i], saved[i]);
        QCOMPARE(int(chosen), language);
    }

    // Capture and its tooltip, the file filter, the About box and a message box with its button.
    void windowInEachLanguage_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("texts");
        const auto row = [](const char* name, app::WindowLanguage language, QStringList texts) {
            QTest::newRow(name) << int(language) << texts;
        };
        row("Original", app::WindowLanguage::Original,
            {"Cpature", "Capture (Alt+F7)", "rgb文件(*.RGB)", "关于 Quorvex",
             "Quorvex，版本 1.49.1", "确定", app::kUnsignedNeeded, "OK"});
        row("English", app::WindowLanguage::English,
            {"Capture", "Capture (Alt+F7)", "RGB files (*.RGB)", "About Quorvex",
             "Quorvex, version 1.49.1", "OK", "Please enter a whole number of 0 or more.", "OK"});
        row("Chinese", app::WindowLanguage::Chinese,
            {"采集", "采集（Alt+F7）", "RGB 文件 (*.RGB)", "关于 Quorvex", "Quorvex，版本 1.49.1",
             "确定", "请输入一个非负整数。", "确定"});
    }
    void windowInEachLanguage() {
        QFETCH(int, language);
        QFETCH(QStringList, texts);
        app::UseWindowLanguage(static_cast<app::WindowLanguage>(language));
        MainWindow& w = Show(Create());
        QStringList filters;
        w.openRecordingHook = [&](QFileDialog& d) -> std::optional<std::string> {
            filters = d.nameFilters();
            return std::nullopt;
        };
        Get<QMenu>("contextMenu")->actions().at(2)->trigger();  // Preview a recording…
        w.ShowAbout();
        Get<QLineEdit>("captureFramesEdit")->setText("x");
        Click(w, "captureButton");
        QTRY_COMPARE(m_responder->seen.size(), size_t{2});
        const auto& about = m_responder->seen[0];
        const auto& box = m_responder->seen[1];
        QCOMPARE((QStringList{Get<QPushButton>("captureButton")->text(),
                              Get<QPushButton>("captureButton")->toolTip(), filters.value(0),
                              about.title, about.texts.value(0), about.buttons.value(0),
                              box.texts.value(0), box.buttons.value(0)}),
                 texts);
    }

    void settingsAreKeptForTheNextStart() {
        MainWindow& w = Show(Create());
        m_responder.reset();  // this test answers the dialog itself
        QCOMPARE(StatusOf(w).settings.frameBufferMb, kDefaultFrameBufferMb);
        for (const bool accept : {true, false}) {
            QStringList labels;
            const auto fill = [&](QDialog& dialog) {
                for (QLabel* l : dialog.findChildren<QLabel*>()) labels << l->text();
                dialog.findChild<QSpinBox*>(QStringLiteral("frameBufferSpin"))
                    ->setValue(accept ? 64 : 128);
                dialog.findChild<QSpinBox*>(QStringLiteral("sacnOffsetSpin"))
                    ->setValue(accept ? 0 : 7);
                dialog.findChild<QCheckBox*>(QStringLiteral("joinMulticastCheck"))
                    ->setChecked(true);
                dialog.findChild<QSpinBox*>(QStringLiteral("controllerPortsSpin"))
                    ->setValue(accept ? 8 : 16);
                dialog.findChild<QCheckBox*>(QStringLiteral("notesInRecordingFolderCheck"))
                    ->setChecked(true);
            };
            QCOMPARE(RunSettings(w, {fill}, accept), QStringList());
            QCOMPARE(labels, (QStringList{"Frame buffer (MB)", "sACN offset", "Controller ports",
                                          "Capture key", "Pause key", "Stop key"}));
            QCOMPARE(StatusOf(w).settings.frameBufferMb, 64);
            QCOMPARE(StatusOf(w).settings.controllerPorts, 8);
        }
        m_window.reset();
        const RecordingSettings kept = StatusOf(Create()).settings;
        QCOMPARE(kept.frameBufferMb, 64);
        QCOMPARE(kept.sacnOffset, 0);
        QVERIFY(kept.joinMulticast);
        QCOMPARE(kept.controllerPorts, 8);
        QVERIFY(kept.notesInRecordingFolder);
    }

    void recordingChoices() {
        MainWindow& w = Show(Create());
        // The trigger's fields count only for Channel.
        const char* fields[] = {"startUniverseSpin", "startChannelSpin", "startValueSpin",
                                "stopWhenReleasedCheck"};
        for (const char* f : fields) QVERIFY2(!Get<QWidget>(f)->isEnabled(), f);
        Get<QComboBox>("startCombo")->setCurrentIndex(2);
        for (const char* f : fields) QVERIFY2(Get<QWidget>(f)->isEnabled(), f);
        Get<QSpinBox>("startUniverseSpin")->setValue(5);
        Get<QSpinBox>("startChannelSpin")->setValue(7);
        Get<QSpinBox>("startValueSpin")->setValue(200);
        QTest::mouseClick(Get<QCheckBox>("stopWhenReleasedCheck"), Qt::LeftButton);
        const StartTrigger trigger{StartTrigger::Kind::Channel, 5, 7, 200, true};
        QCOMPARE(StatusOf(w).settings.start, trigger);

        // A duration that is none stops Capture with the one prompt.
        auto* duration = Get<QLineEdit>("durationEdit");
        for (const char* text : {"2:3x", "00:00", "-5"}) {
            duration->setText(text);
            Click(w, "captureButton");
            QTRY_COMPARE(m_responder->seen.size(), size_t{1});
            QCOMPARE(m_responder->seen[0].texts, QStringList{app::kDurationNeeded});
            QCOMPARE(w.focusWidget(), duration);
            m_responder->seen.clear();
        }
        // A list of universes that is none stops Capture and Parse the same way; a list
        // disables the first universe, as its first is the list's.
        auto* list = Get<QLineEdit>("universeListEdit");
        Get<QSpinBox>("firstUniverseSpin")->setValue(40);
        QCOMPARE(StatusOf(w).settings.selection, (UniverseSelection{40, {}}));
        list->setText("100-x");
        QVERIFY(!Get<QWidget>("firstUniverseSpin")->isEnabled());
        for (const char* button : {"captureButton", "parseButton"}) {
            Click(w, button);
            QTRY_COMPARE(m_responder->seen.size(), size_t{1});
            QCOMPARE(m_responder->seen[0].texts,
                     QStringList{"Universes: \"100-x\" is not a universe (0..32767) or a range "
                                 "like 0-5"});
            QCOMPARE(w.focusWidget(), list);
            m_responder->seen.clear();
        }
        list->setText("200, 100-102");
        QCOMPARE(StatusOf(w).settings.selection, (UniverseSelection{0, {100, 101, 102, 200}}));
        emit list->editingFinished();

        // A good one goes to the recorder with the rest at Capture (which here surveys a
        // capture file without packets, and so records nothing).
        OpenEmptyCapture(w, m_dir->File("empty.pcap"));
        duration->setText("02:30");
        Get<QLineEdit>("captureFramesEdit")->setText("350");
        Get<QComboBox>("icTypeCombo")->setCurrentIndex(0);
        Get<QComboBox>("universesCombo")->setCurrentIndex(2);
        Get<QCheckBox>("rgbwCheck")->setChecked(true);
        Click(w, "captureButton");
        QVERIFY(WaitForLog(w, kNothingToRecord));
        QVERIFY(m_responder->seen.empty());
        QCOMPARE(StatusOf(w).settings.durationSeconds, 150.0);
        QCOMPARE(StatusOf(w).maxFrames, 350u);
        duration->clear();
        Click(w, "captureButton");
        QTRY_COMPARE(LogLines(w).count(kNothingToRecord), 2);
        QCOMPARE(StatusOf(w).settings.durationSeconds, 0.0);
        duration->setText("90s");
        emit duration->editingFinished();

        // The next start shows the same choices and hands them to the recorder.
        m_window.reset();
        MainWindow& again = Create();
        QCOMPARE(Get<QLineEdit>("durationEdit")->text(), QStringLiteral("90s"));
        QCOMPARE(Get<QLineEdit>("captureFramesEdit")->text(), QStringLiteral("350"));
        QCOMPARE(Get<QComboBox>("startCombo")->currentIndex(), 2);
        QVERIFY(Get<QWidget>("startUniverseSpin")->isEnabled());
        const RecordingSettings kept = StatusOf(again).settings;
        QCOMPARE(kept.start, trigger);
        QCOMPARE(kept.icTypeIndex, 0);
        QCOMPARE(kept.universesPerPort, 3);
        QVERIFY(kept.rgbw);
        QCOMPARE(Get<QLineEdit>("universeListEdit")->text(), QStringLiteral("200, 100-102"));
        QCOMPARE(Get<QSpinBox>("firstUniverseSpin")->value(), 40);
        QCOMPARE(kept.selection, (UniverseSelection{0, {100, 101, 102, 200}}));
    }

    void adapterList() {
        MainWindow& w = Show(Create());
        QTRY_VERIFY(!w.AutoSelectPending());
        auto* ip = Get<QComboBox>("ipCombo");
        const std::vector<DeviceEntry> adapters = StatusOf(w).adapters;
        const auto line = [&](const std::string& name) {
            for (int i = 0; i < ip->count(); ++i) {
                if (adapters[static_cast<size_t>(i)].name == name) return i;
            }
            return -1;
        };
        const int lo = line("lo");
        QVERIFY(lo >= 0);
        QVERIFY(ip->itemText(lo).startsWith(QStringLiteral("127.0.0.1  lo")));
        // Lines without an address can be chosen; a refresh keeps the adapter chosen.
        std::vector<std::string> names;
        for (int i = 0; i < ip->count(); ++i) {
            const DeviceEntry& d = adapters[static_cast<size_t>(i)];
            if (d.address.empty() && names.empty()) names.push_back(d.name);
        }
        names.push_back("lo");
        for (const std::string& name : names) {
            PickIpLine(w, line(name));
            QCOMPARE(StatusOf(w).adapterName, name);
            Click(w, "refreshAdaptersButton");
            QCOMPARE(ip->currentIndex(), line(name));
            QCOMPARE(StatusOf(w).adapterName, name);
        }
        // The next start selects the adapter chosen last instead of the automatic choice.
        m_window.reset();
        MainWindow& again = Create();
        QTRY_VERIFY(!again.AutoSelectPending());
        QCOMPARE(Get<QComboBox>("ipCombo")->currentIndex(), lo);
        QCOMPARE(StatusOf(again).adapterName, std::string("lo"));
    }

    void hotKeysWhileFocused() {
        // Offscreen is not X11: the keys work inside the window, and the log says so once.
        MainWindow& w = Show(Create());
        QVERIFY(WaitForLog(w, app::kHotKeysUnavailable));
        QCOMPARE(LogLines(w).count(app::kHotKeysUnavailable), 1);
        QCOMPARE(HotKeyTips(),
                 (QStringList{"Capture (Alt+F7)", "Pause (Alt+F8)", "Stop (Alt+F9)"}));
        QTest::keyClick(&w, Qt::Key_F8, Qt::AltModifier);
        QVERIFY(WaitForLog(w, "Paused......"));
        OpenEmptyCapture(w, m_dir->File("empty.pcap"));
        QTest::keyClick(&w, Qt::Key_F7, Qt::AltModifier);
        QVERIFY(WaitForLog(w, kSurveyFirst));
        QVERIFY(WaitForLog(w, kNothingToRecord));
        QVERIFY(m_responder->seen.empty());

        // Keys of the user's choice, one per command: used at once and kept.
        m_responder.reset();
        const QStringList boxes = RunSettings(w, {ChooseKeys({"Ctrl+1", "Ctrl+1", "Alt+F9"}),
                                                  ChooseKeys({"Ctrl+1", "Shift+P", "Alt+F9"}),
                                                  ChooseKeys({"Ctrl+1", "Shift+F8", "Alt+F9"})});
        QCOMPARE(boxes, (QStringList{QString(app::kHotKeyTwice).arg("Ctrl+1"),
                                     QString(app::kHotKeyAlone).arg("Shift+P")}));
        QVERIFY(WaitForLog(w, QString(app::kHotKeysUnavailableFor).arg("Ctrl+1/Shift+F8/Alt+F9")));
        QCOMPARE(HotKeyTips(),
                 (QStringList{"Capture (Ctrl+1)", "Pause (Shift+F8)", "Stop (Alt+F9)"}));
        w.activateWindow();  // which the offscreen platform does not do when the dialog ends
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const qsizetype paused = LogLines(w).count("Paused......");
        QTest::keyClick(&w, Qt::Key_F8, Qt::AltModifier);  // no longer Pause
        QTest::keyClick(&w, Qt::Key_F8, Qt::ShiftModifier);
        QTRY_COMPARE(LogLines(w).count("Paused......"), paused + 1);
        m_window.reset();
        Create();
        QCOMPARE(HotKeyTips(),
                 (QStringList{"Capture (Ctrl+1)", "Pause (Shift+F8)", "Stop (Alt+F9)"}));
    }

    void closeWithoutPrompt_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Cancel") << 0;
        QTest::newRow("Esc") << 1;
        QTest::newRow("close box") << 2;
        QTest::newRow("Ctrl+Q") << 3;
    }
    void closeWithoutPrompt() {
        QFETCH(int, how);
        MainWindow& w = Show(Create());
        if (how == 0) Click(w, "cancelButton");
        if (how == 1) QTest::keyClick(&w, Qt::Key_Escape);
        if (how == 2) w.close();
        if (how == 3) QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!w.isVisible());
        QVERIFY(!w.AutoSelectPending());
        QVERIFY(!w.FinishTicksOn());
        QVERIFY(m_responder->seen.empty());
    }

    void unsavedRecordingIsReportedAtStart() {
        // What a crash or a cancelled save leaves: a header and three frames.
        std::filesystem::create_directories(m_dir->File("rec"));
        PortLayout layout;
        layout.portCount = 1;
        layout.portLengths = {8};
        layout.frameLength = 8;
        test::Bytes bytes = BuildRgbHeader(layout, 6, false);
        bytes.resize(bytes.size() + 3 * 8, 0x42);
        {
            std::ofstream out(m_dir->File("rec/temp.RGB"), std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
        MainWindow& w = Show(Create());
        QVERIFY(
            WaitForLog(w, QString::fromStdString("An unsaved recording of 3 frames is kept in " +
                                                 m_dir->File("rec/temp.RGB") +
                                                 "; the next Capture moves it aside.")));
    }

    void recordFromCaptureFile() {
        SpyWindow& w = Show(Create());
        std::filesystem::create_directories(m_dir->File("rec"));
        for (const char* name : {"old.rgb", "older.RGB", "notes.txt"}) {
            std::ofstream(m_dir->File("rec/") + name) << "x";
        }
        SaveAsSeen seen;
        AnswerSaveAs(w, seen, m_dir->File("rec/scene.rgb"));
        SurveyShow(w);
        if (QTest::currentTestFailed()) return;
        Get<QLineEdit>("durationEdit")->setText("02:30");  // longer than the 200 frames
        Click(w, "captureButton");
        QTRY_COMPARE_WITH_TIMEOUT(seen.calls, 1, 30000);
        QCOMPARE(seen.defaultName, QStringLiteral("Sc-01-01.RGB"));
        QCOMPARE(seen.filters, QStringList{"rgb文件(*.RGB)"});
        QCOMPARE(seen.suffix, QStringLiteral("RGB"));
        QVERIFY(seen.confirmsOverwrite);
        QVERIFY(seen.listed.contains("old.rgb") && seen.listed.contains("older.RGB"));
        QVERIFY(!seen.listed.contains("notes.txt"));
        // Nothing clipped, within a 1280x800 screen; the recording folder among the places.
        QVERIFY(seen.namesStretch);
        QVERIFY(seen.size.width() >= 700 && seen.size.width() <= 1280);
        QVERIFY(seen.size.height() >= 500 && seen.size.height() <= 800);
        QVERIFY(
            seen.places.contains(QUrl::fromLocalFile(QString::fromStdString(m_dir->File("rec")))));

        const std::string saved = m_dir->File("rec/scene.RGB");
        QVERIFY(WaitForLog(w, QString::fromStdString("Saved: " + saved)));
        CheckRecording(saved, 200);
        QCOMPARE(FrameDisplay(w), 200u);  // the display follows the frames written
        // 200 frames at 40 frames a second, by the capture's timestamps.
        QCOMPARE(Get<QLabel>("elapsedDisplay")->text(), QStringLiteral("00:05 / 02:25 left"));
        QVERIFY(Get<QPushButton>("parseButton")->isEnabled());
        QVERIFY(Get<QPushButton>("captureButton")->isEnabled());
        QVERIFY(!Get<QPushButton>("pauseButton")->isEnabled());
        QVERIFY(!Get<QPushButton>("stopButton")->isEnabled());
        QVERIFY(m_responder->seen.empty());

        // What the workers handed over reached the recorder on the window thread.
        QVERIFY(!w.offThread);
        std::vector<Phase> phases;
        for (const PhaseChanged& e : w.Events<PhaseChanged>()) phases.push_back(e.phase);
        QCOMPARE(phases, (std::vector<Phase>{Phase::Surveying, Phase::Idle, Phase::Recording,
                                             Phase::Stopping, Phase::Finishing, Phase::Idle}));
        std::vector<uint32_t> written;
        for (const FramesWritten& e : w.Events<FramesWritten>()) written.push_back(e.frames);
        QVERIFY(!written.empty() && std::is_sorted(written.begin(), written.end()));
        QCOMPARE(written.front(), 0u);  // the counters start from nothing
        QCOMPARE(written.back(), 200u);
        QCOMPARE(w.Events<SurveyFinished>().size(), size_t{1});
        QVERIFY(!w.FinishTicksOn());

        // The saved recording's picture shows in a window of its own: a row for each frame,
        // a pixel for each 3 bytes, the same picture the renderer draws from the file.
        QTRY_VERIFY(Preview() && Preview()->isVisible());
        QCOMPARE(Preview()->windowTitle(), QStringLiteral("Preview – scene.RGB"));
        const test::Recording rec = test::ReadRecording(saved);
        const auto drawn = RenderPreview(
            rec.header,
            [&](uint32_t i, std::vector<uint8_t>& bytes) -> Status {
                bytes = rec.frames.at(i);
                return {};
            },
            RenderOptions{saved});
        QVERIFY(drawn.ok());
        QCOMPARE(drawn->width, int{kFrame / 3});
        QCOMPARE(drawn->height, drawn->framesTop + 200);
        // The frames as drawn, under the figures in the window's language instead of the
        // drawn strip; 1:1 is the picture itself, x2 twice its size, Fit the window's.
        QCOMPARE(Preview()->findChild<QLabel*>(QStringLiteral("previewFigures"))->text(),
                 QStringLiteral("200 frames, 1 ports, 1024 pixels per port, RGB, SPI&TTL"));
        const QImage frames = QImage(drawn->rgb.data(), drawn->width, drawn->height,
                                     drawn->width * 3, QImage::Format_RGB888)
                                  .copy(0, drawn->framesTop, drawn->width, 200);
        Preview()->SetZoom(app::PreviewDialog::Actual);
        QCOMPARE(PreviewImage(), frames);
        Preview()->SetZoom(app::PreviewDialog::Times2);
        QCOMPARE(PreviewImage().size(), frames.size() * 2);
        QCOMPARE(PreviewImage().pixel(3, 5), frames.pixel(1, 2));
        Preview()->SetZoom(app::PreviewDialog::Fit);
        QCOMPARE(PreviewImage().size(), Preview()->findChild<QScrollArea*>()->viewport()->size());
        // Beside it, the LEDs of a chosen frame: frame 3's first and last pixels.
        Preview()->findChild<QSpinBox*>(QStringLiteral("previewFrame"))->setValue(3);
        const QImage strips = Preview()->Strips();
        QCOMPARE(strips.size(), QSize(1024 * app::kLedWidth, app::kLedHeight + 2));
        QCOMPARE(strips.pixel(1, 1), frames.pixel(0, 2));
        QCOMPARE(strips.pixel(1023 * app::kLedWidth, app::kLedHeight - 1), frames.pixel(1023, 2));
        QVERIFY(m_responder->seen.empty());

        // A new Capture shows its own counters from the start, also while it awaits a trigger.
        const size_t before = w.Events<FramesWritten>().size();
        Get<QComboBox>("startCombo")->setCurrentIndex(1);  // first light
        AnswerSaveAs(w, seen, m_dir->File("rec/again.RGB"));
        Click(w, "captureButton");
        QTRY_VERIFY(w.Events<FramesWritten>().size() > before);
        QCOMPARE(w.Events<FramesWritten>()[before].frames, 0u);
        QTRY_COMPARE_WITH_TIMEOUT(seen.calls, 1, 30000);
        QVERIFY(WaitForLog(w, QString::fromStdString("Saved: " + m_dir->File("rec/again.RGB"))));
    }

    void previewFromTheMenu() {
        MainWindow& w = Show(Create());
        // A recording of three frames, the same cut short, and text.
        const PortLayout layout{1, {6}, 6};
        test::Bytes whole = BuildRgbHeader(layout, 6, false);
        whole[kRgbFrameCountOffset + 1] = 3;
        whole.resize(whole.size() + 3 * 6, 0x40);
        const auto write = [&](const char* name, const test::Bytes& bytes) {
            std::ofstream(m_dir->File(name), std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
            return m_dir->File(name);
        };
        const std::string cut = write("cut.RGB", test::Bytes(whole.begin(), whole.end() - 1));
        const std::string junk = write("junk.RGB", test::Bytes(40, 'x'));
        const std::string good = write("good.RGB", whole);

        QStringList filters;
        std::string answer;
        w.openRecordingHook = [&](QFileDialog& d) -> std::optional<std::string> {
            filters = d.nameFilters();
            return answer;
        };
        const auto open = [&](const std::string& path) {
            answer = path;
            for (QAction* a : Get<QMenu>("contextMenu")->actions()) {
                if (a->text() == QStringLiteral("Preview a recording…")) a->trigger();
            }
        };
        open(cut);
        open(junk);
        QCOMPARE(filters, QStringList{"rgb文件(*.RGB)"});
        QCOMPARE(m_responder->seen.size(), size_t{2});
        // The reasons inspect gives: every reader checks a recording the same way.
        QCOMPARE(m_responder->seen[0].texts,
                 QStringList{"Cannot preview cut.RGB: the file ends 5 bytes into a frame "
                             "(truncated?)."});
        QCOMPARE(m_responder->seen[1].texts,
                 QStringList{"Cannot preview junk.RGB: the header declares 30840 ports and needs "
                             "401455 bytes, the file has 40."});
        QVERIFY(!Preview());

        open(good);
        QVERIFY(Preview() && Preview()->isVisible());
        QCOMPARE(Preview()->windowTitle(), QStringLiteral("Preview – good.RGB"));
        QCOMPARE(PreviewImage().pixel(0, PreviewImage().height() - 1), qRgb(0x40, 0x40, 0x40));
        // Three frames fill the window, each a band.
        QVERIFY(PreviewImage().height() >= 100);
        Preview()->SetZoom(app::PreviewDialog::Actual);
        QCOMPARE(PreviewImage().size(), QSize(2, 3));
        QCOMPARE(m_responder->seen.size(), size_t{2});
    }

    void stopWhileTheWriterLags() {
        // The writer holds frame 20 back. The recording thread goes on into the frame buffer,
        // but the finish waits for every frame to reach the disk: the ticks go on until then.
        const HeldWriter held;
        std::atomic<bool>& release = *held.release;
        SpyWindow& w = Show(Create(held.BeforeWrite()));
        SaveAsSeen seen;
        AnswerSaveAs(w, seen, m_dir->File("rec/stopped.rgb"));
        SurveyShow(w);
        if (QTest::currentTestFailed()) return;
        Click(w, "captureButton");
        QTRY_VERIFY_WITH_TIMEOUT(StatusOf(w).framesCompleted >= 21, 20000);
        Click(w, "stopButton");
        QVERIFY(w.FinishTicksOn());
        QTRY_COMPARE_WITH_TIMEOUT(StatusOf(w).framesWritten, 19u, 20000);
        // Ticks that find the writer held up: the finish waits.
        for (int tick = 0; tick < 3; ++tick) w.recorder().FinishTick();
        QCOMPARE(StatusOf(w).phase, Phase::Stopping);
        QCOMPARE(seen.calls, 0);
        QCOMPARE(StatusOf(w).framesWritten, 19u);
        release = true;

        const std::string saved = m_dir->File("rec/stopped.RGB");
        QVERIFY(WaitForLog(w, QString::fromStdString("Saved: " + saved)));
        QCOMPARE(seen.calls, 1);
        const uint32_t frames = FrameDisplay(w);
        QVERIFY(frames >= 21 && frames <= 200);
        CheckRecording(saved, frames);
        QVERIFY(!w.FinishTicksOn());
        ExpectButtons(true, true, false, false);
        QVERIFY(m_responder->seen.empty());
    }

    void liveLoopbackRecording() {
        if (!CanCaptureOn("lo")) QSKIP(kNoRightsMessage);
        MainWindow& w = Show(Create());
        test::ArtSender sender;
        StartLive(w);
        if (QTest::currentTestFailed()) return;
        // The live view: a line per universe of the sender, its highest value 255, each the
        // one the recording takes.
        const QStringList universes{"0", "1", "2", "3", "4", "5"};
        QTRY_COMPARE(InputColumn(0), universes);
        QCOMPARE(InputColumn(4), QStringList(6, QStringLiteral("127.0.0.1")));
        QCOMPARE(InputColumn(2), QStringList(6, QStringLiteral("Art-Net")));
        QTRY_COMPARE(InputColumn(1), QStringList(6, QStringLiteral("\u25CF")));
        QTRY_COMPARE(InputColumn(10), QStringList(6, QStringLiteral("255")));
        QTRY_VERIFY(InputColumn(8).value(0).toDouble() > 0);  // frames per second
        // A row chosen: its universe's channels, the sent pattern's (channel c is channel 0
        // plus c), several times a second.
        auto* grid = Get<QTableWidget>("channelGrid");
        QVERIFY(!grid->isVisible());
        Get<QTableWidget>("inputView")->selectRow(2);
        QTRY_VERIFY(grid->isVisible() && grid->item(31, 15) &&
                    !grid->item(31, 15)->text().isEmpty());
        QTRY_COMPARE(Get<QLabel>("channelLabel")->text(),
                     QStringLiteral("Universe 2: 512 channels, changes highlighted"));
        const int first = grid->item(0, 0)->text().toInt();
        QCOMPARE(grid->item(31, 15)->text().toInt(), (first + 511) % 256);
        Click(w, "clearInputButton");
        QTRY_COMPARE(InputColumn(0), universes);  // the sender is still there
        // The LEDs of the one port, RGB: the first LED is channels 0 to 2 of universe 0.
        auto* strips = Get<QLabel>("pixelStrips");
        QTRY_VERIFY(strips->isVisible() && !strips->pixmap().isNull());
        const QImage leds = strips->pixmap().toImage();
        QCOMPARE(leds.width(), 1024 * app::kLedWidth);  // 3072 bytes, 3 a pixel
        const QRgb led = leds.pixel(0, 0);
        QCOMPARE(qGreen(led), (qRed(led) + 1) % 256);
        QCOMPARE(qBlue(led), (qRed(led) + 2) % 256);
        SaveAsSeen seen;
        AnswerSaveAs(w, seen, m_dir->File("rec/live.rgb"));

        Click(w, "captureButton");
        QVERIFY(WaitForLog(w, "Start capture......"));
        ExpectButtons(false, false, true, true);
        QTRY_VERIFY_WITH_TIMEOUT(FrameDisplay(w) >= 10, 20000);
        // It goes on during the recording.
        QCOMPARE(InputColumn(0), universes);
        QVERIFY(InputColumn(7).value(0).toDouble() > 0);  // packets per second
        QTRY_VERIFY(InputColumn(9).value(0).startsWith(QStringLiteral("0.")));  // "0.1 s ago"
        QVERIFY(FrameDisplay(w) <= StatusOf(w).framesWritten);  // never ahead of the file
        Click(w, "pauseButton");
        QVERIFY(WaitForLog(w, "Paused......"));
        ExpectButtons(false, true, false, true);
        const uint32_t atResume = FrameDisplay(w);
        Click(w, "captureButton");
        ExpectButtons(false, false, true, true);
        QTRY_VERIFY_WITH_TIMEOUT(FrameDisplay(w) >= atResume + 10, 20000);
        Click(w, "stopButton");
        QTRY_COMPARE_WITH_TIMEOUT(seen.calls, 1, 20000);
        QCOMPARE(seen.defaultName, QStringLiteral("Sc-01-01.RGB"));

        const std::string saved = m_dir->File("rec/live.RGB");
        QVERIFY(WaitForLog(w, QString::fromStdString("Saved: " + saved)));
        QVERIFY(LogLines(w).contains("Stopped！"));
        QVERIFY(!LogLines(w).filter(QRegularExpression("^Recording check: \\d+ frames")).isEmpty());
        const uint32_t frames = FrameDisplay(w);
        QVERIFY(frames >= atResume + 10);
        CheckRecording(saved, frames);
        CheckSenderFrames(saved, frames, 1);
        ExpectButtons(true, true, false, false);
        QVERIFY(m_responder->seen.empty());
    }

    void closeDuringLiveRecording() {
        if (!CanCaptureOn("lo")) QSKIP(kNoRightsMessage);
        MainWindow& w = Show(Create());
        test::ArtSender sender;
        StartLive(w);
        if (QTest::currentTestFailed()) return;
        SaveAsSeen seen;
        AnswerSaveAs(w, seen, m_dir->File("rec/never.rgb"));
        Click(w, "captureButton");
        QTRY_VERIFY_WITH_TIMEOUT(FrameDisplay(w) >= 5, 20000);
        // Cancel asks; Discard closes, keeping the frames in temp.RGB.
        QStringList asked;
        w.questionHook = [&](QMessageBox& box) -> QAbstractButton* {
            asked << box.text();
            return ButtonOf(box, "Discard");
        };
        Click(w, "cancelButton");
        QCOMPARE(asked.size(), 1);
        QVERIFY(!w.isVisible());
        QVERIFY(!StatusOf(w).workersRunning);
        QVERIFY(!w.FinishTicksOn());
        // What the window still had queued, and a tick as a timer left running would give it:
        // neither asks for a name.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        w.recorder().FinishTick();
        QCOMPARE(seen.calls, 0);
        QVERIFY(m_responder->seen.empty());
        const test::Bytes bytes = test::ReadFileBytes(m_dir->File("rec/temp.RGB"));
        QVERIFY(bytes.size() >= kHeader + 5 * kFrame);
        QCOMPARE((bytes.size() - kHeader) % kFrame, size_t{0});
        const auto header = ParseRgbHeader(bytes);
        QVERIFY(header);
        QCOMPARE(size_t{header->frameCount}, (bytes.size() - kHeader) / kFrame);
    }

    // Closing while Parse runs asks, and Keep parsing is what Enter or Esc answers.
    void closeDuringParse() {
        if (!CanCaptureOn("lo")) QSKIP(kNoRightsMessage);
        MainWindow& w = Show(Create());
        QTRY_VERIFY(!w.AutoSelectPending());
        // No sender: the survey waits.
        const std::vector<DeviceEntry> devices = StatusOf(w).adapters;
        const auto lo = std::find_if(devices.begin(), devices.end(),
                                     [](const DeviceEntry& d) { return d.name == "lo"; });
        QVERIFY(lo != devices.end());
        PickIpLine(w, static_cast<int>(lo - devices.begin()));
        Click(w, "parseButton");
        QTRY_COMPARE(StatusOf(w).phase, Phase::Surveying);
        QStringList texts;
        QString answer = QStringLiteral("Keep parsing");
        w.questionHook = [&](QMessageBox& box) -> QAbstractButton* {
            texts << box.text();
            if (box.defaultButton() != box.escapeButton() ||
                box.defaultButton()->text() != QStringLiteral("Keep parsing")) {
                return nullptr;
            }
            return ButtonOf(box, answer);
        };
        Click(w, "cancelButton");
        QVERIFY(w.isVisible());
        QCOMPARE(StatusOf(w).phase, Phase::Surveying);
        answer = QStringLiteral("Stop and close");
        QTest::keyClick(&w, Qt::Key_Escape);
        QTRY_VERIFY(!w.isVisible());
        QVERIFY(!StatusOf(w).workersRunning);
        QCOMPARE(texts, QStringList(2,
                                    "Parse is still looking for the show's universes. Stop it "
                                    "and close Quorvex?"));
    }

    // Closing during a recording asks: Keep recording (the default) goes on, Stop and save
    // closes once the recording is saved, Discard closes at once keeping temp.RGB.
    void closeDuringRecording() {
        for (const QString& last : {QStringLiteral("Stop and save"), QStringLiteral("Discard")}) {
            const HeldWriter held;
            const auto& release = held.release;
            SpyWindow& w = Show(Create(held.BeforeWrite()));
            SaveAsSeen seen;
            AnswerSaveAs(w, seen, m_dir->File("rec/closing.rgb"));
            SurveyShow(w);
            if (QTest::currentTestFailed()) return;
            Click(w, "captureButton");
            QTRY_VERIFY_WITH_TIMEOUT(StatusOf(w).framesCompleted >= 21, 20000);
            QStringList buttons;
            QString text;
            QString defaults;  // the default button, when Esc answers the same
            QString answer;
            w.questionHook = [&](QMessageBox& box) -> QAbstractButton* {
                buttons.clear();
                for (QAbstractButton* b : box.buttons()) buttons << b->text();
                text = box.text();
                defaults = box.escapeButton() == box.defaultButton() ? box.defaultButton()->text()
                                                                     : QString();
                // Closing waits for the frames in hand to reach the disk.
                if (answer == QStringLiteral("Discard")) *release = true;
                return answer.isEmpty() ? box.defaultButton() : ButtonOf(box, answer);
            };
            w.close();  // the close box
            QVERIFY(w.isVisible());
            // Still recording, or (the file read to its end) waiting for the disk to finish.
            QVERIFY(StatusOf(w).phase == Phase::Recording || StatusOf(w).phase == Phase::Stopping);
            QVERIFY2(QRegularExpression("^A recording is running: \\d+ frames so far\\. Closing "
                                        "Quorvex ends it\\.$")
                         .match(text)
                         .hasMatch(),
                     qPrintable(text));
            QCOMPARE(defaults, QStringLiteral("Keep recording"));
            buttons.sort();
            QCOMPARE(buttons, (QStringList{"Discard", "Keep recording", "Stop and save"}));
            answer = last;
            QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
            if (last == QStringLiteral("Discard")) {
                QVERIFY(!w.isVisible());
                QVERIFY(!StatusOf(w).workersRunning);
                const auto kept = FindKeptWorkingFile(m_dir->File("rec/temp.RGB"));
                QVERIFY(kept && kept->frames >= 19);
                QCOMPARE(seen.calls, 0);
            } else {
                // Stopping: the window stays until the frames are on the disk and saved.
                QVERIFY(w.isVisible());
                QCOMPARE(StatusOf(w).phase, Phase::Stopping);
                *release = true;
                QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 20000);
                QCOMPARE(seen.calls, 1);
                CheckRecording(m_dir->File("rec/closing.RGB"),
                               StatusOf(w).lastSummary.framesWritten);
            }
            QVERIFY(m_responder->seen.empty());
            m_window.reset();
        }
    }

    // A recording left unsaved is named in the log, saved from the menu later, or at the close;
    // Save As never offers a name that is taken.
    void unsavedRecordingIsSavedLater() {
        SpyWindow& w = Show(Create());
        std::filesystem::create_directories(m_dir->File("rec"));
        std::ofstream(m_dir->File("rec/Sc-01-01.RGB")) << "taken";
        SaveAsSeen seen;
        w.saveAsHook = [&](QFileDialog& d) -> std::optional<std::string> {
            ++seen.calls;
            seen.defaultName = QFileInfo(d.selectedFiles().value(0)).fileName();
            return std::nullopt;
        };
        SurveyShow(w);
        if (QTest::currentTestFailed()) return;
        Click(w, "captureButton");
        QTRY_COMPARE_WITH_TIMEOUT(seen.calls, 1, 30000);
        QCOMPARE(seen.defaultName, QStringLiteral("Sc-02-01.RGB"));
        const std::string working = m_dir->File("rec/temp.RGB");
        QVERIFY(WaitForLog(
            w, QString::fromStdString("The recording was not saved: its 200 frames "
                                      "are kept in " +
                                      working + " until the next Capture moves them aside.")));
        // Saved from the menu, with its notes.
        AnswerSaveAs(w, seen, m_dir->File("later.rgb"));
        QAction* saveLast = ActionNamed("Save the last recording…");
        saveLast->trigger();
        QCOMPARE(seen.calls, 1);  // counted anew by AnswerSaveAs
        QVERIFY(WaitForLog(w, QString::fromStdString("Saved: " + m_dir->File("later.RGB"))));
        CheckRecording(m_dir->File("later.RGB"), 200);
        QVERIFY(std::filesystem::exists(m_dir->File("later.RGB.json")));
        QTRY_VERIFY(Preview() && Preview()->isVisible());
        // Save As opens where it saved last.
        QCOMPARE(seen.folder, QString::fromStdString(m_dir->File("rec")));
        saveLast->trigger();
        QCOMPARE(m_responder->seen.back().texts, QStringList{"There is no unsaved recording."});

        // Unsaved again: closing offers to save it; Cancel stays, Save… saves and closes.
        w.saveAsHook = [](QFileDialog&) -> std::optional<std::string> { return std::nullopt; };
        Click(w, "captureButton");
        QVERIFY(WaitForLog(w, "Stopped！"));
        QTRY_VERIFY_WITH_TIMEOUT(StatusOf(w).phase == Phase::Idle && w.recorder().KeptRecording(),
                                 30000);
        QStringList texts;
        QString answer = QStringLiteral("Cancel");
        w.questionHook = [&](QMessageBox& box) -> QAbstractButton* {
            texts << box.text() << box.defaultButton()->text();
            return ButtonOf(box, answer);
        };
        Click(w, "cancelButton");
        QVERIFY(w.isVisible());
        QCOMPARE(texts, (QStringList{"The last recording (200 frames) was not saved.", "Save…"}));
        AnswerSaveAs(w, seen, m_dir->File("at-close.RGB"));
        answer = QStringLiteral("Save…");
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        // The scene number goes on from the save before, in the folder saved into last.
        QCOMPARE(seen.defaultName, QStringLiteral("Sc-02-01.RGB"));
        QCOMPARE(seen.folder, QString::fromStdString(m_dir->path()));
        CheckRecording(m_dir->File("at-close.RGB"), 200);
        QVERIFY(!FindKeptWorkingFile(working));
    }

    // A show on universes 100-102 recorded with first universe 100: port 1.
    void universeSelectionFromTheFields() {
        MainWindow& w = Show(Create());
        test::ShowPlan show;
        show.frames = 20;
        show.universes = {0, 1, 2};
        show.sentAs = {100, 101, 102};
        test::WriteShow(m_dir->File("high.pcap"), show);
        QVERIFY(w.recorder().OpenCaptureFile(m_dir->File("high.pcap")).ok());
        Get<QSpinBox>("firstUniverseSpin")->setValue(100);
        SaveAsSeen seen;
        AnswerSaveAs(w, seen, m_dir->File("rec/high.RGB"));
        Click(w, "captureButton");  // surveys first
        QVERIFY(WaitForLog(w, "Port 1 begins at universe 100."));
        QVERIFY(WaitForLog(w, "Port 1: universes 100-102, 1536 bytes."));
        QVERIFY(WaitForLog(w, QString::fromStdString("Saved: " + m_dir->File("rec/high.RGB"))));
        const test::Recording r = test::ReadRecording(m_dir->File("rec/high.RGB"));
        QCOMPARE(int{r.header.portCount}, 1);
        QCOMPARE(r.frames.size(), size_t{20});
        QVERIFY(m_responder->seen.empty());
    }

    // With a locale that is neither Chinese nor English, the window is English, in ASCII.
    void englishWindowIsAscii() {
        const QByteArray lang = qgetenv("LANG");
        qputenv("LANG", "C.UTF-8");
        const app::WindowLanguage language = app::WindowLanguageFromEnvironment();
        qputenv("LANG", lang);
        QCOMPARE(int(language), int(app::WindowLanguage::English));
        app::UseWindowLanguage(language);
        MainWindow& w = Show(Create());
        QStringList texts{w.windowTitle()};
        for (QWidget* child : w.findChildren<QWidget*>()) {
            texts << child->toolTip();
            if (auto* l = qobject_cast<QLabel*>(child)) texts << l->text();
            if (auto* b = qobject_cast<QAbstractButton*>(child)) texts << b->text();
            if (auto* g = qobject_cast<QGroupBox*>(child)) texts << g->title();
            if (auto* e = qobject_cast<QLineEdit*>(child)) texts << e->placeholderText();
            if (auto* c = qobject_cast<QComboBox*>(child)) texts << Items(c);
        }
        for (QAction* a : Get<QMenu>("contextMenu")->actions()) texts << a->text();
        auto* input = Get<QTableWidget>("inputView");
        for (int c = 0; c < input->columnCount(); ++c)
            texts << input->horizontalHeaderItem(c)->text();
        QStringList filters;
        w.openRecordingHook = [&](QFileDialog& d) -> std::optional<std::string> {
            filters = d.nameFilters();
            return std::nullopt;
        };
        ActionNamed("Preview a recording...")->trigger();
        texts << filters;
        QVERIFY(texts.contains("Capture") && texts.contains("Current frame:"));
        for (const QString& t : texts) {
            const bool ascii =
                std::all_of(t.begin(), t.end(), [](QChar c) { return c.unicode() < 0x80; });
            QVERIFY2(ascii, qPrintable(t));
            QVERIFY2(!t.contains("Cpature") && !t.contains(" num"), qPrintable(t));
        }
    }

  private:
    template <class T>
    T* Get(const char* name) {
        T* child = m_window->findChild<T*>(QString::fromLatin1(name));
        if (!child) qFatal("no control %s", name);
        return child;
    }
    QAction* ActionNamed(const QString& text) {
        for (QAction* a : Get<QMenu>("contextMenu")->actions()) {
            if (a->text() == text) return a;
        }
        qFatal("no action %s", qPrintable(text));
    }
    static QAbstractButton* ButtonOf(QMessageBox& box, const QString& text) {
        for (QAbstractButton* b : box.buttons()) {
            if (b->text() == text) return b;
        }
        return nullptr;
    }
    QStringList HotKeyTips() {
        QStringList tips;
        for (const char* b : {"captureButton", "pauseButton", "stopButton"}) {
            tips << Get<QPushButton>(b)->toolTip();
        }
        return tips;
    }
    app::PreviewDialog* Preview() {
        return static_cast<app::PreviewDialog*>(
            m_window->findChild<QDialog*>(QStringLiteral("previewDialog")));
    }
    QImage PreviewImage() { return Preview()->Shown().convertToFormat(QImage::Format_RGB888); }
    // One column of the live input view, top to bottom.
    QStringList InputColumn(int column) {
        auto* view = Get<QTableWidget>("inputView");
        QStringList cells;
        for (int r = 0; r < view->rowCount(); ++r) {
            cells << (view->item(r, column) ? view->item(r, column)->text() : QString());
        }
        return cells;
    }
    static QStringList Items(const QComboBox* c) {
        QStringList items;
        for (int i = 0; i < c->count(); ++i) items << c->itemText(i);
        return items;
    }

    SpyWindow& Create(std::function<void(uint32_t frame)> beforeFrameWrite = {}) {
        MainWindow::Options options;
        options.recorder.recordingFolder = m_dir->File("rec");
        options.recorder.beforeFrameWrite = std::move(beforeFrameWrite);
        m_window = std::make_unique<SpyWindow>(options);
        return *m_window;
    }

    // Surveys a generated show of 260 frames, read from a capture file.
    void SurveyShow(MainWindow& w) {
        test::ShowPlan show;
        show.frames = 260;
        test::WriteShow(m_dir->File("show.pcap"), show);
        QVERIFY(w.recorder().OpenCaptureFile(m_dir->File("show.pcap")).ok());
        Click(w, "parseButton");
        QVERIFY(WaitForLog(w, "Parse to 6 Universes"));
        QVERIFY(WaitForLog(w, "The length of each frame is 3072 bytes."));
    }
    template <class W>
    W& Show(W& w) {
        w.show();
        if (!QTest::qWaitForWindowActive(&w)) qWarning("window not active");
        return w;
    }

    void AnswerSaveAs(MainWindow& w, SaveAsSeen& seen, const std::string& answer) {
        seen.calls = 0;
        w.saveAsHook = [&seen, answer](QFileDialog& d) -> std::optional<std::string> {
            ++seen.calls;
            seen.defaultName = QFileInfo(d.selectedFiles().value(0)).fileName();
            seen.folder = d.directory().absolutePath();
            seen.size = d.size();
            seen.places = d.sidebarUrls();
            if (auto* view = d.findChild<QTreeView*>(QStringLiteral("treeView"))) {
                seen.namesStretch =
                    view->header()->sectionResizeMode(0) == QHeaderView::Stretch &&
                    view->header()->sectionResizeMode(3) == QHeaderView::ResizeToContents;
            }
            seen.filters = d.nameFilters();
            seen.suffix = d.defaultSuffix();
            seen.confirmsOverwrite = !d.testOption(QFileDialog::DontConfirmOverwrite);
            const auto* model = d.findChild<QFileSystemModel*>();
            const QModelIndex folder = model->index(d.directory().absolutePath());
            (void)QTest::qWaitFor([&] { return model->rowCount(folder) >= 3; }, 5000);
            for (int r = 0; r < model->rowCount(folder); ++r) {
                seen.listed << model->fileName(model->index(r, 0, folder));
            }
            return answer;
        };
    }

    void ExpectButtons(bool parse, bool capture, bool pause, bool stop) {
        QCOMPARE(Get<QPushButton>("parseButton")->isEnabled(), parse);
        QCOMPARE(Get<QPushButton>("captureButton")->isEnabled(), capture);
        QCOMPARE(Get<QPushButton>("pauseButton")->isEnabled(), pause);
        QCOMPARE(Get<QPushButton>("stopButton")->isEnabled(), stop);
    }

    static void CheckRecording(const std::string& path, uint32_t frames) {
        const test::Recording r = test::ReadRecording(path);
        QVERIFY(r.valid);
        QCOMPARE(uint32_t{r.header.frameCount}, frames);
        QCOMPARE(r.header.frameLength, uint32_t{kFrame});
        QCOMPARE(r.frames.size(), size_t{frames});
        QCOMPARE(r.trailing, size_t{0});
    }

    // Every frame is one whole frame of the sender's pattern, and frames follow each other
    // except across `pauses` pauses.
    static void CheckSenderFrames(const std::string& path, uint32_t frames, int pauses) {
        const test::Bytes bytes = test::ReadFileBytes(path);
        QCOMPARE(bytes.size(), kHeader + frames * kFrame);
        int gaps = 0;
        int previous = -1;
        for (uint32_t k = 0; k < frames; ++k) {
            const uint8_t* frame = bytes.data() + kHeader + k * kFrame;
            const uint32_t f = (frame[0] * 205u) & 0xFF;  // 205 = 5^-1 mod 256
            for (int u = 0; u < 6; ++u) {
                for (int c = 0; c < 512; ++c) {
                    if (frame[u * 512 + c] != test::ShowByte(static_cast<int>(f), u, c)) {
                        QFAIL(qPrintable(QStringLiteral("frame %1 is not one whole frame").arg(k)));
                    }
                }
            }
            if (previous >= 0 && static_cast<uint32_t>(previous + 1) % 256 != f) ++gaps;
            previous = static_cast<int>(f);
        }
        QVERIFY(gaps <= pauses);
    }

    std::unique_ptr<test::TempDir> m_dir;
    std::unique_ptr<test::ModalResponder> m_responder;
    std::unique_ptr<SpyWindow> m_window;
};

int main(int argc, char* argv[]) {
    // Before any thread exists: live traffic stays in this process's own network.
    std::string why;
    if (getuid() == 0 && !IsolateNetwork(&why)) std::fprintf(stderr, "note: %s\n", why.c_str());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's settings go to a folder of the test's own, not the user's.
    const test::TempDir config;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
    QApplication app(argc, argv);
    // The texts as written, which most tests compare with; the languages have tests of their own.
    app::UseWindowLanguage(app::WindowLanguage::Original);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
