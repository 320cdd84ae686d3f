#pragma once
// The language of the window's texts, chosen from the environment alone: the locale need not
// be installed for its language to be shown. The engine's own texts follow the same rule.

namespace quorvex::app {

enum class WindowLanguage { C, English, Chinese };

// LC_ALL, then LC_MESSAGES, then LANG: the first that is set and not empty decides. en* is
// English, zh* Chinese, anything else (C, POSIX, de_DE...) the texts as written in the source.
WindowLanguage WindowLanguageFromEnvironment();

// Installs the window's catalogue and Qt's own for `language` (none for C), replacing those of
// an earlier call. Texts are translated when a widget is made: call it before the window.
void UseWindowLanguage(WindowLanguage language);

}  // namespace quorvex::app
