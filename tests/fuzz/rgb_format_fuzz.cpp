// libFuzzer target for the .RGB format (recording/rgb_format.h).
//
// Input: the bytes of a file. They go through header parsing, the check, repair and reading.
// Never a crash; a recording the check calls valid is exactly what its header says; repair
// changes only what it may (the count and a partial frame at the end) and leaves a valid
// recording, and leaves a file it refuses byte for byte as it was.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "recording/rgb_format.h"

namespace {

using quorvex::RgbCheck;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// One in-memory file for every input: the fuzzer never touches the disk.
int File() {
    static const int fd = memfd_create("rgb_format_fuzz", MFD_CLOEXEC);
    Check(fd >= 0);
    return fd;
}

void Store(int fd, const std::vector<uint8_t>& bytes) {
    Check(ftruncate(fd, 0) == 0);
    Check(pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
}

std::vector<uint8_t> Load(int fd) {
    std::vector<uint8_t> bytes(static_cast<size_t>(lseek(fd, 0, SEEK_END)));
    Check(pread(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    return bytes;
}

void CheckValid(const RgbCheck& c, size_t size) {
    const quorvex::RgbHeaderInfo& h = *c.header;
    Check(h.tagsValid && h.frameLength > 0 && h.ports.size() == h.portCount);
    Check(h.headerLength + uint64_t{h.frameCount} * h.frameLength == size);
    Check(c.wholeFrames == h.frameCount && c.extraBytes == 0 && c.Problems().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    const auto parsed = quorvex::ParseRgbHeader(bytes);
    const RgbCheck check = quorvex::CheckRgb(bytes);
    Check(!(check.Valid() && check.Repairable()));
    if (parsed) Check(check.header && check.header->headerLength == parsed->headerLength);
    if (check.Valid()) CheckValid(check, size);

    const int fd = File();
    Store(fd, bytes);
    quorvex::RgbFault fault = quorvex::RgbFault::Unreadable;
    const auto repaired = quorvex::RepairOpenRecording(fd, &fault);
    const std::vector<uint8_t> after = Load(fd);
    if (!repaired) {
        // Refused: a file it cannot make valid, untouched.
        Check(fault == quorvex::RgbFault::Invalid && !check.Valid() && !check.Repairable());
        Check(after == bytes);
    } else if (!repaired->Changed()) {
        Check(check.Valid() && after == bytes);
    } else {
        // Only the count and the end changed; what is left is a valid recording.
        Check(check.Repairable() && after.size() + repaired->droppedBytes == bytes.size());
        const RgbCheck again = quorvex::CheckRgb(after);
        Check(again.Valid());
        CheckValid(again, after.size());
        Check(again.header->frameCount == repaired->wholeFrames);
        for (size_t i = 0; i < after.size(); ++i) {
            const bool count =
                i == quorvex::kRgbFrameCountOffset || i == quorvex::kRgbFrameCountOffset + 1;
            Check(count || after[i] == bytes[i]);
        }
    }

    // A valid recording (as given, or as repaired) reads back frame by frame.
    const auto reader = quorvex::RgbReader::Open("/proc/self/fd/" + std::to_string(fd), &fault);
    Check(reader.ok() == quorvex::CheckRgb(after).Valid());
    if (reader) {
        std::vector<uint8_t> frame;
        const uint32_t frames = reader->Frames() < 16 ? reader->Frames() : 16;
        for (uint32_t f = 0; f < frames; ++f) {
            Check(reader->ReadFrame(f, frame).ok());
            const size_t at = reader->Header().headerLength + size_t{f} * frame.size();
            Check(std::equal(frame.begin(), frame.end(), after.begin() + static_cast<long>(at)));
        }
        Check(!reader->ReadFrame(reader->Frames(), frame).ok());
    }
    return 0;
}
