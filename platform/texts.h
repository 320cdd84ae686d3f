#pragma once
// The language of the texts the program shows: English, Chinese, or the texts as written in
// the source (the catalogue's keys), which only QUORVEX_TEXTS=original chooses.

namespace quorvex {

enum class Language { Original, English, Chinese };

// QUORVEX_TEXTS=original: the texts as written, whatever the locale. Else LC_ALL, then
// LC_MESSAGES, then LANG: the first that is set and not empty decides; zh* is Chinese, anything
// else (C, POSIX, en*, de_DE...) and no locale at all English. Only the variables count: the
// locale need not exist.
Language LanguageFromEnvironment();
// Once at start, before any thread. Until then the texts are shown as written.
void SetLanguage(Language language);
Language CurrentLanguage();
// The text for the current language: `cText` itself for Original or when it is not catalogued.
// A translated template keeps the printf conversions of `cText`, in the same order.
[[gnu::format_arg(1)]] const char* Tr(const char* cText);

}  // namespace quorvex
