#include "platform/app_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quorvex {

std::string ExecutableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

std::string CaptureHelperPath() {
    for (const std::string& folder : {ExecutableFolder(), std::string(QUORVEX_INSTALL_BINDIR)}) {
        const std::string path = folder + "/quorvex-capture";
        // Whether this user may run it is the helper's own question: it answers with a reason.
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) return path;
    }
    return {};
}

bool EnsureWritableFolder(const std::string& folder) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        if (std::filesystem::exists(folder, ec)) return false;  // a file stands in the way
        std::filesystem::create_directories(folder, ec);
        if (ec) return false;
    }
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

static std::string UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/Quorvex";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/Quorvex";
}

// An installed program writes nothing among the system's files, not even when root runs it.
static bool InstalledFolder(const std::string& folder) {
    return folder.starts_with("/usr/") || folder == "/bin" || folder == "/sbin";
}

std::string RecordingFolder() {
    const std::string exeFolder = ExecutableFolder();
    const std::string besideExe = exeFolder + "/RGBFiles";
    if (!InstalledFolder(exeFolder) && EnsureWritableFolder(besideExe)) return besideExe;
    const std::string user = UserDataFolder() + "/RGBFiles";
    EnsureWritableFolder(user);
    return user;
}

}  // namespace quorvex
