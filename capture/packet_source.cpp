#include "capture/packet_source.h"

#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "capture/capture_child.h"
#include "capture/live_device.h"
#include "platform/capture_rights.h"
#include "platform/coarse_clock.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {

constexpr int kReadTimeoutMs = 1;
constexpr size_t kFileBufferBytes = 1 << 20;
constexpr uint32_t kReadBudgetMs = 100000;
constexpr int kHelperAnswerMs = 10000;  // promiscuous mode takes some drivers a while
constexpr uint32_t kDrainWaitMs = 1000;

// A capture file, or the helper's stream, with a stdio buffer of its own: read in few system
// calls rather than one per 4 KiB. glibc takes the size only with a buffer of ours, which must
// outlive the FILE.
std::unique_ptr<char[]> LargeBuffer(FILE* file) {
    auto buffer = std::make_unique<char[]>(kFileBufferBytes);
    std::setvbuf(file, buffer.get(), _IOFBF, kFileBufferBytes);
    return buffer;
}

// Whether a read of `file` returns at once: stdio holds bytes it read ahead (glibc's read
// buffer), or the descriptor has some within the read time-out. The helper's stream grows as
// packets come, and libpcap would wait for the next one however long it took.
bool InputWaiting(FILE* file) {
    if (file->_IO_read_ptr < file->_IO_read_end) return true;
    pollfd waiting{fileno(file), POLLIN, 0};
    return poll(&waiting, 1, kReadTimeoutMs) > 0;
}

}  // namespace

void PcapSource::Close(pcap_t* handle) {
    pcap_close(handle);
    std::shared_ptr<CaptureChild> child;
    {
        std::lock_guard lock(m_bufferMutex);
        std::erase_if(m_fileBuffers, [handle](const auto& b) { return b.first == handle; });
        const auto it = std::find_if(m_children.begin(), m_children.end(),
                                     [handle](const auto& c) { return c.first == handle; });
        if (it != m_children.end()) {
            child = std::move(it->second);
            m_children.erase(it);
        }
    }
    // With its stream closed the helper ends; this waits for it, outside the lock.
    child.reset();
}

std::shared_ptr<CaptureChild> PcapSource::ChildOf(pcap_t* handle) {
    std::lock_guard lock(m_bufferMutex);
    for (const auto& [h, child] : m_children) {
        if (h == handle) return child;
    }
    return nullptr;
}

// The read budget is 100 s, so a coarse clock is plenty.
PcapSource::PcapSource() : m_ticks(&CoarseMonotonicMs) {}

PcapSource::~PcapSource() {
    ReleaseRetired();
    if (pcap_t* h = m_handle.exchange(nullptr)) Close(h);
}

Status PcapSource::OpenDevice(const std::string& name) {
    // The capture rights are effective only while the device is being opened.
    RaiseCaptureRights();
    const auto opened = OpenLiveDevice(
        name, Tr("\nCapturing needs root or the capture capabilities. The members of the group "
                 "quorvex capture through the capture helper quorvex-capture: sudo usermod -aG "
                 "quorvex $USER"));
    LowerCaptureRights();
    if (!opened) {
        ReplaceHandle(nullptr, false);
        return Fail(opened.error());
    }
    ReplaceHandle(*opened, false);
    return {};
}

Status PcapSource::OpenThroughHelper(const std::string& helper, const std::string& name) {
    const std::string failureText = Tr("打开网卡出错!");
    const auto refuse = [&](const std::string& why) -> Status {
        ReplaceHandle(nullptr, false);
        return Fail(why.rfind(failureText, 0) == 0 ? why : failureText + "\n" + why);
    };
    if (name.empty()) return refuse(Tr("打开网卡出错!\nNo device name was given."));
    auto started = CaptureChild::Start(helper, name);
    if (!started) return refuse(started.error());
    std::shared_ptr<CaptureChild> child = std::move(*started);
    // The helper begins its stream once the device is open, or ends and tells why.
    if (!child->WaitForStream(kHelperAnswerMs)) {
        return refuse(Format(Tr("The capture helper %s did not answer within %d s."),
                             helper.c_str(), kHelperAnswerMs / 1000));
    }
    const int fd = child->TakePacketFd();
    FILE* file = fdopen(fd, "rb");
    if (!file) {
        const int error = errno;
        close(fd);
        return refuse(std::strerror(error));
    }
    auto buffer = LargeBuffer(file);
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_fopen_offline(file, errbuf);  // owns `file` once it succeeds
    if (!handle) {
        std::fclose(file);
        return refuse(child->EndReason());
    }
    {
        std::lock_guard lock(m_bufferMutex);
        m_fileBuffers.emplace_back(handle, std::move(buffer));
        m_children.emplace_back(handle, std::move(child));
    }
    // The helper opened the device as OpenDevice does, filter included.
    if (pcap_datalink(handle) != DLT_EN10MB) {
        Close(handle);
        return refuse(Tr("This program works only on Ethernet networks."));
    }
    ReplaceHandle(handle, false);
    return {};
}

