// The real installer under Wine, run against a loopback package server: what it installs, links
// and opens for an index, what it asks the server for, and how a failed pass leaves the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer_runs.h"
#include "pack/cp936.h"
#include "package/entry_targets.h"

namespace tessaly::test {
namespace {

const std::string TYPICAL_INDEX =
    "1|bin|\r\n0|app/main.exe|bin\\main.exe\r\n2|bin\\main.exe|Tessaly\r\n";

using InstallRun = InstallerRunTest;

void ExpectLinkTo(const std::string& linkPath, const std::string& target,
                  const std::string& directory) {
    SCOPED_TRACE(linkPath);
    const LinkFields link = ReadLink(linkPath);
    EXPECT_EQ(link.target, target);
    EXPECT_EQ(link.workingDir, directory);
    EXPECT_EQ(link.relativePath, directory);
}

TEST_F(InstallRun, TypicalIndexInstallsLinksAndCloses) {
    const std::string body = BinaryBody(300 * 1024, 1);
    ServeIndex(TYPICAL_INDEX);
    server().ServeBody("/AppData/app/main.exe", 200, body);

    RunToCompletion();

    EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{INDEX_PATH, "/AppData/app/main.exe"}));
    EXPECT_TRUE(ReadWholeFile(Installed("bin\\main.exe")) == body) << "bin\\main.exe differs";
    EXPECT_EQ(DesktopNames(), std::vector<std::string>{"Tessaly.lnk"});
    const std::string bin = prefix().InstallDir() + "\\bin\\";
    ExpectLinkTo(OnDesktop("Tessaly.lnk"), bin + "main.exe", bin);
}

TEST_F(InstallRun, SecondRunReplacesFilesAndLink) {
    ServeIndex(TYPICAL_INDEX);
    server().ServeBody("/AppData/app/main.exe", 200, BinaryBody(200 * 1024, 2));
    RunToCompletion();
    ASSERT_EQ(fs::file_size(Installed("bin\\main.exe")), 200u * 1024);

    // A shorter file, so that a file that was not truncated would show its old tail, and a link
    // of the same name that now points at another program.
    const std::string shorter = BinaryBody(5000, 3);
    const std::string tool = BinaryBody(7000, 4);
    ServeIndex(
        "1|bin|\r\n0|app/main.exe|bin\\main.exe\r\n0|app/tool.exe|bin\\tool.exe\r\n"
        "2|bin\\tool.exe|Tessaly\r\n");
    server().ServeBody("/AppData/app/main.exe", 200, shorter);
    server().ServeBody("/AppData/app/tool.exe", 200, tool);
    server().ClearRequests();
    RunToCompletion();

    EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{INDEX_PATH, "/AppData/app/main.exe",
                                                          "/AppData/app/tool.exe"}));
    EXPECT_TRUE(ReadWholeFile(Installed("bin\\main.exe")) == shorter)
        << "bin\\main.exe not replaced";
    EXPECT_TRUE(ReadWholeFile(Installed("bin\\tool.exe")) == tool);
    EXPECT_EQ(DesktopNames(), std::vector<std::string>{"Tessaly.lnk"});
    const std::string bin = prefix().InstallDir() + "\\bin\\";
    ExpectLinkTo(OnDesktop("Tessaly.lnk"), bin + "tool.exe", bin);
}

