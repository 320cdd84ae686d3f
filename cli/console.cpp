#include "cli/console.h"

#include "platform/printable_text.h"

namespace quorvex::cli {

void Say(const std::string& text) { Print(stderr, "quorvex-cli: " + text + "\n"); }

void Print(std::FILE* to, const std::string& text) {
    std::fputs(Printable(text, true).c_str(), to);
}

}  // namespace quorvex::cli
