#pragma once
// A .RGB recording as quorvex-cli shows it: inspect's report of its check (done by
// recording/rgb_format.h), for people and as JSON, and opening one to read its frames.

#include <cstdint>
#include <string>
#include <vector>

#include "recording/recording_notes.h"
#include "recording/rgb_format.h"

namespace quorvex::cli {

// The report for people, and as one JSON object.
// Valid, and its notes (when it has them) count no incomplete frame and none lost while it was
// recorded.
bool Whole(const RgbCheck& report, const RecordingNotes* notes);
// `notes`, when the recording has them: the verdict also tells what its check counted.
std::string InspectText(const RgbCheck& report, const std::string& path,
                        const RecordingNotes* notes = nullptr);
std::string InspectJson(const RgbCheck& report, const std::string& path,
                        const RecordingNotes* notes = nullptr);

// Opens `path` to read its frames (preview, play). On failure the message names the file and
// `exitCode` (cli/exit_codes.h) tells an unreadable file (kExitIo) from one that is not a valid
// recording (kExitInvalid).
Result<RgbReader> OpenRecording(const std::string& path, int* exitCode);

// A JSON string literal of `text` (quotes included).
std::string JsonString(const std::string& text);

}  // namespace quorvex::cli
