#include "recording/packet_workers.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>

#include "platform/coarse_clock.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "recording/rgb_format.h"
#include "recording/silence_watch.h"

namespace quorvex {

void ObserveRecord(InputMonitor& monitor, const PacketSource& source, const uint8_t* record,
                   uint16_t length) {
    const PacketFacts& facts = source.LastFacts();
    if (length < kArtRecordHeader || !facts.recordable) return;
    monitor.Observe(RecordUniverse(record), facts.sender, RecordSequence(record),
                    source.LastTimestampUs(), record + kArtRecordHeader,
                    static_cast<uint16_t>(length - kArtRecordHeader),
                    {facts.protocol, facts.address, facts.sentUniverse, facts.priority});
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
            log(Format(Tr("Waiting for Art-Net or sACN on %s\u2026"), liveAdapter.c_str()));
        const uint64_t framesBefore = source.FramesRead();
        const uint32_t start = CoarseMonotonicMs();
        bool hinted = liveAdapter.empty();
        uint64_t artDmx = 0;
        std::optional<uint32_t> showSince;  // when the first data packet came
        while (m_active.load(std::memory_order_acquire)) {
            if (!hinted && CoarseMonotonicMs() - start >= static_cast<uint32_t>(hintMs)) {
                // Said once; Parse goes on waiting.
                hinted = true;
                const std::string hint = SurveyWaitingHint(
                    liveAdapter, hintMs / 1000.0, source.FramesRead() - framesBefore, artDmx);
                if (!hint.empty()) log(hint);
            }
            const uint8_t* record = nullptr;
            uint16_t length = 0;
            const ArtKind kind = source.NextArtRecord(&record, &length);
            // A live show that goes quiet still ends the watch when its time is up. Only when
            // nothing of it waits: a reader that fell behind must not judge the show by its
            // first packets.
            if (kind == ArtKind::None && !liveAdapter.empty() && showSince &&
                CoarseMonotonicMs() - *showSince >= UniverseSurvey::kWatchUs / 1000) {
                survey.Finish();
                break;
            }
            if (kind == ArtKind::None && source.Ended()) {
                // Nothing more will come: report what was found.
                const std::string reason = source.EndReason();
                if (!reason.empty()) log(Format(Tr("Capture error: %s"), reason.c_str()));
                survey.Finish();
                break;
            }
            const PacketFacts& facts = source.LastFacts();
            if (kind == ArtKind::Sync) survey.FeedSync(facts, source.LastTimestampUs());
            if (kind != ArtKind::Dmx) continue;
            ObserveRecord(monitor, source, record, length);
            ++artDmx;
            if (!showSince && facts.recordable) showSince = CoarseMonotonicMs();
            if (survey.Feed(record, length, facts, source.LastTimestampUs())) break;
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

namespace {

// The log line of an admission's warning; `sender` sent the packet.
void Tell(const FrameAssembler::Admission& a, const SourceDirectory& sources, uint32_t sender,
          const LogLine& log) {
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
            const std::string bound = SourceText(sources, a.boundSender);
            log(Format(
                Tr("Universe %d also arrives from %s; only %s, found by Parse, is recorded."),
                a.universe, SourceText(sources, sender).c_str(), bound.c_str()));
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
                       a.universe, SourceText(sources, sender).c_str()));
            break;
        case FrameAssembler::Warning::Truncated:
            log(Format(Tr("Universe %d sends %d bytes, more than the %d found by Parse; the rest "
                          "is not recorded."),
                       a.universe, a.dataLength, a.slotLength));
            break;
    }
}

}  // namespace

// The recording loop of one recording, on the recording thread.
struct AssemblyWorker::Loop {
    AssemblyWorker& worker;
    PacketSource& source;
    RecordingFlags& flags;
    FrameWriter& writer;
    InputMonitor& monitor;
    TriggerWatch& trigger;
    const LogLine& log;
    SilenceWatch silence;
    FrameAssembler& assembler;
    uint8_t* frame = nullptr;
    std::optional<CaptureStats> statsAtStart;
    uint32_t dropsSeen = 0;

