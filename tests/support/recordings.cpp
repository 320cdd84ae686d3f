#include "tests/support/recordings.h"

namespace quorvex::test {

Recording ReadRecording(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    Recording r;
    auto info = ParseRgbHeader(bytes);
    if (!info) return r;
    r.valid = true;
    r.header = *info;
    size_t at = info->headerLength;
    const size_t len = info->frameLength;
    while (len && at + len <= bytes.size()) {
        r.frames.emplace_back(bytes.begin() + static_cast<long>(at),
                              bytes.begin() + static_cast<long>(at + len));
        at += len;
    }
    r.trailing = bytes.size() - at;
    return r;
}

std::vector<int> ShowFramesIn(const Recording& recording, const std::vector<int>& universes,
                              int channels, int lastSent) {
    std::vector<int> found;
    for (const Bytes& frame : recording.frames) {
        int match = -1;
        for (int f = 1; f <= lastSent && match < 0; ++f) {
            if (frame == ShowFrame(f, universes, channels)) match = f;
        }
        found.push_back(match);
    }
    return found;
}

}  // namespace quorvex::test
