#include "recording/rgb_header.h"

#include <cmath>

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
    const uint8_t tags[] = {'R', 'G', 'B', '0', '1', '0', '0', '1', 0xFF, 0xFF, 0xFF, 0xFF};
    std::copy(std::begin(tags), std::end(tags), b.begin());
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
    const uint8_t tags[] = {'R', 'G', 'B', '0', '1', '0', '0', '1', 0xFF, 0xFF, 0xFF, 0xFF};
    info.tagsValid = std::equal(std::begin(tags), std::end(tags), b.begin()) && b[22] == 0x01;
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

}  // namespace quorvex
