#pragma once
// What quorvex-cli writes for people. Every text goes through Printable (platform/
// printable_text.h) on its way out, so that no control character from a file name, a notes
// file or the network reaches the terminal.

#include <cstdio>
#include <string>

namespace quorvex::cli {

// "quorvex-cli: TEXT" and a new line on stderr: a problem, or what is being done.
void Say(const std::string& text);
// `text` on `to` as it is, but printable; its new lines stay.
void Print(std::FILE* to, const std::string& text);

}  // namespace quorvex::cli