    uint32_t MaxFrames() const {
        return std::min<uint32_t>(flags.maxFrames.load(std::memory_order_acquire),
                                  kMaxRecordedFrames);
    }

    void TellSourceChanges() {
        for (const auto& c : assembler.TakeSourceChanges()) {
            const std::string from = SourceText(source.Sources(), c.from);
            const std::string to = SourceText(source.Sources(), c.to);
            if (c.lost) {
                log(Format(Tr("Universe %d: %s stopped; recorded from %s (priority %u) from frame "
                              "%u on."),
                           c.universe, from.c_str(), to.c_str(), static_cast<unsigned>(c.priority),
                           c.frame + 1));
            } else {
                log(Format(Tr("Universe %d: %s (priority %u) takes over from %s at frame %u."),
                           c.universe, to.c_str(), static_cast<unsigned>(c.priority), from.c_str(),
                           c.frame + 1));
            }
        }
    }

    // Frames skipped before the frame just counted were the kernel's drops when its counter
    // moved since: they were lost here, not upstream.
    void Attribute(uint32_t gap) {
        if (gap == 0 || source.IsFile()) return;
        const auto stats = source.Stats();
        if (!stats) return;
        if (stats->dropped != dropsSeen) {
            dropsSeen = stats->dropped;
            worker.m_figures.lostLocally += gap;
        }
    }

    // Closes the frames that are over; an end when the recording ends there.
    std::optional<End> CloseFrames(bool paused) {
        while (assembler.FrameOver()) {
            silence.Frame(CoarseMonotonicMs(), log);
            bool held = !assembler.Countable();
            if (!paused && !held && trigger.Armed()) {
                // While the start trigger is armed, frames pass as in a pause: the frame in
                // progress keeps every universe's latest data until a frame fires it.
                if (trigger.Fires(frame)) {
                    flags.triggerArmed = false;
                    log(Tr("Start trigger fired: recording from this frame on."));
                } else {
                    held = true;
                }
            }
            if (!paused && !held) {
                // The frame that ends takes what it did not get from the one before.
                assembler.CarryOver(writer.PreviousFrame(), frame);
                if (trigger.Released(frame)) {
                    log(
                        Tr("The start trigger's channel fell below its value again: the "
                           "recording ends."));
                    log(Tr(kStoppedText));
                    return End::AtLimit;
                }
            }
            const auto boundary =
                assembler.Close(paused || held, flags.stopRequested.load(std::memory_order_acquire),
                                MaxFrames(), flags.maxRecordedUs.load(std::memory_order_relaxed));
            TellSourceChanges();
            worker.m_recordedUs.store(assembler.Result().recordedUs, std::memory_order_relaxed);
            switch (boundary) {
                case FrameAssembler::Boundary::Stop:
                    log(Tr(kStoppedText));
                    return End::AtStop;
                case FrameAssembler::Boundary::Limit:
                    log(Tr(kStoppedText));
                    return End::AtLimit;
                case FrameAssembler::Boundary::NewFrame:
                    Attribute(assembler.LastGap());
                    if (!writer.FrameCompleted(assembler.FrameCount())) return End::Abandoned;
                    frame = writer.Frame();
                    break;
                case FrameAssembler::Boundary::Continue:
                    break;
            }
            if (assembler.Open(frame) == FrameAssembler::Placement::ReceiveError) {
                uint32_t position = 0;
                uint16_t length = 0;
                assembler.ReceiveError(&position, &length);
                log(Format(Tr("pos:%u,len:%d"), position, length));
                log(Tr("Receive error!"));
                log(Tr(kStoppedText));
                return End::Halted;
            }
        }
        return std::nullopt;
    }

