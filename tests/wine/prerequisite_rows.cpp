// The prerequisite check of the real installer under Wine, as rows of a table that shares the
// fault matrix's runner. Wine's own mscoree.dll answers the .NET Framework 4 probe
// (WINEDLLOVERRIDES=mscoree=d takes it away); the stand-in mfc140.dll in the prefix's system
// folder answers the runtime probe. Decoys of both DLLs lie beside the installer in every row and
// must never run: the probes judge the system's own. A recording script registered as the prefix's
// web browser shows which help pages opened and when; the notice box is read and confirmed from
// inside the prefix by window_probe.exe while the row runs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "install/prerequisite_check.h"
#include "scenario_runner.h"
#include "support/screenshot.h"
#include "support/window_area.h"

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

// The log the recording browser writes, once the rows' suite has registered it.
std::string& BrowserLog() {
    static std::string log;
    return log;
}

std::vector<BrowserOpen> BrowserOpens() {
    std::vector<BrowserOpen> opens;
    std::ifstream log(BrowserLog());
    BrowserOpen open;
    while (log >> open.seconds && std::getline(log >> std::ws, open.url)) {
        opens.push_back(open);
    }
    return opens;
}

std::vector<BrowserOpen> WaitForBrowserOpens(std::size_t count, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (BrowserOpens().size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
    }
    // A page opened by mistake would come about as late as the expected ones.
    std::this_thread::sleep_for(2s);
    return BrowserOpens();
}

// Wine's mscoree.dll while the old one stands in for it.
fs::path SavedMscoree(const WinePrefix& prefix) {
    return fs::path(prefix.Root()) / "mscoree.dll.wine";
}

// The folder on drive C the row's installer runs from, with the decoys beside it.
std::string InstallerFolder(const std::string& id) {
    return "C:\\prerequisites\\" + id;
}

// Puts the decoys into the row's installer folder, the stand-in mfc140.dll into the system folder
// when the runtime is to be found and the old mscoree.dll there when asked (keeping Wine's).
Stage StageMachine(const std::string& id, bool withVcRuntime, DotNet dotNet) {
    return [id, withVcRuntime, dotNet](const WinePrefix& prefix) {
        fs::remove(BrowserLog());
        const fs::path folder = prefix.HostPath(InstallerFolder(id));
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const char* decoy : {"mscoree.dll", "mfc140.dll"}) {
            fs::copy_file(WineBuildPath(std::string("tests/planted/") + decoy), folder / decoy);
        }
        prefix.SetVcRuntime(withVcRuntime);
        if (dotNet == DotNet::TOO_OLD) {
            const fs::path system = prefix.SystemDir();
            fs::rename(system / "mscoree.dll", SavedMscoree(prefix));
            fs::copy_file(WineBuildPath("tests/old-clr/mscoree.dll"), system / "mscoree.dll");
        }
        return std::unique_ptr<WineProgram>();
    };
}

// The decoys beside the installer never ran.
void ExpectNoDecoyRan(const WinePrefix& prefix, const std::string& id) {
    for (const char* marker : {"mscoree.dll.ran", "mfc140.dll.ran"}) {
        EXPECT_FALSE(fs::exists(prefix.HostPath(InstallerFolder(id) + "\\" + marker)))
            << marker << ": a planted DLL ran";
    }
}

// Both present: nothing is shown, and the install goes on to the index (served empty, so that the
// run ends red at the index step).
During NothingShown() {
    return [](const WinePrefix& prefix, const LoopbackServer& server, InstallerRun&) {
        ASSERT_TRUE(server.WaitForRequests(1, 60s)) << "the install did not get past the check";
        EXPECT_EQ(NoticeBox(prefix, 1s).exitCode, 1) << "a notice box is open";
        EXPECT_TRUE(fs::is_directory(prefix.HostPath(prefix.InstallDir()))) << "step 2 did not run";
        std::this_thread::sleep_for(2s);
        EXPECT_TRUE(BrowserOpens().empty());
    };
}

