// The splash picture: a PNG among the program's resources, decoded once while the window is
// created, and the fitting of the window around it.
#pragma once

#include <windows.h>

#include <cstdint>

namespace Gdiplus {
class Image;
}

namespace tessaly {

// Decodes resource 131 of type "IMAGEFILE" from `module` (the instance the process entry got, or an
// installer opened as data). Every failure, a picture that cannot be decoded included, gives
// nullptr. The image reads its pixels from a copy of the resource that stays allocated for as long
// as the image exists.
Gdiplus::Image* LoadSplashImage(HMODULE module);

// Gives `window` a client area of the size of `image` scaled to `dpi`, centred on the screen.
// Without a picture the window keeps its place and size.
void FitWindowToImage(HWND window, Gdiplus::Image* image, std::int32_t dpi);

}  // namespace tessaly
