// Writes the seed corpus of rgb_format_fuzz into the folder given as argument: whole
// recordings, what a crash leaves, and damaged headers, so that the fuzzer starts near them.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "recording/rgb_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Seed(const std::string& dir, const std::string& name, const Bytes& file) {
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

// A recording of `frames` frames of the ports' lengths, its header counting `counted`.
Bytes Recording(const std::vector<uint16_t>& ports, bool rgbw, uint16_t frames, uint16_t counted) {
    quorvex::PortLayout layout{static_cast<int32_t>(ports.size()), ports, 0};
    for (uint16_t p : ports) layout.frameLength += p;
    Bytes b = quorvex::BuildRgbHeader(layout, quorvex::IcTypeCode(1), rgbw);
    b[quorvex::kRgbFrameCountOffset] = static_cast<uint8_t>(counted >> 8);
    b[quorvex::kRgbFrameCountOffset + 1] = static_cast<uint8_t>(counted);
    for (size_t i = 0; i < size_t{frames} * layout.frameLength; ++i) {
        b.push_back(static_cast<uint8_t>(i * 7));
    }
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    Seed(dir, "whole", Recording({12}, false, 3, 3));
    Seed(dir, "two_ports_rgbw", Recording({8, 0, 4}, true, 2, 2));
    Seed(dir, "header_only", Recording({6}, false, 0, 0));
    Bytes crashed = Recording({6, 3}, false, 4, 0);
    crashed.insert(crashed.end(), {1, 2, 3, 4});
    Seed(dir, "crashed", crashed);
    Seed(dir, "overcounted", Recording({5}, false, 2, 9));
    Bytes damaged = Recording({6}, false, 3, 3);
    damaged[18] = 0x02;  // a frame length the ports do not sum to
    Seed(dir, "damaged", damaged);
    Seed(dir, "short", Bytes{'R', 'G', 'B', '0', '1', '0', '0', '1'});
    return 0;
}
