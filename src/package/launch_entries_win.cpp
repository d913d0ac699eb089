// Step 6 of the install: the launch pass over the entry list, with the shell's "open" as its
// action; nothing waits for what it starts.
#include <windows.h>
#include <shellapi.h>

#include "common/cp936_text_win.h"
#include "common/failure_report.h"
#include "package/install_passes.h"
#include "package/launch_entries_win.h"

namespace tessaly {

bool LaunchEntries(const InstallContext& context) {
    return RunLaunchPass(context.entries, context.installDir, [&context](const char* launchPath) {
        std::u16string wideLaunchPath;
        if (!WidePath(launchPath, context, wideLaunchPath)) {
            ReportFailure("launch", launchPath, NOT_CODE_PAGE_936_REASON);
            return;
        }
        // ShellExecuteW answers a value above 32 on success, an error code otherwise.
        const INT_PTR answer = reinterpret_cast<INT_PTR>(
            ShellExecuteW(context.mainWindow, L"open", AsWide(wideLaunchPath), nullptr, nullptr,
                          SW_SHOWMAXIMIZED));
        if (answer <= 32) {
            ReportError("launch", launchPath, static_cast<unsigned long>(answer));
        }
    });
}

}  // namespace tessaly
