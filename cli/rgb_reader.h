#pragma once
// A recording opened to read its frames, checked first as `inspect` checks it, so that
// preview and playback never draw or send a damaged file.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/result.h"
#include "recording/rgb_header.h"

namespace quorvex::cli {

class RgbReader {
  public:
    // Opens `path`. On failure `exitCode` (cli/exit_codes.h) tells an unreadable file
    // (kExitIo) from one that is not a valid recording (kExitInvalid).
    static Result<RgbReader> Open(const std::string& path, int* exitCode);

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

}  // namespace quorvex::cli
