// Where a program's window and its client area are on the virtual screen, asked from inside the
// prefix. The X window that xdotool finds holds the whole window, frame included, because Wine
// draws the frame itself when no window manager runs.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "support/screenshot.h"
#include "support/wine_prefix.h"

namespace tessaly::test {

struct WindowArea {
    std::string title;  // UTF-8
    Rect window;        // the whole window on the screen
    Rect client;        // its client area on the screen
};

// Waits up to `timeout` for a visible top-level window of class `windowClass` in `prefix`.
std::optional<WindowArea> FindWindowArea(
    const WinePrefix& prefix, const std::string& windowClass,
    std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace tessaly::test
