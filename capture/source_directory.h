#pragma once
// The senders a show comes from. An Art-Net sender is its IPv4 address; an sACN source is its
// CID (E1.31), whatever address it sends from. Each gets a 32-bit identity that the engine
// compares and stores: the address for Art-Net, a directory index with kSacnSourceBit for sACN.
// The packet thread adds sources; any thread reads them. Entries never change once published,
// so a reader needs no lock.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorvex {

// sACN identities live in the class E range (240.0.0.0/4), which no sender has as its address.
inline constexpr uint32_t kSacnSourceBit = 0xF0000000u;
inline bool IsSacnSource(uint32_t id) { return (id & kSacnSourceBit) == kSacnSourceBit; }
// A source that never sent data: it cannot be the one recorded.
inline constexpr uint32_t kUnknownSacnSource = 0xFFFFFFFFu;

struct SacnSource {
    std::array<uint8_t, 16> cid{};
    std::string name;      // as sent, control characters and invalid UTF-8 replaced
    uint32_t address = 0;  // IPv4 it was first heard from
};

class SourceDirectory {
  public:
    // More sources than this share one identity, the last one.
    static constexpr uint32_t kCapacity = 1024;

    SourceDirectory();
    ~SourceDirectory();
    SourceDirectory(const SourceDirectory&) = delete;
    SourceDirectory& operator=(const SourceDirectory&) = delete;

    // Packet thread: the identity of the source with `cid`, added with its name (64 bytes,
    // NUL-padded) and address when it is new. Allocates nothing once constructed.
    uint32_t Identify(const uint8_t* cid, const uint8_t* name64, uint32_t address);
    // Packet thread: the identity of a source already known, or kUnknownSacnSource.
    uint32_t Lookup(const uint8_t* cid) const;

    // Any thread.
    std::optional<SacnSource> Find(uint32_t id) const;
    uint32_t Count() const { return m_count.load(std::memory_order_acquire); }

  private:
    struct Entry {
        std::array<uint8_t, 16> cid{};
        char name[65] = {};
        uint32_t address = 0;
    };
    static constexpr uint32_t kSlots = 2 * kCapacity;  // open addressing, index + 1; 0: free

    std::unique_ptr<Entry[]> m_entries;
    std::unique_ptr<uint32_t[]> m_slots;  // packet thread only
    std::atomic<uint32_t> m_count{0};
};

// The short names Art-Net nodes give in their poll replies, by address. The packet thread
// adds names; any thread reads them. Entries never change once published; a node that renames
// itself gets a new one, and the latest wins.
class NodeNames {
  public:
    static constexpr uint32_t kCapacity = 256;

    // Packet thread: `name18` is the reply's short name field.
    void Note(uint32_t address, const uint8_t* name18);
    // Any thread: the latest name of the node at `address`, or empty.
    std::string Find(uint32_t address) const;

  private:
    struct Entry {
        uint32_t address = 0;
        std::array<char, 18> name{};
    };
    std::array<Entry, kCapacity> m_entries{};
    std::atomic<uint32_t> m_count{0};
};

// "Console A (10.0.0.5)"; for Art-Net, the address alone.
std::string SourceText(const SourceDirectory& directory, uint32_t id);
// The CID as 32 hex digits in the 8-4-4-4-12 form.
std::string CidText(const std::array<uint8_t, 16>& cid);

}  // namespace quorvex
