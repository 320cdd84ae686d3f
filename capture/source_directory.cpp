#include "capture/source_directory.h"

#include <cstring>

#include "platform/text_format.h"

namespace quorvex {

namespace {

uint32_t CidHash(const uint8_t* cid) {
    uint64_t a = 0;
    uint64_t b = 0;
    std::memcpy(&a, cid, 8);
    std::memcpy(&b, cid + 8, 8);
    return static_cast<uint32_t>(((a ^ (b * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull) >> 40);
}

// A source name is shown in logs and tables: no control characters.
void CopyName(char* out, const uint8_t* name64) {
    size_t n = 0;
    while (n < 64 && name64[n] != 0) ++n;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = name64[i];
        out[i] = (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
    }
    out[n] = 0;
}

}  // namespace

SourceDirectory::SourceDirectory()
    : m_entries(std::make_unique<Entry[]>(kCapacity)),
      m_slots(std::make_unique<uint32_t[]>(kSlots)) {}

SourceDirectory::~SourceDirectory() = default;

uint32_t SourceDirectory::Lookup(const uint8_t* cid) const {
    for (uint32_t at = CidHash(cid) % kSlots;; at = (at + 1) % kSlots) {
        const uint32_t held = m_slots[at];
        if (held == 0) return kUnknownSacnSource;
        if (std::memcmp(m_entries[held - 1].cid.data(), cid, 16) == 0) {
            return kSacnSourceBit | (held - 1);
        }
    }
}

uint32_t SourceDirectory::Identify(const uint8_t* cid, const uint8_t* name64, uint32_t address) {
    uint32_t at = CidHash(cid) % kSlots;
    for (;; at = (at + 1) % kSlots) {
        const uint32_t held = m_slots[at];
        if (held == 0) break;
        if (std::memcmp(m_entries[held - 1].cid.data(), cid, 16) == 0) {
            return kSacnSourceBit | (held - 1);
        }
    }
    const uint32_t index = m_count.load(std::memory_order_relaxed);
    if (index >= kCapacity) return kSacnSourceBit | (kCapacity - 1);
    Entry& e = m_entries[index];
    std::memcpy(e.cid.data(), cid, 16);
    CopyName(e.name, name64);
    e.address = address;
    m_slots[at] = index + 1;
    // Readers see the entry whole once the count covers it.
    m_count.store(index + 1, std::memory_order_release);
    return kSacnSourceBit | index;
}

std::optional<SacnSource> SourceDirectory::Find(uint32_t id) const {
    if (!IsSacnSource(id) || id == kUnknownSacnSource) return std::nullopt;
    const uint32_t index = id & ~kSacnSourceBit;
    if (index >= Count()) return std::nullopt;
    const Entry& e = m_entries[index];
    return SacnSource{e.cid, e.name, e.address};
}

std::string CidText(const std::array<uint8_t, 16>& c) {
    std::string out;
    for (size_t i = 0; i < c.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += Format("%02x", c[i]);
    }
    return out;
}

std::string SourceText(const SourceDirectory& directory, uint32_t id) {
    if (const auto s = directory.Find(id)) {
        return s->name.empty() ? Ipv4Text(s->address) : s->name + " (" + Ipv4Text(s->address) + ")";
    }
    return IsSacnSource(id) ? std::string("?") : Ipv4Text(id);
}

void NodeNames::Note(uint32_t address, const uint8_t* name18) {
    std::array<char, 18> name{};
    for (size_t i = 0; i < name.size() && name18[i]; ++i) {
        name[i] = name18[i] < 0x20 || name18[i] == 0x7F ? '?' : static_cast<char>(name18[i]);
    }
    const uint32_t count = m_count.load(std::memory_order_relaxed);
    for (uint32_t i = count; i-- > 0;) {
        if (m_entries[i].address != address) continue;
        if (m_entries[i].name == name) return;
        break;
    }
    if (count >= kCapacity) return;
    m_entries[count].address = address;
    m_entries[count].name = name;
    m_count.store(count + 1, std::memory_order_release);
}

std::string NodeNames::Find(uint32_t address) const {
    for (uint32_t i = m_count.load(std::memory_order_acquire); i-- > 0;) {
        const Entry& e = m_entries[i];
        if (e.address == address) return std::string(e.name.data(), strnlen(e.name.data(), 18));
    }
    return {};
}

}  // namespace quorvex
