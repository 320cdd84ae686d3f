#pragma once
// The adapter directory: interface indexes, link states and descriptions of capture devices,
// and the automatic choice of the adapter to record from.
//
// On Linux nothing is cached: every question goes to the kernel, so answers follow cables,
// peers and interfaces that come and go while the program runs.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "capture/win_pcap.h"

namespace quorvex {

class CAdapterInfo {
  public:
    // Start-up fill. Nothing to cache on Linux; kept so callers use the same order of calls
    // on every system. Only marks the directory valid.
    void Fill() { m_valid.store(true, std::memory_order_release); }
    bool IsValid() const { return m_valid.load(std::memory_order_acquire); }

    // Interface index of a capture-device name, -1 when there is none or the name is empty.
    static int GetAdapterIndex(const std::string& name);
    // 1 when the link is operational, 0 when the interface exists but is not operational,
    // -1 when the system gives no answer (no such interface; index 0 or negative).
    static int GetLinkStatus(int index);
    static int LinkStatusOfDevice(const std::string& name) {
        return GetLinkStatus(GetAdapterIndex(name));
    }

    // Driver and link speed as the system reports them, e.g. "e1000e 1000Mb/s"; only the
    // driver when the speed is unknown; empty when nothing is known.
    static std::string DescribeDevice(const std::string& name);
    // Fills the description of every entry the capture library left without one.
    static void DescribeDevices(std::vector<DeviceEntry>& devices);

  private:
    std::atomic<bool> m_valid{false};
};

// The automatic adapter choice: the first device whose link is up (status 1) and whose
// description holds "gbe" or "1000" in any case. Its index, or -1 when none qualifies or when
// the first match lies at or beyond `shownLines` (the list the user sees; the device list may
// hold a second copy of every device after a re-enumeration).
int ChooseAdapter(const std::vector<DeviceEntry>& devices, size_t shownLines,
                  const std::function<int(const std::string& name)>& linkStatusOfName);

}  // namespace quorvex
