#pragma once
// The adapter directory: interface indexes, link states and descriptions of capture devices,
// and the automatic choice of the adapter to record from.
//
// Nothing is cached: every question goes to the kernel, so answers follow cables, peers and
// interfaces that come and go while the program runs.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/device_list.h"

namespace quorvex {

enum class LinkState { Up, Down, Unknown };

// Interface index of a capture-device name; nothing when there is none or the name is empty.
std::optional<int> InterfaceIndex(const std::string& name);
// Unknown when the system gives no answer (no such interface).
LinkState LinkStateOfIndex(int index);
inline LinkState LinkStateOfDevice(const std::string& name) {
    const auto index = InterfaceIndex(name);
    return index ? LinkStateOfIndex(*index) : LinkState::Unknown;
}
const char* LinkStateText(LinkState state);

// Driver and link speed as the system reports them, e.g. "e1000e 1000Mb/s"; only the
// driver when the speed is unknown; empty when nothing is known.
std::string DescribeDevice(const std::string& name);
// Fills the description of every entry the capture library left without one.
void DescribeDevices(std::vector<DeviceEntry>& devices);

// The automatic adapter choice: the first device whose link is up and whose description holds
// "gbe" or "1000" in any case. Nothing when none qualifies or when the first match lies at or
// beyond `shownLines` (the list the user sees; the device list may hold a second copy of every
// device after a re-enumeration).
std::optional<size_t> ChooseAdapter(
    const std::vector<DeviceEntry>& devices, size_t shownLines,
    const std::function<LinkState(const std::string& name)>& linkStateOfName);

}  // namespace quorvex
