#include "cli/rgb_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/exit_codes.h"
#include "cli/rgb_check.h"
#include "platform/text_format.h"
#include "platform/texts.h"

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
    if (fd < 0) return Fail(Format(Tr("cannot read %s: %s"), path.c_str(), Errno().c_str()));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(Format(Tr("%s is not a regular file"), path.c_str()));
    }
    const auto size = static_cast<uint64_t>(st.st_size);
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(size, kLongestRgbHeader)));
    if (!ReadAt(fd, head.data(), head.size(), 0)) {
        const std::string why = errno ? Errno() : Tr("the file ends early");
        ::close(fd);
        return Fail(Format(Tr("cannot read %s: %s"), path.c_str(), why.c_str()));
    }
    InspectReport report = InspectRgb(head, size);
    if (!report.Valid()) {
        ::close(fd);
        *exitCode = kExitInvalid;
        return Fail(Format(Tr("%s is not a valid recording: %s"), path.c_str(),
                           report.problems.front().c_str()));
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
    if (index >= Frames()) return Fail(Format(Tr("no frame %u in %s"), index + 1, m_path.c_str()));
    out.resize(m_header.frameLength);
    const uint64_t at = m_header.headerLength + uint64_t{index} * m_header.frameLength;
    if (!ReadAt(m_fd, out.data(), out.size(), at)) {
        // The file shrank or the medium failed after it was checked.
        return Fail(Format(Tr("cannot read frame %u of %s: %s"), index + 1, m_path.c_str(),
                           errno ? Errno().c_str() : Tr("the file ends early")));
    }
    return {};
}

}  // namespace quorvex::cli
