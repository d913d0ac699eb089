// The prerequisite check of the real installer under Wine. Wine's own mscoree.dll answers the .NET
// Framework 4 probe (WINEDLLOVERRIDES=mscoree=d takes it away); the stand-in mfc140.dll in the
// prefix's system folder answers the runtime probe. Decoys of both DLLs lie beside the installer in
// every case and must never run: the probes judge the system's own. A recording script registered
// as the prefix's web browser shows which help pages opened and when; the notice box is read and
// confirmed from inside the prefix by window_probe.exe.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "install/prerequisite_check.h"
#include "support/installer_run.h"
#include "support/loopback_server.h"
#include "support/screenshot.h"
#include "support/text_encoding.h"
#include "support/virtual_screen.h"
#include "support/window_area.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace tessaly::test {
namespace {

// What answers the .NET Framework 4 probe.
enum class DotNet {
    WINE,     // Wine's own mscoree.dll, which has the version 4 runtime
    NONE,     // no mscoree.dll at all
    TOO_OLD,  // the system's mscoree.dll is one of older runtimes only, without CLRCreateInstance
};

// winemenubuilder stays off as the harness has it.
std::vector<std::string> DotNetEnvironment(DotNet dotNet) {
    switch (dotNet) {
        case DotNet::NONE:
            return {"WINEDLLOVERRIDES=winemenubuilder.exe=d;mscoree=d"};
        case DotNet::TOO_OLD:
            return {"WINEDLLOVERRIDES=winemenubuilder.exe=d;mscoree=n"};
        case DotNet::WINE:
            break;
    }
    return {};
}

struct BrowserOpen {
    double seconds;  // Unix time at which the browser was started
    std::string url;
};

double UnixSeconds(std::chrono::system_clock::time_point when) {
    return std::chrono::duration<double>(when.time_since_epoch()).count();
}

class PrerequisitesTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        WinePrefix& prefix = SharedWinePrefix(SharedVirtualScreen().Display());
        browserLog_ = RecordBrowserOpens(prefix, prefix.Root() + "/tessaly-browser");
    }

    void SetUp() override {
        prefix().ResetInstallation();
        fs::remove(browserLog_);
    }

    void TearDown() override {
        run_.reset();
        prefix().KillAll();
        const fs::path system = prefix().SystemDir();
        if (fs::exists(savedMscoree_)) {
            fs::rename(savedMscoree_, system / "mscoree.dll");
            fs::remove(system / "mscoree.loaded");
        }
    }

    static WinePrefix& prefix() { return SharedWinePrefix(); }

    // Copies the installer into a folder of its own on drive C, with the decoys beside it, puts
    // the stand-in mfc140.dll into the system folder when the runtime is to be found and the old
    // mscoree.dll there when asked (keeping Wine's), and starts it. Returns the folder.
    fs::path StartInstaller(const std::string& caseName, bool withVcRuntime, DotNet dotNet) {
        const fs::path folder = prefix().HostPath("C:\\prerequisites\\" + caseName);
        fs::remove_all(folder);
        const std::string installer = CopyInstaller(folder.string());
        for (const char* decoy : {"mscoree.dll", "mfc140.dll"}) {
            fs::copy_file(WineBuildPath(std::string("tests/planted/") + decoy), folder / decoy);
        }
        prefix().SetVcRuntime(withVcRuntime);
        if (dotNet == DotNet::TOO_OLD) {
            const fs::path system = prefix().SystemDir();
            fs::rename(system / "mscoree.dll", savedMscoree_);
            fs::copy_file(WineBuildPath("tests/old-clr/mscoree.dll"), system / "mscoree.dll");
        }
        run_ = std::make_unique<InstallerRun>(prefix(), SharedVirtualScreen().Display(), installer,
                                              "prerequisites/" + caseName, "",
                                              DotNetEnvironment(dotNet));
        return folder;
    }

    // The decoys beside the installer never ran.
    static void ExpectNoDecoyRan(const fs::path& folder) {
        for (const char* marker : {"mscoree.dll.ran", "mfc140.dll.ran"}) {
            EXPECT_FALSE(fs::exists(folder / marker)) << marker << ": a planted DLL ran";
        }
    }

    // Waits for the notice box; reads it and leaves it open, or presses its OK button.
    static CommandResult ReadNotice(std::chrono::milliseconds timeout) {
        return prefix().Run(WineBuildPath("tests/window_probe.exe"),
                            {"notice", "--leave-open", std::to_string(timeout.count())},
                            timeout + 20s);
    }
    static CommandResult ConfirmNotice(std::chrono::milliseconds timeout) {
        return prefix().Run(WineBuildPath("tests/window_probe.exe"),
                            {"notice", std::to_string(timeout.count())}, timeout + 20s);
    }

    static std::vector<BrowserOpen> BrowserOpens() {
        std::vector<BrowserOpen> opens;
        std::ifstream log(browserLog_);
        BrowserOpen open;
        while (log >> open.seconds && std::getline(log >> std::ws, open.url)) {
            opens.push_back(open);
        }
        return opens;
    }

    static std::vector<BrowserOpen> WaitForBrowserOpens(std::size_t count,
                                                        std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (BrowserOpens().size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(100ms);
        }
        // A page opened by mistake would come about as late as the expected ones.
        std::this_thread::sleep_for(2s);
        return BrowserOpens();
    }

    // The top quarter of the installer window's client area, where the status line is drawn.
    static Rect StatusArea() {
        const auto window = FindWindowArea(prefix(), INSTALLER_CLASS);
        if (!window) {
            ADD_FAILURE() << "no installer window";
            return {};
        }
        return tessaly::test::StatusArea(window->client);
    }

    static std::string browserLog_;
    std::unique_ptr<InstallerRun> run_;
    // Wine's mscoree.dll while the old one stands in for it.
    const fs::path savedMscoree_ = fs::path(prefix().Root()) / "mscoree.dll.wine";
};

