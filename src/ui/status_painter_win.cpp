// Painting the installer window: the splash picture, then the status line over its top quarter.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

#include "common/cp936_text_win.h"
#include "ui/splash_picture_win.h"
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

}  // namespace

void PaintStatus(HDC dc, HWND window, SplashPicture* picture, const StatusView& status) {
    if (picture == nullptr) {
        return;
    }
    RECT client = {};
    GetClientRect(window, &client);
    picture->Draw(dc, client.right - client.left, client.bottom - client.top);
    Gdiplus::Graphics graphics(dc);

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
