#include "cli/rgb_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/exit_codes.h"
#include "cli/rgb_check.h"

namespace quorvex::cli {

namespace {

std::string Errno() { return std::strerror(errno); }

bool ReadAt(int fd, uint8_t* data, size_t length, uint64_t at) {
    while (length > 0) {
        const ssize_t n = ::pread(fd, data, length, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = 0;  // the end of the file, not a failure of the medium
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
        at += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

Result<RgbReader> RgbReader::Open(const std::string& path, int* exitCode) {
    *exitCode = kExitIo;
    // Non-blocking: a FIFO must not hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail("cannot read " + path + ": " + Errno());
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(path + " is not a regular file");
    }
    const auto size = static_cast<uint64_t>(st.st_size);
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(size, kLongestRgbHeader)));
    if (!ReadAt(fd, head.data(), head.size(), 0)) {
        const std::string why = errno ? Errno() : "the file ends early";
        ::close(fd);
        return Fail("cannot read " + path + ": " + why);
    }
    InspectReport report = InspectRgb(head, size);
    if (!report.Valid()) {
        ::close(fd);
        *exitCode = kExitInvalid;
        return Fail(path + " is not a valid recording: " + report.problems.front());
    }
    *exitCode = kExitOk;
    return RgbReader(fd, path, std::move(*report.header));
}

RgbReader::RgbReader(RgbReader&& other) noexcept
    : m_fd(other.m_fd), m_path(std::move(other.m_path)), m_header(std::move(other.m_header)) {
    other.m_fd = -1;
}

RgbReader::~RgbReader() {
    if (m_fd >= 0) ::close(m_fd);
}

Status RgbReader::ReadFrame(uint32_t index, std::vector<uint8_t>& out) const {
    if (index >= Frames()) return Fail("no frame " + std::to_string(index + 1) + " in " + m_path);
    out.resize(m_header.frameLength);
    const uint64_t at = m_header.headerLength + uint64_t{index} * m_header.frameLength;
    if (!ReadAt(m_fd, out.data(), out.size(), at)) {
        // The file shrank or the medium failed after it was checked.
        return Fail("cannot read frame " + std::to_string(index + 1) + " of " + m_path + ": " +
                    (errno ? Errno() : "the file ends early"));
    }
    return {};
}

}  // namespace quorvex::cli
