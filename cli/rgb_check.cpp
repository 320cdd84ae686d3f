#include "cli/rgb_check.h"

#include "cli/exit_codes.h"
#include "platform/printable_text.h"
#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex::cli {

Result<RgbReader> OpenRecording(const std::string& path, int* exitCode) {
    RgbFault fault = RgbFault::Unreadable;
    auto reader = RgbReader::Open(path, &fault);
    if (reader) {
        *exitCode = kExitOk;
        return reader;
    }
    const bool invalid = fault == RgbFault::Invalid;
    *exitCode = invalid ? kExitInvalid : kExitIo;
    return Fail(Format(invalid ? Tr("%s is not a valid recording: %s") : Tr("cannot read %s: %s"),
                       path.c_str(), reader.error().c_str()));
}

bool Whole(const RgbCheck& r, const RecordingNotes* notes) {
    return r.Valid() &&
           (!notes || (notes->check.incompleteFrames == 0 && notes->check.lostLocally == 0));
}

std::string InspectText(const RgbCheck& r, const std::string& path, const RecordingNotes* notes) {
    std::string t = Format(Tr("File:           %s\n"), Printable(path).c_str());
    t += Format(Tr("Size:           %llu bytes\n"), static_cast<unsigned long long>(r.fileSize));
    if (r.header) {
        const RgbHeaderInfo& h = *r.header;
        t += h.tagsValid ? Tr("Tags:           RGB0 1001 FF FF FF FF 01 (valid)\n")
                         : Tr("Tags:           bad\n");
        t += Format(Tr("Header length:  %zu bytes (stored as last byte %u)\n"), h.headerLength,
                    h.lastHeaderByte);
        t += Format(Tr("Frames:         %u\n"), h.frameCount);
        t += Format(Tr("Frame length:   %u bytes\n"), h.frameLength);
        t += Format(Tr("Ports:          %u\n"), h.portCount);
        for (const RgbHeaderInfo::Port& p : h.ports) {
            t += Format(Tr("  port %-3u      %u bytes\n"), p.number, p.length);
        }
        if (!h.ports.empty()) {
            const uint8_t code = h.ports[0].icCode;
            t += Format(Tr("IC type:        %s (code %u)\n"), IcTypeName(code).c_str(), code);
            t += h.ports[0].rgbw ? Tr("RGBW:           yes\n") : Tr("RGBW:           no\n");
        }
        if (r.gammaIdentity) {
            t += Tr("Gamma:          identity 0..255\n");
        } else {
            t += Tr("Gamma:          custom\n");
            t += "               ";
            for (size_t i = 0; i < h.gamma.size(); ++i) {
                t += Format("%s %u", i % 16 == 0 && i ? "\n               " : "", h.gamma[i]);
            }
            t += "\n";
        }
        t += Format(r.expectedSize == r.fileSize
                        ? Tr("Size check:     %zu + %u x %u = %llu bytes: matches\n")
                        : Tr("Size check:     %zu + %u x %u = %llu bytes: does not match the "
                             "file\n"),
                    h.headerLength, h.frameCount, h.frameLength,
                    static_cast<unsigned long long>(r.expectedSize));
    }
    for (const std::string& p : r.Problems()) t += Format(Tr("Problem:        %s\n"), p.c_str());
    // The verdict also says what the recording check found when the recording was made.
    if (!r.Valid()) {
        t += Tr("Not a valid recording.\n");
    } else if (!Whole(r, notes)) {
        t += Format(Tr("Valid recording, but not whole: its notes count %u incomplete frames and "
                       "%u frames lost while it was recorded.\n"),
                    notes->check.incompleteFrames, notes->check.lostLocally);
    } else {
        t += Tr("Valid recording.\n");
    }
    return t;
}

std::string JsonString(const std::string& text) {
    std::string j = "\"";
    for (size_t at = 0; at < text.size(); ++at) {
        const char ch = text[at];
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            // Well-formed UTF-8 passes through; any other byte (a file name need not be text)
            // becomes U+FFFD, so the output is always valid JSON.
            const size_t n = Utf8SequenceLength(text, at);
            if (n == 0) {
                j += "\\ufffd";
            } else {
                j.append(text, at, n);
                at += n - 1;
            }
            continue;
        }
        switch (c) {
            case '"':
                j += "\\\"";
                break;
            case '\\':
                j += "\\\\";
                break;
            case '\n':
                j += "\\n";
                break;
            case '\r':
                j += "\\r";
                break;
            case '\t':
                j += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    j += Format("\\u%04x", c);
                } else {
                    j += ch;
                }
        }
    }
    return j + "\"";
}

std::string InspectJson(const RgbCheck& r, const std::string& path, const RecordingNotes* notes) {
    std::string j = "{\"file\":" + JsonString(path);
    j += Format(",\"size\":%llu,\"valid\":%s,\"whole\":%s",
                static_cast<unsigned long long>(r.fileSize), r.Valid() ? "true" : "false",
                Whole(r, notes) ? "true" : "false");
    if (r.header) {
        const RgbHeaderInfo& h = *r.header;
        j += Format(",\"tagsValid\":%s,\"headerLength\":%zu,\"storedHeaderLength\":%u",
                    h.tagsValid ? "true" : "false", h.headerLength, h.lastHeaderByte + 1u);
        j += Format(",\"frameCount\":%u,\"frameLength\":%u,\"portCount\":%u", h.frameCount,
                    h.frameLength, h.portCount);
        j += ",\"ports\":[";
        for (size_t i = 0; i < h.ports.size(); ++i) {
            const RgbHeaderInfo::Port& p = h.ports[i];
            j += Format(
                "%s{\"number\":%u,\"length\":%u,\"icType\":%s,\"icCode\":%u,"
                "\"rgbw\":%s,\"constantBytesValid\":%s}",
                i ? "," : "", p.number, p.length, JsonString(IcTypeName(p.icCode)).c_str(),
                p.icCode, p.rgbw ? "true" : "false", p.fixedBytesValid ? "true" : "false");
        }
        j += "]";
        if (!h.ports.empty()) {
            j += ",\"icType\":" + JsonString(IcTypeName(h.ports[0].icCode));
            j += Format(",\"rgbw\":%s", h.ports[0].rgbw ? "true" : "false");
        }
        j += Format(",\"gammaIdentity\":%s,\"gammaTable\":\"%s\"",
                    r.gammaIdentity ? "true" : "false", r.gammaIdentity ? "identity" : "custom");
        if (!r.gammaIdentity) {
            j += ",\"gamma\":[";
            for (size_t i = 0; i < h.gamma.size(); ++i)
                j += Format("%s%u", i ? "," : "", h.gamma[i]);
            j += "]";
        }
        j += Format(",\"expectedSize\":%llu,\"wholeFrames\":%llu,\"extraBytes\":%llu",
                    static_cast<unsigned long long>(r.expectedSize),
                    static_cast<unsigned long long>(r.wholeFrames),
                    static_cast<unsigned long long>(r.extraBytes));
    }
    j += ",\"problems\":[";
    const std::vector<std::string> problems = r.Problems();
    // Appended in two steps: GCC 12's -Wrestrict misreads "," + a temporary string at -O3 on arm64.
    for (size_t i = 0; i < problems.size(); ++i) {
        if (i) j += ',';
        j += JsonString(problems[i]);
    }
    return j + "]}";
}

}  // namespace quorvex::cli
