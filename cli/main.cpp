// quorvex-cli: the headless recorder. Commands: devices, parse, record, inspect, send.

#include <CLI/CLI.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "platform/capture_rights.h"

using namespace quorvex::cli;

namespace {

constexpr char kPatternHelp[] =
    "Test pattern (frame f from 1, universe u, channel c from 0):\n"
    "  sequence of frame f:    1 + (f - 1) mod 255, the same for every universe of the frame\n"
    "  channel c of universe u: (5 f + 17 u + c) mod 256\n"
    "With --sync an ArtSync follows each frame. --target sends UDP to port 6454 paced at the\n"
    "frame rate; only 127.0.0.0/8 unless --allow-network. --pcap writes the same traffic as\n"
    "Ethernet/IPv4/UDP frames from 2.0.0.1 to 2.255.255.255, stamped 1/fps apart.";

constexpr char kRecordHelp[] =
    "Surveys the source (as Parse does), then records until --frames frames are written, the\n"
    "capture file ends, or Ctrl-C (or SIGTERM, SIGHUP, SIGQUIT), which stops at the next frame\n"
    "boundary and saves; a second Ctrl-C gives up and keeps the frames so far as temp.RGB. The\n"
    "working file temp.RGB is written in the folder of --output, counted in its header every\n"
    "second, then synced and moved to the final name: the extension becomes .RGB (show.rgb ->\n"
    "show.RGB). An existing output is refused without --overwrite. A temp.RGB that an earlier\n"
    "run left with frames is first moved aside as Unsaved-YYYYMMDD-HHMMSS.RGB; one that another\n"
    "recording is writing is refused. Log lines go to stdout, problems to stderr; nothing is\n"
    "ever asked.";

void AddSourceOptions(CLI::App* sub, RecorderOptions& o) {
    CLI::App* source = sub->add_option_group("source", "Where the Art-Net comes from (one)");
    source->add_option("--interface", o.interface, "Capture device name, e.g. eth0 (see devices)");
    source->add_option("--file", o.file, "Capture file (pcap or pcapng) to read instead")
        ->check(CLI::ExistingFile);
    source->require_option(1);
    sub->add_option("--universes-per-port", o.universesPerPort, "Universes per controller port")
        ->check(CLI::Range(1, 8))
        ->capture_default_str();
    sub->add_option("--timeout", o.timeoutSeconds,
                    "Seconds the survey may wait for a whole frame (default 10 for an "
                    "interface, none for a file; 0: none)")
        ->check(CLI::Range(0.0, 1e6));
    sub->add_flag("--verbose", o.verbose, "Show the capture library's address lines on stderr");
}

}  // namespace

