// The Wine test harness itself: prefix, program runs, loopback server, screen, images, .lnk reader.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "support/files.h"
#include "support/installer_run.h"
#include "support/loopback_server.h"
#include "support/screenshot.h"
#include "support/shell_link.h"
#include "support/virtual_screen.h"
#include "support/wine_prefix.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

WinePrefix& Prefix() {
    return SharedWinePrefix(SharedVirtualScreen().Display());
}

TEST(WinePrefix, KnowsWhereTheProgramSeesItsFolders) {
    WinePrefix& prefix = Prefix();
    EXPECT_TRUE(fs::is_directory(prefix.Root() + "/drive_c/windows"));
    EXPECT_EQ(prefix.ProgramFilesDir(), "C:\\Program Files");
    EXPECT_EQ(prefix.InstallDir(), "C:\\Program Files\\Tessaly");
    EXPECT_EQ(prefix.DesktopDir().rfind("C:\\users\\", 0), 0u) << prefix.DesktopDir();
    EXPECT_EQ(prefix.DesktopDir().substr(prefix.DesktopDir().size() - 8), "\\Desktop");
    const fs::path desktop = prefix.HostPath(prefix.DesktopDir());
    EXPECT_TRUE(fs::is_directory(desktop)) << desktop;
    EXPECT_FALSE(fs::is_symlink(desktop)) << "the desktop must stay inside the prefix";
    EXPECT_EQ(prefix.HostPath("c:/a\\b c"), prefix.Root() + "/drive_c/a/b c");
    EXPECT_THROW(prefix.HostPath("D:\\x"), std::invalid_argument);
}

TEST(InstallerRun, SaysHowARunEndedAndWhereWinesErrorLinesAre) {
    {
        // Without arguments the probe ends at once with its usage's exit code.
        InstallerRun usage(Prefix(), SharedVirtualScreen().Display(),
                           WineBuildPath("tests/window_probe.exe"), "harness_smoke/usage");
        const testing::AssertionResult ended = usage.ToExit(seconds(60));
        EXPECT_FALSE(ended);
        EXPECT_NE(std::string(ended.message()).find("ended with exit code 2"), std::string::npos)
            << ended.message();
        EXPECT_NE(std::string(ended.message()).find("wine-logs/harness_smoke/usage.txt"),
                  std::string::npos)
            << ended.message();
    }
    EXPECT_TRUE(fs::exists(ArtifactPath("wine-logs/harness_smoke/usage.txt")));
    // A run that never ends is VirtualScreen's notepad.
}

TEST(WinePrefix, RunsAProgramAndReturnsItsOutputAndExitCode) {
    const CommandResult result = Prefix().Run("cmd", {"/c", "echo harness-ok& exit 7"});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 7);
    EXPECT_NE(result.output.find("harness-ok"), std::string::npos) << result.output;
}

TEST(WinePrefix, UsesCodePage936AndTheFontReplacements) {
    const CommandResult codePage = Prefix().Run(
        "reg", {"query", "HKLM\\System\\CurrentControlSet\\Control\\Nls\\CodePage", "/v", "ACP"});
    EXPECT_NE(codePage.output.find("936"), std::string::npos) << codePage.output;
    const CommandResult fonts =
        Prefix().Run("reg", {"query", "HKCU\\Software\\Wine\\Fonts\\Replacements"});
    EXPECT_EQ(fonts.exitCode, 0);
    // 楷体 in code page 936.
    EXPECT_NE(fonts.output.find("\xBF\xAC\xCC\xE5"), std::string::npos) << fonts.output;
    EXPECT_NE(fonts.output.find("AR PL UKai CN"), std::string::npos);
    EXPECT_NE(fonts.output.find("Microsoft Sans Serif"), std::string::npos);
    EXPECT_NE(fonts.output.find("WenQuanYi Zen Hei"), std::string::npos);
}

// An endless loop: a step of 0 never reaches the end.
const std::vector<std::string> ENDLESS_LOOP = {"/c", "for /l %i in (0,0,1) do rem"};

TEST(WinePrefix, KillsAProgramThatOutlivesItsTimeOut) {
    EXPECT_FALSE(Prefix().Run("cmd", ENDLESS_LOOP, milliseconds(1500)).finished);
}

