// A throw-away Wine prefix for one test program: created in a temporary folder, run in a chosen
// locale (which sets the ANSI code page Windows programs see), prepared for the installer's fonts,
// with the tests' stand-in for the Visual C++ runtime in its system folder, and removed again with
// every Wine process it ran. Creating one takes several seconds, so a test program shares one
// prefix between its tests (SharedWinePrefix) and resets the installation's traces between them.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/process.h"

namespace tessaly::test {

// A Windows program started without waiting for it.
using WineProgram = ChildProcess;

// The locale of code page 936, a Simplified Chinese Windows: the one every test runs in unless it
// chooses another. Wine takes the ANSI code page from the locale: zh_TW.UTF-8 gives 950,
// en_US.UTF-8 1252, and hi_IN, which has no ANSI code page, 65001 (UTF-8).
inline constexpr char CODE_PAGE_936_LOCALE[] = "zh_CN.UTF-8";

class WinePrefix {
  public:
    // Creates a fresh prefix with `wineboot -i` under the loader the tests were configured
    // with, and maps the fonts the installer asks for. `display` (for example ":90") is the X
    // display for windows; empty: no display. Every Wine process of the prefix runs in `locale`,
    // which must be generated on this machine (scripts/install-deps.sh). Throws
    // std::runtime_error on failure.
    explicit WinePrefix(std::string display = "", std::string locale = CODE_PAGE_936_LOCALE);
    // Stops every Wine process of the prefix (`wineserver -k`) and removes the folder.
    ~WinePrefix();
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    // $WINEPREFIX; its drive C is Root() + "/drive_c".
    const std::string& Root() const { return prefix_; }
    const std::string& Display() const { return display_; }
    std::chrono::milliseconds CreationTime() const { return creationTime_; }

    // Where a program run by the tests' loader finds these folders, e.g. "C:\\Program Files"
    // and "C:\\users\\root\\Desktop"; asked from Wine when the prefix is made.
    const std::string& ProgramFilesDir() const { return programFiles_; }
    const std::string& DesktopDir() const { return desktop_; }
    // The user's profile folder, e.g. "C:\\users\\root".
    const std::string& ProfileDir() const { return profile_; }
    // Makes `windowsPath` (created if missing) the user's desktop folder, through the registry's
    // User Shell Folders and Shell Folders, as a user who moved it would.
    void UseDesktop(const std::string& windowsPath);
    // ProgramFilesDir() + "\\Tessaly"
    std::string InstallDir() const;

    // The Linux path of the system folder of the programs the tests run (GetSystemDirectoryA):
    // system32, or syswow64 for a 32-bit program in a 64-bit prefix.
    std::string SystemDir() const;
    // Puts the tests' stand-in for the Visual C++ 2015 runtime, mfc140.dll, into the system
    // folder, where the runtime's own installer puts it, or (`present` false) takes it away. A new
    // prefix has it.
    void SetVcRuntime(bool present) const;

    // The Linux path of a Windows path on drive C ("C:\\a\\b" or "c:/a/b"; case kept as given).
    std::string HostPath(const std::string& windowsPath) const;

    // The environment of every Wine process of this prefix, plus `extra` NAME=value entries
    // (which override).
    std::vector<std::string> Environment(const std::vector<std::string>& extra = {}) const;

    // Runs `program` (a Linux path to an .exe, or a Windows program name such as "cmd") with
    // `args` and waits up to `timeout`, then kills it.
    CommandResult Run(const std::string& program, const std::vector<std::string>& args,
                      std::chrono::milliseconds timeout = std::chrono::seconds(60),
                      const std::vector<std::string>& extraEnv = {}) const;
    // Starts `program` and returns at once; the handle kills it when dropped. Its stdout and
    // stderr (where Wine's debug channels write) are kept.
    std::unique_ptr<WineProgram> Start(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const std::vector<std::string>& extraEnv = {}) const;

    // Removes Program Files\Tessaly and everything on the desktop, so the next test starts
    // from a machine on which nothing was installed.
    void ResetInstallation() const;
    // `wineserver -k`: ends every process of the prefix (the prefix stays usable).
    void KillAll() const;

  private:
    std::string RunOrThrow(const std::string& program, const std::vector<std::string>& args,
                           std::chrono::milliseconds timeout) const;
    void DetachUserFolders() const;
    void LoadDisplaySettings() const;
    void AskFolders();

    std::string display_;
    std::string locale_;
    std::string root_;    // the temporary folder: prefix, home, outputs
    std::string prefix_;  // root_ + "/prefix"
    std::string programFiles_;
    std::string desktop_;
    std::string profile_;
    std::chrono::milliseconds creationTime_{0};
    mutable unsigned outputCounter_ = 0;
};

// The prefix of `locale` shared by the tests of one test program, made on first use and removed
// when the program ends. `display` counts on the first call for a locale only.
WinePrefix& SharedWinePrefix(const std::string& display = "",
                             const std::string& locale = CODE_PAGE_936_LOCALE);

// The Windows build that the Wine tests run, and one of its programs:
// WineBuildPath("tests/fetch_probe.exe").
std::string WineBuildPath(const std::string& relative);

// Which installer a test runs: that build's, the keyed build of the same sources, which takes
// only indexes signed with the tests' index key (TESSALY_TEST_INDEX_KEY), or the rotated build,
// which holds the keys index-new.pem and index-retired.pem beside it, the second past its last day.
enum class InstallerBuild { Unkeyed, Keyed, Rotated };

// Copies the installer of that build (or of a keyed twin) into `folder` (a Linux path, created if
// missing). Returns the copy's path.
std::string CopyInstaller(const std::string& folder,
                          InstallerBuild build = InstallerBuild::Unkeyed);

}  // namespace tessaly::test
