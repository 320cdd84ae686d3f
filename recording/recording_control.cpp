// Recording control: Capture, Pause, Stop, the finish timer and the finish step.

#include <pthread.h>

#include <filesystem>

#include "platform/app_paths.h"
#include "platform/text_format.h"
#include "platform/write_event.h"
#include "recording/quorvex_dlg.h"
#include "recording/rgb_header.h"

namespace quorvex {

namespace {
constexpr char kWorkingFileName[] = "temp.RGB";
}

std::string SummaryLine(const RecordingSummary& s) {
    std::string line = Format("Recording check: %u frames written", s.framesWritten);
    if (s.seconds > 0) {
        line += Format(" in %.1f s (%.1f frames/s)", s.seconds, s.framesWritten / s.seconds);
    }
    line += Format(", %u frames missing upstream", s.missingUpstream);
    if (s.fromFile) {
        line += ", read from a capture file.";
    } else if (s.haveKernelStats) {
        line += Format(", %u packets dropped by the kernel.", s.kernelDropped);
    } else {
        line += ", kernel drops unknown.";
    }
    return line;
}

CQuorvexDlg::CQuorvexDlg(IWindowServices& services) : CQuorvexDlg(services, Options{}) {}

CQuorvexDlg::CQuorvexDlg(IWindowServices& services, Options options)
    : m_pcap(&services), m_services(services), m_options(std::move(options)) {}

CQuorvexDlg::~CQuorvexDlg() { OnDestroy(); }

void CQuorvexDlg::OnDestroy() {
    // Tell every worker to end, and wait until none can touch the buffers or the file.
    m_bCapturing = 0;
    m_bParsing = 0;
    JoinWorkers();
    ReleaseBuffers();
    // No save prompt: the recording stays "temp.RGB", with a header that counts its frames.
    if (m_file.IsOpen()) m_file.FixFrameCountAndClose(m_nWrittenFrame);
}

bool CQuorvexDlg::WorkersRunning() const {
    return m_packetThread.joinable() || m_writerThread.joinable();
}

void CQuorvexDlg::JoinWorkers() {
    if (m_packetThread.joinable()) m_packetThread.join();
    if (m_writerThread.joinable()) m_writerThread.join();
    // A frame completed as the recording was cut short may have missed the writer.
    if (m_file.IsOpen() && m_pData1 && m_nWrittenFrame < m_nFrameCount) {
        if (!WritePendingFrames()) {
            m_services.AppendLog("Writing the recording failed: " + m_file.Error());
        }
    }
}

void CQuorvexDlg::ReleaseBuffers() {
    delete[] m_pData1;
    delete[] m_pData2;
    m_pData1 = nullptr;
    m_pData2 = nullptr;
}

bool CQuorvexDlg::UpdateData(bool saveAndValidate) {
    BoundFields fields{m_strFrameNum, m_nMaxFrames};
    if (!saveAndValidate) {
        m_services.PushFields(fields);
        return true;
    }
    const bool ok = m_services.PullFields(fields);
    m_strFrameNum = fields.frameNum;
    m_nMaxFrames = fields.maxFrames;
    return ok;
}

int CQuorvexDlg::UniversesPerPort() const {
    const int sel = m_services.GetCurSel(ListId::Universes);
    if (sel >= 0 && sel < 8) return sel + 1;
    // Typed into the list's field: a whole number from 1 to 8, nothing else.
    const std::string text = m_services.GetListText(ListId::Universes);
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '8') return text[0] - '0';
    return 0;
}

std::string CQuorvexDlg::WorkingFilePath() const { return m_strRgbDir + "/" + kWorkingFileName; }

bool CQuorvexDlg::EnsureSourceOpen() {
    if (m_pcap.m_bOpen) return true;
    const int sel = m_services.GetCurSel(ListId::Ip);
    if (sel >= 0 && static_cast<size_t>(sel) < m_pcap.m_devices.size()) {
        m_strDevName = m_pcap.m_devices[static_cast<size_t>(sel)].name;
        m_strDevIp = m_pcap.m_devices[static_cast<size_t>(sel)].address;
        // A failed open has told the user why.
        return m_pcap.OpenDevice(m_strDevName);
    }
    m_services.MessageBox("Please choose a network adapter in the IP address list first！");
    return false;
}

