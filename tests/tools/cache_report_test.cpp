// How long a CDN may keep an answer, read from its headers, and the warnings verify gives for the
// index and the objects; then the warnings against tessaly-pack serve with a redirect to https://.
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "pack/cache_report.h"

namespace tessaly::pack::testing {
namespace {

TEST(CacheReport, LifetimesAndWarnings) {
    const struct {
        std::map<std::string, std::string> headers;
        std::int64_t lifetime;
        bool indexWarned;
        bool objectWarned;
    } rows[] = {
        {{{"cache-control", "no-cache"}}, 0, false, true},
        {{{"cache-control", "No-Store"}}, 0, false, true},
        {{{"cache-control", "private, max-age=86400"}}, 0, false, true},
        {{{"cache-control", "max-age=300"}}, 300, false, true},
        {{{"cache-control", "max-age=301"}}, 301, true, true},
        {{{"cache-control", "public, max-age=60, s-maxage=3600"}}, 3600, true, true},
        {{{"cache-control", "public, max-age=86400, s-maxage=0"}}, 0, false, true},
        {{{"cache-control", "public, max-age=31536000, immutable"}}, 31536000, true, false},
        {{{"cache-control", "max-age=\"600\""}}, 600, true, true},
        {{{"cache-control", "max-age=soon"}}, 0, false, true},
        {{}, -1, true, true},
        {{{"expires", "Thu, 10 Dec 2026 06:00:00 GMT"}, {"date", "Wed, 09 Dec 2026 06:00:00 GMT"}},
         86400,
         true,
         false},
        {{{"expires", "Wed, 09 Dec 2026 06:04:00 GMT"}, {"date", "Wed, 09 Dec 2026 06:00:00 GMT"}},
         240,
         false,
         true},
        {{{"expires", "0"}}, 0, false, true},
        // An Expires before Date: do not cache.
        {{{"expires", "Wed, 09 Dec 2026 05:00:00 GMT"}, {"date", "Wed, 09 Dec 2026 06:00:00 GMT"}},
         0,
         false,
         true},
        // Cache-Control wins over Expires.
        {{{"cache-control", "no-cache"}, {"expires", "Thu, 10 Dec 2026 06:00:00 GMT"}},
         0,
         false,
         true},
    };
    for (const auto& row : rows) {
        std::string trace;
        for (const auto& [name, value] : row.headers) {
            trace += name + ": " + value + "; ";
        }
        SCOPED_TRACE(trace);
        EXPECT_EQ(SharedCacheLifetime(row.headers), row.lifetime);
        EXPECT_EQ(!JudgeIndexCaching(row.headers).empty(), row.indexWarned);
        EXPECT_EQ(!JudgeObjectCaching(row.headers).empty(), row.objectWarned);
    }
}

// A server that caches the index for an hour, objects not at all, or redirects to https://.
TEST(CacheReport, WarningsFromAServer) {
    httplib::Server server;
    std::string indexCacheControl;
    server.Get("/(plain|redirect)/AppData/FileList.txt",
               [&](const httplib::Request& request, httplib::Response& response) {
                   if (request.matches[1] == "redirect") {
                       response.set_redirect("https://127.0.0.1/AppData/FileList.txt", 301);
                       return;
                   }
                   response.set_header("Cache-Control", indexCacheControl);
                   response.set_content("0|objects/x|x.bin\r\n", "text/plain");
               });
    server.Get("/plain/AppData/objects/x",
               [](const httplib::Request&, httplib::Response& response) {
                   response.set_header("Cache-Control", "max-age=60");
                   response.set_content("x", "application/octet-stream");
               });
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread thread([&] { server.listen_after_bind(); });
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);

    indexCacheControl = "max-age=3600";
    std::vector<std::string> warnings = CachingWarnings(origin + "/plain/AppData/");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("FileList.txt may be cached for 3600 s"), std::string::npos)
        << warnings[0];
    EXPECT_NE(warnings[1].find("/plain/AppData/objects/x: objects are not long-cacheable"),
              std::string::npos)
        << warnings[1];

    indexCacheControl = "no-cache";
    warnings = CachingWarnings(origin + "/plain/AppData/");
    ASSERT_EQ(warnings.size(), 1u);

    warnings = CachingWarnings(origin + "/redirect/AppData/");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("an http:// to https:// redirect (HTTP 301 to https://"),
              std::string::npos)
        << warnings[0];

    server.stop();
    thread.join();
}

}  // namespace
}  // namespace tessaly::pack::testing
