// Step 6 of the install: opens every Launch entry with the shell and moves on without waiting.
#include <windows.h>
#include <shellapi.h>

#include "common/failure_report.h"
#include "install/installer_state.h"
#include "package/entry_targets.h"
#include "package/launch_entries.h"

namespace tessaly {

bool LaunchEntries() {
    const InstallerState& state = State();
    for (const InstallEntry& entry : state.entries) {
        if (entry.kind != Launch) {
            continue;
        }
        char launchPath[kTargetPathCapacity];
        if (!ComposeLaunchPath(launchPath, state.installDir, entry.path)) {
            ReportFailure("launch", entry.path, kRefusedPathReason);
            continue;
        }
        // ShellExecuteA answers a value above 32 on success, an error code otherwise.
        const INT_PTR answer = reinterpret_cast<INT_PTR>(ShellExecuteA(
            state.mainWindow, "open", launchPath, nullptr, nullptr, SW_SHOWMAXIMIZED));
        if (answer <= 32) {
            ReportError("launch", launchPath, static_cast<unsigned long>(answer));
        }
    }
    return true;
}

}  // namespace tessaly
