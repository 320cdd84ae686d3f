// The language of the texts: every text the engine and the CLI pass through Tr() has an
// English and a Chinese entry with the printf conversions of the original, the English in
// ASCII, and English is what any locale but a Chinese one shows.

#include "platform/texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "platform/printable_text.h"
#include "platform/text_catalogue.h"

namespace quorvex {
namespace {

namespace fs = std::filesystem;

// The body of a C string literal as its bytes; empty `error` unless an escape is unknown.
std::string Unescape(const std::string& body, std::string* error) {
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\') {
            out += body[i];
            continue;
        }
        switch (const char e = body[++i]) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case '"':
            case '\'':
            case '\\':
                out += e;
                break;
            case 'u': {
                // Three UTF-8 bytes: what the sources use (U+0800..U+FFFF).
                const unsigned cp = std::stoul(body.substr(i + 1, 4), nullptr, 16);
                out += static_cast<char>(0xE0 | (cp >> 12));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
                i += 4;
                break;
            }
            default:
                *error = std::string("unknown escape \\") + e;
        }
    }
    return out;
}

struct Found {
    std::string text;
    std::string where;  // file:line
};

// Every literal given to Tr() or TrLater() under `folders`, adjacent literals joined.
std::vector<Found> TranslatedLiterals(const std::vector<std::string>& folders) {
    std::vector<Found> found;
    const std::regex call("(^|[^A-Za-z0-9_])(Tr|TrLater)\\(\\s*\"");
    for (const std::string& folder : folders) {
        for (const auto& entry : fs::directory_iterator(fs::path(QUORVEX_SOURCE_DIR) / folder)) {
            const std::string ext = entry.path().extension();
            if (ext != ".cpp" && ext != ".h") continue;
            std::ifstream in(entry.path());
            const std::string s{std::istreambuf_iterator<char>(in), {}};
            for (std::sregex_iterator m(s.begin(), s.end(), call), end; m != end; ++m) {
                size_t at = static_cast<size_t>(m->position() + m->length()) - 1;
                std::string body;
                while (at < s.size() && s[at] == '"') {
                    size_t close = at + 1;
                    while (s[close] != '"') close += s[close] == '\\' ? 2 : 1;
                    body += s.substr(at + 1, close - at - 1);
                    at = s.find_first_not_of(" \t\n", close + 1);
                }
                const auto line = std::count(s.begin(), s.begin() + m->position(), '\n') + 1;
                const std::string where =
                    folder + "/" + entry.path().filename().string() + ":" + std::to_string(line);
                std::string error;
                found.push_back({Unescape(body, &error), where});
                EXPECT_EQ(error, "") << where;
            }
        }
    }
    return found;
}

// The printf conversions of a template, in order ("%%" is none).
std::vector<std::string> Conversions(const std::string& text) {
    static const std::regex conversion(
        "%[-+ #0]*[0-9*]*(\\.[0-9*]+)?(hh|h|ll|l|L|z|j|t)?[a-zA-Z%]");
    std::vector<std::string> out;
    for (std::sregex_iterator m(text.begin(), text.end(), conversion), end; m != end; ++m) {
        if (m->str() != "%%") out.push_back(m->str());
    }
    return out;
}

