#include "capture/win_pcap.h"

#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "platform/text_format.h"
#include "platform/window_services.h"

namespace quorvex {

namespace {

constexpr int kSnapLength = 65535;
constexpr int kReadTimeoutMs = 1;
constexpr int kKernelBufferBytes = 32 * 1024 * 1024;
constexpr uint32_t kReadBudgetMs = 100000;
constexpr char kFilter[] = "ip and udp";

// The read budget is 100 s, so a coarse clock (a few ms, and cheap per packet) is plenty.
uint32_t SteadyTicks() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000);
}

// Dotted text of an IPv4 socket address.
std::string Dotted(const sockaddr* sa) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    const auto* b = reinterpret_cast<const uint8_t*>(&in->sin_addr.s_addr);
    return Format("%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}

}  // namespace

CWinPcap::CWinPcap(IWindowServices* services) : m_services(services), m_ticks(&SteadyTicks) {}

CWinPcap::~CWinPcap() {
    ReleaseRetired();
    if (pcap_t* h = m_handle.exchange(nullptr)) pcap_close(h);
}

void CWinPcap::Tell(const std::string& text) {
    if (m_services) {
        m_services->MessageBox(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

int CWinPcap::FindDevices() {
    pcap_if_t* all = nullptr;
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    if (pcap_findalldevs(&all, errbuf) == -1) {
        Tell(std::string("查找网卡出错!\n") + errbuf);
        return 0;
    }
    for (pcap_if_t* d = all; d; d = d->next) {
        DeviceEntry entry{d->description ? d->description : "", d->name ? d->name : "", ""};
        for (pcap_addr_t* a = d->addresses; a; a = a->next) {
            if (!a->addr || a->addr->sa_family != AF_INET) {
                std::printf("\tAddress Family Name: Unknown\n");
                continue;
            }
            entry.address = Dotted(a->addr);
            std::printf("\tAddress: %s\n", entry.address.c_str());
            if (a->netmask) std::printf("\tNetmask: %s\n", Dotted(a->netmask).c_str());
            if (a->broadaddr) {
                std::printf("\tBroadcast Address: %s\n", Dotted(a->broadaddr).c_str());
            }
            if (a->dstaddr) {
                std::printf("\tDestination Address: %s\n", Dotted(a->dstaddr).c_str());
            }
        }
        m_devices.push_back(std::move(entry));
    }
    pcap_freealldevs(all);
    return 1;
}

bool CWinPcap::Activate(pcap_t* handle, bool isFile, const std::string& failureText) {
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
                    "\nCapturing needs root or capture rights: "
                    "sudo setcap cap_net_raw,cap_net_admin=eip <program>";
            }
            pcap_close(handle);
            ReplaceHandle(nullptr, false);
            m_bOpen = 0;
            Tell(text);
            return false;
        }
    }
    // The stderr line is for whoever started the program from a terminal; the box for the user.
    auto refuse = [&](const char* why) {
        std::fprintf(stderr, "\n%s\n", why);
        pcap_close(handle);
        ReplaceHandle(nullptr, false);
        m_bOpen = 0;
        Tell(failureText + "\n" + why);
        return false;
    };
    if (pcap_datalink(handle) != DLT_EN10MB) {
        return refuse("This program works only on Ethernet networks.");
    }
    bpf_program program{};
    if (pcap_compile(handle, &program, kFilter, 1, 0x00FFFFFF) < 0) {
        return refuse("Unable to compile the packet filter. Check the syntax.");
    }
    const int set = pcap_setfilter(handle, &program);
    pcap_freecode(&program);
    if (set < 0) return refuse("Error setting the filter.");
    // With the kernel's block ring a read on an idle network may wait for good: read without
    // blocking and do the 1 ms wait ourselves.
    if (!isFile) pcap_setnonblock(handle, 1, nullptr);
    ReplaceHandle(handle, isFile);
    m_bOpen = 1;
    return true;
}

bool CWinPcap::OpenDevice(const std::string& name) {
    if (name.empty()) return false;
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_create(name.c_str(), errbuf);
    if (!handle) {
        ReplaceHandle(nullptr, false);
        m_bOpen = 0;
        Tell(std::string("打开网卡出错!\n") + errbuf);
        return false;
    }
    return Activate(handle, false, "打开网卡出错!");
}

bool CWinPcap::OpenFile(const std::string& path) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_offline(path.c_str(), errbuf);
    if (!handle) {
        ReplaceHandle(nullptr, false);
        m_bOpen = 0;
        Tell("Cannot open the capture file " + path + "\n" + errbuf);
        return false;
    }
    return Activate(handle, true, "Cannot open the capture file " + path);
}

void CWinPcap::ReplaceHandle(pcap_t* handle, bool isFile) {
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
        pcap_close(old);
    }
}

void CWinPcap::ReleaseRetired() {
    std::lock_guard lock(m_handleMutex);
    for (pcap_t* h : m_retired) pcap_close(h);
    m_retired.clear();
}

void CWinPcap::BeginReading() {
    m_readerActive.store(true, std::memory_order_release);
    m_readerHandle = m_handle.load(std::memory_order_acquire);
    m_havePending = false;
}

void CWinPcap::EndReading() {
    {
        std::lock_guard lock(m_handleMutex);
        m_readerActive.store(false, std::memory_order_release);
    }
    ReleaseRetired();
    m_havePending = false;
}

std::string CWinPcap::EndReason() const {
    std::lock_guard lock(const_cast<std::mutex&>(m_handleMutex));
    return m_endReason;
}

int CWinPcap::NextFrame(const uint8_t** data) {
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
    int rc = pcap_next_ex(h, &m_pHeader, &bytes);
    if (rc == 0) {
        pollfd waiting{pcap_get_selectable_fd(h), POLLIN, 0};
        if (waiting.fd >= 0 && poll(&waiting, 1, kReadTimeoutMs) > 0) {
            rc = pcap_next_ex(h, &m_pHeader, &bytes);
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

int CWinPcap::ReadArtPacket(uint8_t* buffer, uint16_t* recordLength) {
    const uint32_t start = m_ticks();
    const uint8_t* data = nullptr;
    for (;;) {
        if (NextFrame(&data) != 1) return kArtNone;
        if (static_cast<uint32_t>(m_ticks() - start) > kReadBudgetMs) return kArtNone;
        const ArtResult r =
            RecognizeArtFrame(data, m_pHeader->caplen, m_pHeader->len, buffer, recordLength);
        if (r != kArtNone) return r;
    }
}

void CWinPcap::Drain() {
    if (IsFile()) return;
    timeval start{};
    gettimeofday(&start, nullptr);
    const uint8_t* data = nullptr;
    while (NextFrame(&data) == 1) {
        if (timercmp(&m_pHeader->ts, &start, >=)) {
            // Captured after the drain began: keep it for the next read.
            m_pendingData = data;
            m_havePending = true;
            return;
        }
    }
}

std::optional<CaptureStats> CWinPcap::Stats() {
    pcap_t* h = m_handle.load(std::memory_order_acquire);
    if (!h || IsFile()) return std::nullopt;
    pcap_stat st{};
    if (pcap_stats(h, &st) != 0) return std::nullopt;
    return CaptureStats{st.ps_recv, st.ps_drop, st.ps_ifdrop};
}

}  // namespace quorvex
