#include "analysis/frame_assembler.h"

#include <gtest/gtest.h>

#include "analysis/frame_layout.h"
#include "capture/art_packet.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;
using B = FrameAssembler::Boundary;

Bytes Record(int universe, uint8_t seq, const Bytes& data) {
    return test::RecordOf(test::ArtDmx(universe, seq, data));
}

// Universes 0 and 1 of 512 bytes: a 1024-byte frame.
class AssemblerTest : public ::testing::Test {
  protected:
    void SetUp() override { Prepare({{0, 0, 512}, {1, 0, 512}}); }

    void Prepare(UniverseTable t, int perPort = 6) {
        table = std::move(t);
        layout = ComputeFrameLayout(table, perPort);
        data1.assign(layout.frameLength, 0);
        data2.assign(layout.frameLength, 0);
        assembler.Start(&table, layout.frameLength);
    }

    // Feeds one packet the way the recording thread does.
    B Step(int universe, uint8_t seq, const Bytes& data, bool paused = false, bool stopped = false,
           uint32_t maxFrames = 1000, FrameAssembler::PlaceResult* placed = nullptr) {
        const Bytes r = Record(universe, seq, data);
        const B b = assembler.Classify(seq, paused, stopped, maxFrames);
        if (b == B::Continue || b == B::NewFrame) {
            // Frames alternate between two buffers, as in a recording.
            Bytes& frame = assembler.FrameCount() % 2 == 0 ? data1 : data2;
            auto p = assembler.Place(r.data(), static_cast<uint16_t>(r.size()), frame.data());
            if (placed) *placed = p;
        }
        return b;
    }

    UniverseTable table;
    PortLayout layout;
    Bytes data1, data2;
    FrameAssembler assembler;
};

TEST_F(AssemblerTest, CountsFramesUpToTheLimitAndAlternatesBuffers) {
    EXPECT_EQ(Step(0, 1, Bytes(512, 0xEE)), B::Drop);  // frame in progress at start
    EXPECT_EQ(Step(1, 1, Bytes(512, 0xEE)), B::Drop);
    int newFrames = 0;
    B last = B::Continue;
    for (int f = 1; f <= 202 && last != B::Limit; ++f) {
        const uint8_t seq = test::SequenceOf(f + 1);
        for (int u = 0; u < 2; ++u) {
            last = Step(u, seq, Bytes(512, static_cast<uint8_t>(f)), false, false, 200);
            if (last == B::NewFrame) ++newFrames;
            if (last == B::Limit) break;
        }
        if (f <= 3) {
            // Frames 1 and 3 are filled in Data1, frame 2 in Data2.
            EXPECT_EQ((f % 2 ? data1 : data2)[f == 3 ? 1023 : 0], f);
        }
    }
    EXPECT_EQ(newFrames, 200);
    EXPECT_EQ(last, B::Limit);
    EXPECT_EQ(assembler.FrameCount(), 200u);
}

TEST_F(AssemblerTest, LimitZeroEndsAtTheBoundaryClosingFrameOne) {
    Step(0, 5, Bytes(512, 1), false, false, 0);
    EXPECT_EQ(Step(0, 6, Bytes(512, 1), false, false, 0), B::Continue);
    EXPECT_EQ(Step(1, 6, Bytes(512, 1), false, false, 0), B::Continue);
    EXPECT_EQ(Step(0, 7, Bytes(512, 1), false, false, 0), B::Limit);
    EXPECT_EQ(assembler.FrameCount(), 0u);
}

