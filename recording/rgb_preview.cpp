#include "recording/rgb_preview.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {

namespace fs = std::filesystem;

struct Rgb {
    uint8_t r, g, b;
};
constexpr Rgb kStrip{24, 24, 24};
constexpr Rgb kText{230, 230, 230};
constexpr Rgb kSeparator{128, 128, 128};

// Enough to hold in memory and for viewers to open.
constexpr uint64_t kMaxPixels = 64u << 20;
constexpr int kMaxWidth = 1 << 20;
constexpr size_t kMaxTitle = 100;

// A 5x7 font for the strip: rows top down, bit 4 the left column. Lower case is drawn as
// upper case, anything else missing as '?'.
struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {' ', {0, 0, 0, 0, 0, 0, 0}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0, 0, 0, 0, 0, 0x0C, 0x0C}},
    {',', {0, 0, 0, 0, 0x0C, 0x04, 0x08}},
    {':', {0, 0x0C, 0x0C, 0, 0x0C, 0x0C, 0}},
    {'-', {0, 0, 0, 0x1F, 0, 0, 0}},
    {'_', {0, 0, 0, 0, 0, 0, 0x1F}},
    {'/', {0, 0x01, 0x02, 0x04, 0x08, 0x10, 0}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'[', {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E}},
    {']', {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E}},
    {'+', {0, 0x04, 0x04, 0x1F, 0x04, 0x04, 0}},
    {'=', {0, 0, 0x1F, 0, 0x1F, 0, 0}},
    {'&', {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
    {'@', {0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E}},
    {'\'', {0x0C, 0x04, 0x08, 0, 0, 0, 0}},
    {'!', {0x04, 0x04, 0x04, 0x04, 0, 0, 0x04}},
    {'~', {0, 0, 0x08, 0x15, 0x02, 0, 0}},
    {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0, 0x04}},
};

constexpr int kScale = 2;
constexpr int kAdvance = 6 * kScale;
constexpr int kLineHeight = 9 * kScale;
constexpr int kPad = 3 * kScale;
constexpr int kStripHeight = 2 * kPad + 2 * kLineHeight;

const Glyph& GlyphOf(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const Glyph& g : kFont) {
        if (g.c == c) return g;
    }
    return kFont[std::size(kFont) - 1];
}

void Put(Image& img, int x, int y, Rgb c) {
    uint8_t* p = &img.rgb[(static_cast<size_t>(y) * static_cast<size_t>(img.width) +
                           static_cast<size_t>(x)) *
                          3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
}

void DrawText(Image& img, int x, int y, const std::string& text) {
    for (const char ch : text) {
        const Glyph& g = GlyphOf(ch);
        for (int row = 0; row < 7 * kScale; ++row) {
            for (int col = 0; col < 5 * kScale; ++col) {
                if (g.rows[row / kScale] & (0x10 >> (col / kScale)))
                    Put(img, x + col, y + row, kText);
            }
        }
        x += kAdvance;
    }
}

int PixelsOf(const RgbHeaderInfo::Port& port) {
    return (port.length + (port.rgbw ? 3 : 2)) / (port.rgbw ? 4 : 3);
}

std::string TitleOf(const std::string& path) {
    std::string title = fs::path(path).filename().string();
    if (title.size() > kMaxTitle) title = title.substr(0, kMaxTitle - 3) + "...";
    // The font has ASCII only.
    for (char& c : title) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    }
    return title;
}

void DrawFrameRow(Image& img, const RgbHeaderInfo& h, const std::vector<uint8_t>& frame, int y) {
    const std::vector<std::vector<uint8_t>> pixels =
        PortPixels(h.ports, frame.data(), frame.size());
    for (size_t p = 0; p < h.ports.size(); ++p) {
        const std::vector<uint8_t>& port = pixels[p];
        for (size_t i = 0; i + 2 < port.size(); i += 3) {
            Put(img, img.portLeft[p] + static_cast<int>(i / 3), y,
                {port[i], port[i + 1], port[i + 2]});
        }
        if (p + 1 < h.ports.size()) Put(img, img.portLeft[p + 1] - 1, y, kSeparator);
    }
}

}  // namespace

