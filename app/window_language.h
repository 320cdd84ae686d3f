#pragma once
// The language of the window's texts, chosen from the environment alone: the locale need not
// be installed for its language to be shown. The engine's own texts follow the same rule.

namespace quorvex::app {

enum class WindowLanguage { Original, English, Chinese };

// As the engine chooses (LanguageFromEnvironment): Chinese for zh*, the texts as written in the
// source with QUORVEX_TEXTS=original, else English (C, POSIX, de_DE..., or no locale at all).
WindowLanguage WindowLanguageFromEnvironment();

// Installs the window's catalogue and Qt's own for `language` (none for Original), replacing those
// of an earlier call. Texts are translated when a widget is made: call it before the window.
void UseWindowLanguage(WindowLanguage language);

}  // namespace quorvex::app
