#include "app/window_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>
#include <vector>

#include "platform/texts.h"

namespace quorvex::app {

namespace {

std::vector<std::unique_ptr<QTranslator>>& Installed() {
    static std::vector<std::unique_ptr<QTranslator>> translators;
    return translators;
}

// A catalogue from the program's resources, or else from Qt's translations folder.
void Install(const QString& name) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(name, QStringLiteral(":/i18n")) &&
        !translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return;
    }
    QCoreApplication::installTranslator(translator.get());
    Installed().push_back(std::move(translator));
}

}  // namespace

WindowLanguage WindowLanguageFromEnvironment() {
    switch (LanguageFromEnvironment()) {
        case Language::English:
            return WindowLanguage::English;
        case Language::Chinese:
            return WindowLanguage::Chinese;
        case Language::Original:
            break;
    }
    return WindowLanguage::Original;
}

void UseWindowLanguage(WindowLanguage language) {
    // The engine's log lines and messages follow the window.
    SetLanguage(language == WindowLanguage::English   ? Language::English
                : language == WindowLanguage::Chinese ? Language::Chinese
                                                      : Language::Original);
    for (const auto& translator : Installed()) QCoreApplication::removeTranslator(translator.get());
    Installed().clear();
    switch (language) {
        case WindowLanguage::Original:
            break;
        case WindowLanguage::English:
            Install(QStringLiteral("quorvex_en"));
            break;
        case WindowLanguage::Chinese:
            // Qt's own texts too: the buttons of its dialogs and the file dialog.
            Install(QStringLiteral("qtbase_zh_CN"));
            Install(QStringLiteral("quorvex_zh"));
            break;
    }
}

}  // namespace quorvex::app
