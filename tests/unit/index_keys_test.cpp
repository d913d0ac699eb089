// Dates of the publisher's keys: the tool's reading of a UTC date and the build's reading of a
// key's last day (cmake/index-key-dates.cmake) give the same answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "format/index_keys.h"

namespace tessaly {
namespace {

// The second from which the build refuses a key whose last day is `date`; nothing when the build
// refuses the date.
std::optional<std::uint64_t> BuildRefusedFrom(const std::string& date) {
    FILE* pipe = popen((TESSALY_REFUSED_FROM_COMMAND " '" + date + "' 2>/dev/null").c_str(), "r");
    char line[64] = {};
    const bool read = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr;
    const bool ok = pipe != nullptr && pclose(pipe) == 0 && read;
    return ok ? std::optional<std::uint64_t>(std::stoull(line)) : std::nullopt;
}

TEST(ReadUtcDate, IsTheBuildsReadingOfALastDay) {
    constexpr std::uint64_t NONE = UINT64_MAX;
    const struct {
        const char* text;
        std::uint64_t dayStart;  // NONE when the text is no date
    } rows[] = {
        {"1970-01-01", 0},
        {"2020-01-01", 1577836800},
        {"2026-03-01", 1772323200},
        {"2000-02-29", 951782400},
        {"2028-02-29", 1835395200},
        {"9999-12-31", 253402214400},
        {"2027-02-29", NONE},
        {"2100-02-29", NONE},
        {"2026-13-01", NONE},
        {"2026-04-31", NONE},
        {"2026-3-1", NONE},
        {"1969-12-31", NONE},
        {"", NONE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::uint64_t dayStart = NONE;
        EXPECT_EQ(ReadUtcDate(row.text, dayStart), row.dayStart != NONE);
        const std::optional<std::uint64_t> refusedFrom = BuildRefusedFrom(row.text);
        if (row.dayStart == NONE) {
            EXPECT_FALSE(refusedFrom.has_value());
        } else {
            EXPECT_EQ(dayStart, row.dayStart);
            EXPECT_EQ(refusedFrom, row.dayStart + SECONDS_PER_DAY);
        }
    }
}

}  // namespace
}  // namespace tessaly