// The first character of `text` that is not ASCII (a full-width "，" or "！", a Chinese
// character, "…"), or nothing.
std::string FirstNonAscii(const std::string& text) {
    const auto it = std::find_if(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (it == text.end()) return {};
    size_t length = 1;
    while (it + static_cast<std::ptrdiff_t>(length) != text.end() &&
           (static_cast<unsigned char>(*(it + static_cast<std::ptrdiff_t>(length))) & 0xC0) ==
               0x80) {
        ++length;
    }
    return std::string(it, it + static_cast<std::ptrdiff_t>(length));
}

TEST(Texts, FullWidthPunctuationIsNoEnglish) {
    EXPECT_EQ(FirstNonAscii("Stopped!"), "");
    EXPECT_EQ(FirstNonAscii("Stopped！"), "！");
    EXPECT_EQ(FirstNonAscii("IP address："), "：");
    EXPECT_EQ(FirstNonAscii("6 universes，so"), "，");
    EXPECT_EQ(FirstNonAscii("Quorvex（V1）"), "（");
    EXPECT_EQ(FirstNonAscii("Waiting…"), "…");
}

TEST(Texts, EveryShownTextHasEnglishAndChineseWithItsConversions) {
    std::map<std::string, const CatalogueText*> catalogue;
    for (const CatalogueText& t : TextCatalogue()) {
        EXPECT_TRUE(catalogue.emplace(t.c, &t).second) << "catalogued twice: " << t.c;
        EXPECT_STRNE(t.chinese, "") << t.c;
        EXPECT_EQ(Conversions(t.chinese), Conversions(t.c)) << t.c;
        if (t.english) {
            EXPECT_EQ(Conversions(t.english), Conversions(t.c)) << t.c;
        }
        // The English, mended or kept as written, with ASCII punctuation and no Chinese.
        EXPECT_EQ(FirstNonAscii(t.english ? t.english : t.c), "") << t.c;
    }
    const auto found = TranslatedLiterals(
        {"capture", "capture_helper", "analysis", "recording", "platform", "cli", "remote"});
    EXPECT_GT(found.size(), 100u);  // the scan reads the sources
    for (const Found& f : found) {
        EXPECT_TRUE(catalogue.count(f.text)) << f.where << ": not catalogued: " << f.text;
    }
}

TEST(Texts, EnglishUnlessChineseOrTheOriginalTextsAreAskedFor) {
    const auto languageWith = [](const char* all, const char* messages, const char* lang,
                                 const char* texts = nullptr) {
        for (const auto& [name, value] : {std::pair{"LC_ALL", all},
                                          {"LC_MESSAGES", messages},
                                          {"LANG", lang},
                                          {"QUORVEX_TEXTS", texts}}) {
            value ? setenv(name, value, 1) : unsetenv(name);
        }
        return LanguageFromEnvironment();
    };
    EXPECT_EQ(languageWith(nullptr, nullptr, nullptr), Language::English);
    EXPECT_EQ(languageWith(nullptr, nullptr, "zh_CN.UTF-8"), Language::Chinese);
    EXPECT_EQ(languageWith("", "en_GB.UTF-8", "zh_CN.UTF-8"), Language::English);
    EXPECT_EQ(languageWith("", "zh_TW.UTF-8", "en_GB.UTF-8"), Language::Chinese);
    EXPECT_EQ(languageWith("C", "zh_CN.UTF-8", "zh_CN.UTF-8"), Language::English);
    EXPECT_EQ(languageWith(nullptr, nullptr, "C.UTF-8"), Language::English);
    EXPECT_EQ(languageWith("POSIX", nullptr, nullptr), Language::English);
    EXPECT_EQ(languageWith(nullptr, nullptr, "de_DE.UTF-8"), Language::English);
    EXPECT_EQ(languageWith(nullptr, nullptr, "zh_CN.UTF-8", "original"), Language::Original);
    EXPECT_EQ(languageWith("C", nullptr, nullptr, "original"), Language::Original);
    EXPECT_EQ(languageWith(nullptr, nullptr, "zh_CN.UTF-8", "english"), Language::Chinese);
    unsetenv("LANG");
    unsetenv("QUORVEX_TEXTS");

    // Found by its contents, wherever it is kept.
    const std::string copy = "Stopped！";
    const char* stopped = copy.c_str();
    SetLanguage(Language::Original);
    for (const CatalogueText& t : TextCatalogue()) EXPECT_EQ(Tr(t.c), t.c);
    EXPECT_EQ(Tr(stopped), stopped);
    SetLanguage(Language::English);
    EXPECT_STREQ(Tr(stopped), "Stopped!");
    EXPECT_STREQ(Tr("not catalogued"), "not catalogued");
    SetLanguage(Language::Chinese);
    EXPECT_STREQ(Tr(stopped), "已停止！");
    SetLanguage(Language::Original);
}

// What reaches a terminal or the window's log from outside: controls escaped, text kept.
TEST(PrintableText, ControlCharactersAreEscapedAndTextIsNot) {
    EXPECT_EQ(Printable("show 01 – 灯光 🎆"), "show 01 – 灯光 🎆");
    EXPECT_EQ(Printable("\x1b]0;owned\x07"), "\\x1b]0;owned\\x07");
    EXPECT_EQ(Printable(std::string("a\0b\x7f", 4)), "a\\x00b\\x7f");
    // C1 controls (a CSI) as \u, bytes that are no UTF-8 as \x: a stray byte, an overlong
    // form, a surrogate, a cut sequence.
    EXPECT_EQ(Printable("\xc2\x9b"
                        "2J\xc2\xa0"),
              "\\u009b2J\xc2\xa0");
    EXPECT_EQ(Printable("\x9b"
                        "\xc0\xaf"
                        "\xed\xa0\x80"
                        "\xe2\x82"),
              "\\x9b\\xc0\\xaf\\xed\\xa0\\x80\\xe2\\x82");
    EXPECT_EQ(Printable("two\nlines\tand\r"), "two\\x0alines\\x09and\\x0d");
    EXPECT_EQ(Printable("two\nlines\tand\r", true), "two\nlines\tand\\x0d");
}

}  // namespace
}  // namespace quorvex
