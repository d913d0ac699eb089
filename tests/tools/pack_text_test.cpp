// Code page 936 conversion, name rules, path keys, per-entry limits and the words for a
// signature's validity.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/cp936.h"
#include "pack/entry_limits.h"
#include "pack/local_names.h"
#include "pack/signature_report.h"

namespace tessaly::pack {
namespace {

TEST(Cp936, ChineseNamesBecomeTheirCodePageBytes) {
    std::string cp936;
    ASSERT_TRUE(Utf8ToCp936("数据\\子目录\\文件.txt", cp936));
    EXPECT_EQ(cp936, "\xCA\xFD\xBE\xDD\\\xD7\xD3\xC4\xBF\xC2\xBC\\\xCE\xC4\xBC\xFE.txt");
    std::string back;
    ASSERT_TRUE(Cp936ToUtf8(cp936, back));
    EXPECT_EQ(back, "数据\\子目录\\文件.txt");
    EXPECT_EQ(Cp936CharacterCount(cp936), 13u);
}

TEST(Cp936, RefusesWhatTheCodePageCannotHold) {
    std::string cp936;
    EXPECT_FALSE(Utf8ToCp936("emoji \xF0\x9F\x98\x80", cp936));
    EXPECT_FALSE(Utf8ToCp936("\xFF not utf-8", cp936));
    EXPECT_FALSE(Cp936ToUtf8("\x81", cp936));  // a lead byte without its second byte
    EXPECT_EQ(Cp936ForDisplay("a\x81"), "a\\x81");
}

TEST(Cp936, FindsSecondBytesThatLookLikeSeparators) {
    // 亅 is 81 7C and 乗 is 81 5C; a lone "|" or backslash is not a second byte.
    EXPECT_EQ(FindTrailByte("ab\x81\x7C", '|'), 2u);
    EXPECT_EQ(FindTrailByte("a|\x81\x5C", '|'), std::string::npos);
    EXPECT_EQ(FindTrailByte("\x81\x5C", '\\'), 0u);
    EXPECT_EQ(FindTrailByte("\\\xD6\xD0", '\\'), std::string::npos);
}

TEST(LocalNames, WindowsNameProblems) {
    struct Case {
        const char* name;
        const char* problem;  // a part of the message; empty when the name is fine
    } cases[] = {
        {"main.exe", ""},
        {"数据 文件.txt", ""},
        {"", "is empty"},
        {"a|b", "\"|\""},
        {"a\nb", "line break"},
        {"a\rb", "line break"},
        {"a\\b", "folder separator"},
        {"a\tb", "control character"},
        {"a?b", "\"?\", which Windows does not allow"},
        {"a:b", "\":\""},
        {"name.", "ends with a dot or a space"},
        {"name ", "ends with a dot or a space"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string problem = WindowsNameProblem(c.name);
        if (*c.problem == '\0') {
            EXPECT_EQ(problem, "");
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        }
    }
    EXPECT_NE(Cp936NameProblem("\x81\x7C.txt").find("\"|\""), std::string::npos);
    EXPECT_NE(Cp936NameProblem("\x81\x5C.txt").find("backslash"), std::string::npos);
    EXPECT_EQ(Cp936NameProblem("\xD6\xD0.txt"), "");
}

TEST(LocalNames, KeysFollowWindowsNameRules) {
    EXPECT_EQ(LocalPathKey("Bin\\Main.exe"), LocalPathKey("bin/MAIN.EXE"));
    // Letter case beyond ASCII, as NTFS folds it: fullwidth ａ/Ａ (A3 E1, A3 C1), Greek α/Α (A6 C1,
    // A6 A1), Cyrillic а/А (A7 D1, A7 A1), Roman numerals ⅰ/Ⅰ (A2 A1, A2 F1); ａ is not a.
    EXPECT_EQ(LocalPathKey("\xA3\xE1.txt"), LocalPathKey("\xA3\xC1.txt"));
    EXPECT_EQ(LocalPathKey("\xA6\xC1\\x"), LocalPathKey("\xA6\xA1\\x"));
    EXPECT_EQ(LocalPathKey("\xA7\xD1"), LocalPathKey("\xA7\xA1"));
    EXPECT_EQ(LocalPathKey("\xA2\xA1"), LocalPathKey("\xA2\xF1"));
    EXPECT_NE(LocalPathKey("\xA3\xE1"), LocalPathKey("a"));
    // The UTF-8 of 数1 is no code page 936 text; its key is not that of 数1 (CA FD 31).
    EXPECT_NE(LocalPathKey("\xE6\x95\xB0\x31"), LocalPathKey("\xCA\xFD\x31"));
    EXPECT_EQ(LocalPathKey("a\\\\.\\b\\"), "A\\B");
    EXPECT_EQ(ParentKey("a\\b\\c.txt"), "A\\B");
    EXPECT_EQ(ParentKey("c.txt"), "");
    // The second byte of 乗 (81 5C) is a backslash and that of CF 67 the letter g: neither splits
    // the path nor changes case.
    EXPECT_EQ(SplitLocalPath("\x81\x5C\\x"), (std::vector<std::string>{"\x81\x5C", "x"}));
    EXPECT_NE(LocalPathKey("\xCF\x67"), LocalPathKey("\xCF\x47"));
    EXPECT_FALSE(HasSeparator("\x81\x5C"));
    EXPECT_TRUE(HasSeparator("a/b"));
}

TEST(EntryLimits, PathsMustFitUnderALongProgramFilesPath) {
    // Install dir 64 + "\Tessaly\" = 73 bytes; desktop dir 64 + "\" = 65 bytes.
    struct Case {
        IndexEntry entry;
        const char* problem;  // empty when the entry is fine
    } cases[] = {
        {{Folder, std::string(182, 'f'), ""}, ""},
        {{Folder, std::string(183, 'f'), ""}, "folder path of 256 bytes"},
        {{Shortcut, std::string(186, 't'), "Link"}, ""},
        {{Shortcut, std::string(187, 't'), "Link"}, "link object target of 260 bytes"},
        {{Download, "objects/x", std::string(127, 'l')}, ""},
        {{Download, "objects/x", std::string(128, 'l')}, "local column is 128 bytes"},
        {{Launch, std::string(256, 'p'), ""}, "path column is 256 bytes"},
        {{Download, "objects/x", "..\\evil.dll"}, "unsafe"},
        {{Folder, "bin\\NUL", ""}, "unsafe"},
        {{Launch, "\\\\server\\share\\x.exe", ""}, "unsafe"},
        {{Download, "objects/x", ""}, "no local name"},
        {{Download, "my files/a b.txt", "a.txt"}, "needs percent-encoding"},
        {{Shortcut, "a.exe", ""}, "link name is empty"},
        {{Shortcut, "a.exe", "sub\\Link"}, "folder separator"},
        {{Shortcut, "a.exe", "\x81\x5C"}, ""},  // 乗: its backslash byte is no separator
        {{Shortcut, "a.exe", "CON"}, "unsafe"},
        {{7, std::string(40, 'x'), "..\\x"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.entry.kind) + "|" + c.entry.path + "|" + c.entry.local);
        const std::vector<std::string> problems = EntryProblems(c.entry);
        if (*c.problem == '\0') {
            EXPECT_TRUE(problems.empty()) << problems.front();
        } else {
            ASSERT_EQ(problems.size(), 1u);
            EXPECT_NE(problems[0].find(c.problem), std::string::npos) << problems[0];
        }
    }
}

TEST(SignatureValidity, WhenIsDaysOrTheStartOfAUtcDate) {
    const std::uint64_t now = 1767225600;  // 2026-01-01 00:00 UTC
    const std::uint64_t day = 86400;
    struct Case {
        const char* when;
        ExpiryRead read;
        std::uint64_t expires;  // when not Invalid
    } cases[] = {
        {"90", ExpiryRead::Future, now + 90 * day},
        {"1", ExpiryRead::Future, now + day},
        {"3650", ExpiryRead::Future, now + 3650 * day},
        {"2026-03-01", ExpiryRead::Future, now + 59 * day},
        {"2026-01-01", ExpiryRead::Past, now},
        {"0", ExpiryRead::Invalid, 0},
        {"3651", ExpiryRead::Invalid, 0},
        {"-5", ExpiryRead::Invalid, 0},
        {"", ExpiryRead::Invalid, 0},
        {"2027-02-29", ExpiryRead::Invalid, 0},
        {"soon", ExpiryRead::Invalid, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        std::uint64_t expires = 0;
        EXPECT_EQ(ReadExpiry(c.when, now, expires), c.read);
        if (c.read != ExpiryRead::Invalid) {
            EXPECT_EQ(expires, c.expires);
        }
    }
    const std::uint64_t end = now + 90 * day;
    EXPECT_EQ(DescribeValidity(end, now), "valid until 2026-04-01 00:00 UTC (90 days left)");
    EXPECT_EQ(DescribeValidity(end, now + 1), "valid until 2026-04-01 00:00 UTC (90 days left)");
    EXPECT_EQ(DescribeValidity(end, end - day - day / 2 + 1),
              "valid until 2026-04-01 00:00 UTC (1 day left)");
    EXPECT_EQ(DescribeValidity(end, end - 5 * 3600),
              "valid until 2026-04-01 00:00 UTC (5 hours left)");
    EXPECT_EQ(DescribeValidity(end, end - 60),
              "valid until 2026-04-01 00:00 UTC (less than an hour left)");
    EXPECT_EQ(DescribeValidity(end, end), "expired on 2026-04-01 00:00 UTC");
}

}  // namespace
}  // namespace tessaly::pack
