// The real installer window under Wine on a virtual screen, looked at as a user sees it: its title,
// its size and place, the splash picture, the status line in blue while a step runs and in red
// once one failed, the notice box, and the process ending with exit code 0 when the window closes.
// Screenshots of the client area are saved under screenshots/installer_window in the build tree.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "support/loopback_server.h"
#include "support/screenshot.h"
#include "support/virtual_screen.h"
#include "support/window_area.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace tessaly::test {
namespace {

constexpr char INSTALLER_CLASS[] = "TESSALYINSTALLER";
constexpr char WINDOW_TITLE[] = "Tessaly在线安装程序";
constexpr char INDEX_PATH[] = "/AppData/FileList.txt";
constexpr int PICTURE_WIDTH = 931;
constexpr int PICTURE_HEIGHT = 583;
constexpr int STATUS_HEIGHT = PICTURE_HEIGHT / 4;  // the status line's layout rectangle

std::string Describe(const Rect& r) {
    std::ostringstream out;
    out << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
    return out.str();
}

// The smallest rectangle around the pixels of `area` that pass `test`; width 0 when none does.
Rect Bounds(const Image& image, const Rect& area, bool (*test)(Rgb)) {
    int left = area.x + area.width, top = area.y + area.height, right = area.x - 1,
        bottom = area.y - 1;
    for (int y = area.y; y < area.y + area.height; ++y) {
        for (int x = area.x; x < area.x + area.width; ++x) {
            if (test(image.At(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < left) {
        return {area.x, area.y, 0, 0};
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

class InstallerWindowTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        WinePrefix& wine = prefix();
        // Help pages that a failed prerequisite check opens go to a recording script, never to
        // a real browser.
        const fs::path folder = fs::path(wine.Root()).parent_path() / "window-test";
        fs::create_directories(folder);
        browserLog_ = (folder / "browser.log").string();
        const fs::path script = folder / "browser.sh";
        std::ofstream(script) << "#!/bin/sh\necho \"$*\" >> '" << browserLog_ << "'\n";
        fs::permissions(script, fs::perms::owner_all);
        const fs::path reg = folder / "browser.reg";
        std::ofstream(reg) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]\n"
                           << "\"Browsers\"=\"" << script.string() << "\"\n";
        const CommandResult loaded = wine.Run("regedit", {"/S", reg.string()});
        ASSERT_TRUE(loaded.finished && loaded.exitCode == 0) << "regedit failed";
        splash_ = Image::Load(std::string(TESSALY_SOURCE_DIR) + "/res/splash.png");
    }

    void TearDown() override {
        if (program_ && program_->Running()) {
            program_->Kill();
        }
        program_.reset();
        server_.reset();
        prefix().KillAll();
    }

    static WinePrefix& prefix() { return SharedWinePrefix(SharedVirtualScreen().Display()); }
    static const std::string& display() { return SharedVirtualScreen().Display(); }

    // Starts a copy of the installer from a folder of its own, on a machine with the Visual C++
    // runtime unless it is to be missing.
    void StartInstaller(const std::string& caseName, bool withVcRuntime = true) {
        const fs::path folder = prefix().HostPath("C:\\window-test\\" + caseName);
        fs::remove_all(folder);
        prefix().SetVcRuntime(withVcRuntime);
        program_ = prefix().Start(CopyInstaller(folder.string()), {});
    }

    WindowArea WaitForWindow() {
        const std::optional<WindowArea> area = FindWindowArea(prefix(), INSTALLER_CLASS, 30s);
        if (!area) {
            ADD_FAILURE() << "no installer window appeared";
            return {};
        }
        return *area;
    }

    // Screenshots until the top quarter of `client` holds more than `pixels` pixels that pass
    // `test`, or `timeout` passed. The window paints the picture and then the text straight onto
    // the screen, so a single screenshot may fall between the two.
    std::optional<Image> WaitForStatus(const Rect& client, bool (*test)(Rgb), int pixels,
                                       std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        const Rect status = StatusArea(client);
        while (std::chrono::steady_clock::now() < deadline && program_->Running()) {
            Image screen = TakeScreenshot(display());
            if (screen.Count(status, test) > pixels) {
                return screen;
            }
            std::this_thread::sleep_for(200ms);
        }
        return std::nullopt;
    }

    static Rect StatusArea(const Rect& client) {
        return {client.x, client.y, client.width, STATUS_HEIGHT};
    }

    // Pixels below the status line that differ clearly from the splash picture. GDI+ draws the
    // picture at its physical size, and 3779 pixels per metre is a hair under 96 dpi, so sharp
    // edges come out resampled by up to about 30 levels; a picture drawn elsewhere or at another
    // scale differs by far more.
    static int PictureDifferences(const Image& screen, const Rect& client) {
        const Rect below = {client.x, client.y + STATUS_HEIGHT, PICTURE_WIDTH,
                            PICTURE_HEIGHT - STATUS_HEIGHT};
        return CountDifferences(screen, below, splash_,
                                {0, STATUS_HEIGHT, PICTURE_WIDTH, PICTURE_HEIGHT - STATUS_HEIGHT},
                                40);
    }

    // The status text is centred in the top quarter: its bounding box's middle lies within a few
    // pixels of the middle of the layout rectangle.
    static void ExpectCentred(const Image& screen, const Rect& client, bool (*test)(Rgb)) {
        const Rect text = Bounds(screen, StatusArea(client), test);
        ASSERT_GT(text.width, 0);
        const double middleX = text.x - client.x + text.width / 2.0;
        const double middleY = text.y - client.y + text.height / 2.0;
        EXPECT_NEAR(middleX, PICTURE_WIDTH / 2.0, 6.0) << "text at " << Describe(text);
        EXPECT_NEAR(middleY, STATUS_HEIGHT / 2.0, 6.0) << "text at " << Describe(text);
    }

    static void Save(const Image& screen, const Rect& client, const std::string& name) {
        const fs::path folder = fs::current_path() / "screenshots" / "installer_window";
        fs::create_directories(folder);
        screen.Crop(client).Save((folder / (name + ".png")).string());
    }

    void CloseAndExpectExitCodeZero() {
        const CommandResult closed =
            prefix().Run(WineBuildPath("tests/window_probe.exe"), {"close", INSTALLER_CLASS}, 30s);
        EXPECT_EQ(closed.exitCode, 0) << closed.output;
        ASSERT_TRUE(program_->Wait(10s)) << "closing the window did not end the process";
        EXPECT_EQ(program_->ExitCode(), 0);
    }

    static inline std::string browserLog_;
    static inline Image splash_;
    std::unique_ptr<LoopbackServer> server_;
    std::unique_ptr<WineProgram> program_;
};

// Built for the test port, where nothing listens here: the index download fails at once.
TEST_F(InstallerWindowTest, FitsThePictureCentredAndShowsAFailureInRedUntilClosed) {
    StartInstaller("unreachable");
    const WindowArea window = WaitForWindow();
    ASSERT_GT(window.client.width, 0);
    EXPECT_EQ(window.title, WINDOW_TITLE);
    EXPECT_EQ(window.client.width, PICTURE_WIDTH);
    EXPECT_EQ(window.client.height, PICTURE_HEIGHT);
    // Centred on the whole screen, frame included; an odd remainder is dropped.
    EXPECT_EQ(window.window.x, (VirtualScreen::WIDTH - window.window.width) / 2)
        << Describe(window.window);
    EXPECT_EQ(window.window.y, (VirtualScreen::HEIGHT - window.window.height) / 2)
        << Describe(window.window);
    // A title bar with the system menu and the close button; no sizing border, no minimise or
    // maximise box.
    const CommandResult info =
        prefix().Run(WineBuildPath("tests/window_probe.exe"), {"info", INSTALLER_CLASS}, 30s);
    const std::size_t style = info.output.find("style=");
    ASSERT_NE(style, std::string::npos) << info.output;
    EXPECT_EQ(std::stoul(info.output.substr(style + 6, 8), nullptr, 16) & 0x00CF0000u, 0x00C80000u)
        << info.output;

    const std::optional<Image> failed = WaitForStatus(window.client, IsRed, 100, 60s);
    ASSERT_TRUE(failed.has_value()) << "no red status text appeared";
    std::this_thread::sleep_for(1500ms);  // a few more ticks: the failure text stays still
    const std::optional<Image> stillFailed = WaitForStatus(window.client, IsRed, 100, 5s);
    ASSERT_TRUE(stillFailed.has_value()) << "the red status text went away";
    const Image& later = *stillFailed;
    Save(later, window.client, "index-download-failed");

    EXPECT_EQ(later.Count(StatusArea(window.client), IsBlue), 0) << "blue beside the failure";
    EXPECT_EQ(
        CountDifferences(*failed, StatusArea(window.client), later, StatusArea(window.client), 8),
        0)
        << "the failure text is still animated";
    ExpectCentred(later, window.client, IsRed);
    // Nothing is drawn over the picture outside the top quarter, which shows it at its own size.
    EXPECT_LT(PictureDifferences(later, window.client), 200) << "the picture is not drawn as it is";

    EXPECT_TRUE(program_->Running()) << "the window closed after a failure";
    CloseAndExpectExitCodeZero();
}

TEST_F(InstallerWindowTest, AnimatesTheStatusInBlueWhileAStepRunsAndClosesMidStep) {
    server_ = std::make_unique<LoopbackServer>();
    // One byte a second: the index download lasts a minute without ever stalling long enough
    // for the receive time-out.
    server_->ServeSlowly(INDEX_PATH, std::string(60, '\n'), 1, 1000ms);
    StartInstaller("slow-index");
    const WindowArea window = WaitForWindow();
    ASSERT_GT(window.client.width, 0);
    ASSERT_TRUE(server_->WaitForRequests(1, 30s)) << "the index was never asked for";

    const std::optional<Image> first = WaitForStatus(window.client, IsBlue, 100, 30s);
    ASSERT_TRUE(first.has_value()) << "no blue status text appeared";
    std::this_thread::sleep_for(1s);
    const std::optional<Image> later = WaitForStatus(window.client, IsBlue, 100, 5s);
    ASSERT_TRUE(later.has_value()) << "the blue status text went away";
    const Image& second = *later;
    Save(*first, window.client, "index-downloading-1");
    Save(second, window.client, "index-downloading-2");

    const Rect status = StatusArea(window.client);
    for (const Image* screen : {&*first, &second}) {
        EXPECT_GT(screen->Count(status, IsBlue), 100);
        EXPECT_EQ(screen->Count(status, IsRed), 0);
        ExpectCentred(*screen, window.client, IsBlue);
        EXPECT_LT(PictureDifferences(*screen, window.client), 200);
    }
    // Two ticks later the spinner and the dots have moved, and only the top quarter changed.
    EXPECT_GT(CountDifferences(*first, status, second, status, 32), 20)
        << "the status line did not animate";

    EXPECT_TRUE(program_->Running());
    EXPECT_EQ(server_->RequestsFor(INDEX_PATH).size(), 1u);
    CloseAndExpectExitCodeZero();
}

TEST_F(InstallerWindowTest, ShowsTheNoticeInABoxOfItsOwnAndKeepsAnimating) {
    fs::remove(browserLog_);
    StartInstaller("without-runtime", false);
    const WindowArea window = WaitForWindow();
    ASSERT_GT(window.client.width, 0);

    const CommandResult notice = prefix().Run(WineBuildPath("tests/window_probe.exe"),
                                              {"notice", "--leave-open", "30000"}, 60s);
    ASSERT_EQ(notice.exitCode, 0) << notice.output;
    std::map<std::string, std::string> fields;
    std::istringstream lines(notice.output.substr(0, notice.output.find("text=")));
    for (std::string line; std::getline(lines, line);) {
        fields[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
    EXPECT_EQ(fields["owner"], INSTALLER_CLASS) << "the box is not owned by the window";
    EXPECT_EQ(fields["buttons"], "OK");
    EXPECT_EQ(fields["icon"], "0");
    EXPECT_NE(notice.output.find("text=系统版本太低"), std::string::npos) << notice.output;

    // The box's modal loop still delivers the window's timer and paints.
    const std::optional<Image> first = WaitForStatus(window.client, IsBlue, 100, 5s);
    std::this_thread::sleep_for(1s);
    const std::optional<Image> second = WaitForStatus(window.client, IsBlue, 100, 5s);
    ASSERT_TRUE(first.has_value() && second.has_value()) << "no blue status text behind the box";
    Save(*second, window.client, "notice-open");
    const Rect status = StatusArea(window.client);
    EXPECT_GT(CountDifferences(*first, status, *second, status, 32), 20)
        << "the window stopped animating behind the box";
    EXPECT_FALSE(fs::exists(browserLog_)) << "a help page opened before the box was closed";

    const CommandResult confirmed =
        prefix().Run(WineBuildPath("tests/window_probe.exe"), {"notice", "30000"}, 60s);
    EXPECT_EQ(confirmed.exitCode, 0) << confirmed.output;
    const std::optional<Image> failed = WaitForStatus(window.client, IsRed, 100, 30s);
    ASSERT_TRUE(failed.has_value()) << "no red failure text after the box was closed";
    Save(*failed, window.client, "prerequisites-failed");
    EXPECT_TRUE(program_->Running());
    CloseAndExpectExitCodeZero();
}

}  // namespace
}  // namespace tessaly::test
