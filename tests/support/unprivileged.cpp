#include "tests/support/unprivileged.h"

#include <gtest/gtest.h>
#include <sys/capability.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace quorvex::test {

namespace fs = std::filesystem;

bool InstallWithHelper(const std::string& folder, const std::vector<std::string>& programs,
                       const std::string& helper, std::string* why) {
    std::error_code ec;
    fs::permissions(folder,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    ec);
    std::vector<std::string> all = programs;
    all.push_back(helper);
    for (const std::string& p : all) {
        fs::copy_file(p, fs::path(folder) / fs::path(p).filename(),
                      fs::copy_options::overwrite_existing, ec);
        if (ec) {
            *why = "cannot copy " + p + ": " + ec.message();
            return false;
        }
    }
    const std::string copy = (fs::path(folder) / fs::path(helper).filename()).string();
    cap_t caps = cap_from_text("cap_net_raw,cap_net_admin=ep");
    const bool set = caps && cap_set_file(copy.c_str(), caps) == 0;
    if (caps) cap_free(caps);
    if (!set) *why = "cannot give " + copy + " capabilities (root on a file system with xattrs?)";
    return set;
}

std::vector<std::string> WithoutCapabilities() {
    return {"setpriv", "--securebits", "+noroot,+noroot_locked", "--inh-caps", "-all", "--"};
}

std::set<std::string> ThreadsHoldingNone(pid_t pid, uint64_t mask) {
    const bool allSets = mask == kEveryCapability;
    std::set<std::string> threads;
    int checked = 0;
    int tasks = 0;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        ++tasks;
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Name:\t", 0) == 0) threads.insert(line.substr(6));
            const bool judged =
                line.rfind("CapEff:\t", 0) == 0 || line.rfind("CapPrm:\t", 0) == 0 ||
                (allSets && (line.rfind("CapInh:\t", 0) == 0 || line.rfind("CapAmb:\t", 0) == 0));
            if (!judged) continue;
            EXPECT_EQ(std::stoull(line.substr(8), nullptr, 16) & mask, 0u)
                << task.path() << " " << line;
            ++checked;
        }
    }
    EXPECT_EQ(checked, (allSets ? 4 : 2) * tasks);
    return threads;
}

void WaitForThread(pid_t pid, const std::string& name) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < limit) {
        std::error_code gone;  // it ended: the caller's checks tell
        for (const auto& task : fs::directory_iterator(tasks, gone)) {
            std::ifstream comm(task.path() / "comm");
            std::string threadName;
            if (std::getline(comm, threadName) && threadName == name) return;
        }
        if (gone) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<pid_t> ChildrenNamed(pid_t pid, const std::string& name) {
    std::vector<pid_t> found;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream children(task.path() / "children");
        for (pid_t child; children >> child;) {
            std::ifstream comm("/proc/" + std::to_string(child) + "/comm");
            std::string childName;
            if (std::getline(comm, childName) && childName == name) found.push_back(child);
        }
    }
    return found;
}

bool EndsSoon(pid_t pid) {
    const auto ended = [pid] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) return true;
        const size_t name = line.rfind(')');
        return name != std::string::npos && line.size() > name + 2 && line[name + 2] == 'Z';
    };
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!ended() && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ended();
}

std::string StatusField(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":\t", 0) == 0) return line.substr(field.size() + 2);
    }
    return {};
}

}  // namespace quorvex::test
