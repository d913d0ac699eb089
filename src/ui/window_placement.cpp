// Fitting the installer window around its picture and centring it on the screen.
#include "ui/window_placement.h"

namespace tessaly {

WindowPlacement ComputeFittedPlacement(std::int32_t imageWidth, std::int32_t imageHeight,
                                       const PixelRect& window, const PixelRect& client,
                                       const PixelRect& desktop) {
    WindowPlacement placement;
    placement.width = imageWidth + (window.right - window.left) - (client.right - client.left);
    placement.height = imageHeight + (window.bottom - window.top) - (client.bottom - client.top);
    placement.x = (desktop.right - desktop.left - placement.width) / 2;
    placement.y = (desktop.bottom - desktop.top - placement.height) / 2;
    return placement;
}

}  // namespace tessaly
