// One installer run under Wine, and what its tests look at: status line, drive C, browser, logs.
#include "support/installer_run.h"

#include "install/install_steps.h"
#include "support/files.h"
#include "support/text_encoding.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace tessaly::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

DriveTree WalkDriveC(const WinePrefix& prefix) {
    return WalkTree(prefix.HostPath("C:\\"));
}

std::vector<std::string> ChangesOutsideInstall(const WinePrefix& prefix, const DriveTree& before) {
    const fs::path profile = prefix.HostPath(prefix.ProfileDir());
    return ChangesOutside(
        before, WalkDriveC(prefix),
        {prefix.HostPath(prefix.InstallDir()), prefix.HostPath(prefix.DesktopDir()),
         (profile / "AppData/Local/Microsoft/Windows").string()});
}

std::string StepFailureText(std::size_t step) {
    return Cp936ToUtf8(INSTALL_STEPS.at(step).failureText);
}

Rect StatusArea(const Rect& client) {
    return {client.x, client.y, client.width, client.height / 4};
}

std::optional<Image> WaitForStatus(const std::string& display, WineProgram& program,
                                   const Rect& client, bool (*test)(Rgb), int pixels,
                                   std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const Rect status = StatusArea(client);
    while (std::chrono::steady_clock::now() < deadline && program.Running()) {
        Image screen = TakeScreenshot(display);
        if (screen.Count(status, test) > pixels) {
            return screen;
        }
        std::this_thread::sleep_for(200ms);
    }
    return std::nullopt;
}

const Image& ReferenceRender(const WinePrefix& prefix, const std::string& installer,
                             const std::string& text) {
    static std::map<std::string, Image> cache;
    auto found = cache.find(text);
    if (found == cache.end()) {
        const std::string bmp =
            prefix.Root() + "/../reference-" + std::to_string(cache.size()) + ".bmp";
        const CommandResult rendered = prefix.Run(WineBuildPath("tests/status_render_probe.exe"),
                                                  {installer, bmp, "1", "0", text}, 60s);
        EXPECT_EQ(rendered.exitCode, 0) << "could not render the reference for " << text;
        found = cache.emplace(text, Image::Load(bmp)).first;
    }
    return found->second;
}

int StatusDifferences(const Image& screen, const Rect& client, const Image& reference) {
    const Rect status = StatusArea(client);
    return CountDifferences(screen, status, reference, {0, 0, status.width, status.height}, 48);
}

int StatusTolerance(const Rect& client) {
    return client.width * (client.height / 4) / 200;
}

std::string RecordBrowserOpens(const WinePrefix& prefix, const std::string& folder) {
    fs::create_directories(folder);
    const std::string log = (fs::path(folder) / "opened.log").string();
    const fs::path script = fs::path(folder) / "browser.sh";
    std::ofstream(script) << "#!/bin/sh\necho \"$(date +%s.%N) $*\" >> '" << log << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    const fs::path reg = fs::path(folder) / "browser.reg";
    std::ofstream(reg) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]\n"
                       << "\"Browsers\"=\"" << script.string() << "\"\n";
    const CommandResult loaded = prefix.Run("regedit", {"/S", reg.string()});
    EXPECT_TRUE(loaded.finished && loaded.exitCode == 0) << "regedit failed";
    return log;
}

namespace {

// `name`, or for its second and later runs in this process `name`-2, -3, ...
std::string UniqueName(std::string name) {
    static std::map<std::string, int> runs;
    const int run = ++runs[name];
    return run == 1 ? name : name + "-" + std::to_string(run);
}

}  // namespace

CommandResult NoticeBox(const WinePrefix& prefix, std::chrono::milliseconds timeout, bool confirm) {
    std::vector<std::string> args{"notice", std::to_string(timeout.count())};
    if (!confirm) {
        args.insert(args.begin() + 1, "--leave-open");
    }
    return prefix.Run(WineBuildPath("tests/window_probe.exe"), args, timeout + 20s);
}

