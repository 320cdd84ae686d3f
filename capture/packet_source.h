#pragma once
// Packet sources: where the recorder reads Art-Net from. A live device and a capture file
// are read through the same interface and the same reader.

#include <pcap/pcap.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/art_packet.h"
#include "capture/protocol.h"
#include "capture/sacn_packet.h"
#include "capture/source_directory.h"
#include "platform/result.h"

namespace quorvex {

class CaptureChild;

struct CaptureStats {
    unsigned received = 0;
    unsigned dropped = 0;  // dropped by the kernel for lack of buffer space
    unsigned interfaceDropped = 0;
};

class PacketSource {
  public:
    virtual ~PacketSource() = default;

    virtual bool IsOpen() const = 0;
    virtual bool IsFile() const = 0;
    // Pulls frames until an ArtDmx, ArtSync, sACN data or sACN synchronization packet (Dmx and
    // Sync); None when no frame is ready, at the end of a file, on a read error, or after 100 s
    // of other traffic. `record` is pointed at the record in the source's own buffer, valid
    // until the next read.
    virtual ArtKind NextArtRecord(const uint8_t** record, uint16_t* recordLength) = 0;
    // The same, with the record copied into `record` (kArtRecordSize bytes).
    ArtKind ReadArtPacket(uint8_t* record, uint16_t* recordLength);
    // Capture time of the frame last pulled, in microseconds; -1 before the first.
    virtual int64_t LastTimestampUs() const = 0;
    // IPv4 source address (host byte order) of the packet last returned; 0 before it.
    virtual uint32_t LastSourceIp() const = 0;
    virtual const PacketFacts& LastFacts() const = 0;
    // Discards the frames captured before the call began, and tells the kernel's counters once
    // it had: drops after them are of frames the caller reads. A file source discards nothing
    // and has none.
    virtual std::optional<CaptureStats> Drain() = 0;
    // True once a file source reached its end or a read failed: nothing more will come.
    virtual bool Ended() const = 0;
    // Why the source ended: empty at the end of a file, libpcap's text on a read error.
    virtual std::string EndReason() const = 0;
    // Kernel counters of an open live device.
    virtual Result<CaptureStats> Stats() = 0;
    // The worker that reads brackets its reading with these, so that a source reopened
    // meanwhile releases what the worker used only once the worker has moved on.
    virtual void BeginReading() = 0;
    virtual void EndReading() = 0;
    // Frames pulled so far; read it only while no worker reads.
    virtual uint64_t FramesRead() const = 0;
    // Data packets passed over because their length is impossible (an ArtDmx Length outside
    // 2..512, an sACN data packet without slots); read it on the reading thread.
    virtual uint64_t MalformedPackets() const = 0;
    // The sACN sources seen so far, by the identity PacketFacts::sender gives them.
    virtual const SourceDirectory& Sources() const = 0;
    // The Art-Net nodes that named themselves in a poll reply.
    virtual const NodeNames& Nodes() const = 0;
};

// libpcap behind the interface. It may be reopened (another device, a file) while a worker
// reads it: the worker moves to the new handle at its next read.
class PcapSource final : public PacketSource {
  public:
    // Milliseconds from some fixed point; wraps like any 32-bit tick counter.
    using TickSource = uint32_t (*)();

    PcapSource();
    ~PcapSource() override;
    PcapSource(const PcapSource&) = delete;
    PcapSource& operator=(const PcapSource&) = delete;

    // A live device opened by this process, which needs root or the capture capabilities:
    // promiscuous, whole frames, 1 ms read time-out, filter "ip and udp". Fails with
    // "打开网卡出错!" and the reason. Any failure leaves the source closed.
    Status OpenDevice(const std::string& name);
    // The same device opened by the capture helper `helper`, a child process that alone holds
    // the capabilities and streams the packets to this one. A live source like the one above:
    // kernel counters, draining, an end when the device goes away (or the helper does).
    Status OpenThroughHelper(const std::string& helper, const std::string& name);
    // A pcap or pcapng file, read through the same reader as a live device.
    Status OpenFile(const std::string& path);
    void SetTickSource(TickSource ticks) { m_ticks = ticks; }
    // sACN universe N is recorded as N - offset; universes that fall outside 0..32767 are
    // passed over. Takes effect at the next packet.
    void SetSacnOffset(int offset) { m_sacnOffset.store(offset, std::memory_order_relaxed); }

    bool IsOpen() const override { return m_handle.load(std::memory_order_acquire) != nullptr; }
    bool IsFile() const override { return m_isFile.load(std::memory_order_acquire); }
    ArtKind NextArtRecord(const uint8_t** record, uint16_t* recordLength) override;
    int64_t LastTimestampUs() const override;
    uint32_t LastSourceIp() const override { return m_lastSource; }
    const PacketFacts& LastFacts() const override { return m_lastFacts; }
    std::optional<CaptureStats> Drain() override;
    bool Ended() const override { return m_ended.load(std::memory_order_acquire); }
    std::string EndReason() const override;
    Result<CaptureStats> Stats() override;
    void BeginReading() override;
    void EndReading() override;
    uint64_t FramesRead() const override { return m_framesRead; }
    uint64_t MalformedPackets() const override { return m_malformed; }
    const SourceDirectory& Sources() const override { return m_sources; }
    const NodeNames& Nodes() const override { return m_nodes; }

  private:
    int NextFrame(const uint8_t** data);
    bool SacnAsRecord(const SacnPacket& packet);
    std::shared_ptr<CaptureChild> ChildOf(pcap_t* handle);
    void ReplaceHandle(pcap_t* handle, bool isFile);
    void ReleaseRetired();
    void Close(pcap_t* handle);

    std::atomic<pcap_t*> m_handle{nullptr};
    std::atomic<bool> m_isFile{false};
    std::atomic<bool> m_ended{false};
    TickSource m_ticks;

    mutable std::mutex m_handleMutex;  // guards m_retired, m_endReason and handle replacement
    std::vector<pcap_t*> m_retired;
    std::atomic<bool> m_readerActive{false};
    std::mutex m_bufferMutex;  // guards m_fileBuffers and m_children
    std::vector<std::pair<pcap_t*, std::unique_ptr<char[]>>> m_fileBuffers;     // stdio buffers
    std::vector<std::pair<pcap_t*, std::shared_ptr<CaptureChild>>> m_children;  // their helpers
    std::string m_endReason;

    // Reader-thread state.
    pcap_t* m_readerHandle = nullptr;
    CaptureChild* m_readerChild = nullptr;  // the helper behind m_readerHandle, if any
    pcap_pkthdr* m_header = nullptr;        // header of the frame last pulled
    bool m_havePending = false;  // a frame pulled by Drain that belongs to the new traffic
    const uint8_t* m_pendingData = nullptr;
    uint64_t m_framesRead = 0;
    uint64_t m_malformed = 0;
    SourceDirectory m_sources;
    NodeNames m_nodes;
    uint32_t m_lastSource = 0;
    PacketFacts m_lastFacts;
    std::atomic<int> m_sacnOffset{kDefaultSacnOffset};
    uint8_t m_sacnRecord[kArtRecordHeader + 512] = {};  // an sACN packet as a record
};

}  // namespace quorvex
