// The paths the install passes compose from index entries: containment and fit, for every kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "package/entry_targets.h"

namespace tessaly {
namespace {

constexpr char INSTALL_DIR[] = "C:\\Program Files\\Tessaly\\";

struct Outcome {
    bool accepted;
    std::string text;
    bool zeroAfterText;  // every byte after the text's terminator is zero
};

// Runs one composer on a buffer pre-filled with a sentinel, to prove what it writes.
template <std::size_t N>
Outcome Run(bool (*compose)(char (&)[N], const char*, const char*), const char* directory,
            const char* relative) {
    char out[N];
    std::memset(out, 0x5a, N);
    Outcome outcome;
    outcome.accepted = compose(out, directory, relative);
    const std::size_t length = strnlen(out, N);
    outcome.text.assign(out, length);
    outcome.zeroAfterText =
        std::all_of(out + std::min(length, N), out + N, [](char c) { return c == '\0'; });
    return outcome;
}

struct Composer {
    const char* name;
    std::size_t capacity;  // the fixed text that the whole path must fit, terminator included
    const char* suffix;    // what follows the entry's column
    Outcome (*run)(const char* directory, const char* relative);
};

const Composer COMPOSERS[] = {
    {"folder path", FOLDER_PATH_CAPACITY, "",
     [](const char* d, const char* r) { return Run(ComposeFolderPath, d, r); }},
    {"file path", FILE_PATH_CAPACITY, "",
     [](const char* d, const char* r) { return Run(ComposeFilePath, d, r); }},
    {"link target", LINK_TARGET_CAPACITY, "",
     [](const char* d, const char* r) { return Run(ComposeLinkTarget, d, r); }},
    {"link path", LINK_PATH_CAPACITY, ".lnk",
     [](const char* d, const char* r) { return Run(ComposeLinkPath, d, r); }},
    {"launch path", TARGET_PATH_CAPACITY, "",
     [](const char* d, const char* r) { return Run(ComposeLaunchPath, d, r); }},
};

TEST(EntryTargets, JoinsDirectoryColumnAndSuffix) {
    for (const Composer& composer : COMPOSERS) {
        for (const char* relative : {"bin\\main.exe", "bin/main.exe", "main.exe", "a\\.\\b",
                                     "数据\\文件.dat", "bin\\", ""}) {
            SCOPED_TRACE(std::string(composer.name) + " / " + relative);
            const Outcome outcome = composer.run(INSTALL_DIR, relative);
            EXPECT_TRUE(outcome.accepted);
            EXPECT_EQ(outcome.text, std::string(INSTALL_DIR) + relative + composer.suffix);
            EXPECT_TRUE(outcome.zeroAfterText);
        }
    }
}

TEST(EntryTargets, RefusesColumnsThatLeaveTheDirectoryOrAreNotCodePage936) {
    for (const Composer& composer : COMPOSERS) {
        // Each way out of the directory (format/entry_paths.h, whose tests list them all), and
        // text that is not code page 936.
        for (const char* relative : {"..\\evil", "C:\\evil.txt", "\\\\host\\share", "bin\\con.txt",
                                     "bad\xFF.txt", "数据\xCA"}) {
            SCOPED_TRACE(std::string(composer.name) + " / " + relative);
            const Outcome outcome = composer.run(INSTALL_DIR, relative);
            EXPECT_FALSE(outcome.accepted);
            EXPECT_EQ(outcome.text, "");
            EXPECT_TRUE(outcome.zeroAfterText);
        }
    }
}

TEST(EntryTargets, RefusesPathsOneByteTooLongForTheirText) {
    for (const Composer& composer : COMPOSERS) {
        // The longest path that fits leaves exactly one byte for the terminator.
        const std::size_t longest = composer.capacity - 1;
        const std::size_t fixed = std::strlen(INSTALL_DIR) + std::strlen(composer.suffix);
        for (const std::size_t total : {longest - 1, longest, longest + 1, longest + 2}) {
            const std::string relative = "sub\\" + std::string(total - fixed - 4, 'x');
            SCOPED_TRACE(std::string(composer.name) + " / length " + std::to_string(total));
            const Outcome outcome = composer.run(INSTALL_DIR, relative.c_str());
            const bool fits = total <= longest;
            EXPECT_EQ(outcome.accepted, fits);
            EXPECT_EQ(outcome.text.size(), fits ? total : 0u);
            EXPECT_TRUE(outcome.zeroAfterText);
        }
    }
}

TEST(EntryTargets, LengthIsCountedInBytesOfTheAnsiText) {
    // Two bytes per character in code page 936: 127 characters of 2 bytes overflow 256 bytes
    // together with the directory, although they are far fewer than 256 characters.
    std::string relative;
    for (int i = 0; i < 127; ++i) {
        relative += "数";
    }
    ASSERT_EQ(relative.size(), 254u);
    const Outcome outcome = COMPOSERS[0].run(INSTALL_DIR, relative.c_str());
    EXPECT_FALSE(outcome.accepted);
    EXPECT_TRUE(outcome.zeroAfterText);
}

TEST(KeepDirectoryPart, CutsRightAfterTheLastBackslash) {
    struct Case {
        const char* text;
        const char* directory;
    };
    for (const Case& c :
         {Case{"C:\\Program Files\\Tessaly\\bin\\main.exe", "C:\\Program Files\\Tessaly\\bin\\"},
          Case{"C:\\Program Files\\Tessaly\\main.exe", "C:\\Program Files\\Tessaly\\"},
          Case{"C:\\Program Files\\Tessaly\\bin\\", "C:\\Program Files\\Tessaly\\bin\\"},
          Case{"C:\\Tessaly\\bin/main.exe", "C:\\Tessaly\\"}, Case{"main.exe", ""}, Case{"", ""}}) {
        SCOPED_TRACE(c.text);
        char text[LINK_TARGET_CAPACITY] = {};
        std::strcpy(text, c.text);
        KeepDirectoryPart(text);
        EXPECT_STREQ(text, c.directory);
        EXPECT_TRUE(std::all_of(text + std::strlen(text), text + sizeof text,
                                [](char ch) { return ch == '\0'; }));
    }
}

}  // namespace
}  // namespace tessaly
