// Quorvex: records Art-Net lighting traffic into .RGB files for LED pixel controllers.
//
// Testing aid, not shown to users: with QUORVEX_LOG_STDERR=1 in the environment every log
// line and message-box text is also written to stderr.

#include <QApplication>

#include "app/app_icon.h"
#include "app/main_window.h"
#include "app/window_language.h"
#include "platform/capture_rights.h"

int main(int argc, char* argv[]) {
    // Capture rights are raised only while a device opens; no thread starts with them.
    quorvex::LowerCaptureRights();
    QApplication app(argc, argv);
    QApplication::setWindowIcon(quorvex::app::AppIcon());
    quorvex::app::UseWindowLanguage(quorvex::app::WindowLanguageFromEnvironment());
    quorvex::app::MainWindow::Options options;
    options.logToStderr = qEnvironmentVariableIntValue("QUORVEX_LOG_STDERR") != 0;
    quorvex::app::MainWindow window(options);
    window.show();
    return QApplication::exec();
}
