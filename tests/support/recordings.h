#pragma once
// Reading .RGB recordings back in tests.

#include <string>
#include <vector>

#include "recording/rgb_format.h"
#include "tests/support/traffic_builder.h"

namespace quorvex::test {

struct Recording {
    bool valid = false;  // the header could be read
    RgbHeaderInfo header;
    std::vector<Bytes> frames;
    size_t trailing = 0;  // bytes after the last whole frame
};

Recording ReadRecording(const std::string& path);

// Show frame numbers (ShowFrame) of the recorded frames, from 1 to `lastSent`; -1 where a
// frame matches none, that is where it is a mix of frames.
std::vector<int> ShowFramesIn(const Recording& recording, const std::vector<int>& universes,
                              int channels, int lastSent);

}  // namespace quorvex::test
