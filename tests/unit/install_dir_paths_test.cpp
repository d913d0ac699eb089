// The install directory text and the directory search pattern, and where they stop fitting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "package/install_dir_paths.h"

namespace tessaly {
namespace {

bool AllZeroFrom(const char* text, std::size_t from, std::size_t size) {
    return std::all_of(text + from, text + size, [](char c) { return c == '\0'; });
}

TEST(ComposeInstallDir, AppendsTheFolderNameWithoutTrailingBackslash) {
    char out[INSTALL_DIR_CAPACITY];
    std::memset(out, 0x5a, sizeof out);
    ASSERT_TRUE(ComposeInstallDir(out, "C:\\Program Files"));
    EXPECT_STREQ(out, "C:\\Program Files\\Tessaly");
    EXPECT_TRUE(AllZeroFrom(out, std::strlen(out), sizeof out));
}

TEST(ComposeInstallDir, KeepsRoomForTheTrailingBackslash) {
    const std::size_t folderName = std::strlen("\\Tessaly");
    // The finished directory text, its backslash included, must leave one byte for the terminator.
    for (const std::size_t finished : {INSTALL_DIR_CAPACITY - 2, INSTALL_DIR_CAPACITY - 1,
                                       INSTALL_DIR_CAPACITY, INSTALL_DIR_CAPACITY + 1}) {
        SCOPED_TRACE(finished);
        const std::string programFiles = "C:\\" + std::string(finished - folderName - 1 - 3, 'p');
        char out[INSTALL_DIR_CAPACITY];
        std::memset(out, 0x5a, sizeof out);
        const bool fits = finished < INSTALL_DIR_CAPACITY;
        EXPECT_EQ(ComposeInstallDir(out, programFiles.c_str()), fits);
        EXPECT_EQ(std::strlen(out), fits ? finished - 1 : 0u);
        EXPECT_TRUE(AllZeroFrom(out, std::strlen(out), sizeof out));
    }
}

TEST(ComposeSearchPattern, RefusesAPatternOneByteTooLong) {
    for (const std::size_t pattern : {SEARCH_PATTERN_CAPACITY - 1, SEARCH_PATTERN_CAPACITY}) {
        SCOPED_TRACE(pattern);
        const std::string path = "C:\\" + std::string(pattern - 2 - 3, 'd');
        char out[SEARCH_PATTERN_CAPACITY];
        std::memset(out, 0x5a, sizeof out);
        const bool fits = pattern < SEARCH_PATTERN_CAPACITY;
        EXPECT_EQ(ComposeSearchPattern(out, path.c_str()), fits);
        EXPECT_EQ(std::string(out), fits ? path + "\\*" : "");
        EXPECT_TRUE(AllZeroFrom(out, std::strlen(out), sizeof out));
    }
}

}  // namespace
}  // namespace tessaly
