// The status line's painting: text frames, layout rectangle and font size.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "install/install_steps.h"
#include "install/status_texts.h"
#include "support/text_encoding.h"
#include "ui/status_painter.h"
#include "ui/status_speech.h"

namespace tessaly {
namespace {

constexpr char16_t INITIAL_STATUS_UTF16[] = u"程序正在初始化";

TEST(ComposeStatusText, FramesTheRunningStatusWithSpinnerAndDots) {
    struct Case {
        std::int32_t tick;
        std::u16string expected;
    };
    const std::u16string status = INITIAL_STATUS_UTF16;
    const Case cases[] = {
        {0, u"[\\] " + status + u"\n.     "},
        {1, u"[|] " + status + u"\n..     "},  // the seven-character dot frame
        {2, u"[/] " + status + u"\n...   "},
        {3, u"[-] " + status + u"\n....  "},
        {4, u"[\\] " + status + u"\n..... "},  // the spinner starts over
        {5, u"[|] " + status + u"\n......"},
        {6, u"[/] " + status + u"\n.     "},    // the dots start over
        {13, u"[|] " + status + u"\n..     "},  // spinner entry 5, dot entry 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tick);
        EXPECT_EQ(ComposeStatusText(INITIAL_STATUS, 0, c.tick, test::Cp936ToUtf16), c.expected);
    }
}

TEST(ComposeStatusText, AFailedStatusStandsAlone) {
    // "下载文件索引失败" in code page 936.
    const char failureText[] = "\xCF\xC2\xD4\xD8\xCE\xC4\xBC\xFE\xCB\xF7\xD2\xFD\xCA\xA7\xB0\xDC";
    for (const std::int32_t tick : {0, 1, 13}) {
        SCOPED_TRACE(tick);
        EXPECT_EQ(ComposeStatusText(failureText, 1, tick, test::Cp936ToUtf16), u"下载文件索引失败");
    }
}

TEST(ComposeStatusText, EveryFrameHasItsFixedWidth) {
    for (const std::u16string_view frame : SPINNER_FRAMES) {
        EXPECT_EQ(frame.size(), 4u);
    }
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(DOT_FRAMES[i].size(), i == 1 ? 7u : 6u);
        EXPECT_EQ(DOT_FRAMES[i].find_first_not_of(u'.'),
                  i == 5 ? std::u16string_view::npos : i + 1);
    }
}

// Tick after tick, as the window hands the status over: a reader is given the step's text without
// spinner or dots and the failure text whole, each new text once and a failure's alert once.
TEST(StatusSpeech, AnnouncesEachNewTextOnceWithoutTheAnimation) {
    const InstallStep& index = INSTALL_STEPS[2];
    struct Case {
        const char* text;
        int failed;
        std::u16string spoken;
        bool busy;
        LiveSetting live;
        bool changed;
        bool alert;
    };
    const Case cases[] = {
        {"", 0, u"", true, LiveSetting::Polite, false, false},  // nothing to say yet
        {INITIAL_STATUS, 0, INITIAL_STATUS_UTF16, true, LiveSetting::Polite, true, false},
        // The next tick: only the spinner and the dots moved.
        {INITIAL_STATUS, 0, INITIAL_STATUS_UTF16, true, LiveSetting::Polite, false, false},
        {index.startText, 0, u"开始下载文件索引", true, LiveSetting::Polite, true, false},
        {index.failureText, 1, u"下载文件索引失败", false, LiveSetting::Assertive, true, true},
        // The failure stays on screen: it is not announced again.
        {index.failureText, 1, u"下载文件索引失败", false, LiveSetting::Assertive, false, false},
    };
    StatusSpeech speech;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        const StatusAnnouncement announced = speech.Update(c.text, c.failed, test::Cp936ToUtf16);
        EXPECT_EQ(announced.changed, c.changed);
        EXPECT_EQ(announced.alert, c.alert);
        EXPECT_EQ(speech.LastSpoken().text, c.spoken);
        EXPECT_EQ(speech.LastSpoken().busy, c.busy);
        EXPECT_EQ(speech.LastSpoken().live, c.live);
    }
}

TEST(StatusLayoutRect, IsTheTopQuarterOfTheClientArea) {
    struct Case {
        std::int32_t width;
        std::int32_t height;
        float expectedHeight;
    };
    const Case cases[] = {
        {931, 583, 145.0f},   // 583 / 4 truncated before it becomes a float, not 145.75
        {1397, 875, 218.0f},  // the client area at 150%: the band is scaled with it
        {931, 3, 0.0f},      {200, 4, 1.0f}, {0, 0, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        const LayoutRect layout = StatusLayoutRect(c.width, c.height);
        EXPECT_EQ(layout.x, 0.0f);
        EXPECT_EQ(layout.y, 0.0f);
        EXPECT_EQ(layout.width, static_cast<float>(c.width));
        EXPECT_EQ(layout.height, c.expectedHeight);
    }
}

TEST(StatusFontPoints, GivesTwentyPointsScaledToTheWindowsDpi) {
    struct Case {
        std::int32_t windowDpi;
        float graphicsDpi;
        float expected;
    };
    const Case cases[] = {
        {96, 96.0f, 20.0f},    // exactly the design size, so a 96 DPI display draws as before
        {144, 144.0f, 20.0f},  // the graphics context converts points at 144 DPI itself
        {120, 120.0f, 20.0f},
        {144, 96.0f, 30.0f},      // moved from a 96 DPI display to one at 150%
        {96, 144.0f, 40.0f / 3},  // and from 150% to 100%
        {192, 96.0f, 40.0f},
        {144, 0.0f, 30.0f},  // a context that reports no DPI converts at 96
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.windowDpi << " on " << c.graphicsDpi);
        EXPECT_FLOAT_EQ(StatusFontPoints(c.windowDpi, c.graphicsDpi), c.expected);
    }
    EXPECT_EQ(StatusFontPoints(96, 96.0f), STATUS_FONT_POINTS) << "not exact at 96 DPI";
}

}  // namespace
}  // namespace tessaly
