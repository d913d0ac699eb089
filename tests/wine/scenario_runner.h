// The one runner of installer scenarios under Wine: a row names what the server answers, the
// machine (locale, desktop folder), what is staged before, and what the run must end in; the
// runner runs the real installer once and checks the status line, the requests, the failure lines,
// the files and that nothing was written outside the install folder and the desktop.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/window_texts.h"
#include "support/drive_changes.h"
#include "support/files.h"
#include "support/installer_run.h"
#include "support/loopback_server.h"
#include "support/screenshot.h"
#include "support/shell_link.h"
#include "support/text_encoding.h"
#include "support/virtual_screen.h"
#include "support/wine_prefix.h"

namespace tessaly::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr char INDEX_PATH[] = "/AppData/FileList.txt";

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

// `utf8` in code page 936, as tessaly-pack writes an index.
inline std::string Cp936(const std::string& utf8) {
    const std::optional<std::string> cp936 = ConvertText(utf8, "UTF-8", "CP936");
    if (!cp936) {
        throw std::runtime_error("not code page 936 text: " + utf8);
    }
    return *cp936;
}

// A failure line as Wine's debugstr channel quotes it: backslashes doubled, bytes outside printable
// ASCII as \xNN.
inline std::string WineQuoted(const std::string& text) {
    std::string quoted;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            quoted += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[sizeof "\\xff"];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted;
}

// The lines the installer wrote to the debugger output that begin with "Tessaly: ", as Wine quotes
// them in `wineErrors` (without the line break; backslashes doubled).
inline std::vector<std::string> FailureReports(const std::string& wineErrors) {
    std::vector<std::string> reports;
    std::istringstream lines(wineErrors);
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

// The Linux path of something under Program Files\Tessaly, or on the desktop.
inline std::string InstalledPath(const WinePrefix& prefix, const std::string& relative) {
    return prefix.HostPath(prefix.InstallDir() + "\\" + relative);
}
inline std::string OnDesktop(const WinePrefix& prefix, const std::string& name) {
    return prefix.HostPath(prefix.DesktopDir() + "\\" + name);
}

// The names in `folder` (a Linux path), sorted; none when it is missing.
inline std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(folder, missing)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<std::string> DesktopNames(const WinePrefix& prefix) {
    return Listing(prefix.HostPath(prefix.DesktopDir()));
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

// The machines the installer meets, by the ANSI code page Wine gives their locale.
struct Machine {
    const char* name;
    const char* locale;
    // The code page Wine writes a link's ANSI target path in (iconv's name), when that code page
    // can write the Chinese target; the UTF-16 fields of the link are checked everywhere.
    const char* linkTargetCodePage;
};

inline const std::vector<Machine> MACHINES = {
    {"CodePage936", CODE_PAGE_936_LOCALE, "CP936"},
    {"CodePage950", "zh_TW.UTF-8", nullptr},
    {"CodePage1252", "en_US.UTF-8", nullptr},
    {"CodePage65001", "hi_IN", "UTF-8"},
};

inline void PrintTo(const Machine& m, std::ostream* out) {
    *out << m.name;
}

// Prints the matrix's tables and figures, and keeps them in wine-artifacts/fault_matrix/tables.txt
// for the test command to show after a run in which ctest kept standard output to itself.
inline void PrintToMatrixReport(const std::string& text) {
    static std::ofstream kept(ArtifactPath("fault_matrix/tables.txt"));
    std::fputs(text.c_str(), stdout);
    kept << text << std::flush;
}

struct Outcome {
    bool installed = false;   // the run ended by itself with the window closed
    std::string failureText;  // otherwise the red text the window must show
};

// Sets the stage after the installation is reset; what it returns runs until the row is done.
using Stage = std::function<std::unique_ptr<WineProgram>(const WinePrefix&)>;
// Runs before the row's own run, once the server answers, with the installer the row runs: a first
// run, and what changes before the second. The requests it makes are not the row's.
using Before =
    std::function<void(LoopbackServer&, const WinePrefix&, const std::string& installer)>;
// Runs as soon as the installer has started, while it runs: what the user meets before the end.
using During = std::function<void(const WinePrefix&, const LoopbackServer&, InstallerRun&)>;

struct Scenario {
    std::string id;  // the row's test name: letters and digits
    std::string name;
    std::function<void(LoopbackServer&)> serve;
    Outcome expected;
    std::vector<std::string> requests;             // paths the server must have seen, in order
    std::function<void(const WinePrefix&)> check;  // files on disk
    ServerKind server = ServerKind::Http;
    Stage stage = nullptr;
    InstallerBuild build = InstallerBuild::Unkeyed;
    Before before = nullptr;
    // The failure lines the installer must report on the debugger output, when given.
    std::optional<std::vector<std::string>> reports = std::nullopt;
    std::string locale = CODE_PAGE_936_LOCALE;
    std::string desktop = "";  // the desktop folder (a Windows path); empty: the prefix's own
    // Checks the paths the server saw in place of `requests`, when their order is not fixed.
    std::function<void(const std::vector<std::string>&)> seen = nullptr;
    During during = nullptr;                 // rows with a server only
    std::vector<std::string> environment{};  // variables the installer starts with
    // The folder on drive C (a Windows path) the row's installer is copied to and run from, after
    // the stage; empty: the copy beside the prefix.
    std::string installerFolder = "";
};

inline std::string RowId(const testing::TestParamInfo<Scenario>& row) {
    return row.param.id;
}

// A failing row names itself.
inline void PrintTo(const Scenario& s, std::ostream* out) {
    *out << s.name;
}

// `text` (UTF-8) padded with spaces to `columns` terminal columns; CJK characters take two.
inline std::string Pad(const std::string& text, int columns) {
    int used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80) {
            used += c >= 0xE0 ? 2 : 1;  // three-byte sequences here are all CJK
        }
    }
    return text + std::string(static_cast<std::size_t>(std::max(0, columns - used)), ' ');
}

