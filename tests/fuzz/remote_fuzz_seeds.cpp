// Writes the seed corpus of remote_api_fuzz into the folder given: requests the page makes.

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: remote_fuzz_seeds FOLDER\n");
        return 1;
    }
    // Byte 0: the method (0 GET, 1 POST, 2 PUT, 3 DELETE).
    const std::string seeds[] = {
        std::string("\x00/api/status", 12),
        "\x01/api/capture\n{\"frames\":200,\"startWhen\":\"5/1>=128\"}",
        "\x01/api/capture\n{\"duration\":\"1:30\"}",
        "\x02/api/settings\n{\"universesPerPort\":4,\"icType\":\"TM1814\",\"universes\":\"0-3,7\"}",
        "\x01/api/save\n{\"name\":\"act1\"}",
        "\x03/api/recordings/Sc-01-01.RGB",
        "\x01/quorvex/record/duration\n\x00\x00\xb4\x42",
        "\x03/quorvex/save\nshow",
        "\x05"
        "127.0.0.1:8080\nhttp://127.0.0.1:8080",
        "\x01"
        "192.168.1.0/24",
    };
    int n = 0;
    for (const std::string& s : seeds) {
        std::ofstream(std::string(argv[1]) + "/seed-" + std::to_string(++n), std::ios::binary) << s;
    }
    return 0;
}
