// Where the installer window goes once its client area is fitted to the splash picture: the
// arithmetic alone, so it can be checked without a window system.
#pragma once

#include <cstdint>

namespace tessaly {

struct PixelRect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

struct WindowPlacement {
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
};

// The outer size that gives a client area of image width x image height (the frame is measured as
// the difference between `window` and `client`), centred on `desktop`. The divisions truncate
// toward zero, a screen smaller than the window gives negative coordinates, and the desktop's
// left and top are not added.
WindowPlacement ComputeFittedPlacement(std::int32_t imageWidth, std::int32_t imageHeight,
                                       const PixelRect& window, const PixelRect& client,
                                       const PixelRect& desktop);

}  // namespace tessaly