std::vector<std::vector<uint8_t>> PortPixels(const std::vector<RgbHeaderInfo::Port>& ports,
                                             const uint8_t* frame, size_t length) {
    std::vector<std::vector<uint8_t>> out(ports.size());
    size_t offset = 0;
    for (size_t p = 0; p < ports.size(); ++p) {
        const RgbHeaderInfo::Port& port = ports[p];
        const size_t bpp = port.rgbw ? 4 : 3;
        // A pixel cut short at the end of a port (or the frame) gets 0 for the bytes it lacks.
        const auto byte = [&](size_t i) {
            return i < port.length && offset + i < length ? int{frame[offset + i]} : 0;
        };
        const int pixels = PixelsOf(port);
        out[p].reserve(static_cast<size_t>(pixels) * 3);
        for (int i = 0; i < pixels; ++i) {
            const size_t at = static_cast<size_t>(i) * bpp;
            const int white = bpp == 4 ? byte(at + 3) : 0;
            for (size_t c = 0; c < 3; ++c) {
                out[p].push_back(static_cast<uint8_t>(std::min(255, byte(at + c) + white)));
            }
        }
        offset += port.length;
    }
    return out;
}

std::string PixelsPerPortText(const RgbHeaderInfo& h) {
    int lo = INT32_MAX;
    int hi = 0;
    for (const auto& p : h.ports) {
        lo = std::min(lo, PixelsOf(p));
        hi = std::max(hi, PixelsOf(p));
    }
    if (h.ports.empty()) return "0";
    return lo == hi ? Format("%d", lo) : Format("%d-%d", lo, hi);
}

Result<Image> RenderPreview(const RgbHeaderInfo& h, const FrameSource& frames,
                            const RenderOptions& o) {
    Image img;
    int content = 0;
    size_t portBytes = 0;
    for (size_t p = 0; p < h.ports.size(); ++p) {
        if (p) ++content;  // the separator
        img.portLeft.push_back(content);
        content += PixelsOf(h.ports[p]);
        portBytes += h.ports[p].length;
    }
    img.contentWidth = content;
    const std::string title = TitleOf(o.path);
    const bool rgbw = !h.ports.empty() && h.ports[0].rgbw;
    const uint32_t count = h.frameCount;

    const uint64_t rowsAllowed = std::max<uint32_t>(o.maxRows, 1);
    if (content > kMaxWidth) {
        return Fail(Format(Tr("%d pixels a row are too many to draw"), content));
    }
    std::string figures = Format("%u FRAMES, %u PORTS, %s PIXELS/PORT, %s, %s", count, h.portCount,
                                 PixelsPerPortText(h).c_str(), rgbw ? "RGBW" : "RGB",
                                 h.ports.empty() ? "" : IcTypeName(h.ports[0].icCode).c_str());
    // Room for the ", EVERY N FRAMES" that follows when frames are left out.
    const bool sampled = o.every > 1 || count > rowsAllowed;
    const size_t longest = std::max(title.size(), figures.size() + (sampled ? 24 : 0));
    img.width = std::max(content, 2 * kPad + static_cast<int>(longest) * kAdvance);
    const uint64_t fit = std::max<uint64_t>(1, kMaxPixels / static_cast<uint64_t>(img.width));
    img.every =
        o.every ? o.every
                : static_cast<uint32_t>(std::max<uint64_t>(
                      1, (count + std::min(rowsAllowed, fit) - 1) / std::min(rowsAllowed, fit)));
    const uint64_t rows = (uint64_t{count} + img.every - 1) / img.every;
    if (rows > fit) {
        return Fail(Format(Tr("%llu rows of %d pixels are too many to draw; draw every %llu frames "
                              "or more"),
                           static_cast<unsigned long long>(rows), img.width,
                           static_cast<unsigned long long>((count + fit - 1) / fit)));
    }
    if (img.every > 1) figures += Format(", EVERY %u FRAMES", img.every);

    img.framesTop = kStripHeight;
    img.height = kStripHeight + static_cast<int>(rows);
    img.rgb.resize(static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * 3);
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) Put(img, x, y, kStrip);
    }
    DrawText(img, kPad, kPad, title);
    DrawText(img, kPad, kPad + kLineHeight, figures);

    std::vector<uint8_t> frame;
    for (uint64_t row = 0; row < rows; ++row) {
        const auto index = static_cast<uint32_t>(row * img.every);
        if (const Status read = frames(index, frame); !read) return Fail(read.error());
        if (frame.size() < portBytes) return Fail(Format(Tr("frame %u is short"), index + 1));
        DrawFrameRow(img, h, frame, img.framesTop + static_cast<int>(row));
    }
    return img;
}

}  // namespace quorvex
