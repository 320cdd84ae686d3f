#include "recording/packet_workers.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>

#include "platform/text_format.h"
#include "recording/rgb_header.h"

namespace quorvex {

void SurveyWorker::Start(PacketSource& source, UniverseSurvey& survey, LogLine log,
                         std::function<void()> ended) {
    Join();
    m_active = true;
    m_thread =
        std::thread([this, &source, &survey, log = std::move(log), ended = std::move(ended)] {
            pthread_setname_np(pthread_self(), "quorvex-survey");
            source.BeginReading();
            survey.Reset();
            source.Drain();
            uint8_t record[kArtRecordSize];
            while (m_active.load(std::memory_order_acquire)) {
                uint16_t length = 0;
                const ArtKind kind = source.ReadArtPacket(record, &length);
                if (kind == ArtKind::None && source.Ended()) {
                    // Nothing more will come: report what was found.
                    const std::string reason = source.EndReason();
                    if (!reason.empty()) log("Capture error: " + reason);
                    break;
                }
                if (kind != ArtKind::Dmx) continue;
                if (survey.Feed(record, length)) break;
            }
            source.EndReading();
            if (m_active.exchange(false)) ended();
        });
}

void SurveyWorker::Cancel() {
    m_active = false;
    Join();
}

void SurveyWorker::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void AssemblyWorker::Start(PacketSource& source, const UniverseTable& table, uint32_t frameLength,
                           RecordingFlags& flags, FrameWriter& writer, LogLine log,
                           std::function<void(End)> ended) {
    Join();
    m_assembler.Start(&table, frameLength);
    m_thread = std::thread(
        [this, &source, &table, &flags, &writer, log = std::move(log), ended = std::move(ended)] {
            pthread_setname_np(pthread_self(), "quorvex-packets");
            source.BeginReading();
            const uint64_t packetsBefore = source.FramesRead();
            const auto start = std::chrono::steady_clock::now();
            const End end = Loop(source, table, flags, writer, log);
            m_figures.packetsRead = source.FramesRead() - packetsBefore;
            m_figures.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            m_figures.missingUpstream = m_assembler.MissingUpstream();
            source.EndReading();
            flags.running = false;
            ended(end);
        });
}

void AssemblyWorker::Join() {
    if (m_thread.joinable()) m_thread.join();
}

AssemblyWorker::End AssemblyWorker::Loop(PacketSource& source, const UniverseTable& table,
                                         RecordingFlags& flags, FrameWriter& writer,
                                         const LogLine& log) {
    (void)table;
    m_figures = Figures{};
    source.Drain();
    uint8_t record[kArtRecordSize];
    while (flags.running.load(std::memory_order_acquire)) {
        if (flags.forceStop.load(std::memory_order_acquire)) {
            // A stop that met no frame boundary: the frame in progress is not counted.
            log(kStoppedText);
            return End::AtStop;
        }
        uint16_t length = 0;
        const ArtKind kind = source.ReadArtPacket(record, &length);
        if (kind != ArtKind::Dmx) {
            if (kind == ArtKind::None && source.Ended()) {
                // The end of a capture file (or a failed device) ends the recording as Stop
                // would.
                const std::string reason = source.EndReason();
                if (!reason.empty()) log("Capture error: " + reason);
                log(kStoppedText);
                return End::SourceEnded;
            }
            continue;
        }

        const bool wasSeen = m_assembler.BoundarySeen();
        const uint32_t before = m_assembler.FrameCount();
        const auto boundary = m_assembler.Classify(
            RecordSequence(record), flags.paused.load(std::memory_order_acquire),
            flags.stopRequested.load(std::memory_order_acquire),
            std::min<uint32_t>(flags.maxFrames.load(std::memory_order_acquire),
                               kMaxRecordedFrames));
        // Timestamps of the start of frame 1 and of the end of the last counted frame.
        if (!wasSeen && m_assembler.BoundarySeen()) {
            m_figures.firstBoundaryUs = source.LastTimestampUs();
        }
        switch (boundary) {
            case FrameAssembler::Boundary::Drop:
                continue;
            case FrameAssembler::Boundary::Stop:
                log(kStoppedText);
                return End::AtStop;
            case FrameAssembler::Boundary::Limit:
                log(kStoppedText);
                return End::AtLimit;
            case FrameAssembler::Boundary::NewFrame:
                m_figures.lastBoundaryUs = source.LastTimestampUs();
                if (!writer.FrameCompleted(before + 1)) return End::Abandoned;
                break;
            case FrameAssembler::Boundary::Continue:
                break;
        }

        const auto placed =
            m_assembler.Place(record, length, writer.BufferFor(m_assembler.FrameCount() + 1));
        if (placed.warning == FrameAssembler::Warning::NotSurveyed) {
            log(Format("Universe %d was not found by Parse; its data is not recorded.",
                       placed.universe));
        } else if (placed.warning == FrameAssembler::Warning::Truncated) {
            log(
                Format("Universe %d sends %d bytes, more than the %d found by Parse; the rest is "
                       "not recorded.",
                       placed.universe, placed.recordLength - 8, placed.slotLength));
        }
        if (placed.placement == FrameAssembler::Placement::OutOfRange) {
            log(Format("Universe num:%d, out of range！", placed.universe));
            log(kStoppedText);
            return End::Halted;
        }
        if (placed.placement == FrameAssembler::Placement::ReceiveError) {
            log(Format("pos:%u,len:%d", placed.position, placed.recordLength));
            log("Receive error!");
            log(kStoppedText);
            return End::Halted;
        }
    }
    return End::Abandoned;
}

}  // namespace quorvex
