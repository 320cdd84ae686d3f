#include "recording/frame_writer.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <new>

#include "platform/text_format.h"
#include "platform/texts.h"
#include "recording/rgb_format.h"

namespace quorvex {

namespace {
// How often the assembly thread looks again for a free slot before it sleeps (each look
// yields the processor).
constexpr int kSpinRounds = 200;
// The writer sleeps until a batch is waiting, or this long: a live show's few frames a
// second wait no longer than this, and a file's many frames cost one wake-up per batch.
constexpr auto kWaitSlice = std::chrono::milliseconds(10);
// A crash loses at most about this much of a recording.
constexpr auto kCheckpointEvery = std::chrono::seconds(1);
// Frames that wait together go to the file in one call, up to about this much.
constexpr size_t kBatchFrames = 64;
constexpr size_t kBatchBytes = size_t{1} << 20;
// Frames waiting that wake the writer: few enough that their slots stay in the cache.
constexpr size_t kWakeBytes = size_t{256} << 10;
}  // namespace

uint32_t FrameWriter::QueueFrames(uint32_t frameLength, uint64_t queueBytes) {
    const uint64_t frames = queueBytes / std::max<uint32_t>(frameLength, 1);
    // A queue longer than a recording can hold would never fill.
    return static_cast<uint32_t>(std::clamp<uint64_t>(frames, 2, kMaxRecordedFrames + 1ull));
}

Result<std::unique_ptr<FrameWriter>> FrameWriter::Create(RgbFile& file, uint32_t frameLength,
                                                         uint64_t queueBytes, Hooks hooks) {
    const uint32_t capacity = QueueFrames(frameLength, queueBytes);
    const size_t bytes = static_cast<size_t>(capacity) * std::max<uint32_t>(frameLength, 1);
    // Not value-initialised: a page is committed only once a frame waits in it.
    std::unique_ptr<uint8_t[]> queue(new (std::nothrow) uint8_t[bytes]);
    if (!queue) {
        return Fail(Format(Tr("Cannot reserve %zu MB for the frame buffer; choose a smaller one."),
                           (bytes + (1u << 20) - 1) >> 20));
    }
    return std::unique_ptr<FrameWriter>(
        new FrameWriter(file, frameLength, capacity, std::move(queue), std::move(hooks)));
}

FrameWriter::FrameWriter(RgbFile& file, uint32_t frameLength, uint32_t capacity,
                         std::unique_ptr<uint8_t[]> queue, Hooks hooks)
    : m_file(file),
      m_frameLength(frameLength),
      m_capacity(capacity),
      m_hooks(std::move(hooks)),
      m_zeros(std::make_unique<uint8_t[]>(std::max<uint32_t>(frameLength, 1))),
      m_queue(std::move(queue)),
      m_slotOf(new uint32_t[capacity]),
      m_free(new uint32_t[capacity]) {
    m_frame = Slot(0);
    m_previous = m_zeros.get();
    // A batch, but never so many that a full queue would not wake the writer.
    m_wakeFrames = std::clamp<uint32_t>(
        static_cast<uint32_t>(kWakeBytes / std::max<uint32_t>(frameLength, 1)), 1,
        std::min<uint32_t>(kBatchFrames, std::max<uint32_t>(capacity / 2, 1)));
    m_thread = std::thread([this] {
        pthread_setname_np(pthread_self(), "quorvex-writer");
        Run();
    });
}

FrameWriter::~FrameWriter() { Finish(); }

void FrameWriter::TakeSlot() {
    // The one place that decides which slot a frame is assembled in. Slots of the frames
    // written since the last look are free again; the one freed last is taken first (it is
    // still in the cache), and a slot never used only when none is free, so that a writer
    // that keeps up reuses a few slots and the rest of the queue is never touched.
    for (const uint32_t written = Written(); m_reclaimed < written;) {
        ++m_reclaimed;
        m_free[m_freeCount++] = m_slotOf[m_reclaimed % m_capacity];
    }
    m_slot = m_freeCount ? m_free[--m_freeCount] : m_untouched++;
    m_frame = Slot(m_slot);
}

bool FrameWriter::FrameCompleted(uint32_t frame) {
    const auto refused = [&] { return Failed() || m_ending.load(std::memory_order_acquire); };
    if (refused()) return false;
    m_slotOf[frame % m_capacity] = m_slot;
    m_completed.store(frame);
    const uint32_t queued = frame - Written();
    if (queued > m_peakQueued.load(std::memory_order_relaxed)) {
        m_peakQueued.store(queued, std::memory_order_relaxed);
    }
    if (queued >= m_wakeFrames) WakeWriter();
    m_previous = m_frame;

    // The next frame needs a slot no completed frame waits in.
    const uint32_t next = frame + 1;
    const auto room = [&] { return next - Written() <= m_capacity; };
    if (!room()) {
        for (int spin = 0; spin < kSpinRounds && !room(); ++spin) std::this_thread::yield();
        std::unique_lock lock(m_mutex);
        while (!room()) {
            if (refused()) return false;
            m_assemblyAsleep.store(true);
            m_slotFree.wait_for(lock, kWaitSlice, [&] { return room() || refused(); });
            m_assemblyAsleep.store(false);
        }
    }
    TakeSlot();
    return true;
}

void FrameWriter::WakeWriter() {
    // Sequentially consistent with the sleeper's flag and check: one of the two sees the other.
    if (!m_writerAsleep.load()) return;
    { std::lock_guard lock(m_mutex); }
    m_frameReady.notify_one();
}

void FrameWriter::Run() {
    const auto ending = [&] { return m_ending.load(std::memory_order_acquire); };
    for (;;) {
        if (!ending()) {
            std::unique_lock lock(m_mutex);
            m_writerAsleep.store(true);
            m_frameReady.wait_for(lock, kWaitSlice, [&] {
                return ending() || Completed() - Written() >= m_wakeFrames;
            });
            m_writerAsleep.store(false);
        }
        if (!WritePending()) break;
        if (ending()) {
            // Frames completed just before the end.
            WritePending();
            break;
        }
    }
    { std::lock_guard lock(m_mutex); }
    m_slotFree.notify_all();
}

bool FrameWriter::WritePending() {
    if (Failed()) return false;
    const uint32_t last = Completed();
    // A test's hook sees each frame before it is written, so frames then go one at a time.
    const size_t most = m_hooks.beforeWrite ? 1 : kBatchFrames;
    for (uint32_t first = Written() + 1; first <= last;) {
        const uint8_t* batch[kBatchFrames];
        size_t count = 0;
        while (first + count <= last && count < most &&
               (count + 1) * m_frameLength <= std::max<size_t>(kBatchBytes, m_frameLength)) {
            batch[count] = Slot(m_slotOf[(first + count) % m_capacity]);
            ++count;
        }
        if (m_hooks.beforeWrite) m_hooks.beforeWrite(first);
        size_t whole = 0;
        Status appended = m_file.AppendFrames(batch, count, m_frameLength, &whole);
        const uint32_t done = first + static_cast<uint32_t>(whole) - 1;
        const auto now = std::chrono::steady_clock::now();
        if (appended && now - m_lastCheckpoint >= kCheckpointEvery) {
            appended = m_file.Checkpoint(done);
            m_lastCheckpoint = now;
        }
        if (whole) {
            m_written.store(done);
            if (m_assemblyAsleep.load()) {
                { std::lock_guard lock(m_mutex); }
                m_slotFree.notify_all();
            }
        }
        if (!appended) {
            m_failed.store(true, std::memory_order_release);
            if (m_hooks.failed) m_hooks.failed(appended.error());
            return false;
        }
        if (m_hooks.written) m_hooks.written(done);
        first = done + 1;
    }
    return true;
}

void FrameWriter::Finish() {
    {
        std::lock_guard lock(m_mutex);
        m_ending.store(true, std::memory_order_release);
    }
    m_frameReady.notify_one();
    m_slotFree.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace quorvex
