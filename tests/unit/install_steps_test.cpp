// The install steps' order, failures and exceptions, the shown texts' bytes, the shared status.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/window_texts.h"
#include "install/install_notice.h"
#include "install/install_steps.h"
#include "install/prerequisite_check.h"
#include "install/shared_status.h"
#include "install/status_texts.h"
#include "unit/debug_lines.h"

namespace tessaly {
namespace {

using Published = std::vector<std::pair<std::string, int>>;

// Runs the sequence with operations that succeed until `failingStep` (0-based; 6 = none fails),
// which returns false or, given `fail`, calls it, and records what was published and which
// operations ran.
Published RunSteps(std::size_t failingStep, std::vector<std::size_t>& ran, bool& result,
                   const std::function<void()>& fail = nullptr) {
    std::array<StepOperation, INSTALL_STEP_COUNT> operations;
    for (std::size_t i = 0; i < INSTALL_STEP_COUNT; ++i) {
        operations[i] = [i, failingStep, &ran, &fail] {
            ran.push_back(i);
            if (i == failingStep && fail) {
                fail();
            }
            return i != failingStep;
        };
    }
    Published published;
    result = RunInstallSteps(operations, [&published](const char* text, int failed) {
        published.emplace_back(text, failed);
    });
    return published;
}

TEST(RunInstallSteps, FullSuccessPublishesEveryStartAndCompletionText) {
    std::vector<std::size_t> ran;
    bool result = false;
    const Published published = RunSteps(INSTALL_STEP_COUNT, ran, result);
    EXPECT_TRUE(result);
    Published expected;
    for (const InstallStep& step : INSTALL_STEPS) {
        expected.emplace_back(step.startText, 0);
        expected.emplace_back(step.completionText, 0);
    }
    EXPECT_EQ(published, expected);
    EXPECT_EQ(ran, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
}

TEST(RunInstallSteps, AFailureStopsTheSequenceWithItsFailureText) {
    for (std::size_t failing = 0; failing < INSTALL_STEP_COUNT; ++failing) {
        SCOPED_TRACE(failing);
        std::vector<std::size_t> ran;
        bool result = true;
        const Published published = RunSteps(failing, ran, result);
        EXPECT_FALSE(result);
        ASSERT_EQ(ran.size(), failing + 1);  // no later operation ran
        ASSERT_EQ(published.size(), 2 * failing + 2);
        EXPECT_EQ(published[2 * failing],
                  std::make_pair(std::string(INSTALL_STEPS[failing].startText), 0));
        EXPECT_EQ(published.back(),
                  std::make_pair(std::string(INSTALL_STEPS[failing].failureText), 1));
    }
}

TEST(RunInstallSteps, AnExceptionFailsItsStepLikeAFalseResult) {
    const std::pair<std::function<void()>, std::string> throwers[] = {
        {[] { throw std::bad_alloc(); }, "std::bad_alloc"},
        {[] { throw 3; }, "not a standard exception"},
    };
    for (const auto& [fail, why] : throwers) {
        test::RecordDebugLines();
        std::vector<std::size_t> ran;
        bool result = true;
        const Published published = RunSteps(2, ran, result, fail);
        EXPECT_FALSE(result);
        EXPECT_EQ(ran.size(), 3u);  // no later operation ran
        EXPECT_EQ(published.back(), std::make_pair(std::string(INSTALL_STEPS[2].failureText), 1));
        EXPECT_EQ(
            test::DebugLines(),
            std::vector<std::string>{"Tessaly: install step failed: exception: " + why + "\n"});
    }
}

// Every text the program shows, as its headers hold it, against its code page 936 bytes written
// out here (the UTF-8 text beside each row); the other tests take the texts from those headers.
TEST(UiTexts, AreStoredAsCodePage936Bytes) {
    const struct {
        const char* text;
        const char* bytes;
    } rows[] = {
        // Tessaly在线安装程序
        {TESSALY_WINDOW_TITLE, "Tessaly\xD4\xDA\xCF\xDF\xB0\xB2\xD7\xB0\xB3\xCC\xD0\xF2"},
        // 安装提示：
        {NOTICE_CAPTION, "\xB0\xB2\xD7\xB0\xCC\xE1\xCA\xBE\xA3\xBA"},
        // 系统版本太低需要升级系统补丁：
        {PREREQUISITE_NOTICE_HEADER,
         "\xCF\xB5\xCD\xB3\xB0\xE6\xB1\xBE\xCC\xAB\xB5\xCD\xD0\xE8\xD2\xAA"
         "\xC9\xFD\xBC\xB6\xCF\xB5\xCD\xB3\xB2\xB9\xB6\xA1\xA3\xBA\r\n"},
        // 程序正在初始化
        {INITIAL_STATUS, "\xB3\xCC\xD0\xF2\xD5\xFD\xD4\xDA\xB3\xF5\xCA\xBC\xBB\xAF"},
        // 开始检查系统依赖项, 检查系统依赖项失败, 检查系统依赖项完成
        {INSTALL_STEPS[0].startText,
         "\xBF\xAA\xCA\xBC\xBC\xEC\xB2\xE9\xCF\xB5\xCD\xB3\xD2\xC0\xC0\xB5\xCF\xEE"},
        {INSTALL_STEPS[0].failureText,
         "\xBC\xEC\xB2\xE9\xCF\xB5\xCD\xB3\xD2\xC0\xC0\xB5\xCF\xEE\xCA\xA7\xB0\xDC"},
        {INSTALL_STEPS[0].completionText,
         "\xBC\xEC\xB2\xE9\xCF\xB5\xCD\xB3\xD2\xC0\xC0\xB5\xCF\xEE\xCD\xEA\xB3\xC9"},
        // 开始创建程序目录, 开始创建程序目录失败, 创建程序目录完成
        {INSTALL_STEPS[1].startText,
         "\xBF\xAA\xCA\xBC\xB4\xB4\xBD\xA8\xB3\xCC\xD0\xF2\xC4\xBF\xC2\xBC"},
        {INSTALL_STEPS[1].failureText,
         "\xBF\xAA\xCA\xBC\xB4\xB4\xBD\xA8\xB3\xCC\xD0\xF2\xC4\xBF\xC2\xBC\xCA\xA7\xB0\xDC"},
        {INSTALL_STEPS[1].completionText,
         "\xB4\xB4\xBD\xA8\xB3\xCC\xD0\xF2\xC4\xBF\xC2\xBC\xCD\xEA\xB3\xC9"},
        // 开始下载文件索引, 下载文件索引失败, 下载文件索引完成
        {INSTALL_STEPS[2].startText,
         "\xBF\xAA\xCA\xBC\xCF\xC2\xD4\xD8\xCE\xC4\xBC\xFE\xCB\xF7\xD2\xFD"},
        {INSTALL_STEPS[2].failureText,
         "\xCF\xC2\xD4\xD8\xCE\xC4\xBC\xFE\xCB\xF7\xD2\xFD\xCA\xA7\xB0\xDC"},
        {INSTALL_STEPS[2].completionText,
         "\xCF\xC2\xD4\xD8\xCE\xC4\xBC\xFE\xCB\xF7\xD2\xFD\xCD\xEA\xB3\xC9"},
        // 开始下载文件数据, 下载文件数据失败, 下载文件数据完成
        {INSTALL_STEPS[3].startText,
         "\xBF\xAA\xCA\xBC\xCF\xC2\xD4\xD8\xCE\xC4\xBC\xFE\xCA\xFD\xBE\xDD"},
        {INSTALL_STEPS[3].failureText,
         "\xCF\xC2\xD4\xD8\xCE\xC4\xBC\xFE\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC"},
        {INSTALL_STEPS[3].completionText,
         "\xCF\xC2\xD4\xD8\xCE\xC4\xBC\xFE\xCA\xFD\xBE\xDD\xCD\xEA\xB3\xC9"},
        // 开始创建桌面快捷方式, 创建桌面快捷方式失败, 创建桌面快捷方式完成
        {INSTALL_STEPS[4].startText,
         "\xBF\xAA\xCA\xBC\xB4\xB4\xBD\xA8\xD7\xC0\xC3\xE6\xBF\xEC\xBD\xDD\xB7\xBD\xCA\xBD"},
        {INSTALL_STEPS[4].failureText,
         "\xB4\xB4\xBD\xA8\xD7\xC0\xC3\xE6\xBF\xEC\xBD\xDD\xB7\xBD\xCA\xBD\xCA\xA7\xB0\xDC"},
        {INSTALL_STEPS[4].completionText,
         "\xB4\xB4\xBD\xA8\xD7\xC0\xC3\xE6\xBF\xEC\xBD\xDD\xB7\xBD\xCA\xBD\xCD\xEA\xB3\xC9"},
        // 开始执行桌面快捷方式, 执行桌面快捷方式失败, 执行桌面快捷方式完成
        {INSTALL_STEPS[5].startText,
         "\xBF\xAA\xCA\xBC\xD6\xB4\xD0\xD0\xD7\xC0\xC3\xE6\xBF\xEC\xBD\xDD\xB7\xBD\xCA\xBD"},
        {INSTALL_STEPS[5].failureText,
         "\xD6\xB4\xD0\xD0\xD7\xC0\xC3\xE6\xBF\xEC\xBD\xDD\xB7\xBD\xCA\xBD\xCA\xA7\xB0\xDC"},
        {INSTALL_STEPS[5].completionText,
         "\xD6\xB4\xD0\xD0\xD7\xC0\xC3\xE6\xBF\xEC\xBD\xDD\xB7\xBD\xCA\xBD\xCD\xEA\xB3\xC9"},
    };
    for (const auto& row : rows) {
        EXPECT_STREQ(row.text, row.bytes);
    }
}

TEST(SharedStatus, StartsWithTheInitialisingStatusAndNoNotice) {
    SharedStatus shared;
    const StatusSnapshot initial = shared.ReadStatus();
    EXPECT_STREQ(initial.text, INITIAL_STATUS);
    EXPECT_EQ(initial.failed, 0);
    EXPECT_STREQ(shared.NoticeText(), "");
}

TEST(SharedStatus, SetStatusReplacesTextAndFlagTogether) {
    SharedStatus shared;
    shared.SetStatus("a long first text", 0);
    shared.SetStatus("short", 1);
    const StatusSnapshot snapshot = shared.ReadStatus();
    EXPECT_STREQ(snapshot.text, "short");
    EXPECT_EQ(snapshot.failed, 1);
    for (std::size_t i = 5; i < sizeof snapshot.text; ++i) {
        ASSERT_EQ(snapshot.text[i], 0) << "old text left behind at " << i;
    }
}

TEST(SharedStatus, ATextTooLongForTheStatusLeavesThePreviousTextAndStoresTheFlag) {
    SharedStatus shared;
    const std::string longest(STATUS_TEXT_CAPACITY - 1, 'y');
    shared.SetStatus(longest.c_str(), 0);
    EXPECT_EQ(shared.ReadStatus().text, longest);
    shared.SetStatus(std::string(STATUS_TEXT_CAPACITY, 'x').c_str(), 1);
    const StatusSnapshot snapshot = shared.ReadStatus();
    EXPECT_EQ(snapshot.text, longest);
    EXPECT_EQ(snapshot.failed, 1);
}

}  // namespace
}  // namespace tessaly