Status PcapSource::OpenFile(const std::string& path) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    FILE* file = std::fopen(path.c_str(), "rbe");
    if (!file) {
        ReplaceHandle(nullptr, false);
        return Fail("Cannot open the capture file " + path + "\n" + std::strerror(errno));
    }
    auto buffer = LargeBuffer(file);
    pcap_t* handle = pcap_fopen_offline(file, errbuf);  // owns `file` once it succeeds
    if (handle) {
        std::lock_guard lock(m_bufferMutex);
        m_fileBuffers.emplace_back(handle, std::move(buffer));
    } else {
        std::fclose(file);
        ReplaceHandle(nullptr, false);
        return Fail(Format(Tr("Cannot open the capture file %s\n%s"), path.c_str(), errbuf));
    }
    if (const Status usable = RequireEthernetAndFilter(
            handle, Format(Tr("Cannot open the capture file %s"), path.c_str()));
        !usable) {
        Close(handle);
        ReplaceHandle(nullptr, false);
        return usable;
    }
    ReplaceHandle(handle, true);
    return {};
}

void PcapSource::ReplaceHandle(pcap_t* handle, bool isFile) {
    std::lock_guard lock(m_handleMutex);
    pcap_t* old = m_handle.exchange(handle, std::memory_order_acq_rel);
    m_isFile.store(isFile, std::memory_order_release);
    m_ended.store(false, std::memory_order_release);
    m_endReason.clear();
    if (!old) return;
    // A worker may be inside a read of the old handle: it closes it once it has moved on.
    if (m_readerActive.load(std::memory_order_acquire)) {
        m_retired.push_back(old);
    } else {
        Close(old);
    }
}

void PcapSource::ReleaseRetired() {
    std::lock_guard lock(m_handleMutex);
    for (pcap_t* h : m_retired) Close(h);
    m_retired.clear();
}

void PcapSource::BeginReading() {
    m_readerActive.store(true, std::memory_order_release);
    m_readerHandle = m_handle.load(std::memory_order_acquire);
    m_readerChild = ChildOf(m_readerHandle).get();
    m_havePending = false;
}

void PcapSource::EndReading() {
    {
        std::lock_guard lock(m_handleMutex);
        m_readerActive.store(false, std::memory_order_release);
    }
    ReleaseRetired();
    m_havePending = false;
}

std::string PcapSource::EndReason() const {
    std::lock_guard lock(m_handleMutex);
    return m_endReason;
}

int PcapSource::NextFrame(const uint8_t** data) {
    pcap_t* h = m_handle.load(std::memory_order_acquire);
    if (h != m_readerHandle) {
        // The source was reopened: the old handle and anything pulled from it are done with.
        m_readerHandle = h;
        m_readerChild = ChildOf(h).get();
        m_havePending = false;
        ReleaseRetired();
    }
    if (m_havePending) {
        m_havePending = false;
        *data = m_pendingData;
        return 1;
    }
    if (!h) {
        usleep(1000);  // nothing open: behave like a read time-out
        return 0;
    }
    if (FILE* stream = pcap_file(h); stream && !InputWaiting(stream)) return 0;
    const u_char* bytes = nullptr;
    int rc = pcap_next_ex(h, &m_header, &bytes);
    if (rc == 0) {
        pollfd waiting{pcap_get_selectable_fd(h), POLLIN, 0};
        if (waiting.fd >= 0 && poll(&waiting, 1, kReadTimeoutMs) > 0) {
            rc = pcap_next_ex(h, &m_header, &bytes);
        }
    }
    if (rc < 0) {
        std::string reason = rc == PCAP_ERROR_BREAK ? "" : pcap_geterr(h);
        // The helper's stream ends when the helper does, which tells why.
        if (const auto child = ChildOf(h)) reason = child->EndReason();
        // Under the lock: a reopen between the read and here must not inherit this end.
        std::lock_guard lock(m_handleMutex);
        if (m_handle.load(std::memory_order_acquire) == h) {
            m_endReason = std::move(reason);
            m_ended.store(true, std::memory_order_release);
        }
    }
    if (rc == 1) {
        ++m_framesRead;
        if (m_readerChild) m_readerChild->Took();
    }
    *data = bytes;
    return rc;
}

ArtKind PacketSource::ReadArtPacket(uint8_t* record, uint16_t* recordLength) {
    const uint8_t* found = nullptr;
    const ArtKind kind = NextArtRecord(&found, recordLength);
    if (kind == ArtKind::Dmx) std::memcpy(record, found, *recordLength);
    return kind;
}

