// Indexes that name local paths outside the install folder or the desktop, or devices, or paths
// longer than the texts they are composed in, run with the real installer under Wine: such an entry
// writes nothing anywhere, a refused download or folder fails the pass before anything is fetched
// for it, and a refused link or launch is passed over. The link writer's UTF-16 limit, which no
// index can reach, is driven through a probe that calls it directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer_runs.h"

namespace tessaly::test {
namespace {

const std::string OK_LINE = "0|app/ok.dat|ok.dat\r\n";
const std::string OK_BODY = BinaryBody(2000, 7);

using Containment = InstallerRunTest;

// Bytes of the install folder text, its trailing backslash included.
std::size_t InstallDirLength() {
    return SharedWinePrefix().InstallDir().size() + 1;
}

TEST_F(Containment, EscapingDownloadOrFolderFailsThePassBeforeItIsFetched) {
    const std::vector<std::string> lines = {
        "0|app/evil.txt|..\\..\\evil.txt",
        "0|app/evil.txt|C:\\evil.txt",
        "0|app/evil.txt|bin/../../../evil.txt",
        "0|app/evil.txt|\\\\?\\C:\\evil.txt",
        "0|app/evil.txt|\\evil.txt",
        "0|app/evil.txt|ok.dat:stream",
        "1|..\\..\\evil-folder|",
        "1|C:\\evil-folder|",
        // Devices, whatever spaces end the stem: Windows would open the device itself.
        "0|app/evil.txt|NUL .txt",
        "1|con  .log|",
    };
    int run = 0;
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        prefix().ResetInstallation();
        server().ClearRequests();
        ServeIndex(OK_LINE + line + "\r\n2|ok.dat|Ok\r\n");
        server().ServeBody("/AppData/app/ok.dat", 200, OK_BODY);
        server().ServeBody("/AppData/app/evil.txt", 200, "evil");
        RememberDriveC();

        RunToFailure(DATA_FAILED, "escaping-entry-" + std::to_string(++run));

        // The entry before it was carried out; nothing was fetched for the refused one.
        EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{INDEX_PATH, "/AppData/app/ok.dat"}));
        EXPECT_TRUE(ReadWholeFile(Installed("ok.dat")) == OK_BODY);
        EXPECT_TRUE(DesktopNames().empty());
        const std::vector<std::string> outside = ChangesOutsideInstall();
        EXPECT_TRUE(outside.empty()) << "written outside: " << outside.front();
    }
}

TEST_F(Containment, ServerSidePathIsNotALocalPath) {
    // A drive letter and a colon are refused in a local path, not in the URL path of a download.
    ServeIndex("0|C:/app/ok.dat|ok.dat\r\n");
    server().ServeBody("/AppData/C:/app/ok.dat", 200, OK_BODY);

    RunToCompletion();

    EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{INDEX_PATH, "/AppData/C:/app/ok.dat"}));
    EXPECT_TRUE(ReadWholeFile(Installed("ok.dat")) == OK_BODY);
}

TEST_F(Containment, EscapingLinksAndLaunchesArePassedOver) {
    // A program outside the install folder that records it if it is ever opened.
    const std::string outsideProbe = prefix().HostPath("C:\\launch_probe.exe");
    fs::copy_file(WineBuildPath("tests/launch_probe.exe"), outsideProbe,
                  fs::copy_options::overwrite_existing);
    ServeIndex(OK_LINE +
               "0|probe/launch.exe|last.exe\r\n"
               "2|ok.dat|..\\evil\r\n"
               "2|ok.dat|..\\..\\..\\evil\r\n"
               "2|ok.dat|C:\\evil\r\n"
               "2|ok.dat|\\\\?\\C:\\evil\r\n"
               "2|ok.dat|evil:stream\r\n"
               "2|..\\..\\..\\..\\evil.txt|Outside\r\n"
               "2|C:\\windows\\system32\\cmd.exe|Cmd\r\n"
               "2|ok.dat|AUX .dll\r\n"
               "2|COM1 .bin|Com\r\n"
               "2|ok.dat|Good\r\n"
               "3|..\\..\\launch_probe.exe|\r\n"
               "3|C:\\launch_probe.exe|\r\n"
               "3|lpt1 .x|\r\n"
               "3|CONIN$ .x|\r\n"
               "3|last.exe|\r\n");
    server().ServeBody("/AppData/app/ok.dat", 200, OK_BODY);
    server().ServeFile("/AppData/probe/launch.exe", WineBuildPath("tests/launch_probe.exe"));
    RememberDriveC();

    RunToCompletion();

    EXPECT_EQ(DesktopNames(), std::vector<std::string>{"Good.lnk"});
    // Launches are opened in list order without waiting, so once the last one has recorded its
    // start, a refused one before it would have started too.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!fs::exists(Installed("last.exe.launch")) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(200ms);
    }
    ASSERT_TRUE(fs::exists(Installed("last.exe.launch"))) << "the contained launch did not open";
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(fs::exists(outsideProbe + ".launch")) << "a program outside was opened";
    const std::vector<std::string> outside = ChangesOutsideInstall();
    EXPECT_TRUE(outside.empty()) << "written outside: " << outside.front();
    fs::remove(outsideProbe);
}

