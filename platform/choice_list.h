#pragma once
// A choice list kept in memory, for window services that have no real list control.

#include <string>
#include <vector>

#include "platform/window_services.h"

namespace quorvex {

struct ChoiceList {
    std::vector<std::string> entries;
    int selected = kNoSelection;
    std::string typed;  // text typed into the list's field, which leaves no selection

    void Select(int index) {
        selected = index >= 0 && static_cast<size_t>(index) < entries.size() ? index : kNoSelection;
    }
    // The selected entry's text, else what was typed.
    std::string Text() const {
        return selected >= 0 ? entries[static_cast<size_t>(selected)] : typed;
    }
};

}  // namespace quorvex
