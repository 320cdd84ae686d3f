#pragma once
// Plays a recording back as Art-Net: each frame as ArtDmx packets sharing one sequence
// number, then an ArtSync, paced at a frame rate. For checking a recording on real lights, or
// recording it again.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"
#include "recording/recording_notes.h"
#include "recording/rgb_format.h"

namespace quorvex::cli {

struct PlayProgress {
    uint64_t framesSent = 0;  // over all rounds
    uint32_t frame = 0;       // the frame of the file just sent, from 1
    uint32_t frames = 0;      // frames in the file
    uint32_t round = 1;       // with loop: how often the file has started
    bool ended = false;       // the last call: nothing more is sent
};

inline constexpr double kDefaultPlayFps = 40;

struct PlayOptions {
    std::string path;
    std::string target = "127.0.0.1";  // IPv4
    double fps = 0;                    // 0: the rate the notes measured, else kDefaultPlayFps
    bool loop = false;                 // start again after the last frame, until interrupted
    bool allowNetwork = false;         // targets outside 127.0.0.0/8
    int universesPerPort = 6;          // 1..8; for a recording without notes
    // Stops the playback when non-zero; nothing: Ctrl-C (handlers installed by RunPlay).
    const std::atomic<int>* interrupt = nullptr;
    // On the sending thread, after each frame.
    std::function<void(const PlayProgress&)> progress;
};

// Where a universe's bytes sit in a frame.
struct PlayUniverse {
    int universe = 0;
    uint32_t offset = 0;
    uint16_t length = 0;
};

// The universes a frame goes out as. From the notes when given: their universes in ascending
// order fill the frame, as the recorder laid it out. Without: port p's bytes as consecutive
// universes of 512 bytes from universe p * perPort, the last one shorter. Fails when neither
// fits the header.
Result<std::vector<PlayUniverse>> PlayLayout(const RgbHeaderInfo& header,
                                             const std::optional<RecordingNotes>& notes,
                                             int perPort);

// quorvex-cli's play. Returns an exit code (cli/exit_codes.h); errors go to stderr.
int RunPlay(const PlayOptions& options);

}  // namespace quorvex::cli
