#include "remote/token.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/text_format.h"
#include "platform/texts.h"
#include "platform/unique_fd.h"

namespace quorvex::remote {

namespace {

constexpr size_t kTokenBytes = 16;
constexpr size_t kMinTokenLength = 16;

bool Printable(const std::string& token) {
    for (const char c : token) {
        if (c <= ' ' || c > '~') return false;
    }
    return token.size() >= kMinTokenLength;
}

}  // namespace

std::string TokenPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/quorvex/serve-token";
}

Result<std::string> LoadOrCreateToken(const std::string& path) {
    const auto failed = [&](const char*) {
        return Fail(
            Format(Tr("cannot use the token file %s: %s"), path.c_str(), std::strerror(errno)));
    };
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.ok()) {
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return failed("read");
        // A token others can read is no secret.
        if ((st.st_mode & 077) != 0) {
            return Fail(
                Format(Tr("the token file %s may be read by others; make it 0600"), path.c_str()));
        }
        char buffer[256];
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) return failed("read");
        std::string token(buffer, static_cast<size_t>(n));
        while (!token.empty() && (token.back() == '\n' || token.back() == '\r')) token.pop_back();
        if (!Printable(token)) {
            return Fail(Format(Tr("the token file %s must hold one line of at least 16 visible "
                                  "characters"),
                               path.c_str()));
        }
        return token;
    }
    if (errno != ENOENT) return failed("read");
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    unsigned char random[kTokenBytes];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        return failed("make");
    }
    std::string token;
    for (const unsigned char b : random) token += Format("%02x", b);
    UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.ok()) return failed("write");
    const std::string line = token + "\n";
    if (::write(out.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        return failed("write");
    }
    return token;
}

}  // namespace quorvex::remote
