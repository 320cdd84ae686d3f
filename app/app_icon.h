#pragma once

#include <QIcon>

namespace quorvex::app {

// The program icon, rendered from the SVG in the resources at the usual sizes.
QIcon AppIcon();

}  // namespace quorvex::app
