#pragma once
// The test pattern that `quorvex-cli send` emits, so that any recording of it can be
// checked byte for byte.
//
//   sequence of frame f (f = 1, 2, ...):  1 + (f - 1) % 255, so 1..255 and wrapping to 1
//                                         (Art-Net, where 0 means sequencing off)
//   sACN sequence of frame f:             (f - 1) % 256, counted per universe: each universe
//                                         carries one packet a frame
//   channel c of universe u in frame f:   (f * 5 + u * 17 + c) mod 256

#include <cstdint>

namespace quorvex {

inline uint8_t ArtSequenceOf(uint32_t frame) {
    return static_cast<uint8_t>(1 + (frame == 0 ? 0 : (frame - 1) % 255));
}

inline uint8_t SacnSequenceOf(uint32_t frame) {
    return static_cast<uint8_t>(frame == 0 ? 0 : (frame - 1) & 0xFFu);
}

inline uint8_t TestPatternByte(uint32_t frame, int universe, int channel) {
    return static_cast<uint8_t>(
        (frame * 5u + static_cast<uint32_t>(universe) * 17u + static_cast<uint32_t>(channel)) &
        0xFFu);
}

}  // namespace quorvex
