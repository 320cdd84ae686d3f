#pragma once
// Runs the quorvex-cli binary as a child process, its stdout and stderr going to files, and
// checks recordings of the test pattern.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/test_pattern.h"
#include "recording/rgb_header.h"
#include "tests/support/traffic_builder.h"

extern char** environ;

namespace quorvex::test {

struct CliResult {
    int code = -1;  // exit status, 128 + signal when killed, -1 when it hung
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CliProcess {
  public:
    // Starts `quorvex-cli args...`; its output files go into `scratch`, or its stdout to
    // `stdoutFd` when one is given.
    CliProcess(const std::vector<std::string>& args, const std::string& scratch,
               int stdoutFd = -1) {
        static int serial = 0;
        const std::string stem = scratch + "/cli-" + std::to_string(++serial);
        m_out = stem + ".out";
        m_err = stem + ".err";
        std::vector<std::string> all{QUORVEX_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (stdoutFd >= 0) {
            posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, m_out.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        posix_spawn_file_actions_addopen(&actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void Signal(int sig) const {
        if (m_pid > 0) kill(m_pid, sig);
    }
    std::string ErrSoFar() const { return ReadText(m_err); }

    // Waits for the exit; a child still running after `limit` is killed (a hang, code -1).
    CliResult Wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
        CliResult r;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (m_pid > 0) {
            const pid_t done = waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                m_pid = -1;
            } else if (std::chrono::steady_clock::now() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
                m_pid = -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        r.out = ReadText(m_out);
        r.err = ReadText(m_err);
        return r;
    }

  private:
    pid_t m_pid = -1;
    std::string m_out;
    std::string m_err;
};

inline CliResult RunCli(const std::vector<std::string>& args, const std::string& scratch) {
    return CliProcess(args, scratch).Wait();
}

// One frame of the pattern as a recording lays it out: universes ascending, each `channels`
// bytes.
inline Bytes PatternFrame(uint32_t frame, const std::vector<int>& universes, int channels) {
    Bytes b;
    for (int u : universes) {
        for (int c = 0; c < channels; ++c) b.push_back(TestPatternByte(frame, u, c));
    }
    return b;
}

// The recording holds consecutive frames of the pattern, as many as its header counts, and
// nothing else. `first` gets the number of the first frame (modulo 256).
inline testing::AssertionResult HoldsPatternFrames(const std::string& path,
                                                   const std::vector<int>& universes, int channels,
                                                   uint32_t* first, uint32_t* count) {
    const Bytes bytes = ReadFileBytes(path);
    const auto h = ParseRgbHeader(bytes);
    if (!h) return testing::AssertionFailure() << path << ": no recording header";
    const size_t length = universes.size() * static_cast<size_t>(channels);
    if (h->frameLength != length) {
        return testing::AssertionFailure() << "frame length " << h->frameLength;
    }
    *count = h->frameCount;
    if (bytes.size() != h->headerLength + *count * length) {
        return testing::AssertionFailure()
               << "size " << bytes.size() << " for " << *count << " frames";
    }
    if (*count == 0) return testing::AssertionSuccess();
    const uint8_t* data = bytes.data() + h->headerLength;
    *first = 0;
    for (uint32_t f = 1; f <= 256 && !*first; ++f) {
        if (std::memcmp(PatternFrame(f, universes, channels).data(), data, length) == 0) *first = f;
    }
    if (!*first) return testing::AssertionFailure() << "frame 1 of the file is no pattern frame";
    for (uint32_t k = 1; k < *count; ++k) {
        if (std::memcmp(PatternFrame(*first + k, universes, channels).data(), data + k * length,
                        length) != 0) {
            return testing::AssertionFailure()
                   << "frame " << k + 1 << " of the file is not pattern frame " << *first + k;
        }
    }
    return testing::AssertionSuccess();
}

}  // namespace quorvex::test
