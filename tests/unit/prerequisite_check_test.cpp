// The prerequisite check: its notice texts and bytes, the help pages to open, and its run.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "install/prerequisite_check.h"

namespace tessaly {
namespace {

// The expected notices, spelled out here rather than taken from the code under test, but for the
// header line whose bytes the shown texts' table checks. This target is compiled with the code page
// 936 execution character set, as the program is.
constexpr char TRAILER[] =
    "点击【确认】后会自动打开相关组件的下载网页。\r\n"
    "请先下载并安装上面组件后重新运行【Tessaly】安装程序。 \r\n";

struct NoticeCase {
    const char* name;
    bool dotNet4Installed;
    bool vcRuntime2015Installed;
    std::string expected;
};

const std::vector<NoticeCase>& NoticeCases() {
    static const std::vector<NoticeCase> cases = {
        {"both missing", false, false,
         std::string(PREREQUISITE_NOTICE_HEADER) + "【1】：Microsoft .NET Framework 4.0 \r\n" +
             "【2】：Microsoft Visual CPP 2015运行库 \r\n" + TRAILER},
        {".NET missing", false, true,
         std::string(PREREQUISITE_NOTICE_HEADER) + "【1】：Microsoft .NET Framework 4.0 \r\n" +
             TRAILER},
        {"runtime missing", true, false,
         std::string(PREREQUISITE_NOTICE_HEADER) + "【1】：Microsoft Visual CPP 2015运行库 \r\n" +
             TRAILER},
    };
    return cases;
}

// Fills the buffer with a sentinel so that a test can see which bytes were written.
void FillWithSentinel(char (&notice)[NOTICE_TEXT_CAPACITY]) {
    std::memset(notice, 0x5a, sizeof notice);
}

void ExpectZeroFrom(const char (&notice)[NOTICE_TEXT_CAPACITY], std::size_t from) {
    for (std::size_t i = from; i < NOTICE_TEXT_CAPACITY; ++i) {
        ASSERT_EQ(notice[i], 0) << "byte " << i;
    }
}

TEST(ComposePrerequisiteNotice, EachCombinationGivesItsTextInAClearedBuffer) {
    for (const NoticeCase& c : NoticeCases()) {
        SCOPED_TRACE(c.name);
        char notice[NOTICE_TEXT_CAPACITY];
        FillWithSentinel(notice);
        ComposePrerequisiteNotice(c.dotNet4Installed, c.vcRuntime2015Installed, notice);
        EXPECT_EQ(std::string(notice), c.expected);
        ExpectZeroFrom(notice, c.expected.size());
    }
}

TEST(ComposePrerequisiteNotice, NoticeIsStoredAsCodePage936Bytes) {
    // The runtime-only notice as the window receives it, byte for byte.
    const unsigned char expected[] = {
        0xcf, 0xb5, 0xcd, 0xb3, 0xb0, 0xe6, 0xb1, 0xbe, 0xcc, 0xab, 0xb5, 0xcd, 0xd0, 0xe8, 0xd2,
        0xaa, 0xc9, 0xfd, 0xbc, 0xb6, 0xcf, 0xb5, 0xcd, 0xb3, 0xb2, 0xb9, 0xb6, 0xa1, 0xa3, 0xba,
        0x0d, 0x0a, 0xa1, 0xbe, 0x31, 0xa1, 0xbf, 0xa3, 0xba, 0x4d, 0x69, 0x63, 0x72, 0x6f, 0x73,
        0x6f, 0x66, 0x74, 0x20, 0x56, 0x69, 0x73, 0x75, 0x61, 0x6c, 0x20, 0x43, 0x50, 0x50, 0x20,
        0x32, 0x30, 0x31, 0x35, 0xd4, 0xcb, 0xd0, 0xd0, 0xbf, 0xe2, 0x20, 0x0d, 0x0a, 0xb5, 0xe3,
        0xbb, 0xf7, 0xa1, 0xbe, 0xc8, 0xb7, 0xc8, 0xcf, 0xa1, 0xbf, 0xba, 0xf3, 0xbb, 0xe1, 0xd7,
        0xd4, 0xb6, 0xaf, 0xb4, 0xf2, 0xbf, 0xaa, 0xcf, 0xe0, 0xb9, 0xd8, 0xd7, 0xe9, 0xbc, 0xfe,
        0xb5, 0xc4, 0xcf, 0xc2, 0xd4, 0xd8, 0xcd, 0xf8, 0xd2, 0xb3, 0xa1, 0xa3, 0x0d, 0x0a, 0xc7,
        0xeb, 0xcf, 0xc8, 0xcf, 0xc2, 0xd4, 0xd8, 0xb2, 0xa2, 0xb0, 0xb2, 0xd7, 0xb0, 0xc9, 0xcf,
        0xc3, 0xe6, 0xd7, 0xe9, 0xbc, 0xfe, 0xba, 0xf3, 0xd6, 0xd8, 0xd0, 0xc2, 0xd4, 0xcb, 0xd0,
        0xd0, 0xa1, 0xbe, 0x54, 0x65, 0x73, 0x73, 0x61, 0x6c, 0x79, 0xa1, 0xbf, 0xb0, 0xb2, 0xd7,
        0xb0, 0xb3, 0xcc, 0xd0, 0xf2, 0xa1, 0xa3, 0x20, 0x0d, 0x0a};
    char notice[NOTICE_TEXT_CAPACITY];
    FillWithSentinel(notice);
    ComposePrerequisiteNotice(true, false, notice);
    ASSERT_EQ(std::strlen(notice), sizeof expected);
    EXPECT_EQ(std::memcmp(notice, expected, sizeof expected), 0);
}

TEST(ComposePrerequisiteNotice, NothingMissingLeavesAnAllZeroBuffer) {
    char notice[NOTICE_TEXT_CAPACITY];
    FillWithSentinel(notice);
    ComposePrerequisiteNotice(true, true, notice);
    ExpectZeroFrom(notice, 0);
}

TEST(HelpPagesToOpen, OnlyTheMissingRuntimesDotNetFirst) {
    struct Case {
        bool dotNet4Installed;
        bool vcRuntime2015Installed;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {false, false, {DotNetHelpUrl, VcRuntimeHelpUrl}},
        {false, true, {DotNetHelpUrl}},
        {true, false, {VcRuntimeHelpUrl}},
        {true, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << ".NET " << c.dotNet4Installed << " runtime " << c.vcRuntime2015Installed);
        const HelpPages pages = HelpPagesToOpen(c.dotNet4Installed, c.vcRuntime2015Installed);
        EXPECT_EQ(std::vector<std::string>(pages.urls, pages.urls + pages.count), c.expected);
    }
}

TEST(HelpPageAddresses, AreTwoDistinctHttpsPages) {
    const std::string dotNet = DotNetHelpUrl;
    const std::string vcRuntime = VcRuntimeHelpUrl;
    EXPECT_EQ(dotNet.rfind("https://", 0), 0u) << dotNet;
    EXPECT_EQ(vcRuntime.rfind("https://", 0), 0u) << vcRuntime;
    EXPECT_NE(dotNet, vcRuntime);
}

// Runs the check with scripted probe answers and records every action in the order it happened.
struct Recorder {
    std::vector<std::string> events;
    const char* shownBuffer = nullptr;

