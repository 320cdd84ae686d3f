#include "analysis/frame_assembler.h"

#include <gtest/gtest.h>

#include "analysis/frame_layout.h"
#include "capture/art_packet.h"
#include "capture/source_directory.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;
using B = FrameAssembler::Boundary;
using W = FrameAssembler::Warning;

constexpr uint32_t kShow = 0x0A000001;

// Universes 0 and 1 of 512 bytes from kShow: a 1024-byte frame. Packets are fed the way the
// recording thread feeds them; frames take turns in two buffers, as in the writer's queue.
class AssemblerTest : public ::testing::Test {
  protected:
    void SetUp() override { Prepare({{0, 0, 512, kShow}, {1, 0, 512, kShow}}); }

    void Prepare(UniverseTable t, const Framing& framing = {}, int perPort = 6) {
        table = std::move(t);
        layout = ComputeFrameLayout(table, perPort);
        // As the frame writer's queue: slots start with anything in them.
        for (Bytes& b : buffers) b.assign(layout.frameLength, 0xCC);
        zeros.assign(layout.frameLength, 0);
        previous = zeros.data();
        completed.clear();
        current = 0;
        assembler.Start(&table, layout.frameLength, framing, Frame().data());
    }

    // One packet; the frames it ends are closed as the recording thread closes them. Gives
    // the last boundary it met, or nothing when it ended no frame.
    std::optional<B> Step(int universe, uint8_t seq, const Bytes& data, uint32_t sender = kShow) {
        const Bytes r = test::RecordOf(test::ArtDmx(universe, seq, data));
        PacketFacts facts;
        facts.sender = facts.address = sender;
        admitted = assembler.Admit(r.data(), static_cast<uint16_t>(r.size()), facts, nowUs);
        if (admitted.recorded) {
            assembler.Offer(r.data(), static_cast<uint16_t>(r.size()), admitted, nowUs);
        }
        return CloseFrames();
    }
    // The end of the capture.
    std::optional<B> End() {
        assembler.End();
        return CloseFrames();
    }
    std::optional<B> CloseFrames() {
        std::optional<B> last;
        while (assembler.FrameOver()) {
            const bool pass = paused || !assembler.Countable();
            if (!pass) assembler.CarryOver(previous, Frame().data());
            last = assembler.Close(pass, stopped, maxFrames, maxUs);
            if (*last == B::Stop || *last == B::Limit) return last;
            if (*last == B::NewFrame) {
                completed.push_back(Frame());
                previous = Frame().data();
                current ^= 1;
            }
            assembler.Open(Frame().data());
        }
        return last;
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
    int64_t nowUs = 1'000'000;  // capture time of the next packet
    bool paused = false;
    bool stopped = false;
    uint32_t maxFrames = 1000;
    int64_t maxUs = 0;  // recorded time that ends the recording; 0: none
};

TEST_F(AssemblerTest, CountsFramesUpToTheLimit) {
    // The recording began inside a frame: it is not recorded.
    Step(1, 1, Bytes(512, 0xEE));
    int newFrames = 0;
    std::optional<B> last;
    maxFrames = 260;
    for (int f = 2; f <= 263 && last != B::Limit; ++f) {
        for (int u = 0; u < 2 && last != B::Limit; ++u) {
            last = Step(u, test::SequenceOf(f), Bytes(512, static_cast<uint8_t>(f)));
            if (last == B::NewFrame) ++newFrames;
        }
    }
    EXPECT_EQ(newFrames, 260);
    EXPECT_EQ(last, B::Limit);
    EXPECT_EQ(assembler.FrameCount(), 260u);
    EXPECT_EQ(assembler.Result().incomplete, 0u);
    EXPECT_EQ(assembler.Result().missingUpstream, 0u);
    // The numbers wrap from 255 to 1 as from any number to the next: frame 255, then 256.
    EXPECT_EQ(completed[253][0], 255);
    EXPECT_EQ(completed[254][0], 0);
}

TEST_F(AssemblerTest, LimitZeroEndsAtTheFirstFrame) {
    maxFrames = 0;
    Step(0, 5, Bytes(512, 1));
    EXPECT_EQ(Step(1, 5, Bytes(512, 1)), B::Limit);
    EXPECT_EQ(assembler.FrameCount(), 0u);
}

TEST_F(AssemblerTest, StopAndPauseActAtFrameEnds) {
    Step(0, 1, Bytes(512, 1));
    EXPECT_EQ(Step(1, 1, Bytes(512, 1)), B::NewFrame);
    // Pause: frames are not counted; every packet still lands in the frame in progress, so
    // it always holds the latest whole frame.
    paused = true;
    Step(0, 2, Bytes(512, 9));
    EXPECT_EQ(Step(1, 2, Bytes(512, 9)), B::Continue);
    Step(0, 3, Bytes(512, 8));
    EXPECT_EQ(Step(1, 3, Bytes(512, 8)), B::Continue);
    EXPECT_EQ(assembler.FrameCount(), 1u);
    EXPECT_EQ(Frame()[0], 8);
    EXPECT_EQ(Frame()[512], 8);
    // Resumed: the next frame counts.
    paused = false;
    Step(0, 4, Bytes(512, 7));
    EXPECT_EQ(Step(1, 4, Bytes(512, 7)), B::NewFrame);
    EXPECT_EQ(assembler.FrameCount(), 2u);
    // Stop takes effect at the end of the frame in progress only.
    stopped = true;
    EXPECT_EQ(Step(0, 5, Bytes(512, 7)), std::nullopt);
    EXPECT_EQ(Step(1, 5, Bytes(512, 7)), B::Stop);
    EXPECT_EQ(assembler.FrameCount(), 2u);
}

// A frame lasts from its first packet to the next frame's; paused frames are left out, and
// frames the sender skipped count as missing only where frames are recorded.
TEST_F(AssemblerTest, RecordedTimeLeavesPausesOutAndGapsCountOnlyWhereFramesAreRecorded) {
    Prepare({{0, 0, 512, kShow}});
    const auto frameAt = [&](uint8_t seq, int64_t us) {
        nowUs = us;
        return Step(0, seq, Bytes(512, seq));
    };
    frameAt(1, 1'000'000);
    frameAt(2, 1'025'000);
    paused = true;
    frameAt(3, 1'050'000);
    frameAt(6, 1'125'000);  // 4 and 5 never came: no frame was recorded meanwhile
    paused = false;
    frameAt(7, 1'150'000);
    frameAt(9, 1'200'000);  // 8 never came
    frameAt(10, 1'225'000);
    // 1 and 2 last 25 ms each; 7 lasts until 9 begins, 9 until 10.
    EXPECT_EQ(assembler.Result().recordedUs, 25'000 + 25'000 + 50'000 + 25'000);
    EXPECT_EQ(assembler.Result().missingUpstream, 1u);
    // A duration counts recorded time: 125 ms are used up, the next frame ends it.
    maxUs = 125'000;
    EXPECT_EQ(frameAt(11, 1'250'000), B::Limit);
    EXPECT_EQ(assembler.FrameCount(), 5u);
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
    Step(0, 1, Bytes(512, 0xEE));  // the recording began inside this frame
    Step(0, 2, Bytes(512, 1));     // frame 1 lacks universe 1
    Step(0, 3, Bytes(512, 2));
    Step(1, 3, Bytes(512, 2));  // frame 2 whole
    Step(0, 4, Bytes(512, 3));
    Step(0, 4, Bytes(512, 0x99));  // repeated: not taken
    Step(1, 5, Bytes(512, 4));     // frame 3 has no universe 1
    Step(0, 5, Bytes(100, 4));     // frame 4 whole, universe 0 short
    Step(1, 6, Bytes(512, 5));
    End();  // frame 5, cut by the end of the capture, is not recorded
    EXPECT_EQ(assembler.FrameCount(), 4u);
    EXPECT_EQ(assembler.Result().incomplete, 2u);
    ASSERT_EQ(completed.size(), 4u);
    EXPECT_EQ(completed[0], expect(1, 1, 0));
    EXPECT_EQ(completed[1], expect(2, 2, 2));
    EXPECT_EQ(completed[2], expect(3, 3, 2));
    EXPECT_EQ(completed[3], expect(4, 3, 4));
}

TEST_F(AssemblerTest, UniverseAboveTheTableIsToldOnceAndNeitherCopiedNorAFrame) {
    Step(0, 1, Bytes(512, 1));
    EXPECT_EQ(Step(2, 1, Bytes(512, 0x77)), std::nullopt);
    EXPECT_FALSE(admitted.recorded);
    EXPECT_EQ(admitted.warning, W::OutOfRange);
    EXPECT_EQ(admitted.universe, 2);
    Step(2, 2, Bytes(512, 0x77));
    EXPECT_EQ(admitted.warning, W::None);
    EXPECT_EQ(std::count(Frame().begin(), Frame().end(), 0x77), 0);
    EXPECT_EQ(assembler.FrameCount(), 0u);
    EXPECT_EQ(Step(1, 1, Bytes(512, 1)), B::NewFrame);
    EXPECT_EQ(assembler.Result().notSurveyed, 1u);
}

TEST_F(AssemblerTest, OnlyTheSurveyedSenderIsRecordedAndSequenceZeroEndsNoFrame) {
    constexpr uint32_t kOther = 0x0A000002;
    Step(0, 1, Bytes(512, 1));
    // Another sender's packets of a surveyed universe: other sequence numbers, or none.
    for (const uint8_t seq : {uint8_t{200}, uint8_t{0}, uint8_t{201}}) {
        EXPECT_EQ(Step(1, seq, Bytes(512, 0x66), kOther), std::nullopt);
        EXPECT_FALSE(admitted.recorded);
        EXPECT_EQ(admitted.warning, seq == 200 ? W::OtherSender : W::None);
        EXPECT_EQ(admitted.boundSender, kShow);
    }
    Step(0, 202, Bytes(512, 0x66), kOther);
    EXPECT_EQ(admitted.warning, W::OtherSender);  // once per universe and sender
    // Sequence 0 from the show's sender places its data without ending a frame.
    EXPECT_EQ(Step(0, 0, Bytes(512, 0x55)), std::nullopt);
    EXPECT_EQ(Frame()[0], 0x55);
    EXPECT_EQ(std::count(Frame().begin(), Frame().end(), 0x66), 0);
    EXPECT_EQ(Step(1, 1, Bytes(512, 2)), B::NewFrame);
    EXPECT_EQ(completed[0][0], 0x55);
    EXPECT_EQ(assembler.Result().incomplete, 0u);
    EXPECT_EQ(assembler.Result().missingUpstream, 0u);
}

TEST_F(AssemblerTest, DataIsCutToTheSlotAndEachUniverseWarnsOnce) {
    // 540 bytes for universe 0 must not spill into universe 1.
    Step(1, 1, Bytes(512, 0x22));
    Step(0, 1, Bytes(540, 0x11));
    EXPECT_EQ(admitted.warning, W::Truncated);
    EXPECT_EQ(admitted.dataLength, 540);
    EXPECT_EQ(admitted.slotLength, 512);
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_EQ(completed[0][511], 0x11);
    EXPECT_EQ(completed[0][512], 0x22);
    Step(0, 2, Bytes(540, 0x11));
    EXPECT_EQ(admitted.warning, W::None);
    // 513 bytes at the last universe: cut, not a receive error.
    Step(1, 2, Bytes(513, 0x33));
    End();
    ASSERT_EQ(completed.size(), 2u);
    EXPECT_EQ(completed[1][1023], 0x33);
}

TEST_F(AssemblerTest, UnsurveyedUniverseIsNeitherCopiedNorAFrame) {
    Prepare({{3, 0, 4, kShow}, {1, 0, 4, kShow}});  // universes 0 and 2 are fillers of length 0
    Step(1, 1, Bytes(4, 0xA1));
    EXPECT_EQ(Step(0, 1, Bytes(4, 0xF0)), std::nullopt);
    EXPECT_EQ(admitted.warning, W::NotSurveyed);
    Step(0, 2, Bytes(4, 0xF0));
    EXPECT_EQ(admitted.warning, W::None);
    EXPECT_EQ(Step(3, 1, Bytes(4, 0xA3)), B::NewFrame);
    EXPECT_EQ(completed[0], (Bytes{0xA1, 0xA1, 0xA1, 0xA1, 0xA3, 0xA3, 0xA3, 0xA3}));
    EXPECT_EQ(assembler.Result().notSurveyed, 1u);
}

// E1.31 receivers take a source's packets of a universe in sequence: a repeated or late number
// is discarded, and other start codes share the numbers without being frames.
TEST_F(AssemblerTest, SacnPacketsRepeatedOrLateAreNotTaken) {
    const auto sacn = [&](int universe, uint8_t seq, uint8_t value, bool recordable = true) {
        const Bytes r = test::RecordOf(test::ArtDmx(universe, seq, Bytes(512, value)));
        PacketFacts facts;
        facts.protocol = Protocol::Sacn;
        facts.sender = kSacnSourceBit | 3;
        facts.recordable = recordable;
        admitted = assembler.Admit(r.data(), static_cast<uint16_t>(r.size()), facts, nowUs);
        if (admitted.recorded) {
            assembler.Offer(r.data(), static_cast<uint16_t>(r.size()), admitted, nowUs);
        }
        return CloseFrames();
    };
    UniverseTable t{{0, 0, 512, 0, Protocol::Sacn, kSacnSourceBit | 3},
                    {1, 0, 512, 0, Protocol::Sacn, kSacnSourceBit | 3}};
    Prepare(t);
    sacn(0, 10, 1);
    sacn(1, 10, 1);
    sacn(0, 10, 0x66);  // the same number again
    EXPECT_FALSE(admitted.recorded);
    sacn(0, 11, 0xDD, false);  // per-address priority: numbered, not a frame
    sacn(0, 5, 0x66);          // late
    EXPECT_FALSE(admitted.recorded);
    sacn(0, 12, 2);
    sacn(1, 11, 2);
    ASSERT_EQ(completed.size(), 2u);
    EXPECT_EQ(completed[0][0], 1);
    EXPECT_EQ(completed[1][0], 2);
    EXPECT_EQ(assembler.Result().incomplete, 0u);
    EXPECT_EQ(assembler.Result().missingUpstream, 0u);
}

TEST(CounterStep, CountsAcrossTheWrapOfEitherNumbering) {
    EXPECT_EQ(CounterStep(1, 2, false), 1);
    EXPECT_EQ(CounterStep(1, 4, false), 3);
    EXPECT_EQ(CounterStep(255, 1, false), 1);  // Art-Net skips 0
    EXPECT_EQ(CounterStep(254, 2, false), 3);
    EXPECT_EQ(CounterStep(255, 0, true), 1);  // OLA does not
    EXPECT_EQ(CounterStep(255, 1, true), 2);
    EXPECT_EQ(CounterStep(5, 5, true), 0);    // repeated
    EXPECT_EQ(CounterStep(5, 3, false), -2);  // late
    EXPECT_EQ(CounterStep(2, 250, true), -8);
}

}  // namespace
}  // namespace quorvex
