#include "recording/rgb_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "recording/rgb_header.h"

namespace quorvex {

RgbFile::~RgbFile() { Close(); }

bool RgbFile::Create(const std::string& path, const std::vector<uint8_t>& header) {
    Close();
    m_path = path;
    m_error.clear();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        m_error = std::strerror(errno);
        return false;
    }
    if (!WriteAll(header.data(), header.size())) {
        Close();
        return false;
    }
    return true;
}

bool RgbFile::WriteAll(const uint8_t* data, size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(m_fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            m_error = std::strerror(errno);
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool RgbFile::AppendFrame(const uint8_t* data, size_t length) {
    if (m_fd < 0) {
        m_error = "the file is not open";
        return false;
    }
    const off_t before = ::lseek(m_fd, 0, SEEK_CUR);
    if (WriteAll(data, length)) return true;
    // Leave no partial frame behind: the file must stay header + whole frames.
    if (before >= 0 && ::ftruncate(m_fd, before) == 0) ::lseek(m_fd, before, SEEK_SET);
    return false;
}

bool RgbFile::FixFrameCountAndClose(uint32_t frames) {
    if (m_fd < 0) return false;
    const uint8_t count[2] = {static_cast<uint8_t>((frames >> 8) & 0xFF),
                              static_cast<uint8_t>(frames & 0xFF)};
    bool ok = ::pwrite(m_fd, count, 2, kRgbFrameCountOffset) == 2;
    if (!ok) m_error = std::strerror(errno);
    if (::close(m_fd) != 0 && ok) {
        m_error = std::strerror(errno);
        ok = false;
    }
    m_fd = -1;
    return ok;
}

void RgbFile::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

std::string MoveFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    if (!ec) return {};
    if (ec != std::errc::cross_device_link) return ec.message();
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        const std::string reason = ec.message();
        std::error_code ignored;
        std::filesystem::remove(to, ignored);
        return reason;
    }
    std::filesystem::remove(from, ec);
    return {};
}

}  // namespace quorvex
