// Alt+F7/F8/F9 on a real X server (run by run_under_xvfb.sh): system-wide while another
// client has the focus, window shortcuts when another client holds a key, keys chosen in the
// Settings grabbed in their place, and the program itself started, driven by xdotool and
// closed with Esc.

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QProcess>
#include <QSettings>
#include <cstdlib>
#include <memory>

#include "tests/app/window_test_support.h"
#include "tests/support/traffic_builder.h"

using namespace quorvex;
using namespace quorvex::test;
using app::MainWindow;

namespace {

bool Xdotool(const QStringList& args) { return QProcess::execute("xdotool", args) == 0; }

// Another X client: its own connection and a window that can take the focus.
class OtherClient {
  public:
    OtherClient() : m_c(xcb_connect(nullptr, nullptr)) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_root = screen->root;
        m_window = xcb_generate_id(m_c);
        const uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_KEY_PRESS};
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, m_root, 700, 40, 240, 120, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        xcb_map_window(m_c, m_window);
        xcb_flush(m_c);
        m_symbols = xcb_key_symbols_alloc(m_c);
    }
    ~OtherClient() {
        xcb_key_symbols_free(m_symbols);
        xcb_disconnect(m_c);
    }

    bool TakeFocus() {
        const bool viewable = QTest::qWaitFor([&] {
            auto* a = xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, m_window),
                                                      nullptr);
            const bool v = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(a);
            return v;
        });
        xcb_set_input_focus(m_c, XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
        auto* f = xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr);
        const bool focused = viewable && f && f->focus == m_window;
        std::free(f);
        return focused;
    }

    // Holds Alt+key on the root window, as another program with that hot key would.
    bool GrabAlt(xcb_keysym_t key, bool grab) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_symbols, key);
        xcb_generic_error_t* error = xcb_request_check(
            m_c, grab ? xcb_grab_key_checked(m_c, 0, m_root, XCB_MOD_MASK_1, codes[0],
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)
                      : xcb_ungrab_key_checked(m_c, codes[0], m_root, XCB_MOD_MASK_1));
        std::free(codes);
        std::free(error);
        return !error;
    }

    // Key symbols pressed in this window up to and including `last`.
    std::vector<xcb_keysym_t> PressesUntil(xcb_keysym_t last) {
        std::vector<xcb_keysym_t> seen;
        (void)QTest::qWaitFor([&] {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                if ((e->response_type & 0x7F) == XCB_KEY_PRESS) {
                    auto* press = reinterpret_cast<xcb_key_press_event_t*>(e);
                    seen.push_back(xcb_key_symbols_get_keysym(m_symbols, press->detail, 0));
                }
                std::free(e);
            }
            return !seen.empty() && seen.back() == last;
        });
        return seen;
    }

  private:
    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    xcb_window_t m_window = 0;
    xcb_key_symbols_t* m_symbols = nullptr;
};

}  // namespace

