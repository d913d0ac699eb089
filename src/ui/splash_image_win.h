// The splash picture: a PNG among the program's resources, decoded once while the window is
// created, and the fitting of the window around it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

namespace tessaly {

class SplashPicture;

// Decodes resource 131 of type "IMAGEFILE" from `module` (the instance the process entry got, or an
// installer opened as data). Every failure, a picture that cannot be decoded included, gives
// nullptr. The picture holds its pixels itself: the resource's copy it was decoded from is released
// at once.
std::unique_ptr<SplashPicture> LoadSplashImage(HMODULE module);

// Gives `window` a client area of the size of `image` scaled to `dpi`, centred on the screen.
// Without a picture the window keeps its place and size.
void FitWindowToImage(HWND window, const SplashPicture* image, std::int32_t dpi);

}  // namespace tessaly
