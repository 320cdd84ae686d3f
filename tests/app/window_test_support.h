#pragma once
// Helpers for the window tests: answering modal boxes and menus, reading the log pane,
// and a sender of the test pattern to 127.0.0.1:6454.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "capture/art_packet.h"
#include "tests/capture/capture_rights.h"
#include "tests/support/loopback_sender.h"
#include "tests/support/net_isolation.h"
#include "tests/support/traffic_builder.h"

namespace quorvex::test {

// Watches for menus and modal dialogs, notes what they show and answers them: a message
// box with OK, a menu with its first item, any other dialog with its first button.
class ModalResponder : public QObject {
  public:
    struct Seen {
        QString kind;  // "box", "menu" or "dialog"
        QString title;
        QStringList texts;
        QStringList buttons;
        bool hasPixmap = false;
    };

    ModalResponder() {
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start(10);
    }
    std::vector<Seen> seen;

  private:
    void Poll() {
        QWidget* w = QApplication::activePopupWidget();
        if (!w) w = QApplication::activeModalWidget();
        if (!w) return;
        for (const auto& h : m_handled) {
            if (h == w) return;
        }
        m_handled.emplace_back(w);
        Seen s{QString(), w->windowTitle(), {}, {}, false};
        // Answered from a timer of its own: this one does not fire again while a slot of
        // it runs a nested event loop.
        if (auto* menu = qobject_cast<QMenu*>(w)) {
            s.kind = QStringLiteral("menu");
            for (QAction* a : menu->actions()) s.texts << a->text();
            QTimer::singleShot(0, menu, [menu] {
                menu->close();
                if (!menu->actions().isEmpty()) menu->actions().constFirst()->trigger();
            });
        } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
            s.kind = QStringLiteral("box");
            s.texts << box->text();
            for (QAbstractButton* b : box->buttons()) s.buttons << b->text();
            QTimer::singleShot(0, box, [box] { box->buttons().constFirst()->click(); });
        } else {
            s.kind = QStringLiteral("dialog");
            for (QLabel* l : w->findChildren<QLabel*>()) {
                if (!l->text().isEmpty()) s.texts << l->text();
                if (!l->pixmap().isNull()) s.hasPixmap = true;
            }
            const auto buttons = w->findChildren<QPushButton*>();
            for (QPushButton* b : buttons) s.buttons << b->text();
            QTimer::singleShot(0, w, [w, buttons] {
                if (buttons.isEmpty()) {
                    w->close();
                } else {
                    buttons.constFirst()->click();
                }
            });
        }
        seen.push_back(s);
    }

    QTimer m_timer;
    std::vector<QPointer<QWidget>> m_handled;
};

// Runs the Settings dialog. Each time it shows, again after a refused OK, the next of `rounds`
// fills in its fields and OK is pressed, or Cancel when `accept` is false. Returns the texts of
// the message boxes it raised, each answered with OK.
inline QStringList RunSettings(app::MainWindow& w,
                               std::vector<std::function<void(QDialog&)>> rounds,
                               bool accept = true) {
    QStringList boxes;
    size_t round = 0;
    QPointer<QWidget> last;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last) return;
        last = modal;
        // Pressed from a timer of its own, as this one does not fire within a nested loop.
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            QTimer::singleShot(0, box, [box] { box->buttons().constFirst()->click(); });
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            // Cancelled once the rounds are used up: a refusal nobody expected ends too.
            const bool filled = round < rounds.size();
            if (filled) rounds[round++](*dialog);
            auto* button = dialog->findChild<QDialogButtonBox*>()->button(
                filled && accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
            QTimer::singleShot(0, button, [button] { button->click(); });
        }
    });
    poll.start(10);
    w.ShowSettings();
    return boxes;
}