TEST_F(AssemblerTest, StopAndPauseActAtBoundaries) {
    Step(0, 1, Bytes(512, 1));
    Step(0, 2, Bytes(512, 1));  // frame 1 starts
    // Pause: boundaries are not counted; every packet still lands in the frame in progress,
    // so it always holds the latest whole frame.
    EXPECT_EQ(Step(0, 3, Bytes(512, 9), true), B::Continue);
    EXPECT_EQ(Step(1, 3, Bytes(512, 9), true), B::Continue);
    EXPECT_EQ(Step(0, 4, Bytes(512, 8), true), B::Continue);
    EXPECT_EQ(Step(1, 4, Bytes(512, 8), true), B::Continue);
    EXPECT_EQ(assembler.FrameCount(), 0u);
    EXPECT_EQ(data1[0], 8);
    EXPECT_EQ(data1[512], 8);
    // Resumed: the next boundary completes the frame that was filled.
    EXPECT_EQ(Step(0, 5, Bytes(512, 7)), B::NewFrame);
    EXPECT_EQ(assembler.FrameCount(), 1u);
    // Stop takes effect at the next boundary only.
    EXPECT_EQ(Step(1, 5, Bytes(512, 7), false, true), B::Continue);
    EXPECT_EQ(Step(0, 6, Bytes(512, 7), false, true), B::Stop);
    EXPECT_EQ(assembler.FrameCount(), 1u);
}

TEST_F(AssemblerTest, UniverseAboveTheTableIsOutOfRangeAndNotCopied) {
    Step(0, 1, Bytes(512, 1));
    FrameAssembler::PlaceResult placed;
    Step(2, 2, Bytes(512, 0x77), false, false, 1000, &placed);
    EXPECT_EQ(placed.placement, FrameAssembler::Placement::OutOfRange);
    EXPECT_EQ(placed.universe, 2);
    EXPECT_EQ(std::count(data1.begin(), data1.end(), 0x77), 0);
}

TEST_F(AssemblerTest, DataIsCutToTheSlotAndEachUniverseWarnsOnce) {
    Step(0, 1, Bytes(512, 1));
    FrameAssembler::PlaceResult placed;
    // 540 bytes for universe 0 must not spill into universe 1.
    Step(1, 2, Bytes(512, 0x22), false, false, 1000, &placed);
    Step(0, 2, Bytes(540, 0x11), false, false, 1000, &placed);
    EXPECT_EQ(placed.placement, FrameAssembler::Placement::Placed);
    EXPECT_EQ(placed.warning, FrameAssembler::Warning::Truncated);
    EXPECT_EQ(data1[511], 0x11);
    EXPECT_EQ(data1[512], 0x22);
    Step(0, 2, Bytes(540, 0x11), false, false, 1000, &placed);
    EXPECT_EQ(placed.warning, FrameAssembler::Warning::None);
    // 513 bytes at the last universe: cut, not a receive error.
    Step(1, 2, Bytes(513, 0x33), false, false, 1000, &placed);
    EXPECT_EQ(placed.placement, FrameAssembler::Placement::Placed);
    EXPECT_EQ(data1[1023], 0x33);
}

TEST_F(AssemblerTest, UnsurveyedUniverseIsNotCopiedAndLengthZeroStillMarksBoundaries) {
    Prepare({{3, 0, 4}, {1, 0, 4}});  // universes 0 and 2 are fillers of length 0
    Step(1, 1, Bytes(4, 1));
    FrameAssembler::PlaceResult placed;
    Step(1, 2, Bytes(4, 0xA1), false, false, 1000, &placed);
    Step(3, 2, Bytes(4, 0xA3), false, false, 1000, &placed);
    Step(0, 2, Bytes(4, 0xF0), false, false, 1000, &placed);
    EXPECT_EQ(placed.warning, FrameAssembler::Warning::NotSurveyed);
    Step(0, 2, Bytes(4, 0xF0), false, false, 1000, &placed);
    EXPECT_EQ(placed.warning, FrameAssembler::Warning::None);
    EXPECT_EQ(data1, (Bytes{0xA1, 0xA1, 0xA1, 0xA1, 0xA3, 0xA3, 0xA3, 0xA3}));
    // A packet with no data still closes the frame.
    EXPECT_EQ(Step(2, 3, Bytes{}), B::NewFrame);
}

TEST(SequenceGap, CountsSkippedFramesAcrossTheWrap) {
    EXPECT_EQ(SequenceGap(1, 2), 0u);
    EXPECT_EQ(SequenceGap(1, 4), 2u);
    EXPECT_EQ(SequenceGap(255, 1), 0u);  // 0 is skipped by senders
    EXPECT_EQ(SequenceGap(254, 2), 2u);
    EXPECT_EQ(SequenceGap(0, 0), 0u);  // sequencing off
}

}  // namespace
}  // namespace quorvex
