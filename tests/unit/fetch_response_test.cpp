// Reading a download's Content-Length and deciding whether its body arrived complete.
#include <gtest/gtest.h>

#include <cstdint>

#include "package/fetch_response.h"

namespace tessaly {
namespace {

TEST(ParseContentLength, ReadsPlainDecimalsAndRefusesTheRest) {
    struct Case {
        const char* text;
        bool ok;
        std::uint64_t length;
    } cases[] = {
        {"0", true, 0},
        {"100000", true, 100000},
        {" 42\t", true, 42},
        {"67108864", true, 67108864},
        {"4294967296", true, 4294967296ull},  // above 32 bits: a 32-bit DWORD query would wrap
        {"18446744073709551615", true, 18446744073709551615ull},
        {"18446744073709551616", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"-1", false, 0},
        {"+5", false, 0},
        {"12a", false, 0},
        {"1 2", false, 0},
        {"0x10", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint64_t length = 0xdeadbeef;
        EXPECT_EQ(ParseContentLength(c.text, length), c.ok);
        EXPECT_EQ(length, c.ok ? c.length : 0xdeadbeef);
    }
}

TEST(BodyComplete, NeedsA2xxStatusABodyAndTheAnnouncedLength) {
    struct Case {
        const char* name;
        ResponseHead head;
        std::uint64_t received;
        bool complete;
    } cases[] = {
        {"200 with its length", {200, true, 1000}, 1000, true},
        {"200 without a length", {200, false, 0}, 7, true},
        {"204 style empty 2xx", {204, false, 0}, 0, false},
        {"200 announced empty", {200, true, 0}, 0, false},
        {"200 without a length, nothing came", {200, false, 0}, 0, false},
        {"cut short", {200, true, 100000}, 1000, false},
        {"more than announced", {200, true, 10}, 11, false},
        {"299 is still success", {299, true, 3}, 3, true},
        {"199", {199, true, 3}, 3, false},
        {"300", {300, true, 3}, 3, false},
        {"404 with a page", {404, true, 120}, 120, false},
        {"500 with a page", {500, false, 0}, 50, false},
        {"status unknown", {0, false, 0}, 50, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BodyComplete(c.head, c.received), c.complete);
    }
}

}  // namespace
}  // namespace tessaly
