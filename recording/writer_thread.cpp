// The writer thread: appends every completed frame to the recording file, in order.

#include <chrono>
#include <thread>

#include "platform/write_event.h"
#include "recording/quorvex_dlg.h"

namespace quorvex {

namespace {
// How often a waiting thread looks again before it sleeps (each look yields the processor).
constexpr int kSpinRounds = 200;
}  // namespace

void CQuorvexDlg::WriterLoop() {
    bool ok = true;
    while (ok && m_bCapturing) {
        // Frames come close together when a file is read: look again briefly before sleeping,
        // which saves a wake-up per frame.
        for (int spin = 0; spin < kSpinRounds && m_nWrittenFrame == m_nFrameCount; ++spin) {
            std::this_thread::yield();
        }
        if (m_nWrittenFrame == m_nFrameCount) {
            g_hWriteEvent.WaitFor(std::chrono::milliseconds(10));
        }
        // Reset before looking at the count: a frame completed after this point sets the
        // event again, and every frame up to the count is written, so none is skipped.
        g_hWriteEvent.Reset();
        ok = WritePendingFrames();
    }
    // Frames completed just before the recording ended.
    if (ok) ok = WritePendingFrames();
    if (!ok) {
        m_services.AppendLog("Writing the recording failed: " + m_file.Error());
        m_bStopped = 1;
        m_bPaused = 0;
        if (m_bCapturing.exchange(0)) m_services.AppendLog("Stopped！");
        m_services.SetTimer(kTimerFinish);
    }
    { std::lock_guard lock(m_writtenMutex); }
    m_writtenCv.notify_all();
}

bool CQuorvexDlg::WritePendingFrames() {
    for (uint32_t k = m_nWrittenFrame + 1; k <= m_nFrameCount; ++k) {
        const uint8_t* frame = (k % 2 == 1) ? m_pData1 : m_pData2;
        if (m_options.beforeFrameWrite) m_options.beforeFrameWrite(k);
        if (!m_file.AppendFrame(frame, m_nFrameLen)) return false;
        {
            std::lock_guard lock(m_writtenMutex);
            m_nWrittenFrame = k;
        }
        m_writtenCv.notify_all();
        m_services.PostMessage(WindowMessage::FrameWritten);
    }
    return true;
}

bool CQuorvexDlg::WaitForBuffer(uint32_t completed) {
    // Frame completed+1 reuses the buffer of frame completed-1: it must be on disk first.
    if (completed < 2 || m_nWrittenFrame >= completed - 1) return true;
    for (int spin = 0; spin < kSpinRounds; ++spin) {
        std::this_thread::yield();
        if (m_nWrittenFrame >= completed - 1) return true;
    }
    std::unique_lock lock(m_writtenMutex);
    while (m_nWrittenFrame < completed - 1) {
        if (!m_bCapturing) return false;
        m_writtenCv.wait_for(lock, std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace quorvex
