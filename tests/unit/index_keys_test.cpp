// Dates of the publisher's keys: the tool's reading of a UTC date and the build's reading of a
// key's last day (cmake/index-key-dates.cmake) give the same answers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "format/index_keys.h"

namespace tessaly {
namespace {

// The build's reading of an entry of TESSALY_INDEX_PUBLIC_KEY: the second from which the key is
// refused (empty when it has no last day), a space and the key file; nothing when the build
// refuses the entry.
std::optional<std::string> BuildKeyEntry(const std::string& entry) {
    FILE* pipe = popen((TESSALY_REFUSED_FROM_COMMAND " '" + entry + "' 2>/dev/null").c_str(), "r");
    char line[512] = {};
    const bool read = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr;
    const bool ok = pipe != nullptr && pclose(pipe) == 0 && read;
    std::string text(line);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return ok ? std::optional<std::string>(text) : std::nullopt;
}

// The second from which the build refuses a key whose last day is `date`; nothing when the build
// refuses the date.
std::optional<std::uint64_t> BuildRefusedFrom(const std::string& date) {
    const std::optional<std::string> read = BuildKeyEntry("KEY.pub@" + date);
    return read ? std::optional<std::uint64_t>(std::stoull(*read)) : std::nullopt;
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

TEST(KeyEntry, AnEntryWithAnAtSignIsReadOneWayOnly) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("key-entry-" + std::to_string(getpid()));
    const std::string key = (dir / "k.pub").string();
    const std::string dated = key + "@2027-12-31";
    const struct {
        std::vector<std::string> files;
        std::optional<std::string> read;  // of `dated`; nothing when the build refuses it
    } rows[] = {
        {{key}, "1830297600 " + key},  // refused from 2028-01-01 00:00 UTC
        {{dated}, " " + dated},        // only the whole name is a file: no last day
        {{key, dated}, std::nullopt},  // either reading could be meant
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.files.size());
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const std::string& file : row.files) {
            std::ofstream(file) << "key\n";
        }
        EXPECT_EQ(BuildKeyEntry(dated), row.read);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tessaly
