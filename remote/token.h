#pragma once
// The access token of a server reachable from other machines: kept in the user's config
// folder, readable by the user alone, made at the first start.

#include <string>

#include "platform/result.h"

namespace quorvex::remote {

// $XDG_CONFIG_HOME/quorvex/serve-token, or ~/.config/quorvex/serve-token.
std::string TokenPath();
// The token in `path`, or a new random one written there (mode 0600, never through a link).
Result<std::string> LoadOrCreateToken(const std::string& path);

}  // namespace quorvex::remote
