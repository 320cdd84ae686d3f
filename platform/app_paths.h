#pragma once
// Where the program lives and where its recordings go.

#include <string>

namespace quorvex {

// Folder of the running executable, without a trailing slash.
std::string ExecutableFolder();

// The capture helper quorvex-capture: beside the running program, else in the folder the
// programs are installed to. Empty when neither holds it.
std::string CaptureHelperPath();

// "RGBFiles" beside the executable when that folder can be written and the program is not
// installed (under /usr), else "RGBFiles" under the user's data folder ($XDG_DATA_HOME,
// default ~/.local/share/Quorvex). Creates it.
std::string RecordingFolder();

// True when `folder` exists (or can be created) and a file can be made in it.
bool EnsureWritableFolder(const std::string& folder);

}  // namespace quorvex
