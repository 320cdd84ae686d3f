// Writes the seed corpus of art_packet_fuzz into the folder given as argument, built with the
// test traffic builder so the fuzzer starts from well-formed Art-Net.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/traffic_builder.h"

namespace {

using quorvex::test::Bytes;

// The fuzz input: mode byte, 16-bit difference between wire length and captured bytes, frame.
void Seed(const std::string& dir, const std::string& name, const Bytes& frame, int cutBytes = 0) {
    Bytes input{static_cast<uint8_t>(cutBytes > 0 ? 1 : 0), static_cast<uint8_t>(cutBytes >> 8),
                static_cast<uint8_t>(cutBytes & 0xFF)};
    input.insert(input.end(), frame.begin(), frame.end() - cutBytes);
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(input.data()),
               static_cast<std::streamsize>(input.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
        return 2;
    }
    namespace t = quorvex::test;
    const std::string dir = argv[1];
    Bytes data(512);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    Seed(dir, "artdmx_512", t::UdpFrame(t::ArtDmx(261, 7, data)));
    Seed(dir, "artdmx_empty", t::UdpFrame(t::ArtDmx(1, 1, {})));
    Seed(dir, "artsync", t::UdpFrame(t::ArtSync()));
    Seed(dir, "artdmx_ihl6", t::UdpFrame(t::ArtDmx(3, 2, Bytes(24, 1)), {.ipOptionWords = 1}));
    Seed(dir, "artdmx_truncated", t::UdpFrame(t::ArtDmx(4, 3, data)), 300);
    Seed(dir, "artdmx_length_lies",
         t::UdpFrame(
             t::ArtDmx(t::ArtDmxFields{.subUni = 5, .data = Bytes(40, 2), .lengthField = 400})));
    Seed(dir, "artpoll", t::UdpFrame(t::ArtPoll()));
    return 0;
}
