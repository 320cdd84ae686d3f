#pragma once
// Shows as real senders send them, written to capture files: per-universe counters with
// offsets, threads that send a lagging universe's frames back to back, skipped ticks, keep-alive
// resends, jittered bursts, lost packets, restarts, sACN sources with their CID and priority.
// Each generated show also says what a recording of it must hold, frame by frame.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/traffic_builder.h"

namespace quorvex::test {

struct SenderScript {
    bool sacn = false;
    std::vector<int> universes{0, 1, 2, 3};
    int channels = 32;
    int frames = 120;  // frames 1..frames
    double fps = 40;
    enum class Numbering { Shared, PerUniverse, None } numbering = Numbering::Shared;
    std::vector<int> offsets;    // PerUniverse: how far each universe's counter runs ahead
    bool zeroInCycle = false;    // Art-Net counters that run through 0, as OLA's do
    bool sacnSkipsZero = false;  // sACN counters that run 1..255, as QLC+'s do
    bool shuffle = false;        // the universes come in another order every frame
    uint32_t seed = 7;           // of that order and of the jitter
    bool jitter = false;         // random gaps within the frame's spread
    double spreadMs = 0.4;       // the time a frame's packets take
    // {frame, frames}: from this frame on, the sender's threads fall behind by that many frames
    // and then send what they owe back to back, their universes interleaved.
    std::vector<std::pair<int, int>> catchUps;
    std::vector<int> skipped;  // frames the sender skips in every universe (counters move on)
    // {frame, ms}: the sender's timer fires that late for the frame; the next is on time.
    std::vector<std::pair<int, double>> late;
    // {frame, universe index}: a keep-alive resend of the universe's unchanged data with its
    // next counter, inside that frame's burst (or, with `resendInGap`, halfway to the next).
    std::vector<std::pair<int, int>> resends;
    bool resendInGap = false;
    std::vector<int> unchanged;  // universe indices whose data never changes
    // {first, last}: frames that hold the look of the frame before them, in every universe.
    std::vector<std::pair<int, int>> holds;
    std::vector<std::pair<int, int>> lost;  // {frame, universe index}: lost on the way
    bool sync = false;                      // a synchronization packet ends every frame
    int restartAt = 0;  // the sender restarts before this frame, silent for restartMs
    double restartMs = 300;
    uint32_t address = 0x0A000001;
    std::array<uint8_t, 16> cid{0x51, 0x55, 0x4F, 0x52, 0x56, 0x45, 0x58, 0x00,
                                0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
    std::string name = "Quorvex test";
    uint8_t priority = 100;
    uint16_t syncAddress = 0;  // sACN: 0 without sync; the first universe's with it
    bool inverted = false;     // every byte inverted: another show, never equal to this one
    uint64_t startUs = 1'700'000'000'000'000ull;
    int firstFrame = 1;    // with `frames`: the frames sent are firstFrame..frames
    int cutIntoFirst = 0;  // the capture begins after this many packets of the first frame
};

struct TimedPacket {
    uint64_t us = 0;
    Bytes frame;  // Ethernet
};

struct GeneratedShow {
    std::vector<TimedPacket> packets;
    std::vector<int> sent;               // frames the sender sent, in order
    std::map<int, Bytes> truth;          // frame -> what a recording must hold
    std::vector<int> recordedUniverses;  // ascending
};

GeneratedShow Generate(const SenderScript& script);
// The data universe index `u` of `script` carries in frame `f`.
Bytes ScriptData(const SenderScript& script, int f, size_t u);

// Writes several senders' packets, merged in time order, to a capture file.
void WriteShows(const std::string& path, const std::vector<const GeneratedShow*>& shows);

// Where the recorded frames stand among the sent ones: the index into `show.sent` of the first
// recorded frame when every recorded frame is the next sent one, whole; -1 otherwise, with
// `why` telling the first recorded frame that is not.
int RecordedRun(const GeneratedShow& show, const std::vector<Bytes>& recorded, std::string* why);

}  // namespace quorvex::test
