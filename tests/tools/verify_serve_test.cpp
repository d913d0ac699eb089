// tessaly-pack verify against serve on 127.0.0.1, serve itself, and every command's command line.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "format/install_entry.h"
#include "pack/build_command.h"
#include "pack/http_fetch.h"
#include "pack/package_signing.h"
#include "pack/serve_command.h"
#include "pack/signature_report.h"
#include "pack/verify_command.h"
#include "support/process.h"
#include "tools/pack_test_support.h"

namespace tessaly::pack::testing {
namespace {

// verify with `options`; its plain progress lines go to `progressText` when given.
VerifyResult RunVerify(const VerifyOptions& options, std::string* progressText = nullptr) {
    std::ostringstream progressOut;
    const auto progress = MakePlainProgress(progressOut);
    VerifyResult result = VerifyPackage(options, *progress);
    if (progressText != nullptr) {
        *progressText = progressOut.str();
    }
    return result;
}

// A built package (under "built") and a copy of it (under "served") that an in-process server
// on a free loopback port serves, so a test can damage what is served and compare with the build.
class ServedPackage : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path staging = scratch_ / "staging";
        WriteTestFile(staging / "bin/main.exe", "MAIN program");
        WriteTestFile(staging / "数据/说明.txt", "readme");
        WriteTestFile(staging / "数据/子目录/表.dat", std::string(100000, 'd'));
        const BuildResult built = BuildPackage(
            {staging, scratch_ / "built", {{Shortcut, "bin/main.exe", "Tessaly", "--shortcut"}}});
        ASSERT_TRUE(built.problems.empty());
        fs::copy(scratch_ / "built", scratch_ / "served", fs::copy_options::recursive);
        std::string error;
        port_ = server_.Start((scratch_ / "served").string(), "127.0.0.1", 0, 0, log_, error);
        ASSERT_NE(port_, 0) << error;
    }

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    fs::path Served(const std::string& content) const {
        return scratch_ / ("served/AppData/objects/" + Sha(content));
    }

    VerifyResult Verify(bool against, std::string* progressText = nullptr) {
        return RunVerify({Base(), against ? (scratch_ / "built").string() : std::string()},
                         progressText);
    }

    std::string LogText() {
        server_.Stop();
        return log_.str();
    }

    ScratchDir scratch_;
    std::ostringstream log_;
    PackageServer server_;
    int port_ = 0;
};

// The line of a Download entry in the built index: folders bin, 数据, 数据\子目录 come first, then
// the downloads in name order.
// (子目录 sorts before 说明.txt: E5 AD 90 against E8 AF B4 in UTF-8).
constexpr int MAIN_LINE = 4;
constexpr int TABLE_LINE = 5;
constexpr int README_LINE = 6;

TEST_F(ServedPackage, AGoodPackagePasses) {
    std::string progress;
    const VerifyResult result = Verify(true, &progress);
    EXPECT_TRUE(result.indexFetched);
    EXPECT_EQ(result.downloads, 3u);
    EXPECT_EQ(result.findings, std::vector<std::string>{});
    EXPECT_NE(progress.find("3/3 ok objects/"), std::string::npos) << progress;
}

TEST_F(ServedPackage, CatchesADeletedAnEmptiedAndAChangedFile) {
    fs::remove(Served("MAIN program"));
    WriteTestFile(Served("readme"), "");
    WriteTestFile(Served(std::string(100000, 'd')), std::string(99999, 'd') + "X");
    const VerifyResult result = Verify(false);
    ASSERT_EQ(result.findings.size(), 3u);
    const std::string prefix = "FileList.txt:";
    EXPECT_EQ(result.findings[0].rfind(prefix + std::to_string(MAIN_LINE) + ": objects/", 0), 0u);
    EXPECT_NE(result.findings[0].find("answered HTTP 404"), std::string::npos);
    EXPECT_EQ(result.findings[1].rfind(prefix + std::to_string(TABLE_LINE) + ": ", 0), 0u);
    EXPECT_NE(result.findings[1].find("does not match its name"), std::string::npos);
    EXPECT_EQ(result.findings[2].rfind(prefix + std::to_string(README_LINE) + ": ", 0), 0u);
    EXPECT_NE(result.findings[2].find("empty body"), std::string::npos);
}

