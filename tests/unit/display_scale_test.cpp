// Scaling a length by the display's DPI over 96, a half pixel rounded up.
#include <gtest/gtest.h>

#include "ui/display_scale.h"

namespace tessaly {
namespace {

TEST(ScaleToDpi, ScalesByTheDpiOver96AndRoundsAHalfPixelUp) {
    struct Case {
        std::int32_t length;
        std::int32_t dpi;
        std::int32_t expected;
    };
    const Case cases[] = {
        {931, 96, 931},   {583, 96, 583},    // 100%: the design size, pixel for pixel
        {931, 120, 1164}, {583, 120, 729},   // 125%: 1163.75 and 728.75
        {931, 144, 1397}, {583, 144, 875},   // 150%: 1396.5 and 874.5, the half pixel up
        {931, 168, 1629}, {583, 168, 1020},  // 175%: 1629.25 and 1020.25, down
        {931, 192, 1862}, {583, 192, 1166},  // 200%
        {931, 480, 4655}, {0, 144, 0},       // 500%; nothing stays nothing
        {931, 0, 931},    {583, -144, 583},  // no display reports these: taken as 96
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " at " << c.dpi << " DPI");
        EXPECT_EQ(ScaleToDpi(c.length, c.dpi), c.expected);
    }
}

}  // namespace
}  // namespace tessaly
