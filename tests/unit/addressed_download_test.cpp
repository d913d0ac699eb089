// A content-addressed download skips a target that already holds the named content.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/addressed_download.h"
#include "unit/debug_lines.h"

namespace tessaly {
namespace {

const std::string HEX = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

// What the installed file hashes to in a row.
enum class Installed { Missing, Same, Other };

TEST(DownloadAddressedFile, SkipsATargetThatHoldsTheNamedContent) {
    struct Case {
        const char* what;
        std::string path;
        Installed installed;
        bool downloads;  // what the download action answers
        bool result;
        std::vector<std::string> calls;
        std::vector<std::string> reports;
    } cases[] = {
        {"installed already", "objects/" + HEX, Installed::Same, true, true, {"hash"}, {}},
        {"changed on disk",
         "objects/" + HEX,
         Installed::Other,
         true,
         true,
         {"hash", "download"},
         {}},
        {"missing or unreadable",
         "objects/" + HEX,
         Installed::Missing,
         true,
         true,
         {"hash", "download"},
         {}},
        {"download fails",
         "objects/" + HEX,
         Installed::Other,
         false,
         false,
         {"hash", "download"},
         {}},
        {"not addressed",
         "app/main.exe",
         Installed::Same,
         true,
         false,
         {},
         {"Tessaly: download failed: app/main.exe: not named by the SHA-256 of its content\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::RecordDebugLines();
        std::vector<std::string> calls;
        const AddressedDownloadActions actions{
            [&](const char* filePath, Sha256Digest& digest) {
                calls.push_back("hash");
                EXPECT_STREQ(filePath, "C:\\T\\a.bin");
                ContentAddressDigest(HEX.c_str(), digest);
                digest[31] ^= c.installed == Installed::Other ? 1 : 0;
                return c.installed != Installed::Missing;
            },
            [&](const char* path, const char* filePath, const Sha256Digest& named) {
                calls.push_back("download");
                EXPECT_EQ(path, c.path);
                EXPECT_STREQ(filePath, "C:\\T\\a.bin");
                EXPECT_EQ(named[1], 0x11);
                return c.downloads;
            }};
        EXPECT_EQ(DownloadAddressedFile(c.path.c_str(), "C:\\T\\a.bin", actions), c.result);
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(test::DebugLines(), c.reports);
    }
}

}  // namespace
}  // namespace tessaly
