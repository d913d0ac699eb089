// The status line drawn over the top quarter of the splash picture: a turning spinner, the
// worker's status text and a growing row of dots while a step runs, the text alone once a step
// has failed. The composition and the layout are platform-free; `PaintStatus`
// (status_painter_win.h) draws them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// Four frames, twice over: the spinner turns once every 4 ticks.
inline constexpr std::u16string_view SPINNER_FRAMES[8] = {
    u"[\\] ", u"[|] ", u"[/] ", u"[-] ", u"[\\] ", u"[|] ", u"[/] ", u"[-] ",
};

// The row of dots runs through once every 6 ticks. Entry 1 has one trailing space more than the
// others (7 characters); that is how the row has always looked, and it is kept.
inline constexpr std::u16string_view DOT_FRAMES[6] = {
    u".     ", u"..     ", u"...   ", u"....  ", u"..... ", u"......",
};

// Converts a NUL-terminated code page 936 text to UTF-16.
using TextToUtf16 = std::u16string (*)(const char* text);

// The text that is drawn: with `failed` not 0 the converted status text alone; otherwise
// SPINNER_FRAMES[tick mod 8], the converted text, a line feed and DOT_FRAMES[tick mod 6].
std::u16string ComposeStatusText(const char* statusText, int failed, std::int32_t tick,
                                 TextToUtf16 toUtf16);

struct LayoutRect {
    float x;
    float y;
    float width;
    float height;
};

// The area the text is centred in: the full client width and the top quarter of the client
// height (divided as integers, before the conversion to floating point). The client area is
// scaled with the display, and the band with it.
LayoutRect StatusLayoutRect(std::int32_t clientWidth, std::int32_t clientHeight);

// The status line's size on a 96 DPI display.
inline constexpr float STATUS_FONT_POINTS = 20.0f;

// The font size in points to ask of a graphics context that turns points into pixels at
// `graphicsDpi`, so that the text comes out at STATUS_FONT_POINTS scaled to `windowDpi`: exactly
// STATUS_FONT_POINTS where the two agree. They differ where the window has moved to a display of
// another DPI than the one the program started on. A graphics DPI of 0 or less counts as 96.
float StatusFontPoints(std::int32_t windowDpi, float graphicsDpi);

}  // namespace tessaly
