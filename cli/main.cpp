// quorvex-cli: the headless recorder. Commands: devices, parse, monitor, record, inspect, send.

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <string>

#include "analysis/input_monitor.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/progress_line.h"
#include "cli/rgb_player.h"
#include "cli/rgb_preview.h"
#include "cli/serve.h"
#include "platform/capture_rights.h"
#include "platform/text_catalogue.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "platform/version.h"

using namespace quorvex::cli;
using quorvex::Format;
using quorvex::ParseUniverseList;
using quorvex::Tr;
using quorvex::TrLater;

namespace {

constexpr const char* kPatternHelp = TrLater(
    "Test pattern (frame f from 1, universe u, channel c from 0):\n"
    "  Art-Net sequence of frame f: 1 + (f - 1) mod 255 in every universe (0 with --no-sequence)\n"
    "  sACN sequence of frame f:    (f - 1) mod 256, counted per universe\n"
    "  channel c of universe u:     (5 f + 17 u + c) mod 256\n"
    "With --dark-frames N, frames 1 to N carry only zeros (a show before its first light).\n"
    "\n"
    "Art-Net (default): ArtDmx to UDP port 6454; --sync adds an ArtSync after each frame.\n"
    "sACN (--protocol sacn, ANSI E1.31): data packets to UDP port 5568 from source\n"
    "\"quorvex-cli\", priority 100. Universe u goes out as sACN universe u + --sacn-offset\n"
    "(default 1: sACN counts from 1, and the recorder takes sACN universe N as universe N - 1),\n"
    "which must lie in 1..63999. --sync adds a synchronization packet after each frame, its\n"
    "own sequence counting like a universe's, on universe --sync-address (default: the first\n"
    "sACN universe), which the data packets then name. --multicast sends sACN universe\n"
    "N = 256 hi + lo to the group 239.255.hi.lo, synchronization to its address's group: only\n"
    "on this host (out of the loopback device, TTL 0, looped back to local receivers) unless\n"
    "--allow-network, then out of the interface the routing table picks, TTL 1.\n"
    "\n"
    "--target sends UDP paced at the frame rate; only 127.0.0.0/8 unless --allow-network.\n"
    "--pcap writes the same traffic as Ethernet/IPv4/UDP frames from 2.0.0.1, stamped 1/fps\n"
    "apart, to --target when given, else Art-Net to 2.255.255.255 and sACN to the multicast\n"
    "groups (with their multicast MAC addresses).");

constexpr const char* kRecordHelp = TrLater(
    "Surveys the source (as Parse does), then records until --frames frames are written, the\n"
    "capture file ends, or Ctrl-C (or SIGTERM, SIGHUP, SIGQUIT), which stops at the next frame\n"
    "boundary and saves; a second Ctrl-C gives up and keeps the frames so far as temp.RGB. The\n"
    "working file temp.RGB is written in the folder of --output, counted in its header every\n"
    "second, then synced and moved to the final name: the extension becomes .RGB (show.rgb ->\n"
    "show.RGB). An existing output is refused without --overwrite. A temp.RGB that an earlier\n"
    "run left with frames is first moved aside as Unsaved-YYYYMMDD-HHMMSS.RGB; one that another\n"
    "recording is writing is refused. Log lines go to stdout, problems to stderr; nothing is\n"
    "ever asked.\n"
    "\n"
    "--duration ends the recording after that much recorded show time, by the packets' capture\n"
    "times, and --until-stopped only at Ctrl-C; without --frames the header's limit of 65535\n"
    "frames is the only other end, with it whichever comes first.\n"
    "--start-when first-light starts at the first frame with a channel above 0; U/C>=V (e.g.\n"
    "5/1>=128: universe 5, channel 1 of 1..512, value 0..255; quote it in a shell) at the first\n"
    "frame in which that channel reaches V. The channel must be one the survey found.\n"
    "--stop-when-released ends the recording at the first frame in which it is below V again;\n"
    "that frame is not recorded.");

constexpr const char* kServeHelp = TrLater(
    "Serves a page and a JSON API (under /api/) on --listen, 127.0.0.1:8080 by default. On any\n"
    "other address every request needs the token printed at start, kept in\n"
    "~/.config/quorvex/serve-token (mode 0600; put your own there to choose it). Requests\n"
    "from pages of other sites are refused. A stopped recording waits to be saved by name;\n"
    "after 10 s it is saved under the next free scene name. With --osc PORT it takes, from\n"
    "--osc-allow hosts: /quorvex/parse, /quorvex/record [int frames],\n"
    "/quorvex/record/duration float seconds, /quorvex/pause, /quorvex/stop,\n"
    "/quorvex/save string name; each is answered with /quorvex/status string phase, int\n"
    "frames. Ctrl-C ends it; a recording in progress is kept in temp.RGB.");

constexpr const char* kMonitorHelp = TrLater(
    "Opens the interface (no survey) and shows, per universe and sender, the protocol (for\n"
    "sACN the universe as sent beside the number it is recorded as), the sender's address,\n"
    "name (sACN source name, or the Art-Net node's short name once it answered a poll), sACN\n"
    "priority and CID, packets and frames per second, how long ago the last packet came and\n"
    "the highest channel value; a sender silent for more than 2 s reads \"stale\", and '*'\n"
    "marks the sender a recording takes the universe from. On a terminal the table is redrawn\n"
    "in place four times a second, and a sender silent for 10 s leaves it. --universe N adds the "
    "512 channels of universe N (as\n"
    "recorded) as a grid, changed values in reverse video. When it ends (--seconds, or Ctrl-C,\n"
    "which exits 0) it prints the table (and grid) once more with rates over the whole run;\n"
    "that is all it prints when stdout is no terminal. --json prints instead one JSON\n"
    "document: {\"interface\", \"seconds\", \"pairs\", \"complete\", \"cut\" (only when\n"
    "not complete), \"universes\": [{\"universe\", \"protocol\", \"sentUniverse\",\n"
    "\"source\", \"name\", \"cid\", \"priority\", \"recorded\", \"packets\",\n"
    "\"packetsPerSecond\", \"framesPerSecond\", \"lastSeenSecondsAgo\", \"stale\",\n"
    "\"length\", \"level\"}], \"channels\" (with --universe): {\"universe\", \"length\",\n"
    "\"channels\": [512 values]}}. Exits 5 when neither Art-Net nor sACN came at all.");

constexpr const char* kPreviewHelp = TrLater(
    "One row per frame, time running down; each port's bytes as pixels left to right (3 bytes\n"
    "RGB, 4 with RGBW, the white added), a grey line between ports, under a strip with the\n"
    "file name, frames, ports and pixels per port. A long recording is sampled to --max-rows.");

constexpr const char* kPlayHelp = TrLater(
    "Each frame goes out as ArtDmx packets sharing one sequence number, then an ArtSync, at\n"
    "the rate the notes beside the recording (FILE.RGB.json) measured, or --fps (40 without\n"
    "notes). The universes come from the notes too; without them port p's bytes go out as\n"
    "consecutive 512-byte universes from p x --universes-per-port. Targets outside\n"
    "127.0.0.0/8 need --allow-network. Ctrl-C stops.");

// Options of parse and record given as text, read once the command line is parsed.
struct SourceTexts {
    std::string joinUniverses;
    std::string universes;
};

void AddSourceOptions(CLI::App* sub, RecorderOptions& o, SourceTexts& texts) {
    CLI::App* source = sub->add_option_group("source", Tr("Where the Art-Net comes from (one)"));
    source->add_option("--interface", o.interface,
                       Tr("Capture device name, e.g. eth0 (see devices)"));
    source->add_option("--file", o.file, Tr("Capture file (pcap or pcapng) to read instead"))
        ->check(CLI::ExistingFile);
    source->require_option(1);
    sub->add_option("--universes-per-port", o.universesPerPort, Tr("Universes per controller port"))
        ->check(CLI::Range(1, 8))
        ->capture_default_str();
    sub->add_option("--timeout", o.timeoutSeconds,
                    Tr("Seconds the survey may wait for a whole frame (default 10 for an "
                       "interface, none for a file; 0: none)"))
        ->check(CLI::Range(0.0, 1e6));
    sub->add_flag("--verbose", o.verbose, Tr("Show the capture library's address lines on stderr"));
    sub->add_option("--sacn-offset", o.sacnOffset, Tr("sACN universe N is recorded as N - this"))
        ->check(CLI::Range(0, 63999))
        ->capture_default_str();
    sub->add_flag(
        "--join", o.join,
        Tr("Join the multicast groups of the sACN universes found (IGMP snooping switches)"));
    sub->add_option("--join-universes", texts.joinUniverses,
                    Tr("sACN universes whose groups to join before the survey, e.g. 1-8"));
    CLI::Option* first =
        sub->add_option("--first-universe", o.selection.first,
                        Tr("The universe port 1 begins with; lower ones are not recorded"))
            ->check(CLI::Range(0, 0x7FFF))
            ->capture_default_str();
    sub->add_option("--universes", texts.universes,
                    Tr("Only these universes, filling the ports in ascending order, e.g. "
                       "100-102,200"))
        ->excludes(first);
    sub->add_option("--controller-ports", o.controllerPorts,
                    Tr("Outputs of the controller: a layout that needs more is told (0: not "
                       "checked)"))
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
}

// CLI11's own words around the help texts, in their language; its error messages stay English.
// Before any option or subcommand is added, which take these over.
void TranslateHelpFrame(CLI::App& app) {
    const auto label = [&app](const char* key, const char* text) {
        app.get_formatter()->label(key, text);
    };
    label("Usage", Tr("Usage"));
    label("OPTIONS", Tr("OPTIONS"));
    label("SUBCOMMAND", Tr("SUBCOMMAND"));
    label("REQUIRED", Tr("REQUIRED"));
    label("Excludes", Tr("Excludes"));
    label("Needs", Tr("Needs"));
    label("Positionals", Tr("Positionals"));
    app.option_defaults()->group(Tr("Options"));
    app.set_help_flag("-h,--help", Tr("Print this help message and exit"));
}

}  // namespace