// A program started by its path runs in the Wine process started for it (one started by name, such
// as "cmd", runs in another, behind start.exe), so that process's CPU time is the program's: an
// endless loop gains about as much as the time it runs (less on shared cores), a sleeping program
// nothing; killed, the program is gone and has none.
TEST(WinePrefix, CountsTheCpuTimeOfTheProgramsOwnProcessUntilItIsKilled) {
    std::unique_ptr<WineProgram> busy =
        Prefix().Start(Prefix().SystemDir() + "/cmd.exe", ENDLESS_LOOP);
    const pid_t pid = busy->Pid();
    ChildProcess idle({"sleep", "30"}, CurrentEnvironment(), "");
    EXPECT_FALSE(busy->Wait(milliseconds(500)));
    std::this_thread::sleep_for(milliseconds(1500));  // past Wine's start-up
    const double busyBefore = busy->CpuSeconds();
    const double idleBefore = idle.CpuSeconds();
    std::this_thread::sleep_for(seconds(2));
    EXPECT_GT(busy->CpuSeconds() - busyBefore, 0.25);
    EXPECT_GE(idleBefore, 0.0);
    EXPECT_LT(idle.CpuSeconds() - idleBefore, 0.05);
    busy->Kill();
    EXPECT_FALSE(busy->Running());
    EXPECT_NE(kill(pid, 0), 0) << "the killed program still exists";
    EXPECT_EQ(busy->CpuSeconds(), -1);
}

TEST(WinePrefix, ResetRemovesTheInstallationAndTheDesktopItems) {
    WinePrefix& prefix = Prefix();
    const fs::path installed = prefix.HostPath(prefix.InstallDir() + "\\bin\\main.exe");
    const fs::path link = prefix.HostPath(prefix.DesktopDir() + "\\Tessaly.lnk");
    WriteTestFile(installed, "x");
    WriteTestFile(link, "x");
    prefix.ResetInstallation();
    EXPECT_FALSE(fs::exists(prefix.HostPath(prefix.InstallDir())));
    EXPECT_FALSE(fs::exists(link));
    EXPECT_TRUE(fs::is_directory(prefix.HostPath(prefix.DesktopDir())));
}

TEST(LoopbackServer, RecordsTheRequestOfAWindowsProgram) {
    LoopbackServer server;
    server.ServeBody("/AppData/smoke.txt", 200, "smoke");
    const CommandResult result =
        Prefix().Run(WineBuildPath("tests/fetch_probe.exe"), {"/smoke.txt"}, seconds(60));
    ASSERT_TRUE(result.finished);
    EXPECT_NE(result.output.find("result=1 bytes=5 "), std::string::npos) << result.output;
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/AppData/smoke.txt");
    EXPECT_TRUE(requests[0].done);
    EXPECT_GE(requests[0].finished, requests[0].received);
}

// What a plain client gets from the server: every byte until the server closes, and when the
// last one came.
struct RawAnswer {
    std::string bytes;
    Clock::duration took{};
};

RawAnswer RawGet(const std::string& path, milliseconds receiveTimeout = milliseconds(0)) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const timeval timeout{static_cast<time_t>(receiveTimeout.count() / 1000),
                          static_cast<suseconds_t>(receiveTimeout.count() % 1000 * 1000)};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(TESSALY_TEST_PORT));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    RawAnswer answer;
    const auto started = Clock::now();
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request =
            "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        EXPECT_EQ(send(fd, request.data(), request.size(), 0),
                  static_cast<ssize_t>(request.size()));
        char chunk[65536];
        for (ssize_t count; (count = recv(fd, chunk, sizeof chunk, 0)) > 0;) {
            answer.bytes.append(chunk, static_cast<std::size_t>(count));
        }
    }
    answer.took = Clock::now() - started;
    close(fd);
    return answer;
}