TEST_F(Containment, PathsThatFitTheirTextsExactlyAreUsed) {
    // A folder of 255 bytes in all (the 256-byte folder text) and a link target of 259 bytes (the
    // link object's 260-byte target text); the same one byte longer are refused.
    const std::string folder(255 - InstallDirLength(), 'f');
    const std::string target = "bin\\" + std::string(259 - InstallDirLength() - 4, 't');
    ServeIndex("1|" + folder + "|\r\n" + OK_LINE + "2|" + target + "|Fits\r\n2|" + target +
               "x|TooLong\r\n");
    server().ServeBody("/AppData/app/ok.dat", 200, OK_BODY);
    RememberDriveC();

    RunToCompletion();

    EXPECT_TRUE(fs::is_directory(Installed(folder)));
    EXPECT_EQ(DesktopNames(), std::vector<std::string>{"Fits.lnk"});
    const LinkFields link = ReadLink(OnDesktop("Fits.lnk"));
    EXPECT_EQ(link.target, prefix().InstallDir() + "\\" + target);
    EXPECT_EQ(link.workingDir, prefix().InstallDir() + "\\bin\\");
    const std::vector<std::string> outside = ChangesOutsideInstall();
    EXPECT_TRUE(outside.empty()) << "written outside: " << outside.front();
}

TEST_F(Containment, FolderOneByteTooLongFailsThePass) {
    const std::string folder(256 - InstallDirLength(), 'f');
    ServeIndex("1|" + folder + "|\r\n" + OK_LINE);
    server().ServeBody("/AppData/app/ok.dat", 200, OK_BODY);
    RememberDriveC();

    RunToFailure(DATA_FAILED, "folder-too-long");

    EXPECT_EQ(RequestedPaths(), std::vector<std::string>{INDEX_PATH});
    EXPECT_TRUE(fs::is_empty(Installed("")));
    const std::vector<std::string> outside = ChangesOutsideInstall();
    EXPECT_TRUE(outside.empty()) << "written outside: " << outside.front();
}

// The link writer called directly, with paths no index can produce.
class LinkWriterLimits : public InstallerRunTest {
  protected:
    // True when a link file appeared at `linkPath` (a Windows path on drive C).
    static bool WriteLink(const std::string& target, const std::string& linkPath) {
        const CommandResult result =
            prefix().Run(WineBuildPath("tests/shortcut_probe.exe"), {target, linkPath}, 60s);
        EXPECT_TRUE(result.finished && result.exitCode == 0) << "shortcut_probe failed";
        return fs::exists(prefix().HostPath(linkPath));
    }
    static std::string Desktop() { return prefix().DesktopDir() + "\\"; }
    static std::string Target() { return prefix().InstallDir() + "\\ok.dat"; }
};

TEST_F(LinkWriterLimits, LinkPathMustFit260Utf16Units) {
    // 259 units and the terminator fit; one more does not.
    const std::size_t room = 259 - Desktop().size() - std::string(".lnk").size();
    const std::string fits = Desktop() + std::string(room, 'n') + ".lnk";
    const std::string tooLong = Desktop() + std::string(room + 1, 'n') + ".lnk";
    EXPECT_TRUE(WriteLink(Target(), fits));
    EXPECT_EQ(ReadLink(prefix().HostPath(fits)).target, Target());
    EXPECT_FALSE(WriteLink(Target(), tooLong));
}

TEST_F(LinkWriterLimits, LinkPathLimitCountsUnitsNotBytes) {
    // 80 Chinese characters take 160 bytes in code page 936 but 80 UTF-16 units: this path is
    // 347 bytes long and 187 units.
    std::string name;
    for (int i = 0; i < 80; ++i) {
        name += "数";
    }
    const std::string folder = Desktop() + name;
    fs::create_directories(prefix().HostPath(folder));
    const std::string linkPath = folder + "\\" + name + ".lnk";
    EXPECT_TRUE(WriteLink(Target(), linkPath));
    EXPECT_EQ(ReadLink(prefix().HostPath(linkPath)).target, Target());
}

TEST_F(LinkWriterLimits, TargetMustFitTheWorkText) {
    // The target and its folder are held in 260 bytes with the terminator.
    const std::string base = prefix().InstallDir() + "\\bin\\";
    const std::string fits = base + std::string(259 - base.size(), 't');
    const std::string tooLong = fits + "t";
    EXPECT_TRUE(WriteLink(fits, Desktop() + "Fits.lnk"));
    const LinkFields link = ReadLink(prefix().HostPath(Desktop() + "Fits.lnk"));
    EXPECT_EQ(link.target, fits);
    EXPECT_EQ(link.workingDir, base);
    EXPECT_FALSE(WriteLink(tooLong, Desktop() + "TooLong.lnk"));
}

}  // namespace
}  // namespace tessaly::test
