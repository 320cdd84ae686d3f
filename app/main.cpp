// Quorvex: records Art-Net lighting traffic into .RGB files for LED pixel controllers.
//
// Testing aid, not shown to users: with QUORVEX_LOG_STDERR=1 in the environment every log
// line and message-box text is also written to stderr.

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>

#include "app/app_icon.h"
#include "app/main_window.h"
#include "app/window_language.h"
#include "platform/capture_rights.h"

namespace {

int g_signalSocket[2] = {-1, -1};

void OnEndSignal(int) {
    const char c = 1;
    (void)!::write(g_signalSocket[1], &c, 1);
}

// SIGTERM (a session that ends, a service manager), SIGHUP and SIGINT close the window as its
// close box does without asking: a recording in progress stays in temp.RGB with a header that
// counts its frames, instead of up to a second of them being lost with the process.
void CloseOnEndSignals(quorvex::app::MainWindow& window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSocket) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalSocket[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char c = 0;
        (void)!::read(g_signalSocket[0], &c, 1);
        window.done(QDialog::Rejected);
        QApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Capture rights are raised only while a device opens; no thread starts with them.
    quorvex::LowerCaptureRights();
    QApplication app(argc, argv);
    QApplication::setWindowIcon(quorvex::app::AppIcon());
    quorvex::app::UseWindowLanguage(quorvex::app::WindowLanguageFromEnvironment());
    quorvex::app::MainWindow::Options options;
    options.logToStderr = qEnvironmentVariableIntValue("QUORVEX_LOG_STDERR") != 0;
    quorvex::app::MainWindow window(options);
    CloseOnEndSignals(window);
    window.show();
    return QApplication::exec();
}
