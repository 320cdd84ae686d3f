#include "platform/removable_media.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace quorvex {

namespace {

// "\040" and the like, as the kernel writes blanks, tabs, new lines and backslashes in names.
std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool Below(const std::string& folder, const std::string& parent) {
    return folder.size() > parent.size() + 1 && folder.compare(0, parent.size(), parent) == 0 &&
           folder[parent.size()] == '/';
}

std::string UserName() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name) return pw->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

}  // namespace

std::vector<Mount> ParseMounts(const std::string& table) {
    std::vector<Mount> mounts;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, folder, type;
        if (!(fields >> device >> folder >> type)) continue;
        mounts.push_back({Unescape(device), Unescape(folder), type});
    }
    return mounts;
}

std::vector<Mount> RemovableMounts(const std::vector<Mount>& mounts, const std::string& user) {
    std::vector<Mount> out;
    for (const Mount& m : mounts) {
        if (!m.device.starts_with("/dev/")) continue;
        const bool underUser = !user.empty() && (Below(m.folder, "/media/" + user) ||
                                                 Below(m.folder, "/run/media/" + user));
        // /media/usb0 (usbmount), but not /media/OTHERUSER/... of someone else.
        const bool directlyUnderMedia =
            Below(m.folder, "/media") && m.folder.find('/', 7) == std::string::npos;
        if (underUser || directlyUnderMedia) out.push_back(m);
    }
    return out;
}

std::vector<Mount> CurrentRemovableMounts() {
    std::ifstream in("/proc/self/mounts");
    const std::string table{std::istreambuf_iterator<char>(in), {}};
    return RemovableMounts(ParseMounts(table), UserName());
}

std::optional<Mount> MountHolding(const std::vector<Mount>& mounts, const std::string& path) {
    std::optional<Mount> best;
    for (const Mount& m : mounts) {
        if ((path == m.folder || Below(path, m.folder)) &&
            (!best || m.folder.size() > best->folder.size())) {
            best = m;
        }
    }
    return best;
}

std::string MediumName(const Mount& mount) {
    const size_t slash = mount.folder.find_last_of('/');
    return slash == std::string::npos ? mount.folder : mount.folder.substr(slash + 1);
}

}  // namespace quorvex