// The installers copied beside the shared prefix (not on drive C, so that the walks of drive C see
// only the run), and the prefix of each locale a test runs in.
class InstallerUnderWine : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (installer_.empty()) {
            const fs::path beside = fs::path(prefix().Root()).parent_path();
            installer_ = CopyInstaller((beside / "installer").string());
            keyedInstaller_ =
                CopyInstaller((beside / "installer-keyed").string(), InstallerBuild::Keyed);
            rotatedInstaller_ =
                CopyInstaller((beside / "installer-rotated").string(), InstallerBuild::Rotated);
        }
    }

    static const std::string& InstallerOf(InstallerBuild build) {
        return build == InstallerBuild::Keyed     ? keyedInstaller_
               : build == InstallerBuild::Rotated ? rotatedInstaller_
                                                  : installer_;
    }

    static WinePrefix& prefix(const std::string& locale = CODE_PAGE_936_LOCALE) {
        return SharedWinePrefix(display(), locale);
    }
    // The prefix of `locale` with nothing installed, its desktop moved to `desktop` (a Windows
    // path), or back to its own when that is empty.
    static WinePrefix& FreshMachine(const std::string& locale, const std::string& desktop = "") {
        static std::map<std::string, std::string> ownDesktops;
        WinePrefix& wine = prefix(locale);
        const std::string& own = ownDesktops.emplace(locale, wine.DesktopDir()).first->second;
        if (wine.DesktopDir() != (desktop.empty() ? own : desktop)) {
            wine.UseDesktop(desktop.empty() ? own : desktop);
        }
        wine.ResetInstallation();
        return wine;
    }
    static const std::string& display() { return SharedVirtualScreen().Display(); }

    static inline std::string installer_;
    static inline std::string keyedInstaller_;
    static inline std::string rotatedInstaller_;
};

