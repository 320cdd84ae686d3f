// The recording check tells where frames went: the recording thread over a live source whose
// packets and kernel counters a script gives, so that a loss can be the kernel's or not.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "analysis/frame_layout.h"
#include "recording/frame_writer.h"
#include "recording/packet_workers.h"
#include "recording/rgb_format.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;

// A live source playing a list of Art-Net packets; the kernel's drop counter rises where the
// script says, as a full ring would have dropped them, and after the recording.
class ScriptedSource final : public PacketSource {
  public:
    struct Packet {
        int64_t us;
        Bytes record;
        uint32_t droppedBefore = 0;  // packets the kernel dropped just before this one
    };
    explicit ScriptedSource(std::vector<Packet> packets) : m_packets(std::move(packets)) {
        m_facts.sender = m_facts.address = 0x0A000001;
    }

    bool IsOpen() const override { return true; }
    bool IsFile() const override { return false; }
    ArtKind NextArtRecord(const uint8_t** record, uint16_t* length) override {
        if (m_next >= m_packets.size()) {
            m_ended = true;
            return ArtKind::None;
        }
        const Packet& p = m_packets[m_next++];
        m_dropped += p.droppedBefore;
        m_us = p.us;
        *record = p.record.data();
        *length = static_cast<uint16_t>(p.record.size());
        return ArtKind::Dmx;
    }
    int64_t LastTimestampUs() const override { return m_us; }
    uint32_t LastSourceIp() const override { return m_facts.address; }
    const PacketFacts& LastFacts() const override { return m_facts; }
    std::optional<CaptureStats> Drain() override { return std::nullopt; }
    bool Ended() const override { return m_ended; }
    std::string EndReason() const override { return "the device went away"; }
    Result<CaptureStats> Stats() override { return CaptureStats{0, m_dropped, 0}; }
    void BeginReading() override {}
    // The show goes on after the recording; nobody reads, and the kernel drops: not the
    // recording's drops.
    void EndReading() override { m_dropped += 1000; }
    uint64_t FramesRead() const override { return m_next; }
    uint64_t MalformedPackets() const override { return 0; }
    const SourceDirectory& Sources() const override { return m_sources; }
    const NodeNames& Nodes() const override { return m_nodes; }

  private:
    std::vector<Packet> m_packets;
    size_t m_next = 0;
    int64_t m_us = 0;
    uint32_t m_dropped = 0;
    bool m_ended = false;
    PacketFacts m_facts;
    SourceDirectory m_sources;
    NodeNames m_nodes;
};

// 100 frames of 2 universes at 40 frames/s, frames `gapFrom` to `gapTo` never seen: dropped by
// the kernel, or never sent.
AssemblyWorker::Figures Record(int gapFrom, int gapTo, bool kernel) {
    std::vector<ScriptedSource::Packet> packets;
    for (int f = 1; f <= 100; ++f) {
        if (f >= gapFrom && f <= gapTo) continue;
        for (int u = 0; u < 2; ++u) {
            packets.push_back({1'000'000 + int64_t{f} * 25'000,
                               test::RecordOf(test::ArtDmx(u, test::SequenceOf(f), Bytes(8, f))),
                               kernel && f == gapTo + 1 && u == 0 ? 600u : 0u});
        }
    }
    ScriptedSource source(std::move(packets));
    UniverseTable table{{0, 0, 8, 0x0A000001}, {1, 0, 8, 0x0A000001}};
    const PortLayout layout = ComputeFrameLayout(table, 6);
    test::TempDir dir;
    RgbFile file;
    EXPECT_TRUE(file.Create(dir.File("temp.RGB"), BuildRgbHeader(layout, 6, false)));
    auto writer = FrameWriter::Create(file, layout.frameLength, 1 << 20, {});
    EXPECT_TRUE(writer);
    RecordingFlags flags;
    flags.maxFrames = 1000;
    flags.running = true;
    InputMonitor monitor;
    TriggerWatch trigger;
    Framing framing;
    framing.periodUs = 25'000;
    std::atomic<bool> ended{false};
    AssemblyWorker worker;
    worker.Start(
        source, table, layout.frameLength, flags, **writer, monitor, trigger, framing, "qv0",
        [](const std::string&) {}, [&](AssemblyWorker::End) { ended = true; });
    worker.Join();
    (*writer)->Finish();
    EXPECT_TRUE(ended);
    return worker.Result();
}

TEST(RecordingCheck, TellsFramesTheKernelDroppedFromFramesNeverSent) {
    // 20 frames the kernel dropped (its counter rose meanwhile): lost here.
    AssemblyWorker::Figures f = Record(40, 59, true);
    EXPECT_EQ(f.lostLocally, 20u);
    EXPECT_EQ(f.missingUpstream, 0u);
    ASSERT_TRUE(f.haveKernelStats);
    EXPECT_EQ(f.kernelDropped, 600u);  // not the drops after the recording ended
    // The same 20 frames never sent: upstream.
    f = Record(40, 59, false);
    EXPECT_EQ(f.lostLocally, 0u);
    EXPECT_EQ(f.missingUpstream, 20u);
    EXPECT_EQ(f.kernelDropped, 0u);
    // Away for more than a second: a restart, its frames counted by the time it took.
    f = Record(40, 99, false);
    EXPECT_EQ(f.restarts, 1u);
    EXPECT_EQ(f.missingUpstream, 60u);
    EXPECT_NEAR(static_cast<double>(f.awayUs), 61 * 25'000, 1);
}

}  // namespace
}  // namespace quorvex
