#pragma once
// A live recording tells once when frames stop coming, and once when they come again. The
// time is given by the caller (a coarse monotonic clock in milliseconds, which may wrap), so
// that the rule can be checked without waiting for it.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

class SilenceWatch {
  public:
    static constexpr uint32_t kSilenceMs = 2000;
    using Say = std::function<void(const std::string& line)>;

    // `adapter` names the live source; empty for a capture file, whose silence says nothing.
    SilenceWatch(const std::string& adapter, uint32_t nowMs)
        : m_on(!adapter.empty()),
          m_text(Format(Tr("No frame for 2 s: is the show still sending to %s?"), adapter.c_str())),
          m_lastFrame(nowMs) {}

    // Each turn of the recording loop; a pause is never silence.
    void Look(bool paused, uint32_t nowMs, const Say& say) {
        if (!m_on) return;
        if (paused) {
            m_lastFrame = nowMs;
        } else if (!m_told && nowMs - m_lastFrame >= kSilenceMs) {
            m_told = true;
            say(m_text);
        }
    }
    // A frame was recorded.
    void Frame(uint32_t nowMs, const Say& say) {
        if (!m_on) return;
        m_lastFrame = nowMs;
        if (m_told) {
            m_told = false;
            say(Tr("Frames arrive again."));
        }
    }

  private:
    const bool m_on;
    const std::string m_text;
    uint32_t m_lastFrame;
    bool m_told = false;
};

}  // namespace quorvex
