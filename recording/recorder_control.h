#pragma once
// The recorder's phases and how commands and worker events move it between them: one pure
// function, so that every transition can be read and tested in one place.

#include <cstdint>

namespace quorvex {

enum class Phase : uint8_t {
    Idle,       // nothing runs
    Surveying,  // Parse: the survey worker looks for one whole frame
    Recording,  // frames are assembled and written
    Paused,     // the recording runs but counts no frames
    Stopping,   // a stop was asked for (or the recording ended by itself): waiting to finish
    Halted,     // the recording met an error: nothing is counted until Stop
    Finishing,  // the finish step: Save As and saving
};
const char* PhaseName(Phase phase);

enum class Input : uint8_t {
    // Commands.
    Parse,
    Capture,
    Pause,
    Stop,
    Close,
    // Worker events, delivered on the control thread.
    SurveyEnded,
    RecordingEnded,   // at the frame limit, the end of the source, or a failed write
    RecordingHalted,  // an error in the incoming data
    // The 500 ms finish tick, while the recording thread still runs or once it has ended.
    TickWhileRunning,
    TickAfterEnd,
    FinishDone,
};

enum class Action : uint8_t {
    None,
    RefuseWhileRecording,  // "Currently Capturing , please stop and try！"
    RefuseSecondSurvey,    // "Parsing network packets, please wait for the result！"
    RefuseWhileSurveying,  // "Parsing network packets, please start again later！"
    StartSurvey,
    StartRecording,  // the preparations may still refuse; the phase changes only when it starts
    Resume,
    Pause,        // "Paused......"
    RequestStop,  // the recording ends at the next frame boundary; finish ticks start
    StartTicks,   // the recording ended by itself; finish ticks start
    ForceStop,    // no frame boundary came by the tick: end without one
    Finish,       // ticks end, the finish step runs
    ReportSurvey,
    Shutdown,
};

// `paused` is the Pause request: it outlives the Paused phase (Pause while idle, or during a
// stop) and decides which buttons show.
struct ControlState {
    Phase phase = Phase::Idle;
    bool paused = false;
    bool operator==(const ControlState&) const = default;
};

struct Transition {
    ControlState next;
    Action action = Action::None;
    bool operator==(const Transition&) const = default;
};

Transition Next(ControlState state, Input input);

struct ButtonStates {
    bool parse = true;
    bool capture = true;
    bool pause = false;
    bool stop = false;
    bool operator==(const ButtonStates&) const = default;
};

// The enabled command buttons in a state. The hot keys reach the commands whatever these say.
ButtonStates ButtonsFor(ControlState state);

}  // namespace quorvex
