#pragma once
// Runs a program as a child process, its stdout and stderr going to files.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/traffic_builder.h"

extern char** environ;

namespace quorvex::test {

struct ChildResult {
    int code = -1;  // exit status, 128 + signal when killed, -1 when it hung
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path) {
    const Bytes b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

class ChildProcess {
  public:
    // Starts `program args...`, under `wrapper` (a program and its arguments, e.g. strace)
    // when one is given; its output files go into `scratch`, or its stdout to `stdoutFd`. The
    // texts are those as written (QUORVEX_TEXTS=original), whatever the tests run under, unless
    // `env` ("NAME=value", taking precedence over the test's environment) sets a locale
    // variable or QUORVEX_TEXTS.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& scratch, int stdoutFd = -1,
                 const std::vector<std::string>& wrapper = {},
                 const std::vector<std::string>& env = {}) {
        static int serial = 0;
        const std::string stem = scratch + "/child-" + std::to_string(++serial);
        m_out = stem + ".out";
        m_err = stem + ".err";
        std::vector<std::string> all = wrapper;
        all.push_back(program);
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
        const auto chooses = [](const std::string& var) {
            const std::string name = var.substr(0, var.find('='));
            return name == "LC_ALL" || name == "LC_MESSAGES" || name == "LANG" ||
                   name == "QUORVEX_TEXTS";
        };
        std::vector<std::string> vars = env;
        if (std::none_of(env.begin(), env.end(), chooses)) vars.push_back("QUORVEX_TEXTS=original");
        for (char** e = environ; *e; ++e) {
            if (!chooses(*e)) vars.push_back(*e);
        }
        std::vector<char*> envp;
        for (std::string& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int sig) const {
        if (m_pid > 0) kill(m_pid, sig);
    }
    std::string ErrSoFar() const { return ReadText(m_err); }
    pid_t Pid() const { return m_pid; }

    // Waits for the exit; a child still running after `limit` is killed (a hang, code -1).
    ChildResult Wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
        ChildResult r;
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

}  // namespace quorvex::test
