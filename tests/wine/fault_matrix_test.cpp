// Every run of the real installer under Wine against a loopback server, as rows of one table.
// Rows: a bad network and bad indexes, signed packages and key rotation, what a typical index
// installs, links and opens, entries that would reach outside the install folder, and Chinese names
// on machines of four code pages; beside them, in files of their own, the prerequisite check
// (prerequisite_rows.cpp) and a package built by tessaly-pack (pack_install_rows.cpp). The runner
// (scenario_runner.h) checks what the user sees, the files, the requests and that nothing was
// written outside the install folder and the desktop. Each row is a test named by its id
// (--gtest_filter='*/IndexCutShort' reruns one), and each instantiation prints its rows as a table.
// A row runs the installer built without a key, or its keyed twin, which takes only indexes signed
// with the tests' index key and only files whose bytes match their names, or the rotated twin,
// which holds a new key and one past its last day.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "package/entry_targets.h"
#include "pack/index_signing.h"
#include "pack/sha256.h"
#include "scenario_runner.h"

namespace tessaly::test {
namespace {

constexpr char MAIN_PATH[] = "/AppData/app/main.exe";
constexpr char MOVED_INDEX_PATH[] = "/AppData/releases/FileList.txt";
const std::string INDEX_FAILED = StepFailureText(2);
const std::string DATA_FAILED = StepFailureText(3);
const std::string MAIN_BODY = "MZ the installed program " + std::string(3000, 'x');
const std::string TYPICAL = "1|bin|\r\n0|app/main.exe|bin\\main.exe\r\n2|bin\\main.exe|Tessaly\r\n";

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

using BetweenRuns = std::function<void(LoopbackServer&, const WinePrefix&)>;

// A first run installs what the server answers; `then` changes the server or the disk before the
// row's own run.
Before AfterAFirstRun(BetweenRuns then) {
    return [then](LoopbackServer& server, const WinePrefix& prefix, const std::string& installer) {
        const std::unique_ptr<WineProgram> first = prefix.Start(installer, {});
        ASSERT_TRUE(first->Wait(120s)) << "the first run did not end";
        EXPECT_EQ(first->ExitCode(), 0) << "the first run failed";
        ASSERT_FALSE(server.Requests().empty()) << "the first run made no request";
        then(server, prefix);
    };
}

// The first run installs the two-file package and its files are dated back; `then` changes the
// server or the disk before the second.
Before InstalledOnce(BetweenRuns then = nullptr) {
    return AfterAFirstRun([then](LoopbackServer& server, const WinePrefix& prefix) {
        for (const char* file : {"bin\\main.exe", "bin\\data.dat"}) {
            fs::last_write_time(InstalledPath(prefix, file), FIRST_RUN_TIME);
        }
        if (then) {
            then(server, prefix);
        }
    });
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
        {"NothingListening", "nothing listening", nullptr, indexFailed, {}, ExpectNothingInstalled, ServerKind::None},
        {"NeverAnswers", "accepts, never answers", nullptr, indexFailed, {}, ExpectNothingInstalled, ServerKind::Silent},
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
        {"TargetHeldOpen", "target held open by another", IndexWith(TYPICAL), dataFailed, indexMain, ExpectHeldFileUnchanged, ServerKind::Http, HoldTarget},
        {"TargetIsFolder", "target is a directory", IndexWith("1|bin|\r\n0|app/main.exe|bin\r\n"), dataFailed, indexMain, ExpectFolderKept},
        {"DownloadEmptyLocal", "download with empty local", IndexWith("0|app/main.exe|\r\n"), dataFailed, indexMain, ExpectNothingInstalled},
        {"UnkeyedSigned", "unkeyed: signed package", Package(signedTypical), installed, indexObject, ExpectTypicalInstall},
        {"UnkeyedUnsigned", "unkeyed: same package unsigned", Package(ADDRESSED_TYPICAL), installed, indexObject, ExpectTypicalInstall},
        {"KeyedSigned", "keyed: signed package", Package(signedTypical), installed, indexObject, ExpectTypicalInstall, ServerKind::Http, nullptr, keyed},
        {"KeyedUnsigned", "keyed: no signature line", Package(ADDRESSED_TYPICAL), indexFailed, index, ExpectNothingInstalled, ServerKind::Http, nullptr, keyed},
        {"KeyedOtherKey", "keyed: signed with another key", Package(Signed(ADDRESSED_TYPICAL, 1, {OtherKey().get()})), indexFailed, index, ExpectNothingInstalled, ServerKind::Http, nullptr, keyed},
        {"KeyedExpired", "keyed: signature expired", Package(Signed(ADDRESSED_TYPICAL, -1)), indexFailed, index, ExpectNothingInstalled, ServerKind::Http, nullptr, keyed},
        {"KeyedIndexChanged", "keyed: changed after signing", Package(changedAfterSigning), indexFailed, index, ExpectNothingInstalled, ServerKind::Http, nullptr, keyed},
        {"KeyedObjectChanged", "keyed: object body changed", Package(signedTypical, MAIN_BODY + "!"), dataFailed, indexObject, ExpectBodyNotWritten, ServerKind::Http, nullptr, keyed},
        {"KeyedNotAddressed", "keyed: download not addressed", Package(Signed(TYPICAL, 1)), dataFailed, index, ExpectBodyNotWritten, ServerKind::Http, nullptr, keyed},
        {"IndexJunk16MB", "index of 8M junk lines, 16 MB", IndexWith(junkIndex), dataFailed, index, ExpectNothingInstalled},
        {"UnkeyedRunAgain", "unkeyed: again, fetches all", twoFiles(TwoFiles(DATA_NAME)), installed, {INDEX_PATH, OBJECT_PATH, dataPath}, allWrittenAgain, ServerKind::Http, nullptr, InstallerBuild::Unkeyed, InstalledOnce()},
        {"KeyedRunAgain", "keyed: again, same package", twoFiles(firstRelease), installed, index, keptAsInstalled, ServerKind::Http, nullptr, keyed, InstalledOnce()},
        {"KeyedRunAfterRelease", "keyed: again, one object new", twoFiles(firstRelease), installed, {INDEX_PATH, newDataPath}, dataReplaced(NEW_DATA_BODY), ServerKind::Http, nullptr, keyed, secondReleasePublished},
        {"KeyedTargetChanged", "keyed: installed file changed", twoFiles(firstRelease), installed, {INDEX_PATH, dataPath}, dataReplaced(DATA_BODY), ServerKind::Http, nullptr, keyed, dataChangedOnDisk},
        {"KeyedOldAndNewKey", "keyed (old key): old+new lines", Package(oldAndNew), installed, indexObject, ExpectTypicalInstall, ServerKind::Http, nullptr, keyed},
        {"RotatedOldAndNewKey", "rotated (new key): old + new", Package(oldAndNew), installed, indexObject, ExpectTypicalInstall, ServerKind::Http, nullptr, rotated},
        {"RotatedKeyPastLastDay", "rotated: key past its last day", Package(Signed(ADDRESSED_TYPICAL, 1, {TestKey("index-retired.pem")})), indexFailed, index, ExpectNothingInstalled, ServerKind::Http, nullptr, rotated},
    };
    // clang-format on
}

// Serves `index` and each (path under /AppData, body) of `files`.
std::function<void(LoopbackServer&)> Serving(
    const std::string& index, std::vector<std::pair<std::string, std::string>> files) {
    return [index, files](LoopbackServer& server) {
        server.ServeBody(INDEX_PATH, 200, index);
        for (const auto& [path, body] : files) {
            server.ServeBody("/AppData/" + path, 200, body);
        }
    };
}

// Serves as Serving does, and a program that records its start as probe/launch.exe.
std::function<void(LoopbackServer&)> WithLaunchProbe(
    const std::string& index, std::vector<std::pair<std::string, std::string>> files = {}) {
    return [serve = Serving(index, std::move(files))](LoopbackServer& server) {
        serve(server);
        server.ServeFile("/AppData/probe/launch.exe", WineBuildPath("tests/launch_probe.exe"));
    };
}

// The one link on the desktop is `name`, to `target` under the install folder, and it starts in
// the target's folder.
void ExpectOnlyLink(const WinePrefix& prefix, const std::string& name, const std::string& target) {
    ASSERT_EQ(DesktopNames(prefix), std::vector<std::string>{name});
    const std::string path = prefix.InstallDir() + "\\" + target;
    const std::string folder = path.substr(0, path.rfind('\\') + 1);
    const LinkFields link = ReadLink(OnDesktop(prefix, name));
    EXPECT_EQ(link.target, path);
    EXPECT_EQ(link.workingDir, folder);
    EXPECT_EQ(link.relativePath, folder);
}

// The creation time (100 ns units) and show command that a launch probe recorded, once it has.
struct LaunchRecord {
    unsigned long long created = 0;
    int show = 0;
};

std::optional<LaunchRecord> WaitForLaunch(const std::string& recordPath) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
        LaunchRecord record;
        if (std::sscanf(ReadWholeFile(recordPath).c_str(), "created=%llu\nshow=%d", &record.created,
                        &record.show) == 2) {
            return record;
        }
        std::this_thread::sleep_for(200ms);
    }
    return std::nullopt;
}