// A round of RunSettings: the hot keys of Capture, Pause and Stop, e.g. "Ctrl+1".
inline std::function<void(QDialog&)> ChooseKeys(QStringList keys) {
    return [keys](QDialog& dialog) {
        const char* fields[] = {"captureKeyEdit", "pauseKeyEdit", "stopKeyEdit"};
        for (int i = 0; i < 3; ++i) {
            dialog.findChild<QKeySequenceEdit*>(QString::fromLatin1(fields[i]))
                ->setKeySequence(QKeySequence(keys[i]));
        }
    };
}

inline RecorderStatus StatusOf(app::MainWindow& w) { return w.recorder().Snapshot(); }

inline QStringList LogLines(app::MainWindow& w) {
    return w.findChild<QPlainTextEdit*>(QStringLiteral("logPane"))->toPlainText().split('\n');
}

inline bool WaitForLog(app::MainWindow& w, const QString& line, int timeoutMs = 20000) {
    return QTest::qWaitFor([&] { return LogLines(w).contains(line); }, timeoutMs);
}

inline uint32_t FrameDisplay(app::MainWindow& w) {
    return w.findChild<QLabel*>(QStringLiteral("frameDisplay"))->text().toUInt();
}

inline void Click(app::MainWindow& w, const char* button) {
    QTest::mouseClick(w.findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
}

// Picks a line of the IP address list as a user does: opens the list and chooses the line.
inline void PickIpLine(app::MainWindow& w, int line) {
    auto* combo = w.findChild<QComboBox*>(QStringLiteral("ipCombo"));
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    (void)QTest::qWaitFor([&] { return view->isVisible(); });
    view->setCurrentIndex(view->model()->index(line, 0));
    QTest::keyClick(view, Qt::Key_Return);
}

// What Capture before any Parse logs: it surveys first.
inline const QString kSurveyFirst =
    "No survey yet: Parse runs first, and the recording starts as soon as it has found the "
    "universes.";
inline const QString kNothingToRecord = "Nothing to record: Parse found no universe.";

// Opens a capture file without any packet as the source: a survey of it ends at once, finding
// nothing, whatever the machine's adapters see.
inline void OpenEmptyCapture(app::MainWindow& w, const std::string& path) {
    { PcapWriter(path).Close(); }
    QVERIFY(w.recorder().OpenCaptureFile(path).ok());
}

// Picks "lo" in the IP address list as a user does and surveys the sender's traffic.
inline void StartLive(app::MainWindow& w) {
    QTRY_VERIFY(!w.AutoSelectPending());  // the pre-selection has had its turn
    const std::vector<DeviceEntry> devices = StatusOf(w).adapters;
    const auto lo = std::find_if(devices.begin(), devices.end(),
                                 [](const DeviceEntry& d) { return d.name == "lo"; });
    QVERIFY(lo != devices.end());
    const int line = static_cast<int>(lo - devices.begin());
    PickIpLine(w, line);
    QCOMPARE(w.findChild<QComboBox*>(QStringLiteral("ipCombo"))->currentIndex(), line);
    QCOMPARE(StatusOf(w).adapterName, std::string("lo"));
    Click(w, "parseButton");
    QVERIFY(WaitForLog(w, "Parse to 6 Universes"));
    QVERIFY(WaitForLog(w, "Max universe num is:5"));
    QVERIFY(WaitForLog(w,
                       "The current setting is that each port carries 6 universes，The "
                       "capture file will be set to 1 ports."));
    QVERIFY(WaitForLog(w, "The length of each frame is 3072 bytes."));
}

// Sends the test pattern to 127.0.0.1:6454: six universes of 512 channels, about 40 frames
// a second, one sequence number per frame.
class ArtSender : public ShowSender {
  public:
    static constexpr int kUniverses = 6;
    static constexpr int kChannels = 512;

    // The show data of the test builder is the CLI's test pattern.
    ArtSender() : ShowSender({0, 1, 2, 3, 4, 5}, kChannels) {}
};

}  // namespace quorvex::test
