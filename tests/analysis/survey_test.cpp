#include <gtest/gtest.h>

#include "analysis/universe_survey.h"
#include "capture/art_packet.h"
#include "tests/support/traffic_builder.h"

namespace quorvex {
namespace {

using test::Bytes;

// An ArtDmx record as the packet reader leaves it.
struct Record {
    Bytes bytes;
    uint32_t source = 0;  // the sender's IPv4 address
    uint16_t length() const { return static_cast<uint16_t>(bytes.size()); }
};

Record Dmx(int universe, uint8_t seq, int channels, uint32_t source = 0) {
    Bytes payload = test::ArtDmx(universe, seq, Bytes(static_cast<size_t>(channels), 0x11));
    return Record{test::RecordOf(payload), source};
}

Record DmxNet(uint8_t net, uint8_t subUni, uint8_t seq, int channels) {
    test::ArtDmxFields f;
    f.net = net;
    f.subUni = subUni;
    f.sequence = seq;
    f.data.assign(static_cast<size_t>(channels), 1);
    Bytes payload = test::ArtDmx(f);
    return Record{test::RecordOf(payload)};
}

bool Feed(UniverseSurvey& s, const Record& r) {
    return s.Feed(r.bytes.data(), r.length(), r.source);
}

TEST(UniverseSurvey, RecordsExactlyTheFrameAfterTheFirstBoundary) {
    UniverseTable table;
    UniverseSurvey survey(table);
    survey.Reset();
    // Frame in progress (seq 7) is skipped, frame seq 8 is surveyed, seq 9 ends it.
    EXPECT_FALSE(Feed(survey, Dmx(3, 7, 512)));
    EXPECT_FALSE(Feed(survey, Dmx(4, 7, 512)));
    EXPECT_FALSE(Feed(survey, Dmx(1, 8, 510)));
    EXPECT_FALSE(Feed(survey, Dmx(0, 8, 512)));
    EXPECT_FALSE(Feed(survey, Dmx(2, 8, 0)));  // no data: not noted
    EXPECT_TRUE(Feed(survey, Dmx(1, 9, 510)));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].universe, 1);
    EXPECT_EQ(table[0].length, 510);
    EXPECT_EQ(table[1].universe, 0);
    EXPECT_EQ(table[1].length, 512);
}

TEST(UniverseSurvey, SequenceChangingOnEveryPacketGivesOneSlot) {
    UniverseTable table;
    UniverseSurvey survey(table);
    EXPECT_FALSE(Feed(survey, Dmx(5, 1, 100)));
    EXPECT_FALSE(Feed(survey, Dmx(5, 2, 100)));
    EXPECT_TRUE(Feed(survey, Dmx(5, 3, 100)));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].universe, 5);
}

TEST(UniverseSurvey, RepeatedUniverseKeepsOneSlotWithTheLongestLength) {
    UniverseTable table;
    UniverseSurvey survey(table);
    Feed(survey, Dmx(0, 1, 512));
    Feed(survey, Dmx(0, 2, 100));
    Feed(survey, Dmx(1, 2, 512));
    Feed(survey, Dmx(0, 2, 300));
    EXPECT_TRUE(Feed(survey, Dmx(0, 3, 512)));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].universe, 0);
    EXPECT_EQ(table[0].length, 300);
}

TEST(UniverseSurvey, EachUniverseIsBoundToTheSenderThatNumbersItsFrames) {
    constexpr uint32_t kShow = 0x0A000001, kOther = 0x0A000002, kUnnumbered = 0x0A000003;
    UniverseTable table;
    UniverseSurvey survey(table);
    EXPECT_FALSE(Feed(survey, Dmx(0, 7, 512, kShow)));
    // Sequence 0 (sequencing off) neither starts nor ends the surveyed frame.
    EXPECT_FALSE(Feed(survey, Dmx(0, 0, 512, kUnnumbered)));
    EXPECT_FALSE(Feed(survey, Dmx(0, 8, 512, kShow)));
    EXPECT_FALSE(Feed(survey, Dmx(1, 0, 100, kUnnumbered)));
    EXPECT_FALSE(Feed(survey, Dmx(1, 8, 510, kShow)));
    EXPECT_FALSE(Feed(survey, Dmx(0, 8, 530, kOther)));
    EXPECT_FALSE(Feed(survey, Dmx(2, 0, 64, kUnnumbered)));
    EXPECT_TRUE(Feed(survey, Dmx(0, 9, 512, kShow)));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].source, kShow);
    EXPECT_EQ(table[0].length, 512);  // the other sender's longer data is not its
    EXPECT_EQ(table[1].source, kShow);
    EXPECT_EQ(table[1].length, 510);
    EXPECT_EQ(table[2].source, kUnnumbered);  // nobody else sends universe 2
}

TEST(UniverseSurvey, TopBitOfNetIsIgnoredAndResetEmptiesTheTable) {
    UniverseTable table;
    UniverseSurvey survey(table);
    Feed(survey, DmxNet(0x80, 0x03, 1, 10));
    Feed(survey, DmxNet(0x80, 0x03, 2, 10));
    Feed(survey, DmxNet(0x81, 0x05, 2, 10));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].universe, 3);
    EXPECT_EQ(table[1].universe, 261);
    survey.Reset();
    EXPECT_TRUE(table.empty());
    // After a reset the first packet only sets the sequence again.
    EXPECT_FALSE(Feed(survey, Dmx(0, 2, 10)));
    EXPECT_TRUE(table.empty());
}

std::vector<std::string> Report(const std::vector<std::pair<int, int>>& slots, int perPort) {
    UniverseTable t;
    for (auto [u, len] : slots) t.push_back({u, 0, static_cast<uint16_t>(len)});
    return SurveyReportLines(t, perPort);
}

TEST(SurveyReport, WorkedExamples) {
    std::vector<std::pair<int, int>> six, thirteen;
    for (int u = 0; u < 6; ++u) six.push_back({u, 512});
    for (int u = 0; u < 13; ++u) thirteen.push_back({u, 512});

    EXPECT_EQ(Report(six, 6),
              (std::vector<std::string>{
                  "Parse to 6 Universes", "Max universe num is:6",
                  "The current setting is that each port carries 6 universes，The capture file "
                  "will be set to 1 ports.",
                  "The length of each frame is 3072 bytes."}));
    EXPECT_EQ(Report({{1, 510}, {3, 510}}, 2),
              (std::vector<std::string>{
                  "Parse to 2 Universes", "Max universe num is:4",
                  "The current setting is that each port carries 2 universes，The capture file "
                  "will be set to 2 ports.",
                  "The length of each frame is 1020 bytes."}));
    const auto lines = Report(thirteen, 8);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Parse to 13 Universes");
    EXPECT_EQ(lines[1], "Max universe num is:13");
    EXPECT_NE(lines[2].find("carries 8 universes，The capture file will be set to 2 ports."),
              std::string::npos);
    EXPECT_EQ(lines[3], "The length of each frame is 6656 bytes.");
}

TEST(SurveyReport, EmptyTableAndInvalidPerPort) {
    EXPECT_EQ(Report({}, 6), std::vector<std::string>{"Parse to 0 Universes"});
    // Without a usable number of universes per port the ports line is left out.
    EXPECT_EQ(Report({{0, 512}}, 0),
              (std::vector<std::string>{"Parse to 1 Universes", "Max universe num is:1",
                                        "The length of each frame is 512 bytes."}));
}

}  // namespace
}  // namespace quorvex
