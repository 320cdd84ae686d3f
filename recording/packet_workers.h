#pragma once
// The two packet workers: the survey behind Parse, and the frame assembly of a recording.
// Each reads the packet source on a thread of its own and tells how it ended.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "analysis/frame_assembler.h"
#include "analysis/input_monitor.h"
#include "analysis/start_trigger.h"
#include "analysis/universe_survey.h"
#include "capture/packet_source.h"
#include "platform/text_catalogue.h"
#include "recording/frame_writer.h"

namespace quorvex {

using LogLine = std::function<void(const std::string& line)>;

inline constexpr const char* kStoppedText = TrLater("Stopped！");

// Flags the control thread shares with the recording thread, read at each packet.
struct RecordingFlags {
    std::atomic<bool> running{false};  // the recording thread is in its loop
    std::atomic<bool> paused{false};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> forceStop{false};  // a stop that met no frame boundary by the tick
    std::atomic<uint32_t> maxFrames{200};
    std::atomic<int64_t> maxRecordedUs{0};  // recorded show time that ends it; 0: none
    std::atomic<bool> triggerArmed{false};  // waiting for the start trigger
};

// Every ArtDmx packet a worker reads goes to the live input view.
void ObserveRecord(InputMonitor& monitor, const PacketSource& source, const uint8_t* record,
                   uint16_t length);

// Reads a live adapter while neither Parse nor a recording does, for the live input view.
class MonitorWorker {
  public:
    ~MonitorWorker() { Stop(); }
    void Start(PacketSource& source, InputMonitor& monitor);
    void Stop();
    bool Running() const { return m_thread.joinable(); }

  private:
    std::atomic<bool> m_active{false};
    std::thread m_thread;
};

class SurveyWorker {
  public:
    ~SurveyWorker() { Cancel(); }

    // Fills `survey`'s table with the universes of one whole frame from `source`; calls
    // `ended` on the worker thread when it has (or the source ended), but not after Cancel.
    // `liveAdapter` names the device a live source reads: the log tells that Parse waits on
    // it, and after `hintMs` without a whole frame, what arrives instead. Empty for a file.
    void Start(PacketSource& source, UniverseSurvey& survey, InputMonitor& monitor,
               std::string liveAdapter, int hintMs, LogLine log, std::function<void()> ended);
    void Cancel();
    void Join();
    bool Running() const { return m_thread.joinable(); }

  private:
    std::atomic<bool> m_active{false};
    std::thread m_thread;
};

class AssemblyWorker {
  public:
    enum class End {
        AtStop,       // a stop took effect, at a frame boundary or forced by the tick
        AtLimit,      // the frame limit was reached
        SourceEnded,  // the end of a capture file, or a failed device
        Halted,       // an error in the data: nothing is counted until Stop
        Abandoned,    // told to end from outside (closing), or the writer gave up
    };

    struct Figures {
        uint32_t missingUpstream = 0;  // frames the sender did not send
        uint32_t lostLocally = 0;      // frames lost on this machine (the kernel dropped them)
        uint32_t incompleteFrames = 0;
        int64_t recordedUs = 0;    // time the counted frames span, by packet timestamps
        int64_t firstFrameUs = 0;  // capture time the first counted frame began; 0: none
        int64_t awayUs = 0;        // the sender's silences of a second or more, and restarts
        uint32_t restarts = 0;
        uint32_t notSurveyed = 0;  // universes that arrived but were not found by Parse
        uint32_t sourceChanges = 0;
        uint64_t malformed = 0;  // packets whose length was impossible
        bool haveKernelStats = false;
        uint32_t kernelDropped = 0;  // from the start of the recording to its end
        uint64_t packetsRead = 0;
        double seconds = 0;  // from the start of the loop to its end
    };

    ~AssemblyWorker() { Join(); }

    // Runs the recording loop; `flags.running` must be set. `liveAdapter` names the device a
    // live source reads, whose silence is told in the log; empty for a capture file. `framing`
    // tells where frames end, as the survey found. `trigger`
    // holds back the first frame until it fires (when armed). Calls `ended` on the worker
    // thread as it leaves, once `flags.running` is clear.
    void Start(PacketSource& source, const UniverseTable& table, uint32_t frameLength,
               RecordingFlags& flags, FrameWriter& writer, InputMonitor& monitor,
               TriggerWatch& trigger, const Framing& framing, std::string liveAdapter, LogLine log,
               std::function<void(End)> ended);
    void Join();
    bool Running() const { return m_thread.joinable(); }
    // Valid after Join.
    const Figures& Result() const { return m_figures; }
    // Any thread: the time the frames completed so far span, pauses left out.
    double RecordedSeconds() const {
        return static_cast<double>(m_recordedUs.load(std::memory_order_relaxed)) / 1e6;
    }

  private:
    struct Loop;

    FrameAssembler m_assembler;
    const UniverseTable* m_table = nullptr;
    uint32_t m_frameLength = 0;
    Framing m_framing;
    Figures m_figures;
    std::atomic<int64_t> m_recordedUs{0};
    std::thread m_thread;
};

}  // namespace quorvex
