#include "analysis/frame_assembler.h"

#include <gtest/gtest.h>

#include "analysis/frame_layout.h"
#include "capture/art_packet.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;
using B = FrameAssembler::Boundary;
using W = FrameAssembler::Warning;

Bytes Record(int universe, uint8_t seq, const Bytes& data) {
    return test::RecordOf(test::ArtDmx(universe, seq, data));
}

// Universes 0 and 1 of 512 bytes from sender 0: a 1024-byte frame.
class AssemblerTest : public ::testing::Test {
  protected:
    void SetUp() override { Prepare({{0, 0, 512}, {1, 0, 512}}); }

    void Prepare(UniverseTable t, int perPort = 6) {
        table = std::move(t);
        layout = ComputeFrameLayout(table, perPort);
        // As the frame writer's queue: slots start with anything in them.
        for (Bytes& b : buffers) b.assign(layout.frameLength, 0xCC);
        zeros.assign(layout.frameLength, 0);
        previous = zeros.data();
        completed.clear();
        assembler.Start(&table, layout.frameLength);
    }

    // Feeds one packet the way the recording thread does; a packet that is not recorded
    // gives Drop. Frames take turns in two buffers.
    B Step(int universe, uint8_t seq, const Bytes& data, bool paused = false, bool stopped = false,
           uint32_t maxFrames = 1000, uint32_t source = 0) {
        const Bytes r = Record(universe, seq, data);
        const auto length = static_cast<uint16_t>(r.size());
        admitted = assembler.Admit(r.data(), length, source);
        if (!admitted.recorded) return B::Drop;
        const B b = assembler.Classify(seq, nowUs, paused, stopped, maxFrames, maxUs);
        if (b == B::NewFrame) {
            assembler.CarryOver(previous, Frame().data());
            completed.push_back(Frame());
            previous = Frame().data();
            current ^= 1;
        }
        if (b == B::Continue || b == B::NewFrame) {
            placed = assembler.Place(r.data(), length, Frame().data());
        }
        return b;
    }

    UniverseTable table;
    PortLayout layout;
    Bytes buffers[2];
    int current = 0;
    Bytes& Frame() { return buffers[current]; }  // the frame in progress
    Bytes zeros;
    const uint8_t* previous = nullptr;
    std::vector<Bytes> completed;
    FrameAssembler assembler;
    FrameAssembler::Admission admitted;
    FrameAssembler::PlaceResult placed;
    int64_t nowUs = 0;  // capture time of the next packet
    int64_t maxUs = 0;  // recorded time that ends the recording; 0: none
};

TEST_F(AssemblerTest, CountsFramesUpToTheLimit) {
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
    }
    EXPECT_EQ(newFrames, 200);
    EXPECT_EQ(last, B::Limit);
    EXPECT_EQ(assembler.FrameCount(), 200u);
    EXPECT_EQ(assembler.IncompleteFrames(), 0u);
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
    EXPECT_EQ(Frame()[0], 8);
    EXPECT_EQ(Frame()[512], 8);
    // Resumed: the next boundary completes the frame that was filled.
    EXPECT_EQ(Step(0, 5, Bytes(512, 7)), B::NewFrame);
    EXPECT_EQ(assembler.FrameCount(), 1u);
    // Stop takes effect at the next boundary only.
    EXPECT_EQ(Step(1, 5, Bytes(512, 7), false, true), B::Continue);
    EXPECT_EQ(Step(0, 6, Bytes(512, 7), false, true), B::Stop);
    EXPECT_EQ(assembler.FrameCount(), 1u);
}

