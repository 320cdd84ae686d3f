// What the user sets about when a recording starts and ends, and the live input view.

#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/frame_layout.h"
#include "analysis/input_monitor.h"
#include "analysis/start_trigger.h"
#include "platform/duration_text.h"

namespace quorvex {
namespace {

// Exactly the documented forms, each part in range; anything else is refused, never guessed.
TEST(DurationText, WhatPeopleTypeAndWhatIsRefused) {
    const std::pair<const char*, double> good[] = {
        {"90", 90},     {"90s", 90},    {"2m30s", 150},   {"1h2m3s", 3723},
        {"1h", 3600},   {"1h5m", 3900}, {"61m", 3660},    {"1h0m59s", 3659},
        {"02:30", 150}, {"0:01", 1},    {"100:00", 6000}, {"999999999", 999999999},
    };
    for (const auto& [text, seconds] : good) {
        ASSERT_TRUE(ParseDurationText(text)) << text;
        EXPECT_DOUBLE_EQ(*ParseDurationText(text), seconds) << text;
    }
    for (const char* bad :
         {// nothing, or nothing of time
          "", "0", "0s", "0:00", "0h0m0s",
          // numbers C would read, but nobody types for a show
          "0x10", "1e1", "1e400", "1.5m", " 1.5m ", "-5s", "+5s", " 90", "90 ", "1000000000",
          // parts out of range or out of order
          "1h61m", "2m60s", "1h2m60s", "1:60", "30s2m", "1m1h", "1h1h",
          // other shapes
          "2m30", "1:00:05", "2:5", "1:005", ":30", "1::2", "1:", "90S", "5x", "abc", "h", "1hm",
          "1h 2m"}) {
        EXPECT_FALSE(ParseDurationText(bad)) << '"' << bad << '"';
    }
    EXPECT_EQ(MinutesSecondsText(150.9), "02:30");
    EXPECT_EQ(MinutesSecondsText(6000), "100:00");
    EXPECT_EQ(MinutesSecondsText(-3), "00:00");
}

TEST(StartTrigger, ConditionsParseAndWatchWholeFrames) {
    const auto light = ParseStartCondition("first-light");
    ASSERT_TRUE(light);
    EXPECT_EQ(light->kind, StartTrigger::Kind::FirstLight);
    const auto channel = ParseStartCondition(" 5/1 >= 128 ");
    ASSERT_TRUE(channel);
    EXPECT_EQ(*channel, (StartTrigger{StartTrigger::Kind::Channel, 5, 1, 128, false}));
    EXPECT_EQ(DescribeStartTrigger(*channel), "universe 5 channel 1 >= 128");
    for (const char* bad : {"", "5/1", "5/1>128", "5/0>=1", "5/513>=1", "5/1>=256", "32768/1>=1",
                            "x/1>=1", "5/1>=1x"}) {
        EXPECT_FALSE(ParseStartCondition(bad)) << bad;
    }

    // Universes 0 (4 channels) and 2 (2 channels): a 6-byte frame, universe 2 at offset 4.
    UniverseTable table{{0, 0, 4, 1}, {2, 0, 2, 1}};
    const PortLayout layout = ComputeFrameLayout(table, 1);
    TriggerWatch watch;
    StartTrigger t{StartTrigger::Kind::Channel, 2, 2, 100, true};
    ASSERT_TRUE(watch.Start(t, table, layout.frameLength));
    uint8_t frame[6] = {255, 255, 255, 255, 0, 99};
    EXPECT_TRUE(watch.Armed());
    EXPECT_FALSE(watch.Fires(frame));
    frame[5] = 100;
    EXPECT_TRUE(watch.Fires(frame));
    EXPECT_FALSE(watch.Armed());
    EXPECT_FALSE(watch.Released(frame));
    frame[5] = 99;
    EXPECT_TRUE(watch.Released(frame));

    // A channel Parse did not find cannot start anything.
    EXPECT_FALSE(watch.Start({StartTrigger::Kind::Channel, 1, 1, 1, false}, table, 6));
    const Status beyond = watch.Start({StartTrigger::Kind::Channel, 2, 3, 1, false}, table, 6);
    ASSERT_FALSE(beyond);
    EXPECT_EQ(beyond.error(),
              "The start trigger watches channel 3 of universe 2, which sends only 2 channels.");

    ASSERT_TRUE(watch.Start({StartTrigger::Kind::FirstLight}, table, 6));
    const uint8_t dark[6] = {};
    EXPECT_FALSE(watch.Fires(dark));
    const uint8_t glow[6] = {0, 0, 0, 0, 0, 1};
    EXPECT_TRUE(watch.Fires(glow));
    EXPECT_FALSE(watch.Released(dark));  // first light has no release

    ASSERT_TRUE(watch.Start({}, table, 6));
    EXPECT_FALSE(watch.Armed());
}

TEST(FrameLayout, LayoutInUseNamesEachPortsUniversesAndBytes) {
    UniverseTable table{{0, 0, 512, 1}, {1, 0, 512, 1}, {2, 0, 100, 1}, {5, 0, 30, 1}};
    const PortLayout layout = ComputeFrameLayout(table, 2);
    EXPECT_EQ(LayoutInUseLines(table, layout, 2),
              (std::vector<std::string>{
                  "Layout in use: 2 universes per port, 3 ports, 1154 bytes per frame.",
                  "Port 1: universes 0-1, 1024 bytes.", "Port 2: universes 2, 100 bytes.",
                  "Port 3: universes 5, 30 bytes."}));
}

TEST(InputMonitor, CountsEachUniverseAndSenderAndRatesComeFromReadings) {
    InputMonitor monitor;
    InputRates rates;
    const uint8_t data[4] = {1, 200, 3, 4};
    const uint32_t a = 0x0A000001;
    const uint32_t b = 0x0A000002;
    // Two frames of universe 1 from a, one packet of universe 1 from b, one of universe 0.
    monitor.Observe(1, a, 5, 1'000'000, data, 4);
    monitor.Observe(1, a, 5, 1'000'100, data, 4);
    monitor.Observe(1, a, 6, 1'025'000, data, 2);
    monitor.Observe(1, b, 0, 1'030'000, data, 4);
    monitor.Observe(0, a, 6, 1'030'000, data, 1);
    auto rows = rates.Sample(monitor.Read(), 2'000'000);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].universe, 0);
    EXPECT_EQ(rows[0].level, 1);
    EXPECT_EQ(rows[1].source, a);
    EXPECT_EQ(rows[1].length, 2);
    EXPECT_EQ(rows[1].level, 200);
    EXPECT_DOUBLE_EQ(rows[1].secondsSinceSeen, 0.975);
    EXPECT_EQ(rows[2].source, b);
    EXPECT_EQ(rows[1].packetsPerSecond, 0);  // one reading gives no rate yet

