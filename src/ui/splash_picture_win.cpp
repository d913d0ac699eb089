// The decoded splash picture and its copy drawn at the client area's size.
#include "ui/splash_picture_win.h"

#include <utility>

namespace tessaly {

namespace {

// A client area of the picture's own size (a 96 DPI display) shows the picture as it is. Any other
// size (the client area scaled with the display) is filled with the picture, smoothly resampled;
// the edges are mirrored outward, so that the resampling does not blend them with nothing.
void DrawPicture(Gdiplus::Graphics& graphics, Gdiplus::Bitmap& picture, INT clientWidth,
                 INT clientHeight) {
    const auto width = static_cast<INT>(picture.GetWidth());
    const auto height = static_cast<INT>(picture.GetHeight());
    if (clientWidth == width && clientHeight == height) {
        graphics.DrawImage(&picture, 0, 0);
        return;
    }
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    Gdiplus::ImageAttributes edges;
    edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    graphics.DrawImage(&picture, Gdiplus::Rect(0, 0, clientWidth, clientHeight), 0, 0, width,
                       height, Gdiplus::UnitPixel, &edges);
}

}  // namespace

std::unique_ptr<SplashPicture> SplashPicture::Decode(Gdiplus::Bitmap& image) {
    // A copy in memory of its own, in the format GDI+ draws from fastest, holds every pixel ready:
    // the image read from the stream went back to the PNG whenever it was drawn.
    std::unique_ptr<Gdiplus::Bitmap> source(image.Clone(0, 0, static_cast<INT>(image.GetWidth()),
                                                        static_cast<INT>(image.GetHeight()),
                                                        PixelFormat32bppPARGB));
    if (source == nullptr || source->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    // Drawn at a point, a picture takes its size from its resolution: the PNG's 3779 pixels per
    // metre, a hair under 96 DPI, stretch it by a fraction of a pixel on a 96 DPI display, and the
    // copy must be drawn as the PNG is.
    if (source->SetResolution(image.GetHorizontalResolution(), image.GetVerticalResolution()) !=
        Gdiplus::Ok) {
        return nullptr;
    }
    return std::unique_ptr<SplashPicture>(new SplashPicture(std::move(source)));
}

SplashPicture::SplashPicture(std::unique_ptr<Gdiplus::Bitmap> source)
    : source_(std::move(source)) {}

UINT SplashPicture::Width() const {
    return source_->GetWidth();
}

UINT SplashPicture::Height() const {
    return source_->GetHeight();
}

void SplashPicture::Draw(HDC dc, INT clientWidth, INT clientHeight) {
    if (!cache_ || cache_->width != clientWidth || cache_->height != clientHeight) {
        cache_.reset();  // the old size's bitmap goes before the new one is made
        cache_ = MakeCache(dc, clientWidth, clientHeight);
    }
    if (cache_) {
        BitBlt(dc, 0, 0, clientWidth, clientHeight, cache_->dc.Get(), 0, 0, SRCCOPY);
        return;
    }
    // Without memory for the cache the picture is drawn straight onto the window, as it is drawn
    // into the cache.
    Gdiplus::Graphics graphics(dc);
    DrawPicture(graphics, *source_, clientWidth, clientHeight);
}

std::unique_ptr<SplashPicture::Cache> SplashPicture::MakeCache(HDC dc, INT width,
                                                               INT height) const {
    std::unique_ptr<Cache> cache(
        new Cache{ScopedHandle<HBITMAP, DeleteObject>(CreateCompatibleBitmap(dc, width, height)),
                  ScopedHandle<HDC, DeleteDC>(CreateCompatibleDC(dc)), width, height});
    if (!cache->bitmap.IsValid() || !cache->dc.IsValid() ||
        SelectObject(cache->dc.Get(), cache->bitmap.Get()) == nullptr) {
        return nullptr;
    }
    // A device context compatible with the window's has the window's DPI, which decides the size
    // of the picture drawn at a point.
    Gdiplus::Graphics graphics(cache->dc.Get());
    DrawPicture(graphics, *source_, width, height);
    return cache;
}

}  // namespace tessaly
