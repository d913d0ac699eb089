// The installer against a bad network and bad indexes: one table of scenarios, each run with the
// real program under Wine against a scriptable loopback server. Every row checks what the user
// sees (the status line, compared with the installer's own painter rendering the expected text),
// the files on disk, the requests the server saw, and that nothing was written outside the
// install folder and the desktop. Each row is a test of its own, named by its id
// (--gtest_filter='*/IndexCutShort' reruns one); the rows that ran are printed as a table at the
// end. A row runs the installer built without a key, or its keyed twin, which takes only indexes
// signed with the tests' index key and only files whose bytes match their names, or the rotated
// twin, which holds a new key and one past its last day. Rows of a second run install once first.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "pack/index_signing.h"
#include "pack/sha256.h"
#include "support/drive_changes.h"
#include "support/installer_run.h"
#include "support/loopback_server.h"
#include "support/screenshot.h"
#include "support/virtual_screen.h"
#include "support/window_area.h"
#include "support/wine_prefix.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace tessaly::test {
namespace {

constexpr char INDEX_PATH[] = "/AppData/FileList.txt";
constexpr char MAIN_PATH[] = "/AppData/app/main.exe";
constexpr char MOVED_INDEX_PATH[] = "/AppData/releases/FileList.txt";
const std::string INDEX_FAILED = StepFailureText(2);
const std::string DATA_FAILED = StepFailureText(3);
const std::string MAIN_BODY = "MZ the installed program " + std::string(3000, 'x');
const std::string TYPICAL = "1|bin|\r\n0|app/main.exe|bin\\main.exe\r\n2|bin\\main.exe|Tessaly\r\n";

enum class Server { None, Silent, Http };

struct Outcome {
    bool installed = false;   // the run ended by itself with the window closed
    std::string failureText;  // otherwise the red text the window must show
};

// Sets the stage after the installation is reset; what it returns runs until the row is done.
using Stage = std::unique_ptr<WineProgram> (*)(const WinePrefix&);
// Runs before the row's own run, once the server answers, with the installer the row runs: a first
// run, and what changes before the second. The requests it makes are not the row's.
using Before =
    std::function<void(LoopbackServer&, const WinePrefix&, const std::string& installer)>;

struct Scenario {
    std::string id;  // the row's test name: letters and digits
    std::string name;
    std::function<void(LoopbackServer&)> serve;
    Outcome expected;
    std::vector<std::string> requests;             // paths the server must have seen, in order
    std::function<void(const WinePrefix&)> check;  // files on disk
    Server server = Server::Http;
    Stage stage = nullptr;
    InstallerBuild build = InstallerBuild::Unkeyed;
    Before before = nullptr;
};

// A failing row names itself.
void PrintTo(const Scenario& s, std::ostream* out) {
    *out << s.name;
}

// `text` (UTF-8) padded with spaces to `columns` terminal columns; CJK characters take two.
std::string Pad(const std::string& text, int columns) {
    int used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80) {
            used += c >= 0xE0 ? 2 : 1;  // three-byte sequences here are all CJK
        }
    }
    return text + std::string(static_cast<std::size_t>(std::max(0, columns - used)), ' ');
}

// The installer copied into the shared prefix, and what every test of it here looks at.
class InstallerUnderWine : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (installer_.empty()) {
            WinePrefix& prefix = SharedWinePrefix(SharedVirtualScreen().Display());
            installer_ = CopyInstaller(prefix.HostPath("C:\\matrix"));
            keyedInstaller_ =
                CopyInstaller(prefix.HostPath("C:\\matrix-keyed"), InstallerBuild::Keyed);
            rotatedInstaller_ =
                CopyInstaller(prefix.HostPath("C:\\matrix-rotated"), InstallerBuild::Rotated);
        }
    }

    static const std::string& InstallerOf(InstallerBuild build) {
        return build == InstallerBuild::Keyed     ? keyedInstaller_
               : build == InstallerBuild::Rotated ? rotatedInstaller_
                                                  : installer_;
    }

    static WinePrefix& prefix() { return SharedWinePrefix(); }
    static const std::string& display() { return SharedVirtualScreen().Display(); }

    static std::string installer_;
    static std::string keyedInstaller_;
    static std::string rotatedInstaller_;
};

