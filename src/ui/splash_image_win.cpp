// Loading the splash picture from the resources and fitting the window around it.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <memory>

#include "common/scoped_win.h"
#include "ui/display_scale.h"
#include "ui/splash_image_win.h"
#include "ui/splash_picture_win.h"
#include "ui/window_placement.h"

namespace tessaly {

namespace {

constexpr WORD SPLASH_RESOURCE_ID = 131;
constexpr char SPLASH_RESOURCE_TYPE[] = "IMAGEFILE";

PixelRect ToPixelRect(const RECT& rect) {
    return PixelRect{rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

std::unique_ptr<SplashPicture> LoadSplashImage(HMODULE module) {
    HRSRC resource =
        FindResourceA(module, MAKEINTRESOURCEA(SPLASH_RESOURCE_ID), SPLASH_RESOURCE_TYPE);
    if (resource == nullptr) {
        return nullptr;
    }
    const DWORD size = SizeofResource(module, resource);
    if (size == 0) {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return nullptr;
    }

    ScopedGlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block.IsValid()) {
        return nullptr;
    }
    {
        const ScopedGlobalLock copy(block.Get());
        if (copy.Get() == nullptr) {
            return nullptr;
        }
        std::memcpy(copy.Get(), bytes, size);
    }

    // The stream must not free the block: the image reads from it until it has been decoded.
    ScopedComPtr<IStream> stream;
    if (CreateStreamOnHGlobal(block.Get(), FALSE, reinterpret_cast<IStream**>(stream.Receive())) !=
        S_OK) {
        return nullptr;
    }
    // The image takes a reference of its own to the stream; destroying it drops that reference
    // before the block goes. Once decoded, the picture needs neither of them.
    std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromStream(stream.Get()));
    if (image == nullptr || image->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    return SplashPicture::Decode(*image);
}

void FitWindowToImage(HWND window, const SplashPicture* image, std::int32_t dpi) {
    if (image == nullptr) {
        return;
    }
    // The picture is designed for 96 DPI; on any other display the client area is scaled.
    const std::int32_t width = ScaleToDpi(static_cast<std::int32_t>(image->Width()), dpi);
    const std::int32_t height = ScaleToDpi(static_cast<std::int32_t>(image->Height()), dpi);

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
