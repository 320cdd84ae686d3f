#include "recording/rgb_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <set>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>((v >> 8) & 0xFF);
    b[at + 1] = static_cast<uint8_t>(v & 0xFF);
}

uint16_t Get16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

constexpr size_t kPortRecord = 13;
constexpr size_t kPortsStart = 23;
constexpr size_t kGammaEntries = 256;
constexpr uint8_t kTags[] = {'R', 'G', 'B', '0', '1', '0', '0', '1', 0xFF, 0xFF, 0xFF, 0xFF};

std::string Errno() { return std::strerror(errno); }

// Reads `length` bytes at `at`; false with errno 0 when the file ends first.
bool ReadAt(int fd, uint8_t* data, size_t length, uint64_t at) {
    while (length > 0) {
        const ssize_t n = ::pread(fd, data, length, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = 0;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
        at += static_cast<uint64_t>(n);
    }
    return true;
}

bool IsIdentityGamma(const std::vector<uint16_t>& gamma) {
    for (size_t i = 0; i < gamma.size(); ++i) {
        if (gamma[i] != i) return false;
    }
    return gamma.size() == kGammaEntries;
}

void CheckPorts(const RgbHeaderInfo& h, std::vector<std::string>& problems) {
    if (h.portCount == 0) problems.push_back(Tr("the header declares no port"));
    uint64_t sum = 0;
    std::set<uint8_t> codes;
    std::set<bool> rgbw;
    for (size_t p = 0; p < h.ports.size(); ++p) {
        const RgbHeaderInfo::Port& port = h.ports[p];
        sum += port.length;
        codes.insert(port.icCode);
        rgbw.insert(port.rgbw);
        if (port.number != p) {
            problems.push_back(Format(Tr("port %zu is numbered %u"), p, port.number));
        }
        if (!port.fixedBytesValid) {
            problems.push_back(Format(Tr("port %zu: bad constant bytes in its record"), p));
        }
        if (IcTypeName(port.icCode) == "unknown") {
            problems.push_back(Format(Tr("port %zu: unknown IC type code %u"), p, port.icCode));
        }
    }
    if (codes.size() > 1) problems.push_back(Tr("the ports have different IC types"));
    if (rgbw.size() > 1) problems.push_back(Tr("the ports differ in RGBW"));
    if (sum != h.frameLength) {
        problems.push_back(Format(Tr("port lengths sum to %llu bytes, the frame length is %u"),
                                  static_cast<unsigned long long>(sum), h.frameLength));
    }
}

// A table that maps every level to 0, or brighter levels to darker ones, spoils the show.
void CheckGamma(const std::vector<uint16_t>& gamma, std::vector<std::string>& problems) {
    if (std::all_of(gamma.begin(), gamma.end(), [](uint16_t g) { return g == 0; })) {
        problems.push_back(Tr("the gamma table is all zero: the LEDs would stay dark"));
        return;
    }
    for (size_t i = 1; i < gamma.size(); ++i) {
        if (gamma[i] < gamma[i - 1]) {
            problems.push_back(Format(Tr("the gamma table decreases at entry %zu (%u after %u)"), i,
                                      gamma[i], gamma[i - 1]));
            return;
        }
    }
}

void CheckSize(RgbCheck& r) {
    const RgbHeaderInfo& h = *r.header;
    r.expectedSize = h.headerLength + static_cast<uint64_t>(h.frameCount) * h.frameLength;
    const uint64_t data = r.fileSize > h.headerLength ? r.fileSize - h.headerLength : 0;
    if (h.frameLength == 0) {
        r.headerProblems.push_back(Tr("the frame length is 0"));
        r.extraBytes = data;
        if (r.extraBytes) {
            r.headerProblems.push_back(Format(Tr("%llu bytes follow the header"),
                                              static_cast<unsigned long long>(r.extraBytes)));
        }
        return;
    }
    r.wholeFrames = data / h.frameLength;
    r.extraBytes = data % h.frameLength;
    if (r.extraBytes) {
        r.sizeProblems.push_back(Format(Tr("the file ends %llu bytes into a frame (truncated?)"),
                                        static_cast<unsigned long long>(r.extraBytes)));
    }
    if (r.wholeFrames != h.frameCount) {
        r.sizeProblems.push_back(Format(Tr("the header counts %u frames, the file holds %llu"),
                                        h.frameCount,
                                        static_cast<unsigned long long>(r.wholeFrames)));
    }
}

}  // namespace