// What a typical index installs, links and opens, and how a failed pass leaves the window.
std::vector<Scenario> InstallRows() {
    const Outcome installed{true, ""};
    const Outcome dataFailed{false, DATA_FAILED};
    const std::string typicalBody = BinaryBody(300 * 1024, 1);
    // A shorter file on the second run, so that a file that was not truncated would show its old
    // tail, and a link of the same name that now points at another program.
    const std::string shorter = BinaryBody(5000, 3);
    const std::string tool = BinaryBody(7000, 4);
    const Before firstRunOf200K =
        AfterAFirstRun([shorter, tool](LoopbackServer& server, const WinePrefix& prefix) {
            ASSERT_EQ(fs::file_size(InstalledPath(prefix, "bin\\main.exe")), 200u * 1024);
            Serving(
                "1|bin|\r\n0|app/main.exe|bin\\main.exe\r\n0|app/tool.exe|bin\\tool.exe\r\n"
                "2|bin\\tool.exe|Tessaly\r\n",
                {{"app/main.exe", shorter}, {"app/tool.exe", tool}})(server);
        });
    std::string fiveFiles;
    std::vector<std::pair<std::string, std::string>> fourOfFive;
    for (int i = 1; i <= 5; ++i) {
        const std::string n = std::to_string(i);
        fiveFiles += "0|files/" + n + ".dat|" + n + ".dat\r\n";
        if (i != 3) {
            fourOfFive.emplace_back("files/" + n + ".dat", BinaryBody(1000 + i, i));
        }
    }
    const auto thirdOf5Is404 = [fiveFiles, fourOfFive](LoopbackServer& server) {
        Serving(fiveFiles + "2|1.dat|One\r\n", fourOfFive)(server);
        server.ServeBody("/AppData/files/3.dat", 404, "<html>not found</html>");
    };
    const auto twoOfFiveInstalled = [](const WinePrefix& prefix) {
        EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "1.dat")) == BinaryBody(1001, 1));
        EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "2.dat")) == BinaryBody(1002, 2));
        for (const char* missing : {"3.dat", "4.dat", "5.dat"}) {
            EXPECT_FALSE(fs::exists(InstalledPath(prefix, missing))) << missing;
        }
        EXPECT_TRUE(DesktopNames(prefix).empty()) << "links were made after a failed pass";
    };
    // For support, one line names the URL that failed and the status it answered.
    const std::vector<std::string> report404{
        "Tessaly: download failed: http://127.0.0.1:" + std::to_string(TESSALY_TEST_PORT) +
        "/AppData/files/3.dat: HTTP status 404"};
    const std::string launch = "/AppData/probe/launch.exe";
    const std::vector<std::string> index{INDEX_PATH};
    auto missing = [](const char* path) {
        return [path](const WinePrefix& prefix) {
            EXPECT_FALSE(fs::exists(InstalledPath(prefix, path))) << path;
        };
    };
    // clang-format off
    return {
        {"TypicalIndexInstallsLinksAndCloses", "typical index, 300 KB binary", Serving(TYPICAL, {{"app/main.exe", typicalBody}}), installed, {INDEX_PATH, MAIN_PATH}, [typicalBody](const WinePrefix& prefix) {
            EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "bin\\main.exe")) == typicalBody) << "bin\\main.exe differs";
            ExpectOnlyLink(prefix, "Tessaly.lnk", "bin\\main.exe"); }},
        {"SecondRunReplacesFilesAndLink", "again: shorter file, new link", Serving(TYPICAL, {{"app/main.exe", BinaryBody(200 * 1024, 2)}}), installed, {INDEX_PATH, MAIN_PATH, "/AppData/app/tool.exe"}, [shorter, tool](const WinePrefix& prefix) {
            EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "bin\\main.exe")) == shorter) << "bin\\main.exe not replaced";
            EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "bin\\tool.exe")) == tool);
            ExpectOnlyLink(prefix, "Tessaly.lnk", "bin\\tool.exe"); }, ServerKind::Http, nullptr, InstallerBuild::Unkeyed, firstRunOf200K},
        {"FailedDownloadStopsThePassAndLeavesTheWindowRed", "third of five files 404", thirdOf5Is404, dataFailed, {INDEX_PATH, "/AppData/files/1.dat", "/AppData/files/2.dat", "/AppData/files/3.dat"}, twoOfFiveInstalled, ServerKind::Http, nullptr, InstallerBuild::Unkeyed, nullptr, report404},
        {"DownloadIntoAFolderNoEntryMadeFailsAfterItsBodyArrived", "download into a missing folder", Serving("0|app/main.exe|nowhere\\main.exe\r\n", {{"app/main.exe", BinaryBody(4000, 5)}}), dataFailed, {INDEX_PATH, MAIN_PATH}, missing("nowhere")},
        {"EmptyFileOnTheServerFailsThePass", "a file 200 with empty body", Serving("0|app/empty.dat|empty.dat\r\n0|app/main.exe|main.exe\r\n", {{"app/empty.dat", ""}, {"app/main.exe", "MZ"}}), dataFailed, {INDEX_PATH, "/AppData/app/empty.dat"}, missing("empty.dat")},
        {"NestedFoldersListedParentsFirstAreCreated", "nested folders, parents first", Serving("1|a|\r\n1|a\\b|\r\n1|a/b/c|\r\n0|app/deep.dat|a\\b\\c\\deep.dat\r\n", {{"app/deep.dat", BinaryBody(3000, 6)}}), installed, {INDEX_PATH, "/AppData/app/deep.dat"}, [](const WinePrefix& prefix) {
            EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "a\\b\\c\\deep.dat")) == BinaryBody(3000, 6)); }},
        // Only the last component of a folder is created.
        {"FolderWhoseParentNoEntryMadeFailsThePass", "folder whose parent is missing", Serving("1|p\\q|\r\n0|app/main.exe|main.exe\r\n", {{"app/main.exe", "MZ"}}), dataFailed, index, missing("p")},
        {"IndexOfOnlySkippedLinesInstallsNothing", "index of skipped lines only", Serving(" 1|bin|\r\n|0|x|y\r\nno bar\r\n0||main.exe\r\nx|app/main.exe|main.exe\r\n\r\n", {{"app/main.exe", "MZ"}}), dataFailed, index, [](const WinePrefix& prefix) {
            ExpectNothingInstalled(prefix);
            EXPECT_TRUE(DesktopNames(prefix).empty()); }},
        // Neither the link target nor the launched file exists: the link is made all the same, and
        // the launch is passed over.
        {"OnlyLinksAndLaunchesNeedNoNetworkAfterTheIndex", "links and launches only", Serving("2|bin\\main.exe|Tessaly\r\n3|bin\\main.exe|\r\n", {}), installed, index, [](const WinePrefix& prefix) {
            EXPECT_TRUE(fs::is_empty(InstalledPath(prefix, "")));
            ExpectOnlyLink(prefix, "Tessaly.lnk", "bin\\main.exe"); }},
        // Listed against the order of their names and of their downloads.
        {"LaunchEntriesOpenInListOrderMaximized", "two launches, in list order", WithLaunchProbe("0|probe/launch.exe|alpha.exe\r\n0|probe/launch.exe|zeta.exe\r\n3|zeta.exe|\r\n3|alpha.exe|\r\n"), installed, {INDEX_PATH, launch, launch}, [](const WinePrefix& prefix) {
            const std::optional<LaunchRecord> zeta = WaitForLaunch(InstalledPath(prefix, "zeta.exe.launch"));
            const std::optional<LaunchRecord> alpha = WaitForLaunch(InstalledPath(prefix, "alpha.exe.launch"));
            ASSERT_TRUE(zeta.has_value()) << "zeta.exe was not opened";
            ASSERT_TRUE(alpha.has_value()) << "alpha.exe was not opened";
            EXPECT_LT(zeta->created, alpha->created) << "opened against the list order";
            EXPECT_EQ(zeta->show, 3);  // SW_SHOWMAXIMIZED
            EXPECT_EQ(alpha->show, 3); }},
    };
    // clang-format on
}

