// The splash picture as the window shows it: decoded once, and kept ready drawn at the client
// area's size, so that a repaint costs one blit.
//
// The window repaints twice a second for as long as it is open, mostly while it waits for the
// network. Decoding the PNG and resampling it for the display at every paint kept a whole core
// busy at 150% (and half of one at 100%) on slow machines, for a picture that only changes when
// the client area does. So the picture is decoded once when it is loaded, drawn once into a bitmap
// of the client area's size, and drawn again only when that size changes (a new display scale).
// What the user sees is the same: the cached bitmap holds exactly what a direct draw puts on the
// screen.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

#include "common/scoped_win.h"

namespace tessaly {

// Holds GDI+ objects: it must be destroyed before GDI+ is shut down.
class SplashPicture {
  public:
    // Decodes `image` into memory of its own, keeping its resolution (which decides the size a
    // draw at a point gives), so that `image` and the stream it reads from can go. nullptr when
    // the picture cannot be decoded.
    static std::unique_ptr<SplashPicture> Decode(Gdiplus::Bitmap& image);

    // The picture's own size in pixels.
    UINT Width() const;
    UINT Height() const;

    // Fills the client area of `clientWidth` x `clientHeight` pixels at the origin of `dc` with
    // the picture: at its own size where the client area has it (a 96 DPI display), otherwise
    // smoothly resampled to fill the client area. The picture is drawn into the cache when the
    // client area's size differs from the last call's, and the cache is blitted onto `dc`.
    // Must not be called once GDI+ has been shut down.
    void Draw(HDC dc, INT clientWidth, INT clientHeight);

  private:
    explicit SplashPicture(std::unique_ptr<Gdiplus::Bitmap> source);

    // A memory device context holding the picture drawn at one client area's size.
    struct Cache {
        ScopedHandle<HBITMAP, DeleteObject> bitmap;
        ScopedHandle<HDC, DeleteDC> dc;  // declared last: it goes before the bitmap selected in it
        INT width;
        INT height;
    };
    // The picture drawn for a client area of `width` x `height`, in a bitmap compatible with `dc`;
    // nullptr when the system has no memory or handles left for it.
    std::unique_ptr<Cache> MakeCache(HDC dc, INT width, INT height) const;

    std::unique_ptr<Gdiplus::Bitmap> source_;
    std::unique_ptr<Cache> cache_;
};

}  // namespace tessaly
