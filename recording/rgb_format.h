#pragma once
// The .RGB recording format, in one place: a big-endian header describing the controller's
// ports, then whole frames with no per-frame header. The header is built and parsed here, a
// file is checked against it here, its frames are read here and a file a crash left is
// repaired here, so that recording, inspection, repair, preview and playback cannot disagree
// about what a recording is.

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
// Bytes a check may need from the start of a file: the longest header the port count allows.
inline constexpr size_t kLongestRgbHeader = 535 + 13 * 65535;

// The header bytes, frame count 0.
std::vector<uint8_t> BuildRgbHeader(const PortLayout& layout, uint8_t icCode, bool rgbw);

// Default name offered by Save As for a scene number.
std::string DefaultSaveName(int sceneNo);

// The chosen path with its extension (from the last dot of the last component) replaced
// by ".RGB".
std::string FinalRgbName(const std::string& chosenPath);

// What a header says.
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

// Reads the fields of the header at the start of `bytes`, whatever they hold; fails only when
// there are too few bytes for the header the port count declares. CheckRgb judges them.
Result<RgbHeaderInfo> ParseRgbHeader(const std::vector<uint8_t>& bytes);

// What a check of a file found: everything wrong with it, and what it holds.
struct RgbCheck {
    uint64_t fileSize = 0;
    std::optional<RgbHeaderInfo> header;  // nothing when the file is too short for one
    uint64_t expectedSize = 0;            // header + counted frames x frame length
    uint64_t wholeFrames = 0;             // whole frames after the header
    uint64_t extraBytes = 0;              // bytes after the last whole frame
    bool gammaIdentity = false;
    // The header contradicts the format or itself: no frame of the file can be trusted.
    std::vector<std::string> headerProblems;
    // The header is sound, but its frame count or the file's end is not (what a crash leaves).
    std::vector<std::string> sizeProblems;

    bool HeaderValid() const { return header && headerProblems.empty(); }
    bool Valid() const { return HeaderValid() && sizeProblems.empty(); }
    // Whole frames and perhaps part of one after a sound header, more or fewer than counted:
    // counting the whole frames and dropping the part makes it a valid recording.
    bool Repairable() const {
        return HeaderValid() && !sizeProblems.empty() && wholeFrames <= kMaxRecordedFrames;
    }
    // Every problem, the header's first.
    std::vector<std::string> Problems() const;
};

// Checks a recording from its first bytes (at least kLongestRgbHeader of them, or the whole
// file when it is shorter) and its size on disk.
RgbCheck CheckRgb(const std::vector<uint8_t>& head, uint64_t fileSize);
inline RgbCheck CheckRgb(const std::vector<uint8_t>& bytes) {
    return CheckRgb(bytes, bytes.size());
}

// Checks the open file `fd` as CheckRgb does; fails when it cannot be read.
Result<RgbCheck> CheckRgbFile(int fd);

// Why a recording could not be used: the file could not be read (or written), or it is not a
// valid recording (or, for a repair, not one a repair can make valid).
enum class RgbFault { Unreadable, Invalid };

// A recording opened to read its frames, checked first, so that nothing draws or sends a
// damaged file.
class RgbReader {
  public:
    // Opens `path` (a regular file, never waiting on a FIFO). On failure `fault` tells why.
    static Result<RgbReader> Open(const std::string& path, RgbFault* fault);

    RgbReader(RgbReader&& other) noexcept;
    RgbReader& operator=(RgbReader&&) = delete;
    RgbReader(const RgbReader&) = delete;
    ~RgbReader();

    const RgbHeaderInfo& Header() const { return m_header; }
    uint32_t Frames() const { return m_header.frameCount; }
    // Frame `index` (from 0), frame length bytes.
    Status ReadFrame(uint32_t index, std::vector<uint8_t>& out) const;

  private:
    RgbReader(int fd, std::string path, RgbHeaderInfo header)
        : m_fd(fd), m_path(std::move(path)), m_header(std::move(header)) {}
    int m_fd = -1;
    std::string m_path;
    RgbHeaderInfo m_header;
};

// What a repair changed.
struct RepairOutcome {
    uint32_t countBefore = 0;   // frame count the header held
    uint32_t wholeFrames = 0;   // whole frames after the header, now counted
    uint64_t droppedBytes = 0;  // a partial frame at the end, removed
    bool Changed() const { return countBefore != wholeFrames || droppedBytes != 0; }
};
// Repairs the open recording `fd` when CheckRgb finds it Repairable: counts its whole frames
// in the header and drops a partial frame at the end, then syncs it. Anything else is left
// byte for byte as it was: a valid recording (nothing changed), or one that is not repairable
// (fails, `fault` Invalid, with its first problem). `fault` Unreadable: the medium failed.
Result<RepairOutcome> RepairOpenRecording(int fd, RgbFault* fault);

}  // namespace quorvex