    End Run() {
        // The kernel's drops count from the first packet the recording keeps; those before it
        // came while what was captured earlier was let go.
        statsAtStart = source.Drain();
        if (!statsAtStart && !source.IsFile()) {
            if (auto stats = source.Stats()) statsAtStart = *stats;
        }
        if (statsAtStart) dropsSeen = statsAtStart->dropped;
        frame = writer.Frame();
        assembler.Start(worker.m_table, worker.m_frameLength, worker.m_framing, frame);
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
            if (kind == ArtKind::Sync) {
                assembler.Sync(source.LastFacts());
            } else if (kind == ArtKind::Dmx) {
                ObserveRecord(monitor, source, record, length);
                const PacketFacts& facts = source.LastFacts();
                const int64_t timeUs = source.LastTimestampUs();
                const auto admitted = assembler.Admit(record, length, facts, timeUs);
                if (admitted.warning != FrameAssembler::Warning::None) {
                    Tell(admitted, source.Sources(), facts.sender, log);
                }
                if (admitted.recorded) assembler.Offer(record, length, admitted, timeUs);
            } else {
                if (!source.Ended()) continue;
                // The end of a capture file (or a failed device) ends the recording as Stop
                // would. The frames still open count when they are whole.
                const std::string reason = source.EndReason();
                if (!reason.empty()) log(Format(Tr("Capture error: %s"), reason.c_str()));
                if (source.IsFile() && reason.empty() && !paused) {
                    assembler.End();
                    if (const auto end = CloseFrames(paused)) return *end;
                }
                log(Tr(kStoppedText));
                return End::SourceEnded;
            }
            if (const auto end = CloseFrames(paused)) return *end;
        }
        return End::Abandoned;
    }
};

void AssemblyWorker::Start(PacketSource& source, const UniverseTable& table, uint32_t frameLength,
                           RecordingFlags& flags, FrameWriter& writer, InputMonitor& monitor,
                           TriggerWatch& trigger, const Framing& framing, std::string liveAdapter,
                           LogLine log, std::function<void(End)> ended) {
    Join();
    m_table = &table;
    m_frameLength = frameLength;
    m_framing = framing;
    m_recordedUs = 0;
    m_figures = Figures{};
    m_thread = std::thread([this, &source, &flags, &writer, &monitor, &trigger,
                            liveAdapter = std::move(liveAdapter), log = std::move(log),
                            ended = std::move(ended)] {
        pthread_setname_np(pthread_self(), "quorvex-packets");
        source.BeginReading();
        const uint64_t packetsBefore = source.FramesRead();
        const uint64_t malformedBefore = source.MalformedPackets();
        const auto start = std::chrono::steady_clock::now();
        Loop loop{
            *this,       source,  flags,        writer,
            monitor,     trigger, log,          SilenceWatch(liveAdapter, CoarseMonotonicMs()),
            m_assembler, nullptr, std::nullopt, 0};
        const End end = loop.Run();
        m_figures.packetsRead = source.FramesRead() - packetsBefore;
        m_figures.malformed = source.MalformedPackets() - malformedBefore;
        m_figures.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Kernel drops count from the start of the recording to its end, not beyond.
        if (const auto stats = source.Stats();
            stats && loop.statsAtStart && stats->dropped >= loop.statsAtStart->dropped) {
            m_figures.haveKernelStats = true;
            m_figures.kernelDropped = stats->dropped - loop.statsAtStart->dropped;
        }
        const FrameAssembler::Figures& a = m_assembler.Result();
        m_figures.lostLocally = std::min(m_figures.lostLocally, a.missingUpstream);
        m_figures.missingUpstream = a.missingUpstream - m_figures.lostLocally;
        m_figures.incompleteFrames = a.incomplete;
        m_figures.recordedUs = a.recordedUs;
        m_figures.firstFrameUs = a.firstFrameUs;
        m_figures.awayUs = a.awayUs;
        m_figures.restarts = a.restarts;
        m_figures.notSurveyed = a.notSurveyed;
        m_figures.sourceChanges = a.sourceChanges;
        source.EndReading();
        flags.running = false;
        ended(end);
    });
}

void AssemblyWorker::Join() {
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace quorvex