void CQuorvexDlg::OnBnClickedCapture() {
    const bool fieldsValid = UpdateData(true);
    if (m_bCapturing) {
        if (m_bPaused) {
            m_bPaused = 0;
            m_services.EnableButton(ButtonId::Parse, false);
            m_services.EnableButton(ButtonId::Capture, false);
            m_services.EnableButton(ButtonId::Pause, true);
            m_services.EnableButton(ButtonId::Stop, true);
        }
        return;
    }
    if (m_bParsing) {
        m_services.MessageBox("Parsing network packets, please start again later！");
        return;
    }
    // The user was just asked to correct Capture Frames: record nothing with a stale value.
    if (!fieldsValid) return;
    if (m_universes.empty()) {
        m_services.MessageBox("Please click the parse button first to parse the data packet！");
        return;
    }
    const int perPort = UniversesPerPort();
    if (perPort == 0) {
        m_services.MessageBox(kUniversesPerPortText);
        return;
    }
    if (!EnsureSourceOpen()) return;
    // From a halted recording: its threads have ended; finish with them.
    JoinWorkers();
    ReleaseBuffers();

    m_strRgbDir = m_options.recordingFolder.empty() ? RecordingFolder() : m_options.recordingFolder;
    EnsureWritableFolder(m_strRgbDir);
    m_layout = ComputeFrameLayout(m_universes, perPort);
    const auto header =
        BuildRgbHeader(m_layout, IcTypeCode(m_services.GetCurSel(ListId::IcType)), m_bRgbw != 0);
    m_nFrameLen = m_layout.frameLength;
    if (!m_file.Create(WorkingFilePath(), header)) {
        m_services.MessageBox("Cannot write the recording file " + WorkingFilePath() + "\n" +
                              m_file.Error());
        return;
    }

    m_bParsing = 0;
    m_bCapturing = 1;
    m_bPaused = 0;
    m_bStopped = 0;
    m_bForceStop = 0;
    m_nFrameCount = 0;
    m_nWrittenFrame = 0;
    const size_t bytes = m_nFrameLen ? m_nFrameLen : 1;
    m_pData1 = new uint8_t[bytes]();
    m_pData2 = new uint8_t[bytes]();
    m_services.AppendLog("Start capture......");
    if (m_nMaxFrames > kMaxRecordedFrames) {
        // More would not fit the header's 16-bit frame count.
        m_services.AppendLog(Format("A recording holds at most %u frames; this one stops there.",
                                    kMaxRecordedFrames));
    }
    m_services.EnableButton(ButtonId::Parse, false);
    m_services.EnableButton(ButtonId::Capture, false);
    m_services.EnableButton(ButtonId::Pause, true);
    m_services.EnableButton(ButtonId::Stop, true);
    g_hWriteEvent.Reset();
    m_packetThread = std::thread([this] {
        pthread_setname_np(pthread_self(), "quorvex-packets");
        PacketLoop();
    });
    m_writerThread = std::thread([this] {
        pthread_setname_np(pthread_self(), "quorvex-writer");
        WriterLoop();
    });
}

void CQuorvexDlg::OnBnClickedPause() {
    m_bPaused = 1;
    m_services.AppendLog("Paused......");
    m_services.EnableButton(ButtonId::Parse, false);
    m_services.EnableButton(ButtonId::Pause, false);
    m_services.EnableButton(ButtonId::Capture, true);
    m_services.EnableButton(ButtonId::Stop, true);
}

void CQuorvexDlg::OnBnClickedStop() {
    if (m_bStopped) return;
    m_bStopped = 1;
    m_bPaused = 0;
    m_services.SetTimer(kTimerFinish);
}

void CQuorvexDlg::OnBnClickedRgbw(bool checked) { m_bRgbw = checked ? 1 : 0; }

void CQuorvexDlg::OnWindowMessage(WindowMessage message) {
    switch (message) {
        case WindowMessage::ParseFinished:
            OnParseFinished();
            break;
        case WindowMessage::FrameWritten:
            OnFrameWritten();
            break;
    }
}

void CQuorvexDlg::OnFrameWritten() {
    m_strFrameNum = Format("%u", m_nWrittenFrame.load());
    UpdateData(false);
}

