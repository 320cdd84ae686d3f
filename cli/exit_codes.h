#pragma once
// Exit codes of quorvex-cli; scripts rely on them, so values never change.

#include "platform/text_catalogue.h"

namespace quorvex::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,         // bad command line
    kExitRefused = 2,       // the recorder raised an alert, or a refused --target
    kExitSource = 3,        // the interface or capture file could not be opened
    kExitInvalid = 4,       // inspect: not a valid recording
    kExitNoData = 5,        // no Art-Net found in time, or nothing recorded
    kExitIo = 6,            // a file or socket could not be read or written
    kExitNotWhole = 7,      // record --strict: frames incomplete or missing upstream
    kExitInterrupted = 130  // Ctrl-C before anything could be saved
};

inline constexpr const char* kExitCodeHelp = TrLater(
    "Exit codes:\n"
    "  0    success (also a saved recording whose notes could not be written: a warning)\n"
    "  1    usage error\n"
    "  2    the recorder refused (a message box in the window), the output exists (see\n"
    "       --overwrite) or its folder does not (see --mkdir), or --target is refused\n"
    "  3    the interface or capture file could not be opened\n"
    "  4    inspect: not a valid recording; --repair: not one a repair can make valid (the\n"
    "       file is left as it was)\n"
    "  5    no Art-Net data: the survey timed out or found no universe, or no frame was "
    "recorded\n"
    "  6    a file or socket could not be read or written, also when a recording was cut short\n"
    "       by a failed write or a broken capture file (what was recorded is saved), or could\n"
    "       not be synced, counted or moved (the message says where it is)\n"
    "  7    record --strict: a recorded frame is incomplete or frames went missing upstream\n"
    "       (the recording is saved)\n"
    "  130  interrupted (Ctrl-C) before anything could be saved");

}  // namespace quorvex::cli
