// From a release folder to an installed program: `tessaly-pack build` packs a staging folder with
// nested folders, Chinese names, an empty folder and two files of the same content; the loopback
// server serves every file the tool wrote under AppData/; the real installer under Wine installs
// the package. Every file under Program Files\Tessaly must hold the staged bytes under the staged
// name (Wine maps the installer's code page 936 names to UTF-8 file names in the zh_CN.UTF-8
// locale), every folder must exist, the desktop links must point at the installed files, and the
// installer must end by itself with exit code 0.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/installer_run.h"
#include "support/loopback_server.h"
#include "support/process.h"
#include "support/screenshot.h"
#include "support/shell_link.h"
#include "support/virtual_screen.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace tessaly::test {
namespace {

// Bytes that no file name or text encoding can hide: every byte value, then a pseudo-random tail.
std::string Bytes(std::size_t size, std::uint32_t seed) {
    std::string bytes;
    bytes.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes.push_back(static_cast<char>(i < 256 ? i : seed >> 24));
    }
    return bytes;
}

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

class PackInstallTest : public testing::Test {
  protected:
    static WinePrefix& prefix() { return SharedWinePrefix(SharedVirtualScreen().Display()); }

    void SetUp() override {
        prefix().ResetInstallation();
        work_ = fs::path(prefix().Root()) / "pack-install";
        fs::remove_all(work_);
        staging_ = work_ / "staging";
        out_ = work_ / "out";
    }

    void TearDown() override { prefix().KillAll(); }

    // The release folder: nested folders, Chinese folder and file names, names with spaces, an
    // empty folder, a file of one byte, a file of several megabytes and two files of the same
    // bytes (one object on the server, two downloads).
    void Stage() {
        WriteWholeFile(staging_ / "bin/Tessaly.exe", "MZ" + Bytes(150000, 1));
        WriteWholeFile(staging_ / "readme.txt", "Tessaly\r\n");
        WriteWholeFile(staging_ / "x", "x");
        WriteWholeFile(staging_ / "data/关卡/第一关/地图.dat", Bytes(4096, 2));
        WriteWholeFile(staging_ / "data/关卡/第二关/地图.dat", Bytes(4096, 2));
        WriteWholeFile(staging_ / "data/media/intro.bin", Bytes(3 << 20, 3));
        WriteWholeFile(staging_ / "文档/说明.txt", "这是 Tessaly 的说明。\r\n");
        WriteWholeFile(staging_ / "文档/用户 手册/第 1 章.txt", Bytes(777, 4));
        WriteWholeFile(staging_ / "a/b/c/d/e/深.txt", Bytes(300, 5));
        fs::create_directories(staging_ / "data/存档");
    }

    static std::string InstalledHostPath(const std::string& relative) {
        return prefix().HostPath(prefix().InstallDir() + "\\" + relative);
    }

    fs::path work_, staging_, out_;
};

TEST_F(PackInstallTest, InstallsABuiltPackageByteForByte) {
    Stage();
    const CommandResult built =
        RunCommand({TESSALY_PACK_PROGRAM, "build", staging_.string(), out_.string(), "--shortcut",
                    "bin/Tessaly.exe=Tessaly", "--shortcut", "文档/说明.txt=说明"},
                   60s);
    ASSERT_TRUE(built.finished && built.exitCode == 0) << built.output;

    // Every file the tool wrote, at its path under the package base.
    LoopbackServer server;
    const fs::path appData = out_ / "AppData";
    std::set<std::string> objects;
    for (const auto& entry : fs::recursive_directory_iterator(appData)) {
        if (entry.is_regular_file()) {
            const std::string path =
                "/AppData/" + entry.path().lexically_relative(appData).string();
            server.ServeFile(path, entry.path().string());
            if (path != "/AppData/FileList.txt") {
                objects.insert(path);
            }
        }
    }
    const Tree staged = ReadTree(staging_);
    EXPECT_EQ(objects.size(), staged.files.size() - 1) << "the two equal files share one object";

    InstallerRun installer(prefix(), SharedVirtualScreen().Display(),
                           CopyInstaller(prefix().HostPath("C:\\packinstall")), "pack_install");
    ASSERT_TRUE(installer.ToExit(180s));

    // The index first, then each Download entry once, as the installer asks for them.
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front().path, "/AppData/FileList.txt");
    std::multiset<std::string> fetched;
    for (const RecordedRequest& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.userAgent, "ravavo");
        if (request.path != "/AppData/FileList.txt") {
            fetched.insert(request.path);
        }
    }
    EXPECT_EQ(fetched.size(), staged.files.size());
    EXPECT_EQ(std::set<std::string>(fetched.begin(), fetched.end()), objects);

    const Tree installed = ReadTree(InstalledHostPath(""));
    EXPECT_EQ(installed.folders, staged.folders);
    for (const auto& [path, bytes] : staged.files) {
        SCOPED_TRACE(path);
        const auto found = installed.files.find(path);
        ASSERT_NE(found, installed.files.end()) << "not installed";
        EXPECT_EQ(found->second.size(), bytes.size());
        EXPECT_TRUE(found->second == bytes) << "installed bytes differ";
    }
    for (const auto& [path, bytes] : installed.files) {
        EXPECT_EQ(staged.files.count(path), 1u) << "installed but never staged: " << path;
    }

    // Both links, the Chinese-named one under its UTF-8 name, point at the installed files.
    const struct {
        const char* name;
        const char* target;
    } links[] = {{"Tessaly", "bin\\Tessaly.exe"}, {"说明", "文档\\说明.txt"}};
    for (const auto& expected : links) {
        SCOPED_TRACE(expected.name);
        const fs::path file =
            prefix().HostPath(prefix().DesktopDir() + "\\" + expected.name + ".lnk");
        ASSERT_TRUE(fs::is_regular_file(file)) << file;
        const std::optional<ShellLink> link = ReadWineShellLink(file);
        ASSERT_TRUE(link.has_value()) << "not a readable shell link";
        EXPECT_EQ(link->localBasePath + link->commonPathSuffix,
                  prefix().InstallDir() + "\\" + expected.target);
    }
}

}  // namespace
}  // namespace tessaly::test
