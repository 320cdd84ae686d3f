#include "recording/frame_writer.h"

#include <pthread.h>

#include <chrono>

namespace quorvex {

namespace {
// How often a waiting thread looks again before it sleeps (each look yields the processor).
// Frames come close together when a file is read: this saves a wake-up per frame.
constexpr int kSpinRounds = 200;
constexpr auto kWaitSlice = std::chrono::milliseconds(10);
// A crash loses at most about this much of a recording.
constexpr auto kCheckpointEvery = std::chrono::seconds(1);
}  // namespace

FrameWriter::FrameWriter(RgbFile& file, uint32_t frameLength, Hooks hooks)
    : m_file(file), m_frameLength(frameLength), m_hooks(std::move(hooks)) {
    const size_t bytes = frameLength ? frameLength : 1;
    m_buffers[0].assign(bytes, 0);
    m_buffers[1].assign(bytes, 0);
    m_thread = std::thread([this] {
        pthread_setname_np(pthread_self(), "quorvex-writer");
        Run();
    });
}

FrameWriter::~FrameWriter() { Finish(); }

bool FrameWriter::FrameCompleted(uint32_t frame) {
    {
        std::lock_guard lock(m_mutex);
        m_completed.store(frame, std::memory_order_release);
    }
    m_frameReady.notify_one();
    // Frame frame+1 reuses the buffer of frame-1: it must be written first.
    const auto freed = [&] { return frame < 2 || Written() >= frame - 1; };
    if (freed()) return true;
    for (int spin = 0; spin < kSpinRounds; ++spin) {
        std::this_thread::yield();
        if (freed()) return true;
    }
    std::unique_lock lock(m_mutex);
    while (!freed()) {
        if (Failed() || m_ending.load(std::memory_order_acquire)) return false;
        m_bufferFree.wait_for(lock, kWaitSlice);
    }
    return true;
}

void FrameWriter::Run() {
    const auto pending = [&] { return Written() < Completed(); };
    for (;;) {
        for (int spin = 0; spin < kSpinRounds && !pending(); ++spin) std::this_thread::yield();
        {
            std::unique_lock lock(m_mutex);
            m_frameReady.wait_for(lock, kWaitSlice, [&] {
                return pending() || m_ending.load(std::memory_order_acquire);
            });
        }
        if (!WritePending()) break;
        if (m_ending.load(std::memory_order_acquire)) {
            // Frames completed just before the end.
            WritePending();
            break;
        }
    }
    { std::lock_guard lock(m_mutex); }
    m_bufferFree.notify_all();
}

bool FrameWriter::WritePending() {
    if (Failed()) return false;
    for (uint32_t k = Written() + 1; k <= Completed(); ++k) {
        if (m_hooks.beforeWrite) m_hooks.beforeWrite(k);
        Status appended = m_file.AppendFrame(BufferFor(k), m_frameLength);
        const auto now = std::chrono::steady_clock::now();
        if (appended && now - m_lastCheckpoint >= kCheckpointEvery) {
            appended = m_file.Checkpoint(k);
            m_lastCheckpoint = now;
        }
        if (!appended) {
            m_failed.store(true, std::memory_order_release);
            if (m_hooks.failed) m_hooks.failed(appended.error());
            return false;
        }
        {
            std::lock_guard lock(m_mutex);
            m_written.store(k, std::memory_order_release);
        }
        m_bufferFree.notify_all();
        if (m_hooks.written) m_hooks.written(k);
    }
    return true;
}

void FrameWriter::Finish() {
    {
        std::lock_guard lock(m_mutex);
        m_ending.store(true, std::memory_order_release);
    }
    m_frameReady.notify_one();
    m_bufferFree.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace quorvex
