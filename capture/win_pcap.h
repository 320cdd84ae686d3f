#pragma once
// The capture source: device listing, opening a device or a capture file, and the packet
// reader that pulls ArtDmx/ArtSync records out of the traffic.

#include <pcap/pcap.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/art_packet.h"

namespace quorvex {

class IWindowServices;

struct DeviceEntry {
    std::string description;  // library's description; empty when it gives none
    std::string name;         // library's device name, what OpenDevice takes
    std::string address;      // last IPv4 address as dotted text; empty when none
};

struct CaptureStats {
    unsigned received = 0;
    unsigned dropped = 0;  // dropped by the kernel for lack of buffer space
    unsigned interfaceDropped = 0;
};

class CWinPcap {
  public:
    // Milliseconds from some fixed point; wraps like any 32-bit tick counter.
    using TickSource = uint32_t (*)();

    explicit CWinPcap(IWindowServices* services = nullptr);
    virtual ~CWinPcap();
    CWinPcap(const CWinPcap&) = delete;
    CWinPcap& operator=(const CWinPcap&) = delete;

    // Appends one entry per capture device. 1 when the enumeration ran, 0 when it failed.
    int FindDevices();
    // Opens a live device: promiscuous, whole frames, 1 ms read time-out, filter "ip and udp".
    bool OpenDevice(const std::string& name);
    // Opens a pcap or pcapng file and reads it through the same reader as a live device.
    bool OpenFile(const std::string& path);

    // Pulls frames until an ArtDmx (0) or ArtSync (1) packet, or returns 2 when no frame is
    // ready, at the end of a file, on a read error, or after 100 s of other traffic.
    int ReadArtPacket(uint8_t* buffer, uint16_t* recordLength);
    // Discards the frames captured before the call began; a file source discards nothing.
    void Drain();

    // True once a file source reached its end or a read failed: nothing more will come.
    bool SourceEnded() const { return m_ended.load(std::memory_order_acquire); }
    // Why the source ended: empty at the end of a file, libpcap's text on a read error.
    std::string EndReason() const;
    bool IsFile() const { return m_isFile.load(std::memory_order_acquire); }
    // Kernel counters of the open live device; nothing for a file or a closed source.
    std::optional<CaptureStats> Stats();

    // The worker that reads brackets its reading with these, so that a handle replaced by
    // a reopen is closed only once the worker has stopped using it.
    void BeginReading();
    void EndReading();

    void SetTickSource(TickSource ticks) { m_ticks = ticks; }
    // Frames pulled from the source so far; read it only while no worker reads.
    uint64_t FramesRead() const { return m_framesRead; }

    std::vector<DeviceEntry> m_devices;
    std::atomic<int> m_bOpen{0};
    pcap_pkthdr* m_pHeader = nullptr;  // header of the frame last pulled

  private:
    int NextFrame(const uint8_t** data);
    bool Activate(pcap_t* handle, bool isFile, const std::string& failureText);
    void ReplaceHandle(pcap_t* handle, bool isFile);
    void ReleaseRetired();
    void Tell(const std::string& text);

    IWindowServices* m_services;
    std::atomic<pcap_t*> m_handle{nullptr};
    std::atomic<bool> m_isFile{false};
    std::atomic<bool> m_ended{false};
    TickSource m_ticks;

    std::mutex m_handleMutex;  // guards m_retired, m_endReason and handle replacement
    std::vector<pcap_t*> m_retired;
    std::atomic<bool> m_readerActive{false};
    std::string m_endReason;

    // Reader-thread state.
    pcap_t* m_readerHandle = nullptr;
    bool m_havePending = false;  // a frame pulled by Drain that belongs to the new traffic
    const uint8_t* m_pendingData = nullptr;
    uint64_t m_framesRead = 0;
};

}  // namespace quorvex