    bool Run(bool dotNet4Installed, bool vcRuntime2015Installed,
             char (&notice)[NOTICE_TEXT_CAPACITY]) {
        const PrerequisiteActions actions{
            [this, dotNet4Installed] {
                events.push_back("probe .NET");
                return dotNet4Installed;
            },
            [this, vcRuntime2015Installed] {
                events.push_back("probe runtime");
                return vcRuntime2015Installed;
            },
            [this](const char* text) {
                shownBuffer = text;
                events.push_back(std::string("notice ") + text);
            },
            [this](const char* url) { events.push_back(std::string("open ") + url); },
        };
        return RunPrerequisiteCheck(actions, notice);
    }
};

TEST(RunPrerequisiteCheck, BothPresentSucceedsWithoutNoticeOrPages) {
    Recorder recorder;
    char notice[NOTICE_TEXT_CAPACITY];
    FillWithSentinel(notice);
    EXPECT_TRUE(recorder.Run(true, true, notice));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"probe .NET", "probe runtime"}));
    EXPECT_EQ(notice[0], 0x5a);  // the buffer is not touched
}

TEST(RunPrerequisiteCheck, MissingRuntimesAreProbedNotifiedThenTheirPagesOpened) {
    const std::string openDotNet = std::string("open ") + DotNetHelpUrl;
    const std::string openVcRuntime = std::string("open ") + VcRuntimeHelpUrl;
    for (const NoticeCase& c : NoticeCases()) {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        char notice[NOTICE_TEXT_CAPACITY];
        FillWithSentinel(notice);
        EXPECT_FALSE(recorder.Run(c.dotNet4Installed, c.vcRuntime2015Installed, notice));
        // Both probes always run, .NET first; the pages open only after the notice returned.
        std::vector<std::string> expected = {"probe .NET", "probe runtime", "notice " + c.expected};
        if (!c.dotNet4Installed) {
            expected.push_back(openDotNet);
        }
        if (!c.vcRuntime2015Installed) {
            expected.push_back(openVcRuntime);
        }
        EXPECT_EQ(recorder.events, expected);
        EXPECT_EQ(recorder.shownBuffer, notice);  // the window reads the state's own buffer
    }
}

}  // namespace
}  // namespace tessaly
