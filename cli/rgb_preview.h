#pragma once
// quorvex-cli's preview: the picture of a recording (recording/rgb_preview.h) as a PNG.

#include <string>

#include "platform/result.h"
#include "recording/rgb_preview.h"

namespace quorvex::cli {

struct PreviewOptions : RenderOptions {
    std::string output;  // the PNG; empty: path + ".png"
    bool overwrite = false;
};

// Writes `image` as a PNG, replacing `path` as a whole.
Status WritePng(const std::string& path, const Image& image);

// Reads and checks the recording, draws it and writes the PNG. Returns an exit code
// (cli/exit_codes.h); errors go to stderr.
int RunPreview(const PreviewOptions& options);

}  // namespace quorvex::cli
