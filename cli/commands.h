#pragma once
// The commands of quorvex-cli, each returning its exit code (cli/exit_codes.h).

#include <optional>
#include <string>

#include "analysis/start_trigger.h"
#include "cli/pattern_sender.h"
#include "recording/frame_writer.h"
#include "recording/recording_notes.h"

namespace quorvex::cli {

struct DevicesOptions {
    bool verbose = false;  // show the capture library's per-address lines on stderr
    bool json = false;     // one JSON document on stdout instead of the list
    bool all = false;      // also devices that frame no Ethernet (any, D-Bus, netfilter...)
};

struct RecorderOptions {
    std::string interface;  // exactly one of interface and file
    std::string file;
    int universesPerPort = 6;
    double timeoutSeconds = -1;  // survey time-out; < 0: 10 s for an interface, none for a file
    bool verbose = false;
    bool json = false;  // parse only: the report as one JSON document, the log on stderr
    // record only
    std::string output;
    bool makeFolder = false;  // create the folder of `output` when it does not exist
    unsigned frames = 200;
    int icTypeIndex = 1;  // position in the IC type list: DMX512, SPI&TTL, TM1814
    bool rgbw = false;
    bool overwrite = false;                     // an existing output may be replaced
    unsigned bufferMb = kDefaultFrameBufferMb;  // frames waiting for the disk, in MiB
    bool strict = false;                        // a recording that is not whole fails the run
    double durationSeconds = 0;                 // recorded show time that ends it; 0: none
    bool untilStopped = false;                  // only Ctrl-C or the header's limit ends it
    StartTrigger start;
    int sacnOffset = kDefaultSacnOffset;  // sACN universe N is recorded as N - this
    bool join = false;                    // join the surveyed sACN universes' groups
    std::vector<int> joinUniverses;       // sACN universes to join before the survey
    UniverseSelection selection;          // --first-universe or --universes
    int controllerPorts = 0;              // the controller's outputs; 0: not given
};

// How a recording starts and ends, as typed on the command line.
struct RecordLimitsText {
    std::optional<unsigned> frames;       // --frames, when given
    std::optional<std::string> duration;  // --duration, when given (empty is no duration)
    bool untilStopped = false;
    std::optional<std::string> startWhen;  // --start-when, when given; nothing: at once
    bool stopWhenReleased = false;
};

// Sets frames, durationSeconds, untilStopped and start of `o`. Empty, or the usage error.
std::string ApplyRecordLimits(const RecordLimitsText& text, RecorderOptions& o);

struct MonitorOptions {
    std::string interface;
    double seconds = 0;           // 0: until Ctrl-C
    bool json = false;            // one JSON document at the end, nothing before
    std::optional<int> universe;  // show this universe's channels too
};

struct InspectOptions {
    std::string path;
    bool json = false;
    bool repair = false;  // first count the whole frames in the header, drop a partial one
};

struct SendOptions {
    std::string target;  // target or multicast, or pcap with at most one of them
    bool multicast = false;
    std::string pcap;
    bool allowNetwork = false;
    PatternOptions pattern;
};

int RunDevices(const DevicesOptions& options);
int RunParse(const RecorderOptions& options);
int RunRecord(const RecorderOptions& options);
int RunMonitor(const MonitorOptions& options);
int RunInspect(const InspectOptions& options);
// inspect's lines for the notes beside a recording, read from `path`.
std::string NotesText(const RecordingNotes& notes, const std::string& path);
int RunSend(const SendOptions& options);

}  // namespace quorvex::cli
