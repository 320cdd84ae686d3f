#pragma once
// The frame writer: owns the queue of frames and the thread that appends completed frames to
// the recording file, in order, and counts them in the header at least once a second. The
// assembly thread fills the frame in progress, a slot of the queue; at each boundary the frame
// is handed over and the next slot taken, so the assembly thread waits for the disk only when
// the queue is full.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/result.h"
#include "recording/rgb_file.h"

namespace quorvex {

// The queue of frames waiting for the disk, in MiB, unless the user chooses otherwise.
inline constexpr int kDefaultFrameBufferMb = 256;

class FrameWriter {
  public:
    struct Hooks {
        // Before frame `frame` is written (tests slow the writer down with it).
        std::function<void(uint32_t frame)> beforeWrite;
        // After frame `frame` is on its way to the disk.
        std::function<void(uint32_t frame)> written;
        // The file could not be written; nothing more will be.
        std::function<void(const std::string& reason)> failed;
    };

    // Frames a queue of `queueBytes` holds: never fewer than two, never more than a recording.
    static uint32_t QueueFrames(uint32_t frameLength, uint64_t queueBytes);

    // Reserves the queue (its memory is used only as frames wait in it) and starts the
    // thread. Frames are `frameLength` bytes, appended to `file`.
    static Result<std::unique_ptr<FrameWriter>> Create(RgbFile& file, uint32_t frameLength,
                                                       uint64_t queueBytes, Hooks hooks);
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // Assembly thread: the frame in progress, and the frame completed before it (all zeros
    // before the first). The previous frame stays as it is until the next FrameCompleted.
    uint8_t* Frame() { return m_frame; }
    const uint8_t* PreviousFrame() const { return m_previous; }

    // Assembly thread: the frame in progress is complete as frame `frame` (counted from 1):
    // it is queued for the file and the next frame in progress is taken. Waits only while the
    // queue is full; false when the writer will take no more (it failed or ends).
    bool FrameCompleted(uint32_t frame);

    // Writes what is complete, ends the thread and waits for it. Idempotent.
    void Finish();

    uint32_t Written() const { return m_written.load(); }
    uint32_t Completed() const { return m_completed.load(); }
    bool Failed() const { return m_failed.load(std::memory_order_acquire); }
    // Every completed frame is written, or none will be any more.
    bool Drained() const { return Failed() || Written() >= Completed(); }
    uint32_t QueueCapacity() const { return m_capacity; }
    // The most frames that waited for the disk at once.
    uint32_t PeakQueued() const { return m_peakQueued.load(std::memory_order_relaxed); }

  private:
    FrameWriter(RgbFile& file, uint32_t frameLength, uint32_t capacity,
                std::unique_ptr<uint8_t[]> queue, Hooks hooks);
    uint8_t* Slot(uint32_t slot) const {
        return m_queue.get() + static_cast<size_t>(slot) * m_frameLength;
    }
    void TakeSlot();
    void Run();
    bool WritePending();
    void WakeWriter();
    uint32_t m_wakeFrames = 1;  // frames waiting that wake the writer before its time slice

    RgbFile& m_file;
    const uint32_t m_frameLength;
    const uint32_t m_capacity;  // frames the queue holds
    std::chrono::steady_clock::time_point m_lastCheckpoint = std::chrono::steady_clock::now();
    Hooks m_hooks;
    std::unique_ptr<uint8_t[]> m_zeros;  // the frame before the first
    std::unique_ptr<uint8_t[]> m_queue;
    // Slot of frame k at k % capacity; written before the frame is published.
    std::unique_ptr<uint32_t[]> m_slotOf;
    // Assembly thread only: free slots, the one freed last on top.
    std::unique_ptr<uint32_t[]> m_free;
    uint32_t m_freeCount = 0;
    uint32_t m_untouched = 1;  // slots from here on were never used
    uint32_t m_reclaimed = 0;  // frames whose slots are back on the free list
    uint32_t m_slot = 0;       // of the frame in progress
    uint8_t* m_frame = nullptr;
    const uint8_t* m_previous = nullptr;

    std::atomic<uint32_t> m_completed{0};
    std::atomic<uint32_t> m_written{0};
    std::atomic<uint32_t> m_peakQueued{0};
    std::atomic<bool> m_ending{false};
    std::atomic<bool> m_failed{false};
    // A thread about to sleep says so first; the other wakes it only then.
    std::atomic<bool> m_writerAsleep{false};
    std::atomic<bool> m_assemblyAsleep{false};
    std::mutex m_mutex;
    std::condition_variable m_frameReady;  // assembly -> writer
    std::condition_variable m_slotFree;    // writer -> assembly
    std::thread m_thread;
};

}  // namespace quorvex