const std::string OK_LINE = "0|app/ok.dat|ok.dat\r\n";
const std::string OK_BODY = BinaryBody(2000, 7);
const std::string OK_PATH = "/AppData/app/ok.dat";

// Bytes of the install folder text, its trailing backslash included.
std::size_t InstallDirLength(const WinePrefix& prefix) {
    return prefix.InstallDir().size() + 1;
}

// A folder of 255 bytes in all (the 256-byte folder text) and a link target of 259 bytes (the link
// object's 260-byte target text), both relative to the install folder; the same one byte longer
// are refused.
std::string FolderThatFits(const WinePrefix& prefix) {
    return std::string(255 - InstallDirLength(prefix), 'f');
}
std::string TargetThatFits(const WinePrefix& prefix) {
    return "bin\\" + std::string(259 - InstallDirLength(prefix) - 4, 't');
}

// A program outside the install folder that records it if it is ever opened; left there for the
// rows after, which walk drive C with it.
std::string OutsideProbe(const WinePrefix& prefix) {
    return prefix.HostPath("C:\\launch_probe.exe");
}

std::unique_ptr<WineProgram> PutProbeOutside(const WinePrefix& prefix) {
    fs::copy_file(WineBuildPath("tests/launch_probe.exe"), OutsideProbe(prefix),
                  fs::copy_options::overwrite_existing);
    return nullptr;
}