uint8_t IcTypeCode(int listIndex) {
    switch (listIndex) {
        case 0:
            return 3;
        case 1:
            return 6;
        default:
            return 27;
    }
}

std::string IcTypeName(uint8_t code) {
    switch (code) {
        case 3:
            return "DMX512";
        case 6:
            return "SPI&TTL";
        case 27:
            return "TM1814";
        default:
            return "unknown";
    }
}

std::vector<uint8_t> BuildRgbHeader(const PortLayout& layout, uint8_t icCode, bool rgbw) {
    const size_t h = RgbHeaderLength(layout.portCount);
    std::vector<uint8_t> b(h, 0);
    std::copy(std::begin(kTags), std::end(kTags), b.begin());
    Put16(b, 16, layout.frameLength >> 16);
    Put16(b, 18, layout.frameLength & 0xFFFF);
    Put16(b, 20, static_cast<uint32_t>(layout.portCount));
    b[22] = 0x01;
    for (int32_t p = 0; p < layout.portCount; ++p) {
        const size_t r = kPortsStart + kPortRecord * static_cast<size_t>(p);
        Put16(b, r, static_cast<uint32_t>(p));
        Put16(b, r + 2, layout.portLengths[static_cast<size_t>(p)]);
        b[r + 8] = icCode;
        b[r + 9] = 0x80;
        b[r + 11] = rgbw ? 0x80 : 0x00;
    }
    const size_t gamma = kPortsStart + kPortRecord * static_cast<size_t>(layout.portCount);
    const double gammaExp = 1.0;
    const double top = std::pow(2.0, 8) - 1;
    for (size_t i = 0; i < kGammaEntries; ++i) {
        const double v = std::pow(static_cast<double>(i) / 255.0, gammaExp) * top + 0.5;
        Put16(b, gamma + 2 * i, static_cast<uint32_t>(v));
    }
    Put16(b, 12, static_cast<uint32_t>((h - 1) & 0xFFFF));
    return b;
}

std::string DefaultSaveName(int sceneNo) { return Format("Sc-%02d-01.RGB", sceneNo); }

std::string FinalRgbName(const std::string& chosenPath) {
    const size_t slash = chosenPath.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = chosenPath.find_last_of('.');
    std::string base = chosenPath;
    if (dot != std::string::npos && dot >= nameStart) base.erase(dot);
    return base + ".RGB";
}

Result<RgbHeaderInfo> ParseRgbHeader(const std::vector<uint8_t>& b) {
    if (b.size() < kPortsStart) return Fail(Tr("too short for a header"));
    RgbHeaderInfo info;
    info.tagsValid = std::equal(std::begin(kTags), std::end(kTags), b.begin()) && b[22] == 0x01;
    info.lastHeaderByte = Get16(b, 12);
    info.frameCount = Get16(b, kRgbFrameCountOffset);
    info.frameLength = (static_cast<uint32_t>(Get16(b, 16)) << 16) | Get16(b, 18);
    info.portCount = Get16(b, 20);
    info.headerLength = RgbHeaderLength(info.portCount);
    if (b.size() < info.headerLength) return Fail(Tr("too short for the header it declares"));
    for (size_t p = 0; p < info.portCount; ++p) {
        const size_t r = kPortsStart + kPortRecord * p;
        RgbHeaderInfo::Port port;
        port.number = Get16(b, r);
        port.length = Get16(b, r + 2);
        port.icCode = b[r + 8];
        port.rgbw = b[r + 11] == 0x80;
        port.fixedBytesValid = b[r + 4] == 0 && b[r + 5] == 0 && b[r + 6] == 0 && b[r + 7] == 0 &&
                               b[r + 9] == 0x80 && b[r + 10] == 0 &&
                               (b[r + 11] == 0 || b[r + 11] == 0x80) && b[r + 12] == 0;
        info.ports.push_back(port);
    }
    const size_t gamma = kPortsStart + kPortRecord * info.portCount;
    for (size_t i = 0; i < kGammaEntries; ++i) info.gamma.push_back(Get16(b, gamma + 2 * i));
    return info;
}

std::vector<std::string> RgbCheck::Problems() const {
    std::vector<std::string> all = headerProblems;
    all.insert(all.end(), sizeProblems.begin(), sizeProblems.end());
    return all;
}

