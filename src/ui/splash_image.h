// The splash picture: a PNG among the program's resources, decoded once while the window is
// created, and the fitting of the window around it.
#pragma once

struct HINSTANCE__;  // what the platform's HINSTANCE points to
struct HWND__;       // what the platform's HWND points to
namespace tessaly {

class SplashPicture;

// Remembers the module whose resources hold the picture (the instance the process entry got).
void KeepResourceModule(HINSTANCE__* module);

// Decodes resource 131 of type "IMAGEFILE" from that module. Every failure, a picture that
// cannot be decoded included, gives nullptr. The picture holds its pixels itself: the resource's
// copy it was decoded from is released at once.
SplashPicture* LoadSplashImage();

// Loads the picture into `splashImage`, then gives `window` a client area of the picture's size
// scaled to the window's DPI, centred on the screen. Without a picture the window keeps its place
// and size.
void FitWindowToImage(HWND__* window);

}  // namespace tessaly
