// Placing the installer window: the client area fitted to the picture, centred, at any scale.
#include <gtest/gtest.h>

#include "ui/display_scale.h"
#include "ui/window_placement.h"

namespace tessaly {
namespace {

struct PlacementCase {
    const char* name;
    PixelRect window;
    PixelRect client;
    PixelRect desktop;
    WindowPlacement expected;
};

// The splash picture is 931 x 583; a frame adds 6 x 29 unless a case says otherwise.
constexpr std::int32_t IMAGE_WIDTH = 931;
constexpr std::int32_t IMAGE_HEIGHT = 583;

TEST(ComputeFittedPlacement, FitsTheClientAreaToThePictureAndCentres) {
    const PlacementCase cases[] = {
        {"full HD screen",
         {100, 100, 406, 329},
         {0, 0, 300, 200},
         {0, 0, 1920, 1080},
         {491, 234, 937, 612}},
        // The frame is measured, not assumed: only the differences count, not the positions.
        {"window created off-screen",
         {-5000, 7000, -4694, 7229},
         {0, 0, 300, 200},
         {0, 0, 1920, 1080},
         {491, 234, 937, 612}},
        {"thin frame",
         {0, 0, 302, 202},
         {0, 0, 300, 200},
         {0, 0, 1920, 1080},
         {493, 247, 933, 585}},
        // Negative results are kept; the division truncates toward zero (-137 / 2 is -68).
        {"screen smaller than the window",
         {0, 0, 306, 229},
         {0, 0, 300, 200},
         {0, 0, 800, 600},
         {-68, -6, 937, 612}},
        {"screen exactly the window's size",
         {0, 0, 306, 229},
         {0, 0, 300, 200},
         {0, 0, 937, 612},
         {0, 0, 937, 612}},
        // The desktop's own left and top are not added to the position.
        {"desktop not at the origin",
         {0, 0, 306, 229},
         {0, 0, 300, 200},
         {100, 50, 2020, 1130},
         {491, 234, 937, 612}},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowPlacement placement =
            ComputeFittedPlacement(IMAGE_WIDTH, IMAGE_HEIGHT, c.window, c.client, c.desktop);
        EXPECT_EQ(placement.x, c.expected.x);
        EXPECT_EQ(placement.y, c.expected.y);
        EXPECT_EQ(placement.width, c.expected.width);
        EXPECT_EQ(placement.height, c.expected.height);
    }
}

TEST(ComputeFittedPlacement, AnOddRemainderIsDroppedOnBothSidesOfZero) {
    // 983 / 2 is 491 and -983 / 2 is -491: truncation, not rounding down.
    const PixelRect window = {0, 0, 6, 29};
    const PixelRect client = {0, 0, 0, 0};
    const WindowPlacement wide =
        ComputeFittedPlacement(931, 583, window, client, {0, 0, 1920, 1080});
    EXPECT_EQ(wide.x, 491);
    const WindowPlacement narrow =
        ComputeFittedPlacement(1977, 583, window, client, {0, 0, 1000, 1080});
    EXPECT_EQ(narrow.width, 1983);
    EXPECT_EQ(narrow.x, -491);
}

TEST(ComputeFittedPlacement, CentresTheClientAreaScaledTo150Percent) {
    // At 144 DPI the client area is the picture scaled, 1397 x 875, and the frame that the window
    // measures is the system's, scaled too (9 x 44 here); the screen has 2880 x 1620 pixels.
    const WindowPlacement placement =
        ComputeFittedPlacement(ScaleToDpi(IMAGE_WIDTH, 144), ScaleToDpi(IMAGE_HEIGHT, 144),
                               {0, 0, 309, 244}, {0, 0, 300, 200}, {0, 0, 2880, 1620});
    EXPECT_EQ(placement.width, 1406);
    EXPECT_EQ(placement.height, 919);
    EXPECT_EQ(placement.x, 737);
    EXPECT_EQ(placement.y, 350);  // 350.5, truncated
}

}  // namespace
}  // namespace tessaly
