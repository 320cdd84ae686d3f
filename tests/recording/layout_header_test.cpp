#include <gtest/gtest.h>

#include "analysis/frame_layout.h"
#include "recording/rgb_format.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

UniverseTable Table(const std::vector<std::pair<int, int>>& slots) {
    UniverseTable t;
    for (auto [u, len] : slots) t.push_back({u, 0, static_cast<uint16_t>(len)});
    return t;
}

TEST(FrameLayout, TwoAdjacentUniversesMakeOnePort) {
    auto t = Table({{1, 512}, {0, 512}});
    const PortLayout l = ComputeFrameLayout(t, 6);
    EXPECT_EQ(l.portCount, 1);
    EXPECT_EQ(l.portLengths, std::vector<uint16_t>{1024});
    EXPECT_EQ(l.frameLength, 1024u);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].universe, 0);
    EXPECT_EQ(t[1].offset, 512u);
}

TEST(FrameLayout, GapsBecomeEmptySlotsSoUniverseKSitsAtIndexK) {
    auto t = Table({{10, 512}, {3, 510}});
    const PortLayout l = ComputeFrameLayout(t, 6);
    EXPECT_EQ(l.portCount, 2);
    EXPECT_EQ(l.portLengths, (std::vector<uint16_t>{510, 512}));
    EXPECT_EQ(l.frameLength, 1022u);
    ASSERT_EQ(t.size(), 11u);
    for (int k = 0; k < 11; ++k) EXPECT_EQ(t[static_cast<size_t>(k)].universe, k);
    EXPECT_EQ(t[3].offset, 0u);
    EXPECT_EQ(t[3].length, 510);
    EXPECT_EQ(t[10].offset, 510u);
    EXPECT_EQ(t[4].length, 0);
    // Laying out the dense table again (a second recording) gives the same ports.
    const PortLayout again = ComputeFrameLayout(t, 6);
    EXPECT_EQ(again.portLengths, l.portLengths);
    EXPECT_EQ(t[10].offset, 510u);
}

TEST(FrameLayout, PortCountFollowsUniversesPerPort) {
    auto seven8 = Table({{7, 512}});
    EXPECT_EQ(ComputeFrameLayout(seven8, 8).portCount, 1);
    auto seven1 = Table({{7, 512}});
    const PortLayout l = ComputeFrameLayout(seven1, 1);
    EXPECT_EQ(l.portCount, 8);
    EXPECT_EQ(l.portLengths, (std::vector<uint16_t>{0, 0, 0, 0, 0, 0, 0, 512}));

    std::vector<std::pair<int, int>> twelve, thirteen;
    for (int u = 0; u < 12; ++u) twelve.push_back({u, 512});
    thirteen = twelve;
    thirteen.push_back({12, 512});
    auto t12 = Table(twelve);
    auto t13 = Table(thirteen);
    EXPECT_EQ(ComputeFrameLayout(t12, 6).portCount, 2);
    EXPECT_EQ(ComputeFrameLayout(t13, 6).portCount, 3);
}

// Port 1 begins with the first universe taken: a show on 100-102 lays out as the same show on
// 0-2 does, whether 100 is the first universe or 100-102 the list; the rest is left out.
TEST(FrameLayout, TheSelectionDecidesWhichUniversesFillWhichPorts) {
    auto low = Table({{2, 512}, {0, 512}, {1, 300}});
    const PortLayout expected = ComputeFrameLayout(low, 6);
    for (const UniverseSelection& selection :
         {UniverseSelection{100, {}}, UniverseSelection{0, {100, 101, 102}}}) {
        auto t = Table({{102, 512}, {7, 512}, {100, 512}, {101, 300}});
        std::vector<int> leftOut;
        const PortLayout l = ComputeFrameLayout(t, 6, selection, &leftOut);
        EXPECT_EQ(l.portCount, 1);
        EXPECT_EQ(l.portLengths, expected.portLengths);
        EXPECT_EQ(l.frameLength, expected.frameLength);
        EXPECT_EQ(leftOut, std::vector<int>{7});
        // Still dense for the assembler: universe k at index k, the offsets as for 0-2.
        ASSERT_EQ(t.size(), 103u);
        EXPECT_EQ(t[7].length, 0);
        EXPECT_EQ(t[101].offset, low[1].offset);
        EXPECT_EQ(t[102].offset, low[2].offset);
        EXPECT_EQ(PortOf(selection, 6, 102), 0);
        EXPECT_EQ(PortOf(selection, 6, 7), -1);
    }
    // A list fills the ports in ascending order, gaps and all; a first universe drops those below.
    const UniverseSelection list{0, {4, 8, 9, 200}};
    EXPECT_EQ(list.PlaceOf(200), 3);
    EXPECT_EQ(list.PlaceOf(5), -1);
    EXPECT_EQ(list.Text(), "4,8-9,200");
    auto t = Table({{200, 10}, {9, 20}, {4, 30}});
    EXPECT_EQ(ComputeFrameLayout(t, 2, list).portLengths, (std::vector<uint16_t>{30, 30}));
    EXPECT_EQ(UniverseSelection({5, {}}).PlaceOf(4), -1);
    EXPECT_EQ(UniverseSelection({5, {}}).Text(), "5-");
    // Nothing taken: no port, which the recorder refuses.
    auto none = Table({{0, 512}});
    EXPECT_EQ(ComputeFrameLayout(none, 6, UniverseSelection{1, {}}).portCount, 0);
    EXPECT_TRUE(none.empty());

    // Port by port in the log, with what was left out and what does not fit the controller.
    auto shown = Table({{0, 512}, {100, 512}, {101, 512}, {120, 512}});
    std::vector<int> leftOut;
    const PortLayout l = ComputeFrameLayout(shown, 6, UniverseSelection{100, {}}, &leftOut);
    EXPECT_EQ(LayoutInUseLines(shown, l, 6, UniverseSelection{100, {}}, leftOut, 2),
              (std::vector<std::string>{
                  "Layout in use: 6 universes per port, 4 ports, 1536 bytes per frame.",
                  "Port 1 begins at universe 100.",
                  "Not recorded, as they are outside the universes chosen: universes 0.",
                  "The recording needs 4 ports, more than the 2 of the controller.",
                  "Port 1: universes 100-101, 1024 bytes.", "Port 2: universes none, 0 bytes.",
                  "Port 3: universes none, 0 bytes.", "Port 4: universes 120, 512 bytes."}));
}

