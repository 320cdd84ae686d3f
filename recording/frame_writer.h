#pragma once
// The frame writer: owns the frame buffers and the thread that appends every completed frame
// to the recording file, in order, and counts them in the header at least once a second. The
// assembly thread fills the buffer of the frame in progress and hands each completed frame over;
// the writer wakes for it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recording/rgb_file.h"

namespace quorvex {

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

    // Starts the thread. Frames are `frameLength` bytes, appended to `file`.
    FrameWriter(RgbFile& file, uint32_t frameLength, Hooks hooks);
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // The buffer frame `frame` (counted from 1) is assembled in.
    uint8_t* BufferFor(uint32_t frame) { return m_buffers[frame % 2 == 1 ? 0 : 1].data(); }

    // Assembly thread: frames up to `frame` are complete. Returns once the buffer of the next
    // frame may be filled, or false when the writer will take no more (it failed or ends).
    bool FrameCompleted(uint32_t frame);

    // Writes what is complete, ends the thread and waits for it. Idempotent.
    void Finish();

    uint32_t Written() const { return m_written.load(std::memory_order_acquire); }
    uint32_t Completed() const { return m_completed.load(std::memory_order_acquire); }
    bool Failed() const { return m_failed.load(std::memory_order_acquire); }

  private:
    void Run();
    bool WritePending();

    RgbFile& m_file;
    const uint32_t m_frameLength;
    std::chrono::steady_clock::time_point m_lastCheckpoint = std::chrono::steady_clock::now();
    Hooks m_hooks;
    std::vector<uint8_t> m_buffers[2];

    std::atomic<uint32_t> m_completed{0};
    std::atomic<uint32_t> m_written{0};
    std::atomic<bool> m_ending{false};
    std::atomic<bool> m_failed{false};
    std::mutex m_mutex;
    std::condition_variable m_frameReady;  // assembly -> writer
    std::condition_variable m_bufferFree;  // writer -> assembly
    std::thread m_thread;
};

}  // namespace quorvex
