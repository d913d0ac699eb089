// Running the real installer under Wine for the install tests: one shared prefix per locale and one
// virtual screen per test program, a fresh loopback package server per test, a copy of the
// installer, and what the tests look at afterwards: requests, files, links, the status line on the
// screen, the installer's failure lines and every change made to drive C.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/drive_changes.h"
#include "support/files.h"
#include "support/installer_run.h"
#include "support/loopback_server.h"
#include "support/screenshot.h"
#include "support/shell_link.h"
#include "support/virtual_screen.h"
#include "support/window_area.h"
#include "support/wine_prefix.h"

namespace tessaly::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr char INDEX_PATH[] = "/AppData/FileList.txt";
// The red text of a run whose file downloads failed.
inline const std::string DATA_FAILED = StepFailureText(3);

// Bytes that no text file holds by accident: every value, zeros included, in a scrambled order.
inline std::string BinaryBody(std::size_t size, unsigned seed) {
    std::string body(size, '\0');
    unsigned state = seed;
    for (char& c : body) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return body;
}

// What a link on the desktop points at, as its file says.
struct LinkFields {
    std::string target;
    std::string workingDir;
    std::string relativePath;
};

inline LinkFields ReadLink(const std::string& path) {
    const std::optional<ShellLink> link = ReadWineShellLink(path);
    EXPECT_TRUE(link.has_value()) << path << " is not a shell link";
    if (!link) {
        return {};
    }
    return {link->localBasePath + link->commonPathSuffix, link->workingDir, link->relativePath};
}

class InstallerRunTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        WinePrefix& wine = SharedWinePrefix(SharedVirtualScreen().Display());
        // Beside the prefix, not on drive C, so that the walks of drive C see only the run.
        installer_ = CopyInstaller((fs::path(wine.Root()).parent_path() / "installer").string());
    }

    void SetUp() override {
        prefix().ResetInstallation();
        server_ = std::make_unique<LoopbackServer>();
    }

    void TearDown() override {
        run_.reset();
        server_.reset();
    }

    // The prefix of the locale the test runs in (code page 936's unless it chose another).
    static WinePrefix& prefix() {
        return SharedWinePrefix(SharedVirtualScreen().Display(), locale_);
    }
    LoopbackServer& server() { return *server_; }

    // The Linux path of something under Program Files\Tessaly, or on the desktop.
    static std::string Installed(const std::string& relative) {
        return prefix().HostPath(prefix().InstallDir() + "\\" + relative);
    }
    static std::string OnDesktop(const std::string& name) {
        return prefix().HostPath(prefix().DesktopDir() + "\\" + name);
    }
    static std::vector<std::string> DesktopNames() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(prefix().HostPath(prefix().DesktopDir()))) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void ServeIndex(const std::string& index) { server().ServeBody(INDEX_PATH, 200, index); }

    std::vector<std::string> RequestedPaths() const {
        std::vector<std::string> paths;
        for (const RecordedRequest& request : server_->Requests()) {
            paths.push_back(request.path);
        }
        return paths;
    }

    // Takes the walk of drive C that ChangesOutsideInstall compares with.
    void RememberDriveC() { driveC_ = WalkDriveC(prefix()); }
    // What the run changed on drive C outside the install folder and the desktop.
    std::vector<std::string> ChangesOutsideInstall() const {
        return tessaly::test::ChangesOutsideInstall(prefix(), driveC_);
    }

    // With Wine's debugstr channel on, so that the installer's failure lines reach its stderr.
    void StartInstaller() {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        run_ = std::make_unique<InstallerRun>(
            prefix(), SharedVirtualScreen().Display(), installer_,
            std::string("install_runs/") + test->test_suite_name() + "." + test->name(),
            ",+debugstr");
    }

    // The lines the installer wrote to the debugger output that begin with "Tessaly: ", as Wine
    // quotes them (without the line break; backslashes doubled).
    std::vector<std::string> FailureReports() const {
        std::vector<std::string> reports;
        std::istringstream lines(run_->Program().ErrorOutput());
        for (std::string line; std::getline(lines, line);) {
            const std::size_t start = line.find("OutputDebugStringA \"Tessaly: ");
            const std::size_t end = line.rfind("\\n\"");
            if (start != std::string::npos && end != std::string::npos && end > start) {
                const std::size_t text = start + std::strlen("OutputDebugStringA \"");
                reports.push_back(line.substr(text, end - text));
            }
        }
        return reports;
    }

    // A complete run: the window closes by itself and the process ends with 0.
    void RunToCompletion() {
        StartInstaller();
        EXPECT_TRUE(run_->ToExit(120s));
    }

    // A failed run: the window stays open with `failureText` in red over the top quarter of the
    // picture. The window is then closed the way its close button does it.
    void RunToFailure(const std::string& failureText, const std::string& screenshotName) {
        StartInstaller();
        const std::optional<RedWindow> red = run_->ToRed(60s);
        ASSERT_TRUE(red.has_value()) << "no red status text appeared: " << run_->Report();
        windowTitle_ = red->area.title;
        EXPECT_TRUE(run_->ShowsFailure(*red, failureText, "install_runs/" + screenshotName));
        EXPECT_TRUE(run_->Close());
    }

    // What window_probe reads from the notice box of a run on a machine without the Visual C++
    // runtime (its "text=" line and the rest); empty when no box captioned "安装提示：" showed.
    // The screen with the box is saved as `screenshotName`. The box is left open and the installer
    // ended, so no help page ever opens.
    std::string NoticeWithoutVcRuntime(const std::string& screenshotName) {
        prefix().SetVcRuntime(false);
        StartInstaller();
        const CommandResult notice = prefix().Run(WineBuildPath("tests/window_probe.exe"),
                                                  {"notice", "--leave-open", "30000"}, 60s);
        TakeScreenshot(SharedVirtualScreen().Display())
            .Save(ArtifactPath("install_runs/" + screenshotName + ".png"));
        run_->Program().Kill();
        prefix().SetVcRuntime(true);
        return notice.exitCode == 0 ? notice.output : std::string();
    }

    // The title of the window the last RunToFailure found, as the window system has it (UTF-8).
    std::string windowTitle_;
    // The locale the test's Wine processes run in; a test that chooses another sets it back.
    static inline std::string locale_ = CODE_PAGE_936_LOCALE;

  private:
    static inline std::string installer_;
    std::unique_ptr<LoopbackServer> server_;
    std::unique_ptr<InstallerRun> run_;
    DriveTree driveC_;
};

}  // namespace tessaly::test
