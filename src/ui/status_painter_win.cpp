// Painting the installer window: the splash picture, then the status line over its top quarter.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

#include "common/cp936_text_win.h"
#include "install/installer_state.h"
#include "ui/status_painter.h"

namespace tessaly {

namespace {

constexpr Gdiplus::ARGB RUNNING_COLOUR = 0xFF0000FF;  // opaque blue
constexpr Gdiplus::ARGB FAILED_COLOUR = 0xFFFF0000;   // opaque red
constexpr Gdiplus::REAL FONT_SIZE = 20.0f;            // points

std::unique_ptr<Gdiplus::Font> MakeFont(const Gdiplus::FontFamily* family) {
    if (family == nullptr || family->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    auto font = std::make_unique<Gdiplus::Font>(family, FONT_SIZE, Gdiplus::FontStyleRegular,
                                                Gdiplus::UnitPoint);
    if (font->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    return font;
}

}  // namespace

void PaintStatus(HDC dc, HWND window) {
    Gdiplus::Image* image = State().splashImage;
    if (image == nullptr) {
        return;
    }
    Gdiplus::Graphics graphics(dc);
    graphics.DrawImage(image, 0, 0);

    // Kai is the face the status line was designed for; where it is missing, the generic
    // sans-serif family is the one retry.
    Gdiplus::FontFamily kai(L"楷体");
    std::unique_ptr<Gdiplus::Font> font = MakeFont(&kai);
    if (!font) {
        font = MakeFont(Gdiplus::FontFamily::GenericSansSerif());
    }

    // The colour and the composition must come from the same value of `failed`.
    const StatusSnapshot status = ReadStatus();
    Gdiplus::SolidBrush brush(Gdiplus::Color(status.failed != 0 ? FAILED_COLOUR : RUNNING_COLOUR));

    RECT client = {};
    GetClientRect(window, &client);
    const LayoutRect layout =
        StatusLayoutRect(client.right - client.left, client.bottom - client.top);
    const Gdiplus::RectF layoutRect(layout.x, layout.y, layout.width, layout.height);

    Gdiplus::StringFormat format(0, LANG_NEUTRAL);
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    format.SetTrimming(Gdiplus::StringTrimmingNone);

    const std::u16string text =
        ComposeStatusText(status.text, status.failed, State().tick, Cp936ToUtf16);
    if (font) {
        graphics.DrawString(reinterpret_cast<const WCHAR*>(text.c_str()),
                            static_cast<INT>(text.size()), font.get(), layoutRect, &format, &brush);
    }
}

}  // namespace tessaly
