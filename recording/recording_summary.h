#pragma once
// The figures of one recording, for the line that tells the user whether it is whole.

#include <cstdint>
#include <string>

namespace quorvex {

struct RecordingSummary {
    uint32_t framesWritten = 0;
    double seconds = 0;  // the time the frames span, by packet timestamps, pauses left out
    uint32_t missingUpstream = 0;   // frames the sender did not send
    uint32_t lostLocally = 0;       // frames lost on this machine: the kernel dropped them
    uint32_t incompleteFrames = 0;  // frames in which a universe of the sender did not arrive
    double awaySeconds = 0;         // the sender's silences of a second or more, and restarts
    uint32_t senderRestarts = 0;
    uint32_t universesNotFound = 0;  // arrived during the recording, not found by Parse
    uint32_t sourceChanges = 0;      // an sACN universe changed to another source
    uint64_t malformedPackets = 0;
    bool fromFile = false;
    bool haveKernelStats = false;
    uint32_t kernelDropped = 0;  // from the start of the recording to its end
    int64_t startUs = 0;         // capture time (Unix, µs) at which the first frame began; 0: none
    // How fast the recording thread went: frames it pulled from the source, and the time
    // from the start of its loop to its end.
    uint64_t packetsRead = 0;
    double processingSeconds = 0;
};

// "Recording check: N frames written in S s (F frames/s), ..."
std::string SummaryLine(const RecordingSummary& s);

}  // namespace quorvex
