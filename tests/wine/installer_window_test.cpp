// The real installer window under Wine, as a user and a screen reader see it.
// On a virtual screen: its title, its size and place, the splash picture, the status line in blue
// while a step runs and in red once one failed, the notice box, what a screen reader is told, and
// the process ending with exit code 0 when the window closes.
// Screenshots of the client area are saved under wine-artifacts/installer_window in the build tree.
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
#include <vector>

#include "app/window_texts.h"
#include "install/install_steps.h"
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

constexpr char INDEX_PATH[] = "/AppData/FileList.txt";
constexpr int PICTURE_WIDTH = 931;
constexpr int PICTURE_HEIGHT = 583;
// 150%: the picture scaled by 144 / 96, 1396.5 x 874.5 with the half pixels rounded up.
constexpr int SCALED_DPI = 144;
constexpr int SCALED_WIDTH = 1397;
constexpr int SCALED_HEIGHT = 875;

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
        // Help pages that a failed prerequisite check opens go to a recording script, never to
        // a real browser.
        browserLog_ = RecordBrowserOpens(
            prefix(), (fs::path(prefix().Root()).parent_path() / "window-test").string());
        splash_ = Image::Load(std::string(TESSALY_SOURCE_DIR) + "/res/splash.png");
    }

    void TearDown() override {
        program_ = nullptr;
        run_.reset();
        server_.reset();
        prefix().KillAll();
        if (dpiChanged_) {
            SetDisplayDpi(96);
        }
    }

    static WinePrefix& prefix() { return SharedWinePrefix(SharedVirtualScreen().Display()); }
    static const std::string& display() { return SharedVirtualScreen().Display(); }

    // Starts a copy of the installer from a folder of its own, on a machine with the Visual C++
    // runtime unless it is to be missing.
    void StartInstaller(const std::string& caseName, bool withVcRuntime = true) {
        const fs::path folder = prefix().HostPath("C:\\window-test\\" + caseName);
        fs::remove_all(folder);
        prefix().SetVcRuntime(withVcRuntime);
        run_ = std::make_unique<InstallerRun>(prefix(), display(), CopyInstaller(folder.string()),
                                              "installer_window/" + caseName);
        program_ = &run_->Program();
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
        return tessaly::test::WaitForStatus(display(), *program_, client, test, pixels, timeout);
    }

    // Pixels below the status line that differ clearly from `picture`, the splash picture at the
    // client area's size. At 100% GDI+ draws the picture at its physical size, and 3779 pixels
    // per metre is a hair under 96 dpi, so sharp edges come out resampled by up to about 30
    // levels; a picture drawn elsewhere or at another scale differs by far more.
    static int PictureDifferences(const Image& screen, const Rect& client,
                                  const Image& picture = splash_) {
        const int band = client.height / 4;
        return CountDifferences(screen,
                                {client.x, client.y + band, client.width, client.height - band},
                                picture, {0, band, client.width, client.height - band}, 40);
    }

    // The status text is centred in the top quarter: its bounding box's middle lies within a few
    // pixels of the middle of the layout rectangle. Returns the bounding box.
    static Rect ExpectCentred(const Image& screen, const Rect& client, bool (*test)(Rgb)) {
        const Rect text = Bounds(screen, StatusArea(client), test);
        EXPECT_GT(text.width, 0);
        const double middleX = text.x - client.x + text.width / 2.0;
        const double middleY = text.y - client.y + text.height / 2.0;
        EXPECT_NEAR(middleX, client.width / 2.0, 6.0) << "text at " << Describe(text);
        EXPECT_NEAR(middleY, client.height / 4 / 2.0, 6.0) << "text at " << Describe(text);
        return text;
    }

    // The window of an installer that failed to reach its server, once the red text shows.
    struct FailedWindow {
        WindowArea area;
        Image screen;
        Rect text;  // the red text's bounding box
    };
    FailedWindow WaitForFailure() {
        const std::optional<RedWindow> red = run_->ToRed(60s, 100);
        if (!red) {
            ADD_FAILURE() << "no red status text appeared: " << run_->Report();
            return {};
        }
        return {red->area, red->screen, ExpectCentred(red->screen, red->area.client, IsRed)};
    }

    // The display scale of the programs started from now on (HKCU\Control Panel\Desktop
    // LogPixels), put back to 100% after the test.
    void SetDisplayDpi(int dpi) {
        const CommandResult set =
            prefix().Run("reg", {"add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t",
                                 "REG_DWORD", "/d", std::to_string(dpi), "/f"});
        ASSERT_TRUE(set.finished && set.exitCode == 0) << "reg add failed: " << set.output;
        dpiChanged_ = dpi != 96;
    }

    // The splash picture scaled to 150% by ImageMagick, to compare the window's own with.
    static const Image& ScaledSplash() {
        static const Image scaled = [] {
            const std::string path = ArtifactPath("splash-150-percent.png");
            const CommandResult made = RunCommand(
                {"convert", std::string(TESSALY_SOURCE_DIR) + "/res/splash.png", "-resize",
                 std::to_string(SCALED_WIDTH) + "x" + std::to_string(SCALED_HEIGHT) + "!", path});
            EXPECT_TRUE(made.finished && made.exitCode == 0) << "convert failed";
            return Image::Load(path);
        }();
        return scaled;
    }

    static void Save(const Image& screen, const Rect& client, const std::string& name) {
        screen.Crop(client).Save(ArtifactPath("installer_window/" + name + ".png"));
    }

    void CloseAndExpectExitCodeZero() { ASSERT_TRUE(run_->Close()); }

    static inline std::string browserLog_;
    static inline Image splash_;
    bool dpiChanged_ = false;
    std::unique_ptr<LoopbackServer> server_;
    std::unique_ptr<InstallerRun> run_;
    WineProgram* program_ = nullptr;  // run_'s installer
};

