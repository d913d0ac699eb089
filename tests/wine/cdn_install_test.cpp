// Object storage behind a CDN, end to end: tessaly-pack publishes a signed package to s3rver, nginx
// in front of it caches as a CDN does (proxy_cache, honouring the Cache-Control that publish set),
// and the keyed installer under Wine installs release 1 through nginx. Release 2 changes one file:
// the installer then gets the new index (never cached) and the new object from the origin, and
// every unchanged object from nginx's cache, as its log of cache statuses shows.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/installer_run.h"
#include "support/process.h"
#include "support/screenshot.h"
#include "support/virtual_screen.h"
#include "support/wine_prefix.h"
#include "tools/pack_test_support.h"
#include "tools/s3_fixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace tessaly::test {
namespace {

constexpr char BUCKET[] = "cdn";

// nginx on the test port, as a CDN in front of the bucket's AppData/: its own configuration, cache
// and logs in `folder`, one access log line per request: "URI STATUS CACHE_STATUS".
class CachingProxy {
  public:
    CachingProxy(const fs::path& folder, int originPort) : folder_(folder) {
        fs::create_directories(folder_ / "cache");
        const std::string root = folder_.string();
        std::ostringstream conf;
        conf << "daemon off;\n"
             << "worker_processes 1;\n"
             << (geteuid() == 0 ? "user root;\n" : "")  // the cache folder is the test's own
             << "pid " << root << "/nginx.pid;\n"
             << "error_log " << root << "/error.log;\n"
             << "events { worker_connections 64; }\n"
             << "http {\n"
             << "  log_format cdn '$uri $status $upstream_cache_status';\n"
             << "  access_log " << root << "/access.log cdn;\n"
             << "  client_body_temp_path " << root << "/client;\n"
             << "  proxy_temp_path " << root << "/proxy;\n"
             << "  fastcgi_temp_path " << root << "/fastcgi;\n"
             << "  uwsgi_temp_path " << root << "/uwsgi;\n"
             << "  scgi_temp_path " << root << "/scgi;\n"
             << "  proxy_cache_path " << root << "/cache keys_zone=cdn:1m use_temp_path=off;\n"
             << "  server {\n"
             << "    listen 127.0.0.1:" << TESSALY_TEST_PORT << ";\n"
             << "    location /AppData/ {\n"
             << "      proxy_pass http://127.0.0.1:" << originPort << "/" << BUCKET
             << "/AppData/;\n"
             << "      proxy_http_version 1.1;\n"
             << "      proxy_cache cdn;\n"
             << "    }\n"
             << "  }\n"
             << "}\n";
        WriteTestFile(folder_ / "nginx.conf", conf.str());
        nginx_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"nginx", "-p", root, "-c", root + "/nginx.conf", "-e",
                                     root + "/error.log"},
            CurrentEnvironment(), root + "/nginx.out", root + "/nginx.err");
        httplib::Client client("127.0.0.1", TESSALY_TEST_PORT);
        client.set_connection_timeout(1s);
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!client.Get("/")) {
            if (!nginx_->Running() || std::chrono::steady_clock::now() > deadline) {
                throw std::runtime_error("nginx did not start: " + nginx_->ErrorOutput() +
                                         ReadWholeFile(folder_ / "error.log"));
            }
            std::this_thread::sleep_for(100ms);
        }
    }

    // The cache status of every request for `uri` logged since the last call, in order.
    std::map<std::string, std::vector<std::string>> TakeLog() {
        const std::string log = ReadWholeFile(folder_ / "access.log");
        std::istringstream lines(log.substr(logRead_));
        logRead_ = log.size();
        std::map<std::string, std::vector<std::string>> statuses;
        std::string uri, status, cache;
        while (lines >> uri >> status >> cache) {
            statuses[uri].push_back(status + " " + cache);
        }
        return statuses;
    }

  private:
    fs::path folder_;
    std::unique_ptr<ChildProcess> nginx_;
    std::size_t logRead_ = 0;
};

class CdnInstallTest : public testing::Test {
  protected:
    static WinePrefix& prefix() { return SharedWinePrefix(SharedVirtualScreen().Display()); }

    void SetUp() override {
        prefix().ResetInstallation();
        work_ = fs::path(prefix().Root()) / "cdn-install";
        fs::remove_all(work_);
    }
    void TearDown() override { prefix().KillAll(); }

