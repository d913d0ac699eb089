// From a release folder to an installed program, as a row of the fault matrix: `tessaly-pack
// build` packs a staging folder with nested folders, Chinese names, an empty folder and two files
// of the same content; the loopback server serves every file the tool wrote under AppData/; the
// real installer under Wine installs the package. Every file under Program Files\Tessaly must hold
// the staged bytes under the staged name (Wine maps the installer's code page 936 names to UTF-8
// file names in the zh_CN.UTF-8 locale), every folder must exist, the desktop links must point at
// the installed files, and the installer must end by itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "scenario_runner.h"
#include "support/process.h"

namespace tessaly::test {
namespace {

// A folder as the installer must leave it: relative path (UTF-8, "/") to the file's bytes, and
// every folder (ending in "/").
struct Tree {
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
};

Tree ReadTree(const fs::path& root) {
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = entry.path().lexically_relative(root).generic_string();
        if (entry.is_directory()) {
            tree.folders.insert(relative + "/");
        } else {
            tree.files[relative] = ReadWholeFile(entry.path());
        }
    }
    return tree;
}

// The release folder: nested folders, Chinese folder and file names, names with spaces, an empty
// folder, a file of one byte, a file of several megabytes and two files of the same bytes (one
// object on the server, two downloads).
void Stage(const fs::path& staging) {
    WriteWholeFile(staging / "bin/Tessaly.exe", "MZ" + BinaryBody(150000, 1));
    WriteWholeFile(staging / "readme.txt", "Tessaly\r\n");
    WriteWholeFile(staging / "x", "x");
    WriteWholeFile(staging / "data/关卡/第一关/地图.dat", BinaryBody(4096, 2));
    WriteWholeFile(staging / "data/关卡/第二关/地图.dat", BinaryBody(4096, 2));
    WriteWholeFile(staging / "data/media/intro.bin", BinaryBody(3 << 20, 3));
    WriteWholeFile(staging / "文档/说明.txt", "这是 Tessaly 的说明。\r\n");
    WriteWholeFile(staging / "文档/用户 手册/第 1 章.txt", BinaryBody(777, 4));
    WriteWholeFile(staging / "a/b/c/d/e/深.txt", BinaryBody(300, 5));
    fs::create_directories(staging / "data/存档");
}

// What the row packed and served: the staged tree and the object paths (the index aside).
struct Packed {
    Tree staged;
    std::set<std::string> objects;
};

// The staging folder packed, and every file the tool wrote served at its path under the package
// base; beside the prefix, off drive C.
void PackAndServe(LoopbackServer& server, Packed& packed) {
    const fs::path work = fs::path(SharedWinePrefix().Root()) / "pack-install";
    fs::remove_all(work);
    Stage(work / "staging");
    const CommandResult built = RunCommand(
        {TESSALY_PACK_PROGRAM, "build", (work / "staging").string(), (work / "out").string(),
         "--shortcut", "bin/Tessaly.exe=Tessaly", "--shortcut", "文档/说明.txt=说明"},
        60s);
    ASSERT_TRUE(built.finished && built.exitCode == 0) << built.output;
    const fs::path appData = work / "out/AppData";
    for (const auto& entry : fs::recursive_directory_iterator(appData)) {
        if (entry.is_regular_file()) {
            const std::string path =
                "/AppData/" + entry.path().lexically_relative(appData).string();
            server.ServeFile(path, entry.path().string());
            if (path != INDEX_PATH) {
                packed.objects.insert(path);
            }
        }
    }
    packed.staged = ReadTree(work / "staging");
    EXPECT_EQ(packed.objects.size(), packed.staged.files.size() - 1)
        << "the two equal files share one object";
}

// The index first, then each Download entry once, in whatever order the index lists them.
void ExpectEachObjectOnce(const std::vector<std::string>& paths, const Packed& packed) {
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.front(), INDEX_PATH);
    const std::multiset<std::string> fetched(paths.begin() + 1, paths.end());
    EXPECT_EQ(fetched.size(), packed.staged.files.size());
    EXPECT_EQ(std::set<std::string>(fetched.begin(), fetched.end()), packed.objects);
}

// The installed tree is the staged one both ways, and both links, the Chinese-named one under its
// UTF-8 name, point at the installed files.
void ExpectStagedTreeInstalled(const WinePrefix& prefix, const Packed& packed) {
    const Tree installed = ReadTree(InstalledPath(prefix, ""));
    EXPECT_EQ(installed.folders, packed.staged.folders);
    for (const auto& [path, bytes] : packed.staged.files) {
        SCOPED_TRACE(path);
        const auto found = installed.files.find(path);
        ASSERT_NE(found, installed.files.end()) << "not installed";
        EXPECT_EQ(found->second.size(), bytes.size());
        EXPECT_TRUE(found->second == bytes) << "installed bytes differ";
    }
    for (const auto& [path, bytes] : installed.files) {
        EXPECT_EQ(packed.staged.files.count(path), 1u) << "installed but never staged: " << path;
    }
    const struct {
        const char* name;
        const char* target;
    } links[] = {{"Tessaly", "bin\\Tessaly.exe"}, {"说明", "文档\\说明.txt"}};
    for (const auto& expected : links) {
        SCOPED_TRACE(expected.name);
        const std::string file = OnDesktop(prefix, std::string(expected.name) + ".lnk");
        ASSERT_TRUE(fs::is_regular_file(file)) << file;
        EXPECT_EQ(ReadLink(file).target, prefix.InstallDir() + "\\" + expected.target);
    }
}

std::vector<Scenario> PackedRows() {
    const auto packed = std::make_shared<Packed>();
    Scenario row{
        "InstallsABuiltPackageByteForByte",
        "tessaly-pack build, installed",
        [packed](LoopbackServer& server) { PackAndServe(server, *packed); },
        {true, ""},
        {},
        [packed](const WinePrefix& prefix) { ExpectStagedTreeInstalled(prefix, *packed); }};
    row.seen = [packed](const std::vector<std::string>& paths) {
        ExpectEachObjectOnce(paths, *packed);
    };
    return {row};
}

INSTANTIATE_TEST_SUITE_P(Packed, FaultMatrix, testing::ValuesIn(PackedRows()), RowId);

}  // namespace
}  // namespace tessaly::test
