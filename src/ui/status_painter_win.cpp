// Painting the installer window: the splash picture, then the status line over its top quarter.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

#include "common/cp936_text_win.h"
#include "ui/status_painter.h"
#include "ui/status_painter_win.h"

namespace tessaly {

namespace {

constexpr Gdiplus::ARGB RUNNING_COLOUR = 0xFF0000FF;  // opaque blue
constexpr Gdiplus::ARGB FAILED_COLOUR = 0xFFFF0000;   // opaque red

std::unique_ptr<Gdiplus::Font> MakeFont(const Gdiplus::FontFamily* family, Gdiplus::REAL points) {
    if (family == nullptr || family->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    auto font = std::make_unique<Gdiplus::Font>(family, points, Gdiplus::FontStyleRegular,
                                                Gdiplus::UnitPoint);
    if (font->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    return font;
}

// A client area of the picture's own size (a 96 DPI display) shows the picture as it is. Any other
// size (the client area scaled with the display) is filled with the picture, smoothly resampled;
// the edges are mirrored outward, so that the resampling does not blend them with nothing.
void DrawPicture(Gdiplus::Graphics& graphics, Gdiplus::Image* image, const RECT& client) {
    const auto width = static_cast<INT>(image->GetWidth());
    const auto height = static_cast<INT>(image->GetHeight());
    const INT clientWidth = client.right - client.left;
    const INT clientHeight = client.bottom - client.top;
    if (clientWidth == width && clientHeight == height) {
        graphics.DrawImage(image, 0, 0);
        return;
    }
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    Gdiplus::ImageAttributes edges;
    edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    graphics.DrawImage(image, Gdiplus::Rect(0, 0, clientWidth, clientHeight), 0, 0, width, height,
                       Gdiplus::UnitPixel, &edges);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeDefault);
}

}  // namespace

void PaintStatus(HDC dc, HWND window, Gdiplus::Image* picture, const StatusView& status) {
    if (picture == nullptr) {
        return;
    }
    RECT client = {};
    GetClientRect(window, &client);
    Gdiplus::Graphics graphics(dc);
    DrawPicture(graphics, picture, client);

    // Kai is the face the status line was designed for; where it is missing, the generic
    // sans-serif family is the one retry.
    const Gdiplus::REAL points = StatusFontPoints(status.dpi, graphics.GetDpiY());
    Gdiplus::FontFamily kai(L"楷体");
    std::unique_ptr<Gdiplus::Font> font = MakeFont(&kai, points);
    if (!font) {
        font = MakeFont(Gdiplus::FontFamily::GenericSansSerif(), points);
    }

    // The colour and the composition come from the same value of `failed`.
    Gdiplus::SolidBrush brush(Gdiplus::Color(status.failed != 0 ? FAILED_COLOUR : RUNNING_COLOUR));

    const LayoutRect layout =
        StatusLayoutRect(client.right - client.left, client.bottom - client.top);
    const Gdiplus::RectF layoutRect(layout.x, layout.y, layout.width, layout.height);

    Gdiplus::StringFormat format(0, LANG_NEUTRAL);
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    format.SetTrimming(Gdiplus::StringTrimmingNone);

    const std::u16string text =
        ComposeStatusText(status.text, status.failed, status.tick, Cp936ToUtf16);
    if (font) {
        graphics.DrawString(reinterpret_cast<const WCHAR*>(text.c_str()),
                            static_cast<INT>(text.size()), font.get(), layoutRect, &format, &brush);
    }
}

}  // namespace tessaly