    // Builds and signs release `number` of `files`, then publishes it to the bucket.
    void Publish(int number, const std::map<std::string, std::string>& files) {
        const fs::path staging = work_ / ("staging" + std::to_string(number));
        const fs::path out = work_ / ("release" + std::to_string(number));
        for (const auto& [path, bytes] : files) {
            WriteTestFile(staging / path, bytes);
        }
        const CommandResult built = RunCommand({TESSALY_PACK_PROGRAM, "build", staging.string(),
                                                out.string(), "--sign", TESSALY_TEST_INDEX_KEY});
        ASSERT_TRUE(built.finished && built.exitCode == 0) << built.output;
        const CommandResult published = RunCommand(
            {TESSALY_PACK_PROGRAM, "publish", out.string(), LoopbackS3::Remote(BUCKET)}, 120s);
        ASSERT_TRUE(published.finished && published.exitCode == 0) << published.output;
    }

    // Runs the keyed installer to its end (its log and screens named `run`) and compares what it
    // installed with `files`.
    void Install(const std::string& run, const std::map<std::string, std::string>& files) {
        prefix().ResetInstallation();
        InstallerRun installer(
            prefix(), SharedVirtualScreen().Display(),
            CopyInstaller(prefix().HostPath("C:\\cdninstall"), InstallerBuild::Keyed), run);
        ASSERT_TRUE(installer.ToExit(180s));
        for (const auto& [path, bytes] : files) {
            const fs::path installed = prefix().HostPath(prefix().InstallDir() + "\\" + path);
            EXPECT_TRUE(ReadWholeFile(installed) == bytes) << path << " not installed as published";
        }
    }

    static std::string Object(const std::string& bytes) {
        return "/AppData/objects/" + pack::testing::Sha(bytes);
    }

    fs::path work_;
};

TEST_F(CdnInstallTest, SecondReleaseTakesUnchangedObjectsFromTheCache) {
    LoopbackS3 s3;
    CachingProxy cdn(work_ / "nginx", s3.OriginPort());
    std::map<std::string, std::string> files = {
        {"bin\\Tessaly.exe", "MZ" + std::string(200000, 't')},
        {"data\\level.dat", std::string(50000, 'l')},
        {"readme.txt", "release 1\r\n"},
    };
    std::map<std::string, std::string> staged;
    const auto stage = [&] {
        staged.clear();
        for (const auto& [path, bytes] : files) {
            std::string slashed = path;
            std::replace(slashed.begin(), slashed.end(), '\\', '/');
            staged[slashed] = bytes;
        }
    };
    stage();
    ASSERT_NO_FATAL_FAILURE(Publish(1, staged));

    // The publisher's check through the CDN: every file answers, and the headers are right.
    const std::string base = "http://127.0.0.1:" + std::to_string(TESSALY_TEST_PORT) + "/";
    const CommandResult verified = RunCommand({TESSALY_PACK_PROGRAM, "verify", base, "--key",
                                               std::string(TESSALY_TEST_INDEX_KEY) + ".pub"});
    EXPECT_EQ(verified.exitCode, 0) << verified.output;
    EXPECT_EQ(verified.output.find("warning:"), std::string::npos) << verified.output;
    ASSERT_NO_FATAL_FAILURE(Install("cdn_release1", files));
    for (const auto& [uri, statuses] : cdn.TakeLog()) {
        if (uri == "/AppData/FileList.txt") {
            EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "200 HIT"), 0) << "index cached";
        }
    }

    // Release 2's new object is asked for before it exists: the CDN must not keep that 404.
    files["readme.txt"] = "release 2\r\n";
    httplib::Client client("127.0.0.1", TESSALY_TEST_PORT);
    const httplib::Result early = client.Get(Object(files["readme.txt"]));
    ASSERT_TRUE(early);
    EXPECT_EQ(early->status, 404);
    stage();
    ASSERT_NO_FATAL_FAILURE(Publish(2, staged));
    cdn.TakeLog();
    ASSERT_NO_FATAL_FAILURE(Install("cdn_release2", files));

    const std::map<std::string, std::vector<std::string>> log = cdn.TakeLog();
    const auto statuses = [&](const std::string& uri) {
        const auto found = log.find(uri);
        return found == log.end() ? std::vector<std::string>() : found->second;
    };
    EXPECT_EQ(statuses("/AppData/FileList.txt"), std::vector<std::string>{"200 MISS"});
    EXPECT_EQ(statuses(Object(files["readme.txt"])), std::vector<std::string>{"200 MISS"});
    for (const char* unchanged : {"bin\\Tessaly.exe", "data\\level.dat"}) {
        EXPECT_EQ(statuses(Object(files[unchanged])), std::vector<std::string>{"200 HIT"})
            << unchanged;
    }
}

}  // namespace
}  // namespace tessaly::test
