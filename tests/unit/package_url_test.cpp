// Composing the package's URLs from its base and an entry's server-side path.
#include <gtest/gtest.h>

#include <string>

#include "package/package_url.h"

namespace tessaly {
namespace {

TEST(ComposePackageUrl, SkipsEveryLeadingSeparatorAndKeepsTheRest) {
    const char* base = "http://packages.example:8080/AppData/";
    struct Case {
        const char* relative;
        const char* url;
    } cases[] = {
        {"/FileList.txt", "http://packages.example:8080/AppData/FileList.txt"},
        {"FileList.txt", "http://packages.example:8080/AppData/FileList.txt"},
        {"\\FileList.txt", "http://packages.example:8080/AppData/FileList.txt"},
        {"/\\//\\\\a//b\\c d%", "http://packages.example:8080/AppData/a//b\\c d%"},
        {"///", "http://packages.example:8080/AppData/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.relative);
        char url[URL_CAPACITY];
        ASSERT_TRUE(ComposePackageUrl(base, c.relative, url));
        EXPECT_STREQ(url, c.url);
    }
}

TEST(ComposePackageUrl, RefusesAUrlThatDoesNotFit) {
    const std::string base = "http://h/AppData/";
    const std::string fits(URL_CAPACITY - 1 - base.size(), 'x');
    char url[URL_CAPACITY];
    ASSERT_TRUE(ComposePackageUrl(base.c_str(), ("/" + fits).c_str(), url));
    EXPECT_EQ(std::string(url), base + fits);
    EXPECT_FALSE(ComposePackageUrl(base.c_str(), (fits + "x").c_str(), url));
    EXPECT_EQ(url[0], '\0');
}

}  // namespace
}  // namespace tessaly
