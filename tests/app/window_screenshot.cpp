// Writes the README's picture of the window: a live recording of the test pattern, with the
// live input view filled. Run by scripts/screenshot.sh (as root: the traffic stays in a
// network namespace of its own); not a test.

#include <QFileDialog>
#include <QLineEdit>
#include <cstdio>

#include "app/window_language.h"
#include "tests/app/window_test_support.h"
#include "tests/support/traffic_builder.h"

using namespace quorvex;

namespace {

bool Fail(const char* why) {
    std::fprintf(stderr, "screenshot: %s\n", why);
    return false;
}

bool Take(app::MainWindow& w, const QString& png) {
    if (!QTest::qWaitFor([&] { return !w.AutoSelectPending(); })) return Fail("no adapters");
    auto* ip = w.findChild<QComboBox*>(QStringLiteral("ipCombo"));
    const std::vector<DeviceEntry> adapters = test::StatusOf(w).adapters;
    int lo = -1;
    for (int i = 0; i < ip->count(); ++i) {
        if (adapters[static_cast<size_t>(i)].name == "lo") lo = i;
    }
    if (lo < 0) return Fail("no loopback device");
    // Offscreen has no system-wide hot keys; on a desktop that line is not there.
    w.findChild<QPlainTextEdit*>(QStringLiteral("logPane"))->clear();
    ip->setCurrentIndex(lo);
    emit ip->activated(lo);
    test::Click(w, "parseButton");
    if (!test::WaitForLog(w, "The length of each frame is 3072 bytes.")) return Fail("no survey");
    w.findChild<QLineEdit*>(QStringLiteral("captureFramesEdit"))->setText("6000");
    w.findChild<QLineEdit*>(QStringLiteral("durationEdit"))->setText("02:30");
    test::Click(w, "captureButton");
    if (!QTest::qWaitFor([&] { return test::FrameDisplay(w) >= 130; }, 20000)) {
        return Fail("no frames recorded");
    }
    QTest::qWait(2 * app::kInputViewMs);  // rates from two readings of the counters
    const bool saved = w.grab().save(png, "PNG");
    test::Click(w, "stopButton");
    (void)QTest::qWaitFor([&] { return test::StatusOf(w).phase == Phase::Idle; }, 20000);
    return saved || Fail("cannot write the picture");
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 1;
    }
    std::string why;
    if (!test::IsolateNetwork(&why)) {
        std::fprintf(stderr, "screenshot: %s (run as root)\n", why.c_str());
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const test::TempDir dir;  // settings and the recording, both thrown away
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path()));
    QApplication application(argc, argv);
    // As a new user sees it: English, whatever the locale of the machine it runs on.
    app::UseWindowLanguage(app::WindowLanguage::English);
    const QString png = QString::fromLocal8Bit(argv[1]);

    // Levels that differ from universe to universe, so that the bars do.
    test::ShowSender::Plan plan;
    plan.data = [](int frame, int universe, int channels) {
        test::Bytes data = test::ShowData(frame, universe, channels);
        for (uint8_t& b : data) b = static_cast<uint8_t>(b * (universe + 2) / 7);
        return data;
    };
    test::ShowSender sender(plan);
    app::MainWindow::Options options;
    options.recorder.recordingFolder = dir.File("rec");
    app::MainWindow w(options);
    w.saveAsHook = [](QFileDialog&) -> std::optional<std::string> { return std::nullopt; };
    w.show();
    const bool ok = Take(w, png);
    w.done(QDialog::Rejected);  // the unsaved recording goes with the folder, unasked
    return ok ? 0 : 1;
}
