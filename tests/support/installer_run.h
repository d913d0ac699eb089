// One run of the installer under Wine, as every test and benchmark that runs it needs it: started
// with Wine's error and exception lines kept in a file, run to its exit or to red status text, the
// status line compared with the installer's own painter, the window closed the way its close
// button does it, and a failed run described by how it ended plus Wine's last error lines.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/window_texts.h"
#include "support/drive_changes.h"
#include "support/screenshot.h"
#include "support/window_area.h"
#include "support/wine_prefix.h"

namespace tessaly::test {

inline constexpr char INSTALLER_CLASS[] = TESSALY_WINDOW_CLASS;

// The installer's window once red text shows in its status line.
struct RedWindow {
    WindowArea area;
    Image screen;
};

// A walk of drive C of `prefix`, for ChangesOutsideInstall to compare with.
DriveTree WalkDriveC(const WinePrefix& prefix);
// What changed on drive C of `prefix` since `before` outside the install folder and the desktop,
// and outside the folder of the user's profile where WinINet keeps its cookie and cache index.
std::vector<std::string> ChangesOutsideInstall(const WinePrefix& prefix, const DriveTree& before);

// The failure text of install step `step` (0-based) as the program's step table holds it, in UTF-8:
// 2 is the index download's, 3 the files'.
std::string StepFailureText(std::size_t step);

// The status line's layout rectangle: the top quarter of the client area.
Rect StatusArea(const Rect& client);

// Screenshots of `display` until the status line of `client` holds more than `pixels` pixels that
// pass `test`, while `program` runs, or `timeout` passed. The window paints the picture and then
// the text straight onto the screen, so a single screenshot may fall between the two.
std::optional<Image> WaitForStatus(const std::string& display, WineProgram& program,
                                   const Rect& client, bool (*test)(Rgb), int pixels,
                                   std::chrono::milliseconds timeout);

// The installer `installer`'s own painter showing `text` (UTF-8) in red over the splash picture,
// rendered once per text in `prefix`.
const Image& ReferenceRender(const WinePrefix& prefix, const std::string& installer,
                             const std::string& text);

// How many pixels of the status line on `screen` differ clearly from `reference`.
int StatusDifferences(const Image& screen, const Rect& client, const Image& reference);

// A status line shows a reference when fewer than this many of its pixels differ from it.
int StatusTolerance(const Rect& client);

// Hands every page a program of `prefix` opens in a browser to a script that appends a line
// "SECONDS URL" to a log in `folder` (a Linux path, made when missing), never to a real browser.
// Returns the log's path; the log is made at the first page opened.
std::string RecordBrowserOpens(const WinePrefix& prefix, const std::string& folder);

// Waits up to `timeout` for the installer's notice box and reads it ("owner=... text=..."), leaving
// it open, or presses its OK button when `confirm`; exit code 1 when no box came.
CommandResult NoticeBox(const WinePrefix& prefix, std::chrono::milliseconds timeout,
                        bool confirm = false);

class InstallerRun {
  public:
    // Starts `installer` (a Linux path) in `prefix`, whose windows go to `display`. `channels`
    // adds Wine debug channels (",+debugstr"); Wine's standard error is kept as
    // wine-artifacts/wine-logs/`logName`.txt when the run is over (`logName`-2.txt for its second
    // run in this process, and so on); screenshots are named after it too.
    InstallerRun(const WinePrefix& prefix, const std::string& display, std::string installer,
                 std::string logName, const std::string& channels = "",
                 const std::vector<std::string>& extraEnv = {});
    ~InstallerRun();
    InstallerRun(const InstallerRun&) = delete;
    InstallerRun& operator=(const InstallerRun&) = delete;

    WineProgram& Program() { return *program_; }
    const std::string& Installer() const { return installer_; }

    // Success when the installer ends by itself within `timeout` with exit code 0; otherwise
    // says how it ended, or that it never did (the screen is then kept as `logName` + " never
    // ended.png" and the installer killed), and Wine's last error lines.
    testing::AssertionResult ToExit(std::chrono::milliseconds timeout);
    // Waits until the window shows more than `pixels` red pixels in its status line, then lets it
    // paint once more; nothing when the run ended or `timeout` passed first.
    std::optional<RedWindow> ToRed(std::chrono::milliseconds timeout, int pixels = 50);
    // The window shows `text` (UTF-8) in red alone in its status line, and stays open; `screen` is
    // saved as `screenshot` when given, the reference beside it when they differ.
    testing::AssertionResult ShowsFailure(const RedWindow& red, const std::string& text,
                                          const std::string& screenshot = "");
    // Closes the window the way its close button does it; success when the process then ends with
    // exit code 0.
    testing::AssertionResult Close();

    // Wine's last `count` lines of standard error, and what else says how the run ended.
    std::string Report(std::size_t count = 20);

  private:
    const WinePrefix& prefix_;
    std::string display_;
    std::string installer_;
    std::string name_;
    std::string logPath_;
    std::unique_ptr<WineProgram> program_;
};

}  // namespace tessaly::test