int main(int argc, char** argv) {
    // Capture rights are raised only while a device opens; no thread starts with them.
    quorvex::LowerCaptureRights();
    CLI::App app{
        "quorvex-cli: records Art-Net DMX traffic into .RGB files for LED pixel "
        "controllers, without a window."};
    app.require_subcommand(1);
    app.footer(kExitCodeHelp);

    DevicesOptions devices;
    CLI::App* devicesCmd = app.add_subcommand(
        "devices",
        "List capture devices: index, name, IPv4 address, description, link state; * marks the "
        "adapter the window would choose by itself");
    devicesCmd->add_flag("--verbose", devices.verbose,
                         "Show the capture library's address lines on stderr");

    RecorderOptions parse;
    CLI::App* parseCmd = app.add_subcommand(
        "parse", "Survey which universes one frame carries and print the report");
    AddSourceOptions(parseCmd, parse);

    RecorderOptions record;
    std::string icType = "SPI&TTL";
    CLI::App* recordCmd =
        app.add_subcommand("record", "Survey, then record frames into a .RGB file");
    recordCmd->footer(std::string(kRecordHelp) + "\n\n" + kExitCodeHelp);
    AddSourceOptions(recordCmd, record);
    recordCmd->add_option("--output", record.output, "The .RGB file to save")->required();
    recordCmd->add_option("--frames", record.frames, "Frames to record (the header counts 16 bits)")
        ->check(CLI::Range(1u, 65535u))
        ->capture_default_str();
    recordCmd->add_option("--ic-type", icType, "IC type written into the header")
        ->check(CLI::IsMember({"DMX512", "SPI&TTL", "TM1814"}))
        ->capture_default_str();
    recordCmd->add_flag("--rgbw", record.rgbw, "Mark the ports as RGBW");
    recordCmd->add_flag("--overwrite", record.overwrite,
                        "Replace the output file when it exists (a run that records no frame "
                        "never replaces it)");
    recordCmd
        ->add_option("--buffer-mb", record.bufferMb,
                     "Memory for frames waiting for the disk, in MiB (at least two frames): "
                     "a stalled disk holds up the recording only once it is full")
        ->check(CLI::Range(1u, 1048576u))
        ->capture_default_str();
    recordCmd->add_flag("--strict", record.strict,
                        "Exit 7 when a recorded frame is incomplete (a surveyed universe did not "
                        "arrive in it) or frames went missing upstream");

    InspectOptions inspect;
    CLI::App* inspectCmd = app.add_subcommand("inspect", "Check a .RGB file and print its header");
    inspectCmd->add_option("FILE", inspect.path, "The recording")->required();
    inspectCmd->add_flag("--json", inspect.json, "Print one JSON object");
    inspectCmd->add_flag("--repair", inspect.repair,
                         "First set the header's frame count to the whole frames the file holds "
                         "and drop a partial frame at its end (a recording left by a crash)");

    SendOptions send;
    std::string universes = "0-5";
    double duration = 0;
    CLI::App* sendCmd = app.add_subcommand("send", "Send or write the Art-Net test pattern");
    sendCmd->footer(std::string(kPatternHelp) + "\n\n" + kExitCodeHelp);
    CLI::App* dest = sendCmd->add_option_group("destination", "Where the pattern goes (one)");
    dest->add_option("--target", send.target, "IPv4 address to send UDP to (port 6454)");
    dest->add_option("--pcap", send.pcap, "Capture file to write instead of sending");
    dest->require_option(1);
    sendCmd->add_flag("--allow-network", send.allowNetwork, "Allow a --target outside 127.0.0.0/8");
    sendCmd->add_option("--universes", universes, "Universes, e.g. 0-5,8,10")
        ->capture_default_str();
    sendCmd->add_option("--channels", send.pattern.channels, "Channels per universe")
        ->check(CLI::Range(1, 512))
        ->capture_default_str();
    sendCmd->add_option("--fps", send.pattern.fps, "Frames per second")
        ->check(CLI::Range(0.001, 10000.0))
        ->capture_default_str();
    CLI::Option* framesOpt =
        sendCmd->add_option("--frames", send.pattern.frames, "Frames to send (default 200)")
            ->check(CLI::Range(1u, 100000000u));
    sendCmd->add_option("--duration", duration, "Seconds to send instead of --frames")
        ->check(CLI::Range(0.001, 1e7))
        ->excludes(framesOpt);
    sendCmd->add_flag("--sync", send.pattern.sync, "Send an ArtSync after each frame");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? kExitOk : kExitUsage;
    }

    if (*devicesCmd) return RunDevices(devices);
    if (*parseCmd) return RunParse(parse);
    if (*recordCmd) {
        record.icTypeIndex = icType == "DMX512" ? 0 : icType == "SPI&TTL" ? 1 : 2;
        return RunRecord(record);
    }
    if (*inspectCmd) return RunInspect(inspect);
    std::string error;
    const auto list = ParseUniverseList(universes, &error);
    if (!list) {
        std::fprintf(stderr, "quorvex-cli: --universes: %s\n", error.c_str());
        return kExitUsage;
    }
    send.pattern.universes = *list;
    if (duration > 0) {
        send.pattern.frames =
            static_cast<uint32_t>(std::max(1.0, duration * send.pattern.fps + 0.5));
    }
    return RunSend(send);
}