TEST_F(InstallRun, FailedDownloadStopsThePassAndLeavesTheWindowRed) {
    std::string index;
    for (int i = 1; i <= 5; ++i) {
        const std::string n = std::to_string(i);
        index += "0|files/" + n + ".dat|" + n + ".dat\r\n";
        if (i != 3) {
            server().ServeBody("/AppData/files/" + n + ".dat", 200, BinaryBody(1000 + i, i));
        }
    }
    index += "2|1.dat|One\r\n";
    server().ServeBody("/AppData/files/3.dat", 404, "<html>not found</html>");
    ServeIndex(index);
    RememberDriveC();

    RunToFailure(DATA_FAILED, "third-of-five-404");

    EXPECT_EQ(RequestedPaths(),
              (std::vector<std::string>{INDEX_PATH, "/AppData/files/1.dat", "/AppData/files/2.dat",
                                        "/AppData/files/3.dat"}));
    EXPECT_TRUE(ReadWholeFile(Installed("1.dat")) == BinaryBody(1001, 1));
    EXPECT_TRUE(ReadWholeFile(Installed("2.dat")) == BinaryBody(1002, 2));
    for (const char* missing : {"3.dat", "4.dat", "5.dat"}) {
        EXPECT_FALSE(fs::exists(Installed(missing))) << missing;
    }
    EXPECT_TRUE(DesktopNames().empty()) << "links were made after a failed pass";
    const std::vector<std::string> outside = ChangesOutsideInstall();
    EXPECT_TRUE(outside.empty()) << "written outside: " << outside.front();
    // For support, one line names the URL that failed and the status it answered.
    EXPECT_EQ(FailureReports(),
              std::vector<std::string>{"Tessaly: download failed: http://127.0.0.1:" +
                                       std::to_string(TESSALY_TEST_PORT) +
                                       "/AppData/files/3.dat: HTTP status 404"});
}

TEST_F(InstallRun, DownloadIntoAFolderNoEntryMadeFailsAfterItsBodyArrived) {
    ServeIndex("0|app/main.exe|nowhere\\main.exe\r\n");
    server().ServeBody("/AppData/app/main.exe", 200, BinaryBody(4000, 5));

    RunToFailure(DATA_FAILED, "download-into-missing-folder");

    EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{INDEX_PATH, "/AppData/app/main.exe"}));
    EXPECT_FALSE(fs::exists(Installed("nowhere")));
}

TEST_F(InstallRun, EmptyFileOnTheServerFailsThePass) {
    ServeIndex("0|app/empty.dat|empty.dat\r\n0|app/main.exe|main.exe\r\n");
    server().ServeBody("/AppData/app/empty.dat", 200, "");
    server().ServeBody("/AppData/app/main.exe", 200, "MZ");

    RunToFailure(DATA_FAILED, "empty-file");

    EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{INDEX_PATH, "/AppData/app/empty.dat"}));
    EXPECT_FALSE(fs::exists(Installed("empty.dat")));
}

TEST_F(InstallRun, NestedFoldersListedParentsFirstAreCreated) {
    ServeIndex("1|a|\r\n1|a\\b|\r\n1|a/b/c|\r\n0|app/deep.dat|a\\b\\c\\deep.dat\r\n");
    server().ServeBody("/AppData/app/deep.dat", 200, BinaryBody(3000, 6));

    RunToCompletion();

    EXPECT_TRUE(ReadWholeFile(Installed("a\\b\\c\\deep.dat")) == BinaryBody(3000, 6));
}

TEST_F(InstallRun, FolderWhoseParentNoEntryMadeFailsThePass) {
    // Only the last component of a folder is created.
    ServeIndex("1|p\\q|\r\n0|app/main.exe|main.exe\r\n");
    server().ServeBody("/AppData/app/main.exe", 200, "MZ");

    RunToFailure(DATA_FAILED, "folder-without-parent");

    EXPECT_EQ(RequestedPaths(), std::vector<std::string>{INDEX_PATH});
    EXPECT_FALSE(fs::exists(Installed("p")));
}

TEST_F(InstallRun, IndexOfOnlySkippedLinesInstallsNothing) {
    ServeIndex(" 1|bin|\r\n|0|x|y\r\nno bar\r\n0||main.exe\r\nx|app/main.exe|main.exe\r\n\r\n");
    server().ServeBody("/AppData/app/main.exe", 200, "MZ");

    RunToFailure(DATA_FAILED, "only-skipped-lines");

    EXPECT_EQ(RequestedPaths(), std::vector<std::string>{INDEX_PATH});
    EXPECT_TRUE(fs::is_directory(Installed("")));
    EXPECT_TRUE(fs::is_empty(Installed("")));
    EXPECT_TRUE(DesktopNames().empty());
}