// Something missing: the notice the program composes for what the probes find (the unit tests
// check the composition against the texts written out); then only the missing pages, after OK;
// then the check's failure text in red where the blue start text was.
During NoticeThenPages(const std::string& id, DotNet dotNet, bool vcRuntime,
                       std::multiset<std::string> pages) {
    return [=](const WinePrefix& prefix, const LoopbackServer&, InstallerRun& run) {
        char notice[NOTICE_TEXT_CAPACITY];
        ComposePrerequisiteNotice(dotNet == DotNet::WINE, vcRuntime, notice);
        // The box is found by its caption; it belongs to the installer window, shows no icon and
        // only OK.
        const CommandResult read = NoticeBox(prefix, 60s);
        ASSERT_EQ(read.exitCode, 0) << read.output;
        EXPECT_EQ(read.output, std::string("owner=") + INSTALLER_CLASS +
                                   "\nicon=0\nbuttons=OK\ntext=" + Cp936ToUtf8(notice));

        // While the box is open nothing opens, and the status line still shows the check starting.
        std::this_thread::sleep_for(2s);
        EXPECT_TRUE(BrowserOpens().empty()) << "a page opened before the box was closed";
        const std::optional<WindowArea> window = FindWindowArea(prefix, INSTALLER_CLASS);
        ASSERT_TRUE(window) << "no installer window";
        const Rect area = StatusArea(window->client);
        const Image before = TakeScreenshot(SharedVirtualScreen().Display(),
                                            ArtifactPath("fault_matrix/" + id + " notice.png"));
        const int redBefore = before.Count(area, IsRed);
        EXPECT_GT(before.Count(area, IsBlue), 0) << "no blue start text behind the box";

        const std::chrono::duration<double> confirmed =
            std::chrono::system_clock::now().time_since_epoch();
        ASSERT_EQ(NoticeBox(prefix, 10s, true).exitCode, 0) << "the box did not close on OK";
        std::multiset<std::string> opened;
        for (const BrowserOpen& open : WaitForBrowserOpens(pages.size(), 30s)) {
            opened.insert(open.url);
            EXPECT_GE(open.seconds, confirmed.count()) << open.url << " opened before OK";
        }
        // Each page once; which of two concurrent browser starts records first is up to Wine.
        EXPECT_EQ(opened, pages);

        // The failure text replaces the blue start text over the top quarter; the runner then
        // compares it with the installer's own painter.
        const std::optional<RedWindow> red = run.ToRed(10s, redBefore + 199);
        ASSERT_TRUE(red) << "no red failure text after the box was closed: " << run.Report();
        const int redAfter = red->screen.Count(area, IsRed);
        EXPECT_GE(redAfter, redBefore + 200) << "red pixels: " << redBefore << " -> " << redAfter;
        EXPECT_FALSE(fs::exists(prefix.HostPath(prefix.InstallDir())));
    };
}

// The rows register the recording browser first, and put back what their stage changed in the
// system folder after each row.
class PrerequisiteRows : public FaultMatrix {
  protected:
    static void SetUpTestSuite() {
        FaultMatrix::SetUpTestSuite();
        BrowserLog() = RecordBrowserOpens(prefix(), prefix().Root() + "/tessaly-browser");
    }

    void TearDown() override {
        const fs::path system = prefix().SystemDir();
        if (fs::exists(SavedMscoree(prefix()))) {
            fs::rename(SavedMscoree(prefix()), system / "mscoree.dll");
        }
        prefix().SetVcRuntime(true);
    }
};

// A row whose check finds `pages` missing: the notice, the pages, then the check's failure text.
Scenario Row(const std::string& id, const std::string& name, DotNet dotNet, bool vcRuntime,
             std::multiset<std::string> pages) {
    Scenario row;
    row.id = id;
    row.name = name;
    row.serve = [](LoopbackServer&) {};
    row.expected = {false, StepFailureText(0)};
    row.check = [id, dotNet](const WinePrefix& prefix) {
        ExpectNoDecoyRan(prefix, id);
        // The stand-in's mark: it answered, and is taken away again so that the walk of drive C
        // sees only what the installer wrote.
        if (dotNet == DotNet::TOO_OLD) {
            const fs::path loaded = fs::path(prefix.SystemDir()) / "mscoree.loaded";
            EXPECT_TRUE(fs::exists(loaded)) << "the old mscoree.dll did not answer";
            fs::remove(loaded);
        }
    };
    row.stage = StageMachine(id, vcRuntime, dotNet);
    row.during = NoticeThenPages(id, dotNet, vcRuntime, std::move(pages));
    row.environment = DotNetEnvironment(dotNet);
    row.installerFolder = InstallerFolder(id);
    return row;
}

std::vector<Scenario> Rows() {
    Scenario both =
        Row("BothPresentShowNothingAndTheInstallGoesOn", "both present", DotNet::WINE, true, {});
    both.serve = [](LoopbackServer& server) { server.ServeBody(INDEX_PATH, 200, ""); };
    both.expected = {false, StepFailureText(2)};
    both.requests = {INDEX_PATH};
    both.during = NothingShown();
    return {
        // The decoy mfc140.dll beside the installer does not count.
        Row("RuntimeMissing", "VC runtime missing", DotNet::WINE, false, {VcRuntimeHelpUrl}),
        Row("DotNetMissing", ".NET 4 missing", DotNet::NONE, true, {DotNetHelpUrl}),
        Row("BothMissing", "both missing", DotNet::NONE, false, {DotNetHelpUrl, VcRuntimeHelpUrl}),
        // Only runtimes before version 4: mscoree.dll is there but lacks CLRCreateInstance.
        Row("DotNetTooOld", ".NET before 4 only", DotNet::TOO_OLD, true, {DotNetHelpUrl}),
        both,
    };
}

TEST_P(PrerequisiteRows, EndsAsDesigned) {
    table_.push_back(Run(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Prerequisites, PrerequisiteRows, testing::ValuesIn(Rows()), RowId);

}  // namespace
}  // namespace tessaly::test
