#pragma once
// The catalogue behind Tr(): every text in each language. For the check that nothing shown is
// left untranslated, and for texts kept in constants.

#include <span>

namespace quorvex {

struct CatalogueText {
    const char* c;        // as written in the source: the key
    const char* english;  // nullptr: `c` is good English already
    const char* chinese;
};

std::span<const CatalogueText> TextCatalogue();

// Marks a text kept in a constant, which is translated where it is shown (Tr(constant)).
constexpr const char* TrLater(const char* cText) { return cText; }

}  // namespace quorvex