// Built for the test port, where nothing listens here: the index download fails at once.
TEST_F(InstallerWindowTest, FitsThePictureCentredAndShowsAFailureInRedUntilClosed) {
    StartInstaller("unreachable");
    const WindowArea window = WaitForWindow();
    ASSERT_GT(window.client.width, 0);
    EXPECT_EQ(window.title, TESSALY_WINDOW_TITLE);
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

// At 150% (LogPixels 144) the window is drawn for the display instead of being stretched: its
// client area is the picture's size scaled by 1.5, centred on the screen, the picture is resampled
// to fill it, and the text is half as large again as at 100%, centred in the scaled band. The same
// failure at 100% comes first, for the text's size there.
TEST_F(InstallerWindowTest, ScalesTheWindowThePictureAndTheTextWithTheDisplay) {
    StartInstaller("unreachable-100-percent");
    const FailedWindow normal = WaitForFailure();
    ASSERT_GT(normal.text.width, 0);
    CloseAndExpectExitCodeZero();
    prefix().KillAll();

    SetDisplayDpi(SCALED_DPI);
    StartInstaller("unreachable-150-percent");
    const FailedWindow scaled = WaitForFailure();
    const Rect& client = scaled.area.client;
    EXPECT_EQ(client.width, SCALED_WIDTH);
    EXPECT_EQ(client.height, SCALED_HEIGHT);
    EXPECT_EQ(scaled.area.window.x, (VirtualScreen::WIDTH - scaled.area.window.width) / 2)
        << Describe(scaled.area.window);
    EXPECT_EQ(scaled.area.window.y, (VirtualScreen::HEIGHT - scaled.area.window.height) / 2)
        << Describe(scaled.area.window);
    ASSERT_GT(scaled.text.width, 0);
    Save(scaled.screen, client, "index-download-failed-150-percent");

    // Anti-aliasing blurs a pixel at each edge of the text, whatever its size.
    EXPECT_NEAR(scaled.text.width, normal.text.width * 1.5, 4.0)
        << Describe(scaled.text) << " at 150%, " << Describe(normal.text) << " at 100%";
    EXPECT_NEAR(scaled.text.height, normal.text.height * 1.5, 4.0)
        << Describe(scaled.text) << " at 150%, " << Describe(normal.text) << " at 100%";
    EXPECT_EQ(scaled.screen.Count(StatusArea(client), IsBlue), 0);
    EXPECT_LT(PictureDifferences(scaled.screen, client, ScaledSplash()),
              client.width * client.height / 1000)
        << "the picture is not scaled to the client area";
    CloseAndExpectExitCodeZero();
}

// WM_DPICHANGED, as when the window is moved onto a display at 150%: the window takes the place
// and size that the system suggests, and the picture fills the new client area. Wine cannot move a
// window between displays of different scales, so the probe sends the message as the system would.
TEST_F(InstallerWindowTest, TakesTheSuggestedPlaceAndSizeWhenTheDisplayScaleChanges) {
    StartInstaller("dpi-changed");
    const FailedWindow before = WaitForFailure();
    ASSERT_GT(before.text.width, 0);
    const int left = 40;
    const int top = 30;
    const int right = left + before.area.window.width - before.area.client.width + SCALED_WIDTH;
    const int bottom = top + before.area.window.height - before.area.client.height + SCALED_HEIGHT;
    const CommandResult changed = prefix().Run(
        WineBuildPath("tests/window_probe.exe"),
        {"dpi-changed", INSTALLER_CLASS, std::to_string(SCALED_DPI), std::to_string(left),
         std::to_string(top), std::to_string(right), std::to_string(bottom)},
        30s);
    ASSERT_EQ(changed.exitCode, 0) << changed.output;
    std::ostringstream expected;
    expected << "client=" << SCALED_WIDTH << "x" << SCALED_HEIGHT << "\n";
    expected << "client-origin=" << left + before.area.client.x - before.area.window.x << ","
             << top + before.area.client.y - before.area.window.y << "\n";
    expected << "window=" << left << "," << top << "," << right << "," << bottom << "\n";
    EXPECT_NE(changed.output.find(expected.str()), std::string::npos) << changed.output;

    const WindowArea after = WaitForWindow();
    ASSERT_EQ(after.client.width, SCALED_WIDTH);
    ASSERT_EQ(after.client.height, SCALED_HEIGHT);
    // Until the window repaints, the screen keeps what was there before the move: wait for the
    // picture to fill the new client area.
    const int tolerated = after.client.width * after.client.height / 1000;
    std::optional<Image> red;
    int differences = 0;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    do {
        red = WaitForStatus(after.client, IsRed, 100, 10s);
        ASSERT_TRUE(red.has_value()) << "no red status text after the move";
        differences = PictureDifferences(*red, after.client, ScaledSplash());
    } while (differences >= tolerated && std::chrono::steady_clock::now() < deadline);
    Save(*red, after.client, "dpi-changed-to-150-percent");
    EXPECT_LT(differences, tolerated) << "the picture does not fill the new client area";
    ExpectCentred(*red, after.client, IsRed);
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

// As a screen reader reads it: the title stays the client object's name, and its one child, a
// status bar, carries the step's text (no spinner, no dots) and is busy while the index comes in
// slowly, then the failure text after a file's 404. Each new text is announced once, never an
// animation frame, and the failure with one alert.
TEST_F(InstallerWindowTest, TellsScreenReadersTheStatusAndAnnouncesEachNewTextOnce) {
    server_ = std::make_unique<LoopbackServer>();
    // About 8 s for an index of one file that the server does not have.
    server_->ServeSlowly(INDEX_PATH, "0|missing.dat|missing.dat\n", 1, 300ms);
    StartInstaller("screen-reader");
    ASSERT_GT(WaitForWindow().client.width, 0);
    ASSERT_TRUE(server_->WaitForRequests(1, 30s)) << "the index was never asked for";
    std::this_thread::sleep_for(1s);  // the next tick hands the index's start text over

    const CommandResult read = prefix().Run(WineBuildPath("tests/window_probe.exe"),
                                            {"accessible", INSTALLER_CLASS, "60000"}, 90s);
    ASSERT_EQ(read.exitCode, 0) << read.output;
    std::ofstream(ArtifactPath("screen-reader.txt")) << read.output;
    const std::string running =  // busy
        "child=1 role=23 state=00000840 name=" + Cp936ToUtf8(INSTALL_STEPS[2].startText);
    const std::string failed = "child=1 role=23 state=00000040 name=" + StepFailureText(3);
    std::vector<std::string> lines;
    std::istringstream output(read.output);
    for (std::string line; std::getline(output, line);) {
        lines.push_back(line);
    }
    ASSERT_GE(lines.size(), 4u) << read.output;
    EXPECT_EQ(lines[0], std::string("name=") + TESSALY_WINDOW_TITLE);
    EXPECT_EQ(lines[1], "role=10");  // ROLE_SYSTEM_CLIENT
    EXPECT_EQ(lines[2], running) << read.output;
    EXPECT_EQ(lines.back(), failed) << read.output;

    std::string spoken = lines[2];
    int alerts = 0;
    for (const std::string& line : lines) {
        if (line.rfind("event=namechange ", 0) == 0) {
            EXPECT_NE(line.substr(17), spoken) << "announced again:\n" << read.output;
            spoken = line.substr(17);
        }
        alerts += line == "event=alert child=1";
    }
    EXPECT_EQ(spoken, failed) << read.output;
    EXPECT_EQ(alerts, 1) << read.output;
    EXPECT_EQ(server_->RequestsFor("/AppData/missing.dat").size(), 1u);
    CloseAndExpectExitCodeZero();
}

TEST_F(InstallerWindowTest, ShowsTheNoticeInABoxOfItsOwnAndKeepsAnimating) {
    fs::remove(browserLog_);
    StartInstaller("without-runtime", false);
    const WindowArea window = WaitForWindow();
    ASSERT_GT(window.client.width, 0);

    const CommandResult notice = NoticeBox(prefix(), 30s);
    ASSERT_EQ(notice.exitCode, 0) << notice.output;
    std::map<std::string, std::string> fields;
    std::istringstream lines(notice.output.substr(0, notice.output.find("text=")));
    for (std::string line; std::getline(lines, line);) {
        fields[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
    EXPECT_EQ(fields["owner"], INSTALLER_CLASS) << "the box is not owned by the window";
    EXPECT_EQ(fields["buttons"], "OK");
    EXPECT_EQ(fields["icon"], "0");
    EXPECT_NE(notice.output.find("text=" + Cp936ToUtf8(PREREQUISITE_NOTICE_HEADER)),
              std::string::npos)
        << notice.output;

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

    const CommandResult confirmed = NoticeBox(prefix(), 30s, true);
    EXPECT_EQ(confirmed.exitCode, 0) << confirmed.output;
    const std::optional<RedWindow> failed = run_->ToRed(30s, 100);
    ASSERT_TRUE(failed) << "no red failure text after the box was closed: " << run_->Report();
    // The check's failure text alone, and the window stays open.
    EXPECT_TRUE(
        run_->ShowsFailure(*failed, StepFailureText(0), "installer_window/prerequisites-failed"));
    CloseAndExpectExitCodeZero();
}

}  // namespace
}  // namespace tessaly::test
