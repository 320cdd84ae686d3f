// quorvex_stress_check: checks a .RGB recording of the `quorvex-cli send` test pattern, frame
// by frame, for bench/stress.sh. Universes 0..U-1 of C channels each, in that order.
//
//   quorvex_stress_check FILE --universes U --channels C
//                        [--missing-upstream M] [--seconds S --fps F]
//
// Channel c of universe u in frame f is (5f + 17u + c) mod 256, so a block of one universe
// tells f only mod 256. Consecutive recorded frames are taken to be at most 256 frames apart;
// a longer gap (a long stall at line rate) is found from what the recorder says about the
// same recording: its count of frames missing upstream (sequence numbers run mod 255, and
// 256 = 1 mod 255, so each 256 frames more in a gap add one) and its time span.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kInverseOf5 = 205;  // 5 * 205 = 1025 = 1 mod 256
constexpr int kHistory = 64;      // frame buffers a recorder may cycle through

uint32_t Be(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

// f mod 256 of one universe's block, or -1 when the block is not the pattern (never written).
int Residue(const uint8_t* block, int universe, int channels) {
    const int r = (kInverseOf5 * ((block[0] - 17 * universe) & 0xFF)) & 0xFF;
    for (int c = 0; c < channels; ++c) {
        if (block[c] != ((5 * r + 17 * universe + c) & 0xFF)) return -1;
    }
    return r;
}

// Frames skipped between two recorded frames `step` apart, as the recorder counts them from
// sequence numbers 1..255.
int64_t SequenceGap(int64_t step) {
    const int64_t m = step % 255;
    return m == 0 ? 0 : m - 1;
}

struct Gap {
    int64_t after;   // the sent frame before it
    int64_t frames;  // sent frames missing
};

void Usage() {
    std::fprintf(stderr,
                 "usage: quorvex_stress_check FILE --universes U --channels C\n"
                 "         [--missing-upstream M] [--seconds S --fps F]\n");
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) Usage();
    const std::string path = argv[1];
    int universes = 0, channels = 0;
    int64_t missingUpstream = -1;
    double seconds = -1, fps = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) Usage();
        const char* v = argv[++i];
        if (a == "--universes") {
            universes = std::atoi(v);
        } else if (a == "--channels") {
            channels = std::atoi(v);
        } else if (a == "--missing-upstream") {
            missingUpstream = std::atoll(v);
        } else if (a == "--seconds") {
            seconds = std::atof(v);
        } else if (a == "--fps") {
            fps = std::atof(v);
        } else {
            Usage();
        }
    }
    if (universes <= 0 || channels <= 0) Usage();

    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
        std::perror(path.c_str());
        return 3;
    }
    uint8_t head[22];
    if (std::fread(head, 1, sizeof head, in) != sizeof head || std::memcmp(head, "RGB0", 4) != 0) {
        std::fprintf(stderr, "%s: not a recording\n", path.c_str());
        return 4;
    }
    const uint32_t headerLength = Be(head + 12, 2) + 1;
    const uint32_t frames = Be(head + 14, 2);
    const uint32_t frameLength = Be(head + 16, 4);
    if (frameLength != static_cast<uint32_t>(universes * channels)) {
        std::fprintf(stderr, "frame length %u is not %d universes x %d channels\n", frameLength,
                     universes, channels);
        return 4;
    }
    std::fseek(in, headerLength, SEEK_SET);

    // Per recorded frame and universe: the residue, to tell a block left over in a reused
    // buffer (the same bytes as a recent frame) from one the recorder filled.
    std::vector<std::vector<int>> recent;
    std::vector<uint8_t> frame(frameLength);
    std::vector<Gap> gaps;
    std::vector<int64_t> incompleteFrames;  // the sent frame each stands for
    int64_t first = 0, previous = 0;
    uint32_t read = 0, whole = 0, incomplete = 0, unreadable = 0;
    int64_t sequenceGaps = 0;
    for (; read < frames; ++read) {
        if (std::fread(frame.data(), 1, frameLength, in) != frameLength) break;
        std::vector<int> residues(static_cast<size_t>(universes));
        for (int u = 0; u < universes; ++u) {
            residues[u] = Residue(&frame[static_cast<size_t>(u) * channels], u, channels);
        }
        const bool same = std::all_of(residues.begin(), residues.end(),
                                      [&](int r) { return r >= 0 && r == residues[0]; });
        // The fresh blocks are those not equal to the same universe of a recent frame.
        std::vector<int> counts(256, 0);
        for (int u = 0; u < universes && !same; ++u) {
            if (residues[u] < 0) continue;
            bool stale = false;
            for (const auto& old : recent) stale = stale || old[u] == residues[u];
            if (!stale) ++counts[residues[u]];
        }
        int r =
            same
                ? residues[0]
                : static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
        if (!same && counts[r] == 0) {
            // Nothing fresh that can be read: count it, and keep the numbering going.
            ++unreadable;
            r = static_cast<int>((previous + 1) & 0xFF);
        }
        same ? ++whole : ++incomplete;
        // The first recorded frame is taken to be one of the first 256 sent.
        const int64_t f =
            read == 0 ? (r == 0 ? 256 : r) : previous + 1 + ((r - previous - 1) & 0xFF);
        if (!same) incompleteFrames.push_back(f);
        if (read == 0) {
            first = f;
        } else {
            if (f - previous > 1) gaps.push_back({previous, f - previous - 1});
            sequenceGaps += SequenceGap(f - previous);
        }
        previous = f;
        recent.push_back(std::move(residues));
        if (recent.size() > kHistory) recent.erase(recent.begin());
    }
    std::fclose(in);

    // Gaps longer than 256 frames look 256 shorter each: put the difference on the longest.
    int64_t span = previous - first + 1;
    int64_t addBySequence = 0, addByTime = -1;
    double estimate = -1;
    if (missingUpstream >= 0) addBySequence = ((missingUpstream - sequenceGaps) % 255 + 255) % 255;
    if (seconds >= 0 && fps > 0) {
        // The recorder's span runs from the start of its first frame to the start of the
        // frame after its last.
        estimate = seconds * fps;
        addByTime = std::max<int64_t>(0, std::llround((estimate - span) / 256.0));
    }
    int64_t add = 0;
    std::string basis;
    if (missingUpstream >= 0 && addByTime >= 0) {
        // The sequence count is exact unless the frame after the last recorded one came after
        // a gap too; the time span (0.1 s) is coarse but cannot wrap. Trust the count when
        // the span allows it.
        if (std::fabs(estimate - static_cast<double>(span + 256 * addBySequence)) <= 128) {
            add = addBySequence;
            basis = "sequence count, which the time span allows";
        } else {
            add = addByTime;
            basis = "time span; the sequence count says " + std::to_string(addBySequence);
        }
    } else if (missingUpstream >= 0) {
        add = addBySequence;
        basis = "sequence count";
    } else if (addByTime >= 0) {
        add = addByTime;
        basis = "time span";
    }
    if (gaps.empty()) add = 0;
    if (add > 0) {
        auto longest = std::max_element(gaps.begin(), gaps.end(), [](const Gap& a, const Gap& b) {
            return a.frames < b.frames;
        });
        for (auto g = longest + 1; g != gaps.end(); ++g) g->after += 256 * add;
        longest->frames += 256 * add;
        for (int64_t& f : incompleteFrames) {
            if (f > longest->after) f += 256 * add;
        }
        span += 256 * add;
        previous += 256 * add;
    }
    const int64_t lost = span - read;

    std::printf("frames recorded: %u\n", read);
    std::printf("whole frames: %u\n", whole);
    std::printf("incomplete frames: %u\n", incomplete);
    for (size_t i = 0; i < incompleteFrames.size() && i < 8; ++i) {
        std::printf("  incomplete: frame %lld\n", static_cast<long long>(incompleteFrames[i]));
    }
    if (unreadable) std::printf("frames with no readable block: %u\n", unreadable);
    std::printf("first frame: %lld\n", static_cast<long long>(first));
    std::printf("last frame: %lld\n", static_cast<long long>(previous));
    std::printf("frames lost: %lld\n", static_cast<long long>(lost));
    std::printf("gaps: %zu\n", gaps.size());
    size_t shown = 0;
    for (const Gap& g : gaps) {
        if (++shown > 8) {
            std::printf("  ...\n");
            break;
        }
        std::printf("  after frame %lld: %lld frames\n", static_cast<long long>(g.after),
                    static_cast<long long>(g.frames));
    }
    if (!basis.empty() && (add > 0 || addBySequence != add)) {
        std::printf("gaps longer than 256 frames: %lld x 256 frames added, from the %s\n",
                    static_cast<long long>(add), basis.c_str());
    }
    if (read != frames) std::printf("header counts %u frames, file holds %u\n", frames, read);
    return read == frames ? 0 : 4;
}
