#pragma once
// What the recording logic asks of the main window. The Qt window, the command-line
// recorder and the tests' double each provide it.

#include <optional>
#include <string>

namespace quorvex {

// Choice lists the logic reads by selected index.
enum class ListId { Ip = 1000, IcType = 1006, Universes = 1008 };

// Command buttons, by control id.
enum class ButtonId { Parse = 1001, Pause = 1002, Stop = 1003, Capture = 1004 };

// Messages posted from worker threads to the window thread.
enum class WindowMessage : unsigned { ParseFinished = 0x0402, FrameWritten = 0x0403 };

inline constexpr int kTimerAutoSelect = 2;
inline constexpr int kTimerFinish = 3;
inline constexpr int kTimerPeriodMs = 500;
inline constexpr int kNoSelection = -1;  // what a list without selection reports

// The two fields that travel between window and logic by data exchange.
struct BoundFields {
    std::string frameNum;      // current-frame display
    unsigned maxFrames = 200;  // Capture Frames field
};

// Receives what the window delivers on its own thread: posted messages and timer ticks.
class IWindowTarget {
  public:
    virtual ~IWindowTarget() = default;
    virtual void OnWindowMessage(WindowMessage message) = 0;
    virtual void OnTimer(int id) = 0;
};

class IWindowServices {
  public:
    virtual ~IWindowServices() = default;

    // Appends one line to the log pane. Safe from any thread; lines never interleave.
    virtual void AppendLog(const std::string& text) = 0;
    // Queues a message for the window thread. Safe from any thread; never blocks.
    virtual void PostMessage(WindowMessage message) = 0;

    // Selected index of a list, or kNoSelection.
    virtual int GetCurSel(ListId list) const = 0;
    // Text in a list's edit field (the Universes/Port list can be typed into).
    virtual std::string GetListText(ListId list) const = 0;
    virtual void ResetContent(ListId list) = 0;
    virtual void AddString(ListId list, const std::string& text) = 0;
    virtual void SetCurSel(ListId list, int index) = 0;

    virtual void EnableButton(ButtonId button, bool enable) = 0;
    // Modal, OK only, captioned with the application name. Window thread only.
    virtual void MessageBox(const std::string& text) = 0;

    // Arms a 500 ms periodic timer; safe from any thread. Kill from the window thread.
    virtual void SetTimer(int id) = 0;
    virtual void KillTimer(int id) = 0;

    // Push: writes both fields into the window.
    virtual void PushFields(const BoundFields& fields) = 0;
    // Pull: reads both fields. A Capture Frames text that is not an unsigned whole number
    // tells the user, keeps fields.maxFrames and returns false.
    virtual bool PullFields(BoundFields& fields) = 0;

    // Save As: the chosen full path, or nothing when the user cancels.
    virtual std::optional<std::string> AskSavePath(const std::string& defaultName) = 0;
};

}  // namespace quorvex
