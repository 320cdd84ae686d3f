#pragma once
// One language per locale for the texts the program shows: the texts as written (the C
// locale, and any locale that is neither English nor Chinese), English, or Chinese.

namespace quorvex {

enum class Language { C, English, Chinese };

// LC_ALL, then LC_MESSAGES, then LANG: the first that is set and not empty decides; en* is
// English, zh* Chinese, anything else C. Only the variables count: the locale need not exist.
Language LanguageFromEnvironment();
// Once at start, before any thread.
void SetLanguage(Language language);
Language CurrentLanguage();
// The text for the current language: `cText` itself under C or when it is not catalogued.
// A translated template keeps the printf conversions of `cText`, in the same order.
[[gnu::format_arg(1)]] const char* Tr(const char* cText);

}  // namespace quorvex
