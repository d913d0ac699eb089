// Scaling the window's design sizes to the display's DPI.
#include "ui/display_scale.h"

namespace tessaly {

std::int32_t ScaleToDpi(std::int32_t length, std::int32_t dpi) {
    if (dpi <= 0) {
        dpi = DEFAULT_DPI;
    }
    return static_cast<std::int32_t>((static_cast<std::int64_t>(length) * dpi + DEFAULT_DPI / 2) /
                                     DEFAULT_DPI);
}

}  // namespace tessaly