class X11HotKeysTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        // Every test starts with the default keys, the started program too.
        QSettings(app::kSettingsOrganisation, app::kSettingsApplication).clear();
        m_dir = std::make_unique<TempDir>();
        m_responder = std::make_unique<ModalResponder>();
    }
    void cleanup() {
        m_window.reset();
        // A round trip: the window's destruction reaches the server before the next test.
        xcb_connection_t* c =
            qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        m_responder.reset();
        m_dir.reset();
    }

    void systemWideWhileAnotherClientHasFocus() {
        MainWindow& w = Open();
        OtherClient other;
        QVERIFY(other.TakeFocus());
        QVERIFY(Xdotool({"key", "alt+F8"}));
        QVERIFY(WaitForLog(w, "Paused......"));
        // Capture before any Parse surveys (a capture file without packets here).
        OpenEmptyCapture(w, m_dir->File("empty.pcap"));
        QVERIFY(other.TakeFocus());
        QVERIFY(Xdotool({"key", "alt+F7"}));
        QVERIFY(WaitForLog(w, kSurveyFirst));
        QVERIFY(WaitForLog(w, kNothingToRecord));
        // The focused client saw none of the hot keys, only the plain key after them.
        QVERIFY(other.TakeFocus());
        QVERIFY(Xdotool({"key", "alt+F9", "x"}));
        const auto presses = other.PressesUntil(XK_x);
        for (xcb_keysym_t k : presses) QVERIFY(k != XK_F7 && k != XK_F8 && k != XK_F9);
        QVERIFY(!presses.empty());
        QVERIFY(!LogLines(w).contains(app::kHotKeysUnavailable));
    }

    void heldKeyWorksInsideTheWindow() {
        OtherClient other;
        QVERIFY(other.GrabAlt(XK_F7, true));
        MainWindow& w = Open();
        // Named in the log: while the other client holds it, it reaches that client only.
        const QString held = QString(app::kHotKeysHeld).arg("Alt+F7");
        QVERIFY(WaitForLog(w, held));
        QCOMPARE(LogLines(w).count(held), 1);
        QVERIFY(!LogLines(w).contains(app::kHotKeysUnavailable));
        // The keys it did get still work from anywhere.
        QVERIFY(other.TakeFocus());
        QVERIFY(Xdotool({"key", "alt+F8"}));
        QVERIFY(WaitForLog(w, "Paused......"));
        // Alt+F7 works while Quorvex has the focus, once the other client lets go of it.
        QVERIFY(other.GrabAlt(XK_F7, false));
        OpenEmptyCapture(w, m_dir->File("empty.pcap"));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(Xdotool({"key", "alt+F7"}));
        QVERIFY(WaitForLog(w, kSurveyFirst));
    }

    void keysChosenInSettingsAreGrabbed() {
        MainWindow& w = Open();
        m_responder.reset();
        // Typed as a user does. Alt+F8 reaches the field: the keys are let go meanwhile.
        const auto type = [](QDialog& dialog, const char* field, const char* keys) {
            auto* edit = dialog.findChild<QKeySequenceEdit*>(field);
            dialog.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            edit->setFocus();
            edit->clear();
            QVERIFY(Xdotool({"key", keys}));
            QVERIFY(QTest::qWaitFor([&] { return edit->keySequence().count() == 1; }));
        };
        const auto fill = [&](QDialog& dialog) {
            type(dialog, "captureKeyEdit", "alt+F8");
            type(dialog, "pauseKeyEdit", "ctrl+alt+p");
        };
        QCOMPARE(RunSettings(w, {fill}), QStringList());
        QCOMPARE(w.findChild<QPushButton*>("captureButton")->toolTip(), "Capture (Alt+F8)");
        QCOMPARE(w.findChild<QPushButton*>("pauseButton")->toolTip(), "Pause (Ctrl+Alt+P)");
        OtherClient other;
        QVERIFY(other.GrabAlt(XK_F7, true));  // given back to the server
        QVERIFY(other.TakeFocus());
        QVERIFY(Xdotool({"key", "ctrl+alt+p"}));
        QVERIFY(WaitForLog(w, "Paused......"));
    }

    void captureAndStopKeysDriveALiveRecording() {
        if (!CanCaptureOn("lo")) QSKIP(kNoRightsMessage);
        MainWindow& w = Open();
        ArtSender sender;
        StartLive(w);
        if (QTest::currentTestFailed()) return;
        int asked = 0;
        w.saveAsHook = [&](QFileDialog&) -> std::optional<std::string> {
            ++asked;
            return m_dir->File("rec/keys.rgb");
        };
        OtherClient other;
        QVERIFY(other.TakeFocus());
        QVERIFY(Xdotool({"key", "alt+F7"}));
        QVERIFY(WaitForLog(w, "Start capture......"));
        QTRY_VERIFY_WITH_TIMEOUT(FrameDisplay(w) >= 5, 20000);
        QVERIFY(Xdotool({"key", "alt+F9"}));
        QTRY_COMPARE_WITH_TIMEOUT(asked, 1, 20000);
        QVERIFY(WaitForLog(w, QString::fromStdString("Saved: " + m_dir->File("rec/keys.RGB"))));
    }

    void programRunsAndEndsOnEsc() {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVEX_LOG_STDERR", "1");
        env.insert("QUORVEX_TEXTS", "original");
        program.setProcessEnvironment(env);
        program.start(QUORVEX_PROGRAM, {});
        QVERIFY(program.waitForStarted());
        QProcess search;
        search.start("xdotool", {"search", "--sync", "--pid", QString::number(program.processId()),
                                 "--name", "^Quorvex V1\\.49\\.1$"});
        QVERIFY(search.waitForFinished(20000));
        const QString window = QString::fromLatin1(search.readAllStandardOutput()).trimmed();
        QVERIFY(!window.isEmpty());
        OtherClient other;
        QVERIFY(other.TakeFocus());
        QVERIFY(Xdotool({"key", "alt+F8"}));
        QString err;
        const bool paused = QTest::qWaitFor(
            [&] {
                err += QString::fromUtf8(program.readAllStandardError());
                return err.contains("Paused......");
            },
            20000);
        QVERIFY2(paused, qPrintable(err));
        QVERIFY(Xdotool({"windowfocus", "--sync", window.section('\n', 0, 0), "key", "Escape"}));
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

  private:
    MainWindow& Open() {
        MainWindow::Options options;
        options.recorder.recordingFolder = m_dir->File("rec");
        m_window = std::make_unique<MainWindow>(options);
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get())) qWarning("window not shown");
        return *m_window;
    }

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ModalResponder> m_responder;
    std::unique_ptr<MainWindow> m_window;
};

int main(int argc, char* argv[]) {
    // Before any thread exists: live traffic stays in this process's own network. The X
    // server is still reached through its socket file.
    std::string why;
    if (getuid() == 0 && !IsolateNetwork(&why)) std::fprintf(stderr, "note: %s\n", why.c_str());
    // The window's settings, also the started program's, go to a folder of the test's own.
    const TempDir config;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != "xcb") {
        std::fprintf(stderr, "needs an X display: run through run_under_xvfb.sh\n");
        return 77;
    }
    X11HotKeysTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "x11_hotkeys_test.moc"
