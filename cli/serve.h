#pragma once
// quorvex-cli serve: the recorder headless behind a web page, a JSON API and OSC.

#include <string>
#include <vector>

namespace quorvex::cli {

struct ServeOptions {
    std::string folder;     // empty: the usual recordings folder
    std::string interface;  // at most one of interface and file
    std::string file;
    std::string listen = "127.0.0.1:8080";
    bool requireToken = false;  // also on loopback (a machine shared with others)
    int oscPort = -1;           // -1: no OSC
    std::vector<std::string> oscAllow;
    double autosaveSeconds = 10;
};

int RunServe(const ServeOptions& options);

}  // namespace quorvex::cli
