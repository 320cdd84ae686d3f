// The recorder's phase machine, one row per transition.

#include "recording/recorder_control.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quorvex