std::string BodyOf(const std::string& answer) {
    const auto end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

TEST(LoopbackServer, ServesTheCannedAnswers) {
    LoopbackServer server;
    server.ServeBody("/body", 404, "<html>gone</html>", "text/html");
    server.ServeTruncated("/cut", 100000, 1000);
    server.ServeStalling("/stall", std::string(3000, 'b'), 1000, milliseconds(1200));
    server.ServeSlowly("/slow", "abcd", 1, milliseconds(300));
    server.ServeRedirect("/moved", 302, "/body");

    const RawAnswer page = RawGet("/body");
    EXPECT_EQ(page.bytes.rfind("HTTP/1.1 404", 0), 0u) << page.bytes;
    EXPECT_EQ(BodyOf(page.bytes), "<html>gone</html>");

    const RawAnswer cut = RawGet("/cut");
    EXPECT_NE(cut.bytes.find("Content-Length: 100000\r\n"), std::string::npos) << cut.bytes;
    EXPECT_EQ(BodyOf(cut.bytes).size(), 1000u) << "the server must close after 1,000 bytes";

    const RawAnswer stall = RawGet("/stall");
    EXPECT_EQ(BodyOf(stall.bytes), std::string(3000, 'b'));
    EXPECT_GE(stall.took, milliseconds(1100));

    const RawAnswer slow = RawGet("/slow");
    EXPECT_EQ(BodyOf(slow.bytes), "abcd");
    EXPECT_GE(slow.took, milliseconds(850));

    const RawAnswer moved = RawGet("/moved");
    EXPECT_EQ(moved.bytes.rfind("HTTP/1.1 302", 0), 0u);
    EXPECT_NE(moved.bytes.find("Location: /body\r\n"), std::string::npos);

    EXPECT_EQ(RawGet("/elsewhere").bytes.rfind("HTTP/1.1 404", 0), 0u);
    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(server.RequestsFor("/stall").size(), 1u);
    for (const RecordedRequest& request : requests) {
        SCOPED_TRACE(request.path);
        EXPECT_EQ(request.method, "GET");
        EXPECT_TRUE(request.done);
    }
}

TEST(LoopbackServer, StopsRightAfterItStarted) {
    for (int i = 0; i < 50; ++i) {
        LoopbackServer server;
    }
    LoopbackServer server;
    EXPECT_EQ(RawGet("/nothing").bytes.rfind("HTTP/1.1 404", 0), 0u);
}

TEST(LoopbackServer, RefusesAPortThatIsTaken) {
    {
        LoopbackServer first;
        EXPECT_THROW(LoopbackServer second, std::runtime_error);
        EXPECT_THROW(SilentPort silent, std::runtime_error);
    }
    SilentPort silent;
    EXPECT_THROW(LoopbackServer server, std::runtime_error);
}

TEST(LoopbackServer, StopsAtOnceWhileAnswersAreStillPending) {
    auto server = std::make_unique<LoopbackServer>();
    server->ServeNoAnswer("/silent");
    server->ServeSlowly("/slow", std::string(100, 's'), 1, seconds(1));
    std::thread silent([] { RawGet("/silent"); });
    std::thread slow([] { RawGet("/slow"); });
    ASSERT_TRUE(server->WaitForRequests(2, seconds(5)));
    std::this_thread::sleep_for(milliseconds(300));
    for (const RecordedRequest& request : server->Requests()) {
        EXPECT_FALSE(request.done) << request.path << " was answered";
    }
    const auto stopping = Clock::now();
    server.reset();
    EXPECT_LT(Clock::now() - stopping, seconds(3));
    silent.join();
    slow.join();
}

TEST(SilentPort, AcceptsAndSaysNothing) {
    SilentPort port;
    const RawAnswer answer = RawGet("/x", milliseconds(1000));
    EXPECT_EQ(answer.bytes, "");
    EXPECT_GE(answer.took, milliseconds(900));
    EXPECT_EQ(port.AcceptedCount(), 1);
}

TEST(Image, ReadsPixelsCountsColoursAndComparesAreas) {
    // Blue on the left half, red on the right, one green pixel in the blue half.
    const std::string drawn = ArtifactPath("harness_smoke_colours.png");
    const CommandResult made =
        RunCommand({"/usr/bin/convert", "-size", "20x10", "xc:#0000ff", "-fill", "#ff0000", "-draw",
                    "rectangle 10,0 19,9", "-fill", "#00ff00", "-draw", "point 3,4", drawn});
    ASSERT_EQ(made.exitCode, 0);
    const Image image = Image::Load(drawn);
    ASSERT_EQ(image.Width(), 20);
    ASSERT_EQ(image.Height(), 10);
    const Rect left = {0, 0, 10, 10};
    const Rect right = {10, 0, 10, 10};
    EXPECT_EQ(image.Count(left, IsBlue), 99);
    EXPECT_EQ(image.Count(right, IsRed), 100);
    EXPECT_EQ(image.Count({-5, -5, 100, 100}, IsRed), 100) << "areas are clipped to the picture";
    EXPECT_EQ(image.At(3, 4).g, 255);
    EXPECT_EQ(CountDifferences(image, left, image, right), 100);
    EXPECT_EQ(CountDifferences(image, {0, 0, 3, 10}, image, {5, 0, 3, 10}), 0);
    EXPECT_EQ(CountDifferences(image, left, image, {0, 0, 5, 5}), -1);

    const Image cropped = image.Crop({2, 3, 4, 2});
    EXPECT_EQ(cropped.Width(), 4);
    EXPECT_EQ(cropped.Height(), 2);
    EXPECT_EQ(cropped.At(1, 1).g, 255);
    const std::string saved = ArtifactPath("harness_smoke_crop.png");
    cropped.Save(saved);
    EXPECT_EQ(CountDifferences(Image::Load(saved), {0, 0, 4, 2}, cropped, {0, 0, 4, 2}), 0);

    EXPECT_THROW(ParsePpm("P6\n2 2\n255\nabc"), std::runtime_error);
    EXPECT_THROW(ParsePpm("P3\n1 1\n255\n0 0 0"), std::runtime_error);
}

// Notepad's window on the virtual screen, and a run that never ends by itself: the harness says so
// and kills it.
TEST(VirtualScreen, ShowsAWindowThatAScreenshotSees) {
    WinePrefix& prefix = Prefix();
    InstallerRun notepad(prefix, prefix.Display(), "notepad", "harness_smoke/open");
    std::optional<WindowInfo> window;
    for (int attempt = 0; attempt < 150 && !window; ++attempt) {
        std::this_thread::sleep_for(milliseconds(200));
        window = FindWindow(prefix.Display(), "Notepad|记事本");
    }
    ASSERT_TRUE(window.has_value()) << "no notepad window on " << prefix.Display();
    EXPECT_GT(window->geometry.width, 100);
    EXPECT_GT(window->geometry.height, 100);
    std::this_thread::sleep_for(milliseconds(500));
    const std::string shot = ArtifactPath("harness_smoke_notepad.png");
    const Image screen = TakeScreenshot(prefix.Display(), shot);
    EXPECT_EQ(screen.Width(), VirtualScreen::WIDTH);
    EXPECT_EQ(screen.Height(), VirtualScreen::HEIGHT);
    const auto white = [](Rgb p) { return p.r > 240 && p.g > 240 && p.b > 240; };
    // The edit area is white on the black root window.
    const Rect& area = window->geometry;
    EXPECT_GT(screen.Count(area, white), area.width * area.height / 2);
    const Rect outside = {area.x + area.width + 10, area.y + area.height + 10, 50, 50};
    EXPECT_EQ(screen.Count(outside, [](Rgb p) { return p.r + p.g + p.b == 0; }), 50 * 50);

    // Its window is up, so a second shows that it does not end by itself.
    const testing::AssertionResult ended = notepad.ToExit(seconds(1));
    EXPECT_NE(std::string(ended.message()).find("never ended within 1000 ms"), std::string::npos)
        << ended.message();
    EXPECT_FALSE(notepad.Program().Running()) << "a run that never ended is killed";
    prefix.KillAll();
}

TEST(ShellLink, ReadsBackWhatThePlatformWrote) {
    WinePrefix& prefix = Prefix();
    prefix.ResetInstallation();
    const std::string target = prefix.InstallDir() + "\\数据\\主程序.exe";
    const std::string workingDir = prefix.InstallDir() + "\\数据";
    WriteTestFile(prefix.HostPath(target), "MZ");
    const std::string link = prefix.DesktopDir() + "\\泰萨利.lnk";
    const CommandResult made = prefix.Run(WineBuildPath("tests/make_link_probe.exe"),
                                          {link, target, workingDir, "Tessaly 说明"}, seconds(60));
    ASSERT_TRUE(made.finished);
    ASSERT_EQ(made.exitCode, 0);

    const std::optional<ShellLink> read = ReadShellLink(prefix.HostPath(link));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->localBasePath, target);
    EXPECT_EQ(read->workingDir, workingDir);
    EXPECT_EQ(read->name, "Tessaly 说明");

    // Every cut-off copy is refused, without reading past its end.
    const std::string bytes = ReadWholeFile(prefix.HostPath(link));
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_FALSE(ParseShellLink(bytes.substr(0, length))) << "cut at " << length;
    }
    prefix.ResetInstallation();
}

}  // namespace
}  // namespace tessaly::test
