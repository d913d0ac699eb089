// The notice box on four code pages without the Visual C++ runtime, and the link writer's limits.
// Both run in the fault matrix's program and prefixes, beside its rows: the notice is no end of an
// installer run that a row describes, and the limits no index can reach, so a probe calls the
// link writer directly.
#include <gtest/gtest.h>

#include <string>

#include "install/prerequisite_check.h"
#include "scenario_runner.h"
#include "support/screenshot.h"

namespace tessaly::test {
namespace {

class NoticeUnderCodePage : public InstallerUnderWine,
                            public testing::WithParamInterface<Machine> {};

// The notice box is found by its caption and holds its text as written. The box is
// left open and the installer ended, so no help page ever opens.
TEST_P(NoticeUnderCodePage, CaptionAndTextAsWritten) {
    const Machine& machine = GetParam();
    WinePrefix& wine = FreshMachine(machine.locale);
    const LoopbackServer server;
    wine.SetVcRuntime(false);
    InstallerRun run(wine, display(), installer_, std::string("notice/") + machine.name);
    const CommandResult notice = NoticeBox(wine, 30s);
    TakeScreenshot(display()).Save(ArtifactPath(std::string("notice/") + machine.name + ".png"));
    run.Program().Kill();
    wine.SetVcRuntime(true);
    EXPECT_EQ(notice.exitCode, 0) << "no notice box captioned as written: " << notice.output;
    EXPECT_NE(notice.output.find("text=" + Cp936ToUtf8(PREREQUISITE_NOTICE_HEADER)),
              std::string::npos)
        << "not the notice's text: " << notice.output;
}

INSTANTIATE_TEST_SUITE_P(Machines, NoticeUnderCodePage, testing::ValuesIn(MACHINES),
                         [](const testing::TestParamInfo<Machine>& row) {
                             return std::string(row.param.name);
                         });

// The link writer called directly, with paths no index can produce.
class LinkWriterLimits : public InstallerUnderWine {
  protected:
    void SetUp() override { FreshMachine(CODE_PAGE_936_LOCALE); }

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
