// Asking the window system which DPI a window is drawn at.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/display_scale.h"

namespace tessaly {

// The DPI `window` is drawn at: its own where the system tells it (Windows 10 1607 and later),
// otherwise `announcedDpi`, the one the window's last WM_DPICHANGED announced (Windows 8.1; 0 when
// none has), otherwise the screen's.
std::int32_t WindowDpi(HWND window, std::int32_t announcedDpi);

}  // namespace tessaly
