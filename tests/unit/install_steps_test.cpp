#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "install/install_steps.h"
#include "install/shared_status.h"
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
    const Published expected = {
        {"开始检查系统依赖项", 0},   {"检查系统依赖项完成", 0},   {"开始创建程序目录", 0},
        {"创建程序目录完成", 0},     {"开始下载文件索引", 0},     {"下载文件索引完成", 0},
        {"开始下载文件数据", 0},     {"下载文件数据完成", 0},     {"开始创建桌面快捷方式", 0},
        {"创建桌面快捷方式完成", 0}, {"开始执行桌面快捷方式", 0}, {"执行桌面快捷方式完成", 0},
    };
    EXPECT_EQ(published, expected);
    EXPECT_EQ(ran, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
}

TEST(RunInstallSteps, AFailureStopsTheSequenceWithItsFailureText) {
    const char* failureTexts[] = {"检查系统依赖项失败",   "开始创建程序目录失败",
                                  "下载文件索引失败",     "下载文件数据失败",
                                  "创建桌面快捷方式失败", "执行桌面快捷方式失败"};
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
        EXPECT_EQ(published.back(), std::make_pair(std::string(failureTexts[failing]), 1));
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
        EXPECT_EQ(published.back(), std::make_pair(std::string("下载文件索引失败"), 1));
        EXPECT_EQ(
            test::DebugLines(),
            std::vector<std::string>{"Tessaly: install step failed: exception: " + why + "\n"});
    }
}

TEST(StatusTexts, AreStoredAsCodePage936Bytes) {
    // "开始检查系统依赖项" in code page 936.
    EXPECT_STREQ(INSTALL_STEPS[0].startText,
                 "\xBF\xAA\xCA\xBC\xBC\xEC\xB2\xE9\xCF\xB5\xCD\xB3\xD2\xC0\xC0\xB5\xCF\xEE");
}

TEST(SharedStatus, StartsWithTheInitialisingStatusAndNoNotice) {
    // "程序正在初始化" in code page 936.
    SharedStatus shared;
    const StatusSnapshot initial = shared.ReadStatus();
    EXPECT_STREQ(initial.text, "\xB3\xCC\xD0\xF2\xD5\xFD\xD4\xDA\xB3\xF5\xCA\xBC\xBB\xAF");
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
