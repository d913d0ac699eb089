// FetchUrl under Wine: what goes on the wire, which answers count, how long silence is waited for.
// It runs against the loopback package server; fetch_probe.exe makes the calls (one line per
// fetch: result, bytes left in the buffer, FNV-1a of the body, milliseconds).
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
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

TEST_F(FetchUrlTest, RedirectToAFileGivesTheFile) {
    LoopbackServer server;
    server.ServeRedirect("/AppData/old.bin", 301, "/AppData/new.bin");
    server.ServeBody("/AppData/new.bin", 200, "moved here");
    const Fetch fetch = FetchOne("old.bin");
    EXPECT_EQ(fetch.result, 1);
    EXPECT_EQ(fetch.fnv1a, Fnv1a64("moved here"));
}

// A fetch that fails, seen from the fetch itself where the fault matrix's rows see only the failed
// install: the buffer is left empty (a body that came with the failure included), the server saw
// the requests given, and a silent server is given up after about four seconds. The faults whose
// install the matrix runs (500, an empty body, nothing listening) are run there only. Each row is
// a test of its own, named by its id.
struct FailingFetch {
    std::string id;
    std::string path;  // as the probe passes it, under the package's base
    std::function<void(LoopbackServer&)> serve;
    ServerKind server = ServerKind::Http;
    std::map<std::string, std::size_t> requests;  // requests per path the server must have seen
    bool givenUpAfterTheTimeOut = false;          // the fetch ends after about four seconds
};

void PrintTo(const FailingFetch& f, std::ostream* out) {
    *out << f.id;
}

class FetchFailure : public FetchUrlTest, public testing::WithParamInterface<FailingFetch> {};

TEST_P(FetchFailure, LeavesTheBufferEmpty) {
    const FailingFetch& f = GetParam();
    const PortAnswer answer(f.server);
    LoopbackServer* const http = answer.http.get();
    if (http) {
        f.serve(*http);
    }
    const Fetch fetch = FetchOne(f.path);
    EXPECT_EQ(fetch.result, 0);
    EXPECT_EQ(fetch.bytes, 0u) << "a failed fetch must leave the buffer empty";
    if (f.givenUpAfterTheTimeOut) {
        EXPECT_GE(fetch.ms, 3000);
        EXPECT_LE(fetch.ms, 9000);
        std::printf("[figure] %s given up after %lld ms\n", f.id.c_str(), fetch.ms);
    }
    if (http) {
        EXPECT_EQ(http->Requests().size(), [&] {
            std::size_t all = 0;
            for (const auto& [path, count] : f.requests) {
                all += count;
            }
            return all;
        }());
        for (const auto& [path, count] : f.requests) {
            EXPECT_EQ(http->RequestsFor(path).size(), count) << path;
        }
    }
    if (answer.silent) {
        EXPECT_GE(answer.silent->AcceptedCount(), 1);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, FetchFailure, testing::Values(
    FailingFetch{"Status404", "missing.txt", [](LoopbackServer& s) { s.ServeBody("/AppData/missing.txt", 404, "<html><body>Not Found</body></html>", "text/html"); }, ServerKind::Http, {{"/AppData/missing.txt", 1}}},
    // A redirect is followed as WinINet does by default; what counts is where it ends.
    FailingFetch{"RedirectTo404", "moved.txt", [](LoopbackServer& s) { s.ServeRedirect("/AppData/moved.txt", 302, "/AppData/missing.txt"); s.ServeBody("/AppData/missing.txt", 404, "<html><body>Not Found</body></html>", "text/html"); }, ServerKind::Http, {{"/AppData/moved.txt", 1}, {"/AppData/missing.txt", 1}}},
    FailingFetch{"CutShortOfContentLength", "cut.bin", [](LoopbackServer& s) { s.ServeTruncated("/AppData/cut.bin", 100000, 1000); }, ServerKind::Http, {{"/AppData/cut.bin", 1}}},
    FailingFetch{"StallsMidway", "stall.bin", [](LoopbackServer& s) { s.ServeStalling("/AppData/stall.bin", std::string(100000, 's'), 1000, seconds(20)); }, ServerKind::Http, {{"/AppData/stall.bin", 1}}, true},
    FailingFetch{"RequestReadNeverAnswered", "silent.txt", [](LoopbackServer& s) { s.ServeNoAnswer("/AppData/silent.txt"); }, ServerKind::Http, {{"/AppData/silent.txt", 1}}, true},
    FailingFetch{"AcceptedNothingRead", "silent.txt", nullptr, ServerKind::Silent, {}, true},
    FailingFetch{"UrlDoesNotFit", std::string(600, 'a'), [](LoopbackServer& s) { s.ServeBody("/AppData/" + std::string(600, 'a'), 200, "never"); }, ServerKind::Http, {}}),
    [](const testing::TestParamInfo<FailingFetch>& row) { return row.param.id; });
// clang-format on

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
