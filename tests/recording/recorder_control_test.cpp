// The recorder's phase machine, one row per transition, and the silence a live recording
// tells, on a clock the test turns.

#include "recording/recorder_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording/silence_watch.h"

namespace quorvex {
namespace {

using P = Phase;
using I = Input;
using A = Action;

struct Row {
    ControlState from;
    Input input;
    ControlState to;
    Action action;
};

constexpr ControlState S(P p, bool paused = false) { return {p, paused}; }

const Row kRows[] = {
    // Parse.
    {S(P::Idle), I::Parse, S(P::Surveying), A::StartSurvey},
    {S(P::Surveying), I::Parse, S(P::Surveying), A::RefuseSecondSurvey},
    {S(P::Recording), I::Parse, S(P::Recording), A::RefuseWhileRecording},
    {S(P::Paused, true), I::Parse, S(P::Paused, true), A::RefuseWhileRecording},
    {S(P::Halted), I::Parse, S(P::Halted), A::RefuseWhileRecording},
    {S(P::Surveying), I::SurveyEnded, S(P::Idle), A::ReportSurvey},
    {S(P::Idle), I::SurveyEnded, S(P::Idle), A::None},
    // Capture starts, resumes, or is refused while a survey runs.
    {S(P::Idle), I::Capture, S(P::Recording), A::StartRecording},
    {S(P::Surveying), I::Capture, S(P::Surveying), A::RefuseWhileSurveying},
    {S(P::Recording), I::Capture, S(P::Recording), A::None},
    {S(P::Paused, true), I::Capture, S(P::Recording), A::Resume},
    {S(P::Finishing), I::Capture, S(P::Finishing), A::None},
    // A hot key bypasses the disabled button: Capture in a halted recording starts anew.
    {S(P::Halted), I::Capture, S(P::Recording), A::StartRecording},
    // Pause whatever runs; while idle it holds until the next Capture.
    {S(P::Recording), I::Pause, S(P::Paused, true), A::Pause},
    {S(P::Idle), I::Pause, S(P::Idle, true), A::Pause},
    {S(P::Idle, true), I::Stop, S(P::Idle, true), A::None},
    {S(P::Idle, true), I::Capture, S(P::Recording), A::StartRecording},
    {S(P::Surveying), I::Pause, S(P::Surveying, true), A::Pause},
    {S(P::Halted), I::Pause, S(P::Halted, true), A::Pause},
    // Stop waits for a frame boundary; the finish tick forces it or finishes.
    {S(P::Recording), I::Stop, S(P::Stopping), A::RequestStop},
    {S(P::Paused, true), I::Stop, S(P::Stopping), A::RequestStop},
    {S(P::Halted, true), I::Stop, S(P::Stopping), A::RequestStop},
    {S(P::Stopping), I::Stop, S(P::Stopping), A::None},
    {S(P::Idle), I::Stop, S(P::Idle), A::None},
    {S(P::Stopping), I::Pause, S(P::Stopping, true), A::Pause},
    {S(P::Stopping, true), I::Capture, S(P::Stopping), A::Resume},
    {S(P::Stopping), I::Capture, S(P::Stopping), A::None},
    {S(P::Stopping), I::TickWhileRunning, S(P::Stopping), A::ForceStop},
    {S(P::Stopping), I::TickAfterEnd, S(P::Finishing), A::Finish},
    {S(P::Recording), I::TickAfterEnd, S(P::Recording), A::None},
    {S(P::Finishing), I::FinishDone, S(P::Idle), A::None},
    // The recording ends by itself (frame limit, end of source, failed write) or halts.
    {S(P::Recording), I::RecordingEnded, S(P::Stopping), A::StartTicks},
    {S(P::Halted), I::RecordingEnded, S(P::Stopping), A::StartTicks},
    {S(P::Recording), I::RecordingHalted, S(P::Halted), A::None},
    {S(P::Paused, true), I::RecordingHalted, S(P::Halted, true), A::None},
    {S(P::Stopping), I::RecordingHalted, S(P::Stopping), A::None},
    // Closing ends everything.
    {S(P::Recording), I::Close, S(P::Idle), A::Shutdown},
    {S(P::Surveying, true), I::Close, S(P::Idle), A::Shutdown},
};

TEST(RecorderControl, EveryTransition) {
    for (const Row& row : kRows) {
        const Transition t = Next(row.from, row.input);
        EXPECT_EQ(t.next, row.to) << PhaseName(row.from.phase) << " paused=" << row.from.paused
                                  << " input " << static_cast<int>(row.input) << " gave "
                                  << PhaseName(t.next.phase) << " paused=" << t.next.paused;
        EXPECT_EQ(t.action, row.action)
            << PhaseName(row.from.phase) << " input " << static_cast<int>(row.input);
    }
}

TEST(RecorderControl, ButtonsFollowThePhase) {
    const ButtonStates idle{true, true, false, false};
    const ButtonStates recording{false, false, true, true};
    const ButtonStates paused{false, true, false, true};
    EXPECT_EQ(ButtonsFor(S(P::Idle)), idle);
    EXPECT_EQ(ButtonsFor(S(P::Surveying)), idle);
    EXPECT_EQ(ButtonsFor(S(P::Finishing)), idle);
    EXPECT_EQ(ButtonsFor(S(P::Recording)), recording);
    EXPECT_EQ(ButtonsFor(S(P::Stopping)), recording);
    EXPECT_EQ(ButtonsFor(S(P::Halted)), recording);
    EXPECT_EQ(ButtonsFor(S(P::Paused, true)), paused);
    EXPECT_EQ(ButtonsFor(S(P::Idle, true)), paused);  // Pause while idle
    EXPECT_EQ(ButtonsFor(S(P::Stopping, true)), paused);
    EXPECT_EQ(ButtonsFor(S(P::Halted, true)), paused);
}

// Two seconds without a frame are told once, and so is their end; a pause is no silence,
// also across the clock's wrap.
TEST(SilenceWatch, ToldOnceAfterTwoSecondsAndOnceWhenFramesComeBack) {
    std::vector<std::string> told;
    const auto say = [&](const std::string& line) { told.push_back(line); };
    const std::string silent = "No frame for 2 s: is the show still sending to lo?";
    const std::string again = "Frames arrive again.";
    const uint32_t t0 = 0xFFFFF000u;  // 4 s before the clock wraps
    SilenceWatch watch("lo", t0);
    watch.Frame(t0 + 100, say);
    watch.Look(false, t0 + 2099, say);
    EXPECT_TRUE(told.empty());
    // Paused for 2.5 s, then resumed: the pause counts for nothing.
    watch.Look(true, t0 + 2100, say);
    watch.Look(true, t0 + 4600, say);
    watch.Look(false, t0 + 4700, say);
    EXPECT_TRUE(told.empty());
    watch.Look(false, t0 + 6599, say);
    EXPECT_TRUE(told.empty());
    watch.Look(false, t0 + 6600, say);
    watch.Look(false, t0 + 9000, say);
    EXPECT_EQ(told, std::vector<std::string>{silent});
    watch.Frame(t0 + 9100, say);
    watch.Frame(t0 + 9125, say);
    EXPECT_EQ(told, (std::vector<std::string>{silent, again}));
    watch.Look(false, t0 + 11124, say);
    EXPECT_EQ(told.size(), 2u);
    watch.Look(false, t0 + 11125, say);
    EXPECT_EQ(told, (std::vector<std::string>{silent, again, silent}));

    // A capture file's pauses say nothing about the show.
    SilenceWatch file("", 0);
    file.Look(false, 60000, say);
    file.Frame(60001, say);
    EXPECT_EQ(told.size(), 3u);
}

}  // namespace
}  // namespace quorvex