std::string PrerequisitesTest::browserLog_;

TEST_F(PrerequisitesTest, BothPresentShowNothingAndTheInstallGoesOn) {
    LoopbackServer server;
    server.ServeBody("/AppData/FileList.txt", 200, "");
    const fs::path folder = StartInstaller("both-present", true, DotNet::WINE);

    ASSERT_TRUE(server.WaitForRequests(1, 60s)) << "the install did not get past the check";
    ExpectNoDecoyRan(folder);
    EXPECT_EQ(server.Requests().front().path, "/AppData/FileList.txt");
    EXPECT_EQ(ReadNotice(1s).exitCode, 1) << "a notice box is open";
    EXPECT_TRUE(fs::is_directory(prefix().HostPath(prefix().InstallDir()))) << "step 2 did not run";
    std::this_thread::sleep_for(2s);
    EXPECT_TRUE(BrowserOpens().empty());
}

struct MissingCase {
    const char* name;
    DotNet dotNet;
    bool vcRuntime;
    std::set<std::string> pages;
};

// The notice the program composes for what its probes should find in case `c`, in UTF-8; the
// unit tests check the composition against the texts written out.
std::string ExpectedNotice(const MissingCase& c) {
    char notice[NOTICE_TEXT_CAPACITY];
    ComposePrerequisiteNotice(c.dotNet == DotNet::WINE, c.vcRuntime, notice);
    return Cp936ToUtf8(notice);
}

std::ostream& operator<<(std::ostream& out, const MissingCase& c) {
    return out << c.name;
}

class MissingPrerequisitesTest : public PrerequisitesTest,
                                 public testing::WithParamInterface<MissingCase> {};

TEST_P(MissingPrerequisitesTest, NoticeThenOnlyTheMissingPagesThenRedFailure) {
    const MissingCase& c = GetParam();
    LoopbackServer server;
    const fs::path folder = StartInstaller(c.name, c.vcRuntime, c.dotNet);

    // The box is found by its caption; it belongs to the installer window, shows no icon and
    // only OK.
    const CommandResult read = ReadNotice(60s);
    ASSERT_EQ(read.exitCode, 0) << read.output;
    EXPECT_EQ(read.output, std::string("owner=") + INSTALLER_CLASS +
                               "\nicon=0\nbuttons=OK\ntext=" + ExpectedNotice(c));

    // While the box is open nothing opens, and the status line still shows the check starting.
    std::this_thread::sleep_for(2s);
    EXPECT_TRUE(BrowserOpens().empty()) << "a page opened before the box was closed";
    const Rect area = StatusArea();
    const Image before =
        TakeScreenshot(SharedVirtualScreen().Display(),
                       ArtifactPath(std::string("prerequisites/") + c.name + " notice.png"));
    const int redBefore = before.Count(area, IsRed);
    const int blueBefore = before.Count(area, IsBlue);
    EXPECT_GT(blueBefore, 0) << "no blue start text behind the box";

    const double confirmed = UnixSeconds(std::chrono::system_clock::now());
    ASSERT_EQ(ConfirmNotice(10s).exitCode, 0) << "the box did not close on OK";

    const std::vector<BrowserOpen> opens = WaitForBrowserOpens(c.pages.size(), 30s);
    std::multiset<std::string> opened;
    for (const BrowserOpen& open : opens) {
        opened.insert(open.url);
        EXPECT_GE(open.seconds, confirmed) << open.url << " opened before OK";
    }
    // Each page once; which of two concurrent browser starts records first is up to Wine.
    EXPECT_EQ(opened, std::multiset<std::string>(c.pages.begin(), c.pages.end()));

    // The check's failure text replaces the blue start text, in red over the top quarter.
    const std::optional<RedWindow> red = run_->ToRed(10s, redBefore + 199);
    ASSERT_TRUE(red) << "no red failure text after the box was closed: " << run_->Report();
    EXPECT_TRUE(
        run_->ShowsFailure(*red, StepFailureText(0), std::string("prerequisites/") + c.name));
    const int redAfter = red->screen.Count(area, IsRed);
    EXPECT_GE(redAfter, redBefore + 200) << "red pixels: " << redBefore << " -> " << redAfter;

    EXPECT_FALSE(fs::exists(prefix().HostPath(prefix().InstallDir())));
    for (const RecordedRequest& request : server.Requests()) {
        ADD_FAILURE() << "the package server was asked for " << request.path;
    }
    if (c.dotNet == DotNet::TOO_OLD) {
        EXPECT_TRUE(fs::exists(fs::path(prefix().SystemDir()) / "mscoree.loaded"))
            << "the old mscoree.dll did not answer";
    }
    ExpectNoDecoyRan(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingPrerequisitesTest,
    testing::Values(
        // The decoy mfc140.dll beside the installer does not count.
        MissingCase{"runtime-missing", DotNet::WINE, false, {VcRuntimeHelpUrl}},
        MissingCase{"dotnet-missing", DotNet::NONE, true, {DotNetHelpUrl}},
        MissingCase{"both-missing", DotNet::NONE, false, {DotNetHelpUrl, VcRuntimeHelpUrl}},
        // Only runtimes before version 4: mscoree.dll is there but lacks CLRCreateInstance.
        MissingCase{"dotnet-too-old", DotNet::TOO_OLD, true, {DotNetHelpUrl}}),
    [](const testing::TestParamInfo<MissingCase>& info) {
        std::string name = info.param.name;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

}  // namespace
}  // namespace tessaly::test
