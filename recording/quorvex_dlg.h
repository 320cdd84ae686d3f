#pragma once
// The logic behind the main window: the Parse, Capture, Pause and Stop commands, the
// survey and recording threads, the writer thread and the finish step. It talks to the
// window only through IWindowServices, so the Qt window, the command-line recorder and
// the tests drive the same code.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/frame_assembler.h"
#include "analysis/universe_survey.h"
#include "analysis/universe_table.h"
#include "capture/adapter_info.h"
#include "capture/win_pcap.h"
#include "platform/window_services.h"
#include "recording/frame_layout.h"
#include "recording/rgb_file.h"

namespace quorvex {

// Asked for when the Universes/Port list holds no usable number.
inline constexpr char kUniversesPerPortText[] =
    "Universes/Port must be a whole number from 1 to 8！";

// Figures of one recording, for the line that tells the user whether it is whole.
struct RecordingSummary {
    uint32_t framesWritten = 0;
    double seconds = 0;  // from the first to the last frame boundary, by packet timestamps
    uint32_t missingUpstream = 0;
    bool fromFile = false;
    bool haveKernelStats = false;
    uint32_t kernelDropped = 0;
    // How fast the recording thread went: frames it pulled from the source, and the time
    // from the start of its loop to its end.
    uint64_t packetsRead = 0;
    double processingSeconds = 0;
};
std::string SummaryLine(const RecordingSummary& s);

class CQuorvexDlg : public IWindowTarget {
  public:
    struct Options {
        std::string recordingFolder;  // empty: the usual RGBFiles folder
        // Called on the writer thread before each frame is written (tests slow it down).
        std::function<void(uint32_t frame)> beforeFrameWrite;
    };

    explicit CQuorvexDlg(IWindowServices& services);
    CQuorvexDlg(IWindowServices& services, Options options);
    ~CQuorvexDlg() override;
    CQuorvexDlg(const CQuorvexDlg&) = delete;
    CQuorvexDlg& operator=(const CQuorvexDlg&) = delete;

    // Fills the lists, sets the buttons and arms the adapter pre-selection timer.
    void OnInitDialog();
    // Window closing: stops and waits for the workers, releases the buffers, keeps the
    // working file as "temp.RGB".
    void OnDestroy();

    // Commands.
    void OnBnClickedParse();
    void OnBnClickedCapture();
    void OnBnClickedPause();
    void OnBnClickedStop();  // also the Alt+F9 hot key
    void OnBnClickedRgbw(bool checked);
    void OnCbnSelchangeIp();
    int AutoSelectAdapter();

    // Window delivery.
    void OnWindowMessage(WindowMessage message) override;
    void OnTimer(int id) override;
    void OnParseFinished();
    void OnFrameWritten();
    void ReportSurvey();
    void FinishRecording();

    // Data exchange of the two bound fields.
    bool UpdateData(bool saveAndValidate);

    // Universes per port from the list: its selection, or a typed 1..8; 0 when invalid.
    int UniversesPerPort() const;
    // Path of the working file ("temp.RGB" in the recording folder).
    std::string WorkingFilePath() const;
    // True while a survey or recording thread runs.
    bool WorkersRunning() const;
    // The figures of the recording finished last.
    const RecordingSummary& LastSummary() const { return m_lastSummary; }

    // Run-time state. Flags and counters are shared with the worker threads.
    CWinPcap m_pcap;
    CAdapterInfo m_adapterInfo;
    std::string m_strDevName;
    std::string m_strDevIp;
    std::vector<std::string> m_icTypes;
    uint8_t m_packet[kArtRecordSize] = {};
    uint8_t* m_pData1 = nullptr;
    uint8_t* m_pData2 = nullptr;
    std::atomic<int> m_bCapturing{0};
    std::atomic<int> m_bPaused{0};
    std::atomic<int> m_bStopped{1};
    std::atomic<int> m_bParsing{0};
    std::atomic<int> m_bRgbw{0};
    UniverseTable m_universes;
    std::string m_strRgbDir;
    RgbFile m_file;
    uint32_t m_nFrameLen = 0;
    std::atomic<uint32_t> m_nFrameCount{0};
    std::atomic<uint32_t> m_nWrittenFrame{0};
    int m_nSceneNo = 1;
    std::string m_strFrameNum;
    std::atomic<uint32_t> m_nMaxFrames{200};
    PortLayout m_layout;

  private:
    void FillAdapterList();
    void PacketLoop();
    void CaptureLoop();
    void SurveyLoop();
    void WriterLoop();
    bool WritePendingFrames();
    bool WaitForBuffer(uint32_t completed);
    void EndAtSourceEnd();
    bool EnsureSourceOpen();
    void JoinWorkers();
    void ReleaseBuffers();
    void SaveRecording(const std::string& chosenPath);
    RecordingSummary Summarize();

    IWindowServices& m_services;
    Options m_options;
    UniverseSurvey m_survey{m_universes};
    FrameAssembler m_assembler;
    std::thread m_packetThread;
    std::thread m_writerThread;

    // Writer to assembler: a buffer was written and may be refilled.
    std::mutex m_writtenMutex;
    std::condition_variable m_writtenCv;
    // Set by the finish timer when a stop found no frame boundary to act on.
    std::atomic<int> m_bForceStop{0};
    std::atomic<uint32_t> m_missingUpstream{0};
    // Packet timestamps (microseconds) of the first and last frame boundary.
    std::atomic<int64_t> m_firstBoundaryUs{-1};
    std::atomic<int64_t> m_lastBoundaryUs{-1};
    // Written by the recording thread, read after it has been joined.
    uint64_t m_loopPackets = 0;
    double m_loopSeconds = 0;
    RecordingSummary m_lastSummary;
};

}  // namespace quorvex