// One row per test; the table of the rows that ran is printed after each instantiation.
class FaultMatrix : public InstallerUnderWine, public testing::WithParamInterface<Scenario> {
  protected:
    // Runs one scenario; returns the line of the table.
    static std::string Run(const Scenario& s) {
        WinePrefix& wine = FreshMachine(s.locale, s.desktop);
        const std::unique_ptr<WineProgram> staged = s.stage ? s.stage(wine) : nullptr;
        const PortAnswer answer(s.server);
        LoopbackServer* const http = answer.http.get();
        if (http) {
            s.serve(*http);
            if (s.before) {
                s.before(*http, wine, InstallerOf(s.build));
                http->ClearRequests();
            }
        }
        const std::string installer =
            s.installerFolder.empty() ? InstallerOf(s.build)
                                      : CopyInstaller(wine.HostPath(s.installerFolder), s.build);
        const DriveTree treeBefore = WalkDriveC(wine);
        const auto started = std::chrono::steady_clock::now();
        // With Wine's debugstr channel on, so that the installer's failure lines reach its stderr.
        InstallerRun run(wine, display(), installer, "fault_matrix/" + s.id, ",+debugstr",
                         s.environment);
        if (s.during && http) {
            s.during(wine, *http, run);
        }

        std::string seen;
        if (s.expected.installed) {
            const testing::AssertionResult ended = run.ToExit(120s);
            EXPECT_TRUE(ended) << "the window did not close by itself";
            seen = ended ? "installed, window closed" : "did not end cleanly";
        } else {
            const std::optional<RedWindow> red = run.ToRed(60s);
            EXPECT_TRUE(red.has_value()) << "no red status text appeared: " << run.Report();
            if (red) {
                const testing::AssertionResult shown =
                    run.ShowsFailure(*red, s.expected.failureText, "fault_matrix/" + s.id);
                EXPECT_TRUE(shown);
                EXPECT_EQ(red->area.title, TESSALY_WINDOW_TITLE);
                seen = shown ? "red " + s.expected.failureText : "red, other text or state";
            } else {
                seen = run.Program().Running() ? "no red text" : "ended early";
            }
            EXPECT_TRUE(run.Close());
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

        std::vector<std::string> paths;
        if (http) {
            for (const RecordedRequest& r : http->Requests()) {
                paths.push_back(r.path);
                EXPECT_EQ(r.method, "GET");
                EXPECT_EQ(r.userAgent, "ravavo");
            }
            if (s.seen) {
                s.seen(paths);
            } else {
                EXPECT_EQ(paths, s.requests) << testing::PrintToString(paths);
            }
        }
        if (answer.silent) {
            EXPECT_GE(answer.silent->AcceptedCount(), 1);
        }
        if (s.reports) {
            EXPECT_EQ(FailureReports(run.Program().ErrorOutput()), *s.reports);
        }
        if (s.check) {
            s.check(wine);
        }
        const std::vector<std::string> outside = ChangesOutsideInstall(wine, treeBefore);
        EXPECT_TRUE(outside.empty()) << "written outside: " << outside.front();

        char numbers[64];
        std::snprintf(numbers, sizeof numbers, " %8zu | %-9s | %5.1f s |", paths.size(),
                      outside.empty() ? "none" : "WRITTEN", seconds);
        return "| " + Pad(s.name, 30) + " | " + Pad(seen, 34) + " |" + numbers;
    }

    // Prints the table of the rows of one instantiation ("Rows", "Installs", ...) that ran.
    static void TearDownTestSuite() {
        const testing::TestSuite* suite = testing::UnitTest::GetInstance()->current_test_suite();
        const std::string rows = suite ? suite->name() : "";
        std::string text =
            "\nFault matrix, " + rows.substr(0, rows.find('/')) + " (" + TESSALY_WINE_BUILD_DIR +
            "; keyed rows: " + TESSALY_WINE_KEYED_BUILD_DIR +
            "; rotated rows: " + TESSALY_WINE_ROTATED_BUILD_DIR +
            "):\n"
            "| scenario                       | seen                               | "
            "requests | outside   | time    |\n"
            "|--------------------------------|------------------------------------|"
            "----------|-----------|---------|\n";
        for (const std::string& line : table_) {
            text += line + "\n";
        }
        PrintToMatrixReport(text);
        table_.clear();
    }

    static inline std::vector<std::string> table_;
};

}  // namespace tessaly::test
