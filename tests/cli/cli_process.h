#pragma once
// Runs the quorvex-cli binary as a child process, its stdout and stderr going to files, and
// checks recordings of the test pattern.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/test_pattern.h"
#include "recording/rgb_format.h"
#include "tests/support/child_process.h"
#include "tests/support/recordings.h"
#include "tests/support/traffic_builder.h"

namespace quorvex::test {

using CliResult = ChildResult;

// quorvex-cli, or the copy of it at `program`.
class CliProcess : public ChildProcess {
  public:
    CliProcess(const std::vector<std::string>& args, const std::string& scratch, int stdoutFd = -1,
               const std::vector<std::string>& wrapper = {},
               const std::vector<std::string>& env = {},
               const std::string& program = QUORVEX_CLI_PATH)
        : ChildProcess(program, args, scratch, stdoutFd, wrapper, env) {}
};

inline CliResult RunCli(const std::vector<std::string>& args, const std::string& scratch) {
    return CliProcess(args, scratch).Wait();
}

// The recording holds consecutive frames of the pattern, as many as its header counts, and
// nothing else. `first` gets the number of the first frame (modulo 256).
inline testing::AssertionResult HoldsPatternFrames(const std::string& path,
                                                   const std::vector<int>& universes, int channels,
                                                   uint32_t* first, uint32_t* count) {
    const Recording r = ReadRecording(path);
    const size_t length = universes.size() * static_cast<size_t>(channels);
    if (!r.valid || r.header.frameLength != length || r.frames.size() != r.header.frameCount ||
        r.trailing != 0) {
        return testing::AssertionFailure() << path << " does not hold the frames its header counts";
    }
    *count = r.header.frameCount;
    *first = 0;
    for (uint32_t f = 1; f <= 256 && *count && !*first; ++f) {
        if (ShowFrame(static_cast<int>(f), universes, channels) == r.frames[0]) *first = f;
    }
    for (uint32_t k = 0; k < *count; ++k) {
        if (ShowFrame(static_cast<int>(*first + k), universes, channels) != r.frames[k]) {
            return testing::AssertionFailure() << "frame " << k << " is no pattern frame";
        }
    }
    return testing::AssertionSuccess();
}

}  // namespace quorvex::test