void CQuorvexDlg::OnTimer(int id) {
    if (id == kTimerAutoSelect) {
        m_services.KillTimer(kTimerAutoSelect);
        AutoSelectAdapter();
        return;
    }
    if (id != kTimerFinish) return;
    if (m_bCapturing) {
        // A stop waits for a frame boundary; when none came by now, end without one.
        if (m_bStopped) m_bForceStop = 1;
        return;
    }
    m_services.KillTimer(kTimerFinish);
    JoinWorkers();
    m_services.EnableButton(ButtonId::Parse, true);
    m_services.EnableButton(ButtonId::Capture, true);
    m_services.EnableButton(ButtonId::Pause, false);
    m_services.EnableButton(ButtonId::Stop, false);
    FinishRecording();
}

RecordingSummary CQuorvexDlg::Summarize() {
    RecordingSummary s;
    s.framesWritten = m_nWrittenFrame;
    s.missingUpstream = m_assembler.MissingUpstream();
    if (m_firstBoundaryUs >= 0 && m_lastBoundaryUs > m_firstBoundaryUs) {
        s.seconds = static_cast<double>(m_lastBoundaryUs - m_firstBoundaryUs) / 1e6;
    }
    s.fromFile = m_pcap.IsFile();
    if (const auto stats = m_pcap.Stats()) {
        s.haveKernelStats = true;
        s.kernelDropped = stats->dropped;
    }
    s.packetsRead = m_loopPackets;
    s.processingSeconds = m_loopSeconds;
    return s;
}

void CQuorvexDlg::FinishRecording() {
    ReleaseBuffers();
    if (!m_file.IsOpen()) {
        // Nothing to save (the file was already closed).
        m_nFrameCount = 0;
        m_nWrittenFrame = 0;
        return;
    }
    m_lastSummary = Summarize();
    m_services.AppendLog(SummaryLine(m_lastSummary));
    const auto chosen = m_services.AskSavePath(DefaultSaveName(m_nSceneNo));
    if (chosen && !chosen->empty()) {
        SaveRecording(*chosen);
    } else {
        // Abandoned: the file stays "temp.RGB", still a whole recording.
        m_file.FixFrameCountAndClose(m_nWrittenFrame);
    }
    m_nFrameCount = 0;
    m_nWrittenFrame = 0;
}

void CQuorvexDlg::SaveRecording(const std::string& chosenPath) {
    const std::string working = WorkingFilePath();
    if (!m_file.FixFrameCountAndClose(m_nWrittenFrame)) {
        m_services.MessageBox("The recording could not be finished (" + m_file.Error() +
                              ").\nIt was kept as \"temp.RGB\": " + working);
        return;
    }
    const std::string final = FinalRgbName(chosenPath);
    std::error_code ec;
    if (std::filesystem::equivalent(working, final, ec)) {
        ++m_nSceneNo;
        m_services.AppendLog("Saved: " + final);
        return;
    }
    const std::string error = MoveFile(working, final);
    if (!error.empty()) {
        m_services.MessageBox("The recording could not be saved as " + final + " (" + error +
                              ").\nIt was kept as \"temp.RGB\": " + working);
        return;
    }
    ++m_nSceneNo;
    m_services.AppendLog("Saved: " + final);
}

}  // namespace quorvex

namespace quorvex {

void CQuorvexDlg::OnInitDialog() {
    UpdateData(false);

    m_icTypes = {"DMX512", "SPI&TTL", "TM1814"};
    m_services.ResetContent(ListId::IcType);
    for (const std::string& t : m_icTypes) m_services.AddString(ListId::IcType, t);
    m_services.SetCurSel(ListId::IcType, 1);

    FillAdapterList();

    m_services.ResetContent(ListId::Universes);
    for (int i = 1; i <= 8; ++i) m_services.AddString(ListId::Universes, std::to_string(i));
    m_services.SetCurSel(ListId::Universes, 5);

    m_services.EnableButton(ButtonId::Parse, true);
    m_services.EnableButton(ButtonId::Capture, true);
    m_services.EnableButton(ButtonId::Pause, false);
    m_services.EnableButton(ButtonId::Stop, false);

    m_adapterInfo.Fill();
    m_services.SetTimer(kTimerAutoSelect);
}

}  // namespace quorvex
