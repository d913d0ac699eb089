// The Wine prefix of a test program: made with wineboot under the configured loader, in the locale
// of the code page it tests, with a private HOME (so Wine links no folder of the real user's into
// the prefix, and resetting the desktop can only touch the prefix), and the font replacements the
// installer's texts need.
#include "support/wine_prefix.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tessaly::test {
namespace {

const std::string LOADER = TESSALY_WINE_LOADER;

bool LoaderIs64Bit() {
    return fs::path(LOADER).filename() == "wine64";
}

// The wineserver that belongs to the loader (Debian keeps it beside the loaders).
std::string WineServer() {
    const fs::path beside = fs::path(LOADER).parent_path() / "wineserver";
    return fs::exists(beside) ? beside.string() : std::string("wineserver");
}

std::string UserName() {
    if (const passwd* entry = getpwuid(getuid())) {
        return entry->pw_name;
    }
    const char* user = getenv("USER");
    return user != nullptr ? user : "root";
}

// Wine's Fonts\Replacements for the installer's texts and the X11 driver settings for a screen
// without a window manager; scripts/demo.sh loads the same file.
const std::string PREFIX_SETTINGS =
    std::string(TESSALY_SOURCE_DIR) + "/scripts/wine-prefix-settings.reg";

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    const auto last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// "zh_CN.UTF-8" and "zh_CN.utf8" name the same locale.
std::string LocaleKey(std::string name) {
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

// Without the locale Wine falls back to another code page, and cannot map non-ASCII file names.
void RequireLocale(const std::string& locale) {
    const CommandResult listed = RunCommand({"locale", "-a"}, std::chrono::seconds(30));
    std::istringstream names(listed.output);
    for (std::string name; std::getline(names, name);) {
        if (LocaleKey(Trim(name)) == LocaleKey(locale)) {
            return;
        }
    }
    throw std::runtime_error("WinePrefix: the locale " + locale +
                             " is not generated here (scripts/install-deps.sh generates it)");
}

}  // namespace

WinePrefix::WinePrefix(std::string display, std::string locale)
    : display_(std::move(display)), locale_(std::move(locale)) {
    if (LOADER.empty() || access(LOADER.c_str(), X_OK) != 0) {
        throw std::runtime_error("WinePrefix: the Wine loader '" + LOADER + "' cannot be run");
    }
    RequireLocale(locale_);
    char folder[] = "/tmp/tessaly-wine.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
    }
    root_ = folder;
    prefix_ = root_ + "/prefix";
    try {
        fs::create_directories(root_ + "/home");
        fs::create_directories(root_ + "/out");
        const auto started = std::chrono::steady_clock::now();
        RunOrThrow("wineboot", {"-i"}, std::chrono::seconds(120));
        DetachUserFolders();
        LoadDisplaySettings();
        AskFolders();
        SetVcRuntime(true);
        creationTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
    } catch (...) {
        KillAll();
        fs::remove_all(root_);
        throw;
    }
}

WinePrefix::~WinePrefix() {
    KillAll();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::vector<std::string> WinePrefix::Environment(const std::vector<std::string>& extra) const {
    std::vector<std::string> env = {
        "PATH=/usr/lib/wine:/usr/local/bin:/usr/bin:/bin",
        "HOME=" + root_ + "/home",
        "USER=" + UserName(),
        "WINEPREFIX=" + prefix_,
        "WINEDEBUG=-all",
        "LC_ALL=" + locale_,
        "LANG=" + locale_,
        // No menu entries or desktop files for the links the tests make.
        "WINEDLLOVERRIDES=winemenubuilder.exe=d",
    };
    if (LoaderIs64Bit()) {
        env.push_back("WINELOADER=" + LOADER);
    } else {
        // A 32-bit prefix, so that the 32-bit program sees the same folders as on Windows.
        env.push_back("WINEARCH=win32");
    }
    if (!display_.empty()) {
        env.push_back("DISPLAY=" + display_);
    }
    for (const std::string& entry : extra) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        env.erase(std::remove_if(env.begin(), env.end(),
                                 [&](const std::string& e) { return e.rfind(name, 0) == 0; }),
                  env.end());
        env.push_back(entry);
    }
    return env;
}

std::unique_ptr<WineProgram> WinePrefix::Start(const std::string& program,
                                               const std::vector<std::string>& args,
                                               const std::vector<std::string>& extraEnv) const {
    std::vector<std::string> argv = {LOADER, program};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string output = root_ + "/out/" + std::to_string(++outputCounter_);
    return std::make_unique<WineProgram>(argv, Environment(extraEnv), output + ".txt",
                                         output + ".err.txt");
}

CommandResult WinePrefix::Run(const std::string& program, const std::vector<std::string>& args,
                              std::chrono::milliseconds timeout,
                              const std::vector<std::string>& extraEnv) const {
    std::unique_ptr<WineProgram> running = Start(program, args, extraEnv);
    CommandResult result;
    result.finished = running->Wait(timeout);
    if (!result.finished) {
        running->Kill();
    }
    result.exitCode = running->ExitCode();
    result.output = running->Output();
    result.elapsed = running->Elapsed();
    return result;
}

std::string WinePrefix::RunOrThrow(const std::string& program, const std::vector<std::string>& args,
                                   std::chrono::milliseconds timeout) const {
    const CommandResult result = Run(program, args, timeout);
    if (!result.finished || result.exitCode != 0) {
        throw std::runtime_error("WinePrefix: " + program + " failed (" +
                                 (result.finished ? "exit code " + std::to_string(result.exitCode)
                                                  : std::string("time-out")) +
                                 ") in " + prefix_);
    }
    return result.output;
}

