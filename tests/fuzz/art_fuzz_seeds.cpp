// Writes the seed corpus of art_packet_fuzz into the folder given as argument, built with the
// test traffic builder so the fuzzer starts from well-formed Art-Net and sACN.

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

    const auto sacn = [&](uint16_t universe, uint8_t options, uint8_t startCode, size_t channels) {
        t::SacnDataFields f;
        f.universe = universe;
        f.sequence = 42;
        f.options = options;
        f.startCode = startCode;
        f.data.assign(data.begin(), data.begin() + static_cast<long>(channels));
        return f;
    };
    Seed(dir, "sacn_512", t::UdpFrame(t::SacnData(sacn(1, 0, 0, 512)), t::SacnUdp(1)));
    Seed(dir, "sacn_empty", t::UdpFrame(t::SacnData(sacn(63999, 0, 0, 0)), t::SacnUdp(63999)));
    Seed(dir, "sacn_startcode_dd", t::UdpFrame(t::SacnData(sacn(2, 0, 0xDD, 24)), t::SacnUdp(2)));
    Seed(dir, "sacn_preview_terminated",
         t::UdpFrame(t::SacnData(sacn(3, 0xE0, 0, 8)), t::SacnUdp(3, 0x0A000002)));
    Seed(dir, "sacn_sync",
         t::UdpFrame(t::SacnSync({.sequence = 5, .syncAddress = 9}), t::SacnUdp(9)));
    t::UdpOptions ihl6 = t::SacnUdp(4);
    ihl6.ipOptionWords = 1;
    Seed(dir, "sacn_ihl6", t::UdpFrame(t::SacnData(sacn(4, 0, 0, 40)), ihl6));
    Seed(dir, "sacn_truncated", t::UdpFrame(t::SacnData(sacn(5, 0, 0, 512)), t::SacnUdp(5)), 300);
    t::SacnDataFields lies = sacn(6, 0, 0, 40);
    lies.valueCount = 400;
    Seed(dir, "sacn_count_lies", t::UdpFrame(t::SacnData(lies), t::SacnUdp(6)));
    return 0;
}
