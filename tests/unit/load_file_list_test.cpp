// LoadFileList and LoadSignedFileList against a scripted stand-in for the network fetch.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "package/load_file_list.h"
#include "package/signed_file_list.h"

namespace tessaly {
namespace {

// A scripted package server, handed to the step in place of the network fetch; it answers the way
// FetchUrl does.
struct FakeServer {
    bool answers = true;
    std::string body;
    std::string lastPath;
} server;

bool FetchFromFakeServer(const char* relativePath, ByteBuffer& buffer) {
    server.lastPath = relativePath;
    if (!server.answers || server.body.empty()) {
        return false;
    }
    buffer.assign(server.body.begin(), server.body.end());
    return true;
}

bool LoadFromFakeServer(EntryList& entries) {
    return LoadFileListFrom(FetchFromFakeServer, entries);
}

TEST(LoadFileList, FetchesTheIndexAndReplacesTheList) {
    EntryList entries;
    server = {true, "1|bin|\n0|a|bin\\a", ""};
    ASSERT_TRUE(LoadFromFakeServer(entries));
    EXPECT_EQ(server.lastPath, "/FileList.txt");
    EXPECT_EQ(entries.size(), 2u);

    server = {true, "3|run.exe", ""};
    ASSERT_TRUE(LoadFromFakeServer(entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, Launch);
}

TEST(LoadFileList, FailureLeavesTheListEmpty) {
    EntryList entries;
    server = {true, "1|bin|\n0|a|bin\\a", ""};
    ASSERT_TRUE(LoadFromFakeServer(entries));
    server.answers = false;
    EXPECT_FALSE(LoadFromFakeServer(entries));
    EXPECT_TRUE(entries.empty());

    server = {true, "1|bin|", ""};
    ASSERT_TRUE(LoadFromFakeServer(entries));
    server.body = std::string(
        "\0"
        "1|bin|",
        7);  // no line before the zero byte
    EXPECT_FALSE(LoadFromFakeServer(entries));
    EXPECT_TRUE(entries.empty());
}

TEST(LoadFileList, IndexOfSkippedLinesSucceedsWithNoEntries) {
    EntryList entries = {InstallEntry{Launch, "run.exe", ""}};  // a list to be replaced
    server = {true, "\r\n# comment\r\n|x\r\n", ""};
    EXPECT_TRUE(LoadFromFakeServer(entries));
    EXPECT_TRUE(entries.empty());
}

// The step of a keyed installer, with stand-in cryptography whose verdict each row chooses.
TEST(LoadSignedFileList, ReadsTheSignedTextOnlyWhenTheCheckPasses) {
    const std::string text = "1|bin|\r\n0|a|bin\\a\r\n";
    const std::string line =
        "#signature v1 key=0123456789abcdef expires=1000 sig=" + std::string(128, '5') + "\r\n";
    std::string hashed;
    std::string verified;
    bool verifies = true;
    const IndexKey held[] = {{"0123456789abcdef", NO_LAST_DAY}};
    const IndexKey other[] = {{"fedcba9876543210", NO_LAST_DAY}};
    const IndexTrust trusted{
        held, 1, 999,
        SignatureCrypto{
            [&hashed](const unsigned char* data, std::size_t size, Sha256Digest& digest) {
                hashed.assign(reinterpret_cast<const char*>(data), size);
                std::fill(std::begin(digest), std::end(digest), 0xab);
                return true;
            },
            [&verified, &verifies](std::size_t, const char* message, std::size_t size,
                                   const unsigned char(&signature)[64]) {
                verified.assign(message, size);
                return verifies && signature[0] == 0x55;
            }}};
    IndexTrust otherKey = trusted;
    otherKey.keys = other;
    IndexTrust expired = trusted;
    expired.now = 1000;
    struct Case {
        const char* name;
        std::string index;
        const IndexTrust& trust;
        bool verifies;
        bool loads;
    } cases[] = {
        {"good", text + line, trusted, true, true},
        {"no signature line", text, trusted, true, false},
        {"another key", text + line, otherKey, true, false},
        {"does not verify", text + line, trusted, false, false},
        {"expired", text + line, expired, true, false},
        {"nothing signed but the line", line, trusted, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EntryList entries = {InstallEntry{Launch, "run.exe", ""}};  // a list to be replaced
        server = {true, c.index, ""};
        hashed.clear();
        verifies = c.verifies;
        EXPECT_EQ(LoadSignedFileList(FetchFromFakeServer, c.trust, entries), c.loads);
        EXPECT_EQ(server.lastPath, "/FileList.txt");
        EXPECT_EQ(entries.size(), c.loads ? 2u : 0u);
        if (c.loads) {
            EXPECT_EQ(hashed, text);
            EXPECT_NE(verified.find("\nsha256=abababababababababababababababab"), std::string::npos)
                << verified;
        }
    }
}

}  // namespace
}  // namespace tessaly
