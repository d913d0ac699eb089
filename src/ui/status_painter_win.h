// Painting the installer window: the splash picture, then the status line over its top quarter.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tessaly {

class SplashPicture;

// What one paint shows over the picture, handed in by the window: the status as the worker last
// published it (one consistent pair of text and flag), and the window's own animation step and DPI.
struct StatusView {
    const char* text;  // code page 936
    int failed;
    std::int32_t tick;
    std::int32_t dpi;
};

// Draws `picture` at the client origin of `window` and the status line over it, straight onto
// `dc`. Without a picture nothing at all is drawn.
void PaintStatus(HDC dc, HWND window, SplashPicture* picture, const StatusView& status);

}  // namespace tessaly