int main(int argc, char** argv) {
    // Before any text is made, and before any thread.
    quorvex::SetLanguage(quorvex::LanguageFromEnvironment());
    // A file size limit (ulimit -f) fails the write, which ends the recording with what it
    // holds saved and exit 6, instead of killing the run.
    std::signal(SIGXFSZ, SIG_IGN);
    // Capture rights are raised only while a device opens; no thread starts with them.
    quorvex::LowerCaptureRights();
    // Named here: usage lines would otherwise show argv[0], a build path.
    CLI::App app{Tr("quorvex-cli: records Art-Net DMX traffic into .RGB files for LED pixel "
                    "controllers, without a window."),
                 "quorvex-cli"};
    TranslateHelpFrame(app);
    app.set_version_flag("--version", std::string("quorvex-cli ") + quorvex::kQuorvexVersion,
                         Tr("Print the program's name and version and exit"));
    app.require_subcommand(1);
    app.footer(Tr(kExitCodeHelp));

    DevicesOptions devices;
    CLI::App* devicesCmd = app.add_subcommand(
        "devices",
        Tr("List the Ethernet-like capture devices: index, name, IPv4 address, description, "
           "link state; * marks the adapter the window would choose by itself"));
    devicesCmd->add_flag("--verbose", devices.verbose,
                         Tr("Show the capture library's address lines on stderr"));
    devicesCmd->add_flag("--json", devices.json, Tr("Print one JSON document instead of the list"));
    devicesCmd->add_flag("--all", devices.all,
                         Tr("Also list devices that carry no Ethernet frames (any, D-Bus, "
                            "netfilter, Bluetooth), from which nothing can be recorded"));

    RecorderOptions parse;
    CLI::App* parseCmd = app.add_subcommand(
        "parse", Tr("Survey which universes one frame carries and print the report"));
    SourceTexts parseTexts;
    AddSourceOptions(parseCmd, parse, parseTexts);
    parseCmd->add_flag("--json", parse.json,
                       Tr("Print the report as one JSON document; the log goes to stderr"));

    MonitorOptions monitor;
    CLI::App* monitorCmd = app.add_subcommand(
        "monitor",
        Tr("Show the Art-Net and sACN coming in on an interface, per universe and sender"));
    monitorCmd->footer(std::string(Tr(kMonitorHelp)) + "\n\n" + Tr(kExitCodeHelp));
    monitorCmd->add_option("--interface", monitor.interface, Tr("Capture device name, e.g. eth0"))
        ->required();
    monitorCmd
        ->add_option("--seconds", monitor.seconds, Tr("Seconds to watch (default: until Ctrl-C)"))
        ->check(CLI::Range(0.001, 1e7));
    monitorCmd->add_flag("--json", monitor.json,
                         Tr("Print one JSON document at the end, nothing else"));
    monitorCmd
        ->add_option("--universe", monitor.universe,
                     Tr("Show this universe's 512 channels too (the number as recorded)"))
        ->check(CLI::Range(0, quorvex::InputMonitor::kUniverses - 1));

    RecorderOptions record;
    std::string icType = "SPI&TTL";
    CLI::App* recordCmd =
        app.add_subcommand("record", Tr("Survey, then record frames into a .RGB file"));
    recordCmd->footer(std::string(Tr(kRecordHelp)) + "\n\n" + Tr(kExitCodeHelp));
    SourceTexts recordTexts;
    AddSourceOptions(recordCmd, record, recordTexts);
    recordCmd->add_option("--output", record.output, Tr("The .RGB file to save"))->required();
    recordCmd->add_flag(
        "--mkdir", record.makeFolder,
        Tr("Create the folder of --output (and its parents) when it does not exist"));
    RecordLimitsText limits;
    CLI::Option* recordFrames = recordCmd
                                    ->add_option("--frames", record.frames,
                                                 Tr("Frames to record (the header counts 16 bits)"))
                                    ->check(CLI::Range(1u, 65535u))
                                    ->capture_default_str();
    std::string durationText;
    CLI::Option* durationOpt =
        recordCmd->add_option("--duration", durationText,
                              Tr("Recorded time that ends the recording: 90, 90s, 2m30s, 1h2m3s "
                                 "or 02:30"));
    recordCmd->add_flag("--until-stopped", limits.untilStopped,
                        Tr("Record until Ctrl-C, or the header's limit of 65535 frames"));
    std::string startWhenText;
    CLI::Option* startWhenOpt =
        recordCmd->add_option("--start-when", startWhenText,
                              Tr("Wait for first-light, or for a channel: U/C>=V, e.g. 5/1>=128"));
    recordCmd->add_flag("--stop-when-released", limits.stopWhenReleased,
                        Tr("With --start-when U/C>=V: end when the channel falls below V again"));
    recordCmd->add_option("--ic-type", icType, Tr("IC type written into the header"))
        ->check(CLI::IsMember({"DMX512", "SPI&TTL", "TM1814"}))
        ->capture_default_str();
    recordCmd->add_flag("--rgbw", record.rgbw, Tr("Mark the ports as RGBW"));
    recordCmd->add_flag("--overwrite", record.overwrite,
                        Tr("Replace the output file when it exists (a run that records no frame "
                           "never replaces it)"));
    recordCmd
        ->add_option("--buffer-mb", record.bufferMb,
                     Tr("Memory for frames waiting for the disk, in MiB (at least two frames): "
                        "a stalled disk holds up the recording only once it is full"))
        ->check(CLI::Range(1u, 1048576u))
        ->capture_default_str();
    recordCmd->add_flag(
        "--strict", record.strict,
        Tr("Exit 7 when the recording is not whole: a recorded frame is incomplete, or "
           "frames or packets were lost on this machine"));

    InspectOptions inspect;
    CLI::App* inspectCmd =
        app.add_subcommand("inspect", Tr("Check a .RGB file and print its header"));
    inspectCmd->add_option("FILE", inspect.path, Tr("The recording"))->required();
    inspectCmd->add_flag("--json", inspect.json, Tr("Print one JSON object"));
    inspectCmd->add_flag("--repair", inspect.repair,
                         Tr("First set the header's frame count to the whole frames the file holds "
                            "and drop a partial frame at its end (a recording left by a crash)"));

    PreviewOptions preview;
    CLI::App* previewCmd = app.add_subcommand(
        "preview", Tr("Draw a recording as a PNG: a row per frame, time running down"));
    previewCmd->footer(Tr(kPreviewHelp));
    previewCmd->add_option("FILE", preview.path, Tr("The recording"))->required();
    previewCmd->add_option("--output", preview.output, Tr("The PNG to write (default FILE.png)"));
    previewCmd
        ->add_option("--every", preview.every, Tr("Draw every Nth frame (default: as needed)"))
        ->check(CLI::Range(1u, 65535u));
    previewCmd
        ->add_option("--max-rows", preview.maxRows, Tr("Rows at most when --every is not given"))
        ->check(CLI::Range(1u, 65535u))
        ->capture_default_str();
    previewCmd->add_flag("--overwrite", preview.overwrite, Tr("Replace the PNG when it exists"));

    PlayOptions play;
    CLI::App* playCmd =
        app.add_subcommand("play", Tr("Send a recording as Art-Net, an ArtSync after each frame"));
    playCmd->footer(std::string(Tr(kPlayHelp)) + "\n\n" + Tr(kExitCodeHelp));
    playCmd->add_option("FILE", play.path, Tr("The recording"))->required();
    playCmd->add_option("--target", play.target, Tr("IPv4 address to send to (port 6454)"))
        ->capture_default_str();
    playCmd
        ->add_option("--fps", play.fps,
                     Tr("Frames per second (default: the rate in the notes, else 40)"))
        ->check(CLI::Range(0.001, 1000.0));
    playCmd->add_flag("--loop", play.loop, Tr("Start again after the last frame, until Ctrl-C"));
    playCmd->add_flag("--allow-network", play.allowNetwork,
                      Tr("Allow a --target outside 127.0.0.0/8"));
    playCmd
        ->add_option("--universes-per-port", play.universesPerPort,
                     Tr("Without notes: port p goes out from universe p x this"))
        ->check(CLI::Range(1, 8))
        ->capture_default_str();

    SendOptions send;
    std::string universes = "0-5";
    double duration = 0;
    std::string protocol = "artnet";
    CLI::App* sendCmd =
        app.add_subcommand("send", Tr("Send or write the test pattern as Art-Net or sACN"));
    sendCmd->footer(std::string(Tr(kPatternHelp)) + "\n\n" + Tr(kExitCodeHelp));
    CLI::App* dest = sendCmd->add_option_group(
        "destination", Tr("Where the pattern goes (--pcap may take one more)"));
    CLI::Option* targetOpt =
        dest->add_option("--target", send.target,
                         Tr("IPv4 address to send UDP to (with --pcap: to write in the frames)"));
    CLI::Option* multicastOpt = dest->add_flag(
        "--multicast", send.multicast, Tr("sACN: each universe to its group 239.255.hi.lo"));
    multicastOpt->excludes(targetOpt);
    dest->add_option("--pcap", send.pcap, Tr("Capture file to write instead of sending"));
    dest->require_option(1, 2);
    sendCmd->add_option("--protocol", protocol, Tr("artnet or sacn"))
        ->check(CLI::IsMember({"artnet", "sacn"}))
        ->capture_default_str();
    sendCmd->add_flag("--allow-network", send.allowNetwork,
                      Tr("Allow a --target outside 127.0.0.0/8, multicast beyond this host"));
    sendCmd->add_option("--universes", universes, Tr("Universes, e.g. 0-5,8,10"))
        ->capture_default_str();
    sendCmd->add_option("--channels", send.pattern.channels, Tr("Channels per universe"))
        ->check(CLI::Range(1, 512))
        ->capture_default_str();
    sendCmd->add_option("--fps", send.pattern.fps, Tr("Frames per second"))
        ->check(CLI::Range(0.001, 10000.0))
        ->capture_default_str();
    CLI::Option* framesOpt = sendCmd
                                 ->add_option("--frames", send.pattern.frames,
                                              Tr("Frames to send (default 200); 0: until Ctrl-C"))
                                 ->check(CLI::Range(0u, 100000000u));
    sendCmd->add_option("--duration", duration, Tr("Seconds to send instead of --frames"))
        ->check(CLI::Range(0.001, 1e7))
        ->excludes(framesOpt);
    CLI::Option* syncOpt =
        sendCmd->add_flag("--sync", send.pattern.sync,
                          Tr("An ArtSync or sACN synchronization packet after each frame"));
    sendCmd
        ->add_option("--dark-frames", send.pattern.darkFrames,
                     Tr("The first N frames carry only zeros (to try --start-when first-light)"))
        ->check(CLI::Range(0u, 100000000u));
    bool noSequence = false;
    CLI::Option* noSequenceOpt = sendCmd->add_flag("--no-sequence", noSequence,
                                                   Tr("Art-Net: Sequence 0 (off) in every ArtDmx"));
    CLI::Option* offsetOpt = sendCmd
                                 ->add_option("--sacn-offset", send.pattern.sacnOffset,
                                              Tr("sACN universe = pattern universe + this"))
                                 ->check(CLI::Range(0, 63999))
                                 ->capture_default_str();
    CLI::Option* syncAddressOpt =
        sendCmd
            ->add_option("--sync-address", send.pattern.syncAddress,
                         Tr("sACN universe of the synchronization packets (default: the first)"))
            ->check(CLI::Range(1, 63999))
            ->needs(syncOpt);

    ServeOptions serve;
    CLI::App* serveCmd = app.add_subcommand(
        "serve", Tr("Run the recorder headless behind a web page, a JSON API and OSC"));
    serveCmd->footer(Tr(kServeHelp));
    serveCmd->add_option("--folder", serve.folder,
                         Tr("Where recordings are saved (default: the usual recordings folder)"));
    CLI::Option* serveInterface = serveCmd->add_option(
        "--interface", serve.interface, Tr("Capture device to open at start, e.g. eth0"));
    serveCmd->add_option("--file", serve.file, Tr("Read a capture file instead of a device"))
        ->excludes(serveInterface);
    serveCmd->add_option("--listen", serve.listen, Tr("ADDRESS:PORT to serve on"))
        ->capture_default_str();
    serveCmd->add_flag("--require-token", serve.requireToken,
                       Tr("Ask for the token also on 127.0.0.1 (a machine others use)"));
    serveCmd->add_option("--osc", serve.oscPort, Tr("Listen for OSC on this UDP port"))
        ->check(CLI::Range(0, 65535));
    serveCmd->add_option("--osc-allow", serve.oscAllow,
                         Tr("Hosts allowed to send OSC, e.g. 192.168.1.0/24 (default: this "
                            "machine); repeat for more"));

    for (CLI::App* sub : app.get_subcommands([](CLI::App* s) { return !s->get_name().empty(); })) {
        sub->group(Tr("Subcommands"));
        // Its help flag was added before it took over the group name of options.
        sub->get_help_ptr()->group(Tr("Options"));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? kExitOk : kExitUsage;
    }

    for (auto [texts, o] : {std::pair{&parseTexts, &parse}, std::pair{&recordTexts, &record}}) {
        std::string error;
        // "1-8,12": the sACN universes whose multicast groups to join.
        if (!texts->joinUniverses.empty()) {
            const auto list = ParseUniverseList(texts->joinUniverses, &error, kSacnMaxUniverse);
            if (!list || list->front() < 1) {
                Say(std::string("--join-universes: ") +
                    (list ? Tr("sACN universes begin at 1") : error.c_str()));
                return kExitUsage;
            }
            o->joinUniverses = *list;
        }
        if (!texts->universes.empty()) {
            const auto list = ParseUniverseList(texts->universes, &error);
            if (!list) {
                Say("--universes: " + error);
                return kExitUsage;
            }
            o->selection.list = *list;
        }
    }
    if (*devicesCmd) return RunDevices(devices);
    if (*serveCmd) return RunServe(serve);
    if (*parseCmd) return RunParse(parse);
    if (*monitorCmd) return RunMonitor(monitor);
    if (*recordCmd) {
        record.icTypeIndex = icType == "DMX512" ? 0 : icType == "SPI&TTL" ? 1 : 2;
        if (recordFrames->count()) limits.frames = record.frames;
        // Given, even empty, is given: an empty value is a usage error, never "none".
        if (durationOpt->count()) limits.duration = durationText;
        if (startWhenOpt->count()) limits.startWhen = startWhenText;
        if (const std::string error = ApplyRecordLimits(limits, record); !error.empty()) {
            Say(error);
            return kExitUsage;
        }
        return RunRecord(record);
    }
    if (*inspectCmd) return RunInspect(inspect);
    if (*previewCmd) return RunPreview(preview);
    if (*playCmd) {
        // A progress line on a terminal, redrawn a few times a second.
        ProgressLine line(stderr);
        if (line.Active()) {
            play.progress = [&line](const PlayProgress& p) {
                if (p.ended) return line.End();
                line.Show(Format(Tr("frame %u of %u, round %u, %llu frames sent"), p.frame,
                                 p.frames, p.round, static_cast<unsigned long long>(p.framesSent)),
                          p.frame == p.frames);
            };
        }
        return RunPlay(play);
    }
    const bool sacn = protocol == "sacn";
    send.pattern.protocol = sacn ? PatternProtocol::Sacn : PatternProtocol::ArtNet;
    send.pattern.artSequence = !noSequence;
    const auto usage = [](const std::string& why) {
        Say(why);
        return kExitUsage;
    };
    if (sacn && noSequenceOpt->count()) {
        return usage(Tr("--no-sequence is for Art-Net: sACN receivers always count sequences"));
    }
    for (const CLI::Option* o : {multicastOpt, offsetOpt, syncAddressOpt}) {
        if (!sacn && o->count()) {
            return usage(Format(Tr("%s needs --protocol sacn"), o->get_name().c_str()));
        }
    }
    std::string error;
    const auto list = ParseUniverseList(universes, &error, sacn ? kSacnMaxUniverse : 0x7FFF);
    if (!list) return usage("--universes: " + error);
    send.pattern.universes = *list;
    if (const std::string problem = PatternProblem(send.pattern); !problem.empty()) {
        return usage(problem);
    }
    if (framesOpt->count() && send.pattern.frames == 0 && !send.pcap.empty()) {
        return usage(Tr("--frames 0 sends until Ctrl-C, which a capture file cannot wait for"));
    }
    if (duration > 0) {
        send.pattern.frames =
            static_cast<uint32_t>(std::max(1.0, duration * send.pattern.fps + 0.5));
    }
    return RunSend(send);
}
