// FetchUrl under Wine against the loopback package server: what goes on the wire, which
// answers count, and how long a silent server is waited for. fetch_probe.exe makes the calls
// (one line per fetch: result, bytes left in the buffer, FNV-1a of the body, milliseconds).
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <random>
#include <sstream>

#include "support/loopback_server.h"
#include "support/wine_prefix.h"

namespace tessaly::test {
namespace {

using std::chrono::seconds;

struct Fetch {
    int result = -1;
    unsigned long long bytes = 0;
    std::uint64_t fnv1a = 0;
    long long ms = -1;
};

std::uint64_t Fnv1a64(const std::string& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char byte : bytes) {
        hash = (hash ^ byte) * 0x100000001b3ull;
    }
    return hash;
}

// Runs fetch_probe.exe on the paths in one process and reads back one line per path.
std::vector<Fetch> FetchWithProbe(const std::vector<std::string>& paths) {
    const CommandResult run =
        SharedWinePrefix().Run(WineBuildPath("tests/fetch_probe.exe"), paths, seconds(180));
    EXPECT_TRUE(run.finished) << "fetch_probe did not end";
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::vector<Fetch> fetches;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        Fetch fetch;
        if (std::sscanf(line.c_str(), "result=%d bytes=%llu fnv1a=%" SCNx64 " ms=%lld",
                        &fetch.result, &fetch.bytes, &fetch.fnv1a, &fetch.ms) == 4) {
            fetches.push_back(fetch);
        }
    }
    EXPECT_EQ(fetches.size(), paths.size()) << run.output;
    fetches.resize(paths.size());
    return fetches;
}

Fetch FetchOne(const std::string& path) {
    return FetchWithProbe(std::vector<std::string>{path})[0];
}

void ExpectFailedAndEmpty(const Fetch& fetch) {
    EXPECT_EQ(fetch.result, 0);
    EXPECT_EQ(fetch.bytes, 0u) << "a failed fetch must leave the buffer empty";
}

class FetchUrlTest : public ::testing::Test {
  protected:
    void SetUp() override { SharedWinePrefix(); }
};

TEST_F(FetchUrlTest, RequestIsAGetOfTheIndexWithTheAgentText) {
    LoopbackServer server;
    const std::string index = "1|bin|\r\n0|app/main.exe|bin\\main.exe\r\n";
    server.ServeBody("/AppData/FileList.txt", 200, index, "text/plain");

    const Fetch fetch = FetchOne("/FileList.txt");
    EXPECT_EQ(fetch.result, 1);
    EXPECT_EQ(fetch.bytes, index.size());
    EXPECT_EQ(fetch.fnv1a, Fnv1a64(index));

    const std::vector<RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/AppData/FileList.txt");
    EXPECT_EQ(requests[0].userAgent, "ravavo");
    EXPECT_EQ(requests[0].headers.count("Host"), 1u);
}

TEST_F(FetchUrlTest, TwoFetchesOfOnePathBothReachTheServer) {
    LoopbackServer server;
    server.ServeBody("/AppData/FileList.txt", 200, "0|a|a\r\n", "text/plain");

    const std::vector<Fetch> fetches = FetchWithProbe({"/FileList.txt", "\\/FileList.txt"});
    for (const Fetch& fetch : fetches) {
        EXPECT_EQ(fetch.result, 1);
    }
    EXPECT_EQ(server.RequestsFor("/AppData/FileList.txt").size(), 2u)
        << "the second fetch must not be answered from a cache";
}

TEST_F(FetchUrlTest, ErrorStatusesFailWhateverTheirBody) {
    LoopbackServer server;
    server.ServeBody("/AppData/missing.txt", 404, "<html><body>Not Found</body></html>",
                     "text/html");
    server.ServeBody("/AppData/broken.txt", 500, "<html><body>Server Error</body></html>",
                     "text/html");
    // A redirect is followed as WinINet does by default; what counts is where it ends.
    server.ServeRedirect("/AppData/moved.txt", 302, "/AppData/missing.txt");

    const std::vector<std::string> paths = {"missing.txt", "broken.txt", "moved.txt"};
    const std::vector<Fetch> fetches = FetchWithProbe(paths);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        ExpectFailedAndEmpty(fetches[i]);
    }
    EXPECT_EQ(server.RequestsFor("/AppData/missing.txt").size(), 2u);
    EXPECT_EQ(server.RequestsFor("/AppData/broken.txt").size(), 1u);
}

