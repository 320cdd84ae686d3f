#pragma once
// A picture of a recording: one row per frame, time running down, each port's bytes drawn as
// pixels left to right, under a strip naming the file and its figures. A quick look tells
// whether the show was lit, moved and landed on the ports it should.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/result.h"
#include "recording/rgb_format.h"

namespace quorvex {

struct RenderOptions {
    std::string path;         // the recording; its file name is the title
    uint32_t every = 0;       // draw every Nth frame; 0: as few as keep the rows to maxRows
    uint32_t maxRows = 2000;  // with every = 0
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;   // rows top down, 3 bytes a pixel
    int framesTop = 0;          // the row of the first drawn frame
    int contentWidth = 0;       // the columns of the ports; the strip above may be wider
    std::vector<int> portLeft;  // column of each port's first pixel
    uint32_t every = 1;         // frames per drawn row
};

// Frame `index` (from 0) of the recording into `bytes`.
using FrameSource = std::function<Status(uint32_t index, std::vector<uint8_t>& bytes)>;

// What each port's LEDs show for one frame of `length` bytes: a pixel per 3 bytes (4 with
// RGBW, the white added to each colour), 3 bytes (R, G, B) a pixel, ports in order.
std::vector<std::vector<uint8_t>> PortPixels(const std::vector<RgbHeaderInfo::Port>& ports,
                                             const uint8_t* frame, size_t length);

// Pixels per port: "170", or "170-340" when the ports differ.
std::string PixelsPerPortText(const RgbHeaderInfo& header);

// Draws the header's frameCount frames. Fails when a frame cannot be had or the picture
// would be too large to hold.
Result<Image> RenderPreview(const RgbHeaderInfo& header, const FrameSource& frames,
                            const RenderOptions& options);

}  // namespace quorvex