// Entries that name local paths outside the install folder or the desktop, or devices, or paths
// longer than the texts they are composed in: such an entry writes nothing anywhere, a refused
// download or folder fails the pass before anything is fetched for it, and a refused link or
// launch is passed over.
std::vector<Scenario> ContainmentRows() {
    const Outcome installed{true, ""};
    const Outcome dataFailed{false, DATA_FAILED};
    // The entry before the refused one was carried out; nothing was fetched for the refused one.
    // clang-format off
    auto refused = [dataFailed](const char* id, const char* name, const std::string& line) {
        return Scenario{id, name, Serving(OK_LINE + line + "\r\n2|ok.dat|Ok\r\n", {{"app/ok.dat", OK_BODY}, {"app/evil.txt", "evil"}}), dataFailed, {INDEX_PATH, OK_PATH}, [](const WinePrefix& prefix) {
            EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "ok.dat")) == OK_BODY);
            EXPECT_TRUE(DesktopNames(prefix).empty()); }};
    };
    // clang-format on
    const std::string linksAndLaunches = OK_LINE +
                                         "0|probe/launch.exe|last.exe\r\n"
                                         "2|ok.dat|..\\evil\r\n"
                                         "2|ok.dat|..\\..\\..\\evil\r\n"
                                         "2|ok.dat|C:\\evil\r\n"
                                         "2|ok.dat|\\\\?\\C:\\evil\r\n"
                                         "2|ok.dat|evil:stream\r\n"
                                         "2|..\\..\\..\\..\\evil.txt|Outside\r\n"
                                         "2|C:\\windows\\system32\\cmd.exe|Cmd\r\n"
                                         "2|ok.dat|AUX .dll\r\n"
                                         "2|COM1 .bin|Com\r\n"
                                         "2|ok.dat|Good\r\n"
                                         "3|..\\..\\launch_probe.exe|\r\n"
                                         "3|C:\\launch_probe.exe|\r\n"
                                         "3|lpt1 .x|\r\n"
                                         "3|CONIN$ .x|\r\n"
                                         "3|last.exe|\r\n";
    // clang-format off
    return {
        refused("EscapeParentDownload", "download to ..\\..\\", "0|app/evil.txt|..\\..\\evil.txt"),
        refused("EscapeDriveDownload", "download to C:\\", "0|app/evil.txt|C:\\evil.txt"),
        refused("EscapeSlashedParentDownload", "download to bin/../../../", "0|app/evil.txt|bin/../../../evil.txt"),
        refused("EscapeLongPathDownload", "download to \\\\?\\C:\\", "0|app/evil.txt|\\\\?\\C:\\evil.txt"),
        refused("EscapeRootDownload", "download to \\evil.txt", "0|app/evil.txt|\\evil.txt"),
        refused("StreamDownload", "download to ok.dat:stream", "0|app/evil.txt|ok.dat:stream"),
        refused("EscapeParentFolder", "folder ..\\..\\evil-folder", "1|..\\..\\evil-folder|"),
        refused("EscapeDriveFolder", "folder C:\\evil-folder", "1|C:\\evil-folder|"),
        // Devices, whatever spaces end the stem: Windows would open the device itself.
        refused("DeviceDownload", "download to device NUL .txt", "0|app/evil.txt|NUL .txt"),
        refused("DeviceFolder", "folder device con  .log", "1|con  .log|"),
        // A drive letter and a colon are refused in a local path, not in the URL path of a download.
        {"ServerSidePathIsNotALocalPath", "URL path with a drive letter", Serving("0|C:/app/ok.dat|ok.dat\r\n", {{"C:/app/ok.dat", OK_BODY}}), installed, {INDEX_PATH, "/AppData/C:/app/ok.dat"}, [](const WinePrefix& prefix) {
            EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "ok.dat")) == OK_BODY); }},
        {"EscapingLinksAndLaunchesArePassedOver", "links, launches outside", WithLaunchProbe(linksAndLaunches, {{"app/ok.dat", OK_BODY}}), installed, {INDEX_PATH, OK_PATH, "/AppData/probe/launch.exe"}, [](const WinePrefix& prefix) {
            EXPECT_EQ(DesktopNames(prefix), std::vector<std::string>{"Good.lnk"});
            // Launches are opened in list order without waiting, so once the last one has recorded
            // its start, a refused one before it would have started too.
            EXPECT_TRUE(WaitForLaunch(InstalledPath(prefix, "last.exe.launch")).has_value()) << "the contained launch did not open";
            std::this_thread::sleep_for(1s);
            EXPECT_FALSE(fs::exists(OutsideProbe(prefix) + ".launch")) << "a program outside was opened"; }, ServerKind::Http, PutProbeOutside},
        {"PathsThatFitTheirTextsExactlyAreUsed", "folder, link target just fit", [](LoopbackServer& server) {
            const WinePrefix& prefix = SharedWinePrefix();
            const std::string target = TargetThatFits(prefix);
            Serving("1|" + FolderThatFits(prefix) + "|\r\n" + OK_LINE + "2|" + target + "|Fits\r\n2|" + target + "x|TooLong\r\n", {{"app/ok.dat", OK_BODY}})(server); }, installed, {INDEX_PATH, OK_PATH}, [](const WinePrefix& prefix) {
            EXPECT_TRUE(fs::is_directory(InstalledPath(prefix, FolderThatFits(prefix))));
            EXPECT_EQ(DesktopNames(prefix), std::vector<std::string>{"Fits.lnk"});
            const LinkFields link = ReadLink(OnDesktop(prefix, "Fits.lnk"));
            EXPECT_EQ(link.target, prefix.InstallDir() + "\\" + TargetThatFits(prefix));
            EXPECT_EQ(link.workingDir, prefix.InstallDir() + "\\bin\\"); }},
        {"FolderOneByteTooLongFailsThePass", "folder one byte too long", [](LoopbackServer& server) {
            Serving("1|" + FolderThatFits(SharedWinePrefix()) + "f|\r\n" + OK_LINE, {{"app/ok.dat", OK_BODY}})(server); }, dataFailed, {INDEX_PATH}, [](const WinePrefix& prefix) {
            EXPECT_TRUE(fs::is_empty(InstalledPath(prefix, ""))); }},
    };
    // clang-format on
}

