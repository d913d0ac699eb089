// Composition and layout of the animated status line.
#include "ui/status_painter.h"

#include "ui/display_scale.h"

namespace tessaly {

std::u16string ComposeStatusText(const char* statusText, int failed, std::int32_t tick,
                                 TextToUtf16 toUtf16) {
    std::u16string text = toUtf16(statusText);
    if (failed != 0) {
        return text;
    }
    // The tick only counts up from 0; taken as unsigned, even a wrapped counter picks a frame.
    const auto frame = static_cast<std::uint32_t>(tick);
    std::u16string composed(SPINNER_FRAMES[frame % 8]);
    composed += text;
    composed += u'\n';
    composed += DOT_FRAMES[frame % 6];
    return composed;
}

LayoutRect StatusLayoutRect(std::int32_t clientWidth, std::int32_t clientHeight) {
    return LayoutRect{0.0f, 0.0f, static_cast<float>(clientWidth),
                      static_cast<float>(clientHeight / 4)};
}

float StatusFontPoints(std::int32_t windowDpi, float graphicsDpi) {
    if (graphicsDpi <= 0.0f) {
        graphicsDpi = static_cast<float>(DEFAULT_DPI);
    }
    return STATUS_FONT_POINTS * static_cast<float>(windowDpi) / graphicsDpi;
}

}  // namespace tessaly
