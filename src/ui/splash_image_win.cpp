// Loading the splash picture from the resources and fitting the window around it.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

#include "install/installer_state.h"
#include "ui/splash_image.h"
#include "ui/window_placement.h"

namespace tessaly {

namespace {

constexpr WORD kSplashResourceId = 131;
constexpr char kSplashResourceType[] = "IMAGEFILE";

HINSTANCE resourceModule = nullptr;

// A movable global memory block, freed on destruction unless it was handed over with Keep().
class GlobalBlock {
  public:
    explicit GlobalBlock(SIZE_T size) : block_(GlobalAlloc(GMEM_MOVEABLE, size)) {}
    ~GlobalBlock() {
        if (block_ != nullptr) {
            GlobalFree(block_);
        }
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;

    HGLOBAL Get() const { return block_; }
    void Keep() { block_ = nullptr; }

  private:
    HGLOBAL block_;
};

PixelRect ToPixelRect(const RECT& rect) {
    return PixelRect{rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

void KeepResourceModule(HINSTANCE module) {
    resourceModule = module;
}

Gdiplus::Image* LoadSplashImage() {
    HRSRC resource =
        FindResourceA(resourceModule, MAKEINTRESOURCEA(kSplashResourceId), kSplashResourceType);
    if (resource == nullptr) {
        return nullptr;
    }
    const DWORD size = SizeofResource(resourceModule, resource);
    if (size == 0) {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(resourceModule, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return nullptr;
    }

    GlobalBlock block(size);
    if (block.Get() == nullptr) {
        return nullptr;
    }
    void* copy = GlobalLock(block.Get());
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(copy, bytes, size);

    // The stream must not free the block: the image keeps reading from it while it is drawn.
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block.Get(), FALSE, &stream) != S_OK) {
        GlobalUnlock(block.Get());
        return nullptr;
    }
    Gdiplus::Image* image = Gdiplus::Image::FromStream(stream);
    stream->Release();  // the image holds its own reference
    GlobalUnlock(block.Get());

    if (image == nullptr) {
        return nullptr;
    }
    if (image->GetLastStatus() != Gdiplus::Ok) {
        delete image;  // releases the last reference to the stream before the block goes
        return nullptr;
    }
    block.Keep();  // lives as long as the image, which lives until the process ends
    return image;
}

void FitWindowToImage(HWND window) {
    Gdiplus::Image* image = LoadSplashImage();
    State().splashImage = image;
    if (image == nullptr) {
        return;
    }
    const auto width = static_cast<std::int32_t>(image->GetWidth());
    const auto height = static_cast<std::int32_t>(image->GetHeight());

    RECT windowRect = {};
    RECT clientRect = {};
    RECT desktopRect = {};
    GetWindowRect(window, &windowRect);
    GetClientRect(window, &clientRect);
    GetWindowRect(GetDesktopWindow(), &desktopRect);

    const WindowPlacement placement = ComputeFittedPlacement(
        width, height, ToPixelRect(windowRect), ToPixelRect(clientRect), ToPixelRect(desktopRect));
    MoveWindow(window, placement.x, placement.y, placement.width, placement.height, TRUE);
}

}  // namespace tessaly
