#pragma once
// A .RGB recording as quorvex-cli shows it: inspect's report of its check (done by
// recording/rgb_format.h), for people and as JSON, and opening one to read its frames.

#include <cstdint>
#include <string>
#include <vector>

#include "recording/rgb_format.h"

namespace quorvex::cli {

// The report for people, and as one JSON object.
std::string InspectText(const RgbCheck& report, const std::string& path);
std::string InspectJson(const RgbCheck& report, const std::string& path);

// Opens `path` to read its frames (preview, play). On failure the message names the file and
// `exitCode` (cli/exit_codes.h) tells an unreadable file (kExitIo) from one that is not a valid
// recording (kExitInvalid).
Result<RgbReader> OpenRecording(const std::string& path, int* exitCode);

// A JSON string literal of `text` (quotes included).
std::string JsonString(const std::string& text);

}  // namespace quorvex::cli