RgbCheck CheckRgb(const std::vector<uint8_t>& head, uint64_t fileSize) {
    RgbCheck r;
    r.fileSize = fileSize;
    if (head.size() < kPortsStart) {
        r.headerProblems.push_back(
            Format(Tr("the file has %llu bytes, too few for a recording header"),
                   static_cast<unsigned long long>(fileSize)));
        return r;
    }
    if (auto parsed = ParseRgbHeader(head)) r.header = std::move(*parsed);
    if (!r.header) {
        const size_t ports = (static_cast<size_t>(head[20]) << 8) | head[21];
        r.headerProblems.push_back(
            Format(Tr("the header declares %zu ports and needs %zu bytes, the file "
                      "has %llu"),
                   ports, RgbHeaderLength(static_cast<int32_t>(ports)),
                   static_cast<unsigned long long>(fileSize)));
        return r;
    }
    const RgbHeaderInfo& h = *r.header;
    if (!h.tagsValid) {
        r.headerProblems.push_back(
            Tr("bad constant bytes: a recording starts \"RGB01001\", FF FF FF FF and has 01 at "
               "byte 22"));
    }
    if (h.lastHeaderByte + 1u != h.headerLength) {
        r.headerProblems.push_back(
            Format(Tr("the stored header length %u does not match the %zu bytes "
                      "of a header with %u ports"),
                   h.lastHeaderByte + 1u, h.headerLength, h.portCount));
    }
    CheckPorts(h, r.headerProblems);
    r.gammaIdentity = IsIdentityGamma(h.gamma);
    CheckGamma(h.gamma, r.headerProblems);
    CheckSize(r);
    return r;
}

Result<RgbCheck> CheckRgbFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return Fail(Errno());
    const auto size = static_cast<uint64_t>(st.st_size);
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(size, kLongestRgbHeader)));
    if (!ReadAt(fd, head.data(), head.size(), 0)) {
        return Fail(errno ? Errno() : std::string(Tr("the file ends early")));
    }
    return CheckRgb(head, size);
}

Result<RgbReader> RgbReader::Open(const std::string& path, RgbFault* fault) {
    *fault = RgbFault::Unreadable;
    // Non-blocking: a FIFO must not hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(Errno());
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(Tr("it is not a regular file"));
    }
    auto check = CheckRgbFile(fd);
    if (!check) {
        ::close(fd);
        return Fail(check.error());
    }
    if (!check->Valid()) {
        ::close(fd);
        *fault = RgbFault::Invalid;
        return Fail(check->Problems().front());
    }
    return RgbReader(fd, path, std::move(*check->header));
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

Result<RepairOutcome> RepairOpenRecording(int fd, RgbFault* fault) {
    *fault = RgbFault::Unreadable;
    const auto check = CheckRgbFile(fd);
    if (!check) return Fail(Format(Tr("cannot read the header: %s"), check.error().c_str()));
    RepairOutcome r;
    if (check->header) r.countBefore = check->header->frameCount;
    if (check->Valid()) {
        r.wholeFrames = r.countBefore;
        return r;
    }
    if (!check->Repairable()) {
        // Anything but a count or a cut frame means the header itself cannot be trusted: a
        // repair would only cut good frames off a damaged file.
        *fault = RgbFault::Invalid;
        if (check->HeaderValid() && check->wholeFrames > kMaxRecordedFrames) {
            return Fail(Format(Tr("it holds %llu whole frames, more than a header counts (%u)"),
                               static_cast<unsigned long long>(check->wholeFrames),
                               kMaxRecordedFrames));
        }
        return Fail(check->Problems().front());
    }
    r.wholeFrames = static_cast<uint32_t>(check->wholeFrames);
    r.droppedBytes = check->extraBytes;
    if (r.droppedBytes &&
        ::ftruncate(fd, static_cast<off_t>(check->fileSize - r.droppedBytes)) != 0) {
        return Fail(Format(Tr("cannot drop the partial frame: %s"), Errno().c_str()));
    }
    const uint8_t count[2] = {static_cast<uint8_t>(r.wholeFrames >> 8),
                              static_cast<uint8_t>(r.wholeFrames & 0xFF)};
    if (::pwrite(fd, count, 2, kRgbFrameCountOffset) != 2) {
        return Fail(Format(Tr("cannot write the frame count: %s"), Errno().c_str()));
    }
    if (::fsync(fd) != 0) return Fail(Format(Tr("cannot sync the file: %s"), Errno().c_str()));
    return r;
}

}  // namespace quorvex
