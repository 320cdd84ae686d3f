#include "platform/texts.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/text_catalogue.h"

namespace quorvex {

namespace {

std::atomic<Language> g_language{Language::Original};

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
    if (const char* texts = std::getenv("QUORVEX_TEXTS");
        texts && std::strcmp(texts, "original") == 0) {
        return Language::Original;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        return std::strncmp(value, "zh", 2) == 0 ? Language::Chinese : Language::English;
    }
    return Language::English;
}

void SetLanguage(Language language) {
    // Sorted now, so that the first Tr on some worker thread finds it ready.
    if (language != Language::Original) (void)SortedCatalogue();
    g_language.store(language, std::memory_order_relaxed);
}

Language CurrentLanguage() { return g_language.load(std::memory_order_relaxed); }

const char* Tr(const char* cText) {
    const Language language = CurrentLanguage();
    if (language == Language::Original || !cText) return cText;
    const auto& sorted = SortedCatalogue();
    const CatalogueText key{cText, nullptr, nullptr};
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), &key, Less);
    if (it == sorted.end() || std::strcmp((*it)->c, cText) != 0) return cText;
    if (language == Language::Chinese) return (*it)->chinese;
    return (*it)->english ? (*it)->english : cText;
}

}  // namespace quorvex