// Chinese names on each machine: a column that is not code page 936 is refused before anything is
// fetched or written, and the failure is drawn as under code page 936 (the window title too); two
// names that differ only in the order of their characters install as written, with a link on a
// desktop whose folder has a Chinese name; and a desktop whose name code page 936 cannot write
// either gets its link.
std::vector<Scenario> CodePageRows() {
    const std::string chineseDesktop = "C:\\users\\张三\\Desktop";
    const std::string refusedColumn = Cp936("数据\\坏") + "\xFF.txt";
    const std::string first = BinaryBody(2000, 7);
    const std::string second = BinaryBody(3000, 8);
    const std::string twoNames = Cp936(
        "1|数据|\r\n0|a/1|数据\\数据.txt\r\n0|a/2|数据\\据数.txt\r\n2|数据\\数据.txt|说明书\r\n");
    std::vector<Scenario> rows;
    for (const Machine& machine : MACHINES) {
        const std::string name = machine.name;
        const std::string label = name.substr(std::string("CodePage").size()) + ": ";
        // clang-format off
        Scenario refused{name + "RefusedColumn", label + "column not in 936", Serving("1|" + Cp936("数据") + "|\r\n0|a/1|" + refusedColumn + "\r\n", {}), {false, DATA_FAILED}, {INDEX_PATH}, [](const WinePrefix& prefix) {
            EXPECT_EQ(Listing(InstalledPath(prefix, "")), std::vector<std::string>{"数据"});
            EXPECT_TRUE(Listing(InstalledPath(prefix, "数据")).empty()); }};
        refused.reports = {WineQuoted("Tessaly: write file failed: " + refusedColumn + ": " + REFUSED_PATH_REASON)};
        Scenario chinese{name + "ChineseNames", label + "two Chinese names", Serving(twoNames, {{"a/1", first}, {"a/2", second}}), {true, ""}, {INDEX_PATH, "/AppData/a/1", "/AppData/a/2"}, [first, second, machine](const WinePrefix& prefix) {
            EXPECT_EQ(Listing(InstalledPath(prefix, "数据")), (std::vector<std::string>{"据数.txt", "数据.txt"}));
            EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "数据\\数据.txt")) == first) << "数据.txt differs";
            EXPECT_TRUE(ReadWholeFile(InstalledPath(prefix, "数据\\据数.txt")) == second) << "据数.txt differs";
            ASSERT_EQ(DesktopNames(prefix), std::vector<std::string>{"说明书.lnk"});
            const std::string folder = prefix.InstallDir() + "\\数据\\";
            const std::optional<ShellLink> link = ReadWineShellLink(OnDesktop(prefix, "说明书.lnk"), machine.linkTargetCodePage ? machine.linkTargetCodePage : "CP936");
            ASSERT_TRUE(link.has_value());
            EXPECT_EQ(link->workingDir, folder);
            EXPECT_EQ(link->relativePath, folder);
            if (machine.linkTargetCodePage != nullptr) {
                EXPECT_EQ(link->localBasePath + link->commonPathSuffix, folder + "数据.txt");
            } }};
        Scenario otherDesktop{name + "DesktopOutside936", label + "desktop name not in 936", Serving(Cp936("2|数据\\数据.txt|说明书\r\n"), {}), {true, ""}, {INDEX_PATH}, [](const WinePrefix& prefix) {
            ASSERT_EQ(DesktopNames(prefix), std::vector<std::string>{"说明书.lnk"});
            EXPECT_EQ(ReadLink(OnDesktop(prefix, "说明书.lnk")).workingDir, prefix.InstallDir() + "\\数据\\"); }};
        // clang-format on
        for (Scenario* row : {&refused, &chinese, &otherDesktop}) {
            row->locale = machine.locale;
            row->desktop = chineseDesktop;
        }
        otherDesktop.desktop = "C:\\users\\J\u00f6rg\\Desktop";
        rows.insert(rows.end(), {refused, chinese, otherDesktop});
    }
    return rows;
}

TEST_P(FaultMatrix, EndsAsDesigned) {
    table_.push_back(Run(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultMatrix, testing::ValuesIn(Scenarios()), RowId);
INSTANTIATE_TEST_SUITE_P(Installs, FaultMatrix, testing::ValuesIn(InstallRows()), RowId);
INSTANTIATE_TEST_SUITE_P(Containment, FaultMatrix, testing::ValuesIn(ContainmentRows()), RowId);
INSTANTIATE_TEST_SUITE_P(CodePages, FaultMatrix, testing::ValuesIn(CodePageRows()), RowId);

// The user closes the window while a large file is coming in: the process ends at once, with
// exit code 0, whatever the worker was doing.
TEST_F(InstallerUnderWine, ClosingDuringALargeDownloadEndsTheProcess) {
    FreshMachine(CODE_PAGE_936_LOCALE);
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
    char figure[80];
    std::snprintf(figure, sizeof figure,
                  "Closed mid-download: the process ended %.2f s after the close\n", seconds);
    PrintToMatrixReport(figure);
}

}  // namespace
}  // namespace tessaly::test
