#include "app/window_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>
#include <vector>

namespace quorvex::app {

namespace {

// The language part of a locale name: "zh" of "zh_CN.UTF-8", "en" of "en@quot".
QByteArray LanguagePart(const QByteArray& locale) {
    qsizetype end = 0;
    while (end < locale.size() && locale[end] != '_' && locale[end] != '.' && locale[end] != '@') {
        ++end;
    }
    return locale.left(end);
}

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
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(variable);
        if (value.isEmpty()) continue;
        const QByteArray language = LanguagePart(value);
        if (language == "en") return WindowLanguage::English;
        if (language == "zh") return WindowLanguage::Chinese;
        return WindowLanguage::C;
    }
    return WindowLanguage::C;
}

void UseWindowLanguage(WindowLanguage language) {
    for (const auto& translator : Installed()) QCoreApplication::removeTranslator(translator.get());
    Installed().clear();
    switch (language) {
        case WindowLanguage::C:
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