TEST(FrameLayout, UniverseListsAreParsedAscendingWithoutRepeats) {
    std::string error;
    EXPECT_EQ(ParseUniverseList("0-5,8,10", &error), (std::vector<int>{0, 1, 2, 3, 4, 5, 8, 10}));
    EXPECT_EQ(ParseUniverseList(" 9, 3,3 ,32767", &error), (std::vector<int>{3, 9, 32767}));
    for (const char* bad : {"", "5-3", "1,,2", "-1", "32768", "a", "1-", "x"}) {
        EXPECT_FALSE(ParseUniverseList(bad, &error)) << bad;
    }
    EXPECT_EQ(ParseUniverseList("63999", &error, 63999), (std::vector<int>{63999}));
    EXPECT_FALSE(ParseUniverseList("64000", &error, 63999));
    EXPECT_EQ(UniverseRangesText({0, 1, 2, 5, 8, 9}), "0-2,5,8-9");
}

TEST(RgbHeader, WorkedExampleBytes) {
    PortLayout l{1, {1024}, 1024};
    const auto h = BuildRgbHeader(l, IcTypeCode(1), false);
    ASSERT_EQ(h.size(), 548u);
    const std::vector<uint8_t> start = {0x52, 0x47, 0x42, 0x30, 0x31, 0x30, 0x30, 0x31, 0xFF,
                                        0xFF, 0xFF, 0xFF, 0x02, 0x23, 0x00, 0x00, 0x00, 0x00,
                                        0x04, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x04, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x06, 0x80, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.begin() + 36), start);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(h[36 + 2 * static_cast<size_t>(i)], 0);
        EXPECT_EQ(h[37 + 2 * static_cast<size_t>(i)], i);
    }
}

TEST(RgbHeader, PortRecordsIcCodesAndRgbwRoundTrip) {
    EXPECT_EQ(IcTypeCode(0), 3);
    EXPECT_EQ(IcTypeCode(1), 6);
    EXPECT_EQ(IcTypeCode(2), 27);
    EXPECT_EQ(IcTypeCode(-1), 27);

    PortLayout l{3, {510, 0, 70000 & 0xFFFF}, 510 + (70000 & 0xFFFF)};
    const auto h = BuildRgbHeader(l, IcTypeCode(0), true);
    ASSERT_EQ(h.size(), RgbHeaderLength(3));
    const auto info = ParseRgbHeader(h);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->tagsValid);
    EXPECT_EQ(info->lastHeaderByte, h.size() - 1);
    EXPECT_EQ(info->frameCount, 0);
    EXPECT_EQ(info->frameLength, l.frameLength);
    ASSERT_EQ(info->ports.size(), 3u);
    for (uint16_t p = 0; p < 3; ++p) {
        EXPECT_EQ(info->ports[p].number, p);
        EXPECT_EQ(info->ports[p].length, l.portLengths[p]);
        EXPECT_EQ(info->ports[p].icCode, 3);
        EXPECT_TRUE(info->ports[p].rgbw);
        EXPECT_TRUE(info->ports[p].fixedBytesValid);
    }
    EXPECT_FALSE(ParseRgbHeader(std::vector<uint8_t>(h.begin(), h.end() - 1)));
}

TEST(RgbHeader, LastHeaderByteKeepsItsLow16Bits) {
    PortLayout l{5001, std::vector<uint16_t>(5001, 0), 0};
    const auto h = BuildRgbHeader(l, 6, false);
    EXPECT_EQ(h.size(), 535u + 13u * 5001u);
    EXPECT_EQ(test::Be16(h, 12), (h.size() - 1) & 0xFFFF);
}

TEST(SaveNames, DefaultAndFinalNames) {
    EXPECT_EQ(DefaultSaveName(1), "Sc-01-01.RGB");
    EXPECT_EQ(DefaultSaveName(12), "Sc-12-01.RGB");
    EXPECT_EQ(DefaultSaveName(100), "Sc-100-01.RGB");
    EXPECT_EQ(FinalRgbName("/shows/show.rgb"), "/shows/show.RGB");
    EXPECT_EQ(FinalRgbName("/shows/show"), "/shows/show.RGB");
    EXPECT_EQ(FinalRgbName("/shows/show.final.bin"), "/shows/show.final.RGB");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(FinalRgbName("/my.shows/show"), "/my.shows/show.RGB");
}

}  // namespace
}  // namespace quorvex
