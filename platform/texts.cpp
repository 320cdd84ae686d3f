#include "platform/texts.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/text_catalogue.h"

namespace quorvex {

namespace {

std::atomic<Language> g_language{Language::C};

bool Less(const CatalogueText* a, const CatalogueText* b) { return std::strcmp(a->c, b->c) < 0; }

// The catalogue sorted by its C texts, built once (a thread-safe static); read-only after.
const std::vector<const CatalogueText*>& SortedCatalogue() {
    static const std::vector<const CatalogueText*> sorted = [] {
        std::vector<const CatalogueText*> v;
        for (const CatalogueText& t : TextCatalogue()) v.push_back(&t);
        std::sort(v.begin(), v.end(), Less);
        return v;
    }();
    return sorted;
}

}  // namespace

Language LanguageFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        if (std::strncmp(value, "en", 2) == 0) return Language::English;
        if (std::strncmp(value, "zh", 2) == 0) return Language::Chinese;
        return Language::C;
    }
    return Language::C;
}

void SetLanguage(Language language) {
    // Sorted now, so that the first Tr on some worker thread finds it ready.
    if (language != Language::C) (void)SortedCatalogue();
    g_language.store(language, std::memory_order_relaxed);
}

Language CurrentLanguage() { return g_language.load(std::memory_order_relaxed); }

const char* Tr(const char* cText) {
    const Language language = CurrentLanguage();
    if (language == Language::C || !cText) return cText;
    const auto& sorted = SortedCatalogue();
    const CatalogueText key{cText, nullptr, nullptr};
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), &key, Less);
    if (it == sorted.end() || std::strcmp((*it)->c, cText) != 0) return cText;
    if (language == Language::Chinese) return (*it)->chinese;
    return (*it)->english ? (*it)->english : cText;
}

}  // namespace quorvex