std::string InstallerUnderWine::installer_;
std::string InstallerUnderWine::keyedInstaller_;
std::string InstallerUnderWine::rotatedInstaller_;

// One row of the matrix per test; the table of all rows that ran is printed at the end.
class FaultMatrix : public InstallerUnderWine, public testing::WithParamInterface<Scenario> {
  protected:
    // Runs one scenario; returns the line of the table.
    static std::string Run(const Scenario& s) {
        prefix().ResetInstallation();
        const std::unique_ptr<WineProgram> staged = s.stage ? s.stage(prefix()) : nullptr;
        std::unique_ptr<LoopbackServer> http;
        std::unique_ptr<SilentPort> silent;
        if (s.server == Server::Http) {
            http = std::make_unique<LoopbackServer>();
            s.serve(*http);
            if (s.before) {
                s.before(*http, prefix(), InstallerOf(s.build));
                http->ClearRequests();
            }
        } else if (s.server == Server::Silent) {
            silent = std::make_unique<SilentPort>();
        }
        const DriveTree treeBefore = WalkDriveC(prefix());
        const auto started = std::chrono::steady_clock::now();
        InstallerRun run(prefix(), display(), InstallerOf(s.build), "fault_matrix/" + s.id);

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
            EXPECT_EQ(paths, s.requests) << testing::PrintToString(paths);
        }
        if (silent) {
            EXPECT_GE(silent->AcceptedCount(), 1);
        }
        if (s.check) {
            s.check(prefix());
        }
        const std::vector<std::string> outside = ChangesOutsideInstall(prefix(), treeBefore);
        EXPECT_TRUE(outside.empty()) << "written outside: " << outside.front();

        char numbers[64];
        std::snprintf(numbers, sizeof numbers, " %8zu | %-9s | %5.1f s |", paths.size(),
                      outside.empty() ? "none" : "WRITTEN", seconds);
        return "| " + Pad(s.name, 30) + " | " + Pad(seen, 34) + " |" + numbers;
    }

    static void TearDownTestSuite() {
        std::printf("\nFault matrix (%s; keyed rows: %s; rotated rows: %s):\n",
                    TESSALY_WINE_BUILD_DIR, TESSALY_WINE_KEYED_BUILD_DIR,
                    TESSALY_WINE_ROTATED_BUILD_DIR);
        std::printf(
            "| scenario                       | seen                               | requests | "
            "outside   | time    |\n"
            "|--------------------------------|------------------------------------|----------|"
            "-----------|---------|\n");
        for (const std::string& line : table_) {
            std::printf("%s\n", line.c_str());
        }
    }

    static std::vector<std::string> table_;
};

std::vector<std::string> FaultMatrix::table_;

std::string InstalledPath(const WinePrefix& prefix, const std::string& relative) {
    return prefix.HostPath(prefix.InstallDir() + "\\" + relative);
}

void ExpectTypicalInstall(const WinePrefix& prefix) {
    EXPECT_EQ(ReadWholeFile(InstalledPath(prefix, "bin\\main.exe")), MAIN_BODY);
    EXPECT_TRUE(fs::exists(prefix.HostPath(prefix.DesktopDir() + "\\Tessaly.lnk")));
}

void ExpectNothingInstalled(const WinePrefix& prefix) {
    const fs::path dir = InstalledPath(prefix, "");
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_TRUE(fs::is_empty(dir)) << "files were installed";
}

void ExpectFirstLineLost(const WinePrefix& prefix) {
    EXPECT_FALSE(fs::exists(InstalledPath(prefix, "bin"))) << "the first line was not lost";
}