TEST_F(InstallRun, OnlyLinksAndLaunchesNeedNoNetworkAfterTheIndex) {
    // Neither the link target nor the launched file exists: the link is made all the same, and
    // the launch is passed over.
    ServeIndex("2|bin\\main.exe|Tessaly\r\n3|bin\\main.exe|\r\n");

    RunToCompletion();

    EXPECT_EQ(RequestedPaths(), std::vector<std::string>{INDEX_PATH});
    EXPECT_TRUE(fs::is_empty(Installed("")));
    EXPECT_EQ(DesktopNames(), std::vector<std::string>{"Tessaly.lnk"});
    const std::string bin = prefix().InstallDir() + "\\bin\\";
    ExpectLinkTo(OnDesktop("Tessaly.lnk"), bin + "main.exe", bin);
}

// The creation time (100 ns units) and show command that a launch probe recorded, once it has.
struct LaunchRecord {
    unsigned long long created = 0;
    int show = 0;
};

std::optional<LaunchRecord> WaitForLaunch(const std::string& recordPath) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
        LaunchRecord record;
        if (std::sscanf(ReadWholeFile(recordPath).c_str(), "created=%llu\nshow=%d", &record.created,
                        &record.show) == 2) {
            return record;
        }
        std::this_thread::sleep_for(200ms);
    }
    return std::nullopt;
}

TEST_F(InstallRun, LaunchEntriesOpenInListOrderMaximized) {
    // Listed against the order of their names and of their downloads.
    ServeIndex(
        "0|probe/launch.exe|alpha.exe\r\n0|probe/launch.exe|zeta.exe\r\n"
        "3|zeta.exe|\r\n3|alpha.exe|\r\n");
    server().ServeFile("/AppData/probe/launch.exe", WineBuildPath("tests/launch_probe.exe"));

    RunToCompletion();

    const std::optional<LaunchRecord> zeta = WaitForLaunch(Installed("zeta.exe.launch"));
    const std::optional<LaunchRecord> alpha = WaitForLaunch(Installed("alpha.exe.launch"));
    ASSERT_TRUE(zeta.has_value()) << "zeta.exe was not opened";
    ASSERT_TRUE(alpha.has_value()) << "alpha.exe was not opened";
    EXPECT_LT(zeta->created, alpha->created) << "opened against the list order";
    EXPECT_EQ(zeta->show, 3);  // SW_SHOWMAXIMIZED
    EXPECT_EQ(alpha->show, 3);
}

// The index in code page 936, as tessaly-pack writes it.
std::string Cp936(const std::string& utf8) {
    std::string cp936;
    EXPECT_TRUE(pack::Utf8ToCp936(utf8, cp936)) << utf8;
    return cp936;
}

// A failure line as Wine's debugstr channel quotes it: backslashes doubled, bytes outside printable
// ASCII as \xNN.
std::string WineQuoted(const std::string& text) {
    std::string quoted;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            quoted += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[sizeof "\\xff"];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted;
}

// The names in `folder`, sorted; none when it is missing.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(folder, missing)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The machines the installer meets, by the ANSI code page Wine gives their locale.
struct CodePageCase {
    const char* name;
    const char* locale;
    // The code page Wine writes a link's ANSI target path in (iconv's name), when that code page
    // can write the Chinese target; the UTF-16 fields of the link are checked everywhere.
    const char* linkTargetCodePage;
};

void PrintTo(const CodePageCase& c, std::ostream* out) {
    *out << c.name;
}

class InstallRunUnderCodePage : public InstallRun,
                                public testing::WithParamInterface<CodePageCase> {
  protected:
    void SetUp() override {
        locale_ = GetParam().locale;
        // A desktop folder with a Chinese name, outside code pages 950 and 1252.
        prefix().UseDesktop("C:\\users\\张三\\Desktop");
        InstallRun::SetUp();
    }
    void TearDown() override {
        InstallRun::TearDown();
        locale_ = CODE_PAGE_936_LOCALE;
    }
};

