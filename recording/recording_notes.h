#pragma once
// Notes beside a saved recording, FILE.RGB.json: what the .RGB header cannot say (the
// universes and their senders, when and how fast it was recorded, the recording check).
// The controller never reads them; playback and inspection do.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/frame_layout.h"
#include "analysis/framing.h"
#include "analysis/universe_table.h"
#include "capture/source_directory.h"
#include "platform/result.h"
#include "recording/recording_summary.h"

namespace quorvex {

struct NotesUniverse {
    NotesUniverse(int32_t u = 0, uint16_t bytes = 0, std::string from = {}, int to = 0,
                  std::string name = {}, std::string id = {})
        : universe(u),
          length(bytes),
          source(std::move(from)),
          port(to),
          sourceName(std::move(name)),
          cid(std::move(id)) {}

    int32_t universe = 0;    // 15-bit Port-Address
    uint16_t length = 0;     // bytes it brings to each frame
    std::string source;      // dotted IPv4 of its sender
    int port = 0;            // the controller port it fills, from 1; 0: as its number says
    std::string sourceName;  // sACN: the source's name; empty for Art-Net
    std::string cid;         // sACN: the source's CID
};

struct RecordingNotes {
    // Ascending, without repeats: the order their bytes follow each other in a frame.
    std::vector<NotesUniverse> universes;
    int universesPerPort = 6;
    int ports = 0;
    // The universe selection: port 1 begins at `firstUniverse`, or the universes listed in
    // `selectedUniverses` ("100-102,200"; empty: none listed) fill the ports in turn.
    int firstUniverse = 0;
    std::string selectedUniverses;
    std::string icType;  // as the IC type list names it: "SPI&TTL", ...
    bool rgbw = false;
    double framesPerSecond = 0;  // measured
    std::string startTime;       // ISO 8601 UTC, "2024-05-01T20:15:00Z"
    std::string protocol;        // "Art-Net" or "sACN"; empty in older notes
    std::string framing;         // how frames were told apart (FramingName); empty in older notes
    bool framingReliable = true;
    struct Check {
        uint32_t framesWritten = 0;
        double seconds = 0;
        uint32_t missingUpstream = 0;
        uint32_t incompleteFrames = 0;
        std::optional<uint32_t> kernelDropped;  // nothing when unknown
        bool fromFile = false;
        // Absent from older notes, where they read as 0.
        uint32_t lostLocally = 0;
        double senderAwaySeconds = 0;
        uint32_t senderRestarts = 0;
        uint32_t universesNotFound = 0;
        uint32_t sourceChanges = 0;
        uint64_t malformedPackets = 0;
    } check;
};

// The notes of a recording from what the recorder knows when it saves it. `table` as
// ComputeFrameLayout left it for `universesPerPort` and `selection` (empty slots are skipped).
RecordingNotes NotesFor(const UniverseTable& table, const PortLayout& layout, int universesPerPort,
                        const UniverseSelection& selection, const std::string& icType, bool rgbw,
                        std::chrono::system_clock::time_point start,
                        const RecordingSummary& summary, const Framing& framing = {},
                        const SourceDirectory* sources = nullptr);
// The controller port (from 1) that universe `u` of the notes fills: as noted, or for notes
// without ports, universe / universes per port + 1.
inline int NotedPort(const RecordingNotes& n, const NotesUniverse& u) {
    return u.port > 0 ? u.port : u.universe / (n.universesPerPort > 0 ? n.universesPerPort : 1) + 1;
}

// "2024-05-01T20:15:00Z"
std::string IsoUtcText(std::chrono::system_clock::time_point time);

std::string NotesJson(const RecordingNotes& notes);
// Fails, saying why, on anything but well-formed notes.
Result<RecordingNotes> ParseNotesJson(const std::string& text);

// Where the notes of `rgbPath` live.
inline std::string NotesPath(const std::string& rgbPath) { return rgbPath + ".json"; }

// Writes the notes beside `rgbPath`, replacing older ones, durably.
Status WriteNotes(const std::string& rgbPath, const RecordingNotes& notes);
// Nothing when the recording has no notes; fails when they cannot be read or are not notes.
Result<std::optional<RecordingNotes>> ReadNotes(const std::string& rgbPath);
// Carries the notes along when a recording is renamed from `fromRgb` to `toRgb`. Without
// notes at `fromRgb`, stale ones at `toRgb` are removed: they described the replaced file.
Status MoveNotes(const std::string& fromRgb, const std::string& toRgb);

// Replaces `path` with `bytes` as a whole: a fresh temporary file in the same folder (never
// through a link), synced, renamed over `path`, then the folder synced.
Status ReplaceFileDurably(const std::string& path, const std::string& bytes);

}  // namespace quorvex
