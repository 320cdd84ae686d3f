#pragma once
// The .RGB recording file: a big-endian header describing the controller's ports, then
// whole frames with no per-frame header.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/frame_layout.h"
#include "platform/result.h"

namespace quorvex {

inline constexpr size_t kRgbFrameCountOffset = 14;
// The header counts frames in 16 bits: a recording holds at most this many.
inline constexpr uint32_t kMaxRecordedFrames = 65535;

// IC type code by position in the IC type list: DMX512 3, SPI&TTL 6, TM1814 27.
uint8_t IcTypeCode(int listIndex);
// Name of an IC type code, as the IC type list shows it; "unknown" for others.
std::string IcTypeName(uint8_t code);

// The header stores H - 1 in 16 bits: a recording has at most this many ports.
inline constexpr int32_t kMaxRgbPorts = 5000;

// Header length H = 535 + 13 * ports.
inline size_t RgbHeaderLength(int32_t ports) { return 535 + 13 * static_cast<size_t>(ports); }

// The header bytes, frame count 0.
std::vector<uint8_t> BuildRgbHeader(const PortLayout& layout, uint8_t icCode, bool rgbw);

// Default name offered by Save As for a scene number.
std::string DefaultSaveName(int sceneNo);

// The chosen path with its extension (from the last dot of the last component) replaced
// by ".RGB".
std::string FinalRgbName(const std::string& chosenPath);

// What a header says, for checking a recording.
struct RgbHeaderInfo {
    bool tagsValid = false;       // "RGB0", "1001", FF FF FF FF, 0x01 at 22
    uint16_t lastHeaderByte = 0;  // H - 1 as stored
    uint16_t frameCount = 0;
    uint32_t frameLength = 0;
    uint16_t portCount = 0;
    struct Port {
        uint16_t number = 0;
        uint16_t length = 0;
        uint8_t icCode = 0;
        bool rgbw = false;
        bool fixedBytesValid = false;  // the constant bytes of the record
    };
    std::vector<Port> ports;
    std::vector<uint16_t> gamma;
    size_t headerLength = 0;  // H from the port count
};

// Parses the header at the start of `bytes`; fails when there are too few bytes.
Result<RgbHeaderInfo> ParseRgbHeader(const std::vector<uint8_t>& bytes);

}  // namespace quorvex
