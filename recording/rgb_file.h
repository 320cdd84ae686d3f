#pragma once
// The recording file on disk: created with its header, frames appended, the frame count kept
// up to date, then moved to its final name. Handled with the care of a database: it is never
// created through a link or over another file, one recording at a time holds it, and what
// holds frames is never truncated.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"
#include "recording/rgb_format.h"

namespace quorvex {

class RgbFile {
  public:
    RgbFile() = default;
    ~RgbFile();
    RgbFile(const RgbFile&) = delete;
    RgbFile& operator=(const RgbFile&) = delete;

    // Creates `path` as a new file (never through a symbolic link, never over an existing
    // file), holds it locked for this recording, and writes the header. `inUse` (when given)
    // tells a failure because another recording took the name from one of the medium.
    Status Create(const std::string& path, const std::vector<uint8_t>& header,
                  bool* inUse = nullptr);
    // Appends `count` frames of `length` bytes at the end of the file in one go. On failure
    // the frames written whole stay (`whole` says how many) and a partial one is removed, so
    // the file stays header + whole frames.
    Status AppendFrames(const uint8_t* const* frames, size_t count, size_t length, size_t* whole);
    // Makes the frames written so far durable, then counts `frames` in the header, so that a
    // crash leaves a valid file.
    Status Checkpoint(uint32_t frames);
    // Counts `frames` (the low 16 bits) in the header, syncs the file and closes it.
    Status FixFrameCountAndClose(uint32_t frames);
    void Close();

    bool IsOpen() const { return m_fd >= 0; }

  private:
    Status WriteAll(const uint8_t* data, size_t length);
    Status WriteCount(uint32_t frames);
    int m_fd = -1;
};

// Moves `from` to `to`, replacing `to`; works across file systems (a copy is synced before the
// original goes). The folder is not synced: once this succeeds the file is at `to`.
Status RenameFile(const std::string& from, const std::string& to);
// RenameFile, then the folder of `to` synced, so that the move survives a power loss.
Status MoveFile(const std::string& from, const std::string& to);
// Syncs the folder that holds `path`.
Status SyncFolderOf(const std::string& path);

// Repairs the recording at `path` as RepairOpenRecording does (recording/rgb_format.h),
// holding it as a recording holds its working file. Fails, changing nothing, when it is a link
// or a special file, or while another recording holds it (`fault` Unreadable).
Result<RepairOutcome> RepairRecording(const std::string& path, RgbFault* fault);

// A working file a recording left (a cancelled save, a failed move, a crash).
struct KeptWorkingFile {
    uint32_t frames = 0;  // whole frames it holds
    std::string path;     // where it is now
};
// What the working file at `path` holds, when it is a regular file holding frames.
std::optional<KeptWorkingFile> FindKeptWorkingFile(const std::string& path);
// Clears the way for a new working file at `path`: a kept one that holds frames is repaired
// and moved aside in its folder as "Unsaved-YYYYMMDD-HHMMSS.RGB" (local time `now`); one
// without frames is removed. Fails when `path` is a link or a special file, or while another
// recording holds it.
Result<std::optional<KeptWorkingFile>> SetAsideWorkingFile(const std::string& path, time_t now);
// Saves a kept working file under the name `final` (replacing a file of that name): repaired
// first, so that its header counts its whole frames. Fails, changing nothing, when it holds no
// frame, is not a regular file, or another recording holds it. The frames it saved.
Result<uint32_t> SaveKeptWorkingFile(const std::string& path, const std::string& final);

// DefaultSaveName(scene) for the first scene from `scene` on whose name is free in `folder`.
std::string FreeSaveName(const std::string& folder, int scene);

}  // namespace quorvex
