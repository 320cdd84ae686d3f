#include "recording/packet_workers.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/coarse_clock.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "recording/rgb_format.h"
#include "recording/silence_watch.h"

namespace quorvex {

void ObserveRecord(InputMonitor& monitor, const PacketSource& source, const uint8_t* record,
                   uint16_t length) {
    if (length < kArtRecordHeader || !source.LastFacts().recordable) return;
    monitor.Observe(RecordUniverse(record), source.LastSourceIp(), RecordSequence(record),
                    source.LastTimestampUs(), record + kArtRecordHeader,
                    static_cast<uint16_t>(length - kArtRecordHeader));
}

void MonitorWorker::Start(PacketSource& source, InputMonitor& monitor) {
    Stop();
    m_active = true;
    m_thread = std::thread([this, &source, &monitor] {
        pthread_setname_np(pthread_self(), "quorvex-monitor");
        source.BeginReading();
        while (m_active.load(std::memory_order_acquire)) {
            const uint8_t* record = nullptr;
            uint16_t length = 0;
            const ArtKind kind = source.NextArtRecord(&record, &length);
            if (kind == ArtKind::Dmx) {
                ObserveRecord(monitor, source, record, length);
            } else if (kind == ArtKind::None && source.Ended()) {
                break;
            }
        }
        source.EndReading();
    });
}

void MonitorWorker::Stop() {
    m_active = false;
    if (m_thread.joinable()) m_thread.join();
}

void SurveyWorker::Start(PacketSource& source, UniverseSurvey& survey, InputMonitor& monitor,
                         std::string liveAdapter, int hintMs, LogLine log,
                         std::function<void()> ended) {
    Join();
    m_active = true;
    m_thread = std::thread([this, &source, &survey, &monitor, liveAdapter = std::move(liveAdapter),
                            hintMs, log = std::move(log), ended = std::move(ended)] {
        pthread_setname_np(pthread_self(), "quorvex-survey");
        source.BeginReading();
        survey.Reset();
        source.Drain();
        if (!liveAdapter.empty())
            log(Format(Tr("Waiting for Art-Net on %s\u2026"), liveAdapter.c_str()));
        const uint64_t framesBefore = source.FramesRead();
        const uint32_t start = CoarseMonotonicMs();
        bool hinted = liveAdapter.empty();
        uint64_t artDmx = 0;
        uint64_t sequenced = 0;
        while (m_active.load(std::memory_order_acquire)) {
            if (!hinted && CoarseMonotonicMs() - start >= static_cast<uint32_t>(hintMs)) {
                // Said once; Parse goes on waiting.
                hinted = true;
                log(SurveyWaitingHint(liveAdapter, hintMs / 1000.0,
                                      source.FramesRead() - framesBefore, artDmx, sequenced));
            }
            const uint8_t* record = nullptr;
            uint16_t length = 0;
            const ArtKind kind = source.NextArtRecord(&record, &length);
            if (kind == ArtKind::None && source.Ended()) {
                // Nothing more will come: report what was found.
                const std::string reason = source.EndReason();
                if (!reason.empty()) log(Format(Tr("Capture error: %s"), reason.c_str()));
                survey.Finish();
                break;
            }
            const PacketFacts& facts = source.LastFacts();
            if (kind == ArtKind::Sync) survey.FeedSync(facts, source.LastSourceIp());
            if (kind != ArtKind::Dmx) continue;
            ObserveRecord(monitor, source, record, length);
            ++artDmx;
            if (RecordSequence(record) != 0 || facts.protocol == Protocol::Sacn) ++sequenced;
            if (survey.Feed(record, length, source.LastSourceIp(), facts,
                            source.LastTimestampUs())) {
                break;
            }
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
                           RecordingFlags& flags, FrameWriter& writer, InputMonitor& monitor,
                           TriggerWatch& trigger, const Framing& framing, std::string liveAdapter,
                           LogLine log, std::function<void(End)> ended) {
    Join();
    // A capture file is read from its start (the recorder reopens it), so its first frame
    // counts when whole.
    m_assembler.Start(&table, frameLength, source.IsFile(), framing);
    m_recordedUs = 0;
    m_thread = std::thread([this, &source, &flags, &writer, &monitor, &trigger,
                            liveAdapter = std::move(liveAdapter), log = std::move(log),
                            ended = std::move(ended)] {
        pthread_setname_np(pthread_self(), "quorvex-packets");
        source.BeginReading();
        const uint64_t packetsBefore = source.FramesRead();
        const auto start = std::chrono::steady_clock::now();
        const End end = Loop(source, flags, writer, monitor, trigger, liveAdapter, log);
        m_figures.packetsRead = source.FramesRead() - packetsBefore;
        m_figures.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        m_figures.missingUpstream = m_assembler.MissingUpstream();
        m_figures.incompleteFrames = m_assembler.IncompleteFrames();
        m_figures.recordedUs = m_assembler.RecordedUs();
        m_figures.firstFrameUs = m_assembler.FirstFrameUs();
        source.EndReading();
        flags.running = false;
        ended(end);
    });
}

void AssemblyWorker::Join() {
    if (m_thread.joinable()) m_thread.join();
}

namespace {

// The log line of an admission's warning; `sender` sent the packet.
void Tell(const FrameAssembler::Admission& a, uint32_t sender, const LogLine& log) {
    switch (a.warning) {
        case FrameAssembler::Warning::None:
            break;
        case FrameAssembler::Warning::OutOfRange:
            log(Format(Tr("Universe num:%d, out of range！"), a.universe));
            break;
        case FrameAssembler::Warning::NotSurveyed:
            log(Format(Tr("Universe %d was not found by Parse; its data is not recorded."),
                       a.universe));
            break;
        case FrameAssembler::Warning::OtherSender: {
            const std::string bound = Ipv4Text(a.boundSource);
            log(Format(
                Tr("Universe %d also arrives from %s; only %s, found by Parse, is recorded."),
                a.universe, Ipv4Text(sender).c_str(), bound.c_str()));
            break;
        }
        case FrameAssembler::Warning::OtherProtocol:
            log(Format(
                Tr("Universe %d also arrives as %s; only %s, found by Parse, is recorded."),
                a.universe,
                ProtocolName(a.boundProtocol == Protocol::Sacn ? Protocol::ArtNet : Protocol::Sacn),
                ProtocolName(a.boundProtocol)));
            break;
        case FrameAssembler::Warning::Terminated:
            log(Format(Tr("Universe %d from %s ended its sACN stream; its data is not recorded "
                          "until it sends again."),
                       a.universe, Ipv4Text(sender).c_str()));
            break;
        case FrameAssembler::Warning::Truncated:
            log(Format(Tr("Universe %d sends %d bytes, more than the %d found by Parse; the rest "
                          "is not recorded."),
                       a.universe, a.dataLength, a.slotLength));
            break;
    }
}

}  // namespace

AssemblyWorker::End AssemblyWorker::Loop(PacketSource& source, RecordingFlags& flags,
                                         FrameWriter& writer, InputMonitor& monitor,
                                         TriggerWatch& trigger, const std::string& liveAdapter,
                                         const LogLine& log) {
    m_figures = Figures{};
    source.Drain();
    SilenceWatch silence(liveAdapter, CoarseMonotonicMs());
    uint8_t* frame = writer.Frame();
    bool synced = false;  // an ArtSync came since the last boundary
    while (flags.running.load(std::memory_order_acquire)) {
        if (flags.forceStop.load(std::memory_order_acquire)) {
            // A stop that met no frame boundary: the frame in progress is not counted.
            log(Tr(kStoppedText));
            return End::AtStop;
        }
        const bool paused = flags.paused.load(std::memory_order_acquire);
        silence.Look(paused, CoarseMonotonicMs(), log);
        const uint8_t* record = nullptr;
        uint16_t length = 0;
        const ArtKind kind = source.NextArtRecord(&record, &length);
        if (kind == ArtKind::Sync && m_assembler.Sync(source.LastFacts(), source.LastSourceIp())) {
            synced = true;
        }
        if (kind != ArtKind::Dmx) {
            if (kind == ArtKind::None && source.Ended()) {
                // The end of a capture file (or a failed device) ends the recording as Stop
                // would. The last frame of a file counts when it is whole.
                const std::string reason = source.EndReason();
                if (!reason.empty()) log(Format(Tr("Capture error: %s"), reason.c_str()));
                if (source.IsFile() && reason.empty() && !paused && !trigger.Armed() &&
                    m_assembler.CloseLastFrame(
                        synced,
                        std::min<uint32_t>(flags.maxFrames.load(std::memory_order_acquire),
                                           kMaxRecordedFrames),
                        flags.maxRecordedUs.load(std::memory_order_relaxed))) {
                    m_assembler.CarryOver(writer.PreviousFrame(), frame);
                    if (!trigger.Released(frame)) {
                        m_recordedUs.store(m_assembler.RecordedUs(), std::memory_order_relaxed);
                        if (!writer.FrameCompleted(m_assembler.FrameCount())) {
                            return End::Abandoned;
                        }
                    }
                }
                log(Tr(kStoppedText));
                return End::SourceEnded;
            }
            continue;
        }
        ObserveRecord(monitor, source, record, length);

        const uint32_t sender = source.LastSourceIp();
        const auto admitted = m_assembler.Admit(record, length, sender, source.LastFacts());
        if (admitted.warning != FrameAssembler::Warning::None) Tell(admitted, sender, log);
        if (!admitted.recorded) continue;

        const uint8_t sequence = m_assembler.Mark(record, source.LastTimestampUs());
        // While the start trigger is armed, boundaries pass as in a pause: the frame in
        // progress keeps every universe's latest data until a frame fires the trigger.
        bool held = false;
        if (m_assembler.IsBoundary(sequence)) {
            silence.Frame(CoarseMonotonicMs(), log);
            synced = false;
            // A first frame the capture began inside is not recorded.
            held = m_assembler.PartialFirstFrame();
            if (!paused && !held) {
                if (trigger.Armed()) {
                    if (trigger.Fires(frame)) {
                        flags.triggerArmed = false;
                        log(Tr("Start trigger fired: recording from this frame on."));
                    } else {
                        held = true;
                    }
                }
                if (!held) {
                    // The frame that just ended takes what it did not get from the one before.
                    m_assembler.CarryOver(writer.PreviousFrame(), frame);
                    if (trigger.Released(frame)) {
                        log(
                            Tr("The start trigger's channel fell below its value again: the "
                               "recording ends."));
                        log(Tr(kStoppedText));
                        return End::AtLimit;
                    }
                }
            }
        }

        const auto boundary = m_assembler.Classify(
            sequence, source.LastTimestampUs(), paused || held,
            flags.stopRequested.load(std::memory_order_acquire),
            std::min<uint32_t>(flags.maxFrames.load(std::memory_order_acquire), kMaxRecordedFrames),
            flags.maxRecordedUs.load(std::memory_order_relaxed));
        switch (boundary) {
            case FrameAssembler::Boundary::Drop:
                continue;
            case FrameAssembler::Boundary::Stop:
                log(Tr(kStoppedText));
                return End::AtStop;
            case FrameAssembler::Boundary::Limit:
                log(Tr(kStoppedText));
                return End::AtLimit;
            case FrameAssembler::Boundary::NewFrame:
                m_recordedUs.store(m_assembler.RecordedUs(), std::memory_order_relaxed);
                if (!writer.FrameCompleted(m_assembler.FrameCount())) return End::Abandoned;
                frame = writer.Frame();
                break;
            case FrameAssembler::Boundary::Continue:
                break;
        }

        const auto placed = m_assembler.Place(record, length, frame);
        if (placed.placement == FrameAssembler::Placement::ReceiveError) {
            log(Format(Tr("pos:%u,len:%d"), placed.position, placed.recordLength));
            log(Tr("Receive error!"));
            log(Tr(kStoppedText));
            return End::Halted;
        }
    }
    return End::Abandoned;
}

}  // namespace quorvex
