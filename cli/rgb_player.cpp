#include "cli/rgb_player.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "capture/art_packet.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/pattern_sender.h"
#include "cli/rgb_check.h"
#include "cli/test_pattern.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "platform/unique_fd.h"

namespace quorvex::cli {

namespace {

constexpr int kMaxUniverse = 0x7FFF;
constexpr uint32_t kDmxBytes = 512;
constexpr double kMaxFps = 1000;

Result<std::vector<PlayUniverse>> FromNotes(const RgbHeaderInfo& h, const RecordingNotes& n) {
    // Notes of another recording (a file replaced by hand) would send bytes to wrong places.
    std::vector<uint32_t> perPort(h.ports.size(), 0);
    std::vector<PlayUniverse> out;
    uint32_t offset = 0;
    for (const NotesUniverse& u : n.universes) {
        if (u.length == 0) continue;
        const auto port = static_cast<size_t>(NotedPort(n, u) - 1);
        if (port >= perPort.size()) {
            return Fail(Format(Tr("universe %d falls on port %zu, the recording has %zu ports"),
                               u.universe, port + 1, perPort.size()));
        }
        perPort[port] += u.length;
        out.push_back({u.universe, offset, u.length});
        offset += u.length;
    }
    for (size_t p = 0; p < perPort.size(); ++p) {
        if (perPort[p] != h.ports[p].length) {
            return Fail(Format(Tr("port %zu has %u bytes in the notes and %u in the recording"),
                               p + 1, perPort[p], h.ports[p].length));
        }
    }
    return out;
}

Result<std::vector<PlayUniverse>> FromPorts(const RgbHeaderInfo& h, int perPort) {
    std::vector<PlayUniverse> out;
    uint32_t offset = 0;
    for (size_t p = 0; p < h.ports.size(); ++p) {
        const uint32_t length = h.ports[p].length;
        if (length > kDmxBytes * static_cast<uint32_t>(perPort)) {
            return Fail(Format(Tr("port %zu holds %u bytes, more than %d universes of 512 bytes "
                                  "carry; give more universes per port"),
                               p + 1, length, perPort));
        }
        for (uint32_t done = 0, j = 0; done < length; done += kDmxBytes, ++j) {
            const int universe = static_cast<int>(p) * perPort + static_cast<int>(j);
            if (universe > kMaxUniverse) {
                return Fail(
                    Format(Tr("port %zu would need universe %d, above 32767"), p + 1, universe));
            }
            const auto bytes = static_cast<uint16_t>(std::min(kDmxBytes, length - done));
            out.push_back({universe, offset + done, bytes});
        }
        offset += length;
    }
    return out;
}

}  // namespace

Result<std::vector<PlayUniverse>> PlayLayout(const RgbHeaderInfo& header,
                                             const std::optional<RecordingNotes>& notes,
                                             int perPort) {
    return notes ? FromNotes(header, *notes) : FromPorts(header, perPort);
}

int RunPlay(const PlayOptions& o) {
    if (!std::isfinite(o.fps) || o.fps < 0 || o.fps > kMaxFps) {
        Say(Format(Tr("the frame rate must be above 0 and at most %.0f frames a second"), kMaxFps));
        return kExitUsage;
    }
    if (o.universesPerPort < 1 || o.universesPerPort > 8) {
        Say(Tr("universes per port must be a whole number from 1 to 8"));
        return kExitUsage;
    }
    std::string why;
    int code = kExitOk;
    const auto target = SendTarget(o.target, o.allowNetwork, Tr("a recording"), &why, &code);
    if (!target) {
        Say(why);
        return code;
    }
    auto reader = OpenRecording(o.path, &code);
    if (!reader) {
        Say(reader.error());
        return code;
    }
    const RgbHeaderInfo& header = reader->Header();
    if (reader->Frames() == 0) {
        Say(Format(Tr("%s holds no frame"), o.path.c_str()));
        return kExitNoData;
    }

    // Notes that cannot be used are only a warning: the ports give a layout too.
    std::optional<RecordingNotes> notes;
    if (auto read = ReadNotes(o.path); !read) {
        Say(Format(Tr("ignoring the notes: %s"), read.error().c_str()));
    } else {
        notes = *read;
    }
    auto layout = PlayLayout(header, notes, o.universesPerPort);
    if (!layout && notes) {
        Say(Format(Tr("ignoring %s: %s"), NotesPath(o.path).c_str(), layout.error().c_str()));
        notes.reset();
        layout = PlayLayout(header, notes, o.universesPerPort);
    }
    if (!layout) {
        Say(Format(Tr("cannot play %s: %s"), o.path.c_str(), layout.error().c_str()));
        return kExitUsage;
    }
    // At the rate it was recorded at, unless --fps says otherwise.
    double fps = o.fps;
    if (fps == 0) {
        const double noted = notes ? notes->framesPerSecond : 0;
        fps = std::isfinite(noted) && noted > 0 ? std::min(noted, kMaxFps) : kDefaultPlayFps;
    }

    const std::atomic<int>* stop = o.interrupt;
    if (!stop) {
        InstallInterruptHandlers();
        stop = &Interrupts();
    }
    UniqueFd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!s.ok()) {
        Say(Format(Tr("cannot open a UDP socket: %s"), std::strerror(errno)));
        return kExitIo;
    }
    const int yes = 1;
    ::setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kArtNetPort);
    to.sin_addr.s_addr = htonl(*target);
    const std::string universesFrom =
        notes ? NotesPath(o.path) : Format(Tr("the ports, %d per port"), o.universesPerPort);
    Say(Format(Tr("playing %u frames of %s to %s:6454 at %g fps, universes from %s"),
               reader->Frames(), o.path.c_str(), o.target.c_str(), fps, universesFrom.c_str()));

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration<double>(1.0 / fps);
    const auto start = Clock::now();
    std::vector<uint8_t> frame;
    std::vector<uint8_t> payload;
    std::string error;
    PlayProgress progress;
    progress.frames = reader->Frames();
    for (uint32_t index = 0; !stop->load();) {
        // Absolute deadlines: a late frame does not delay the ones after it.
        const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                     period * static_cast<double>(progress.framesSent));
        while (!stop->load() && Clock::now() < due) {
            std::this_thread::sleep_until(
                std::min(due, Clock::now() + std::chrono::milliseconds(50)));
        }
        if (stop->load()) break;
        if (const Status read = reader->ReadFrame(index, frame); !read) {
            Say(read.error());
            return kExitIo;
        }
        // One sequence number for all packets of a frame: a recorder splits frames by it.
        const uint8_t sequence =
            ArtSequenceOf(static_cast<uint32_t>(progress.framesSent % 255 + 1));
        const auto send = [&] {
            if (::sendto(s.get(), payload.data(), payload.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
                error = Format(Tr("sending failed: %s"), std::strerror(errno));
            }
            return error.empty();
        };
        for (const PlayUniverse& u : *layout) {
            BuildArtDmxPayload(sequence, u.universe, frame.data() + u.offset, u.length, payload);
            if (!send()) break;
        }
        if (error.empty()) {
            BuildArtSyncPayload(payload);
            send();
        }
        if (!error.empty()) break;
        ++progress.framesSent;
        progress.frame = index + 1;
        if (o.progress) o.progress(progress);
        if (++index == reader->Frames()) {
            if (!o.loop) break;
            index = 0;
            ++progress.round;
        }
    }
    if (o.progress) {
        progress.ended = true;
        o.progress(progress);
    }
    Say(Format(Tr("%llu frames sent to %s:6454"),
               static_cast<unsigned long long>(progress.framesSent), o.target.c_str()));
    if (!error.empty()) {
        Say(error);
        return kExitIo;
    }
    return stop->load() ? kExitInterrupted : kExitOk;
}

}  // namespace quorvex::cli