TEST_F(FetchUrlTest, RedirectToAFileGivesTheFile) {
    LoopbackServer server;
    server.ServeRedirect("/AppData/old.bin", 301, "/AppData/new.bin");
    server.ServeBody("/AppData/new.bin", 200, "moved here");
    const Fetch fetch = FetchOne("old.bin");
    EXPECT_EQ(fetch.result, 1);
    EXPECT_EQ(fetch.fnv1a, Fnv1a64("moved here"));
}

TEST_F(FetchUrlTest, EmptyBodyFails) {
    LoopbackServer server;
    server.ServeBody("/AppData/empty.txt", 200, "");
    ExpectFailedAndEmpty(FetchOne("empty.txt"));
    EXPECT_EQ(server.RequestsFor("/AppData/empty.txt").size(), 1u);
}

TEST_F(FetchUrlTest, BodyCutShortOfItsContentLengthFails) {
    LoopbackServer server;
    server.ServeTruncated("/AppData/cut.bin", 100000, 1000);
    ExpectFailedAndEmpty(FetchOne("cut.bin"));
    EXPECT_EQ(server.RequestsFor("/AppData/cut.bin").size(), 1u);
}

TEST_F(FetchUrlTest, BodyThatStallsMidwayFailsAfterAboutFourSeconds) {
    LoopbackServer server;
    server.ServeStalling("/AppData/stall.bin", std::string(100000, 's'), 1000, seconds(20));
    const Fetch fetch = FetchOne("stall.bin");
    ExpectFailedAndEmpty(fetch);
    EXPECT_GE(fetch.ms, 3000);
    EXPECT_LE(fetch.ms, 9000);
    std::printf("[figure] stalled body given up after %lld ms\n", fetch.ms);
}

TEST_F(FetchUrlTest, ServerThatNeverAnswersFailsAfterAboutFourSeconds) {
    {
        SCOPED_TRACE("request read, never answered");
        LoopbackServer server;
        server.ServeNoAnswer("/AppData/silent.txt");
        const Fetch fetch = FetchOne("silent.txt");
        ExpectFailedAndEmpty(fetch);
        EXPECT_GE(fetch.ms, 3000);
        EXPECT_LE(fetch.ms, 9000);
        EXPECT_EQ(server.RequestsFor("/AppData/silent.txt").size(), 1u);
        std::printf("[figure] silent server given up after %lld ms\n", fetch.ms);
    }
    {
        SCOPED_TRACE("connection accepted, nothing read");
        SilentPort port;
        const Fetch fetch = FetchOne("silent.txt");
        ExpectFailedAndEmpty(fetch);
        EXPECT_GE(fetch.ms, 3000);
        EXPECT_LE(fetch.ms, 9000);
        EXPECT_GE(port.AcceptedCount(), 1);
        std::printf("[figure] silent socket given up after %lld ms\n", fetch.ms);
    }
}

TEST_F(FetchUrlTest, RefusedConnectionFails) {
    // Nothing listens on the port.
    ExpectFailedAndEmpty(FetchOne("FileList.txt"));
}

TEST_F(FetchUrlTest, UrlThatDoesNotFitIsRefusedWithoutARequest) {
    LoopbackServer server;
    const std::string longPath(600, 'a');
    server.ServeBody("/AppData/" + longPath, 200, "never");
    ExpectFailedAndEmpty(FetchOne(longPath));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(FetchUrlTest, LargeBodyArrivesByteForByte) {
    std::string body(64u << 20, '\0');
    std::mt19937_64 random(20240601);
    for (std::size_t i = 0; i < body.size(); i += 8) {
        const std::uint64_t word = random();
        for (int k = 0; k < 8; ++k) {
            body[i + k] = static_cast<char>(word >> (8 * k));
        }
    }
    const std::uint64_t expected = Fnv1a64(body);
    LoopbackServer server;
    server.ServeBody("/AppData/big.bin", 200, std::move(body));
    const Fetch fetch = FetchOne("big.bin");
    EXPECT_EQ(fetch.result, 1);
    EXPECT_EQ(fetch.bytes, 64u << 20);
    EXPECT_EQ(fetch.fnv1a, expected);
    std::printf("[figure] 64 MiB fetched in %lld ms\n", fetch.ms);
}

}  // namespace
}  // namespace tessaly::test
