// The passes over the entry list with recording actions: which entries act, in which order, with
// which path, and where a pass stops. Path composition itself is covered in entry_targets_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "package/entry_targets.h"
#include "package/install_passes.h"
#include "unit/debug_lines.h"

namespace tessaly {
namespace {

constexpr char DIR[] = "C:\\T\\";
constexpr char DESKTOP[] = "D:\\Desk";

InstallEntry Entry(std::int32_t kind, const char* path, const char* local = "") {
    InstallEntry entry = {};
    entry.kind = kind;
    std::strcpy(entry.path, path);
    std::strcpy(entry.local, local);
    return entry;
}

// Every action call as one line; an action fails when it is call number `failingCall` (0-based).
struct Recorder {
    std::vector<std::string> calls;
    std::size_t failingCall = SIZE_MAX;

    bool Record(std::string call) {
        calls.push_back(std::move(call));
        return calls.size() - 1 != failingCall;
    }
};

// The failure line for support that a pass writes itself.
std::string Report(const std::string& what, const std::string& subject,
                   const std::string& reason = REFUSED_PATH_REASON) {
    return "Tessaly: " + what + " failed: " + subject + ": " + reason + "\n";
}

struct PassCase {
    const char* name;
    EntryList entries;
    std::size_t failingCall;
    bool result;
    std::vector<std::string> calls;
    std::vector<std::string> reports;
};

TEST(RunDownloadPass, ActsOnDownloadsAndFoldersInOrderAndStopsAtTheFirstFailure) {
    const EntryList typical = {Entry(Folder, "bin"),
                               Entry(Download, "o/1", "bin\\a"),
                               Entry(Shortcut, "bin\\a", "A"),
                               Entry(Launch, "bin\\a"),
                               Entry(7, "x", "y"),
                               Entry(Download, "o/2", "b")};
    const std::vector<std::string> typicalCalls = {"mkdir C:\\T\\bin", "get o/1 bin\\a",
                                                   "get o/2 b"};
    const PassCase cases[] = {
        {"empty list",
         {},
         SIZE_MAX,
         false,
         {},
         {Report("download files", "the file index", "no entries")}},
        {"typical", typical, SIZE_MAX, true, typicalCalls, {}},
        {"folder fails", typical, 0, false, {typicalCalls[0]}, {}},
        {"download fails", typical, 1, false, {typicalCalls[0], typicalCalls[1]}, {}},
        {"last fails", typical, 2, false, typicalCalls, {}},
        {"nothing to fetch",
         {Entry(Shortcut, "a", "A"), Entry(Launch, "a")},
         SIZE_MAX,
         true,
         {},
         {}},
        {"refused folder path",
         {Entry(Folder, "C:\\x"), Entry(Download, "o/1", "a")},
         SIZE_MAX,
         false,
         {},
         {Report("create folder", "C:\\x")}},
    };
    for (const PassCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordDebugLines();
        Recorder recorder;
        recorder.failingCall = c.failingCall;
        const DownloadPassActions actions = {
            [&recorder](const char* path, const char* local) {
                return recorder.Record(std::string("get ") + path + " " + local);
            },
            [&recorder](const char* folderPath) {
                return recorder.Record(std::string("mkdir ") + folderPath);
            }};
        EXPECT_EQ(RunDownloadPass(c.entries, DIR, actions), c.result);
        EXPECT_EQ(recorder.calls, c.calls);
        EXPECT_EQ(test::DebugLines(), c.reports);
    }
}

TEST(RunShortcutPass, LooksUpTheDesktopThenLinksEveryShortcutThatComposes) {
    const EntryList links = {Entry(Download, "o/1", "a"),      Entry(Shortcut, "bin\\a", "A"),
                             Entry(Shortcut, "..\\evil", "E"), Entry(Shortcut, "b", "..\\B"),
                             Entry(Launch, "bin\\a"),          Entry(Shortcut, "c", "")};
    const PassCase cases[] = {
        {"empty list",
         {},
         SIZE_MAX,
         false,
         {},
         {Report("create links", "the file index", "no entries")}},
        {"desktop not found", links, 0, false, {"desktop"}, {}},
        {"no shortcut", {Entry(Launch, "a")}, SIZE_MAX, true, {"desktop"}, {}},
        {"links, refused ones passed over",
         links,
         SIZE_MAX,
         true,
         {"desktop", "link C:\\T\\bin\\a D:\\Desk\\A.lnk", "link C:\\T\\c D:\\Desk\\.lnk"},
         {Report("create link", "E"), Report("create link", "..\\B")}},
    };
    for (const PassCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordDebugLines();
        Recorder recorder;
        recorder.failingCall = c.failingCall;
        char desktopDir[DESKTOP_DIR_CAPACITY];
        std::memset(desktopDir, 0x5a, sizeof desktopDir);
        const ShortcutPassActions actions = {
            [&recorder](char(&out)[DESKTOP_DIR_CAPACITY]) {
                std::strcpy(out, DESKTOP);
                return recorder.Record("desktop");
            },
            [&recorder](const char* target, const char* linkPath) {
                recorder.Record(std::string("link ") + target + " " + linkPath);
            }};
        EXPECT_EQ(RunShortcutPass(c.entries, DIR, desktopDir, actions), c.result);
        EXPECT_EQ(recorder.calls, c.calls);
        EXPECT_EQ(test::DebugLines(), c.reports);
        if (c.result) {
            EXPECT_STREQ(desktopDir, "D:\\Desk\\");
            EXPECT_TRUE(
                std::all_of(desktopDir + 8, std::end(desktopDir), [](char b) { return b == 0; }));
        }
    }
}

TEST(RunShortcutPass, RefusesADesktopFolderWithNoRoomForItsBackslash) {
    char desktopDir[DESKTOP_DIR_CAPACITY];
    std::vector<std::string> links;
    const ShortcutPassActions actions = {
        [](char(&out)[DESKTOP_DIR_CAPACITY]) {
            std::memset(out, 'd', DESKTOP_DIR_CAPACITY - 1);
            return true;
        },
        [&links](const char* target, const char*) { links.push_back(target); }};
    test::RecordDebugLines();
    EXPECT_FALSE(RunShortcutPass({Entry(Shortcut, "a", "A")}, DIR, desktopDir, actions));
    EXPECT_TRUE(links.empty());
    EXPECT_EQ(test::DebugLines(),
              std::vector<std::string>{Report("find the desktop", desktopDir, "path too long")});
}

TEST(RunLaunchPass, OpensEveryLaunchThatComposesInListOrder) {
    std::vector<std::string> opened;
    const auto open = [&opened](const char* launchPath) { opened.push_back(launchPath); };
    EXPECT_TRUE(RunLaunchPass({}, DIR, open));
    EXPECT_TRUE(opened.empty());

    const EntryList entries = {Entry(Launch, "bin\\b.exe"), Entry(Download, "o/1", "a"),
                               Entry(Launch, "..\\evil.exe"), Entry(Shortcut, "a", "A"),
                               Entry(Launch, "a.exe")};
    test::RecordDebugLines();
    EXPECT_TRUE(RunLaunchPass(entries, DIR, open));
    EXPECT_EQ(opened, (std::vector<std::string>{"C:\\T\\bin\\b.exe", "C:\\T\\a.exe"}));
    EXPECT_EQ(test::DebugLines(), std::vector<std::string>{Report("launch", "..\\evil.exe")});
}

}  // namespace
}  // namespace tessaly
