#include "analysis/start_trigger.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {

// A whole decimal number at `text[at]`, advancing `at`; nothing when there is none.
std::optional<long> NumberAt(const std::string& text, size_t& at) {
    const size_t begin = at;
    long value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        value = value * 10 + (text[at] - '0');
        if (value > 1000000) return std::nullopt;
        ++at;
    }
    if (at == begin) return std::nullopt;
    return value;
}

}  // namespace

Result<StartTrigger> ParseStartCondition(const std::string& raw) {
    std::string text;
    for (const char c : raw) {
        if (!std::isspace(static_cast<unsigned char>(c))) text += c;
    }
    StartTrigger t;
    if (text == "first-light" || text == "firstlight") {
        t.kind = StartTrigger::Kind::FirstLight;
        return t;
    }
    const std::string usage =
        Tr("a start condition is first-light or UNIVERSE/CHANNEL>=VALUE, for example 5/1>=128");
    size_t at = 0;
    const auto universe = NumberAt(text, at);
    if (!universe || at >= text.size() || text[at] != '/') return Fail(usage);
    ++at;
    const auto channel = NumberAt(text, at);
    if (!channel || text.compare(at, 2, ">=") != 0) return Fail(usage);
    at += 2;
    const auto value = NumberAt(text, at);
    if (!value || at != text.size()) return Fail(usage);
    if (*universe > 32767) return Fail(Tr("the universe of a start condition is 0 to 32767"));
    if (*channel < 1 || *channel > 512)
        return Fail(Tr("the channel of a start condition is 1 to 512"));
    if (*value > 255) return Fail(Tr("the value of a start condition is 0 to 255"));
    t.kind = StartTrigger::Kind::Channel;
    t.universe = static_cast<int>(*universe);
    t.channel = static_cast<int>(*channel);
    t.value = static_cast<int>(*value);
    return t;
}

std::string DescribeStartTrigger(const StartTrigger& t) {
    switch (t.kind) {
        case StartTrigger::Kind::OnCapture:
            return Tr("on Capture");
        case StartTrigger::Kind::FirstLight:
            return Tr("first light");
        case StartTrigger::Kind::Channel:
            return Format(Tr("universe %d channel %d >= %d"), t.universe, t.channel, t.value);
    }
    return {};
}

Status TriggerWatch::Start(const StartTrigger& trigger, const UniverseTable& table,
                           uint32_t frameLength) {
    m_trigger = trigger;
    m_frameLength = frameLength;
    m_armed = trigger.kind != StartTrigger::Kind::OnCapture;
    if (trigger.kind != StartTrigger::Kind::Channel) return {};
    const auto u = static_cast<size_t>(trigger.universe);
    if (trigger.universe < 0 || u >= table.size() || table[u].length == 0) {
        m_armed = false;
        return Fail(Format(Tr("The start trigger watches universe %d, which Parse did not find."),
                           trigger.universe));
    }
    if (trigger.channel < 1 || trigger.channel > table[u].length) {
        m_armed = false;
        return Fail(
            Format(Tr("The start trigger watches channel %d of universe %d, which sends only "
                      "%d channels."),
                   trigger.channel, trigger.universe, table[u].length));
    }
    m_offset = table[u].offset + static_cast<uint32_t>(trigger.channel - 1);
    return {};
}

bool TriggerWatch::Fires(const uint8_t* frame) {
    if (!m_armed) return false;
    bool fires = false;
    if (m_trigger.kind == StartTrigger::Kind::FirstLight) {
        fires = std::any_of(frame, frame + m_frameLength, [](uint8_t b) { return b != 0; });
    } else {
        fires = frame[m_offset] >= m_trigger.value;
    }
    if (fires) m_armed = false;
    return fires;
}

bool TriggerWatch::Released(const uint8_t* frame) const {
    if (m_armed || m_trigger.kind != StartTrigger::Kind::Channel || !m_trigger.stopWhenReleased) {
        return false;
    }
    return frame[m_offset] < m_trigger.value;
}

}  // namespace quorvex
