#include "recording/recorder_control.h"

namespace quorvex {

const char* PhaseName(Phase phase) {
    switch (phase) {
        case Phase::Idle:
            return "idle";
        case Phase::Surveying:
            return "surveying";
        case Phase::Recording:
            return "recording";
        case Phase::Paused:
            return "paused";
        case Phase::Stopping:
            return "stopping";
        case Phase::Halted:
            return "halted";
        case Phase::Finishing:
            break;
    }
    return "finishing";
}

namespace {

bool RecordingRuns(Phase p) {
    return p == Phase::Recording || p == Phase::Paused || p == Phase::Stopping ||
           p == Phase::Halted;
}

Transition Stay(ControlState s, Action a = Action::None) { return {s, a}; }

}  // namespace

Transition Next(ControlState s, Input input) {
    const Phase p = s.phase;
    switch (input) {
        case Input::Parse:
            if (p == Phase::Idle) return {{Phase::Surveying, s.paused}, Action::StartSurvey};
            if (p == Phase::Surveying) return Stay(s, Action::RefuseSecondSurvey);
            if (RecordingRuns(p)) return Stay(s, Action::RefuseWhileRecording);
            return Stay(s);

        case Input::Capture:
            switch (p) {
                case Phase::Idle:
                // A hot key reaches Capture in a halted recording: a new recording starts.
                case Phase::Halted:
                    return {{Phase::Recording, false}, Action::StartRecording};
                case Phase::Surveying:
                    return Stay(s, Action::RefuseWhileSurveying);
                case Phase::Paused:
                    return {{Phase::Recording, false}, Action::Resume};
                case Phase::Stopping:
                    // A Pause after the Stop can be taken back; the stop still happens.
                    if (s.paused) return {{Phase::Stopping, false}, Action::Resume};
                    return Stay(s);
                case Phase::Recording:
                case Phase::Finishing:
                    break;
            }
            return Stay(s);

        case Input::Pause:
            if (p == Phase::Finishing) return Stay(s);
            // Whatever runs: a Pause while idle holds until the next Capture.
            return {{p == Phase::Recording ? Phase::Paused : p, true}, Action::Pause};

        case Input::Stop:
            if (RecordingRuns(p) && p != Phase::Stopping) {
                return {{Phase::Stopping, false}, Action::RequestStop};
            }
            return Stay(s);

        case Input::Close:
            return {{Phase::Idle, false}, Action::Shutdown};

        case Input::SurveyEnded:
            if (p == Phase::Surveying) return {{Phase::Idle, s.paused}, Action::ReportSurvey};
            return Stay(s);

        case Input::RecordingEnded:
            if (RecordingRuns(p)) return {{Phase::Stopping, false}, Action::StartTicks};
            return Stay(s);

        case Input::RecordingHalted:
            if (p == Phase::Recording || p == Phase::Paused) return {{Phase::Halted, s.paused}};
            return Stay(s);

        case Input::TickWhileRunning:
            if (p == Phase::Stopping) return Stay(s, Action::ForceStop);
            return Stay(s);

        case Input::TickAfterEnd:
            if (p == Phase::Stopping) return {{Phase::Finishing, s.paused}, Action::Finish};
            return Stay(s);

        case Input::FinishDone:
            if (p == Phase::Finishing) return {{Phase::Idle, false}};
            return Stay(s);
    }
    return Stay(s);
}

ButtonStates ButtonsFor(ControlState s) {
    constexpr ButtonStates kIdle{true, true, false, false};
    constexpr ButtonStates kRecording{false, false, true, true};
    constexpr ButtonStates kPaused{false, true, false, true};
    switch (s.phase) {
        case Phase::Idle:
        case Phase::Surveying:
            return s.paused ? kPaused : kIdle;
        case Phase::Recording:
            return kRecording;
        case Phase::Paused:
            return kPaused;
        case Phase::Stopping:
        case Phase::Halted:
            return s.paused ? kPaused : kRecording;
        case Phase::Finishing:
            break;
    }
    return kIdle;
}

}  // namespace quorvex
