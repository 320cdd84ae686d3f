#pragma once
// The start trigger of a recording: the first frame recorded is the first frame in which the
// show gives light, or in which one channel reaches a value; optionally the recording ends
// when that channel falls below the value again.

#include <cstdint>
#include <string>

#include "analysis/universe_table.h"
#include "platform/result.h"

namespace quorvex {

struct StartTrigger {
    enum class Kind { OnCapture, FirstLight, Channel };
    Kind kind = Kind::OnCapture;
    int universe = 0;               // Channel: 15-bit Port-Address
    int channel = 1;                // Channel: 1..512
    int value = 128;                // Channel: fires at value or above, 0..255
    bool stopWhenReleased = false;  // Channel: end at the first frame below the value again

    bool operator==(const StartTrigger&) const = default;
};

// "first-light", or "U/C>=V" such as "5/1>=128".
Result<StartTrigger> ParseStartCondition(const std::string& text);
// "first light", "universe 5 channel 1 >= 128".
std::string DescribeStartTrigger(const StartTrigger& trigger);

// Watches completed frames for the trigger. Pure: fed whole frames.
class TriggerWatch {
  public:
    // `table` is dense (slot k is universe k) and laid out; fails when the channel is not
    // recorded (universe not surveyed, or beyond its surveyed length).
    Status Start(const StartTrigger& trigger, const UniverseTable& table, uint32_t frameLength);
    // Waiting for the trigger.
    bool Armed() const { return m_armed; }
    // A frame: true when it is the first to record; the watch is no longer armed then.
    bool Fires(const uint8_t* frame);
    // After it fired: true when the frame ends the recording (stop when released).
    bool Released(const uint8_t* frame) const;

  private:
    StartTrigger m_trigger;
    uint32_t m_frameLength = 0;
    uint32_t m_offset = 0;  // of the channel, Channel only
    bool m_armed = false;
};

}  // namespace quorvex
