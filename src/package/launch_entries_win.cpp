// Step 6 of the install: opens every Launch entry with the shell and moves on without waiting.
#include <windows.h>
#include <shellapi.h>

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
        if (ComposeLaunchPath(launchPath, state.installDir, entry.path)) {
            ShellExecuteA(state.mainWindow, "open", launchPath, nullptr, nullptr, SW_SHOWMAXIMIZED);
        }
    }
    return true;
}

}  // namespace tessaly
