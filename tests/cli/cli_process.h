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
#include <string>
#include <thread>
#include <vector>

#include "recording/rgb_format.h"
#include "tests/support/recordings.h"
#include "tests/support/traffic_builder.h"

extern char** environ;

namespace quorvex::test {

struct CliResult {
    int code = -1;  // exit status, 128 + signal when killed, -1 when it hung
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path) {
    const Bytes b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

class CliProcess {
  public:
    // Starts `quorvex-cli args...`, under `wrapper` (a program and its arguments, e.g. strace)
    // when one is given; its output files go into `scratch`, or its stdout to `stdoutFd`. The
    // texts are those of the C locale, whatever the tests run under, unless `env` ("NAME=value")
    // sets a locale variable.
    CliProcess(const std::vector<std::string>& args, const std::string& scratch, int stdoutFd = -1,
               const std::vector<std::string>& wrapper = {},
               const std::vector<std::string>& env = {}) {
        static int serial = 0;
        const std::string stem = scratch + "/cli-" + std::to_string(++serial);
        m_out = stem + ".out";
        m_err = stem + ".err";
        std::vector<std::string> all = wrapper;
        all.push_back(QUORVEX_CLI_PATH);
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
        std::vector<std::string> vars = env;
        for (char** e = environ; *e; ++e) {
            const std::string var = *e;
            const std::string name = var.substr(0, var.find('='));
            if (name != "LC_ALL" && name != "LC_MESSAGES" && name != "LANG") vars.push_back(var);
        }
        std::vector<char*> envp;
        for (std::string& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            m_pid = -1;
        }
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
    pid_t Pid() const { return m_pid; }

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

// Polls `done` until it holds, for at most a minute (a hang the caller's checks then show).
template <typename Done>
void WaitUntil(Done done) {
    const auto hang = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done() && std::chrono::steady_clock::now() < hang) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

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
