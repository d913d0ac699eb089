// LoadFileList against a scripted stand-in for the network fetch.
#include <gtest/gtest.h>

#include <string>

#include "install/installer_state.h"
#include "package/fetch_url.h"
#include "package/load_file_list.h"

namespace tessaly {
namespace {

struct FakeServer {
    bool answers = true;
    std::string body;
    std::string lastPath;
} server;

}  // namespace

// The native build has no network layer; this stand-in answers the way FetchUrl does.
bool FetchUrl(const char* relativePath, ByteBuffer& buffer) {
    server.lastPath = relativePath;
    if (!server.answers || server.body.empty()) {
        return false;
    }
    buffer.assign(server.body.begin(), server.body.end());
    return true;
}

namespace {

TEST(LoadFileList, FetchesTheIndexAndReplacesTheList) {
    server = {true, "1|bin|\n0|a|bin\\a", ""};
    ASSERT_TRUE(LoadFileList());
    EXPECT_EQ(server.lastPath, "/FileList.txt");
    EXPECT_EQ(State().entries.size(), 2u);

    server = {true, "3|run.exe", ""};
    ASSERT_TRUE(LoadFileList());
    ASSERT_EQ(State().entries.size(), 1u);
    EXPECT_EQ(State().entries[0].kind, Launch);
}

TEST(LoadFileList, FailureLeavesTheListEmpty) {
    server = {true, "1|bin|\n0|a|bin\\a", ""};
    ASSERT_TRUE(LoadFileList());
    server.answers = false;
    EXPECT_FALSE(LoadFileList());
    EXPECT_TRUE(State().entries.empty());

    server = {true, "1|bin|", ""};
    ASSERT_TRUE(LoadFileList());
    server.body = std::string(
        "\0"
        "1|bin|",
        7);  // no line before the zero byte
    EXPECT_FALSE(LoadFileList());
    EXPECT_TRUE(State().entries.empty());
}

TEST(LoadFileList, IndexOfSkippedLinesSucceedsWithNoEntries) {
    server = {true, "\r\n# comment\r\n|x\r\n", ""};
    EXPECT_TRUE(LoadFileList());
    EXPECT_TRUE(State().entries.empty());
}

}  // namespace
}  // namespace tessaly