ArtKind PcapSource::NextArtRecord(const uint8_t** record, uint16_t* recordLength) {
    const uint32_t start = m_ticks();
    const uint8_t* data = nullptr;
    for (;;) {
        if (NextFrame(&data) != 1) return ArtKind::None;
        if (static_cast<uint32_t>(m_ticks() - start) > kReadBudgetMs) return ArtKind::None;
        const ArtKind r = FindArtRecord(data, m_header->caplen, m_header->len, record, recordLength,
                                        &m_lastSource);
        if (r == ArtKind::Malformed) {
            ++m_malformed;
            continue;
        }
        if (r != ArtKind::None) {
            m_lastFacts = PacketFacts{};
            m_lastFacts.sender = m_lastSource;
            m_lastFacts.address = m_lastSource;
            return r;
        }
        uint32_t node = 0;
        const uint8_t* nodeName = nullptr;
        if (FindArtPollReply(data, m_header->caplen, m_header->len, &node, &nodeName)) {
            m_nodes.Note(node, nodeName);
            continue;
        }
        SacnPacket sacn;
        const SacnKind k = FindSacnPacket(data, m_header->caplen, m_header->len, &sacn);
        if (k == SacnKind::Sync) {
            m_lastSource = sacn.sourceIp;
            m_lastFacts = PacketFacts{};
            m_lastFacts.protocol = Protocol::Sacn;
            m_lastFacts.syncAddress = sacn.syncAddress;
            m_lastFacts.recordable = false;
            m_lastFacts.sequence = sacn.sequence;
            m_lastFacts.sender = m_sources.Lookup(sacn.cid);
            m_lastFacts.address = sacn.sourceIp;
            *recordLength = 0;
            return ArtKind::Sync;
        }
        if (k == SacnKind::Data && sacn.length == 0) {
            ++m_malformed;  // a data packet must carry at least one slot
            continue;
        }
        if (k == SacnKind::Data && SacnAsRecord(sacn)) {
            *record = m_sacnRecord;
            *recordLength = static_cast<uint16_t>(kArtRecordHeader +
                                                  (m_lastFacts.recordable ? sacn.length : 0));
            return ArtKind::Dmx;
        }
    }
}

bool PcapSource::SacnAsRecord(const SacnPacket& p) {
    const int universe = p.universe - m_sacnOffset.load(std::memory_order_relaxed);
    if (universe < 0 || universe > 0x7FFF) return false;
    m_lastSource = p.sourceIp;
    m_lastFacts = PacketFacts{};
    m_lastFacts.sender = m_sources.Identify(p.cid, p.sourceName, p.sourceIp);
    m_lastFacts.address = p.sourceIp;
    m_lastFacts.priority = p.priority;
    m_lastFacts.sentUniverse = p.universe;
    m_lastFacts.protocol = Protocol::Sacn;
    m_lastFacts.syncAddress = p.syncAddress;
    m_lastFacts.terminated = p.terminated;
    m_lastFacts.recordable = p.startCode == 0 && !p.preview && !p.terminated;
    uint8_t* r = m_sacnRecord;
    r[0] = 0;
    r[1] = 14;
    r[2] = p.sequence;
    r[3] = 0;
    r[4] = static_cast<uint8_t>(universe & 0xFF);
    r[5] = static_cast<uint8_t>(universe >> 8);
    const uint16_t length = m_lastFacts.recordable ? p.length : 0;
    r[6] = static_cast<uint8_t>(length >> 8);
    r[7] = static_cast<uint8_t>(length & 0xFF);
    if (length) std::memcpy(r + kArtRecordHeader, p.data, length);
    return true;
}

std::optional<CaptureStats> PcapSource::Drain() {
    if (IsFile()) return std::nullopt;
    std::optional<CaptureStats> counters;
    timeval start{};
    gettimeofday(&start, nullptr);
    // The helper skips what it has not streamed yet; what it streamed before it began skipping
    // is owed, and is waited for (a second at most) even when nothing is ready yet.
    uint64_t owed = 0;
    if (m_readerChild) {
        if (const auto drained = m_readerChild->Drain()) {
            owed = drained->streamed;
            counters = CaptureStats{drained->received, drained->dropped, drained->interfaceDropped};
        }
    }
    const uint32_t began = m_ticks();
    const uint8_t* data = nullptr;
    for (;;) {
        const int rc = NextFrame(&data);
        if (rc == 1) {
            if (!timercmp(&m_header->ts, &start, >=)) continue;
            // Captured after the drain began: keep it for the next read.
            m_pendingData = data;
            m_havePending = true;
            break;
        }
        if (rc < 0 || !m_readerChild || m_readerChild->Taken() >= owed ||
            static_cast<uint32_t>(m_ticks() - began) > kDrainWaitMs) {
            break;
        }
    }
    // The ring has room again: what it dropped while full came before the packet kept.
    if (!m_readerChild) {
        if (const auto stats = Stats()) counters = *stats;
    }
    return counters;
}

int64_t PcapSource::LastTimestampUs() const {
    return m_header ? static_cast<int64_t>(m_header->ts.tv_sec) * 1000000 + m_header->ts.tv_usec
                    : -1;
}

Result<CaptureStats> PcapSource::Stats() {
    pcap_t* h = m_handle.load(std::memory_order_acquire);
    if (!h) return Fail("the source is not open");
    if (IsFile()) return Fail("a capture file has no kernel counters");
    if (const auto child = ChildOf(h)) return child->Stats();
    pcap_stat st{};
    if (pcap_stats(h, &st) != 0) return Fail(pcap_geterr(h));
    return CaptureStats{st.ps_recv, st.ps_drop, st.ps_ifdrop};
}

}  // namespace quorvex
