#pragma once
// The figures of one recording, for the line that tells the user whether it is whole.

#include <cstdint>
#include <string>

namespace quorvex {

struct RecordingSummary {
    uint32_t framesWritten = 0;
    double seconds = 0;  // the time the frames span, by packet timestamps, pauses left out
    uint32_t missingUpstream = 0;
    uint32_t incompleteFrames = 0;  // frames in which a surveyed universe did not arrive
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
