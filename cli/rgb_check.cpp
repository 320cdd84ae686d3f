#include "cli/rgb_check.h"

#include <algorithm>
#include <set>

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex::cli {

namespace {

constexpr size_t kPortCountEnd = 22;  // the port count is bytes 20..21

bool IsIdentityGamma(const std::vector<uint16_t>& gamma) {
    for (size_t i = 0; i < gamma.size(); ++i) {
        if (gamma[i] != i) return false;
    }
    return gamma.size() == 256;
}

void CheckPorts(const RgbHeaderInfo& h, std::vector<std::string>& problems) {
    if (h.portCount == 0) problems.push_back(Tr("the header declares no port"));
    uint64_t sum = 0;
    std::set<uint8_t> codes;
    std::set<bool> rgbw;
    for (size_t p = 0; p < h.ports.size(); ++p) {
        const RgbHeaderInfo::Port& port = h.ports[p];
        sum += port.length;
        codes.insert(port.icCode);
        rgbw.insert(port.rgbw);
        if (port.number != p) {
            problems.push_back(Format(Tr("port %zu is numbered %u"), p, port.number));
        }
        if (!port.fixedBytesValid) {
            problems.push_back(Format(Tr("port %zu: bad constant bytes in its record"), p));
        }
        if (IcTypeName(port.icCode) == "unknown") {
            problems.push_back(Format(Tr("port %zu: unknown IC type code %u"), p, port.icCode));
        }
    }
    if (codes.size() > 1) problems.push_back(Tr("the ports have different IC types"));
    if (rgbw.size() > 1) problems.push_back(Tr("the ports differ in RGBW"));
    if (sum != h.frameLength) {
        problems.push_back(Format(Tr("port lengths sum to %llu bytes, the frame length is %u"),
                                  static_cast<unsigned long long>(sum), h.frameLength));
    }
}

void CheckSize(InspectReport& r) {
    const RgbHeaderInfo& h = *r.header;
    r.expectedSize = h.headerLength + static_cast<uint64_t>(h.frameCount) * h.frameLength;
    if (h.frameLength == 0) {
        r.problems.push_back(Tr("the frame length is 0"));
        r.extraBytes = r.fileSize > h.headerLength ? r.fileSize - h.headerLength : 0;
        if (r.extraBytes) {
            r.problems.push_back(Format(Tr("%llu bytes follow the header"),
                                        static_cast<unsigned long long>(r.extraBytes)));
        }
        return;
    }
    const uint64_t data = r.fileSize > h.headerLength ? r.fileSize - h.headerLength : 0;
    r.wholeFrames = data / h.frameLength;
    r.extraBytes = data % h.frameLength;
    if (r.extraBytes) {
        r.problems.push_back(Format(Tr("the file ends %llu bytes into a frame (truncated?)"),
                                    static_cast<unsigned long long>(r.extraBytes)));
    }
    if (r.wholeFrames != h.frameCount) {
        r.problems.push_back(Format(Tr("the header counts %u frames, the file holds %llu"),
                                    h.frameCount, static_cast<unsigned long long>(r.wholeFrames)));
    }
}

// A table that maps every level to 0, or brighter levels to darker ones, spoils the show.
void CheckGamma(const std::vector<uint16_t>& gamma, std::vector<std::string>& problems) {
    if (std::all_of(gamma.begin(), gamma.end(), [](uint16_t g) { return g == 0; })) {
        problems.push_back(Tr("the gamma table is all zero: the LEDs would stay dark"));
        return;
    }
    for (size_t i = 1; i < gamma.size(); ++i) {
        if (gamma[i] < gamma[i - 1]) {
            problems.push_back(Format(Tr("the gamma table decreases at entry %zu (%u after %u)"), i,
                                      gamma[i], gamma[i - 1]));
            return;
        }
    }
}

// Length of the well-formed UTF-8 sequence at `at`, or 0.
size_t Utf8Length(const std::string& s, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = byte(at);
    size_t n = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (at + n > s.size()) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return n;
}

}  // namespace

InspectReport InspectRgb(const std::vector<uint8_t>& head, uint64_t fileSize) {
    InspectReport r;
    r.fileSize = fileSize;
    if (head.size() < kPortCountEnd + 1) {
        r.problems.push_back(Format(Tr("the file has %llu bytes, too few for a recording header"),
                                    static_cast<unsigned long long>(fileSize)));
        return r;
    }
    if (auto parsed = ParseRgbHeader(head)) r.header = std::move(*parsed);
    if (!r.header) {
        const size_t ports = (static_cast<size_t>(head[20]) << 8) | head[21];
        r.problems.push_back(
            Format(Tr("the header declares %zu ports and needs %zu bytes, the file "
                      "has %llu"),
                   ports, RgbHeaderLength(static_cast<int32_t>(ports)),
                   static_cast<unsigned long long>(fileSize)));
        return r;
    }
    const RgbHeaderInfo& h = *r.header;
    if (!h.tagsValid) {
        r.problems.push_back(
            Tr("bad constant bytes: a recording starts \"RGB01001\", FF FF FF FF and has 01 at "
               "byte 22"));
    }
    if (h.lastHeaderByte + 1u != h.headerLength) {
        r.problems.push_back(Format(Tr("the stored header length %u does not match the %zu bytes "
                                       "of a header with %u ports"),
                                    h.lastHeaderByte + 1u, h.headerLength, h.portCount));
    }
    CheckPorts(h, r.problems);
    CheckSize(r);
    r.gammaIdentity = IsIdentityGamma(h.gamma);
    CheckGamma(h.gamma, r.problems);
    return r;
}

std::string InspectText(const InspectReport& r, const std::string& path) {
    std::string t = Format(Tr("File:           %s\n"), path.c_str());
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
    for (const std::string& p : r.problems) t += Format(Tr("Problem:        %s\n"), p.c_str());
    t += r.Valid() ? Tr("Valid recording.\n") : Tr("Not a valid recording.\n");
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
            const size_t n = Utf8Length(text, at);
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

std::string InspectJson(const InspectReport& r, const std::string& path) {
    std::string j = "{\"file\":" + JsonString(path);
    j += Format(",\"size\":%llu,\"valid\":%s", static_cast<unsigned long long>(r.fileSize),
                r.Valid() ? "true" : "false");
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
    for (size_t i = 0; i < r.problems.size(); ++i) {
        j += (i ? "," : "") + JsonString(r.problems[i]);
    }
    return j + "]}";
}

}  // namespace quorvex::cli
