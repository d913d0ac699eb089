// The install step table and the sequence that walks it.
#include "install/install_steps.h"

#include <exception>

#include "common/failure_report.h"

namespace tessaly {

namespace {

// An exception that escapes an operation (out of memory, most likely) must not end the worker
// thread, and with it the process: it fails the step like a false result.
bool RunOperation(const StepOperation& operation) {
    try {
        return operation();
    } catch (const std::exception& error) {
        ReportFailure("install step", "exception", error.what());
    } catch (...) {
        ReportFailure("install step", "exception", "not a standard exception");
    }
    return false;
}

}  // namespace

const std::array<InstallStep, INSTALL_STEP_COUNT> INSTALL_STEPS = {{
    {"开始检查系统依赖项", "检查系统依赖项失败", "检查系统依赖项完成"},
    // This failure text does begin with "开始", unlike the others; it is what users have seen.
    {"开始创建程序目录", "开始创建程序目录失败", "创建程序目录完成"},
    {"开始下载文件索引", "下载文件索引失败", "下载文件索引完成"},
    {"开始下载文件数据", "下载文件数据失败", "下载文件数据完成"},
    {"开始创建桌面快捷方式", "创建桌面快捷方式失败", "创建桌面快捷方式完成"},
    {"开始执行桌面快捷方式", "执行桌面快捷方式失败", "执行桌面快捷方式完成"},
}};

bool RunInstallSteps(const std::array<StepOperation, INSTALL_STEP_COUNT>& operations,
                     const StatusPublisher& publish) {
    for (std::size_t i = 0; i < INSTALL_STEP_COUNT; ++i) {
        const InstallStep& step = INSTALL_STEPS[i];
        publish(step.startText, 0);
        if (!RunOperation(operations[i])) {
            publish(step.failureText, 1);
            return false;
        }
        publish(step.completionText, 0);
    }
    return true;
}

}  // namespace tessaly
