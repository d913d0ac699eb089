// A key entry "KEY.pub@DATE": the tool and the build read its last day alike, and one way only.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "format/index_keys.h"
#include "support/files.h"
#include "support/process.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t NONE = UINT64_MAX;

// Which of the files that the entry "k.pub@DATE" may name exist when the build reads it.
enum class KeyFiles { None, Key, Dated, Both };

struct KeyEntryRow {
    const char* date;        // the last day, as written after "@"
    std::uint64_t dayStart;  // NONE when the text is no date
    KeyFiles files;
};

// The build's reading of an entry of TESSALY_INDEX_PUBLIC_KEY: the second from which the key is
// refused (empty when it has no last day), a space and the key file; nothing when the build
// refuses the entry.
std::optional<std::string> BuildKeyEntry(const std::string& entry) {
    const test::CommandResult run =
        test::RunCommand({"/bin/sh", "-c", TESSALY_REFUSED_FROM_COMMAND " '" + entry + "'"});
    if (!run.finished || run.exitCode != 0 || run.output.empty()) {
        return std::nullopt;
    }
    std::string text = run.output;
    if (text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

void PrintTo(const KeyEntryRow& row, std::ostream* out) {
    static const char* const FILES[] = {"no file", "k.pub", "k.pub@DATE", "both files"};
    *out << "k.pub@" << row.date << " with " << FILES[static_cast<int>(row.files)];
}

class KeyEntry : public ::testing::TestWithParam<KeyEntryRow> {};

TEST_P(KeyEntry, TheToolAndTheBuildReadTheLastDayAlike) {
    const KeyEntryRow& row = GetParam();
    std::uint64_t dayStart = NONE;
    EXPECT_EQ(ReadUtcDate(row.date, dayStart), row.dayStart != NONE);
    if (row.dayStart != NONE) {
        EXPECT_EQ(dayStart, row.dayStart);
    }

    const fs::path dir = fs::temp_directory_path() / ("key-entry-" + std::to_string(getpid()));
    fs::remove_all(dir);
    const std::string key = (dir / "k.pub").string();
    const std::string dated = key + "@" + row.date;
    if (row.files == KeyFiles::Key || row.files == KeyFiles::Both) {
        test::WriteTestFile(key, "key\n");
    }
    if (row.files == KeyFiles::Dated || row.files == KeyFiles::Both) {
        test::WriteTestFile(dated, "key\n");
    }
    std::optional<std::string> expected;
    if (row.files == KeyFiles::Dated) {
        expected = " " + dated;  // only the whole name is a file: no last day
    } else if (row.files != KeyFiles::Both && row.dayStart != NONE) {
        expected = std::to_string(row.dayStart + SECONDS_PER_DAY) + " " + key;
    }
    EXPECT_EQ(BuildKeyEntry(dated), expected);
    fs::remove_all(dir);
}

const KeyEntryRow KEY_ENTRIES[] = {
    {"1970-01-01", 0, KeyFiles::None},
    {"2020-01-01", 1577836800, KeyFiles::None},
    {"2026-03-01", 1772323200, KeyFiles::None},
    {"2000-02-29", 951782400, KeyFiles::None},
    {"2028-02-29", 1835395200, KeyFiles::None},
    {"9999-12-31", 253402214400, KeyFiles::None},
    {"2027-02-29", NONE, KeyFiles::None},
    {"2100-02-29", NONE, KeyFiles::None},
    {"2026-13-01", NONE, KeyFiles::None},
    {"2026-04-31", NONE, KeyFiles::None},
    {"2026-3-1", NONE, KeyFiles::None},
    {"1969-12-31", NONE, KeyFiles::None},
    {"", NONE, KeyFiles::None},
    // Refused from 2028-01-01 00:00 UTC when only k.pub exists; with both files either reading
    // could be meant, and the build refuses the entry.
    {"2027-12-31", 1830211200, KeyFiles::Key},
    {"2027-12-31", 1830211200, KeyFiles::Dated},
    {"2027-12-31", 1830211200, KeyFiles::Both},
};

INSTANTIATE_TEST_SUITE_P(LastDay, KeyEntry, ::testing::ValuesIn(KEY_ENTRIES));

}  // namespace
}  // namespace tessaly
