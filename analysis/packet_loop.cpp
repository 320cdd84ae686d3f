// The packet worker: the universe survey behind Parse and the frame assembly of a recording.

#include <algorithm>
#include <chrono>

#include "capture/art_packet.h"
#include "platform/text_format.h"
#include "platform/write_event.h"
#include "recording/quorvex_dlg.h"
#include "recording/rgb_header.h"

namespace quorvex {

namespace {
constexpr char kStopped[] = "Stopped！";

int64_t MicrosOf(const pcap_pkthdr* h) {
    return h ? static_cast<int64_t>(h->ts.tv_sec) * 1000000 + h->ts.tv_usec : -1;
}
}  // namespace

void CQuorvexDlg::OnBnClickedParse() {
    if (m_bCapturing) {
        m_services.MessageBox("Currently Capturing , please stop and try！");
        return;
    }
    // Two surveys must not read one capture source at once.
    if (m_bParsing) {
        m_services.MessageBox("Parsing network packets, please wait for the result！");
        return;
    }
    if (!EnsureSourceOpen()) return;
    JoinWorkers();
    m_bParsing = 1;
    m_packetThread = std::thread([this] { PacketLoop(); });
}

void CQuorvexDlg::PacketLoop() {
    m_pcap.BeginReading();
    if (m_bCapturing) CaptureLoop();
    if (m_bParsing) SurveyLoop();
    m_pcap.EndReading();
}

void CQuorvexDlg::SurveyLoop() {
    m_survey.Reset();
    m_pcap.Drain();
    while (m_bParsing) {
        uint16_t length = 0;
        const int r = m_pcap.ReadArtPacket(m_packet, &length);
        if (r == kArtNone && m_pcap.SourceEnded()) {
            // Nothing more will come: report what was found.
            const std::string reason = m_pcap.EndReason();
            if (!reason.empty()) m_services.AppendLog("Capture error: " + reason);
            break;
        }
        if (r != kArtDmx) continue;
        if (m_survey.Feed(m_packet, length)) break;
    }
    if (m_bParsing.exchange(0)) m_services.PostMessage(WindowMessage::ParseFinished);
}

void CQuorvexDlg::CaptureLoop() {
    // Throughput figures, taken however the loop ends.
    struct Timing {
        CQuorvexDlg& dlg;
        const uint64_t packets = dlg.m_pcap.FramesRead();
        const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
        ~Timing() {
            dlg.m_loopPackets = dlg.m_pcap.FramesRead() - packets;
            dlg.m_loopSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    } timing{*this};
    m_assembler.Start(&m_universes, m_nFrameLen, m_pData1, m_pData2);
    m_nFrameCount = 0;
    m_firstBoundaryUs = -1;
    m_lastBoundaryUs = -1;
    m_pcap.Drain();
    while (m_bCapturing) {
        if (m_bForceStop) {
            // A stop that met no frame boundary: the frame in progress is not counted.
            m_bCapturing = 0;
            m_services.AppendLog(kStopped);
            return;
        }
        uint16_t length = 0;
        const int r = m_pcap.ReadArtPacket(m_packet, &length);
        if (r != kArtDmx) {
            if (r == kArtNone && m_pcap.SourceEnded()) {
                EndAtSourceEnd();
                return;
            }
            continue;
        }

        const bool wasSeen = m_assembler.BoundarySeen();
        const uint32_t before = m_assembler.FrameCount();
        const auto boundary =
            m_assembler.Classify(RecordSequence(m_packet), m_bPaused, m_bStopped,
                                 std::min<uint32_t>(m_nMaxFrames, kMaxRecordedFrames));
        // Timestamps of the start of frame 1 and of the end of the last counted frame.
        if (!wasSeen && m_assembler.BoundarySeen()) m_firstBoundaryUs = MicrosOf(m_pcap.m_pHeader);
        if (boundary == FrameAssembler::Boundary::NewFrame) {
            m_lastBoundaryUs = MicrosOf(m_pcap.m_pHeader);
        }
        switch (boundary) {
            case FrameAssembler::Boundary::Drop:
                continue;
            case FrameAssembler::Boundary::Stop:
                m_bCapturing = 0;
                m_services.AppendLog(kStopped);
                return;
            case FrameAssembler::Boundary::Limit:
                m_bCapturing = 0;
                m_bStopped = 1;
                m_services.AppendLog(kStopped);
                m_services.SetTimer(kTimerFinish);
                return;
            case FrameAssembler::Boundary::NewFrame:
                m_nFrameCount = before + 1;
                g_hWriteEvent.Set();
                if (!WaitForBuffer(before + 1)) return;
                break;
            case FrameAssembler::Boundary::Continue:
                break;
        }

        const auto placed = m_assembler.Place(m_packet, length);
        if (placed.warning == FrameAssembler::Warning::NotSurveyed) {
            m_services.AppendLog(Format(
                "Universe %d was not found by Parse; its data is not recorded.", placed.universe));
        } else if (placed.warning == FrameAssembler::Warning::Truncated) {
            m_services.AppendLog(Format(
                "Universe %d sends %d bytes, more than the %d found by Parse; the rest is not "
                "recorded.",
                placed.universe, placed.recordLength - 8, placed.slotLength));
        }
        if (placed.placement == FrameAssembler::Placement::OutOfRange) {
            m_services.AppendLog(Format("Universe num:%d, out of range！", placed.universe));
            m_bCapturing = 0;
            m_services.AppendLog(kStopped);
            return;
        }
        if (placed.placement == FrameAssembler::Placement::ReceiveError) {
            m_services.AppendLog(Format("pos:%u,len:%d", placed.position, placed.recordLength));
            m_services.AppendLog("Receive error!");
            m_bCapturing = 0;
            m_services.AppendLog(kStopped);
            return;
        }
    }
}

void CQuorvexDlg::EndAtSourceEnd() {
    // The end of a capture file (or a failed device) ends the recording as Stop would.
    const std::string reason = m_pcap.EndReason();
    if (!reason.empty()) m_services.AppendLog("Capture error: " + reason);
    m_bStopped = 1;
    m_bPaused = 0;
    m_bCapturing = 0;
    m_services.AppendLog(kStopped);
    m_services.SetTimer(kTimerFinish);
}

void CQuorvexDlg::OnParseFinished() {
    if (m_packetThread.joinable() && !m_bCapturing) m_packetThread.join();
    ReportSurvey();
}

void CQuorvexDlg::ReportSurvey() {
    const int perPort = UniversesPerPort();
    for (const std::string& line : SurveyReportLines(m_universes, perPort)) {
        m_services.AppendLog(line);
    }
    if (perPort == 0 && !m_universes.empty()) m_services.MessageBox(kUniversesPerPortText);
}

}  // namespace quorvex