TEST_P(InstallRunUnderCodePage, ChineseNamesInstallAsWrittenAndTextsShowAsUnder936) {
    const CodePageCase& machine = GetParam();
    // A column that is not code page 936 is refused before anything is fetched or written, and
    // the failure is drawn as under code page 936.
    const std::string refused = Cp936("数据\\坏") + "\xFF.txt";
    ServeIndex("1|" + Cp936("数据") + "|\r\n0|a/1|" + refused + "\r\n");
    RunToFailure(DATA_FAILED, std::string("refused-column-") + machine.name);
    EXPECT_EQ(windowTitle_, "Tessaly在线安装程序");
    EXPECT_EQ(RequestedPaths(), std::vector<std::string>{INDEX_PATH});
    EXPECT_EQ(Listing(Installed("")), std::vector<std::string>{"数据"});
    EXPECT_TRUE(Listing(Installed("数据")).empty());
    EXPECT_EQ(FailureReports(),
              std::vector<std::string>{WineQuoted("Tessaly: write file failed: " + refused + ": " +
                                                  std::string(REFUSED_PATH_REASON))});

    // The notice box is found by its caption, "安装提示：".
    EXPECT_NE(NoticeWithoutVcRuntime(std::string("notice-") + machine.name)
                  .find("text=系统版本太低需要升级系统补丁："),
              std::string::npos)
        << "no notice box captioned as written, or not its text";

    // Two names that differ only in the order of their characters.
    const std::string first = BinaryBody(2000, 7);
    const std::string second = BinaryBody(3000, 8);
    ServeIndex(
        Cp936("1|数据|\r\n0|a/1|数据\\数据.txt\r\n0|a/2|数据\\据数.txt\r\n"
              "2|数据\\数据.txt|说明书\r\n"));
    server().ServeBody("/AppData/a/1", 200, first);
    server().ServeBody("/AppData/a/2", 200, second);

    RunToCompletion();

    EXPECT_EQ(Listing(Installed("数据")), (std::vector<std::string>{"据数.txt", "数据.txt"}));
    EXPECT_TRUE(ReadWholeFile(Installed("数据\\数据.txt")) == first) << "数据.txt differs";
    EXPECT_TRUE(ReadWholeFile(Installed("数据\\据数.txt")) == second) << "据数.txt differs";
    ASSERT_EQ(DesktopNames(), std::vector<std::string>{"说明书.lnk"});
    const std::string folder = prefix().InstallDir() + "\\数据\\";
    const std::optional<ShellLink> link = ReadWineShellLink(
        OnDesktop("说明书.lnk"),
        machine.linkTargetCodePage != nullptr ? machine.linkTargetCodePage : "CP936");
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(link->workingDir, folder);
    EXPECT_EQ(link->relativePath, folder);
    if (machine.linkTargetCodePage != nullptr) {
        EXPECT_EQ(link->localBasePath + link->commonPathSuffix, folder + "数据.txt");
    }

    // A desktop whose name code page 936 cannot write either gets its link.
    prefix().UseDesktop("C:\\users\\J\u00f6rg\\Desktop");
    ServeIndex(Cp936("2|数据\\数据.txt|说明书\r\n"));
    RunToCompletion();
    ASSERT_EQ(DesktopNames(), std::vector<std::string>{"说明书.lnk"});
    EXPECT_EQ(ReadLink(OnDesktop("说明书.lnk")).workingDir, folder);
}

INSTANTIATE_TEST_SUITE_P(Machines, InstallRunUnderCodePage,
                         testing::Values(CodePageCase{"CodePage936", "zh_CN.UTF-8", "CP936"},
                                         CodePageCase{"CodePage950", "zh_TW.UTF-8", nullptr},
                                         CodePageCase{"CodePage1252", "en_US.UTF-8", nullptr},
                                         CodePageCase{"CodePage65001", "hi_IN", "UTF-8"}),
                         [](const testing::TestParamInfo<CodePageCase>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
}  // namespace tessaly::test
