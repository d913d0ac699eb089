// tessaly-pack check: each problem of a hand-written index is reported on the line an editor shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pack/index_check.h"
#include "pack/index_signing.h"
#include "tools/pack_test_support.h"

namespace tessaly::pack {
namespace {

struct Expected {
    int line;
    const char* part;  // a part of the message
};

void ExpectFindings(const std::string& index, const std::vector<Expected>& expected,
                    const CheckOptions& options = {}) {
    const std::vector<Finding> findings = CheckFileList(index, options);
    std::string all;
    for (const Finding& finding : findings) {
        all += FormatFinding("FileList.txt", finding) + "\n";
    }
    SCOPED_TRACE(all);
    ASSERT_EQ(findings.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(findings[i].line, expected[i].line);
        EXPECT_NE(findings[i].message.find(expected[i].part), std::string::npos)
            << findings[i].message;
    }
}

TEST(CheckFileList, ReportsEverySkippedOrUselessLineWhereAnEditorShowsIt) {
    const std::string index =
        "\xEF\xBB\xBF"
        "1|bin|\r\n"                  // 1
        "0|objects/a|bin\\a.exe\r\n"  // 2
        "x|foo|bar\r\n"               // 3
        " 0|foo|bar\n"                // 4
        "0\r"                         // 5
        "0|\r\n"                      // 6
        "0||x\r\n"                    // 7
        "0|" +
        std::string(256, 'p') +
        "|x\r\n"  // 8
        "0|p|" +
        std::string(128, 'l') +
        "\r\n"                               // 9
        "\r\n"                               // 10, empty: not a problem
        "5|whatever|\r\n"                    // 11
        "0|objects/b|..\\evil.dll\r\n"       // 12
        "2|missing.exe|Link\r\n"             // 13
        "3|nothere.exe|\r\n"                 // 14
        "12|data|\r\n"                       // 15
        "0|objects/c|data\\x.txt|extra\r\n"  // 16
        "1|a\\b|\r\n"                        // 17
        "1|A|\r\n"                           // 18
        "0|objects/d|a\\B\\y.txt\r\n"        // 19
        "2|a\\b\\Y.TXT|Y\r\n"                // 20
        "3|DATA\\X.txt|\r\n";                // 21
    ExpectFindings(index, {
                              {1, "UTF-8 byte-order mark"},
                              {2, "no earlier Folder entry creates"},
                              {3, "does not begin with a kind digit"},
                              {4, "begins with a space"},
                              {5, "no \"|\""},
                              {6, "no \"|\""},
                              {7, "path column is empty"},
                              {8, "path column is 256 bytes; its field holds 255"},
                              {9, "local column is 128 bytes; its field holds 127"},
                              {11, "kind 5: the installer keeps this line but no install step"},
                              {12, "unsafe"},
                              {13, "shortcut to \"missing.exe\", which no entry"},
                              {14, "launch of \"nothere.exe\", which no entry"},
                              {15, "only its first digit, kind 1"},
                              {16, "4 columns"},
                              {17,
                               "lies in folder \"a\", which no earlier Folder entry creates "
                               "(line 18 creates it too late)"},
                          });
}

// An index, and what check finds in it as a whole or in its entries' names.
struct FindingsRow {
    const char* name;
    std::string index;
    std::vector<Expected> expected;
};

class IndexFindings : public ::testing::TestWithParam<FindingsRow> {};

TEST_P(IndexFindings, AreReportedOnTheirLines) {
    ExpectFindings(GetParam().index, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    CheckFileList, IndexFindings,
    ::testing::ValuesIn(std::vector<FindingsRow>{
        {"empty", "", {{0, "the index is empty"}}},
        {"utf16",
         std::string("\xFF\xFE"
                     "1\0|\0",
                     6),
         {{1, "UTF-16"}}},
        {"only_line_ends", "\r\n\r\n", {{0, "no line gives an entry"}}},
        {"a_comment", "# a comment\n", {{1, "no \"|\""}, {0, "no line gives an entry"}}},
        {"a_download_and_its_link", "0|objects/a|a.exe\r\n2|a.exe|A\r\n", {}},
        {"only_links",
         "2|a.exe|A\r\n3|a.exe|\r\n",
         {{1, "shortcut to \"a.exe\", which no entry"},
          {2, "launch of \"a.exe\", which no entry"},
          {0, "no Download or Folder entry"}}},
        {"a_zero_byte",
         std::string("1|a|\r\n0|p|a\\x\r\n\0"
                     "0|q|y\r\n",
                     23),
         {{3, "a zero byte ends the index here: the installer ignores the 7 bytes"}}},
        {"same_name_in_other_case",
         "0|p|a.txt\n0|q|A.TXT\n",
         {{2, "replaces the file installed by line 1"}}},
        // 数据 written in UTF-8 instead of code page 936, then in code page 936.
        {"utf8_name", "1|\xE6\x95\xB0\xE6\x8D\xAE|\n", {{1, "looks like UTF-8"}}},
        {"cp936_name", "1|\xCA\xFD\xBE\xDD|\n", {}},
        {"invalid_cp936", "1|a\xFF|\n", {{1, "not valid code page 936"}}},
        // D7 FA is a lead and a trail byte, but code page 936 has no character there.
        {"no_character", "1|a\xD7\xFA|\n", {{1, "no character"}}},
    }),
    [](const ::testing::TestParamInfo<FindingsRow>& info) { return info.param.name; });

TEST(CheckFileList, SignedReportsWhatAKeyedInstallerRefuses) {
    testing::ScratchDir dir;
    std::string error;
    ASSERT_TRUE(GenerateKeyPair(dir / "a.key", error) && GenerateKeyPair(dir / "b.key", error))
        << error;
    const SigningKey key = LoadPrivateKey(dir / "a.key", error);
    const SigningKey publicKey = LoadPublicKey(dir / "a.key.pub", error);
    const SigningKey otherKey = LoadPublicKey(dir / "b.key.pub", error);
    const SigningKey otherPrivate = LoadPrivateKey(dir / "b.key", error);
    ASSERT_TRUE(key && publicKey && otherKey && otherPrivate) << error;
    const std::uint64_t expires = 2000000000;
    const std::string object = "0|objects/" + testing::Sha("x") + "|x.exe\r\n";
    const std::string good = SignIndex(object, key.get(), expires, error);
    const std::string signature = good.substr(object.size());
    std::string changed = good;
    changed[2] = 'O';  // "Objects/…": still content-addressed, no longer what was signed

    // Without --signed, the signature line is what an installer without a key skips silently.
    ExpectFindings(good, {});
    ExpectFindings(object + "#signature junk\r\n", {{2, "skipped by the installer"}});
    const CheckOptions keyed{true, nullptr, 0};
    struct Case {
        const char* what;
        std::string index;
        std::vector<Expected> expected;
    } cases[] = {
        {"good", good, {}},
        {"unsigned", object, {{0, "no signature line at the end"}}},
        {"followed by an empty line", good + "\r\n", {{2, "a signature line before other lines"}}},
        {"duplicate and malformed",
         signature + object + "#signature v2\r\n",
         {{1, "a signature line before other lines"}, {3, "does not read as"}}},
        {"nine lines",
         object + signature + signature + signature + signature + signature + signature +
             signature + signature + signature,
         {{2, "9 signature lines: an installer built with a key reads at most 8"}}},

        {"not content-addressed",
         SignIndex("0|bin/x.exe|x.exe\r\n0|objects/" + testing::Sha("x") + "0|y.exe\r\n", key.get(),
                   expires, error),
         {{1, "the download path \"bin/x.exe\" does not end in the SHA-256"},
          {2, "does not end in the SHA-256"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectFindings(c.index, c.expected, keyed);
    }
    // Without a key to judge by, each line's expiry is judged on its own.
    const std::string expiredPart =
        "the signature by key " + KeyId(key.get()) + " expired on 1970-01-01 00:00 UTC";
    std::string expired = SignIndex(object, {key.get(), otherPrivate.get()}, 1, error);
    ExpectFindings(expired,
                   {{2, expiredPart.c_str()}, {3, "installers that hold only that key refuse"}},
                   {true, nullptr, 1});
    // CR line ends read as the installer reads them.
    expired.erase(std::remove(expired.begin(), expired.end(), '\n'), expired.end());
    ExpectFindings(expired, {{2, expiredPart.c_str()}, {3, "expired on"}}, {true, nullptr, 1});

    // With the public key, the signature is verified too; its finding is on the signature line.
    const std::string otherKeyPart = "signed with key " + KeyId(key.get());
    struct KeyCase {
        const char* what;
        std::string index;
        EVP_PKEY* key;
        std::uint64_t now;
        const char* part;  // empty when nothing is found
    } keyCases[] = {
        {"good", good, publicKey.get(), expires - 1, ""},
        {"expired", good, publicKey.get(), expires,
         "the signature expired on 2033-05-18 03:33 UTC"},
        {"other key", good, otherKey.get(), 0, otherKeyPart.c_str()},
        {"changed", changed, publicKey.get(), 0, "signature does not verify"},
    };
    for (const KeyCase& c : keyCases) {
        SCOPED_TRACE(c.what);
        ExpectFindings(c.index,
                       *c.part == '\0' ? std::vector<Expected>{} : std::vector{Expected{2, c.part}},
                       {true, c.key, c.now});
    }
}

}  // namespace
}  // namespace tessaly::pack
