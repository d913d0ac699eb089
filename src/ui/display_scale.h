// The display scale. The window, the picture and the status line are designed for 96 DPI (100%);
// on any other display they are scaled by the window's DPI / 96, so that they keep their size on
// the screen and stay sharp instead of being stretched as a bitmap by the system.
#pragma once

#include <cstdint>

namespace tessaly {

// The DPI at which every size of the window is its design size.
inline constexpr std::int32_t DEFAULT_DPI = 96;

// `length` design pixels (0 or more) in pixels at `dpi`: length x dpi / 96, a half pixel rounded
// up, as the system's MulDiv rounds (931 at 144 DPI is 1396.5, so 1397). A DPI of 0 or less, which
// no display reports, counts as 96.
std::int32_t ScaleToDpi(std::int32_t length, std::int32_t dpi);

}  // namespace tessaly