void WinePrefix::DetachUserFolders() const {
    // wineboot links Desktop, Documents and the like to HOME; plain folders keep everything a
    // test writes there inside the prefix, as on Windows.
    for (const auto& user : fs::directory_iterator(prefix_ + "/drive_c/users")) {
        for (const auto& folder : fs::directory_iterator(user.path())) {
            if (folder.is_symlink()) {
                fs::remove(folder.path());
                fs::create_directory(folder.path());
            }
        }
    }
}

void WinePrefix::LoadDisplaySettings() const {
    if (!fs::is_regular_file(PREFIX_SETTINGS)) {
        throw std::runtime_error("WinePrefix: " + PREFIX_SETTINGS + " is missing");
    }
    RunOrThrow("regedit", {"/S", PREFIX_SETTINGS}, std::chrono::seconds(60));
}

void WinePrefix::AskFolders() {
    // cmd runs with the loader's bitness, so it sees the folders the tested program sees.
    const std::string answer = Trim(
        RunOrThrow("cmd", {"/c", "echo %ProgramFiles%;%USERPROFILE%"}, std::chrono::seconds(60)));
    const auto separator = answer.find(';');
    if (separator == std::string::npos || answer.find('%') != std::string::npos) {
        throw std::runtime_error("WinePrefix: cannot read the folders from '" + answer + "'");
    }
    programFiles_ = answer.substr(0, separator);
    profile_ = answer.substr(separator + 1);
    desktop_ = profile_ + "\\Desktop";
}

void WinePrefix::UseDesktop(const std::string& windowsPath) {
    fs::create_directories(HostPath(windowsPath));
    const std::string folders = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    RunOrThrow("reg",
               {"add", folders + "User Shell Folders", "/v", "Desktop", "/t", "REG_EXPAND_SZ", "/d",
                windowsPath, "/f"},
               std::chrono::seconds(60));
    RunOrThrow("reg",
               {"add", folders + "Shell Folders", "/v", "Desktop", "/t", "REG_SZ", "/d",
                windowsPath, "/f"},
               std::chrono::seconds(60));
    desktop_ = windowsPath;
}

std::string WinePrefix::InstallDir() const {
    return programFiles_ + "\\Tessaly";
}

std::string WinePrefix::SystemDir() const {
    const std::string windows = prefix_ + "/drive_c/windows/";
    return !LoaderIs64Bit() && fs::is_directory(windows + "syswow64") ? windows + "syswow64"
                                                                      : windows + "system32";
}

void WinePrefix::SetVcRuntime(bool present) const {
    const fs::path installed = fs::path(SystemDir()) / "mfc140.dll";
    if (present) {
        fs::copy_file(WineBuildPath("tests/mfc140.dll"), installed,
                      fs::copy_options::overwrite_existing);
    } else {
        fs::remove(installed);
    }
}

std::string WinePrefix::HostPath(const std::string& windowsPath) const {
    if (windowsPath.size() < 2 || std::tolower(static_cast<unsigned char>(windowsPath[0])) != 'c' ||
        windowsPath[1] != ':') {
        throw std::invalid_argument("HostPath: not a path on drive C: " + windowsPath);
    }
    std::string rest = windowsPath.substr(2);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return prefix_ + "/drive_c" + rest;
}

void WinePrefix::ResetInstallation() const {
    fs::remove_all(HostPath(InstallDir()));
    const fs::path desktop = HostPath(desktop_);
    if (fs::is_symlink(desktop)) {
        throw std::runtime_error("WinePrefix: the desktop is a link out of the prefix: " +
                                 desktop.string());
    }
    if (fs::exists(desktop)) {
        for (const auto& entry : fs::directory_iterator(desktop)) {
            fs::remove_all(entry.path());
        }
    }
}

void WinePrefix::KillAll() const {
    RunCommand({WineServer(), "-k"}, std::chrono::seconds(30), Environment());
}

WinePrefix& SharedWinePrefix(const std::string& display, const std::string& locale) {
    // Made on first use, removed when the test program ends.
    static std::map<std::string, std::unique_ptr<WinePrefix>> shared;
    std::unique_ptr<WinePrefix>& prefix = shared[LocaleKey(locale)];
    if (!prefix) {
        prefix = std::make_unique<WinePrefix>(display, locale);
        std::printf("[harness] Wine prefix %s (%s) made in %lld ms\n", prefix->Root().c_str(),
                    locale.c_str(), static_cast<long long>(prefix->CreationTime().count()));
    }
    return *prefix;
}

std::string WineBuildPath(const std::string& relative) {
    return std::string(TESSALY_WINE_BUILD_DIR) + "/" + relative;
}

std::string CopyInstaller(const std::string& folder, InstallerBuild build) {
    const fs::path tree = build == InstallerBuild::Keyed     ? TESSALY_WINE_KEYED_BUILD_DIR
                          : build == InstallerBuild::Rotated ? TESSALY_WINE_ROTATED_BUILD_DIR
                                                             : TESSALY_WINE_BUILD_DIR;
    fs::create_directories(folder);
    const fs::path installer = fs::path(folder) / "TessalyInstaller.exe";
    fs::copy_file(tree / "src/TessalyInstaller.exe", installer,
                  fs::copy_options::overwrite_existing);
    return installer.string();
}

}  // namespace tessaly::test
