// Writes the seed corpus of framing_fuzz into the folder given as argument: shows as senders
// send them, in the target's input format (see framing_fuzz.cpp).

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Show {
    std::vector<uint8_t> bytes;
    explicit Show(uint8_t perPort) : bytes{perPort} {}
    void Packet(uint8_t flags, uint8_t universe, uint8_t sequence, uint8_t halfChannels,
                uint8_t halfMs, uint8_t value) {
        bytes.insert(bytes.end(), {flags, universe, sequence, halfChannels, halfMs, value});
    }
    void Write(const std::string& dir, const std::string& name) const {
        std::ofstream(dir + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
};

// `frames` frames of `universes` universes, 25 ms apart. `flags` as the target reads them;
// `numbered`: one sequence number a frame, else none; `sync`: a synchronization packet ends
// each frame.
Show Frames(uint8_t flags, int universes, int frames, bool numbered, bool sync) {
    Show s(4);
    for (int f = 0; f < frames; ++f) {
        for (int u = 0; u < universes; ++u) {
            s.Packet(flags, static_cast<uint8_t>(u), numbered ? static_cast<uint8_t>(f + 1) : 0,
                     255, u == 0 ? 40 : 0, static_cast<uint8_t>(f * 3 + u));
        }
        if (sync) s.Packet(static_cast<uint8_t>(flags | 2), 0, static_cast<uint8_t>(f), 0, 0, 0);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    Frames(0, 4, 80, true, false).Write(dir, "artnet_counters");
    Frames(0, 6, 80, false, false).Write(dir, "artnet_bursts");
    Frames(0, 4, 80, true, true).Write(dir, "artnet_sync");
    Frames(4, 4, 80, true, false).Write(dir, "sacn_counters");
    Frames(4, 3, 80, true, true).Write(dir, "sacn_sync");
    // Two sACN sources on the same universes, the second at a lower priority.
    Show two = Frames(4, 2, 70, true, false);
    for (int f = 0; f < 70; ++f) {
        two.Packet(4 | (1 << 3), static_cast<uint8_t>(f % 2), static_cast<uint8_t>(f), 255, 0, 50);
    }
    two.Write(dir, "sacn_two_sources");
    return 0;
}
