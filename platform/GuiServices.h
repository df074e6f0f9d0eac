#pragma once

namespace platform {

// Installs the real message boxes, process starter and printer list of the desktop.
void installGuiServices();

} // namespace platform