InstallerRun::InstallerRun(const WinePrefix& prefix, const std::string& display,
                           std::string installer, std::string logName, const std::string& channels,
                           const std::vector<std::string>& extraEnv)
    : prefix_(prefix),
      display_(display),
      installer_(std::move(installer)),
      name_(UniqueName(std::move(logName))),
      logPath_(ArtifactPath("wine-logs/" + name_ + ".txt")) {
    std::vector<std::string> env = extraEnv;
    env.push_back("WINEDEBUG=err+all,+seh" + channels);
    program_ = prefix_.Start(installer_, {}, env);
}

InstallerRun::~InstallerRun() {
    if (program_->Running()) {
        program_->Kill();
    }
    WriteWholeFile(logPath_, program_->ErrorOutput());
}

std::string InstallerRun::Report(std::size_t count) {
    std::string how = program_->Running()
                          ? "still running"
                          : "ended with exit code " + std::to_string(program_->ExitCode());
    const std::string errors = program_->ErrorOutput();
    std::size_t start = errors.size();
    for (std::size_t lines = 0; start > 0 && lines <= count; --start) {
        if (errors[start - 1] == '\n') {
            ++lines;
        }
    }
    return how + "; Wine's last error lines (all in " + logPath_ + "):\n" +
           errors.substr(start == 0 ? 0 : start + 1);
}

testing::AssertionResult InstallerRun::ToExit(std::chrono::milliseconds timeout) {
    if (!program_->Wait(timeout)) {
        const std::string shot = ArtifactPath(name_ + " never ended.png");
        TakeScreenshot(display_, shot);
        const std::string report = Report();
        program_->Kill();
        return testing::AssertionFailure() << "the installer never ended within " << timeout.count()
                                           << " ms (screenshot " << shot << "): " << report;
    }
    if (program_->ExitCode() != 0) {
        return testing::AssertionFailure() << "the installer " << Report();
    }
    return testing::AssertionSuccess();
}

std::optional<RedWindow> InstallerRun::ToRed(std::chrono::milliseconds timeout, int pixels) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::optional<WindowArea> window;
    while (!window && std::chrono::steady_clock::now() < deadline && program_->Running()) {
        window = FindWindowArea(prefix_, INSTALLER_CLASS);
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (!window || !WaitForStatus(display_, *program_, window->client, IsRed, pixels, left)) {
        return std::nullopt;
    }
    std::this_thread::sleep_for(700ms);  // one more paint, then look again
    return RedWindow{*window, TakeScreenshot(display_)};
}

testing::AssertionResult InstallerRun::ShowsFailure(const RedWindow& red, const std::string& text,
                                                    const std::string& screenshot) {
    // Rendered under code page 936, as the installer draws it whatever locale the run is in.
    const Image& expected = ReferenceRender(SharedWinePrefix(display_), installer_, text);
    const Rect& client = red.area.client;
    const int differing = StatusDifferences(red.screen, client, expected);
    if (!screenshot.empty()) {
        red.screen.Save(ArtifactPath(screenshot + ".png"));
        if (differing >= StatusTolerance(client)) {
            expected.Save(ArtifactPath(screenshot + " expected.png"));
        }
    }
    std::string wrong;
    if (differing >= StatusTolerance(client)) {
        wrong += "the status line does not show " + text + " (" + std::to_string(differing) +
                 " pixels differ); ";
    }
    if (red.screen.Count(StatusArea(client), IsBlue) != 0) {
        wrong += "blue text beside the failure; ";
    }
    if (!program_->Running()) {
        wrong += "the window closed after a failure: " + Report();
    }
    if (!wrong.empty()) {
        return testing::AssertionFailure() << wrong;
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult InstallerRun::Close() {
    const CommandResult closed =
        prefix_.Run(WineBuildPath("tests/window_probe.exe"), {"close", INSTALLER_CLASS}, 30s);
    if (closed.exitCode != 0) {
        return testing::AssertionFailure()
               << "window_probe could not close the window: " << closed.output;
    }
    if (!program_->Wait(10s)) {
        return testing::AssertionFailure()
               << "closing the window did not end the process: " << Report();
    }
    if (program_->ExitCode() != 0) {
        return testing::AssertionFailure() << "after the close the installer " << Report();
    }
    return testing::AssertionSuccess();
}

}  // namespace tessaly::test
