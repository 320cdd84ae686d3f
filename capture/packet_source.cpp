#include "capture/packet_source.h"

#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/capture_rights.h"
#include "platform/coarse_clock.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {

constexpr int kSnapLength = 65535;
constexpr int kReadTimeoutMs = 1;
constexpr int kKernelBufferBytes = 32 * 1024 * 1024;
constexpr size_t kFileBufferBytes = 1 << 20;
constexpr uint32_t kReadBudgetMs = 100000;
constexpr char kFilter[] = "ip and udp";

}  // namespace

void PcapSource::Close(pcap_t* handle) {
    pcap_close(handle);
    std::lock_guard lock(m_bufferMutex);
    std::erase_if(m_fileBuffers, [handle](const auto& b) { return b.first == handle; });
}

// The read budget is 100 s, so a coarse clock is plenty.
PcapSource::PcapSource() : m_ticks(&CoarseMonotonicMs) {}

PcapSource::~PcapSource() {
    ReleaseRetired();
    if (pcap_t* h = m_handle.exchange(nullptr)) Close(h);
}

Status PcapSource::Activate(pcap_t* handle, bool isFile, const std::string& failureText) {
    if (!isFile) {
        pcap_set_snaplen(handle, kSnapLength);
        pcap_set_promisc(handle, 1);
        pcap_set_timeout(handle, kReadTimeoutMs);
        // A large kernel buffer rides out bursts and short pauses of the reader.
        pcap_set_buffer_size(handle, kKernelBufferBytes);
        const int rc = pcap_activate(handle);
        if (rc < 0) {
            std::string reason = pcap_geterr(handle);
            if (reason.empty()) reason = pcap_statustostr(rc);
            std::string text = failureText + "\n" + reason;
            if (rc == PCAP_ERROR_PERM_DENIED) {
                text +=
                    Tr("\nCapturing needs root or capture rights: "
                       "sudo setcap cap_net_raw,cap_net_admin=eip <program>");
            }
            Close(handle);
            ReplaceHandle(nullptr, false);
            return Fail(text);
        }
    }
    auto refuse = [&](const char* why) -> Status {
        Close(handle);
        ReplaceHandle(nullptr, false);
        return Fail(failureText + "\n" + why);
    };
    if (pcap_datalink(handle) != DLT_EN10MB) {
        return refuse(Tr("This program works only on Ethernet networks."));
    }
    bpf_program program{};
    if (pcap_compile(handle, &program, kFilter, 1, 0x00FFFFFF) < 0) {
        return refuse(Tr("Unable to compile the packet filter. Check the syntax."));
    }
    const int set = pcap_setfilter(handle, &program);
    pcap_freecode(&program);
    if (set < 0) return refuse(Tr("Error setting the filter."));
    // With the kernel's block ring a read on an idle network may wait for good: read without
    // blocking and do the 1 ms wait ourselves.
    if (!isFile) pcap_setnonblock(handle, 1, nullptr);
    ReplaceHandle(handle, isFile);
    return {};
}

Status PcapSource::OpenDevice(const std::string& name) {
    if (name.empty()) {
        ReplaceHandle(nullptr, false);
        return Fail(Tr("打开网卡出错!\nNo device name was given."));
    }
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    // The capture rights are effective only while the device is being opened.
    RaiseCaptureRights();
    struct Lower {
        ~Lower() { LowerCaptureRights(); }
    } lower;
    pcap_t* handle = pcap_create(name.c_str(), errbuf);
    if (!handle) {
        ReplaceHandle(nullptr, false);
        return Fail(Format(Tr("打开网卡出错!\n%s"), errbuf));
    }
    return Activate(handle, false, Tr("打开网卡出错!"));
}

Status PcapSource::OpenFile(const std::string& path) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    // A large stdio buffer: a file is read in few system calls rather than one per 4 KiB.
    FILE* file = std::fopen(path.c_str(), "rbe");
    if (!file) {
        ReplaceHandle(nullptr, false);
        return Fail("Cannot open the capture file " + path + "\n" + std::strerror(errno));
    }
    // glibc takes the size only with a buffer of ours, which must outlive the FILE.
    auto buffer = std::make_unique<char[]>(kFileBufferBytes);
    std::setvbuf(file, buffer.get(), _IOFBF, kFileBufferBytes);
    pcap_t* handle = pcap_fopen_offline(file, errbuf);  // owns `file` once it succeeds
    if (handle) {
        std::lock_guard lock(m_bufferMutex);
        m_fileBuffers.emplace_back(handle, std::move(buffer));
    } else {
        std::fclose(file);
        ReplaceHandle(nullptr, false);
        return Fail(Format(Tr("Cannot open the capture file %s\n%s"), path.c_str(), errbuf));
    }
    return Activate(handle, true, Format(Tr("Cannot open the capture file %s"), path.c_str()));
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
    const u_char* bytes = nullptr;
    int rc = pcap_next_ex(h, &m_header, &bytes);
    if (rc == 0) {
        pollfd waiting{pcap_get_selectable_fd(h), POLLIN, 0};
        if (waiting.fd >= 0 && poll(&waiting, 1, kReadTimeoutMs) > 0) {
            rc = pcap_next_ex(h, &m_header, &bytes);
        }
    }
    if (rc < 0) {
        // Under the lock: a reopen between the read and here must not inherit this end.
        std::lock_guard lock(m_handleMutex);
        if (m_handle.load(std::memory_order_acquire) == h) {
            m_endReason = rc == PCAP_ERROR_BREAK ? "" : pcap_geterr(h);
            m_ended.store(true, std::memory_order_release);
        }
    }
    if (rc == 1) ++m_framesRead;
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

void PcapSource::Drain() {
    if (IsFile()) return;
    timeval start{};
    gettimeofday(&start, nullptr);
    const uint8_t* data = nullptr;
    while (NextFrame(&data) == 1) {
        if (timercmp(&m_header->ts, &start, >=)) {
            // Captured after the drain began: keep it for the next read.
            m_pendingData = data;
            m_havePending = true;
            return;
        }
    }
}

int64_t PcapSource::LastTimestampUs() const {
    return m_header ? static_cast<int64_t>(m_header->ts.tv_sec) * 1000000 + m_header->ts.tv_usec
                    : -1;
}

Result<CaptureStats> PcapSource::Stats() {
    pcap_t* h = m_handle.load(std::memory_order_acquire);
    if (!h) return Fail("the source is not open");
    if (IsFile()) return Fail("a capture file has no kernel counters");
    pcap_stat st{};
    if (pcap_stats(h, &st) != 0) return Fail(pcap_geterr(h));
    return CaptureStats{st.ps_recv, st.ps_drop, st.ps_ifdrop};
}

}  // namespace quorvex