void ExpectNothingAfterZeroByte(const WinePrefix& prefix) {
    EXPECT_EQ(ReadWholeFile(InstalledPath(prefix, "bin\\main.exe")), MAIN_BODY);
    EXPECT_FALSE(fs::exists(prefix.HostPath(prefix.DesktopDir() + "\\Tessaly.lnk")))
        << "a line after the zero byte was acted on";
}

void ExpectHeldFileUnchanged(const WinePrefix& prefix) {
    EXPECT_EQ(ReadWholeFile(InstalledPath(prefix, "bin\\main.exe")), "old") << "held file changed";
}

void ExpectFolderKept(const WinePrefix& prefix) {
    EXPECT_TRUE(fs::is_directory(InstalledPath(prefix, "bin")));
}

// The file that the typical index installs is there already, held open by another process.
std::unique_ptr<WineProgram> HoldTarget(const WinePrefix& prefix) {
    fs::create_directories(InstalledPath(prefix, "bin"));
    std::ofstream(InstalledPath(prefix, "bin\\main.exe")) << "old";
    std::unique_ptr<WineProgram> holder =
        prefix.Start(WineBuildPath("tests/hold_file_probe.exe"),
                     {prefix.InstallDir() + "\\bin\\main.exe", "120"});
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (holder->Output().find("held") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_NE(holder->Output().find("held"), std::string::npos) << "the file was not held";
    return holder;
}

std::function<void(LoopbackServer&)> IndexWith(const std::string& index, int status = 200) {
    return [index, status](LoopbackServer& server) {
        server.ServeBody(INDEX_PATH, status, index);
        server.ServeBody(MAIN_PATH, 200, MAIN_BODY);
    };
}

void IndexStalling(LoopbackServer& server) {
    server.ServeStalling(INDEX_PATH, TYPICAL, 10, 8000ms);
}

void IndexCutShort(LoopbackServer& server) {
    server.ServeTruncated(INDEX_PATH, 100000, 1000);
}

void IndexMoved(LoopbackServer& server) {
    server.ServeRedirect(INDEX_PATH, 302, MOVED_INDEX_PATH);
    server.ServeBody(MOVED_INDEX_PATH, 200, TYPICAL);
    server.ServeBody(MAIN_PATH, 200, MAIN_BODY);
}

// The typical package as the publisher's tool makes it: the file stored under its SHA-256.
const std::string OBJECT_NAME = "objects/" + pack::Sha256Hex(MAIN_BODY.data(), MAIN_BODY.size());
const std::string OBJECT_PATH = "/AppData/" + OBJECT_NAME;
const std::string ADDRESSED_TYPICAL =
    "1|bin|\r\n0|" + OBJECT_NAME + "|bin\\main.exe\r\n2|bin\\main.exe|Tessaly\r\n";

// One of the tests' private keys: "index.pem" (the keyed build holds it), "index-new.pem" or
// "index-retired.pem" (the rotated build holds both, the second past its last day).
EVP_PKEY* TestKey(const std::string& name) {
    static std::map<std::string, pack::SigningKey> keys;
    pack::SigningKey& key = keys[name];
    if (!key) {
        std::string error;
        key = pack::LoadPrivateKey(fs::path(TESSALY_TEST_INDEX_KEY).parent_path() / name, error);
        if (!key) {
            throw std::runtime_error("cannot read the test key: " + error);
        }
    }
    return key.get();
}

// `index` signed with `keys`, one line each (the tests' index key when none), valid for `days`
// from now (negative: expired that long ago).
std::string Signed(const std::string& index, long days, std::vector<EVP_PKEY*> keys = {}) {
    std::string error;
    if (keys.empty()) {
        keys.push_back(TestKey("index.pem"));
    }
    const std::uint64_t expires = static_cast<std::uint64_t>(std::time(nullptr) + days * 86400);
    const std::string text = pack::SignIndex(index, keys, expires, error);
    if (text.empty()) {
        throw std::runtime_error("cannot sign the test index: " + error);
    }
    return text;
}

// A key pair of P-256 that the keyed installer does not trust.
pack::SigningKey OtherKey() {
    const fs::path file = fs::temp_directory_path() /
                          ("tessaly-matrix-other-key-" + std::to_string(getpid()) + ".pem");
    std::string error;
    pack::SigningKey key;
    if (pack::GenerateKeyPair(file, error)) {
        key = pack::LoadPrivateKey(file, error);
    }
    fs::remove(file);
    fs::remove(file.string() + ".pub");
    if (!key) {
        throw std::runtime_error("cannot make a second key: " + error);
    }
    return key;
}

// Serves `index` and, under its content address, `object` as the typical package's one file.
std::function<void(LoopbackServer&)> Package(const std::string& index,
                                             const std::string& object = MAIN_BODY) {
    return [index, object](LoopbackServer& server) {
        server.ServeBody(INDEX_PATH, 200, index);
        server.ServeBody(OBJECT_PATH, 200, object);
        server.ServeBody(MAIN_PATH, 200, MAIN_BODY);
    };
}

// The folder entry ran, but nothing of the refused body was written.
void ExpectBodyNotWritten(const WinePrefix& prefix) {
    EXPECT_FALSE(fs::exists(InstalledPath(prefix, "bin\\main.exe"))) << "the body was written";
    EXPECT_FALSE(fs::exists(prefix.HostPath(prefix.DesktopDir() + "\\Tessaly.lnk")));
}

// A package of two files, main.exe and data.dat, in a first and a second release that changed
// data.dat only.
const std::string DATA_BODY = "data of the first release " + std::string(5000, 'd');
const std::string NEW_DATA_BODY = "data of the second release " + std::string(7000, 'e');
const std::string DATA_NAME = "objects/" + pack::Sha256Hex(DATA_BODY.data(), DATA_BODY.size());
const std::string NEW_DATA_NAME =
    "objects/" + pack::Sha256Hex(NEW_DATA_BODY.data(), NEW_DATA_BODY.size());

std::string TwoFiles(const std::string& dataName) {
    return "1|bin|\r\n0|" + OBJECT_NAME + "|bin\\main.exe\r\n0|" + dataName +
           "|bin\\data.dat\r\n2|bin\\main.exe|Tessaly\r\n";
}

void ServeTwoFiles(LoopbackServer& server, const std::string& index) {
    server.ServeBody(INDEX_PATH, 200, index);
    server.ServeBody(OBJECT_PATH, 200, MAIN_BODY);
    server.ServeBody("/AppData/" + DATA_NAME, 200, DATA_BODY);
    server.ServeBody("/AppData/" + NEW_DATA_NAME, 200, NEW_DATA_BODY);
}

// A time long past, given to the installed files after the first run: a file that still has it
// after the second was not written again.
const fs::file_time_type FIRST_RUN_TIME = fs::file_time_type::clock::now() - 24h * 3650;

// The first run installs the package; `then` changes the server or the disk before the second.
Before InstalledOnce(std::function<void(LoopbackServer&, const WinePrefix&)> then = nullptr) {
    return [then](LoopbackServer& server, const WinePrefix& prefix, const std::string& installer) {
        const std::unique_ptr<WineProgram> first = prefix.Start(installer, {});
        ASSERT_TRUE(first->Wait(120s)) << "the first run did not end";
        ASSERT_FALSE(server.Requests().empty()) << "the first run made no request";
        for (const char* file : {"bin\\main.exe", "bin\\data.dat"}) {
            fs::last_write_time(InstalledPath(prefix, file), FIRST_RUN_TIME);
        }
        if (then) {
            then(server, prefix);
        }
    };
}

// `file` holds `body`, and was (`rewritten`) or was not written by the second run.
void ExpectInstalled(const WinePrefix& prefix, const char* file, const std::string& body,
                     bool rewritten) {
    EXPECT_EQ(ReadWholeFile(InstalledPath(prefix, file)), body) << file;
    EXPECT_EQ(fs::last_write_time(InstalledPath(prefix, file)) != FIRST_RUN_TIME, rewritten)
        << file << (rewritten ? " was not written again" : " was written again");
}

std::vector<Scenario> Scenarios() {
    const Outcome installed{true, ""};
    const Outcome indexFailed{false, INDEX_FAILED};
    const Outcome dataFailed{false, DATA_FAILED};
    const std::vector<std::string> index{INDEX_PATH};
    const std::vector<std::string> indexMain{INDEX_PATH, MAIN_PATH};
    std::string hugeIndex = TYPICAL;
    for (int i = 0; i < 99997; ++i) {
        hugeIndex += "5|ignored " + std::to_string(i) + "|kept and never acted on\r\n";
    }
    const std::string zeroByte = std::string("1|bin|\r\n0|app/main.exe|bin\\main.exe\r\n") + '\0' +
                                 "2|bin\\main.exe|Tessaly\r\n";
    const std::string longColumns = "0|" + std::string(300, 'p') +
                                    "|bin\\long.exe\r\n0|app/main.exe|" + std::string(130, 'l') +
                                    "\r\n" + TYPICAL;
    const InstallerBuild keyed = InstallerBuild::Keyed;
    const std::vector<std::string> indexObject{INDEX_PATH, OBJECT_PATH};
    const std::string signedTypical = Signed(ADDRESSED_TYPICAL, 1);
    std::string changedAfterSigning = signedTypical;
    changedAfterSigning.replace(changedAfterSigning.find("|Tessaly"), 8, "|Tessalz");
    // 16 MB of lines that give no entry: the list reserves nothing for them, the index loads empty
    // and the download step fails on it, with the window open.
    std::string junkIndex;
    junkIndex.reserve(16 << 20);
    for (int i = 0; i < (8 << 20); ++i) {
        junkIndex += "x\n";
    }
    const InstallerBuild rotated = InstallerBuild::Rotated;
    const std::string dataPath = "/AppData/" + DATA_NAME;
    const std::string newDataPath = "/AppData/" + NEW_DATA_NAME;
    const std::string firstRelease = Signed(TwoFiles(DATA_NAME), 1);
    const std::string secondRelease = Signed(TwoFiles(NEW_DATA_NAME), 1);
    auto twoFiles = [](const std::string& index) {
        return [index](LoopbackServer& server) { ServeTwoFiles(server, index); };
    };
    auto keptAsInstalled = [](const WinePrefix& prefix) {
        ExpectInstalled(prefix, "bin\\main.exe", MAIN_BODY, false);
        ExpectInstalled(prefix, "bin\\data.dat", DATA_BODY, false);
        EXPECT_TRUE(fs::exists(prefix.HostPath(prefix.DesktopDir() + "\\Tessaly.lnk")));
    };
    auto allWrittenAgain = [](const WinePrefix& prefix) {
        ExpectInstalled(prefix, "bin\\main.exe", MAIN_BODY, true);
        ExpectInstalled(prefix, "bin\\data.dat", DATA_BODY, true);
    };
    auto dataReplaced = [](const std::string& body) {
        return [body](const WinePrefix& prefix) {
            ExpectInstalled(prefix, "bin\\main.exe", MAIN_BODY, false);
            ExpectInstalled(prefix, "bin\\data.dat", body, true);
        };
    };
    const Before secondReleasePublished =
        InstalledOnce([secondRelease](LoopbackServer& server, const WinePrefix&) {
            server.ServeBody(INDEX_PATH, 200, secondRelease);
        });
    const Before dataChangedOnDisk = InstalledOnce([](LoopbackServer&, const WinePrefix& prefix) {
        WriteWholeFile(InstalledPath(prefix, "bin\\data.dat"), "changed");
    });
    const std::string oldAndNew =
        Signed(ADDRESSED_TYPICAL, 1, {TestKey("index.pem"), TestKey("index-new.pem")});
    // One row a line: id (the test's name), name, answers, outcome, requests, files on disk, and
    // where needed the kind of server and the stage.
    // clang-format off
    return {
        {"NothingListening", "nothing listening", nullptr, indexFailed, {}, ExpectNothingInstalled, Server::None},
        {"NeverAnswers", "accepts, never answers", nullptr, indexFailed, {}, ExpectNothingInstalled, Server::Silent},
        {"IndexStalls", "index stalls past 4 s", IndexStalling, indexFailed, index, ExpectNothingInstalled},
        {"IndexCutShort", "index cut short", IndexCutShort, indexFailed, index, ExpectNothingInstalled},
        {"Index404", "index 404 with body", IndexWith("<html>not found</html>", 404), indexFailed, index, ExpectNothingInstalled},
        {"Index500", "index 500 with body", IndexWith(TYPICAL, 500), indexFailed, index, ExpectNothingInstalled},
        {"Index503", "index 503 with body", IndexWith(TYPICAL, 503), indexFailed, index, ExpectNothingInstalled},
        {"IndexEmpty", "index 200, empty body", IndexWith(""), indexFailed, index, ExpectNothingInstalled},
        {"IndexMoved", "index 302 to another path", IndexMoved, installed, {INDEX_PATH, MOVED_INDEX_PATH, MAIN_PATH}, ExpectTypicalInstall},
        {"IndexHuge", "index of 100,000 lines", IndexWith(hugeIndex), installed, indexMain, ExpectTypicalInstall},
        {"IndexBom", "index with byte-order mark", IndexWith("\xEF\xBB\xBF" + TYPICAL), dataFailed, indexMain, ExpectFirstLineLost},
        {"IndexCrLf", "index with CR LF", IndexWith(TYPICAL), installed, indexMain, ExpectTypicalInstall},
        {"IndexLf", "index with LF", IndexWith("1|bin|\n0|app/main.exe|bin\\main.exe\n2|bin\\main.exe|Tessaly\n"), installed, indexMain, ExpectTypicalInstall},
        {"IndexCr", "index with CR", IndexWith("1|bin|\r0|app/main.exe|bin\\main.exe\r2|bin\\main.exe|Tessaly\r"), installed, indexMain, ExpectTypicalInstall},
        {"IndexZeroByte", "index with a zero byte", IndexWith(zeroByte), installed, indexMain, ExpectNothingAfterZeroByte},
        {"IndexLongColumns", "index with over-long columns", IndexWith(longColumns), installed, indexMain, ExpectTypicalInstall},
        {"IndexUnsafePaths", "index with unsafe paths", IndexWith("0|app/main.exe|..\\evil.txt\r\n" + TYPICAL), dataFailed, index, ExpectNothingInstalled},
        {"TargetHeldOpen", "target held open by another", IndexWith(TYPICAL), dataFailed, indexMain, ExpectHeldFileUnchanged, Server::Http, HoldTarget},
        {"TargetIsFolder", "target is a directory", IndexWith("1|bin|\r\n0|app/main.exe|bin\r\n"), dataFailed, indexMain, ExpectFolderKept},
        {"DownloadEmptyLocal", "download with empty local", IndexWith("0|app/main.exe|\r\n"), dataFailed, indexMain, ExpectNothingInstalled},
        {"UnkeyedSigned", "unkeyed: signed package", Package(signedTypical), installed, indexObject, ExpectTypicalInstall},
        {"UnkeyedUnsigned", "unkeyed: same package unsigned", Package(ADDRESSED_TYPICAL), installed, indexObject, ExpectTypicalInstall},
        {"KeyedSigned", "keyed: signed package", Package(signedTypical), installed, indexObject, ExpectTypicalInstall, Server::Http, nullptr, keyed},
        {"KeyedUnsigned", "keyed: no signature line", Package(ADDRESSED_TYPICAL), indexFailed, index, ExpectNothingInstalled, Server::Http, nullptr, keyed},
        {"KeyedOtherKey", "keyed: signed with another key", Package(Signed(ADDRESSED_TYPICAL, 1, {OtherKey().get()})), indexFailed, index, ExpectNothingInstalled, Server::Http, nullptr, keyed},
        {"KeyedExpired", "keyed: signature expired", Package(Signed(ADDRESSED_TYPICAL, -1)), indexFailed, index, ExpectNothingInstalled, Server::Http, nullptr, keyed},
        {"KeyedIndexChanged", "keyed: changed after signing", Package(changedAfterSigning), indexFailed, index, ExpectNothingInstalled, Server::Http, nullptr, keyed},
        {"KeyedObjectChanged", "keyed: object body changed", Package(signedTypical, MAIN_BODY + "!"), dataFailed, indexObject, ExpectBodyNotWritten, Server::Http, nullptr, keyed},
        {"KeyedNotAddressed", "keyed: download not addressed", Package(Signed(TYPICAL, 1)), dataFailed, index, ExpectBodyNotWritten, Server::Http, nullptr, keyed},
        {"IndexJunk16MB", "index of 8M junk lines, 16 MB", IndexWith(junkIndex), dataFailed, index, ExpectNothingInstalled},
        {"UnkeyedRunAgain", "unkeyed: again, fetches all", twoFiles(TwoFiles(DATA_NAME)), installed, {INDEX_PATH, OBJECT_PATH, dataPath}, allWrittenAgain, Server::Http, nullptr, InstallerBuild::Unkeyed, InstalledOnce()},
        {"KeyedRunAgain", "keyed: again, same package", twoFiles(firstRelease), installed, index, keptAsInstalled, Server::Http, nullptr, keyed, InstalledOnce()},
        {"KeyedRunAfterRelease", "keyed: again, one object new", twoFiles(firstRelease), installed, {INDEX_PATH, newDataPath}, dataReplaced(NEW_DATA_BODY), Server::Http, nullptr, keyed, secondReleasePublished},
        {"KeyedTargetChanged", "keyed: installed file changed", twoFiles(firstRelease), installed, {INDEX_PATH, dataPath}, dataReplaced(DATA_BODY), Server::Http, nullptr, keyed, dataChangedOnDisk},
        {"KeyedOldAndNewKey", "keyed (old key): old+new lines", Package(oldAndNew), installed, indexObject, ExpectTypicalInstall, Server::Http, nullptr, keyed},
        {"RotatedOldAndNewKey", "rotated (new key): old + new", Package(oldAndNew), installed, indexObject, ExpectTypicalInstall, Server::Http, nullptr, rotated},
        {"RotatedKeyPastLastDay", "rotated: key past its last day", Package(Signed(ADDRESSED_TYPICAL, 1, {TestKey("index-retired.pem")})), indexFailed, index, ExpectNothingInstalled, Server::Http, nullptr, rotated},
    };
    // clang-format on
}

TEST_P(FaultMatrix, EndsAsDesigned) {
    table_.push_back(Run(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultMatrix, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<Scenario>& row) { return row.param.id; });

// The user closes the window while a large file is coming in: the process ends at once, with
// exit code 0, whatever the worker was doing.
TEST_F(InstallerUnderWine, ClosingDuringALargeDownloadEndsTheProcess) {
    prefix().ResetInstallation();
    LoopbackServer server;
    server.ServeBody(INDEX_PATH, 200, "0|app/big.bin|big.bin\r\n");
    server.ServeSlowly("/AppData/app/big.bin", std::string(64 << 20, 'b'), 64 << 10, 100ms);
    InstallerRun run(prefix(), display(), installer_, "fault_matrix/ClosingDuringALargeDownload");
    WineProgram& program = run.Program();
    ASSERT_TRUE(server.WaitForRequests(2, 60s)) << "the large download never started";
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(program.Running());

    const CommandResult closed =
        prefix().Run(WineBuildPath("tests/window_probe.exe"), {"close", INSTALLER_CLASS}, 30s);
    ASSERT_EQ(closed.exitCode, 0);
    const auto posted = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.Wait(10s)) << "the process did not end";
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - posted).count();
    EXPECT_EQ(program.ExitCode(), 0);
    EXPECT_LT(seconds, 2.0) << "the process took too long to end after the close";
    std::printf("Closed mid-download: the process ended %.2f s after the close\n", seconds);
}

}  // namespace
}  // namespace tessaly::test
