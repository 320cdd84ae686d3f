#include "cli/rgb_preview.h"

#include <png.h>

#include <cstdio>
#include <filesystem>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/rgb_check.h"
#include "platform/text_format.h"
#include "platform/texts.h"
#include "recording/recording_notes.h"

namespace quorvex::cli {

namespace fs = std::filesystem;

Status WritePng(const std::string& path, const Image& img) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(img.width);
    png.height = static_cast<png_uint_32>(img.height);
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    // The first call measures, the second encodes.
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, img.rgb.data(), 0, nullptr)) {
        return Fail(Format(Tr("cannot encode the picture: %s"), png.message));
    }
    std::string bytes(size, '\0');
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, img.rgb.data(), 0, nullptr)) {
        return Fail(Format(Tr("cannot encode the picture: %s"), png.message));
    }
    bytes.resize(size);
    return ReplaceFileDurably(path, bytes);
}

int RunPreview(const PreviewOptions& o) {
    const std::string output = o.output.empty() ? o.path + ".png" : o.output;
    int code = kExitOk;
    auto reader = OpenRecording(o.path, &code);
    if (!reader) {
        Say(reader.error());
        return code;
    }
    std::error_code ec;
    if (fs::equivalent(o.path, output, ec)) {
        Say(Format(Tr("the picture would replace the recording %s; choose another output"),
                   o.path.c_str()));
        return kExitRefused;
    }
    if (!o.overwrite && fs::exists(fs::symlink_status(output, ec))) {
        Say(Format(Tr("%s already exists; add --overwrite to replace it"), output.c_str()));
        return kExitRefused;
    }
    bool readFailed = false;
    const auto image = RenderPreview(
        reader->Header(),
        [&](uint32_t index, std::vector<uint8_t>& bytes) {
            Status read = reader->ReadFrame(index, bytes);
            readFailed = !read;
            return read;
        },
        o);
    if (!image) {
        Say(Format(Tr("cannot draw %s: %s"), o.path.c_str(), image.error().c_str()));
        // Otherwise the picture would be too large: a larger --every helps.
        return readFailed ? kExitIo : kExitUsage;
    }
    if (const Status written = WritePng(output, *image); !written) {
        Say(written.error());
        return kExitIo;
    }
    Say(Format(Tr("%s: %d x %d pixels, every %u frames a row"), output.c_str(), image->width,
               image->height, image->every));
    return kExitOk;
}

}  // namespace quorvex::cli
