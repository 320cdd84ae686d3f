#pragma once
// Checking a .RGB recording: what its header says and whether the file agrees with it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recording/rgb_header.h"

namespace quorvex::cli {

struct InspectReport {
    uint64_t fileSize = 0;
    std::optional<RgbHeaderInfo> header;  // nothing when the file is too short for one
    uint64_t expectedSize = 0;            // header + counted frames x frame length
    uint64_t wholeFrames = 0;             // whole frames after the header
    uint64_t extraBytes = 0;              // bytes after the last whole frame
    bool gammaIdentity = false;
    std::vector<std::string> problems;

    bool Valid() const { return header && problems.empty(); }
};

// Checks a recording from its first bytes (at least its header, or the whole file when it
// is shorter) and its size on disk.
InspectReport InspectRgb(const std::vector<uint8_t>& head, uint64_t fileSize);
inline InspectReport InspectRgb(const std::vector<uint8_t>& bytes) {
    return InspectRgb(bytes, bytes.size());
}

// Bytes InspectRgb may need from the start of a file: the longest possible header.
inline constexpr size_t kLongestRgbHeader = 535 + 13 * 65535;

// The report for people, and as one JSON object.
std::string InspectText(const InspectReport& report, const std::string& path);
std::string InspectJson(const InspectReport& report, const std::string& path);

// A JSON string literal of `text` (quotes included).
std::string JsonString(const std::string& text);

}  // namespace quorvex::cli