TEST_F(AssemblerTest, RecordedTimeLeavesPausesOutAndGapsCountOnlyWhereFramesAreRecorded) {
    nowUs = 1'000'000;
    Step(0, 1, Bytes(512, 1));
    Step(0, 2, Bytes(512, 1));  // frame 1 starts at 1.0 s
    nowUs = 1'025'000;
    EXPECT_EQ(Step(0, 3, Bytes(512, 1)), B::NewFrame);
    // Paused for 10 s, during which frames 5 to 9 never arrive.
    nowUs = 1'050'000;
    Step(0, 4, Bytes(512, 1), true);
    nowUs = 11'050'000;
    Step(0, 10, Bytes(512, 1), true);
    // Resumed: the frame that started at 11.05 s ends at 11.075 s; frame 12 never arrives.
    nowUs = 11'075'000;
    EXPECT_EQ(Step(0, 11, Bytes(512, 1)), B::NewFrame);
    nowUs = 11'125'000;
    EXPECT_EQ(Step(0, 13, Bytes(512, 1)), B::NewFrame);
    EXPECT_EQ(assembler.RecordedUs(), 25'000 + 25'000 + 50'000);
    EXPECT_EQ(assembler.MissingUpstream(), 1u);
    // A duration counts the same recorded time: the pause does not use it up.
    maxUs = 100'001;
    nowUs = 11'150'000;
    EXPECT_EQ(Step(0, 14, Bytes(512, 1)), B::NewFrame);
    nowUs = 11'175'000;
    EXPECT_EQ(Step(0, 15, Bytes(512, 1)), B::Limit);
    EXPECT_EQ(assembler.FrameCount(), 4u);
}

// Each frame keeps the latest data of what it did not get: bytes a universe did not send
// since the frame began are those of the frame before (zeros before the first).
TEST_F(AssemblerTest, AFrameWithoutOneOfItsUniversesIsIncompleteAndKeepsItsLatestData) {
    const auto expect = [](uint8_t u0, uint8_t u0Tail, uint8_t u1) {
        Bytes f(100, u0);
        f.resize(512, u0Tail);
        f.resize(1024, u1);
        return f;
    };
    Step(0, 1, Bytes(512, 1));
    Step(0, 2, Bytes(512, 1));  // frame 1 lacks universe 1
    Step(0, 3, Bytes(512, 2));
    Step(1, 3, Bytes(512, 2));  // frame 2 whole
    Step(0, 4, Bytes(512, 3));
    Step(0, 4, Bytes(512, 3));  // frame 3: universe 0 twice, no universe 1
    Step(1, 5, Bytes(512, 4));
    Step(0, 5, Bytes(100, 4));  // frame 4 whole, universe 0 short
    EXPECT_EQ(Step(1, 6, Bytes(512, 5)), B::NewFrame);
    EXPECT_EQ(assembler.FrameCount(), 4u);
    EXPECT_EQ(assembler.IncompleteFrames(), 2u);
    ASSERT_EQ(completed.size(), 4u);
    EXPECT_EQ(completed[0], expect(1, 1, 0));
    EXPECT_EQ(completed[1], expect(2, 2, 2));
    EXPECT_EQ(completed[2], expect(3, 3, 2));
    EXPECT_EQ(completed[3], expect(4, 3, 4));
}

TEST_F(AssemblerTest, UniverseAboveTheTableIsToldOnceAndNeitherCopiedNorABoundary) {
    Step(0, 1, Bytes(512, 1));
    Step(0, 2, Bytes(512, 1));
    EXPECT_EQ(Step(2, 3, Bytes(512, 0x77)), B::Drop);
    EXPECT_EQ(admitted.warning, W::OutOfRange);
    EXPECT_EQ(admitted.universe, 2);
    EXPECT_EQ(Step(2, 4, Bytes(512, 0x77)), B::Drop);
    EXPECT_EQ(admitted.warning, W::None);
    EXPECT_EQ(std::count(Frame().begin(), Frame().end(), 0x77), 0);
    EXPECT_EQ(assembler.FrameCount(), 0u);
    EXPECT_EQ(Step(1, 2, Bytes(512, 1)), B::Continue);
}

TEST_F(AssemblerTest, OnlyTheSurveyedSenderIsRecordedAndSequenceZeroMarksNoBoundary) {
    constexpr uint32_t kShow = 0x0A000001, kOther = 0x0A000002;
    Prepare({{0, 0, 512, kShow}, {1, 0, 512, kShow}});
    Step(0, 1, Bytes(512, 1), false, false, 1000, kShow);
    Step(0, 2, Bytes(512, 1), false, false, 1000, kShow);
    // Another sender's packets of a surveyed universe: other sequence numbers, or none.
    for (const uint8_t seq : {uint8_t{200}, uint8_t{0}, uint8_t{201}}) {
        EXPECT_EQ(Step(1, seq, Bytes(512, 0x66), false, false, 1000, kOther), B::Drop);
        EXPECT_EQ(admitted.warning, seq == 200 ? W::OtherSender : W::None);
        EXPECT_EQ(admitted.boundSource, kShow);
    }
    EXPECT_EQ(Step(0, 202, Bytes(512, 0x66), false, false, 1000, kOther), B::Drop);
    EXPECT_EQ(admitted.warning, W::OtherSender);  // once per universe and sender
    // Sequence 0 from the show's sender places its data without ending the frame.
    EXPECT_EQ(Step(1, 0, Bytes(512, 0x55), false, false, 1000, kShow), B::Continue);
    EXPECT_EQ(Frame()[512], 0x55);
    EXPECT_EQ(std::count(Frame().begin(), Frame().end(), 0x66), 0);
    EXPECT_EQ(assembler.FrameCount(), 0u);
    EXPECT_EQ(Step(0, 3, Bytes(512, 2), false, false, 1000, kShow), B::NewFrame);
    EXPECT_EQ(assembler.IncompleteFrames(), 0u);
    EXPECT_EQ(assembler.MissingUpstream(), 0u);
}

TEST_F(AssemblerTest, DataIsCutToTheSlotAndEachUniverseWarnsOnce) {
    Step(0, 1, Bytes(512, 1));
    // 540 bytes for universe 0 must not spill into universe 1.
    Step(1, 2, Bytes(512, 0x22));
    Step(0, 2, Bytes(540, 0x11));
    EXPECT_EQ(placed.placement, FrameAssembler::Placement::Placed);
    EXPECT_EQ(admitted.warning, W::Truncated);
    EXPECT_EQ(admitted.dataLength, 540);
    EXPECT_EQ(admitted.slotLength, 512);
    EXPECT_EQ(Frame()[511], 0x11);
    EXPECT_EQ(Frame()[512], 0x22);
    Step(0, 2, Bytes(540, 0x11));
    EXPECT_EQ(admitted.warning, W::None);
    // 513 bytes at the last universe: cut, not a receive error.
    Step(1, 2, Bytes(513, 0x33));
    EXPECT_EQ(placed.placement, FrameAssembler::Placement::Placed);
    EXPECT_EQ(Frame()[1023], 0x33);
}

TEST_F(AssemblerTest, UnsurveyedUniverseIsNeitherCopiedNorABoundaryAndEmptyDataStillIs) {
    Prepare({{3, 0, 4}, {1, 0, 4}});  // universes 0 and 2 are fillers of length 0
    Step(1, 1, Bytes(4, 1));
    Step(1, 2, Bytes(4, 0xA1));
    Step(3, 2, Bytes(4, 0xA3));
    EXPECT_EQ(Step(0, 3, Bytes(4, 0xF0)), B::Drop);
    EXPECT_EQ(admitted.warning, W::NotSurveyed);
    EXPECT_EQ(Step(0, 3, Bytes(4, 0xF0)), B::Drop);
    EXPECT_EQ(admitted.warning, W::None);
    EXPECT_EQ(Frame(), (Bytes{0xA1, 0xA1, 0xA1, 0xA1, 0xA3, 0xA3, 0xA3, 0xA3}));
    EXPECT_EQ(assembler.FrameCount(), 0u);
    // A surveyed universe's packet with no data still closes the frame.
    EXPECT_EQ(Step(3, 3, Bytes{}), B::NewFrame);
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