    // 40 packets and 20 sequence changes of universe 1 from a in the next half second.
    for (int i = 0; i < 40; ++i) {
        monitor.Observe(1, a, static_cast<uint8_t>(7 + i / 2), 2'000'000 + i * 10'000, data, 4);
    }
    rows = rates.Sample(monitor.Read(), 2'500'000);
    EXPECT_DOUBLE_EQ(rows[1].packetsPerSecond, 80);
    EXPECT_DOUBLE_EQ(rows[1].framesPerSecond, 40);
    EXPECT_DOUBLE_EQ(rows[2].packetsPerSecond, 0);

    // Another adapter: the old rows are gone at once, and the table fills anew.
    monitor.Clear();
    EXPECT_TRUE(monitor.Read().empty());
    monitor.Observe(9, b, 1, 3'000'000, data, 4);
    rows = rates.Sample(monitor.Read(), 3'000'000);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].universe, 9);

    // Every universe of the range from two senders is followed, nothing more is counted as
    // lost, and each pair keeps its own counters.
    monitor.Clear();
    const InputOrigin sacn{Protocol::Sacn, 0x0A000003, 0, 150};
    for (int u = 0; u < InputMonitor::kUniverses; ++u) {
        monitor.Observe(u, a, 1, 4'000'000, data, 4);
        monitor.Observe(u, b, 1, 4'000'000, data, 4, sacn);
    }
    monitor.Observe(InputMonitor::kUniverses - 1, b, 2, 4'000'000, data, 4, sacn);
    const std::vector<InputCounters> all = monitor.Read();
    ASSERT_EQ(all.size(), 2u * InputMonitor::kUniverses);
    EXPECT_EQ(monitor.Overflowed(), 0u);
    uint64_t packets = 0;
    for (const InputCounters& c : all) {
        packets += c.packets;
        if (c.source == b) {
            EXPECT_EQ(c.origin.priority, 150);
        }
    }
    EXPECT_EQ(packets, 2u * InputMonitor::kUniverses + 1);

    // Past its capacity it counts what it cannot show.
    for (uint32_t s = 0; s < 3; ++s) {
        for (int u = 0; u < InputMonitor::kUniverses; ++u) monitor.Observe(u, s, 1, 0, data, 4);
    }
    EXPECT_EQ(monitor.Read().size(), InputMonitor::kCapacity);
    EXPECT_EQ(monitor.Overflowed(), static_cast<uint64_t>(InputMonitor::kUniverses));
}

// A sender gone quiet is stale by the reading's clock, and the channel grid holds the latest
// packet of the selected universe only, as the port picture does of its universes.
TEST(InputMonitor, StaleRowsAndTheSelectedUniversesChannels) {
    InputMonitor monitor;
    InputRates rates;
    uint8_t data[512];
    for (int i = 0; i < 512; ++i) data[i] = static_cast<uint8_t>(i * 7);
    monitor.Observe(4, 1, 0, 1'000'000, data, 512);
    monitor.Observe(5, 1, 0, 2'900'000, data, 3);
    auto rows = rates.Sample(monitor.Read(), 3'000'001);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].stale);
    EXPECT_FALSE(rows[1].stale);

    EXPECT_EQ(monitor.Channels().universe, -1);
    monitor.SelectUniverse(5);
    EXPECT_EQ(monitor.Channels().universe, -1);  // nothing of it since
    monitor.Observe(4, 1, 1, 3'000'000, data, 512);
    monitor.Observe(5, 2, 1, 3'000'000, data + 1, 3);
    ChannelSnapshot grid = monitor.Channels();
    EXPECT_EQ(grid.universe, 5);
    EXPECT_EQ(grid.source, 2u);
    EXPECT_EQ(grid.length, 3);
    EXPECT_EQ(grid.values[2], data[3]);
    EXPECT_EQ(grid.values[3], 0);
    monitor.SelectUniverse(4);
    monitor.Observe(4, 1, 2, 3'100'000, data, 512);
    grid = monitor.Channels();
    EXPECT_EQ(grid.universe, 4);
    EXPECT_TRUE(std::equal(data, data + 512, grid.values.begin()));

    // The universes of a picture of the ports keep theirs beside it.
    monitor.WatchUniverses({5, 32767});
    monitor.Observe(32767, 1, 1, 3'200'000, data + 2, 8);
    EXPECT_EQ(monitor.WatchedChannels(5).universe, -1);  // nothing since
    EXPECT_EQ(monitor.WatchedChannels(32767).values[0], data[2]);
    EXPECT_EQ(monitor.WatchedChannels(4).universe, -1);  // not watched
}

}  // namespace
}  // namespace quorvex