TEST_F(ServedPackage, AgainstTheBuiltTreeCatchesAChangedIndexAndFile) {
    // An index whose file has a plain name: only the comparison with the build can catch it.
    WriteTestFile(scratch_ / "built/AppData/plain.txt", "original");
    WriteTestFile(scratch_ / "served/AppData/plain.txt", "tampered");
    const std::string index = "0|plain.txt|plain.txt\r\n";
    WriteTestFile(scratch_ / "built/AppData/FileList.txt", index);
    WriteTestFile(scratch_ / "served/AppData/FileList.txt", index);
    EXPECT_EQ(Verify(false).findings, std::vector<std::string>{});
    VerifyResult result = Verify(true);
    ASSERT_EQ(result.findings.size(), 1u);
    EXPECT_NE(result.findings[0].find("FileList.txt:1: plain.txt: differs from"), std::string::npos)
        << result.findings[0];

    WriteTestFile(scratch_ / "served/AppData/FileList.txt", index + "1|extra|\r\n");
    result = Verify(true);
    ASSERT_EQ(result.findings.size(), 2u);
    EXPECT_NE(result.findings[0].find("/AppData/FileList.txt: differs from"), std::string::npos)
        << result.findings[0];
}

TEST_F(ServedPackage, WithAKeyEveryRefusalOfAKeyedInstallerIsAFinding) {
    std::string error;
    ASSERT_TRUE(GenerateKeyPair(scratch_ / "a.key", error)) << error;
    const SigningKey key = LoadPrivateKey(scratch_ / "a.key", error);
    const SigningKey publicKey = LoadPublicKey(scratch_ / "a.key.pub", error);
    ASSERT_TRUE(key && publicKey) << error;
    const std::uint64_t now = static_cast<std::uint64_t>(std::time(nullptr));
    const std::uint64_t expires = now + 90 * 86400;
    const fs::path indexFile = scratch_ / "served/AppData/FileList.txt";
    const SignResult signedIndex = SignPackage(scratch_ / "served", {key.get()}, expires);
    ASSERT_EQ(signedIndex.error, "");
    ASSERT_TRUE(signedIndex.refusals.empty());
    const std::string index = ReadWholeFile(indexFile);

    struct Case {
        const char* what;
        std::function<void()> change;
        std::string finding;  // the one expected; empty when the package passes
    } cases[] = {
        {"good", [] {}, ""},
        {"changed index", [&] { WriteTestFile(indexFile, "1|bin|\r\n" + index); },
         "/AppData/FileList.txt: an installer built with key " + KeyId(key.get()) +
             " refuses it: signature does not verify"},
        {"changed object", [&] { WriteTestFile(Served("readme"), "README"); },
         "FileList.txt:" + std::to_string(README_LINE) + ": objects/" + Sha("readme") +
             ": the content does not match its name"},
        {"not content-addressed",
         [&] {
             WriteTestFile(scratch_ / "served/AppData/plain.txt", "plain");
             WriteTestFile(indexFile,
                           SignIndex(StripSignatureLines(index) + "0|plain.txt|plain.txt\r\n",
                                     key.get(), expires, error));
         },
         // After the seven lines of the build.
         "FileList.txt:8: plain.txt: the path does not end in the SHA-256 of its content"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        const VerifyResult result = RunVerify({Base(), "", {publicKey.get()}, now});
        if (c.finding.empty()) {
            EXPECT_EQ(result.findings, std::vector<std::string>{});
            EXPECT_EQ(
                result.signatures,
                std::vector<std::string>{"signed by key " + KeyId(key.get()) + ", valid until " +
                                         FormatUtc(expires) + " (90 days left)"});
        } else {
            ASSERT_EQ(result.findings.size(), 1u);
            EXPECT_NE(result.findings[0].find(c.finding), std::string::npos) << result.findings[0];
        }
        WriteTestFile(indexFile, index);
        WriteTestFile(Served("readme"), "readme");
    }
}

TEST_F(ServedPackage, CommandsSignVerifyAndSignAnExpiredPackageAgain) {
    const std::string keyFile = Quote(scratch_ / "release.key");
    ASSERT_TRUE(Ended(RunProgram("keygen " + keyFile), 0, {"key id:"}));
    EXPECT_TRUE(Ended(RunProgram("keygen " + keyFile), 1, {"exists already"}));

    const std::string publicKey = " --key " + Quote(scratch_ / "release.key.pub");
    const std::string check =
        "check " + Quote(scratch_ / "served/AppData/FileList.txt") + publicKey;
    const std::string sign = "sign " + Quote(scratch_ / "served");
    EXPECT_TRUE(
        Ended(RunProgram("build " + Quote(scratch_ / "staging") + " " + Quote(scratch_ / "served") +
                         " --sign " + keyFile + " --expires 2020-01-01"),
              0, {"warning: the signature expires 2020-01-01 00:00 UTC, which has passed"}));
    EXPECT_TRUE(Ended(RunProgram("verify " + Base() + publicKey), 1,
                      {"the signature expired on 2020-01-01 00:00 UTC"}));
    EXPECT_TRUE(Ended(RunProgram(check), 1));

    EXPECT_TRUE(Ended(RunProgram(sign + " --key " + keyFile + " --expires 30"), 0));
    EXPECT_TRUE(Ended(RunProgram("verify " + Base() + publicKey), 0, {"(30 days left)"}));
    EXPECT_TRUE(Ended(RunProgram(check), 0, {"(30 days left)"}));

    // Rotation: signed with the old and the new key, then with the new one alone; verify judges
    // as an installer holding only each key.
    const std::string nextKeyFile = Quote(scratch_ / "next.key");
    ASSERT_TRUE(Ended(RunProgram("keygen " + nextKeyFile), 0));
    const std::string bothKeys = publicKey + " --key " + Quote(scratch_ / "next.key.pub");
    EXPECT_TRUE(Ended(RunProgram(sign + " --key " + keyFile + " --key " + nextKeyFile), 0,
                      {"signed by keys "}));
    const ProgramRun run = RunProgram("verify " + Base() + bothKeys);
    EXPECT_TRUE(Ended(run, 0));
    const std::size_t first = run.output.find("FileList.txt: signed by key ");
    ASSERT_NE(first, std::string::npos) << run.output;
    EXPECT_NE(run.output.find("FileList.txt: signed by key ", first + 1), std::string::npos)
        << run.output;
    EXPECT_TRUE(Ended(RunProgram(sign + " --key " + nextKeyFile), 0));
    EXPECT_TRUE(Ended(RunProgram("verify " + Base() + bothKeys), 1,
                      {"refuses it: signed with key ", "FileList.txt: signed by key "}));
    EXPECT_TRUE(Ended(RunProgram(sign + " --key " + keyFile + " --key " + keyFile), 2));
    EXPECT_TRUE(Ended(RunProgram(sign + " --key " + keyFile + " --expires 2026-02-30"), 2));
    EXPECT_TRUE(Ended(RunProgram(sign), 2));
}

TEST_F(ServedPackage, AMissingIndexStopsTheRun) {
    fs::remove(scratch_ / "served/AppData/FileList.txt");
    const VerifyResult result = Verify(false);
    EXPECT_FALSE(result.indexFetched);
    ASSERT_EQ(result.findings.size(), 1u);
    EXPECT_NE(result.findings[0].find("FileList.txt: answered HTTP 404"), std::string::npos);
    EXPECT_EQ(result.findings[0].find("try "), std::string::npos) << result.findings[0];

    // A base without the package folder, as a bucket served by path is often given.
    const VerifyResult bucket = RunVerify({Base() + "/bucket/", ""});
    ASSERT_EQ(bucket.findings.size(), 1u);
    EXPECT_NE(bucket.findings[0].find("answered HTTP 404; the package lies in a folder AppData/: "
                                      "try " +
                                      Base() + "/bucket/AppData/"),
              std::string::npos)
        << bucket.findings[0];
}

TEST_F(ServedPackage, ServeLogsOneLinePerRequest) {
    const HttpAnswer answer = FetchLikeInstaller(Base() + "/AppData/FileList.txt");
    EXPECT_EQ(answer.head.status, 200u);
    EXPECT_EQ(answer.body, ReadWholeFile(scratch_ / "built/AppData/FileList.txt"));
    EXPECT_EQ(FetchLikeInstaller(Base() + "/AppData/nothing").head.status, 404u);
    const std::string log = LogText();
    EXPECT_NE(log.find("127.0.0.1 GET /AppData/FileList.txt 200 " +
                       std::to_string(answer.body.size()) + " \"ravavo\"\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("GET /AppData/nothing 404"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

TEST(ServeRate, APacedFileTakesAtLeastItsTimeOnTheLinkAndArrivesWhole) {
    ScratchDir scratch;
    std::string body(150000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 7 % 251);
    }
    WriteTestFile(scratch / "AppData/paced.bin", body);
    std::ostringstream log;
    std::string error;
    PackageServer server;
    const int port = server.Start(scratch.path().string(), "127.0.0.1", 0, 300000, log, error);
    ASSERT_NE(port, 0) << error;
    const auto start = std::chrono::steady_clock::now();
    const HttpAnswer answer =
        FetchLikeInstaller("http://127.0.0.1:" + std::to_string(port) + "/AppData/paced.bin");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    server.Stop();
    EXPECT_EQ(answer.head.status, 200u);
    EXPECT_TRUE(answer.body == body) << answer.body.size() << " bytes";
    EXPECT_GE(seconds, 0.5);  // 150,000 bytes at 300,000 a second
    EXPECT_NE(log.str().find("GET /AppData/paced.bin 200 150000 \"ravavo\""), std::string::npos)
        << log.str();
}

TEST(VerifyRequest, IsTheInstallersRequest) {
    httplib::Server server;
    httplib::Headers seen;
    std::vector<std::string> paths;
    server.Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
        paths.push_back(request.target);
        if (request.path == "/pkg/FileList.txt") {
            seen = request.headers;
            response.set_content("0|dir/a%20b\xCA\xFD.bin|a.bin\r\n", "text/plain");
        } else {
            response.status = 404;
            response.set_content("<html>not here</html>", "text/html");
        }
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread thread([&] { server.listen_after_bind(); });
    std::string progress;
    const VerifyResult result =
        RunVerify({"http://127.0.0.1:" + std::to_string(port) + "/pkg", ""}, &progress);
    server.stop();
    thread.join();

    EXPECT_EQ(seen.find("User-Agent")->second, "ravavo");
    EXPECT_EQ(seen.find("Cache-Control")->second, "no-cache");
    EXPECT_EQ(seen.find("Pragma")->second, "no-cache");
    // The path goes out byte for byte as the index writes it: no percent-encoding, no decoding.
    EXPECT_EQ(paths, (std::vector<std::string>{"/pkg/FileList.txt", "/pkg/dir/a%20b\xCA\xFD.bin"}));
    ASSERT_EQ(result.findings.size(), 1u);
    EXPECT_EQ(result.findings[0], "FileList.txt:1: dir/a%20b数.bin: answered HTTP 404");
    EXPECT_EQ(progress, result.findings[0] + "\n");
}

TEST(VerifyRequest, AServerThatNeverAnswersFailsAfterTheReadTimeOut) {
    httplib::Server server;
    // Bound and listening, so the connection is accepted, but nothing ever reads or answers.
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    const auto start = std::chrono::steady_clock::now();
    const VerifyResult result = RunVerify({"http://127.0.0.1:" + std::to_string(port) + "/", ""});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(result.indexFetched);
    ASSERT_EQ(result.findings.size(), 1u);
    EXPECT_NE(result.findings[0].find("/AppData/FileList.txt: no answer"), std::string::npos)
        << result.findings[0];
    EXPECT_GE(seconds, 3.0);  // the installer's 4 s read time-out
    EXPECT_LE(seconds, 9.0);
}

TEST(HttpUrl, OnlyPlainHttp) {
    struct Case {
        const char* url;
        const char* base;  // empty when refused
    } cases[] = {
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080/AppData/"},
        {"http://127.0.0.1:8080/", "http://127.0.0.1:8080/AppData/"},
        {"HTTP://packages.example:80/AppData", "http://packages.example/AppData/"},
        {"http://host/a/b/", "http://host/a/b/"},
        {"https://host/", ""},
        {"ftp://host/", ""},
        {"http://user@host/", ""},
        {"http://host:0/", ""},
        {"http://host:99999/", ""},
        {"http://host/?x=1", ""},
        {"http:///AppData/", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        HttpUrl url;
        std::string error;
        const bool ok = ParseHttpUrl(c.url, url, error);
        EXPECT_EQ(ok, *c.base != '\0') << error;
        if (ok) {
            EXPECT_EQ(PackageBase(url), c.base);
        }
    }
}

TEST(ProgressBar, FillsInProportionAndFitsTheWidth) {
    EXPECT_EQ(RenderProgressBar(0, 4, 80, "a"), "[" + std::string(30, '.') + "] 0/4 a");
    EXPECT_EQ(RenderProgressBar(2, 4, 80, "b"),
              "[" + std::string(15, '#') + std::string(15, '.') + "] 2/4 b");
    EXPECT_EQ(RenderProgressBar(4, 4, 80, ""), "[" + std::string(30, '#') + "] 4/4 ");
    EXPECT_EQ(RenderProgressBar(1, 3, 36, "objects/abcdef").size(), 36u);
    // 说明 is two characters of three bytes each; none is cut in half.
    EXPECT_EQ(RenderProgressBar(1, 3, 45, "数据/说明.txt"),
              "[" + std::string(10, '#') + std::string(20, '.') + "] 1/3 数据/");
    std::ostringstream out;
    const auto bar = MakeBarProgress(out, 60);
    bar->Begin(2);
    bar->Checked(1, "x", true);
    bar->Report("problem");
    bar->End();
    EXPECT_EQ(out.str().find("\r\033[Kproblem\n"), out.str().find("problem") - 4);
    EXPECT_EQ(out.str().back(), 'K');  // the bar line is cleared at the end
}

// "tessaly-pack serve DIR --port 0" started as a child; its first line names the port.
struct ServeChild {
    std::unique_ptr<tessaly::test::ChildProcess> process;
    int port = 0;
    std::string Output() const { return process->Output() + process->ErrorOutput(); }
};

// Its output goes to `logs`.out and `logs`.err, which must not exist yet.
ServeChild StartServe(const fs::path& root, const fs::path& logs) {
    ServeChild child;
    child.process = std::make_unique<tessaly::test::ChildProcess>(
        std::vector<std::string>{TESSALY_PACK_PROGRAM, "serve", root.string(), "--port", "0"},
        tessaly::test::CurrentEnvironment(), logs.string() + ".out", logs.string() + ".err");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string output;
    while ((output = child.Output()).find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < deadline && child.process->Running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::size_t colon = output.find("127.0.0.1:");
    child.port = colon == std::string::npos
                     ? 0
                     : std::atoi(output.c_str() + colon + std::strlen("127.0.0.1:"));
    EXPECT_NE(child.port, 0) << output;
    return child;
}

// Sends `signal` and returns the exit code and all of the output.
ProgramRun StopServe(ServeChild& child, int signal) {
    kill(child.process->Pid(), signal);
    const bool ended = child.process->Wait(std::chrono::seconds(30));
    EXPECT_TRUE(ended) << "serve did not stop on signal " << signal;
    return {ended ? child.process->ExitCode() : -1, child.Output()};
}

class ServeCommand : public ::testing::TestWithParam<int> {};

TEST_P(ServeCommand, ServesForVerifyAndStopsCleanlyOnTheSignal) {
    const std::string signal = GetParam() == SIGTERM ? "SIGTERM" : "SIGINT";
    ScratchDir scratch;
    WriteTestFile(scratch / "staging/app.exe", "program");
    ASSERT_TRUE(BuildPackage({scratch / "staging", scratch / "out", {}}).problems.empty());
    ServeChild child = StartServe(scratch / "out", scratch / "serve");
    ASSERT_GT(child.process->Pid(), 0);
    EXPECT_TRUE(Ended(RunProgram("verify http://127.0.0.1:" + std::to_string(child.port) +
                                 " --against " + Quote(scratch / "out")),
                      0, {"1 file checked, all answered"}));
    EXPECT_TRUE(Ended(
        StopServe(child, GetParam()), 0,
        {"GET /AppData/objects/" + Sha("program") + " 200 7 \"ravavo\"", "stopped on " + signal}));
}

INSTANTIATE_TEST_SUITE_P(Signal, ServeCommand, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

// A command line given to the built program, and what it answers.
struct CommandLineRow {
    std::string arguments;
    int exitCode;
    std::string begins = "";    // the start of the output
    std::string contains = "";  // a part of the output
};

void PrintTo(const CommandLineRow& row, std::ostream* out) {
    *out << "tessaly-pack " << row.arguments;
}

class CommandLine : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(CommandLine, ExitsWithItsCodeAndSaysSo) {
    const ProgramRun run = RunProgram(GetParam().arguments);
    EXPECT_TRUE(Ended(run, GetParam().exitCode, {GetParam().contains}));
    EXPECT_EQ(run.output.rfind(GetParam().begins, 0), 0u) << run.output;
}

// Every command's usage and a refused option; the usages of build and sign state the limit of
// signing keys that the format sets. Then the command lines refused before any work.
std::vector<CommandLineRow> CommandLines() {
    const std::string most = std::to_string(MOST_SIGNATURE_LINES);
    std::vector<CommandLineRow> rows = {
        {"build --help", 0, "usage: tessaly-pack build STAGING_DIR OUT_DIR",
         "Up to " + most + " keys"},
        {"sign --help", 0, "usage: tessaly-pack sign", "up to " + most + ","},
    };
    for (const std::string command : {"check", "verify", "serve", "keygen", "publish", "gc"}) {
        rows.push_back({command + " --help", 0, "usage: tessaly-pack " + command});
    }
    for (const std::string command :
         {"build", "check", "verify", "serve", "keygen", "sign", "publish", "gc"}) {
        rows.push_back({command + " --no-such-option x", 2});
    }
    const CommandLineRow refused[] = {
        {"", 2},
        {"unpack", 2},
        {"--help", 0},
        {"verify https://127.0.0.1/", 2},
        {"serve /nonexistent --port 70000", 2},
        {"serve /nonexistent --rate fast", 2},
        {"serve /nonexistent --rate -1", 2},
        {"serve /nonexistent --rate 1.5", 2},
        {"serve /nonexistent --rate=", 2},
        {"check /nonexistent/FileList.txt", 1, "", "/nonexistent/FileList.txt: cannot be read"},
        {"build staging", 2},
        {"build a b --shortcut app.exe", 2},
        {"build a b --icon x", 2},
        {"build a b --expires 30", 2},
        {"build a b --sign /nonexistent.key", 2},
    };
    rows.insert(rows.end(), std::begin(refused), std::end(refused));
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Pack, CommandLine, ::testing::ValuesIn(CommandLines()));

TEST(CheckCommand, PrintsFileAndLineAndExitsOneOnFindings) {
    ScratchDir scratch;
    WriteTestFile(scratch / "FileList.txt", "1|bin|\r\n9|x|\r\n");
    const std::string check = "check " + Quote(scratch / "FileList.txt");
    EXPECT_TRUE(Ended(RunProgram(check), 1, {(scratch / "FileList.txt").string() + ":2: kind 9"}));
    WriteTestFile(scratch / "FileList.txt", "1|bin|\r\n");
    EXPECT_TRUE(Ended(RunProgram(check), 0));
}

}  // namespace
}  // namespace tessaly::pack::testing
