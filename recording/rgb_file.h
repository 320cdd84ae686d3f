#pragma once
// The recording file on disk: created with its header, frames appended, frame count fixed
// at the end, then moved to its final name.

#include <cstdint>
#include <string>
#include <vector>

namespace quorvex {

class RgbFile {
  public:
    RgbFile() = default;
    ~RgbFile();
    RgbFile(const RgbFile&) = delete;
    RgbFile& operator=(const RgbFile&) = delete;

    // Creates (or truncates) `path` and writes the header. On failure returns false with
    // the reason in Error().
    bool Create(const std::string& path, const std::vector<uint8_t>& header);
    // Appends one frame at the end of the file, whole or not at all from the caller's view.
    bool AppendFrame(const uint8_t* data, size_t length);
    // Writes the low 16 bits of `frames` into the header and closes the file.
    bool FixFrameCountAndClose(uint32_t frames);
    void Close();

    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }
    const std::string& Error() const { return m_error; }

  private:
    bool WriteAll(const uint8_t* data, size_t length);
    int m_fd = -1;
    std::string m_path;
    std::string m_error;
};

// Moves `from` to `to`, replacing `to`; works across file systems. Empty on success, else
// the reason.
std::string MoveFile(const std::string& from, const std::string& to);

}  // namespace quorvex
